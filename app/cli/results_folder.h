// The results folder of a run, written as a whole or not at all: everything goes into a
// temporary folder beside the output folder, which replaces the output folder only when the run
// is over. A run that fails removes its temporary folder and leaves the output folder (and any
// older results in it) exactly as it was. A run that stops before its end keeps what it has, but
// never in place of a complete run: its folder goes into the output folder only when that holds
// no complete run (it is missing, empty, or holds a partial one), else beside it as
// "<name>.partial".
#pragma once

#include <filesystem>

namespace master::cli {

class ResultsFolder {
 public:
  // Creates the temporary folder "<parent>/.<name>.running-XXXXXX" (and missing parents of the
  // output folder). Throws MasterError, before anything runs, when the output folder is a file,
  // holds files but no earlier run's results (no summary.json), or its parent cannot be written.
  explicit ResultsFolder(const std::filesystem::path& outputFolder);
  // Removes the temporary folder unless it was committed.
  ~ResultsFolder();
  ResultsFolder(const ResultsFolder&) = delete;
  ResultsFolder& operator=(const ResultsFolder&) = delete;

  // Where the run writes its files now.
  const std::filesystem::path& path() const { return temporary_; }
  const std::filesystem::path& target() const { return target_; }
  // Puts the temporary folder in place of the output folder (an exchange in one step when the
  // output folder exists); the older folder is removed afterwards. Throws MasterError.
  void commit();
  // For the results of a run that stopped before its end: into the output folder when it holds
  // no complete run, else into "<name>.partial" beside it (replaced when it holds no complete
  // run either). Returns where they went; throws MasterError when neither may take them.
  std::filesystem::path commitPartial();

 private:
  void commitTo(const std::filesystem::path& destination);

  std::filesystem::path target_, temporary_;
  bool committed_ = false;
};

// The default output folder of a system: out/<stem of the system file> (an .ssp or .ssd file;
// a folder's own name, also for the SystemStructure.ssd at its root).
std::filesystem::path defaultOutputFolder(const std::filesystem::path& system);
// The system whose results `folder` holds (summary.json's `system`, as an absolute path), or an
// empty path when it holds none.
std::filesystem::path resultsSystem(const std::filesystem::path& folder);

// Whether `folder` holds the results of a run that went to its end: a summary.json that does not
// say `"partial": true` (one that cannot be read counts as complete, so that it is kept).
bool holdsCompleteRun(const std::filesystem::path& folder);
// Whether `folder` may be replaced as a whole: it is missing or empty, or holds the results of a
// run (a summary.json), never a folder of the user's own files.
bool holdsOnlyResults(const std::filesystem::path& folder);

// Moves a finished file to `destination` (a rename, or a copy across file systems).
void moveFile(const std::filesystem::path& from, const std::filesystem::path& destination);

}  // namespace master::cli
