// `vehicle-sim check-step [SYSTEM] [options]`: the run's own options choose the case and the
// stepping to check; --tolerance, --jobs, --finest-step and --output-dir the check's own.
#pragma once

namespace CLI {
class App;
}

namespace master::sweep {

// Adds the `check-step` subcommand; its callback runs the check and ends the parse with its
// exit code (a CLI::RuntimeError), as the sweep's commands do.
void addCheckStepCommand(CLI::App& app);

}  // namespace master::sweep
