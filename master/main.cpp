// vehicle-sim: runs the whole vehicle through a drive cycle by coupling the packaged units as
// the system structure file says, and writes the results, a summary and plots.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "master/co_simulation.h"
#include "master/error.h"
#include "master/sweep/sweep_command.h"

namespace {

extern "C" void requestStop(int) { master::stopRequested = 1; }

}  // namespace

int main(int argc, char** argv) {
  master::SimulationOptions options;
  options.systemFile = VEHICLE_SIM_DEFAULT_SYSTEM;
  options.fmuDir = VEHICLE_SIM_DEFAULT_FMU_DIR;
  options.outDir = "out/nedc";
  std::string cycleFile;
  bool noPlots = false;
  bool noProgress = false;
  master::ShiftSettings& shift = options.shift;

  CLI::App app{"Simulates the whole vehicle through a drive cycle by co-simulation of its units."};
  app.add_option("--system", options.systemFile, "system structure file (.ssd)")->capture_default_str();
  app.add_option("--fmu-dir", options.fmuDir, "folder of the units' .fmu files")->capture_default_str();
  app.add_option("--cycle", cycleFile, "drive cycle as CSV rows time_s,speed_kmh (default: the built-in NEDC)");
  app.add_option("--step", options.step, "communication step in seconds")->capture_default_str();
  app.add_option("--out", options.outDir, "folder for the results")->capture_default_str();
  app.add_flag("--no-plots", noPlots, "do not draw the plots");
  app.add_flag("--verbose", options.verbose, "show every message of the units, not only warnings and errors");
  app.add_flag("--no-progress", noProgress, "do not show the progress bar");
  app.add_option("--ratios", shift.ratios, "gear ratios from first gear up")->delimiter(',')->capture_default_str();
  app.add_option("--upshift-kmh", shift.upshiftKmh, "upshift speeds, one per pair of gears")
      ->delimiter(',')
      ->capture_default_str();
  app.add_option("--downshift-kmh", shift.downshiftKmh, "downshift speeds, one per pair of gears")
      ->delimiter(',')
      ->capture_default_str();
  app.add_option("--min-gear-time", shift.minTimeInGear, "minimum time in a gear before the next shift, s")
      ->capture_default_str();
  app.add_option("--lockup-gear", shift.lockupGear, "lowest gear in which the lock-up clutch engages")
      ->capture_default_str();
  app.add_option("--lockup-on-kmh", shift.lockupOnKmh, "speed at which the lock-up engages")->capture_default_str();
  app.add_option("--lockup-off-kmh", shift.lockupOffKmh, "speed below which the lock-up releases")
      ->capture_default_str();
  master::sweep::addCommands(app);
  CLI11_PARSE(app, argc, argv);
  if (!cycleFile.empty()) options.cycleFile = cycleFile;
  options.plots = !noPlots;
  options.progress = !noProgress;

  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);
  try {
    const master::SimulationResult result = master::runSimulation(options);
    std::cout << result.summary.text() << '\n';
    std::cout << "Results: " << result.csvFile.string() << '\n';
    if (!result.plotFiles.empty()) {
      std::cout << "Plots:  ";
      for (const auto& file : result.plotFiles) std::cout << ' ' << file.string();
      std::cout << '\n';
    }
    std::cout << "Summary: " << result.summaryFile.string() << std::endl;
  } catch (const master::MasterError& e) {
    std::fprintf(stderr, "vehicle-sim: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vehicle-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
