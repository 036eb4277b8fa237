// The cost of one fixed model step (0.0025 s: one updateStates with its thirteen ODE8 stages and
// one computeOutputs) of every built unit, driven directly through the runtime and through
// fmi2DoStep of the unit library with communication steps of 0.0025 s and 0.01 s. After the
// benchmarks it prints, per unit, the CPU time per fixed step of each path and the ratio of
// fmi2DoStep(0.0025) to the direct step, all taken within this one run.
//
// Defaults (any --benchmark_* flag given overrides them): 9 repetitions in random interleaving,
// so that a change in the machine's load hits both paths alike. The table needs the time of
// every repetition: do not pass --benchmark_report_aggregates_only.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/unit_drivers.h"
#include "bench_units.h"

namespace {

struct Path {
  const char* label;
  int fixedSteps;  // fixed steps per iteration (per fmi2DoStep call)
};
constexpr Path directPath{"direct", 1};
constexpr Path fmiShortPath{"fmi2DoStep(0.0025)", 1};
constexpr Path fmiLongPath{"fmi2DoStep(0.01)", 4};

template <class M, class Driver>
void runSteps(benchmark::State& state, Driver& unit, const bench::OperatingPoint& point, int fixedSteps) {
  double t = bench::reachOperatingPoint<M>(unit, point);
  long k = 0;
  const long first = static_cast<long>(t / bench::fixedStep + 0.5);
  for (auto _ : state) {
    unit.doStep(t, fixedSteps);
    k += fixedSteps;
    t = static_cast<double>(first + k) * bench::fixedStep;
  }
  state.SetItemsProcessed(state.iterations() * fixedSteps);
}

template <class M>
void benchDirect(benchmark::State& state, const bench::OperatingPoint* point) {
  bench::DirectModel<M> unit;
  runSteps<M>(state, unit, *point, directPath.fixedSteps);
}

template <class M>
void benchFmi(benchmark::State& state, const bench::OperatingPoint* point, const char* library,
              const char* description, int fixedSteps) {
  bench::FmiModel unit(library, description);
  runSteps<M>(state, unit, *point, fixedSteps);
}

// CPU nanoseconds per fixed step of every repetition, by unit and path.
using Samples = std::map<std::string, std::map<std::string, std::vector<double>>>;

class TableReporter : public benchmark::ConsoleReporter {
 public:
  explicit TableReporter(const std::map<std::string, int>& stepsByName) : stepsByName_(stepsByName) {}

  // Shows the median and spread only (the run itself when there is a single one) and keeps the time
  // of every repetition for the table.
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    for (const Run& run : runs) {
      const bool summary = run.aggregate_name == "median" || run.aggregate_name == "cv";
      if ((run.run_type == Run::RT_Aggregate && summary) || run.repetitions <= 1) shown.push_back(run);
    }
    if (!shown.empty()) benchmark::ConsoleReporter::ReportRuns(shown);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string name = run.run_name.function_name;
      const auto slash = name.find('/');
      const auto steps = stepsByName_.find(name);
      if (slash == std::string::npos || steps == stepsByName_.end()) continue;
      samples_[name.substr(0, slash)][name.substr(slash + 1)].push_back(run.GetAdjustedCPUTime() /
                                                                        steps->second);
    }
  }

  const Samples& samples() const { return samples_; }

 private:
  const std::map<std::string, int>& stepsByName_;
  Samples samples_;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double smallest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void printTable(const Samples& samples) {
  std::printf("\nCPU time per fixed step of 0.0025 s (ns), median and smallest of the repetitions\n");
  std::printf("%-8s %19s %19s %19s %15s\n", "unit", directPath.label, fmiShortPath.label, fmiLongPath.label,
              "ratio 0.0025");
  for (const auto& [unit, paths] : samples) {
    auto cell = [&paths](const Path& p, double (*pick)(const std::vector<double>&)) {
      const auto it = paths.find(p.label);
      return it == paths.end() || it->second.empty() ? 0.0 : pick(it->second);
    };
    auto med = [](const std::vector<double>& v) { return median(v); };
    const double d = cell(directPath, med), s = cell(fmiShortPath, med), l = cell(fmiLongPath, med);
    const double dMin = cell(directPath, smallest), sMin = cell(fmiShortPath, smallest),
                 lMin = cell(fmiLongPath, smallest);
    std::printf("%-8s %9.1f (%7.1f) %9.1f (%7.1f) %9.1f (%7.1f) %6.3f (%6.3f)\n", unit.c_str(), d, dMin, s, sMin,
                l, lMin, d > 0.0 ? s / d : 0.0, dMin > 0.0 ? sMin / dMin : 0.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, int> stepsByName;
  auto add = [&stepsByName](const std::string& name, int steps, auto fn) {
    stepsByName[name] = steps;
    benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kNanosecond);
  };
#define BENCH_REGISTER(id, M, point, library, description)                                              \
  add(std::string(#id "/") + directPath.label, directPath.fixedSteps,                                  \
      [](benchmark::State& s) { benchDirect<M>(s, &point); });                                          \
  add(std::string(#id "/") + fmiShortPath.label, fmiShortPath.fixedSteps,                              \
      [](benchmark::State& s) { benchFmi<M>(s, &point, library, description, fmiShortPath.fixedSteps); }); \
  add(std::string(#id "/") + fmiLongPath.label, fmiLongPath.fixedSteps,                                \
      [](benchmark::State& s) { benchFmi<M>(s, &point, library, description, fmiLongPath.fixedSteps); });
  BENCH_FOR_EACH_UNIT(BENCH_REGISTER)
#undef BENCH_REGISTER

  std::vector<char*> args{argv[0]};
  std::string defaults[] = {"--benchmark_repetitions=9", "--benchmark_enable_random_interleaving=true",
                            "--benchmark_min_time=0.2"};
  for (std::string& d : defaults) args.push_back(d.data());
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  TableReporter reporter(stepsByName);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printTable(reporter.samples());
  benchmark::Shutdown();
  return 0;
}
