// `vehicle-sim sweep`: many runs of a system over a grid of parameter values and cycles, on
// every core or on a Slurm cluster, collected into one table with plots.
//
//   vehicle-sim sweep SWEEP_FILE [--jobs N] [--slurm] [--yes] [--output-dir DIR] [--no-progress] [--check-step]
//   vehicle-sim sweep collect DIR
#pragma once

namespace CLI {
class App;
}

namespace master::sweep {

// Adds the `sweep` subcommand to the master's command line. Its callbacks run the sweep and
// end the parse with the sweep's exit code (a CLI::RuntimeError that CLI11_PARSE returns).
void addCommands(CLI::App& app);

// Adds `vehicle-sim check-step [SYSTEM] [options]` (check_step_command.cpp): the run's own options
// choose the case and the stepping to check; --tolerance, --jobs, --finest-step and --output-dir
// are the check's own. Its callback ends the parse with the check's exit code in the same way.
void addCheckStepCommand(CLI::App& app);

}  // namespace master::sweep
