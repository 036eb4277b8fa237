#include "app/cli/run_session.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "app/cli/coupling_check.h"
#include "app/cli/fmi_trace.h"
#include "app/cli/log.h"
#include "app/cli/provenance.h"
#include "app/cli/stop_signals.h"
#include "app/report/report_plots.h"
#include "app/report/vehicle_report.h"
#include "app/summary_conventions.h"
#include "engine/error.h"

namespace master::cli {

namespace fs = std::filesystem;

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
    case RunOutcome::Status::ok: exitCode = 0; return conventions::summary::ok;
    case RunOutcome::Status::healthCheckFailed: exitCode = 2; return conventions::summary::healthCheckFailed;
    case RunOutcome::Status::nonFinite: exitCode = 1; return conventions::summary::error;
    case RunOutcome::Status::interrupted: exitCode = interruptedExitCode; return conventions::summary::interrupted;
  }
  exitCode = 1;
  return conventions::summary::error;
}

}  // namespace

PreparedRun prepareRun(const CliOptions& o, const fs::path& defaultSystem) {
  if (!(o.step > 0.0) || !std::isfinite(o.step)) {
    char text[80];
    std::snprintf(text, sizeof text, "--step must be a positive time, not %g", o.step);
    throw MasterError(text);
  }
  PreparedRun p;
  p.stepsPerRow = stepsPerOutput(o.outputInterval.value_or(o.step), o.step);
  p.systemFile = o.system.empty() ? defaultSystem : fs::path(o.system);
  p.systemPath = fs::absolute(p.systemFile).lexically_normal();
  p.system = loadSystem(p.systemFile);
  // Checked by the same code as the system's own bindings, before anything runs (the warnings
  // about open inputs count them).
  p.overrides = overridesFor(o, p.system);
  if (!p.overrides.empty()) applyOverrides(p.system, p.overrides);
  for (const std::string& w : p.system.warnings) log().write(LogLevel::warning, w);
  if (log().enabled(LogLevel::debug)) {
    log().write(LogLevel::debug, "system " + p.systemFile.string() + ": " +
                                     std::to_string(p.system.descriptions.size()) + " components; a results row every " +
                                     std::to_string(p.stepsPerRow) + " steps");
    for (const ValueOverride& v : p.overrides) {
      log().write(LogLevel::debug, v.origin + ": " + v.component + "." + v.variable + " = " + v.value);
    }
  }
  return p;
}

FinishedRun simulate(PreparedRun& p, const CliOptions& o, const std::vector<RunObserver*>& observers,
                     std::function<bool()> keepGoing) {
  EngineOptions engine;
  engine.startTime = o.startTime;
  engine.stopTime = o.stopTime;
  engine.step = o.step;
  engine.threads = o.threads;
  engine.allowNonFinite = o.allowNonFinite;
  const std::string coupling = couplingScheme(o);
  engine.feedthrough = coupling != "jacobi";
  engine.multiRate = coupling == "multirate";
  for (const std::string& text : o.groups) engine.groups.push_back(parseGroup(text));
  engine.progress = !o.noProgress && !o.quiet;
  engine.verbose = log().enabled(LogLevel::info);
  if (o.fmiLog) engine.libraryLoaded = traceCalls;
  engine.keepGoing = std::move(keepGoing);
  FinishedRun f;
  f.systemName = p.system.structure.name;
  f.components = p.system.descriptions.size();
  // The vehicle report's monitor watches every run; it stays idle in a system without a vehicle.
  const std::unique_ptr<RunObserver> monitor = report::makeMonitor(o.report);
  // Taken before the run: the files as they were read, the date it started.
  nlohmann::ordered_json provenance = runProvenance(o, p.system, p.systemPath, o.outputInterval.value_or(o.step), 0);
  std::vector<RunObserver*> watching = observers;
  watching.push_back(monitor.get());
  f.outcome = runSystem(p.system, engine, f.record, watching);
  for (const std::string& w : f.outcome.warnings) log().write(LogLevel::warning, w);
  for (const std::string& n : f.outcome.notes) log().write(LogLevel::info, n);

  RunSummary& summary = f.summary;
  summary.status = statusText(f.outcome.status, summary.exitCode);
  summary.message = f.outcome.message;
  summary.system = p.systemPath.string();
  summary.stopTime = f.outcome.stopTime;
  summary.threads = f.outcome.threads;
  provenance["threads"] = f.outcome.threads;
  summary.provenance = std::move(provenance);
  // A run that stopped before its end (interrupted, a non-finite output, a health check of the
  // monitor) keeps its rows as <stem>.partial<ext>, and never takes the place of a complete run.
  summary.partial = f.outcome.status != RunOutcome::Status::ok;
  const double simulated = f.record.points() > 0 ? f.record.time.back() - f.record.time.front() : 0.0;
  summary.realTimeFactor = f.record.wallSeconds > 0 ? simulated / f.record.wallSeconds : 0.0;
  return f;
}

