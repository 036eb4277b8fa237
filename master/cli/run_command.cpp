#include "master/cli/run_command.h"

#include <cstdio>

#include "master/cli/log.h"
#include "master/cli/results_folder.h"
#include "master/cli/run_session.h"
#include "master/engine.h"
#include "master/error.h"
#include "master/unit_log.h"

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

int run(const CliOptions& o, const std::string& defaultSystem) {
  PreparedRun prepared = prepareRun(o, defaultSystem);

  ResultsFolder folder(o.outputDir.empty() ? fs::path("out") / prepared.system.structure.name : fs::path(o.outputDir));
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

  ResultsWriter results(resultsFile, o.outputVariables, prepared.stepsPerRow);
  FinishedRun finished = simulate(prepared, o, {&results});
  const RunOutcome& outcome = finished.outcome;
  RunSummary& summary = finished.summary;

  if (outcome.status == RunOutcome::Status::interrupted) {
    const fs::path partial = results.finishPartial();
    writeVariablesTable(folder.path() / "variables.csv", finished.record, results.selected());
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

  const std::string resultsName = toStdout                    ? "-"
                                  : outputFile.is_absolute() ? outputFile.string()
                                                             : resultsFile.lexically_relative(folder.path()).string();
  const RunReport report = writeRunFolder(finished, o, results, folder.path(), resultsName);
  for (const std::string& m : report.messages) std::fprintf(stderr, "vehicle-sim: %s\n", m.c_str());
  folder.commit();
  if (outputFile.is_absolute()) moveFile(placed(resultsFile), outputFile);

  if (!o.quiet) {
    std::fprintf(terminal, "%s\nResults: %s\n", report.text.c_str(),
                 toStdout ? "standard output" : outputFile.is_absolute() ? outputFile.c_str() : placed(resultsFile).c_str());
    if (!report.plots.empty()) {
      std::fprintf(terminal, "Plots:  ");
      for (const fs::path& p : report.plots) std::fprintf(terminal, " %s", (folder.target() / p.filename()).c_str());
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
