// A test-only model on the runtime's plan: two states with closed-form solutions. State 0 grows
// as x' = rate * x, state 1 holds its value (derivative 0.0). computeOutputs records every time it
// sees in a minor step, so the integrator's stage sequence can be checked.
#pragma once

#include <span>
#include <vector>

#include "runtime/model_base.h"
#include "runtime/model_plan.h"
#include "tests/support/direct_model.h"

namespace test_model {

struct ExternalInputs {
  double offset;  // added to output 1
};
struct ExternalOutputs {
  double growing;
  double held;
};
struct BlockSignals {
  double rateHold;  // major-step value
  double growing;   // running value
};
struct WorkStates {
  double calls;
};
struct ModelParameters {
  double rate;
  double initialGrowing;
  double initialHeld;
  uint32_t lastIndex;
  uint8_t enabled;
};

enum State : int { growingState = 0, heldState = 1 };

struct Model : runtime::ModelBase<Model, ModelParameters, BlockSignals, ExternalInputs,
                                 ExternalOutputs, WorkStates> {
  static constexpr int32_t numContinuousStates = 2;
  static constexpr runtime::ModelInfo info = {"TestModel", "1", "1", "today", 1, 1, 2, 2, 0, 2,
                                              runtime::fixedStepSize, 5};
  static constexpr const char* description = "test model";

  static inline ModelParameters stored = {-0.5, 1.0, 0.75, 7, 1};
  static inline std::vector<double> minorTimes;
  static inline int discreteUpdates = 0;

  static ModelParameters& defaultParameters() { return stored; }
  static std::span<const runtime::VariableDef> variables();
  static void initializeModel(Data& d) {
    d.states[growingState] = d.parameters.initialGrowing;
    d.states[heldState] = d.parameters.initialHeld;
  }
  static void computeOutputs(Data& d) {
    if (d.majorStep()) {
      d.signals.rateHold = d.parameters.rate;
    } else {
      minorTimes.push_back(d.time());
    }
    d.signals.growing = d.states[growingState];
    d.outputs.growing = d.signals.growing;
    d.outputs.held = d.states[heldState] + d.inputs.offset;
  }
  static void computeDerivatives(Data& d) {
    d.sim.stateDerivatives[growingState] = d.signals.rateHold * d.states[growingState];
    d.sim.stateDerivatives[heldState] = 0.0;
  }
  static void updateDiscreteStates(Data& d) {
    d.work.calls += 1.0;
    ++discreteUpdates;
  }
  static const char* integerWriteError(const ModelParameters&, uint32_t, uint32_t value) {
    return value == 5 ? "five is refused" : nullptr;
  }
};

inline constexpr runtime::VariableDef variableDefs[] = {
    SIM_INPUT(ExternalInputs, offset, "", "offset"),
    SIM_OUTPUT(ExternalOutputs, growing, "", "growing state", ""),
    SIM_OUTPUT(ExternalOutputs, held, "", "held state plus offset", "offset"),
    SIM_PARAMETER(ModelParameters, rate, "1/s", "growth rate"),
    SIM_PARAMETER(ModelParameters, initialGrowing, "", "initial growing state"),
    SIM_PARAMETER(ModelParameters, initialHeld, "", "initial held state"),
    SIM_INTEGER_PARAMETER(ModelParameters, lastIndex, 9, "an index"),
    SIM_VARIABLE(runtime::Causality::parameter, ModelParameters, enabled, "", "a flag", nullptr, 0),
};

inline std::span<const runtime::VariableDef> Model::variables() { return variableDefs; }

// An instance driven through the table of model operations exactly as the interface layer does.
struct Driven : test_support::DirectModel<Model> {
  runtime::ModelInterface& mi = table();

  void fixedStep() { step(); }
  ModelParameters& parameters() { return *static_cast<ModelParameters*>(mi.model->parameters); }
  double* states() { return mi.model->continuousStates; }
  double time() const { return mi.model->taskTimes[0]; }
};

}  // namespace test_model
