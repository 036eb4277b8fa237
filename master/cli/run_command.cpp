#include "master/cli/run_command.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "master/cli/fmi_trace.h"
#include "master/cli/log.h"
#include "master/cli/provenance.h"
#include "master/cli/results_folder.h"
#include "master/cli/results_writer.h"
#include "master/cli/run_summary.h"
#include "master/cli/stop_signals.h"
#include "master/engine.h"
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
      if (system.descriptions[i].modelIdentifier != "DriveCycle") continue;
      ValueOverride v;
      v.component = system.structure.components[i].name;
      v.variable = "cycle";
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
      log().write(LogLevel::debug, v.origin + ": " + v.component + "." + v.variable + " = " + v.value);
    }
  }

  const fs::path systemPath = fs::absolute(systemFile).lexically_normal();
  const fs::path outputDir = o.outputDir.empty() ? defaultOutputFolder(systemFile) : fs::path(o.outputDir);
  // The default folder is named after the system file; one with the same name that holds another
  // system's results is replaced only when asked to.
  if (o.outputDir.empty() && !o.force) {
    const fs::path earlier = resultsSystem(outputDir);
    if (!earlier.empty() && earlier != systemPath) {
      throw MasterError("the output folder '" + outputDir.string() + "' holds the results of another system, '" +
                        earlier.string() + "': give --force to replace them, or --output-dir");
    }
  }
  ResultsFolder folder(outputDir);
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
  // Taken before the run: the files as they were read, the date it started.
  nlohmann::ordered_json provenance = runProvenance(o, system, systemPath, o.outputInterval.value_or(o.step), 0);
  RunRecord record;
  // The vehicle report's monitor watches every run; it stays idle in a system without a vehicle.
  const std::unique_ptr<RunObserver> monitor = report::makeMonitor(o.report);
  const RunOutcome outcome = runSystem(system, engine, record, {&results, monitor.get()});
  for (const std::string& w : outcome.warnings) log().write(LogLevel::warning, w);
  for (const std::string& n : outcome.notes) log().write(LogLevel::info, n);

  RunSummary summary;
  summary.status = statusText(outcome.status, summary.exitCode);
  summary.message = outcome.message;
  summary.system = systemPath.string();
  summary.stopTime = outcome.stopTime;
  summary.threads = outcome.threads;
  provenance["threads"] = outcome.threads;
  summary.provenance = provenance;
  const report::ProvenanceRows head = provenanceRows(provenance);
  const double simulated = record.points() > 0 ? record.time.back() - record.time.front() : 0.0;
  summary.realTimeFactor = record.wallSeconds > 0 ? simulated / record.wallSeconds : 0.0;
  // A run that stopped before its end (interrupted, a non-finite output, a health check of the
  // monitor) keeps its rows as <stem>.partial<ext>, and never takes the place of a complete run.
  summary.partial = outcome.status != RunOutcome::Status::ok;
  if (summary.partial) {
    const fs::path partial = results.finishPartial();
    summary.results = toStdout ? "-" : partial.lexically_relative(folder.path()).string();
  } else {
    results.finish(record);
    summary.results = toStdout                    ? "-"
                      : outputFile.is_absolute() ? outputFile.string()
                                                 : resultsFile.lexically_relative(folder.path()).string();
  }
  writeVariablesTable(folder.path() / "variables.csv", record, results.selected());

  std::string text;
  std::vector<fs::path> plots;
  nlohmann::json vehicleFields = nlohmann::json::object();
  // An interrupted run and one stopped by a non-finite output get their results and the generic
  // summary only: the report's figures would be NaN or cover a part of the cycle.
  const bool report = report::appliesTo(record) && record.points() > 1 &&
                      (outcome.status == RunOutcome::Status::ok || outcome.status == RunOutcome::Status::healthCheckFailed);
  if (report) {
    report::ReportSettings settings = o.report;
    settings.plots = !o.noPlots;
    report::ReportOutcome r;
    try {
      r = report::writeReport(record, settings, folder.path(), head);
    } catch (const std::runtime_error& e) {
      // Plots that cannot be drawn (a run too short for them) do not cost the run its report.
      if (!settings.plots) throw;
      log().write(LogLevel::warning, std::string("the report goes without plots: ") + e.what());
      settings.plots = false;
      r = report::writeReport(record, settings, folder.path(), head);
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
  } else if (outcome.status == RunOutcome::Status::interrupted) {
    text = "INTERRUPTED: " + outcome.message + "\nThe results are partial: " + summary.results +
           " holds the rows up to the interruption.\n";
  } else {
    char line[200];
    std::snprintf(line, sizeof line, "System %s: %zu components, %zu points to t = %g s, wall time %.3f s\n",
                  system.structure.name.c_str(), system.descriptions.size(), record.points(),
                  record.points() > 0 ? record.time.back() : 0.0, record.wallSeconds);
    text = line;
  }
  if (!report) writeTextFile(folder.path() / "summary.txt", report::provenanceText(head) + text);
  writeSummaryJson(folder.path(), summary, vehicleFields);
  fs::path destination = folder.target();
  if (summary.partial) {
    destination = folder.commitPartial();
  } else {
    folder.commit();
  }
  // Where a file of the temporary folder ends up.
  auto placed = [&](const fs::path& file) { return destination / file.lexically_relative(folder.path()); };
  if (!summary.partial && outputFile.is_absolute()) moveFile(placed(resultsFile), outputFile);

  if (summary.partial) {
    if (report && !o.quiet) std::fprintf(terminal, "%s", text.c_str());
    std::fprintf(stderr, "vehicle-sim: %s; the results are PARTIAL: %s (folder %s)\n", outcome.message.c_str(),
                 toStdout ? "standard output" : placed(folder.path() / summary.results).c_str(), destination.c_str());
    if (destination != folder.target()) {
      std::fprintf(stderr, "vehicle-sim: the complete run in %s is kept as it was\n", folder.target().c_str());
    }
    return summary.exitCode;
  }
  if (!o.quiet) {
    std::fprintf(terminal, "%s\nResults: %s\n", text.c_str(),
                 toStdout ? "standard output" : outputFile.is_absolute() ? outputFile.c_str() : placed(resultsFile).c_str());
    if (!plots.empty()) {
      std::fprintf(terminal, "Plots:  ");
      for (const fs::path& p : plots) std::fprintf(terminal, " %s", (destination / p.filename()).c_str());
      std::fprintf(terminal, "\n");
    }
    std::fprintf(terminal, "Summary: %s\n", (destination / "summary.txt").c_str());
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
