#include "app/cli/run_options.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/cli/build_info.h"
#include "engine/error.h"
#include "formats/cycle_file/cycle_reader.h"

namespace master::cli {

namespace {

const char* const footer = R"(Examples:
  vehicle-sim                                   the built vehicle through the WLTC (class 3b)
  vehicle-sim --cycle nedc --output-dir out/nedc
  vehicle-sim --cycle my_trace.csv --stop-time 600 --output-interval 0.1
  vehicle-sim --output-variables 'chassis.*' '*.fuelUsed' --output-file - > speeds.csv
  vehicle-sim --start-value electrical.voltageSetpoint=14.2 --parameters my.ssv
  vehicle-sim other.ssp --threads 1 --log-level info --log-file run.log --fmi-log
  vehicle-sim info                              components and variables of the built vehicle
  vehicle-sim info build/fmus/KADMIR.fmu 'engine*'

Standard cycles for --cycle: wltc (class 3b), nedc, udds, ftp75, hwfet, us06; any other text
is a cycle file (time and speed columns; docs/cycles.md gives the format).

Exit codes: 0 success; 1 error (bad input, a unit failed; the output folder is left as it was);
2 a health check failed (results written, the summary says which); 130 interrupted (SIGINT or
SIGTERM; the rows so far are kept as results.partial.csv, beside a complete earlier run in
<output folder>.partial).)";

}  // namespace

std::string versionText() {
  const std::string commit = sourceCommit();
  return "vehicle-sim " + version() + (commit.empty() ? std::string() : ", source commit " + commit) +
         " (FMI 2.0 Co-Simulation units, SSP 1.0 systems)";
}

void addRunOptions(CLI::App& app, CliOptions& o) {
  app.set_version_flag("--version", versionText());
  app.footer(footer);
  app.add_option("SYSTEM", o.system, "system to run: an .ssp archive or .ssd file (default: the built vehicle.ssp)");
  app.add_option("--output-dir", o.outputDir, "folder for the results (default: out/<stem of the system file>)");
  app.add_flag("--force", o.force, "replace the default output folder even when it holds another system's results");
  app.add_option("--start-time", o.startTime, "start time, s (default: the system's default experiment, else 0)");
  app.add_option("--stop-time", o.stopTime,
                 "stop time, s (default: the system's default experiment, else the end of the drive cycle)");
  app.add_option("--step", o.step, "communication step, s")->capture_default_str();
  app.add_option("--output-interval", o.outputInterval,
                 "time between two results rows, s: a whole multiple of the step (default: the step)");
  app.add_option("--output-variables", o.outputVariables,
                 "outputs to write, as component.variable patterns with * wildcards")
      ->capture_default_str();
  app.add_option("--output-file", o.outputFile,
                 "results file, in the output folder unless a path; - for standard output")
      ->capture_default_str();
  app.add_option("--start-value", o.startValues,
                 "COMPONENT.VARIABLE=VALUE, repeatable: a parameter or start value, checked against the unit")
      ->allow_extra_args(false);
  app.add_option("--parameters", o.parameterFiles, "parameter values from an .ssv file, repeatable")->allow_extra_args(false);
  app.add_option("--cycle", o.cycle, "drive cycle: a standard name or a cycle file (default: wltc)");
  app.add_option("--threads", o.threads, "worker threads for stepping the units (default: one per core)")
      ->check(CLI::Range(1u, 1024u));
  app.add_flag("--no-plots", o.noPlots, "do not draw the plots");
  report::addOptions(app, o.report);
  app.add_flag("--no-progress", o.noProgress, "do not show the progress bar");
  app.add_flag("--quiet", o.quiet, "print nothing but errors on the terminal");
  app.add_option_function<std::string>(
         "--log-level", [&o](const std::string& text) { parseLogLevel(text, o.logLevel); },
         "how much the log says: the units' and the master's messages at this level and above")
      ->check(CLI::IsMember({"error", "warning", "info", "debug"}))
      ->default_str("warning");
  app.add_option("--log-file", o.logFile, "write the log to this file instead of standard error");
  app.add_flag("--fmi-log", o.fmiLog, "log every FMI call with its arguments and status");
  app.add_flag("--allow-non-finite", o.allowNonFinite, "do not stop the run at the first NaN or infinite output");
  app.add_option("--coupling", o.coupling,
                 "multirate: components at the steps the system declares for them, direct feedthrough evaluated "
                 "first; feedthrough: every component at the step, direct feedthrough evaluated first; jacobi: "
                 "every component at the step, every connection delayed by one step")
      ->check(CLI::IsMember({"multirate", "feedthrough", "jacobi"}))
      ->capture_default_str();
  app.add_option("--group", o.groups,
                 "COMPONENT,COMPONENT...=STEP, repeatable: components that exchange values among themselves at "
                 "this step, s, shorter than --step and dividing it (with --coupling multirate; after the system's "
                 "own groups, taking their components out of them)")
      ->allow_extra_args(false);
  app.add_option("--coupling-error-limit", o.couplingErrorLimit,
                 "the coupling error's health check: the largest energy residual of a power bond, as a share of "
                 "the energy that crossed it (exit code 2 beyond)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_flag("--no-feedthrough", o.noFeedthrough, "the same as --coupling jacobi");
}

std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::RuntimeError& e) {  // a subcommand that ran in its callback ends with its code
    return e.get_exit_code();
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "vehicle-sim: %s (see --help)\n", e.what());
    return 1;
  }
  return std::nullopt;
}

