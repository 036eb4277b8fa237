#include "app/report/vehicle_report.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "app/report/report_html.h"
#include "app/report/report_plots.h"
#include "app/report/summary_output.h"
#include "app/report/vehicle_figures.h"
#include "app/text_file.h"

namespace report {

namespace fs = std::filesystem;

namespace {

constexpr double leastPlotKm = 0.2;

void writeFile(const fs::path& file, const std::string& text, ReportOutcome& outcome) {
  master::writeTextFile(file, text);
  outcome.files.push_back(file);
}

std::string excursionMessage(const VehicleFigures& f, const ReportSettings& s) {
  std::string text;
  char line[300];
  std::snprintf(line, sizeof line,
                "cycle-following check failed: the vehicle was outside the +-%g km/h / +-%g s band for %.2f s, "
                "%.2f %% of the cycle (limit %.2f %%), in %zu excursion%s; the longest:",
                s.toleranceKmh, s.toleranceSeconds, f.following.excursionSeconds, f.excursionShare * 100.0,
                s.excursionShareLimit * 100.0, f.following.excursions.size(),
                f.following.excursions.size() == 1 ? "" : "s");
  text = line;
  // The five longest, in time order of the list.
  std::vector<const Excursion*> longest;
  for (const Excursion& e : f.following.excursions) longest.push_back(&e);
  std::stable_sort(longest.begin(), longest.end(),
                   [](const Excursion* a, const Excursion* b) { return a->end - a->start > b->end - b->start; });
  if (longest.size() > 5) longest.resize(5);
  for (const Excursion* e : longest) {
    std::snprintf(line, sizeof line, " %.2f-%.2f s (%+.1f km/h beyond the band at t = %.2f s, target %.1f, actual %.1f km/h);",
                  e->start, e->end, e->worstKmh, e->worstTime, e->targetKmh, e->actualKmh);
    text += line;
  }
  text.pop_back();
  return text;
}

}  // namespace

bool appliesTo(const master::RunRecord& record) { return findSignals(record).complete(); }

namespace {

ReportOutcome verdict(const VehicleFigures& figures, const ReportSettings& settings) {
  ReportOutcome outcome;
  if (!figures.followingPassed) {
    outcome.exitCode = 2;
    outcome.messages.push_back(excursionMessage(figures, settings));
  }
  if (!figures.pedalsPassed) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "controller chatter: the driver pressed both pedals (beyond %g %%) for %.2f s, %.2f %% of the run "
                  "(limit %.2f %%): the step is too coarse for the driver's inputs; check the step with "
                  "'vehicle-sim check-step'",
                  settings.pedalPressedPercent, figures.bothPedalsSeconds, figures.bothPedalsShare * 100.0,
                  settings.bothPedalsShareLimit * 100.0);
    outcome.exitCode = 2;
    outcome.messages.push_back(text);
  }
  if (figures.pedals) outcome.bothPedalsShare = figures.bothPedalsShare;
  outcome.summaryText = summaryText(figures, settings);
  outcome.summaryJson = summaryJson(figures, settings);
  return outcome;
}

VehicleSignals signalsOf(const master::RunRecord& record) {
  VehicleSignals signals = findSignals(record);
  if (!signals.complete()) throw std::logic_error("the vehicle report does not apply to this system");
  return signals;
}

VehicleFigures figuresOf(const VehicleSignals& signals, const ReportSettings& settings) {
  VehicleFigures figures = computeFigures(signals, settings);
  // The consumption plot starts at 0.2 km, and a run that short has nothing to show over time.
  if (settings.plots && !(figures.distanceKm >= leastPlotKm)) {
    char reason[160];
    std::snprintf(reason, sizeof reason, "the run drove %.3f km; the plots need at least %g km", figures.distanceKm,
                  leastPlotKm);
    figures.plotsSkipped = reason;
  }
  return figures;
}

}  // namespace

ReportOutcome evaluateReport(const master::RunRecord& record, const ReportSettings& settings) {
  return verdict(figuresOf(signalsOf(record), settings), settings);
}

ReportOutcome writeReport(const master::RunRecord& record, const ReportSettings& settings, const fs::path& outDir,
                          const ProvenanceRows& provenance) {
  const VehicleSignals signals = signalsOf(record);
  const VehicleFigures figures = figuresOf(signals, settings);
  ReportOutcome outcome = verdict(figures, settings);
  fs::create_directories(outDir);
  std::vector<Plot> plots;
  if (settings.plots && figures.plotsSkipped.empty()) {
    plots = drawPlots(signals, figures, settings, outDir);
    for (const Plot& p : plots) outcome.files.push_back(p.file);
  }
  writeFile(outDir / "report.html", reportHtml(record, figures, settings, outcome.messages, plots, provenance), outcome);
  return outcome;
}

}  // namespace report
