// The whole vehicle through the engine in this process: the built vehicle.ssp (WLTC class 3b,
// 1800 s, communication step 0.01 s), every output written to a results file as the command line
// writes it, no report. One benchmark per thread count: 1, and the default (the pool kept while it
// is faster), and 2 forced. Reported per run:
//   rtf_loop  simulated seconds per wall-clock second of the engine's loop (initialisation,
//             stepping, results rows);
//   rtf_run   the same for the whole run (unpacking, loading, instantiation included).
// And the worker pool alone: one start and finish of an empty share on every thread, the
// overhead a communication step pays for stepping units side by side.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/cli/results_writer.h"
#include "engine/engine.h"
#include "engine/worker_pool.h"

namespace {

namespace fs = std::filesystem;

fs::path outputFolder() {
  static const fs::path folder = fs::temp_directory_path() / ("vehicle_bench." + std::to_string(getpid()));
  return folder;
}

void wholeVehicle(benchmark::State& state) {
  master::EngineOptions options;
  options.threads = static_cast<unsigned>(state.range(0));
  options.progress = false;
  double simulated = 0.0, loop = 0.0;
  fs::create_directories(outputFolder());
  for (auto _ : state) {
    master::LoadedSystem system = master::loadSystem(VEHICLE_BENCH_SYSTEM);
    master::cli::ResultsWriter results(outputFolder() / "results.csv", {"*"}, 1);
    master::RunRecord record;
    master::runSystem(system, options, record, {&results});
    results.finish(record);
    simulated += record.time.back() - record.time.front();
    loop += record.wallSeconds;
  }
  state.counters["rtf_run"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
  state.counters["rtf_loop"] = benchmark::Counter(simulated / loop);
}

void emptyShare(void*, unsigned) {}

void poolStep(benchmark::State& state) {
  master::WorkerPool pool(static_cast<unsigned>(state.range(0)));
  for (auto _ : state) {
    pool.start(&emptyShare, nullptr);
    pool.finish();
  }
}

BENCHMARK(wholeVehicle)->Arg(1)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseRealTime();
BENCHMARK(poolStep)->Arg(1)->Arg(2)->Unit(benchmark::kNanosecond)->Repetitions(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(outputFolder(), ignored);
  return 0;
}
