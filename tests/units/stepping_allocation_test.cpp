// The stepping and variable-access path allocates nothing: once an instance exists, fmi2DoStep,
// fmi2SetReal and fmi2GetReal of every built unit make no heap allocation and free nothing.
//
// The units allocate with malloc and calloc and release with free; this executable links the
// hardening tests' replacements of those, which count every allocation in the process, the
// units' included. (Not built under the sanitizers, which replace the allocator themselves.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/unit_drivers.h"
#include "bench_units.h"
#include "tests/hardening/allocation_counter.h"

namespace {

// Counts the allocations and releases made while it lives, from the heap counter of the
// hardening tests (tests/hardening/allocation_counter.cpp, linked into this executable): a
// release is a block fewer held with no allocation in between.
class AllocationCount {
 public:
  AllocationCount() : start_(hardening::heapUse()) {}
  long allocationsSoFar() const { return static_cast<long>(hardening::heapUse().allocations - start_.allocations); }
  long releasesSoFar() const {
    const hardening::HeapUse now = hardening::heapUse();
    return static_cast<long>((now.allocations - start_.allocations) - (now.blocks - start_.blocks));
  }

 private:
  hardening::HeapUse start_;
};

// What one unit's test needs: its value references and a way to drive it through its library.
struct Unit {
  std::string name;
  const char* library;
  const char* description;
  std::vector<fmi2ValueReference> parameters;
  std::vector<double> parameterValues;
  std::vector<fmi2ValueReference> inputs;
  std::vector<double> inputValues;
  std::vector<fmi2ValueReference> everyReal;
};

template <class M>
Unit unitOf(const char* name, const bench::OperatingPoint& point, const char* library, const char* description) {
  Unit u{name, library, description, {}, {}, {}, {}, {}};
  for (const bench::Setting& s : point.parameters) {
    u.parameters.push_back(bench::realReference<M>(s.name));
    u.parameterValues.push_back(s.value);
  }
  for (const bench::Setting& s : point.inputs) {
    u.inputs.push_back(bench::realReference<M>(s.name));
    u.inputValues.push_back(s.value);
  }
  for (uint32_t vr = 0; vr < bench::realCount<M>(); ++vr) u.everyReal.push_back(vr);
  return u;
}

std::vector<Unit> builtUnits() {
  std::vector<Unit> units;
#define ALLOCATION_UNIT(id, M, point, library, description) \
  units.push_back(unitOf<M>(#id, point, library, description));
  BENCH_FOR_EACH_UNIT(ALLOCATION_UNIT)
#undef ALLOCATION_UNIT
  return units;
}

// Stepping with both communication steps and moving every value: 100 communication steps of
// each size, every input written and every real read between them.
template <class Setup>
void stepAndAccess(const Unit& u, Setup setup, long& allocated, long& released) {
  bench::FmiModel unit(u.library, u.description);
  test_support::UnitLibrary& lib = unit.library();
  const fmi2Component c = unit.component();
  setup(unit);
  std::vector<double> values(u.everyReal.size());
  fmi2Status worst = fmi2OK;
  {
    AllocationCount count;
    double t = 0.0;
    for (int k = 0; k < 100; ++k) {
      for (const double hc : {bench::fixedStep, 4 * bench::fixedStep}) {
        worst = std::max(worst, lib.fmi2SetReal(c, u.inputs.data(), u.inputs.size(), u.inputValues.data()));
        worst = std::max(worst, lib.fmi2DoStep(c, t, hc, fmi2True));
        worst = std::max(worst, lib.fmi2GetReal(c, u.everyReal.data(), u.everyReal.size(), values.data()));
        t = t + hc;
      }
    }
    allocated = count.allocationsSoFar();
    released = count.releasesSoFar();
  }
  EXPECT_EQ(worst, fmi2OK) << u.name;
}

TEST(SteppingAllocations, NoneInStepsOrVariableAccessOfAnyUnit) {
  const std::vector<Unit> units = builtUnits();
  ASSERT_FALSE(units.empty());
  for (const Unit& u : units) {
    long allocated = -1;
    long released = -1;
    // At the operating point, out of initialisation, the first step taken (it reports the fixed
    // step size to the logger).
    stepAndAccess(
        u,
        [&u](bench::FmiModel& unit) {
          for (std::size_t i = 0; i < u.parameters.size(); ++i) unit.setReal(u.parameters[i], u.parameterValues[i]);
          unit.setup();
          unit.doStep(0.0, 1);
        },
        allocated, released);
    EXPECT_EQ(allocated, 0) << u.name << ": heap allocations while stepping";
    EXPECT_EQ(released, 0) << u.name << ": heap releases while stepping";
  }
}

TEST(SteppingAllocations, NoneInGetCallsBeforeInitializationEnds) {
  // Before fmi2ExitInitializationMode every get call recomputes the outputs first; the first
  // fmi2DoStep reports the fixed step size to the logger and so comes before the count.
  for (const Unit& u : builtUnits()) {
    long allocated = -1;
    long released = -1;
    stepAndAccess(
        u,
        [](bench::FmiModel& unit) {
          unit.instance().setup();
          unit.library().fmi2EnterInitializationMode(unit.component());
          unit.doStep(0.0, 1);
        },
        allocated, released);
    EXPECT_EQ(allocated, 0) << u.name;
    EXPECT_EQ(released, 0) << u.name;
  }
}

TEST(SteppingAllocations, TheCountSeesEachUnitsOwnAllocationsAndReleases) {
  // fmi2Instantiate allocates the instance's records inside the unit library and
  // fmi2FreeInstance releases every one of them: the count reaches into the loaded library.
  for (const Unit& u : builtUnits()) {
    test_support::UnitLibrary lib(u.library);
    const std::string guid = test_support::readGuid(u.description);
    fmi2CallbackFunctions callbacks{test_support::recordingLogger, nullptr, nullptr, nullptr, nullptr};
    long allocated = 0;
    long released = 0;
    fmi2Component c = nullptr;
    {
      AllocationCount count;
      c = lib.fmi2Instantiate("count", fmi2CoSimulation, guid.c_str(), "file:///tmp", &callbacks, fmi2False,
                              fmi2False);
      if (c != nullptr) lib.fmi2FreeInstance(c);
      allocated = count.allocationsSoFar();
      released = count.releasesSoFar();
    }
    ASSERT_NE(c, nullptr) << u.name;
    EXPECT_GT(allocated, 0) << u.name;
    EXPECT_EQ(released, allocated) << u.name << ": every allocation of the instance is released";
  }
}

}  // namespace
