// The chassis unit linked into the test (its interface layer, model and runtime, as in the unit
// library), so that the model's clock can be read behind the FMI calls: after n fixed steps the
// model time is the product n x 0.0025 exactly, however many steps the calls take, and a refused
// call changes neither the clock nor the carry. The long run takes 10^7 fixed steps in the plain
// build (LONG_RUN_STEPS; fewer under the sanitizers) with bounded, changing inputs and checks the
// outputs stay finite.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "fmi/fmi2_abi.h"
#include "fmi/fmi_component.h"
#include "fmi/identity.h"
#include "fmi/unit_model.h"
#include "models/chassis/chassis_model.h"
#include "runtime/sim_model.h"
#include "tests/support/direct_model.h"

#define LONG_RUN_DECLARE(name) extern "C" name##TYPE name;
FMI2_FUNCTION_NAMES(LONG_RUN_DECLARE)
#undef LONG_RUN_DECLARE

namespace {

constexpr double h = runtime::fixedStepSize;
uint32_t chassisReal(const char* name) {
  return test_support::reference<chassis::Model>(runtime::BaseType::real, name);
}
const fmi2ValueReference brakeDemand = chassisReal("brakeDemand");
const fmi2ValueReference wheelTorque = chassisReal("wheelTorque");
const fmi2ValueReference chassisOutputs[] = {chassisReal("wheelSpeed"), chassisReal("vehicleSpeedKmh"),
                                             chassisReal("vehicleSpeed")};

void silentLogger(fmi2ComponentEnvironment, fmi2String, fmi2Status, fmi2String, fmi2String, ...) {}

class Clock : public ::testing::Test {
 protected:
  Clock() {
    // The GUID the unit expects is the identity of its own model information.
    char guid[fmi::identityStringSize];
    runtime::ModelInfo info;
    fmi::fillModelInfo(&info);
    fmi::identityString(info, guid);
    c = fmi2Instantiate("clock", fmi2CoSimulation, guid, "file:///tmp/r", &callbacks, fmi2False,
                        fmi2False);
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
    fmi2ExitInitializationMode(c);
  }
  ~Clock() override { fmi2FreeInstance(c); }

  const runtime::SimModel& model() const {
    return *static_cast<fmi::FmuComponent*>(c)->modelInterface->model;
  }
  double carry() const { return static_cast<fmi::FmuComponent*>(c)->stepState->timeOffset; }
  uint64_t ticks() const {
    return (static_cast<uint64_t>(model().clockTickHigh0) << 32) | model().clockTick0;
  }
  double modelTime() const { return model().taskTimes[0]; }
  double stepEnd() const { return model().integrator->stopTime; }

  // The clock after n steps: time n h, the pending step ending at (n + 1) h.
  void expectClockAt(uint64_t n) const {
    ASSERT_EQ(ticks(), n);
    ASSERT_EQ(modelTime(), static_cast<double>(n) * h);
    ASSERT_EQ(stepEnd(), static_cast<double>(n + 1) * h);
  }

  void setInputs(double torque, double brake) {
    const fmi2ValueReference vr[] = {wheelTorque, brakeDemand};
    const double values[] = {torque, brake};
    ASSERT_EQ(fmi2SetReal(c, vr, 2, values), fmi2OK);
  }

  bool outputsFinite() const {
    double values[3];
    if (fmi2GetReal(c, chassisOutputs, 3, values) != fmi2OK) return false;
    return std::isfinite(values[0]) && std::isfinite(values[1]) && std::isfinite(values[2]);
  }

