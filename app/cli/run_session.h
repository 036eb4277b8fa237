// A run of vehicle-sim in steps that the command line and the Python module share: check the
// options and load the system with its value overrides; run it with the vehicle report's
// monitor watching; summarise it (the generic summary and, for a vehicle, the report's verdict);
// write its results folder. The command line streams its results file while the run goes; the
// Python module keeps the record and writes the same folder afterwards.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/cli/results_writer.h"
#include "app/cli/run_options.h"
#include "app/cli/run_summary.h"
#include "engine/engine.h"

namespace master::cli {

struct PreparedRun {
  std::filesystem::path systemFile;
  std::filesystem::path systemPath;  // the system file's absolute path
  LoadedSystem system;
  std::vector<ValueOverride> overrides;
  std::size_t stepsPerRow = 1;
};

// Checks the step and output interval, loads the system (`defaultSystem` when the options name
// none) and applies the overrides; logs the system's warnings. Throws MasterError.
PreparedRun prepareRun(const CliOptions& options, const std::filesystem::path& defaultSystem);

struct FinishedRun {
  RunRecord record;
  RunOutcome outcome;
  RunSummary summary;  // the generic part; `results` is set when the folder is written
  std::string systemName;
  std::size_t components = 0;
};

// Runs the prepared system with `observers` and the vehicle report's monitor; `keepGoing` as
// EngineOptions::keepGoing. The run's warnings and notes go to the log. Throws MasterError.
FinishedRun simulate(PreparedRun& prepared, const CliOptions& options, const std::vector<RunObserver*>& observers,
                     std::function<bool()> keepGoing = {});

struct RunReport {
  std::string text;                     // summary.txt, for the terminal too
  nlohmann::json vehicleFields = nlohmann::json::object();  // the report's keys of summary.json
  std::vector<std::filesystem::path> plots;
  std::vector<std::string> messages;    // the report's findings, one line each
};

// The summary of a run, headed by its provenance. For a vehicle run that went to its end (or
// failed only a health check) with a folder the report (and its plots unless --no-plots) is
// written into it, else only evaluated; a failed cycle-following check turns `run.summary` into
// a health-check failure (exit code 2). Other runs get the generic summary.
RunReport reportRun(FinishedRun& run, const CliOptions& options, const std::filesystem::path* folder);

// Writes the results of a run into `folder` (the temporary folder of a ResultsFolder): the rest
// of the results file through `results` (a run that stopped early keeps its rows as the partial
// file, which its summary names), variables.csv, the report or the plain summary.txt, and
// summary.json, with `resultsName` as its `results` key.
RunReport writeRunFolder(FinishedRun& run, const CliOptions& options, ResultsWriter& results,
                         const std::filesystem::path& folder, const std::string& resultsName);

// Feeds a finished record to a results writer as the run would have: start, every point.
void replayRecord(ResultsWriter& results, const RunRecord& record);

}  // namespace master::cli
