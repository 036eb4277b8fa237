// Instances of one library do not disturb each other: two instances stepped in turns with
// different inputs (and, for a unit that reads data, different data) give bit for bit the results
// of the same two runs done one after the other.
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

// The outputs of a run after each call, as bit patterns (so NaNs compare too).
using Trace = std::vector<uint64_t>;

class Isolation : public ::testing::TestWithParam<UnitFiles> {
 protected:
  Isolation()
      : copy(GetParam().library),
        library(copy.path()),
        catalogue(readCatalogue(GetParam().description)),
        inputs(catalogue.references("Real", "input")),
        keeper(library, catalogue.guid, false, "keeper", false, GetParam().resources) {}

  std::unique_ptr<test_support::UnitInstance> make(const std::string& name, int run = 0,
                                                   bool initialize = true) {
    return instantiate(library, GetParam(), catalogue, initialize, name, false,
                       static_cast<DataChoice>(run));
  }

  // The inputs of call k of run `run`: bounded, different for every input, call and run.
  double input(int run, std::size_t index, int call) const {
    return (10.0 + 5.0 * run) * (1.0 + static_cast<double>(index)) *
           (1.0 + 0.5 * std::sin(0.3 * call + run));
  }

  // A unit that acts at communication points takes one second per call, far enough into its data
  // for the runs to differ.
  void oneCall(test_support::UnitInstance& unit, int run, int call, Trace& trace) {
    for (std::size_t i = 0; i < inputs.size(); ++i) unit.setReal(inputs[i], input(run, i, call));
    ASSERT_EQ(unit.doStep(GetParam().fixedStep ? 0.01 : 1.0), fmi2OK);
    for (uint64_t bits : outputBits(library, unit.component(), catalogue)) trace.push_back(bits);
  }

  Trace alone(int run) {
    auto unit = make("alone", run);
    Trace trace;
    for (int k = 0; k < calls; ++k) oneCall(*unit, run, k, trace);
    return trace;
  }

  PrivateLibraryCopy copy;
  test_support::UnitLibrary library;
  Catalogue catalogue;
  std::vector<fmi2ValueReference> inputs;
  test_support::UnitInstance keeper;  // the first instance: holds the default parameter record
};

TEST_P(Isolation, InterleavedInstancesMatchSeparateRuns) {
  const Trace first = alone(0);
  const Trace second = alone(1);
  ASSERT_NE(first, second) << "the two runs must differ for the comparison to mean something";

  auto a = make("a", 0);
  auto b = make("b", 1);
  Trace interleavedFirst, interleavedSecond;
  for (int k = 0; k < calls; ++k) {
    oneCall(*a, 0, k, interleavedFirst);
    oneCall(*b, 1, k, interleavedSecond);
  }
  EXPECT_EQ(interleavedFirst, first);
  EXPECT_EQ(interleavedSecond, second);
}

// Parameters written through one instance stay in its own record: Real ones and String ones.
TEST_P(Isolation, ParameterWritesStayInTheirInstance) {
  auto a = make("a", 0, false);
  auto b = make("b", 0, false);
  for (fmi2ValueReference vr : catalogue.references("Real", "parameter")) {
    const double original = b->getReal(vr);
    a->setReal(vr, original + 1.0);
    EXPECT_EQ(a->getReal(vr), original + 1.0) << "parameter " << vr;
    EXPECT_EQ(b->getReal(vr), original) << "parameter " << vr;
    EXPECT_EQ(keeper.getReal(vr), original) << "parameter " << vr;
  }
  for (const Variable& v : catalogue.variables) {
    if (v.type != "String" || v.causality != "parameter") continue;
    const std::string other = stringSetting(GetParam(), v, otherData);
    const char* written = other.c_str();
    ASSERT_EQ(library.fmi2SetString(a->component(), &v.vr, 1, &written), fmi2OK);
    for (auto* unit : {a.get(), b.get(), &keeper}) {
      fmi2String read = nullptr;
      ASSERT_EQ(library.fmi2GetString(unit->component(), &v.vr, 1, &read), fmi2OK);
      EXPECT_EQ(read, unit == a.get() ? other : stringSetting(GetParam(), v, startData)) << v.name;
    }
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
