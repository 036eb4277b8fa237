#include "app/cli/run_command.h"

#include <cstdio>

#include "app/cli/log.h"
#include "app/cli/provenance.h"
#include "app/cli/results_folder.h"
#include "app/cli/run_session.h"
#include "engine/engine.h"
#include "engine/error.h"
#include "engine/unit_log.h"

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

  const fs::path outputDir =
      o.outputDir.empty() ? defaultOutputFolder(prepared.systemFile) : fs::path(o.outputDir);
  // The default folder is named after the system file; one with the same name that holds another
  // system's results is replaced only when asked to.
  if (o.outputDir.empty() && !o.force) {
    const fs::path earlier = resultsSystem(outputDir);
    if (!earlier.empty() && earlier != prepared.systemPath) {
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

  ResultsWriter results(resultsFile, o.outputVariables, prepared.stepsPerRow);
  FinishedRun finished = simulate(prepared, o, {&results});
  const RunOutcome& outcome = finished.outcome;
  RunSummary& summary = finished.summary;
  const std::string resultsName = toStdout                    ? "-"
                                  : outputFile.is_absolute() ? outputFile.string()
                                                             : resultsFile.lexically_relative(folder.path()).string();
  const RunReport report = writeRunFolder(finished, o, results, folder.path(), resultsName);
  for (const std::string& m : report.messages) std::fprintf(stderr, "vehicle-sim: %s\n", m.c_str());
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
    if (!report.text.empty() && !o.quiet) std::fprintf(terminal, "%s", report.text.c_str());
    std::fprintf(stderr, "vehicle-sim: %s; the results are PARTIAL: %s (folder %s)\n", outcome.message.c_str(),
                 toStdout ? "standard output" : placed(folder.path() / summary.results).c_str(), destination.c_str());
    if (destination != folder.target()) {
      std::fprintf(stderr, "vehicle-sim: the complete run in %s is kept as it was\n", folder.target().c_str());
    }
    return summary.exitCode;
  }
  if (!o.quiet) {
    std::fprintf(terminal, "%s\nResults: %s\n", report.text.c_str(),
                 toStdout ? "standard output" : outputFile.is_absolute() ? outputFile.c_str() : placed(resultsFile).c_str());
    if (!report.plots.empty()) {
      std::fprintf(terminal, "Plots:  ");
      for (const fs::path& p : report.plots) std::fprintf(terminal, " %s", (destination / p.filename()).c_str());
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
