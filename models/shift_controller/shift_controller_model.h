// The shift controller model as the runtime's plan sees it: no states and no fixed steps. A get
// call evaluates the schedule with the current input at the current communication point;
// fmi2DoStep(tc, hc) commits the decision at tc.
#pragma once

#include <span>

#include "models/shift_controller/shift_controller_records.h"
#include "runtime/model_base.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace shift_controller {

struct Model : runtime::ModelBase<Model, ModelParameters, BlockSignals, ExternalInputs,
                                 ExternalOutputs, WorkStates> {
  static constexpr int32_t numContinuousStates = 0;
  static constexpr bool outputsFollowInputs = true;
  static constexpr runtime::ModelInfo info = runtime::describeModel({
      .modelName = "ShiftController",
      .generationDate = "Mon Dec  7 18:30:00 2026",
      .numInputs = 1,
      .numOutputs = 3,
      .numContinuousStates = 0,
      .identityCountA = 7,
      .identityCountB = 0,
      .identityCountC = 11,
      .fixedStepSize = 0.01,
  });
  static constexpr const char* description =
      "Shift controller: gear, gear ratio and converter lock-up command from the vehicle speed, by "
      "speed thresholds with hysteresis, a minimum time in gear and a lock-up rule";

  static ModelParameters& defaultParameters();
  static std::span<const runtime::VariableDef> variables();
  static void initializeModel(Data& d);
  static void computeOutputs(Data& d);
  static void computeDerivatives(Data&) {}
  static const char* prepare(Data& d, const char** note);
  static const char* communicationStep(Data& d, double tc, double hc);
  static const char* integerAboveMaximum(uint32_t vr);
};

// The schedule: moves `state` to its decision at time t (not before the previous one) for the
// speed. Safe for any parameter values; meaningful for those validateSchedule accepts.
void evaluateSchedule(const ModelParameters& p, ScheduleState& state, double t, double speedKmh);

// Why the parameters cannot describe a schedule, written into `message`; false when they can.
bool scheduleRefused(const ModelParameters& p, char (&message)[512]);

}  // namespace shift_controller
