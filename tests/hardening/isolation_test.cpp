// Instances of one library do not disturb each other: two instances stepped in turns with
// different inputs give bit for bit the results of the same two runs done one after the other.
// The one thing they share, the library's stored default parameter record, is kept out of the
// way by an untouched first instance (so both get private copies), and shown once on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/hardening/unit_catalogue.h"
#include "tests/support/unit_library.h"

namespace hardening {
namespace {

constexpr int calls = 60;
constexpr double communicationStep = 0.01;

// The outputs of a run after each call, as bit patterns (so NaNs compare too).
using Trace = std::vector<uint64_t>;

class Isolation : public ::testing::TestWithParam<UnitFiles> {
 protected:
  Isolation()
      : copy(GetParam().library),
        library(copy.path()),
        catalogue(readCatalogue(GetParam().description)),
        inputs(catalogue.references("Real", "input")),
        outputs(catalogue.references("Real", "output")),
        keeper(library, catalogue.guid, false, "keeper", false) {}

  std::unique_ptr<test_support::UnitInstance> make(const std::string& name) {
    return std::make_unique<test_support::UnitInstance>(library, catalogue.guid, true, name, false);
  }

  // The inputs of call k of run `run`: bounded, different for every input, call and run.
  double input(int run, std::size_t index, int call) const {
    return (10.0 + 5.0 * run) * (1.0 + static_cast<double>(index)) *
           (1.0 + 0.5 * std::sin(0.3 * call + run));
  }

  void oneCall(test_support::UnitInstance& unit, int run, int call, Trace& trace) {
    for (std::size_t i = 0; i < inputs.size(); ++i) unit.setReal(inputs[i], input(run, i, call));
    ASSERT_EQ(unit.doStep(communicationStep), fmi2OK);
    for (fmi2ValueReference vr : outputs) trace.push_back(bitsOf(unit.getReal(vr)));
  }

  Trace alone(int run) {
    auto unit = make("alone");
    Trace trace;
    for (int k = 0; k < calls; ++k) oneCall(*unit, run, k, trace);
    return trace;
  }

  PrivateLibraryCopy copy;
  test_support::UnitLibrary library;
  Catalogue catalogue;
  std::vector<fmi2ValueReference> inputs;
  std::vector<fmi2ValueReference> outputs;
  test_support::UnitInstance keeper;  // the first instance: holds the default parameter record
};

TEST_P(Isolation, InterleavedInstancesMatchSeparateRuns) {
  ASSERT_FALSE(inputs.empty());
  ASSERT_FALSE(outputs.empty());
  const Trace first = alone(0);
  const Trace second = alone(1);
  ASSERT_NE(first, second) << "the two runs must differ for the comparison to mean something";

  auto a = make("a");
  auto b = make("b");
  Trace interleavedFirst, interleavedSecond;
  for (int k = 0; k < calls; ++k) {
    oneCall(*a, 0, k, interleavedFirst);
    oneCall(*b, 1, k, interleavedSecond);
  }
  EXPECT_EQ(interleavedFirst, first);
  EXPECT_EQ(interleavedSecond, second);
}

// Parameters written through one instance stay in its own record.
TEST_P(Isolation, ParameterWritesStayInTheirInstance) {
  const std::vector<fmi2ValueReference> parameters = catalogue.references("Real", "parameter");
  ASSERT_FALSE(parameters.empty());
  auto a = make("a");
  auto b = make("b");
  for (fmi2ValueReference vr : parameters) {
    const double original = b->getReal(vr);
    a->setReal(vr, original + 1.0);
    EXPECT_EQ(b->getReal(vr), original) << "parameter " << vr;
    EXPECT_EQ(keeper.getReal(vr), original) << "parameter " << vr;
  }
}

INSTANTIATE_TEST_SUITE_P(Units, Isolation, ::testing::ValuesIn(unitsUnderTest()), unitName);

// The documented sharing: the first instance of a library works on the stored default record
// itself, so a parameter it changes is the starting value of every instance created later, also
// after the first one is gone; those later instances have private copies.
TEST(DefaultParameterSharing, FirstInstanceChangesTheDefaultsOfLaterOnes) {
  const UnitFiles& unit = unitsUnderTest().front();
  PrivateLibraryCopy copy(unit.library);
  test_support::UnitLibrary library(copy.path());
  const Catalogue catalogue = readCatalogue(unit.description);
  const fmi2ValueReference parameter = catalogue.references("Real", "parameter").front();

  auto first = std::make_unique<test_support::UnitInstance>(library, catalogue.guid, false);
  const double stored = first->getReal(parameter);
  first->setReal(parameter, stored + 2.0);

  test_support::UnitInstance second(library, catalogue.guid, false);
  EXPECT_EQ(second.getReal(parameter), stored + 2.0);
  second.setReal(parameter, stored + 5.0);  // a private copy: the defaults stay as they are
  EXPECT_EQ(first->getReal(parameter), stored + 2.0);

  first.reset();
  test_support::UnitInstance third(library, catalogue.guid, false);
  EXPECT_EQ(third.getReal(parameter), stored + 2.0);
}

}  // namespace
}  // namespace hardening
