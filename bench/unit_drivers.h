// Two ways of driving one unit through fixed steps, with the same interface so that every
// measurement runs the same code around them:
//  - DirectModel<M>: the model library linked in, its table of model operations filled by
//    runtime::registerFunctions<M> and called in the order the interface layer calls it;
//  - FmiModel: the built unit library loaded with dlopen and driven through its exported
//    functions, as a master does.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/operating_points.h"
#include "fmi/fmi2_abi.h"
#include "runtime/model_interface.h"
#include "runtime/model_plan.h"
#include "tests/support/direct_model.h"
#include "tests/support/unit_library.h"

namespace bench {

inline constexpr double fixedStep = runtime::fixedStepSize;

template <class M>
class DirectModel : public test_support::DirectModel<M> {
 public:
  // The driver's communication steps are whole fixed steps.
  void doStep(double /*time*/, int fixedSteps) {
    for (int i = 0; i < fixedSteps; ++i) this->step();
  }
};

class FmiModel {
 public:
  FmiModel(const char* library, const char* description)
      : library_(std::make_unique<test_support::UnitLibrary>(library)),
        instance_(std::make_unique<test_support::UnitInstance>(*library_, test_support::readGuid(description),
                                                               false, "bench", false)) {}

  void setReal(uint32_t vr, double value) { instance_->setReal(vr, value); }
  double getReal(uint32_t vr) const { return instance_->getReal(vr); }
  void setup() {
    instance_->setup();
    instance_->exitInitialization();
  }

  // One fmi2DoStep of `fixedSteps` fixed steps from communication point `time`.
  void doStep(double time, int fixedSteps) {
    if (library_->fmi2DoStep(instance_->component(), time, fixedSteps * fixedStep, fmi2True) != fmi2OK) {
      std::fprintf(stderr, "fmi2DoStep failed at t = %g\n", time);
      std::abort();
    }
  }

  test_support::UnitLibrary& library() { return *library_; }
  test_support::UnitInstance& instance() { return *instance_; }
  fmi2Component component() const { return instance_->component(); }

 private:
  std::unique_ptr<test_support::UnitLibrary> library_;
  std::unique_ptr<test_support::UnitInstance> instance_;
};

// Brings a freshly created unit to its operating point: parameters, set-up, inputs, then the
// settling steps. Returns the communication point reached.
template <class M, class Driver>
double reachOperatingPoint(Driver& unit, const OperatingPoint& point) {
  for (const Setting& s : point.parameters) unit.setReal(realReference<M>(s.name), s.value);
  unit.setup();
  for (const Setting& s : point.inputs) unit.setReal(realReference<M>(s.name), s.value);
  for (int k = 0; k < point.settleSteps; ++k) unit.doStep(k * fixedStep, 1);
  return point.settleSteps * fixedStep;
}

}  // namespace bench
