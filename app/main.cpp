// vehicle-sim: runs an SSP system of FMI 2.0 Co-Simulation units (by default the built
// vehicle.ssp) and writes its results, a summary and, for a vehicle, its plots; `vehicle-sim
// info` lists a system's or unit's variables.
#include <CLI/CLI.hpp>

#include <iostream>

#include "app/cli/info_command.h"
#include "app/cli/rerun_command.h"
#include "app/cli/run_command.h"
#include "app/cli/run_options.h"
#include "app/cli/stop_signals.h"
#include "app/default_system.h"
#include "engine/engine.h"
#include "app/sweep/sweep_command.h"

int main(int argc, char** argv) {
  namespace cli = master::cli;
  cli::CliOptions options;
  cli::InfoOptions info;
  CLI::App app{"Runs an SSP system of FMI 2.0 Co-Simulation units (by default the whole vehicle) and writes its "
               "results."};
  cli::addRunOptions(app, options);
  CLI::App* infoCommand = cli::addInfoCommand(app, info);
  cli::RerunOptions rerun;
  CLI::App* rerunCommand = cli::addRerunCommand(app, rerun);
  master::sweep::addCommands(app);
  master::sweep::addCheckStepCommand(app);
  if (const auto exitCode = cli::parseCommandLine(app, argc, argv)) return *exitCode;
  options.arguments.assign(argv + 1, argv + argc);
  const std::string defaultSystem = master::programDefaultSystem().string();
  if (*infoCommand) return cli::runInfo(info, defaultSystem, cli::describeSystem, std::cout);
  cli::installStopSignals(&master::stopRequested);
  if (*rerunCommand) return cli::runRerun(rerun, defaultSystem);
  return cli::runCommand(options, defaultSystem);
}
