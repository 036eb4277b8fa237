// Instructions per fixed step of every built unit, counted by callgrind: run as
//
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*stepLoop*'
//       step_instructions [steps [unit]]
//
// For each unit (or the one named) and path (direct runtime step, fmi2DoStep with 0.0025 s,
// fmi2DoStep with 0.01 s) it brings a fresh instance to its operating point, then runs exactly
// `steps` fixed steps inside stepLoop, the only function collected, and dumps the count under
// the name "<unit> <path> <steps>". scripts/bench reads the dumps; callgrind_annotate on a dump
// shows where that path's instructions go. Outside valgrind the client requests do nothing.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/unit_drivers.h"
#include "bench_units.h"

namespace {

template <class Driver>
[[gnu::noinline]] void stepLoop(Driver& unit, long first, long calls, int stepsPerCall) {
  double t = static_cast<double>(first) * bench::fixedStep;
  for (long k = 0; k < calls; ++k) {
    unit.doStep(t, stepsPerCall);
    t = static_cast<double>(first + (k + 1) * stepsPerCall) * bench::fixedStep;
  }
}

template <class M, class Driver>
void count(Driver& unit, const bench::OperatingPoint& point, const char* label, long steps, int stepsPerCall) {
  const double t = bench::reachOperatingPoint<M>(unit, point);
  const long first = static_cast<long>(t / bench::fixedStep + 0.5);
  const long calls = steps / stepsPerCall;
  CALLGRIND_ZERO_STATS;
  stepLoop(unit, first, calls, stepsPerCall);
  char name[128];
  std::snprintf(name, sizeof name, "%s %ld", label, calls * stepsPerCall);
  CALLGRIND_DUMP_STATS_AT(name);
}

}  // namespace

int main(int argc, char** argv) {
  const long steps = argc > 1 ? std::atol(argv[1]) : 400;
  const std::string only = argc > 2 ? argv[2] : "";
  if (steps <= 0 || steps % 4 != 0) {
    std::fprintf(stderr, "usage: step_instructions [steps, a positive multiple of 4 [unit]]\n");
    return 2;
  }
#define BENCH_COUNT(id, M, point, library, description) \
  if (only.empty() || only == #id) {                   \
    bench::DirectModel<M> direct;                      \
    count<M>(direct, point, #id " direct", steps, 1);  \
    bench::FmiModel shortSteps(library, description);  \
    count<M>(shortSteps, point, #id " fmi2DoStep(0.0025)", steps, 1); \
    bench::FmiModel longSteps(library, description);   \
    count<M>(longSteps, point, #id " fmi2DoStep(0.01)", steps, 4); \
  }
  BENCH_FOR_EACH_UNIT(BENCH_COUNT)
#undef BENCH_COUNT
  return 0;
}