RunReport reportRun(FinishedRun& run, const CliOptions& o, const fs::path* folder) {
  RunReport out;
  double chatter = NAN;  // the report's both-pedals share, for the coupling error indicator
  const RunRecord& record = run.record;
  const report::ProvenanceRows head = provenanceRows(run.summary.provenance);
  // An interrupted run and one stopped by a non-finite output get their results and the generic
  // summary only: the report's figures would be NaN or cover a part of the cycle.
  const RunOutcome::Status status = run.outcome.status;
  if (report::appliesTo(record) && record.points() > 1 &&
      (status == RunOutcome::Status::ok || status == RunOutcome::Status::healthCheckFailed)) {
    report::ReportSettings settings = o.report;
    settings.plots = !o.noPlots;
    report::ReportOutcome r;
    if (folder == nullptr) {
      r = report::evaluateReport(record, settings);
    } else {
      try {
        r = report::writeReport(record, settings, *folder, head);
      } catch (const report::PlotError& e) {
        // Plots that gnuplot cannot draw do not cost the run its report; any other failure to
        // write the report fails the run.
        log().write(LogLevel::warning, std::string("the report goes without plots: ") + e.what());
        settings.plots = false;
        r = report::writeReport(record, settings, *folder, head);
      }
    }
    out.text = r.summaryText;
    out.vehicleFields = nlohmann::json::parse(r.summaryJson);
    for (const fs::path& f : r.files) {
      if (f.extension() == ".png" || f.extension() == ".svg") out.plots.push_back(f);
    }
    out.messages = r.messages;
    chatter = r.bothPedalsShare;
    RunSummary& summary = run.summary;
    if (r.exitCode != 0 && summary.exitCode == 0) {
      summary.exitCode = r.exitCode;
      summary.status = conventions::summary::healthCheckFailed;
      summary.message = r.messages.empty() ? std::string() : r.messages.front();
    }
  } else if (status == RunOutcome::Status::interrupted) {
    out.text = "INTERRUPTED: " + run.outcome.message + "\nThe results are partial: " + run.summary.results +
               " holds the rows up to the interruption.\n";
  } else {
    char line[200];
    std::snprintf(line, sizeof line, "System %s: %zu components, %zu points to t = %g s, wall time %.3f s\n",
                  run.systemName.c_str(), run.components, record.points(),
                  record.points() > 0 ? record.time.back() : 0.0, record.wallSeconds);
    out.text = line;
  }
  // The engine's coupling error estimate, in the summary of every run, and its health check.
  const std::string couplingLines = couplingText(record, o.couplingErrorLimit, chatter);
  if (!couplingLines.empty()) {
    out.text += (out.text.empty() || out.text.back() == '\n' ? "" : "\n") + couplingLines;
    out.vehicleFields[conventions::summary::couplingError] = couplingJson(record, o.couplingErrorLimit, chatter);
    const std::string failed = couplingCheck(record, o.couplingErrorLimit);
    RunSummary& summary = run.summary;
    if (!failed.empty()) {
      out.messages.push_back(failed);
      if (summary.exitCode == 0) {
        summary.exitCode = 2;
        summary.status = conventions::summary::healthCheckFailed;
        summary.message = failed;
      }
    }
  }
  if (folder != nullptr) writeTextFile(*folder / "summary.txt", report::provenanceText(head) + out.text);
  return out;
}

RunReport writeRunFolder(FinishedRun& run, const CliOptions& o, ResultsWriter& results, const fs::path& folder,
                         const std::string& resultsName) {
  if (run.summary.partial) {
    const fs::path partial = results.finishPartial();
    run.summary.results = resultsName == "-" ? resultsName : partial.lexically_relative(folder).string();
  } else {
    results.finish(run.record);
    run.summary.results = resultsName;
  }
  writeVariablesTable(folder / "variables.csv", run.record, results.selected());
  RunReport r = reportRun(run, o, &folder);
  writeSummaryJson(folder, run.summary, r.vehicleFields);
  return r;
}

void replayRecord(ResultsWriter& results, const RunRecord& record) {
  results.start(record);
  for (std::size_t k = 0; k < record.points(); ++k) results.check(record, k);
}

}  // namespace master::cli