ValueOverride parseValueOverride(const std::string& text) {
  const std::size_t dot = text.find('.');
  const std::size_t equals = text.find('=');
  if (dot == 0 || equals == std::string::npos || equals == 0 || (dot != std::string::npos && dot + 1 >= equals)) {
    throw MasterError("start value '" + text + "' is not of the form COMPONENT.VARIABLE=VALUE or PARAMETER=VALUE");
  }
  ValueOverride v;
  if (dot == std::string::npos || dot > equals) {  // a parameter connector of the system
    v.variable = text.substr(0, equals);
  } else {
    v.component = text.substr(0, dot);
    v.variable = text.substr(dot + 1, equals - dot - 1);
  }
  v.value = text.substr(equals + 1);
  v.origin = "--start-value";
  return v;
}

std::vector<ValueOverride> parseValueOverrides(const std::vector<std::string>& texts) {
  std::vector<ValueOverride> out;
  out.reserve(texts.size());
  for (const std::string& t : texts) out.push_back(parseValueOverride(t));
  return out;
}

std::string couplingScheme(const CliOptions& o) {
  if (o.coupling != "multirate" && o.coupling != "feedthrough" && o.coupling != "jacobi") {
    throw MasterError("unknown coupling '" + o.coupling + "': multirate, feedthrough or jacobi");
  }
  if (o.noFeedthrough && o.coupling != "multirate" && o.coupling != "jacobi") {
    throw MasterError("--no-feedthrough contradicts --coupling " + o.coupling);
  }
  const std::string coupling = o.noFeedthrough ? "jacobi" : o.coupling;
  if (!o.groups.empty() && coupling != "multirate") throw MasterError("--group needs --coupling multirate");
  return coupling;
}

DeclaredStepping::Group parseGroup(const std::string& text) {
  const std::size_t equals = text.find('=');
  char* end = nullptr;
  DeclaredStepping::Group g;
  g.step = equals == std::string::npos ? 0.0 : std::strtod(text.c_str() + equals + 1, &end);
  bool valid = equals != std::string::npos && end != text.c_str() + equals + 1 && *end == '\0' && g.step > 0.0 &&
               std::isfinite(g.step);
  for (std::size_t from = 0; valid && from < equals;) {
    const std::size_t comma = std::min(text.find(',', from), equals);
    g.components.push_back(text.substr(from, comma - from));
    valid = !g.components.back().empty();
    from = comma + 1;
  }
  if (!valid || g.components.empty()) {
    throw MasterError("--group '" + text + "' is not of the form COMPONENT,COMPONENT...=STEP with a positive step in s");
  }
  return g;
}

std::size_t stepsPerOutput(double outputInterval, double step) {
  const double ratio = outputInterval / step;
  const double whole = std::round(ratio);
  if (!std::isfinite(ratio) || whole < 1.0 || std::fabs(ratio - whole) > 1e-9 * whole) {
    char text[160];
    std::snprintf(text, sizeof text, "the output interval %.17g s is not a whole multiple of the step %.17g s",
                  outputInterval, step);
    throw MasterError(text);
  }
  return static_cast<std::size_t>(whole);
}

std::string cycleSetting(const std::string& nameOrFile) {
  if (drive_cycle::standardCycleFile(nameOrFile) != nullptr) return nameOrFile;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path file = fs::absolute(nameOrFile, ec).lexically_normal();
  if (ec || nameOrFile.empty()) throw MasterError("drive cycle '" + nameOrFile + "' is not a valid path");
  if (fs::is_directory(file, ec)) throw MasterError("drive cycle '" + nameOrFile + "' is a folder, not a file");
  if (::access(file.c_str(), R_OK) != 0) {
    throw MasterError("cannot read drive cycle '" + nameOrFile + "': " + std::strerror(errno) +
                      " (standard cycles: wltc, nedc, udds, ftp75, hwfet, us06)");
  }
  // Read here as the unit will read it, so that a bad file stops the run before anything is
  // loaded, with its line and reason.
  const drive_cycle::CycleReadResult read = drive_cycle::readCycle(file);
  if (!read.trace) throw MasterError(read.error);
  for (const std::string& w : read.trace->warnings) log().write(LogLevel::warning, w);
  return file.string();
}

}  // namespace master::cli
