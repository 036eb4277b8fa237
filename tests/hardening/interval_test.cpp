// Communication intervals no unit can step. A unit that takes fixed steps refuses, with fmi2Error
// and before any step, an interval that ends at +infinity or needs more than 10^8 fixed steps
// (250 000 s) in one call; NaN and -infinity ends take no step and are not refused. A unit that
// acts at communication points refuses every interval that does not end at a finite time, NaN
// included, and takes any finite one, however long, in one call of bounded work. A refused call
// leaves the instance exactly as if it had not been made.
#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tests/hardening/unit_catalogue.h"
#include "tests/support/unit_library.h"

namespace hardening {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

class Intervals : public ::testing::TestWithParam<UnitFiles> {
 protected:
  Intervals()
      : library(GetParam().library),
        catalogue(readCatalogue(GetParam().description)),
        inputs(catalogue.references("Real", "input")) {}

  std::unique_ptr<test_support::UnitInstance> make() {
    auto unit = instantiate(library, GetParam(), catalogue, true);
    for (std::size_t i = 0; i < inputs.size(); ++i) unit->setReal(inputs[i], 10.0 + i);
    unit->log().clear();
    return unit;
  }

  std::vector<uint64_t> outputs(test_support::UnitInstance& unit) {
    return outputBits(library, unit.component(), catalogue);
  }

  // Steps both instances on from 0.01 and expects the same outputs after every call.
  void expectSameFuture(test_support::UnitInstance& unit, test_support::UnitInstance& reference) {
    for (int k = 1; k <= 3; ++k) {
      ASSERT_EQ(library.fmi2DoStep(unit.component(), 0.01 * k, 0.01, fmi2True), fmi2OK);
      ASSERT_EQ(library.fmi2DoStep(reference.component(), 0.01 * k, 0.01, fmi2True), fmi2OK);
      EXPECT_EQ(outputs(unit), outputs(reference)) << "call " << k;
    }
  }

  // The refusal of an interval that does not end at a finite time.
  void expectEndless(test_support::UnitInstance& unit, double tc, double hc, const char* text) {
    SCOPED_TRACE(text);
    EXPECT_EQ(library.fmi2DoStep(unit.component(), tc, hc, fmi2True), fmi2Error);
    expectLast(unit, std::string("The communication interval from ") + text +
                         (GetParam().fixedStep ? " ends at infinity"
                                               : " does not end at a finite time") +
                         "; no step was taken");
  }

  static void expectLast(test_support::UnitInstance& unit, const std::string& text) {
    const test_support::LoggedMessage* last = unit.log().last();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->status, fmi2Error);
    EXPECT_EQ(last->message, text);
  }

  test_support::UnitLibrary library;
  Catalogue catalogue;
  std::vector<fmi2ValueReference> inputs;
};

TEST_P(Intervals, IntervalsThatCannotBeSteppedAreRefusedWithoutAStep) {
  auto unit = make();
  auto reference = make();
  ASSERT_EQ(unit->doStep(0.01), fmi2OK);
  ASSERT_EQ(reference->doStep(0.01), fmi2OK);
  const std::vector<uint64_t> before = outputs(*unit);
  fmi2Component c = unit->component();

  expectEndless(*unit, 0.01, infinity, "1.000000e-02 with step size inf");
  expectEndless(*unit, 1e308, 1e308, "1.000000e+308 with step size 1.000000e+308");  // overflow
  if (GetParam().fixedStep) {
    // The next step ends at 0.0125: 0.0125 + 10^8 steps is the end of step number 10^8 + 1.
    EXPECT_EQ(library.fmi2DoStep(c, 0.01, 250000.0025, fmi2True), fmi2Error);
    expectLast(*unit, "The communication interval from 1.000000e-02 with step size 2.500000e+05 "
                      "would need more than 100000000 fixed steps of 2.500000e-03 s in one call; "
                      "no step was taken");
    EXPECT_EQ(library.fmi2DoStep(c, 0.01, 1e300, fmi2True), fmi2Error);
    EXPECT_EQ(library.fmi2DoStep(c, 1e17, 0.01, fmi2True), fmi2Error);  // a master far ahead

    // Ends that compare false take no step and are no error.
    unit->log().clear();
    EXPECT_EQ(library.fmi2DoStep(c, 0.01, nan, fmi2True), fmi2OK);
    EXPECT_EQ(library.fmi2DoStep(c, nan, 0.01, fmi2True), fmi2OK);
    EXPECT_EQ(library.fmi2DoStep(c, 0.01, -infinity, fmi2True), fmi2OK);
    EXPECT_EQ(library.fmi2DoStep(c, infinity, -infinity, fmi2True), fmi2OK);  // NaN end
    EXPECT_TRUE(unit->log().messages.empty());
  } else {
    expectEndless(*unit, 0.01, nan, "1.000000e-02 with step size nan");
    expectEndless(*unit, nan, 0.01, "nan with step size 1.000000e-02");
    expectEndless(*unit, 0.01, -infinity, "1.000000e-02 with step size -inf");
    expectEndless(*unit, infinity, -infinity, "inf with step size -inf");
  }

  EXPECT_EQ(outputs(*unit), before);
  ASSERT_NO_FATAL_FAILURE(expectSameFuture(*unit, *reference));
  if (GetParam().fixedStep) return;

  // Any finite interval is one call, whose work does not grow with its length.
  unit->log().clear();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(library.fmi2DoStep(c, 0.04, 1e300, fmi2True), fmi2OK);
  EXPECT_EQ(library.fmi2DoStep(c, 1e300, 1e300, fmi2True), fmi2OK);
  EXPECT_EQ(library.fmi2DoStep(c, 1e17, 0.01, fmi2True), fmi2OK);  // a master far ahead
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
  EXPECT_TRUE(unit->log().messages.empty());
}

// A refused first call has passed the first-step checks: the next call from 0 steps normally.
TEST_P(Intervals, RefusedFirstCallLeavesTheInstanceReady) {
  auto unit = make();
  auto reference = make();
  EXPECT_EQ(library.fmi2DoStep(unit->component(), 0.0, infinity, fmi2True), fmi2Error);
  if (GetParam().fixedStep) {
    ASSERT_EQ(unit->log().messages.size(), 2u);
    EXPECT_EQ(unit->log().messages[0].message, "Fixed step size used by FMU is 2.500000e-03");
  } else {
    EXPECT_EQ(unit->log().messages.size(), 1u);
  }
  ASSERT_EQ(library.fmi2DoStep(unit->component(), 0.0, 0.01, fmi2True), fmi2OK);
  ASSERT_EQ(library.fmi2DoStep(reference->component(), 0.0, 0.01, fmi2True), fmi2OK);
  EXPECT_EQ(outputs(*unit), outputs(*reference));
  expectSameFuture(*unit, *reference);
}

INSTANTIATE_TEST_SUITE_P(Units, Intervals, ::testing::ValuesIn(unitsUnderTest()), unitName);

}  // namespace
}  // namespace hardening
