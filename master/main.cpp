// vehicle-sim: runs an SSP system of FMI 2.0 Co-Simulation units (by default the built
// vehicle.ssp) and writes the results, a summary and, for a vehicle, its plots.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdlib.h>

#include "master/engine.h"
#include "master/error.h"
#include "master/results_observer.h"
#include "master/vehicle_summary.h"

namespace {

namespace fs = std::filesystem;

extern "C" void requestStop(int) { master::stopRequested = 1; }

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') out += std::string("\\") + c;
    else if (static_cast<unsigned char>(c) < 0x20) {
      char e[8];
      std::snprintf(e, sizeof e, "\\u%04x", c);
      out += e;
    } else out += c;
  }
  return out + "\"";
}

// `--start-value component.variable=value`.
master::ValueOverride parseStartValue(const std::string& text) {
  const std::size_t eq = text.find('=');
  const std::size_t dot = text.find('.');
  if (eq == std::string::npos || dot == std::string::npos || dot == 0 || dot + 1 >= eq) {
    throw master::MasterError("--start-value '" + text + "': write component.variable=value");
  }
  return {text.substr(0, dot), text.substr(dot + 1, eq - dot - 1), text.substr(eq + 1), 0, "--start-value", {}};
}

}  // namespace

int main(int argc, char** argv) {
  std::string system = VEHICLE_SIM_DEFAULT_SYSTEM;
  std::string outDir, cycle, parameters;
  std::vector<std::string> startValues;
  master::EngineOptions options;
  double stopTime = 0.0, startTime = 0.0;
  bool noPlots = false, noProgress = false;

  CLI::App app{"Runs an SSP system of FMI 2.0 Co-Simulation units (by default the whole vehicle) and writes its results."};
  app.add_option("system", system, "the system: an .ssp archive, a folder holding SystemStructure.ssd, or an .ssd file")
      ->capture_default_str();
  app.add_option("--output-dir", outDir, "folder for the results (default out/<system name>)");
  auto* stop = app.add_option("--stop-time", stopTime, "stop time, s (default: the system's, else the end of the drive cycle)");
  auto* start = app.add_option("--start-time", startTime, "start time, s (default: the system's, else 0)");
  app.add_option("--step", options.step, "communication step, s")->capture_default_str();
  app.add_option("--threads", options.threads, "threads that step the units (default: one per core)");
  app.add_option("--start-value", startValues, "COMPONENT.VARIABLE=VALUE, a value for a parameter or open input");
  app.add_option("--parameters", parameters, ".ssv file of values named component.variable");
  app.add_option("--cycle", cycle, "drive cycle of every DriveCycle component: a standard name or a file");
  app.add_flag("--no-plots", noPlots, "do not draw the plots");
  app.add_flag("--no-progress", noProgress, "do not show the progress bar");
  app.add_flag("--verbose", options.verbose, "show every message of the units, not only warnings and errors");
  app.add_flag("--allow-non-finite", options.allowNonFinite, "go on when an output becomes NaN or infinite");
  CLI11_PARSE(app, argc, argv);
  if (*stop) options.stopTime = stopTime;
  if (*start) options.startTime = startTime;
  options.progress = !noProgress;

  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);
  fs::path temporary;
  try {
    std::vector<master::ValueOverride> overrides;
    if (!parameters.empty()) overrides = master::readValueOverrides(parameters);
    if (!cycle.empty()) {
      // The cycle of every drive cycle component: a file path made absolute, else a name.
      master::LoadedSystem probe = master::loadSystem(system);
      std::error_code ec;
      const std::string value = fs::is_regular_file(cycle, ec) ? fs::absolute(cycle).string() : cycle;
      for (std::size_t i = 0; i < probe.descriptions.size(); ++i) {
        if (probe.descriptions[i].modelIdentifier == "DriveCycle") {
          overrides.push_back({probe.structure.components[i].name, "cycle", value, 0, "--cycle", {}});
        }
      }
    }
    for (const std::string& s : startValues) overrides.push_back(parseStartValue(s));
    master::LoadedSystem loaded = master::loadSystem(system, overrides);

    const fs::path out = outDir.empty() ? fs::path("out") / loaded.structure.name : fs::path(outDir);
    if (!out.parent_path().empty()) fs::create_directories(out.parent_path());
    std::string pattern = (out.parent_path().empty() ? fs::path(".") : out.parent_path()).string() + "/." +
                          out.filename().string() + ".tmp-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw master::MasterError("cannot create a folder beside '" + out.string() + "'");
    temporary = pattern;

    master::ResultsObserver results(temporary / "results.csv");
    master::RunRecord record;
    const master::RunOutcome outcome = master::runSystem(loaded, options, record, {&results});
    results.close();
    for (const std::string& w : outcome.warnings) std::fprintf(stderr, "vehicle-sim: warning: %s\n", w.c_str());

    int exitCode = 0;
    std::string status = "ok";
    switch (outcome.status) {
      case master::RunOutcome::Status::ok: break;
      case master::RunOutcome::Status::healthCheckFailed: exitCode = 2; status = "health-check-failed"; break;
      case master::RunOutcome::Status::nonFinite: exitCode = 1; status = "error"; break;
      case master::RunOutcome::Status::interrupted: exitCode = 130; status = "interrupted"; break;
    }
    std::string summary;
    std::vector<fs::path> plots;
    if (master::vehicleSummaryApplies(record) && record.points() > 1) {
      const master::VehicleSummaryFiles files =
          master::writeVehicleSummary(record, temporary, temporary / "results.csv", !noPlots, loaded.descriptions.size());
      summary = files.text;
      plots = files.plots;
    } else {
      char text[200];
      std::snprintf(text, sizeof text, "System %s: %zu components, %zu points to t = %g s, wall time %.3f s\n",
                    loaded.structure.name.c_str(), loaded.descriptions.size(), record.points(),
                    record.points() > 0 ? record.time.back() : 0.0, record.wallSeconds);
      summary = text;
      std::ofstream(temporary / "summary.txt") << summary;
    }
    const double simulated = record.points() > 0 ? record.time.back() - record.time.front() : 0.0;
    {
      std::ofstream json(temporary / "summary.json");
      json << "{\n  \"exitCode\": " << exitCode << ",\n  \"status\": " << jsonString(status)
           << ",\n  \"message\": " << jsonString(outcome.message) << ",\n  \"system\": " << jsonString(fs::path(system).string())
           << ",\n  \"stopTime\": " << outcome.stopTime << ",\n  \"threads\": " << outcome.threads
           << ",\n  \"realTimeFactor\": " << (record.wallSeconds > 0 ? simulated / record.wallSeconds : 0.0) << "\n}\n";
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::rename(temporary, out);
    temporary.clear();
    std::cout << summary << '\n' << "Results: " << (out / "results.csv").string() << '\n';
    if (!plots.empty()) {
      std::cout << "Plots:  ";
      for (const auto& p : plots) std::cout << ' ' << (out / p.filename()).string();
      std::cout << '\n';
    }
    std::cout << "Summary: " << (out / "summary.txt").string() << std::endl;
    if (!outcome.message.empty()) std::fprintf(stderr, "vehicle-sim: %s\n", outcome.message.c_str());
    return exitCode;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vehicle-sim: %s\n", e.what());
    std::error_code ec;
    if (!temporary.empty()) fs::remove_all(temporary, ec);
    return 1;
  }
}
