// What `vehicle-sim [SYSTEM] [options]` does around the engine: checks the options, builds the
// value overrides (parameter files, the drive cycle, start values), runs the system with the
// results writer watching, and puts the results folder in place: whole after a run that ends
// (exit 0, or 2 for a failed health check), with results.partial.csv after a run that stopped
// early (an interruption, 130; a non-finite output or the monitor), never in place of a complete
// run, and untouched after an error (1).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/info_command.h"
#include "app/cli/run_options.h"

namespace master::cli {

int runCommand(const CliOptions& options, const std::string& defaultSystem);

// The components of a system, for `vehicle-sim info`.
std::vector<InfoComponent> describeSystem(const std::filesystem::path& system);

}  // namespace master::cli
