// Two ways of driving one driver instance with the same small interface: straight through the
// runtime's table of model operations (ModelHarness, which also shows the block signals), and
// through the exported FMI functions of the built Driver library (UnitHarness). Both keep the library's stored default record pristine: an instance that nobody writes
// to is created first, so every instance under test works on a private copy.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "models/driver/driver_model.h"
#include "runtime/model_plan.h"
#include "tests/support/direct_model.h"
#include "tests/support/unit_library.h"

namespace driver_test {

inline constexpr double h = runtime::fixedStepSize;

// Real value references, by name from the model's definition table (a map by its first element).
inline uint32_t realRef(const char* name) {
  return test_support::reference<driver::Model>(runtime::BaseType::real, name);
}
inline const uint32_t transmissionRatio = realRef("transmissionRatio");
inline const uint32_t engineSpeedRpm = realRef("engineSpeedRpm");
inline const uint32_t targetSpeedKmh = realRef("targetSpeedKmh");
inline const uint32_t actualSpeedKmh = realRef("actualSpeedKmh");
inline const uint32_t brakePedal = realRef("brakePedal");
inline const uint32_t acceleratorPedal = realRef("acceleratorPedal");
inline const uint32_t derivativeGain = realRef("derivativeGain");
inline const uint32_t integralGain = realRef("integralGain");
inline const uint32_t proportionalGain = realRef("proportionalGain");
inline const uint32_t deadZoneThreshold = realRef("deadZoneThreshold");
inline const uint32_t initialTargetSpeed = realRef("initialTargetSpeed");
inline const uint32_t acceleratorUpper = realRef("acceleratorUpper");
inline const uint32_t engineTorqueMap = realRef("engineTorqueMap[1]");
inline const uint32_t pedalMap = realRef("pedalMap[1]");

// True when `value`, written with all its digits, begins with `digits`: how a value given to a
// few places is matched without rounding it.
inline bool startsWith(double value, const char* digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15f", value);
  return std::strncmp(text, digits, std::strlen(digits)) == 0;
}

class ModelHarness {
 public:
  static constexpr const char* name = "runtime";
  // Whether a parameter written after set-up still reaches the initial conditions.
  static constexpr bool initialConditionsFollowWrites = false;

  // With `initialize`, set up and out of initialisation; otherwise only created, for setup().
  explicit ModelHarness(bool initialize = true) {
    if (initialize) {
      setup();
      exitInitialization();
    }
  }

  // The experiment set-up: initial conditions and the outputs at time 0.
  void setup() { unit_.setup(10.0); }
  void exitInitialization() { initializing_ = false; }

  void setReal(uint32_t vr, double value) { unit_.setReal(vr, value); }
  // Until initialisation ends, every read first recomputes the outputs, as the layer does.
  double getReal(uint32_t vr) {
    if (initializing_) mi_.computeOutputs(mi_.model, 0);
    return mi_.readReal(&mi_.variables.reals[vr]);
  }
  int32_t getInteger(uint32_t vr) const {
    int32_t ok = 0;
    return mi_.readInteger(&mi_.variables.integers[vr], &ok);
  }
  // Writes as the interface layer does: through the model's guard first; false when refused.
  bool setInteger(uint32_t vr, int32_t value) {
    std::size_t refused = 0;
    if (mi_.checkIntegerWrites(mi_.model, &vr, &value, 1, &refused) != nullptr) return false;
    int32_t ok = 0;
    mi_.writeInteger(&mi_.variables.integers[vr], value, &ok);
    return true;
  }
  void steps(int n) {
    for (int i = 0; i < n; ++i) unit_.step();
  }

  const driver::BlockSignals& signals() const {
    return *static_cast<const driver::BlockSignals*>(mi_.model->blockSignals);
  }
  const driver::WorkStates& work() const {
    return *static_cast<const driver::WorkStates*>(mi_.model->workStates);
  }
  const double* states() const { return mi_.model->continuousStates; }
  double time() const { return mi_.model->taskTimes[0]; }

 private:
  static bool keepDefaults() {
    static const bool kept = [] {
      runtime::SimModel* first = runtime::createModel<driver::Model>();
      runtime::modelTerminateModel<driver::Model>(first);
      return true;
    }();
    return kept;
  }

  // Created first: the library's stored defaults stay out of every harness's way.
  bool defaultsKept_ = keepDefaults();
  test_support::DirectModel<driver::Model> unit_;
  runtime::ModelInterface& mi_ = unit_.table();
  bool initializing_ = true;
};

class UnitHarness {
 public:
  static constexpr const char* name = "unit";
  static constexpr bool initialConditionsFollowWrites = true;

  explicit UnitHarness(bool initialize = true) : instance_(library(), guid(), initialize) {}

  void setup() {
    instance_.setup();
    library().fmi2EnterInitializationMode(instance_.component());
  }
  void exitInitialization() { ASSERT_EQ(library().fmi2ExitInitializationMode(instance_.component()), fmi2OK); }

  void setReal(uint32_t vr, double value) { instance_.setReal(vr, value); }
  double getReal(uint32_t vr) { return instance_.getReal(vr); }
  int32_t getInteger(uint32_t vr) { return instance_.getInteger(vr); }
  bool setInteger(uint32_t vr, int32_t value) {
    instance_.log().clear();
    const fmi2Status status = instance_.setInteger(vr, value);
    EXPECT_TRUE(status == fmi2OK || status == fmi2Error) << status;
    // A refusal is reported to the master, and an accepted write reports nothing.
    EXPECT_EQ(instance_.log().contains("is not accepted"), status == fmi2Error);
    return status == fmi2OK;
  }
  // One communication step of n fixed steps, from the communication point the model has reached.
  void steps(int n) {
    const double tc = static_cast<double>(taken_) * h;
    ASSERT_EQ(library().fmi2DoStep(instance_.component(), tc, static_cast<double>(n) * h, fmi2True),
              fmi2OK);
    taken_ += n;
  }
  test_support::MessageLog& log() { return instance_.log(); }

 private:
  static test_support::UnitLibrary& library() {
    static test_support::UnitLibrary unit(DRIVER_LIBRARY);
    static const bool kept = [] {
      test_support::UnitInstance first(unit, guid(), false, "keeper", false);
      return true;
    }();
    (void)kept;
    return unit;
  }
  static const std::string& guid() {
    static const std::string value = test_support::readGuid(DRIVER_DESCRIPTION);
    return value;
  }

  test_support::UnitInstance instance_;
  long taken_ = 0;
};

}  // namespace driver_test
