// vehicle-sim rerun DIR [--output-dir NEW]: runs the command recorded in DIR/summary.json again,
// in the folder it was run from, into a new folder (default DIR-rerun), and says whether the
// results are identical to DIR's, byte for byte, and which of the files it read have changed.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace master::cli {

inline constexpr int resultsDifferExitCode = 3;

struct RerunOptions {
  std::string folder;     // the results folder of the earlier run
  std::string outputDir;  // empty: <folder>-rerun
};

CLI::App* addRerunCommand(CLI::App& app, RerunOptions& options);
// 0 when the results are identical, 3 when they differ, else the run's own exit code (1 also
// when DIR holds no rerunnable summary).
int runRerun(const RerunOptions& options, const std::string& defaultSystem);

}  // namespace master::cli
