// The vehicle report: what an engineer reads first after a run of a whole vehicle (distance
// against the cycle, fuel and CO2 overall and per phase, where the energy went, how well the
// driver followed the cycle, gears, battery and bus), as a summary text, a summary.json, a
// self-contained report.html and its plots. It applies to any system that has the signals it
// needs, found by the units' model identifiers and variable names, whatever the components are
// called. Its health checks: the cycle-following check after the run (exit code 2 when the
// vehicle left the tolerance band for more than a set share of the cycle) and a monitor that
// stops a run whose coupling oscillates.
#pragma once

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/report/provenance_rows.h"
#include "engine/run_record.h"

namespace CLI {
class App;
}

namespace report {

// Documented petrol defaults: density 0.745 kg/L (the middle of the 0.720-0.775 kg/L band of
// European petrol at 15 degC); 3.17 g CO2 per g of fuel (a carbon mass fraction of 0.865, all
// burnt to CO2: 0.865 x 44.01 / 12.011); lower heating value 43.0 MJ/kg (= 43.0 kJ/g).
struct ReportSettings {
  double fuelDensityKgPerL = 0.745;
  double co2PerGramFuel = 3.17;
  double lowerHeatingValueMjPerKg = 43.0;
  // The cycle-following check fails (exit code 2) when the time outside the tolerance band
  // exceeds this share of the cycle's duration.
  double excursionShareLimit = 0.02;
  double toleranceKmh = 2.0;  // the trace tolerance band: +-2 km/h ...
  double toleranceSeconds = 1.0;  // ... and +-1 s
  // The controller chatter check fails (exit code 2) when the driver presses both pedals (each
  // beyond `pedalPressedPercent`) for more than this share of the run: a driver fed its target
  // as a staircase differentiates the steps, and its feed-forward fights its brake. Converged
  // runs of the standard cycles never do it; at too coarse a step they do for 16 % of the time.
  // A single jump of the target (a step in a cycle file) presses both for a moment, so the check
  // also needs `leastBothPedalsSeconds` in all.
  double bothPedalsShareLimit = 0.01;
  double pedalPressedPercent = 0.5;
  double leastBothPedalsSeconds = 1.0;
  // The monitor stops a run whose speed error swings back and forth by more than
  // `oscillationSwingKmh` at least `oscillationSwings` times within `oscillationWindowSeconds`.
  double oscillationSwingKmh = 20.0;
  int oscillationSwings = 4;
  double oscillationWindowSeconds = 60.0;
  // ... and stops a run whose vehicle is faster than the highest target so far by this much.
  double runawayKmh = 50.0;
  bool plots = true;
};

// Adds --fuel-density, --co2-per-gram, --lower-heating-value, --excursion-share,
// --both-pedals-share to `app`,
// bound to `settings` (plots on/off belongs to the run's own --no-plots).
void addOptions(CLI::App& app, ReportSettings& settings);

// Whether the system has what the report needs: a chassis' vehicle speed, a powertrain's fuel
// used and a drive cycle's target speed.
bool appliesTo(const master::RunRecord& record);

// Watches the run for a coupling that oscillates or a vehicle that runs away; its message stops
// the run (exit code 2).
std::unique_ptr<master::RunObserver> makeMonitor(const ReportSettings& settings);

struct ReportOutcome {
  int exitCode = 0;                   // 0, or 2 when the cycle-following or chatter check failed
  std::vector<std::string> messages;  // health-check findings, one line each
  double bothPedalsShare = NAN;       // share of the run with both pedals pressed; NaN without a driver
  std::string summaryText;            // the vehicle part of the summary, for the terminal
  std::string summaryJson;            // the vehicle fields, one JSON object
  std::vector<std::filesystem::path> files;  // every file written
};

// The report's verdict, messages and summary without writing anything (files stays empty).
ReportOutcome evaluateReport(const master::RunRecord& record, const ReportSettings& settings);

// Writes report.html (headed by the provenance) and the plots (when settings.plots) into
// `outDir`; summary.txt and summary.json, which hold the run's part too, are the caller's to
// write from summaryText and summaryJson. Throws PlotError (report_plots.h) when gnuplot cannot
// draw the plots (nothing of them stays behind), MasterError when a file cannot be written.
ReportOutcome writeReport(const master::RunRecord& record, const ReportSettings& settings,
                          const std::filesystem::path& outDir, const ProvenanceRows& provenance = {});

}  // namespace report
