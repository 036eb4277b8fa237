// Lifecycle soak: 10 000 cycles of instantiate, set up, step and free for every unit, each with a
// refused instantiation and a refused step besides, and the heap the process holds is the same
// afterwards, to the block and the byte. Under the sanitizers LeakSanitizer checks the same at
// exit instead of the counting allocator.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "tests/hardening/allocation_counter.h"
#include "tests/hardening/unit_catalogue.h"
#include "tests/support/unit_library.h"

namespace hardening {
namespace {

constexpr int cycles = 10000;
constexpr int warmUpCycles = 10;

void silentLogger(fmi2ComponentEnvironment, fmi2String, fmi2Status, fmi2String, fmi2String, ...) {}

class Soak : public ::testing::TestWithParam<UnitFiles> {
 protected:
  Soak() : library(GetParam().library), resources(GetParam().resources) {
    const Catalogue catalogue = readCatalogue(GetParam().description);
    guid = catalogue.guid;
    for (const Variable& v : catalogue.variables) {
      if (v.type == "String" && v.causality == "parameter") {
        strings.emplace_back(v.vr, stringSetting(GetParam(), v, smallestData));
      }
    }
  }

  // One cycle; the instance is created with logging on, so that every message is formatted and
  // delivered.
  void cycle() {
    const fmi2CallbackFunctions callbacks{silentLogger, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(library.fmi2Instantiate("soak", fmi2CoSimulation, "not the guid", resources,
                                      &callbacks, fmi2False, fmi2True),
              nullptr);
    fmi2Component c = library.fmi2Instantiate("soak", fmi2CoSimulation, guid.c_str(), resources,
                                              &callbacks, fmi2False, fmi2True);
    ASSERT_NE(c, nullptr);
    ASSERT_NO_FATAL_FAILURE(writeStrings(c));
    ASSERT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2True, 10.0), fmi2OK);
    ASSERT_EQ(library.fmi2EnterInitializationMode(c), fmi2OK);
    ASSERT_EQ(library.fmi2ExitInitializationMode(c), fmi2OK);
    ASSERT_EQ(library.fmi2DoStep(c, 0.0, 0.01, fmi2True), fmi2OK);
    ASSERT_EQ(library.fmi2DoStep(c, 0.01, std::numeric_limits<double>::infinity(), fmi2True),
              fmi2Error);
    ASSERT_EQ(library.fmi2Terminate(c), fmi2OK);
    library.fmi2FreeInstance(c);
  }

  void writeStrings(fmi2Component c) {
    for (const auto& [vr, value] : strings) {
      const char* text = value.c_str();
      ASSERT_EQ(library.fmi2SetString(c, &vr, 1, &text), fmi2OK);
    }
  }

  test_support::UnitLibrary library;
  const char* resources;
  std::string guid;
  // The String parameters, choosing the smallest data the unit reads.
  std::vector<std::pair<fmi2ValueReference, std::string>> strings;
};

TEST_P(Soak, TenThousandLifecyclesHoldNoMoreHeap) {
  for (int i = 0; i < warmUpCycles; ++i) ASSERT_NO_FATAL_FAILURE(cycle());
  const HeapUse before = heapUse();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < cycles; ++i) ASSERT_NO_FATAL_FAILURE(cycle());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const HeapUse after = heapUse();
  const std::string steps = GetParam().fixedStep ? std::to_string(4 * cycles) + " fixed steps"
                                                 : std::to_string(cycles) + " steps";

  if (!heapCounted()) {
    std::printf("soak %s: %d cycles (%s) in %.2f s; heap checked by LeakSanitizer\n",
                GetParam().name, cycles, steps.c_str(), seconds);
    return;
  }
  const double perCycle = static_cast<double>(after.allocations - before.allocations) / cycles;
  std::printf("soak %s: %d cycles (%s) in %.2f s; heap before %lld blocks / %lld "
              "bytes, after %lld blocks / %lld bytes; %.1f allocations per cycle\n",
              GetParam().name, cycles, steps.c_str(), seconds, static_cast<long long>(before.blocks),
              static_cast<long long>(before.bytes), static_cast<long long>(after.blocks),
              static_cast<long long>(after.bytes), perCycle);
  RecordProperty("heapBytesBefore", std::to_string(before.bytes));
  RecordProperty("heapBytesAfter", std::to_string(after.bytes));
  EXPECT_GT(perCycle, 0.0) << "the counting allocator saw none of the unit's allocations";
  EXPECT_EQ(after.blocks, before.blocks);
  EXPECT_EQ(after.bytes, before.bytes);
}

