// vehicle-sim info [SYSTEM|FMU] [PATTERN]: the components of a system (or one unit) and their
// variables with causality, variability, type, unit, start value and description.
#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/model_description.h"

namespace master::cli {

struct InfoComponent {
  std::string name;    // in the system; the model name for a lone unit
  std::string source;  // the .fmu it comes from
  ModelDescription description;
};

struct InfoOptions {
  std::string target;   // an .ssp, .ssd, .fmu or unpacked unit folder; empty: the built vehicle
  std::string pattern;  // matched against component.variable and against the variable alone
};

// Reads the components of a system file (the engine's loader).
using SystemDescriber = std::function<std::vector<InfoComponent>(const std::filesystem::path&)>;

CLI::App* addInfoCommand(CLI::App& app, InfoOptions& options);
// Runs the subcommand: prints to `out`, returns the exit code (1 with one line on stderr).
int runInfo(const InfoOptions& options, const std::string& defaultSystem, const SystemDescriber& describeSystem,
            std::ostream& out);

// A unit from its .fmu archive or unpacked folder.
InfoComponent describeUnit(const std::filesystem::path& unit);
// A unit (.fmu or unpacked folder) alone, else the components of a system; throws MasterError.
std::vector<InfoComponent> describeTarget(const std::filesystem::path& target, const SystemDescriber& describeSystem);
// The table; throws MasterError when a pattern is given and matches no variable.
void printVariables(std::ostream& out, const std::vector<InfoComponent>& components, const std::string& pattern);

}  // namespace master::cli
