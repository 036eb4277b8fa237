// Values written between fmi2SetupExperiment and the end of initialisation reach the initial
// conditions as if they had been written before set-up.
//
// Set-up computes the initial conditions: the model's initializeModel (which reads parameters
// only: initial values of states and memories) and the outputs at time 0 (which read every
// parameter and input, hold copies of parameters, and clamp states to their limits in place). A
// master may write parameters and inputs after set-up and before fmi2ExitInitializationMode, as
// FMI 2.0 allows. The layer remembers such writes, and before the next get call of
// initialisation, at fmi2ExitInitializationMode and at the latest before the first step computes
// the initial conditions again from the values as they stand:
//  - after a parameter write, initializeModel and then the outputs at time 0;
//  - after any other write, the outputs at time 0.
// initializeModel sets every state and every memory that a model reads before its first step, and
// the outputs at time 0 overwrite every signal they hold, so what the instance holds afterwards
// is what set-up gives when the same values are written before it, to the bit. (The one memory
// that initializeModel leaves, the powertrain's lock-up edge, may see an edge that set-up did
// not; the edge only resets the clutch twist to the value initializeModel has just given it.)
// Without a write since set-up nothing is recomputed, and nothing is ever reported: set-up has
// checked the model.
#include "fmi/fmi_component.h"

namespace fmi {

void noteWrite(FmuComponent& c, const runtime::VariableEntry& entry) {
  StepState& s = *c.stepState;
  s.valueWritten = 1;
  if (entry.parameter != 0) s.parameterWritten = 1;
}

void initialConditionsComputed(FmuComponent& c) {
  StepState& s = *c.stepState;
  s.initialConditionsSet = 1;
  s.parameterWritten = 0;
  s.valueWritten = 0;
}

bool settleInitialConditions(FmuComponent& c) {
  StepState& s = *c.stepState;
  // Before set-up the values are still to be read by it; after initialisation or the first step a
  // parameter that gave an initial value changes nothing until the next set-up.
  if (s.initialConditionsSet == 0 || s.initializationDone != 0 || s.steppingStarted != 0) {
    return false;
  }
  if (s.parameterWritten == 0 && s.valueWritten == 0) return false;
  runtime::ModelInterface& mi = *c.modelInterface;
  if (s.parameterWritten != 0) mi.initializeModel(mi.model);
  mi.setSolverStopTime(mi.model, -1.0);
  mi.computeOutputs(mi.model, 0);
  s.parameterWritten = 0;
  s.valueWritten = 0;
  return true;
}

}  // namespace fmi
