// The results folder of a run, written as a whole or not at all: everything goes into a
// temporary folder beside the output folder, which replaces the output folder only when the run
// is over. A run that fails removes its temporary folder and leaves the output folder (and any
// older results in it) exactly as it was.
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

 private:
  std::filesystem::path target_, temporary_;
  bool committed_ = false;
};

// Moves a finished file to `destination` (a rename, or a copy across file systems).
void moveFile(const std::filesystem::path& from, const std::filesystem::path& destination);

}  // namespace master::cli
