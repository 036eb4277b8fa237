// The shift controller at its communication points: a get call shows the decision the schedule
// would take now, with the current input at the current communication point; fmi2DoStep(tc, hc)
// takes it at tc and keeps it.
#include "models/shift_controller/shift_controller_model.h"

namespace shift_controller {

void Model::initializeModel(Data& d) {
  d.work.time = 0.0;
  d.work.committed = ScheduleState{1, 0, 0, 0.0};
}

void Model::computeOutputs(Data& d) {
  const ModelParameters& p = d.parameters;
  ScheduleState s = d.work.committed;
  evaluateSchedule(p, s, d.work.time, d.inputs.vehicleSpeedKmh);
  d.outputs.gear = s.gear;
  d.outputs.gearRatio = p.ratio[s.gear - 1];
  d.outputs.lockupCommand = s.lockedUp != 0 ? 1.0 : 0.0;
}

const char* Model::prepare(Data& d, const char**) {
  return scheduleRefused(d.parameters, d.work.message) ? d.work.message : nullptr;
}

// The parameters are tunable, so every step checks them again before it decides.
const char* Model::communicationStep(Data& d, double tc, double hc) {
  if (scheduleRefused(d.parameters, d.work.message)) return d.work.message;
  evaluateSchedule(d.parameters, d.work.committed, tc, d.inputs.vehicleSpeedKmh);
  d.work.time = tc + hc;
  computeOutputs(d);
  return nullptr;
}

}  // namespace shift_controller
