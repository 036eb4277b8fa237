#include "master/cli/results_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "master/error.h"

namespace master::cli {

namespace fs = std::filesystem;

namespace {

std::string reason(int error) { return std::strerror(error); }

}  // namespace

ResultsFolder::ResultsFolder(const fs::path& outputFolder) {
  std::error_code ec;
  target_ = fs::absolute(outputFolder, ec).lexically_normal();
  if (target_.has_filename() == false) target_ = target_.parent_path();  // "out/" names "out"
  if (ec || target_.filename().empty()) throw MasterError("'" + outputFolder.string() + "' cannot be an output folder");
  if (fs::exists(target_, ec) && !fs::is_directory(target_, ec)) {
    throw MasterError("the output folder '" + outputFolder.string() + "' is a file");
  }
  // The folder is replaced as a whole, so it must hold nothing but an earlier run's results
  // (which always include summary.json): never a folder of the user's own files.
  if (fs::is_directory(target_, ec) && !fs::is_empty(target_, ec) && !fs::exists(target_ / "summary.json", ec)) {
    throw MasterError("the output folder '" + outputFolder.string() +
                      "' holds files but no results of an earlier run (no summary.json); it would be replaced "
                      "as a whole: choose another or empty it");
  }
  const fs::path parent = target_.parent_path();
  fs::create_directories(parent, ec);
  if (ec) throw MasterError("cannot create the folder '" + parent.string() + "': " + ec.message());
  std::string pattern = (parent / ("." + target_.filename().string() + ".running-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw MasterError("cannot write into '" + parent.string() + "' for the output folder: " + reason(errno));
  }
  temporary_ = pattern;
  // A private folder while it is written; the results get the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  fs::permissions(temporary_, static_cast<fs::perms>(0777 & ~mask), ec);
}

ResultsFolder::~ResultsFolder() {
  if (committed_) return;
  std::error_code ec;
  fs::remove_all(temporary_, ec);
}

void ResultsFolder::commit() {
  std::error_code ec;
  if (fs::is_directory(target_, ec)) {
    // The new folder takes the old one's place in one step; the old one ends up where the new
    // one was and goes away with it.
    if (renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) != 0) {
      throw MasterError("cannot put the results in place of '" + target_.string() + "': " + reason(errno));
    }
    committed_ = true;
    fs::remove_all(temporary_, ec);
    return;
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw MasterError("cannot move the results to '" + target_.string() + "': " + reason(errno));
  }
  committed_ = true;
}

void moveFile(const fs::path& from, const fs::path& destination) {
  if (std::rename(from.c_str(), destination.c_str()) == 0) return;
  std::error_code ec;
  fs::copy_file(from, destination, fs::copy_options::overwrite_existing, ec);
  if (ec) throw MasterError("cannot write '" + destination.string() + "': " + ec.message());
  fs::remove(from, ec);
}

}  // namespace master::cli
