// The communication step of the chassis unit. The number of fixed model steps a call takes is
// read off the vehicle speed: with a constant wheel torque and brake demand every fixed step
// changes it, so a run of single fixed steps gives the speed after each step count.
#include <vector>

#include "runtime/sim_model.h"
#include "tests/fmi/tessik_fixture.h"

namespace tessik {
namespace {

constexpr double fixedStep = runtime::fixedStepSize;

class Stepping : public UnitTest {
 protected:
  std::unique_ptr<test_support::UnitInstance> driven() {
    auto unit = make();
    unit->setReal(wheelTorque, 400.0);
    unit->setReal(brakeDemand, 5.0);
    return unit;
  }

  // The vehicle speed after 0, 1, ..., n fixed steps.
  std::vector<double> speedsBySteps(int n) {
    auto unit = driven();
    std::vector<double> speeds{unit->getReal(vehicleSpeed)};
    for (int k = 0; k < n; ++k) {
      EXPECT_EQ(unit->doStep(fixedStep), fmi2OK);
      speeds.push_back(unit->getReal(vehicleSpeed));
    }
    return speeds;
  }
};

TEST_F(Stepping, WholeMultiplesTakeTheirNumberOfFixedSteps) {
  const std::vector<double> reference = speedsBySteps(20);
  for (int k = 1; k < 20; ++k) ASSERT_NE(reference[k], reference[k - 1]);

  auto unit = driven();
  unit->log().clear();
  for (int call = 1; call <= 5; ++call) {
    ASSERT_EQ(unit->doStep(0.01), fmi2OK);
    EXPECT_EQ(unit->getReal(vehicleSpeed), reference[4 * call]) << "call " << call;
  }
  // Only the first accepted call reports: the fixed step size.
  ASSERT_EQ(unit->log().messages.size(), 1u);
  expectLast(*unit, fmi2OK, "Fixed step size used by FMU is 2.500000e-03");
}

TEST_F(Stepping, ShortStepsAccumulateIntoFixedSteps) {
  const std::vector<double> reference = speedsBySteps(6);
  auto unit = driven();
  // The carry falls by 0.0005 s with every step taken; the sixth step would leave it at a whole
  // fixed step, and it is folded back.
  const int stepsAfterCall[] = {0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6};
  for (int call = 0; call < 18; ++call) {
    ASSERT_EQ(library.fmi2DoStep(unit->component(), 0.001 * call, 0.001, fmi2True), fmi2OK);
    EXPECT_EQ(unit->getReal(vehicleSpeed), reference[stepsAfterCall[call]]) << "call " << call + 1;
  }
}

TEST_F(Stepping, FirstStepChecks) {
  const std::vector<double> reference = speedsBySteps(8);
  auto unit = driven();
  fmi2Component c = unit->component();
  EXPECT_EQ(library.fmi2DoStep(c, 0.001, 0.01, fmi2True), fmi2Error);
  expectLast(*unit, fmi2Error,
             "First step (Current communication point) 1.000000e-03 must be set to start time "
             "0.000000e+00");
  EXPECT_EQ(library.fmi2DoStep(c, 0.0, -0.0, fmi2True), fmi2Error);
  expectLast(*unit, fmi2Error,
             "This FMU cannot handle events. Communication step size set to zero is not "
             "supported");
  EXPECT_EQ(unit->getReal(vehicleSpeed), reference[0]);

  EXPECT_EQ(library.fmi2DoStep(c, 0.0, 0.005, fmi2True), fmi2OK);
  EXPECT_EQ(unit->getReal(vehicleSpeed), reference[2]);
  // After the first step: a zero or negative step takes no step, and is not refused.
  unit->log().clear();
  EXPECT_EQ(library.fmi2DoStep(c, 0.005, 0.0, fmi2True), fmi2OK);
  EXPECT_EQ(library.fmi2DoStep(c, 0.005, -0.01, fmi2True), fmi2OK);
  EXPECT_EQ(unit->getReal(vehicleSpeed), reference[2]);
  EXPECT_TRUE(unit->log().messages.empty());
  // A communication point ahead of the model: the model catches up to its end.
  EXPECT_EQ(library.fmi2DoStep(c, 0.0175, fixedStep, fmi2True), fmi2OK);
  EXPECT_EQ(unit->getReal(vehicleSpeed), reference[8]);
}

TEST_F(Stepping, CancelStepAndStatusQueriesAreRefused) {
  auto unit = make();
  fmi2Component c = unit->component();
  ASSERT_EQ(unit->doStep(0.01), fmi2OK);
  EXPECT_EQ(library.fmi2CancelStep(c), fmi2Error);
  expectLast(*unit, fmi2Error,
             "Invalid call to fmi2CancelStep. fmi2CancelStep may only be called if fmi2DoStep "
             "returned with fmi2Pending.");

  fmi2Status status = fmi2Pending;
  double real = -1.0;
  int integer = -1;
  fmi2String text = "untouched";
  EXPECT_EQ(library.fmi2GetStatus(c, fmi2DoStepStatus, &status), fmi2Error);
  expectLast(*unit, fmi2Error, "fmi2GetStatus is not supported");
  EXPECT_EQ(library.fmi2GetRealStatus(c, fmi2LastSuccessfulTime, &real), fmi2Error);
  expectLast(*unit, fmi2Error, "fmi2GetRealStatus is not supported");
  EXPECT_EQ(library.fmi2GetIntegerStatus(c, fmi2DoStepStatus, &integer), fmi2Error);
  expectLast(*unit, fmi2Error, "fmi2GetIntegerStatus is not supported");
  EXPECT_EQ(library.fmi2GetBooleanStatus(c, fmi2Terminated, &integer), fmi2Error);
  expectLast(*unit, fmi2Error, "fmi2GetBooleanStatus is not supported");
  EXPECT_EQ(library.fmi2GetStringStatus(c, fmi2PendingStatus, &text), fmi2Error);
  expectLast(*unit, fmi2Error, "fmi2GetStringStatus is not supported");
  EXPECT_EQ(status, fmi2Pending);
  EXPECT_EQ(real, -1.0);
  EXPECT_EQ(integer, -1);
  EXPECT_STREQ(text, "untouched");
  // Statuses are per call: the next call starts from fmi2OK.
  EXPECT_EQ(unit->doStep(0.01), fmi2OK);
  EXPECT_EQ(library.fmi2EnterInitializationMode(c), fmi2OK);
}

}  // namespace
}  // namespace tessik
