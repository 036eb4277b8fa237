// Test and benchmark support: one instance of a model linked in directly, its table of model
// operations filled by the runtime and called in the order the interface layer calls it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "fmi/fixed_step.h"
#include "runtime/model_interface.h"
#include "runtime/model_plan.h"
#include "runtime/variable_def.h"

namespace test_support {

// The value reference of the variable of model M that its model description calls `name`;
// a name the model does not have is a mistake in the caller, and ends the program.
template <class M>
uint32_t reference(runtime::BaseType type, std::string_view name) {
  const std::optional<uint32_t> vr = runtime::findReference(M::variables(), type, name);
  if (!vr) {
    std::fprintf(stderr, "%s has no variable '%.*s' of that type\n", M::info.modelName,
                 static_cast<int>(name.size()), name.data());
    std::abort();
  }
  return *vr;
}

template <class M>
class DirectModel {
 public:
  // What fmi2Instantiate does with the model.
  DirectModel() {
    runtime::fillModelInfo<M>(&mi_.info);
    runtime::registerFunctions<M>(&mi_);
    mi_.model = mi_.createModel();
    if (mi_.model == nullptr || mi_.registerSimulationData(&mi_) == 0 ||
        mi_.buildVariableTable(mi_.model, &mi_.variables) == 0) {
      std::fprintf(stderr, "%s: the model could not be created\n", M::info.modelName);
      std::abort();
    }
    mi_.initializeNonFinites(sizeof(double));
  }
  ~DirectModel() {
    mi_.destroyIntegrationData(mi_.model);
    mi_.freeVariableTable(&mi_.variables);
    mi_.terminateModel(mi_.model);
  }
  DirectModel(const DirectModel&) = delete;
  DirectModel& operator=(const DirectModel&) = delete;

  runtime::ModelInterface& table() { return mi_; }
  const runtime::ModelInterface& table() const { return mi_; }
  void setReal(uint32_t vr, double value) { mi_.writeReal(&mi_.variables.reals[vr], value); }
  double getReal(uint32_t vr) const { return mi_.readReal(&mi_.variables.reals[vr]); }

  // What fmi2SetupExperiment does with the model.
  void setup(double finalTime = -1.0) {
    runtime::SimModel* m = mi_.model;
    mi_.setFinalTime(m, finalTime);
    mi_.initializeSizes(m);
    mi_.initializeSampleTimes(m);
    mi_.createIntegrationData(m);
    mi_.initializeModel(m);
    mi_.setSolverStopTime(m, -1.0);
    mi_.computeOutputs(m, 0);
  }

  // One fixed model step, as the communication-step loop takes it.
  void step() { fmi::takeFixedStep(mi_); }

 private:
  runtime::ModelInterface mi_{};
};

}  // namespace test_support