  fmi2CallbackFunctions callbacks{silentLogger, nullptr, nullptr, nullptr, nullptr};
  fmi2Component c = nullptr;
};

TEST_F(Clock, RefusedCallsLeaveClockAndCarryAlone) {
  ASSERT_EQ(fmi2DoStep(c, 0.0, 0.001, fmi2True), fmi2OK);
  ASSERT_EQ(fmi2DoStep(c, 0.001, 0.002, fmi2True), fmi2OK);  // one step, carry -0.0005
  expectClockAt(1);
  const double carryBefore = carry();
  ASSERT_EQ(carryBefore, 0.0025 - (0.001 + 0.002));
  // With the carry, 0.003 + 250000.0035 ends 10^8 + 1 steps after the pending step's end.
  for (double hc : {std::numeric_limits<double>::infinity(), 1e300, 250000.0035}) {
    EXPECT_EQ(fmi2DoStep(c, 0.003, hc, fmi2True), fmi2Error) << hc;
    expectClockAt(1);
    EXPECT_EQ(carry(), carryBefore);
  }
  ASSERT_EQ(fmi2DoStep(c, 0.003, 0.0025, fmi2True), fmi2OK);
  expectClockAt(2);
}

// The clock's low word wraps after 2^32 steps (about 124 days of model time); stepping across
// it through the layer keeps the time the product of the count. The count is moved there
// directly, with the pending step's end recomputed as a get call would.
TEST_F(Clock, StepsAcrossTheClockWordWrapKeepExactTime) {
  runtime::ModelInterface& mi = *static_cast<fmi::FmuComponent*>(c)->modelInterface;
  ASSERT_EQ(fmi2DoStep(c, 0.0, 0.01, fmi2True), fmi2OK);
  mi.model->clockTick0 = 0xFFFFFFFEu;
  mi.model->taskTimes[0] = static_cast<double>(0xFFFFFFFEu) * h;
  mi.setSolverStopTime(mi.model, -1.0);
  mi.computeOutputs(mi.model, 0);
  expectClockAt(0xFFFFFFFEu);
  const double tc = modelTime();
  for (uint64_t k = 1; k <= 3; ++k) {
    ASSERT_EQ(fmi2DoStep(c, tc + static_cast<double>(k - 1) * 0.01, 0.01, fmi2True), fmi2OK);
    expectClockAt(0xFFFFFFFEu + 4 * k);
    EXPECT_EQ(model().clockTickHigh0, 1u);
  }
  EXPECT_TRUE(outputsFinite());
}

TEST_F(Clock, LongRunKeepsExactTime) {
  constexpr uint64_t totalSteps = LONG_RUN_STEPS;
  // Three fifths in communication steps of 0.01 s (four fixed steps each, the master's points
  // computed as products), the rest in two calls that each catch the model up over a fifth of
  // the run at once.
  constexpr uint64_t smallCalls = totalSteps * 3 / 5 / 4;
  constexpr uint64_t bigCallSteps = totalSteps / 5;
  const auto start = std::chrono::steady_clock::now();
  double maxTimeError = 0.0;
  uint64_t n = 0;
  for (uint64_t k = 0; k < smallCalls; ++k) {
    if (k % 1000 == 0) {
      // Drive and brake in turns, with bounded inputs that change every 10 s.
      const uint64_t phase = k / 1000;
      setInputs(phase % 3 == 0 ? 900.0 : -200.0, phase % 3 == 2 ? 40.0 : 0.0);
    }
    ASSERT_EQ(fmi2DoStep(c, static_cast<double>(k) * 0.01, 0.01, fmi2True), fmi2OK);
    n += 4;
    ASSERT_EQ(ticks(), n) << "call " << k;
    maxTimeError = std::fmax(maxTimeError, std::fabs(modelTime() - static_cast<double>(n) * h));
    if (k % 1000 == 999) {
      ASSERT_TRUE(outputsFinite()) << "call " << k;
    }
  }
  expectClockAt(n);
  const uint64_t stepsInSmallCalls = n;
  for (int k = 0; k < 2; ++k) {
    setInputs(k == 0 ? 600.0 : 0.0, k == 0 ? 0.0 : 100.0);
    const double tc = static_cast<double>(n) * h;
    ASSERT_EQ(fmi2DoStep(c, tc, static_cast<double>(bigCallSteps) * h, fmi2True), fmi2OK);
    n += bigCallSteps;
    expectClockAt(n);
    ASSERT_TRUE(outputsFinite());
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(n, totalSteps);
  EXPECT_EQ(modelTime(), static_cast<double>(totalSteps) * h);
  std::printf("long run: %llu fixed steps (%llu in calls of 0.01 s, %llu in two calls), model "
              "time %.17g s, largest time error %g s, %.2f s wall time\n",
              static_cast<unsigned long long>(n), static_cast<unsigned long long>(stepsInSmallCalls),
              static_cast<unsigned long long>(n - stepsInSmallCalls), modelTime(), maxTimeError,
              seconds);
}

}  // namespace
