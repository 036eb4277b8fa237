// Communication intervals no unit can step: one that ends at +infinity, or one that needs more
// than 10^8 fixed steps (250 000 s) in one call, is refused with fmi2Error before any step, and
// the instance goes on exactly as if the call had not been made. NaN and -infinity ends take no
// step and are not refused.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "runtime/sim_model.h"
#include "tests/hardening/unit_catalogue.h"
#include "tests/support/unit_library.h"

namespace hardening {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double fixedStep = runtime::fixedStepSize;

class Intervals : public ::testing::TestWithParam<UnitFiles> {
 protected:
  Intervals()
      : library(GetParam().library),
        catalogue(readCatalogue(GetParam().description)),
        inputs(catalogue.references("Real", "input")),
        outputs(catalogue.references("Real", "output")) {}

  std::unique_ptr<test_support::UnitInstance> make() {
    auto unit = std::make_unique<test_support::UnitInstance>(library, catalogue.guid);
    for (std::size_t i = 0; i < inputs.size(); ++i) unit->setReal(inputs[i], 10.0 + i);
    unit->log().clear();
    return unit;
  }

  std::vector<uint64_t> outputBits(test_support::UnitInstance& unit) {
    std::vector<uint64_t> bits;
    for (fmi2ValueReference vr : outputs) bits.push_back(bitsOf(unit.getReal(vr)));
    return bits;
  }

  // Steps both instances on from 0.01 and expects the same outputs after every call.
  void expectSameFuture(test_support::UnitInstance& unit, test_support::UnitInstance& reference) {
    for (int k = 1; k <= 3; ++k) {
      ASSERT_EQ(library.fmi2DoStep(unit.component(), 0.01 * k, 0.01, fmi2True), fmi2OK);
      ASSERT_EQ(library.fmi2DoStep(reference.component(), 0.01 * k, 0.01, fmi2True), fmi2OK);
      EXPECT_EQ(outputBits(unit), outputBits(reference)) << "call " << k;
    }
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
  std::vector<fmi2ValueReference> outputs;
};

TEST_P(Intervals, EndlessAndOverlongIntervalsAreRefusedWithoutAStep) {
  auto unit = make();
  auto reference = make();
  ASSERT_EQ(unit->doStep(0.01), fmi2OK);
  ASSERT_EQ(reference->doStep(0.01), fmi2OK);
  const std::vector<uint64_t> before = outputBits(*unit);
  fmi2Component c = unit->component();

  EXPECT_EQ(library.fmi2DoStep(c, 0.01, infinity, fmi2True), fmi2Error);
  expectLast(*unit, "The communication interval from 1.000000e-02 with step size inf ends at "
                    "infinity; no step was taken");
  EXPECT_EQ(library.fmi2DoStep(c, 1e308, 1e308, fmi2True), fmi2Error);  // the sum overflows
  expectLast(*unit, "The communication interval from 1.000000e+308 with step size 1.000000e+308 "
                    "ends at infinity; no step was taken");
  // The next step ends at 0.0125: 0.0125 + 10^8 steps is the end of step number 10^8 + 1.
  EXPECT_EQ(library.fmi2DoStep(c, 0.01, 250000.0025, fmi2True), fmi2Error);
  expectLast(*unit, "The communication interval from 1.000000e-02 with step size 2.500000e+05 "
                    "would need more than 100000000 fixed steps of 2.500000e-03 s in one call; no "
                    "step was taken");
  EXPECT_EQ(library.fmi2DoStep(c, 0.01, 1e300, fmi2True), fmi2Error);
  EXPECT_EQ(library.fmi2DoStep(c, 1e17, 0.01, fmi2True), fmi2Error);  // a master far ahead

  // Ends that compare false take no step and are no error.
  unit->log().clear();
  EXPECT_EQ(library.fmi2DoStep(c, 0.01, nan, fmi2True), fmi2OK);
  EXPECT_EQ(library.fmi2DoStep(c, nan, 0.01, fmi2True), fmi2OK);
  EXPECT_EQ(library.fmi2DoStep(c, 0.01, -infinity, fmi2True), fmi2OK);
  EXPECT_EQ(library.fmi2DoStep(c, infinity, -infinity, fmi2True), fmi2OK);  // NaN end
  EXPECT_TRUE(unit->log().messages.empty());

  EXPECT_EQ(outputBits(*unit), before);
  expectSameFuture(*unit, *reference);
}

// A refused first call has passed the first-step checks: the next call from 0 steps normally.
TEST_P(Intervals, RefusedFirstCallLeavesTheInstanceReady) {
  auto unit = make();
  auto reference = make();
  EXPECT_EQ(library.fmi2DoStep(unit->component(), 0.0, infinity, fmi2True), fmi2Error);
  ASSERT_EQ(unit->log().messages.size(), 2u);
  EXPECT_EQ(unit->log().messages[0].message, "Fixed step size used by FMU is 2.500000e-03");
  ASSERT_EQ(library.fmi2DoStep(unit->component(), 0.0, 0.01, fmi2True), fmi2OK);
  ASSERT_EQ(library.fmi2DoStep(reference->component(), 0.0, 0.01, fmi2True), fmi2OK);
  EXPECT_EQ(outputBits(*unit), outputBits(*reference));
  expectSameFuture(*unit, *reference);
}

INSTANTIATE_TEST_SUITE_P(Units, Intervals, ::testing::ValuesIn(unitsUnderTest()), unitName);

}  // namespace
}  // namespace hardening
