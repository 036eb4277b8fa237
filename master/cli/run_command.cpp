#include "master/cli/run_command.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "master/cli/fmi_trace.h"
#include "master/cli/log.h"
#include "master/cli/results_folder.h"
#include "master/cli/results_writer.h"
#include "master/cli/run_summary.h"
#include "master/cli/stop_signals.h"
#include "master/engine.h"
#include "master/conventions.h"
#include "master/error.h"
#include "master/unit_log.h"
#include "master/report/vehicle_report.h"

namespace master::cli {

namespace fs = std::filesystem;

std::vector<InfoComponent> describeSystem(const fs::path& system) {
  LoadedSystem loaded = loadSystem(system);
  std::vector<InfoComponent> out;
  for (std::size_t i = 0; i < loaded.descriptions.size(); ++i) {
    out.push_back({loaded.structure.components[i].name, loaded.structure.components[i].source,
                   std::move(loaded.descriptions[i])});
  }
  return out;
}

namespace {

// Values from outside the system, in the order they apply: parameter files, the drive cycle,
// then start values (a later value for the same variable wins).
std::vector<ValueOverride> overridesFor(const CliOptions& o, const LoadedSystem& system) {
  std::vector<ValueOverride> out;
  for (const std::string& file : o.parameterFiles) {
    for (ValueOverride& v : readValueOverrides(file)) out.push_back(std::move(v));
  }
  if (!o.cycle.empty()) {
    const std::string cycle = cycleSetting(o.cycle);
    bool found = false;
    for (std::size_t i = 0; i < system.descriptions.size(); ++i) {
      if (system.descriptions[i].modelIdentifier != conventions::driveCycleUnit) continue;
      ValueOverride v;
      v.component = system.structure.components[i].name;
      v.variable = conventions::cycleParameter;
      v.value = cycle;
      v.origin = "--cycle";
      out.push_back(std::move(v));
      found = true;
    }
    if (!found) throw MasterError("--cycle: the system has no drive cycle component (unit DriveCycle)");
  }
  for (ValueOverride& v : parseValueOverrides(o.startValues)) out.push_back(std::move(v));
  return out;
}

const char* statusText(RunOutcome::Status status, int& exitCode) {
  switch (status) {
    case RunOutcome::Status::ok: exitCode = 0; return "ok";
    case RunOutcome::Status::healthCheckFailed: exitCode = 2; return "health-check-failed";
    case RunOutcome::Status::nonFinite: exitCode = 1; return "error";
    case RunOutcome::Status::interrupted: exitCode = interruptedExitCode; return "interrupted";
  }
  exitCode = 1;
  return "error";
}

int run(const CliOptions& o, const std::string& defaultSystem) {
  if (!(o.step > 0.0) || !std::isfinite(o.step)) {
    char text[80];
    std::snprintf(text, sizeof text, "--step must be a positive time, not %g", o.step);
    throw MasterError(text);
  }
  const std::size_t stepsPerRow = stepsPerOutput(o.outputInterval.value_or(o.step), o.step);
  const fs::path systemFile = o.system.empty() ? fs::path(defaultSystem) : fs::path(o.system);
  LoadedSystem system = loadSystem(systemFile);
  // Checked by the same code as the system's own bindings, before anything runs (the warnings
  // about open inputs count them).
  const std::vector<ValueOverride> overrides = overridesFor(o, system);
  if (!overrides.empty()) applyOverrides(system, overrides);
  for (const std::string& w : system.warnings) log().write(LogLevel::warning, w);
  if (log().enabled(LogLevel::debug)) {
    log().write(LogLevel::debug, "system " + systemFile.string() + ": " + std::to_string(system.descriptions.size()) +
                                     " components; a results row every " + std::to_string(stepsPerRow) + " steps");
    for (const ValueOverride& v : overrides) {
      log().write(LogLevel::debug, v.origin + ": " + (v.component.empty() ? "" : v.component + ".") + v.variable + " = " + v.value);
    }
  }

  ResultsFolder folder(o.outputDir.empty() ? fs::path("out") / system.structure.name : fs::path(o.outputDir));
  log().write(LogLevel::debug, "writing into " + folder.path().string() + " for " + folder.target().string());
  const bool toStdout = o.outputFile == "-";
  const fs::path outputFile(o.outputFile);
  if (!outputFile.is_absolute() && (outputFile.empty() || *outputFile.lexically_normal().begin() == "..")) {
    throw MasterError("--output-file '" + o.outputFile + "': a name inside the output folder, an absolute path or -");
  }
  const fs::path resultsFile = toStdout ? outputFile
                               : outputFile.is_absolute() ? folder.path() / outputFile.filename()
                                                          : folder.path() / outputFile;
  if (!toStdout) fs::create_directories(resultsFile.parent_path());
  // Where a file of the temporary folder ends up.
  auto placed = [&](const fs::path& file) { return folder.target() / file.lexically_relative(folder.path()); };
  std::FILE* terminal = toStdout ? stderr : stdout;

  ResultsWriter results(resultsFile, o.outputVariables, stepsPerRow);
  EngineOptions engine;
  engine.startTime = o.startTime;
  engine.stopTime = o.stopTime;
  engine.step = o.step;
  engine.threads = o.threads;
  engine.allowNonFinite = o.allowNonFinite;
  engine.feedthrough = !o.noFeedthrough;
  engine.progress = !o.noProgress && !o.quiet;
  engine.verbose = log().enabled(LogLevel::info);
  if (o.fmiLog) engine.libraryLoaded = traceCalls;
  RunRecord record;
  // The vehicle report's monitor watches every run; it stays idle in a system without a vehicle.
  const std::unique_ptr<RunObserver> monitor = report::makeMonitor(o.report);
  const RunOutcome outcome = runSystem(system, engine, record, {&results, monitor.get()});
  for (const std::string& w : outcome.warnings) log().write(LogLevel::warning, w);
  for (const std::string& n : outcome.notes) log().write(LogLevel::info, n);

  RunSummary summary;
  summary.status = statusText(outcome.status, summary.exitCode);
  summary.message = outcome.message;
  summary.system = systemFile.string();
  summary.stopTime = outcome.stopTime;
  summary.threads = outcome.threads;
  const double simulated = record.points() > 0 ? record.time.back() - record.time.front() : 0.0;
  summary.realTimeFactor = record.wallSeconds > 0 ? simulated / record.wallSeconds : 0.0;

  if (outcome.status == RunOutcome::Status::interrupted) {
    const fs::path partial = results.finishPartial();
    writeVariablesTable(folder.path() / "variables.csv", record, results.selected());
    summary.results = toStdout ? "-" : partial.lexically_relative(folder.path()).string();
    summary.partial = true;
    writeTextFile(folder.path() / "summary.txt", "INTERRUPTED: " + outcome.message + "\nThe results are partial: " +
                                                     summary.results + " holds the rows up to the interruption.\n");
    writeSummaryJson(folder.path(), summary);
    folder.commit();
    std::fprintf(stderr, "vehicle-sim: %s; the results are PARTIAL: %s\n", outcome.message.c_str(),
                 toStdout ? "standard output" : placed(partial).c_str());
    return summary.exitCode;
  }

  results.finish(record);
  writeVariablesTable(folder.path() / "variables.csv", record, results.selected());
  summary.results = toStdout                    ? "-"
                    : outputFile.is_absolute() ? outputFile.string()
                                               : resultsFile.lexically_relative(folder.path()).string();
  std::string text;
  std::vector<fs::path> plots;
  nlohmann::json vehicleFields = nlohmann::json::object();
  // A run stopped by a non-finite output gets its results and the generic summary only: the
  // report's figures would be NaN.
  if (report::appliesTo(record) && record.points() > 1 && outcome.status != RunOutcome::Status::nonFinite) {
    report::ReportSettings settings = o.report;
    settings.plots = !o.noPlots;
    report::ReportOutcome r;
    try {
      r = report::writeReport(record, settings, folder.path());
    } catch (const std::runtime_error& e) {
      // Plots that cannot be drawn (a run too short for them) do not cost the run its report.
      if (!settings.plots) throw;
      log().write(LogLevel::warning, std::string("the report goes without plots: ") + e.what());
      settings.plots = false;
      r = report::writeReport(record, settings, folder.path());
    }
    text = r.summaryText;
    vehicleFields = nlohmann::json::parse(r.summaryJson);
    for (const fs::path& f : r.files) {
      if (f.extension() == ".png" || f.extension() == ".svg") plots.push_back(f);
    }
    for (const std::string& m : r.messages) std::fprintf(stderr, "vehicle-sim: %s\n", m.c_str());
    if (r.exitCode != 0 && summary.exitCode == 0) {
      summary.exitCode = r.exitCode;
      summary.status = "health-check-failed";
      summary.message = r.messages.empty() ? std::string() : r.messages.front();
    }
  } else {
    char line[200];
    std::snprintf(line, sizeof line, "System %s: %zu components, %zu points to t = %g s, wall time %.3f s\n",
                  system.structure.name.c_str(), system.descriptions.size(), record.points(),
                  record.points() > 0 ? record.time.back() : 0.0, record.wallSeconds);
    text = line;
    writeTextFile(folder.path() / "summary.txt", text);
  }
  writeSummaryJson(folder.path(), summary, vehicleFields);
  folder.commit();
  if (outputFile.is_absolute()) moveFile(placed(resultsFile), outputFile);

  if (!o.quiet) {
    std::fprintf(terminal, "%s\nResults: %s\n", text.c_str(),
                 toStdout ? "standard output" : outputFile.is_absolute() ? outputFile.c_str() : placed(resultsFile).c_str());
    if (!plots.empty()) {
      std::fprintf(terminal, "Plots:  ");
      for (const fs::path& p : plots) std::fprintf(terminal, " %s", (folder.target() / p.filename()).c_str());
      std::fprintf(terminal, "\n");
    }
    std::fprintf(terminal, "Summary: %s\n", (folder.target() / "summary.txt").c_str());
  }
  if (!outcome.message.empty()) std::fprintf(stderr, "vehicle-sim: %s\n", outcome.message.c_str());
  return summary.exitCode;
}

}  // namespace

int runCommand(const CliOptions& options, const std::string& defaultSystem) {
  try {
    log().open(options.logLevel, options.logFile);
    setUnitMessageSink(logUnitMessage);
    return run(options, defaultSystem);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vehicle-sim: %s\n", e.what());
    return 1;
  }
}

}  // namespace master::cli
