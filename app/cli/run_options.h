// The options of a run as the command line gives them, with their defaults, and the parsing
// that turns them into what the engine takes: value overrides, the drive cycle's setting, the
// number of communication steps between two results rows.
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/log.h"
#include "app/report/vehicle_report.h"
#include "app/cli/coupling_check.h"
#include "engine/step_annotation.h"
#include "engine/value_override.h"

namespace master::cli {

struct CliOptions {
  std::string system;     // an .ssp archive or .ssd file; empty: the built vehicle
  std::string outputDir;  // empty: out/<stem of the system file>
  bool force = false;     // the default output folder may hold another system's results
  std::optional<double> startTime;  // else the system's default experiment, else 0
  std::optional<double> stopTime;   // else the system's default experiment, else the cycle's end
  double step = 0.01;              // communication step, s
  std::optional<double> outputInterval;             // else every communication point
  std::vector<std::string> outputVariables{"*"};    // component.variable patterns
  std::string outputFile = "results.csv";           // in the output folder, a path, or "-"
  std::vector<std::string> startValues;             // COMPONENT.VARIABLE=VALUE, as typed
  std::vector<std::string> parameterFiles;          // .ssv files, applied in order
  std::string cycle;  // a standard cycle name or a file; empty: the system's own setting
  unsigned threads = 0;  // 0: one per core
  bool noPlots = false;
  bool noProgress = false;
  bool quiet = false;
  LogLevel logLevel = LogLevel::warning;
  std::string logFile;  // empty: standard error
  bool fmiLog = false;
  bool allowNonFinite = false;
  bool noFeedthrough = false;
  std::string coupling = "multirate";              // multirate, feedthrough or jacobi
  double couplingErrorLimit = defaultCouplingErrorLimit;  // the coupling error's health check: share of the energy crossed
  std::vector<std::string> groups;                 // COMPONENT,COMPONENT...=STEP, as typed
  report::ReportSettings report;  // the vehicle report's settings (plots follow noPlots)
  std::vector<std::string> arguments;  // the command line as typed, after the program's name
};

// Registers the run options on `app` (positional SYSTEM included), the version flag, and a
// footer with examples and the exit codes.
void addRunOptions(CLI::App& app, CliOptions& options);
std::string versionText();

// Parses the command line; returns the exit code when the program is to stop here (0 after
// --help or --version, 1 with one line on stderr for a usage error, a subcommand's own code
// when it ran in its callback and ended with CLI::RuntimeError), else nothing.
std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv);

// "COMPONENT.VARIABLE=VALUE" (the component is everything before the first '.', the variable
// everything up to the first '='); throws MasterError naming the text.
ValueOverride parseValueOverride(const std::string& text);
std::vector<ValueOverride> parseValueOverrides(const std::vector<std::string>& texts);

// The coupling scheme the options choose: "multirate", "feedthrough" or "jacobi"
// (--no-feedthrough is jacobi); throws MasterError when they contradict each other or give
// --group without multirate.
std::string couplingScheme(const CliOptions& options);

// "COMPONENT,COMPONENT...=STEP" with a positive step in s; throws MasterError naming the text.
DeclaredStepping::Group parseGroup(const std::string& text);

// How many communication steps lie between two results rows: the interval divided by the step,
// which must be a whole number of at least 1 (to rounding); throws MasterError otherwise.
std::size_t stepsPerOutput(double outputInterval, double step);

// The value the `cycle` parameter of a drive-cycle component gets for `--cycle`: a standard
// name as it is, any other text as the absolute path of a cycle file, read once here so that a
// missing, unreadable or malformed file is refused (MasterError with file, line and reason)
// before anything runs.
std::string cycleSetting(const std::string& nameOrFile);

}  // namespace master::cli