// A logger that allocates nothing (it runs while allocations are made to fail): it keeps the
// last error message in a fixed buffer.
struct LastError {
  char text[4096];
  int count;
};
LastError lastError;

void keepingLogger(fmi2ComponentEnvironment, fmi2String, fmi2Status status, fmi2String,
                   fmi2String message, ...) {
  if (status != fmi2Error) return;
  std::snprintf(lastError.text, sizeof lastError.text, "%s", message);
  ++lastError.count;
}

// Makes each allocation of one call fail in turn: attempt(n) arms failAllocationAfter(n) around
// the call, checks its outcome and returns whether an allocation failed. After each attempt the
// heap is back where it was. Returns the number of failed attempts.
template <class Attempt>
int64_t failEachAllocationInTurn(Attempt attempt) {
  const HeapUse before = heapUse();
  int64_t n = 0;
  for (bool failed = true; failed; ++n) {
    lastError.count = 0;
    failed = attempt(n);
    const HeapUse after = heapUse();
    EXPECT_EQ(after.blocks, before.blocks) << "allocation " << n + 1 << " failed";
    EXPECT_EQ(after.bytes, before.bytes) << "allocation " << n + 1 << " failed";
    if (failed) {
      EXPECT_GT(lastError.count, 0) << "allocation " << n + 1 << " failed without an error";
    }
  }
  return n - 1;
}

// Each allocation fmi2Instantiate makes fails in turn: the call returns NULL after telling the
// master, and gives back everything it had taken; and so does each allocation of
// fmi2EnterInitializationMode (where a unit reads its data), which returns fmi2Error. Once no
// allocation fails, the instance works.
TEST_P(Soak, EveryFailedAllocationInInstantiationAndInitialisationIsCleanedUp) {
  if (!heapCounted()) GTEST_SKIP() << "the sanitizer build keeps its own allocator";
  const fmi2CallbackFunctions callbacks{keepingLogger, nullptr, nullptr, nullptr, nullptr};
  ASSERT_NO_FATAL_FAILURE(cycle());
  auto create = [&] {
    return library.fmi2Instantiate("failing", fmi2CoSimulation, guid.c_str(), resources,
                                   &callbacks, fmi2False, fmi2True);
  };
  auto stepsOn = [&](fmi2Component c) {
    EXPECT_EQ(library.fmi2ExitInitializationMode(c), fmi2OK);
    EXPECT_EQ(library.fmi2DoStep(c, 0.0, 0.01, fmi2True), fmi2OK);
  };
  const int64_t inInstantiation = failEachAllocationInTurn([&](int64_t n) {
    failAllocationAfter(n);
    fmi2Component c = create();
    const bool failed = failAllocationAfter(-1) > n;
    EXPECT_EQ(c == nullptr, failed) << "allocation " << n + 1 << " failed";
    if (c != nullptr && !failed) {
      writeStrings(c);
      EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
      EXPECT_EQ(library.fmi2EnterInitializationMode(c), fmi2OK);
      stepsOn(c);
    }
    if (c != nullptr) library.fmi2FreeInstance(c);
    return failed;
  });
  const int64_t inInitialisation = failEachAllocationInTurn([&](int64_t n) {
    fmi2Component c = create();
    writeStrings(c);
    EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
    failAllocationAfter(n);
    const fmi2Status status = library.fmi2EnterInitializationMode(c);
    const bool failed = failAllocationAfter(-1) > n;
    EXPECT_EQ(status, failed ? fmi2Error : fmi2OK) << "allocation " << n + 1 << " failed";
    if (!failed) stepsOn(c);
    library.fmi2FreeInstance(c);
    return failed;
  });
  std::printf("%s: each of the %lld allocations of fmi2Instantiate and the %lld of "
              "fmi2EnterInitializationMode failed in turn, cleaned up\n",
              GetParam().name, static_cast<long long>(inInstantiation),
              static_cast<long long>(inInitialisation));
}

INSTANTIATE_TEST_SUITE_P(Units, Soak, ::testing::ValuesIn(unitsUnderTest()), unitName);

}  // namespace
}  // namespace hardening
