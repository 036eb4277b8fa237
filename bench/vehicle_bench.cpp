// The whole vehicle: the master's default run (the built-in NEDC, 1180 s, communication step
// 0.01 s, systems/vehicle.ssd) in this process, without plots or progress bar. Reported per run:
//   rtf_run   simulated seconds per wall-clock second of the whole run (unpacking, loading,
//             instantiation, the loop, the results and summary files);
//   rtf_loop  the same for the master's own timing of initialisation and the stepping loop,
//             results rows included (the "wall time" of its summary).
// A second benchmark writes the rows of that run's results file again through the master's CSV
// writer, so that the share of the loop spent formatting numbers can be taken off.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "master/co_simulation.h"
#include "master/csv_writer.h"

namespace {

namespace fs = std::filesystem;

fs::path outputFolder() {
  static const fs::path folder = fs::temp_directory_path() / ("vehicle_bench." + std::to_string(getpid()));
  return folder;
}

master::SimulationOptions defaultRun() {
  master::SimulationOptions o;
  o.systemFile = VEHICLE_BENCH_SYSTEM;
  o.fmuDir = VEHICLE_BENCH_FMU_DIR;
  o.outDir = outputFolder() / "run";
  o.plots = false;
  o.progress = false;
  return o;
}

void wholeVehicle(benchmark::State& state) {
  const master::SimulationOptions options = defaultRun();
  double simulated = 0.0, loop = 0.0;
  for (auto _ : state) {
    const master::SimulationResult r = master::runSimulation(options);
    simulated += r.summary.duration;
    loop += r.summary.wallSeconds;
  }
  state.counters["simulated_s"] = benchmark::Counter(simulated, benchmark::Counter::kAvgIterations);
  state.counters["rtf_run"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
  state.counters["rtf_loop"] = benchmark::Counter(simulated / loop);
}

// The header and rows of the results file of the default run.
struct Table {
  std::vector<std::string> columns;
  std::vector<double> values;  // row after row
};

Table readResults(const fs::path& file) {
  Table t;
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  std::stringstream header(line);
  for (std::string c; std::getline(header, c, ',');) t.columns.push_back(c);
  while (std::getline(in, line)) {
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end) {
      double v = 0.0;
      const auto r = std::from_chars(p, end, v);
      if (r.ec != std::errc()) v = std::numeric_limits<double>::quiet_NaN();  // "nan"
      t.values.push_back(v);
      p = r.ec == std::errc() ? r.ptr : p + 3;
      if (p < end && *p == ',') ++p;
    }
  }
  return t;
}

void resultsRows(benchmark::State& state) {
  const fs::path results = outputFolder() / "run" / "results.csv";
  if (!fs::exists(results)) master::runSimulation(defaultRun());
  const Table t = readResults(results);
  const std::size_t width = t.columns.size();
  const std::size_t rows = t.values.size() / width;
  for (auto _ : state) {
    master::CsvWriter csv(outputFolder() / "rows.csv", t.columns);
    for (std::size_t r = 0; r < rows; ++r) csv.writeRow(&t.values[r * width], width);
    csv.close();
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["ns_per_row"] = benchmark::Counter(static_cast<double>(rows),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

BENCHMARK(wholeVehicle)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseRealTime();
BENCHMARK(resultsRows)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseRealTime();

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
