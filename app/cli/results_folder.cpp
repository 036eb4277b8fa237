#include "app/cli/results_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include <nlohmann/json.hpp>

#include <fstream>

#include "app/summary_conventions.h"
#include "engine/error.h"

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
  if (!holdsOnlyResults(target_)) {
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

void ResultsFolder::commit() { commitTo(target_); }

fs::path ResultsFolder::commitPartial() {
  if (!holdsCompleteRun(target_)) {
    commitTo(target_);
    return target_;
  }
  const fs::path beside = target_.parent_path() / (target_.filename().string() + ".partial");
  if (holdsCompleteRun(beside) || !holdsOnlyResults(beside)) {
    throw MasterError("the partial results have nowhere to go: '" + target_.string() + "' holds a complete run and '" +
                      beside.string() + "' holds " +
                      (holdsCompleteRun(beside) ? "another complete run" : "files that are no results"));
  }
  commitTo(beside);
  return beside;
}

void ResultsFolder::commitTo(const fs::path& destination) {
  std::error_code ec;
  if (fs::is_directory(destination, ec)) {
    // The new folder takes the old one's place in one step; the old one ends up where the new
    // one was and goes away with it.
    if (renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, destination.c_str(), RENAME_EXCHANGE) != 0) {
      throw MasterError("cannot put the results in place of '" + destination.string() + "': " + reason(errno));
    }
    committed_ = true;
    fs::remove_all(temporary_, ec);
    return;
  }
  if (std::rename(temporary_.c_str(), destination.c_str()) != 0) {
    throw MasterError("cannot move the results to '" + destination.string() + "': " + reason(errno));
  }
  committed_ = true;
}

fs::path defaultOutputFolder(const fs::path& system) {
  fs::path named = fs::absolute(system).lexically_normal();
  if (!named.has_filename()) named = named.parent_path();  // "my_vehicle/"
  std::error_code ec;
  if (fs::is_directory(named, ec)) return fs::path("out") / named.filename();
  if (named.stem() == "SystemStructure" && named.has_parent_path()) {
    return fs::path("out") / named.parent_path().filename();
  }
  return fs::path("out") / named.stem();
}

fs::path resultsSystem(const fs::path& folder) {
  std::ifstream in(folder / conventions::summary::fileName);
  if (!in) return {};
  const nlohmann::json summary = nlohmann::json::parse(in, nullptr, false);
  if (!summary.is_object() || !summary.contains("system") || !summary["system"].is_string()) return {};
  std::error_code ec;
  return fs::absolute(summary["system"].get<std::string>(), ec).lexically_normal();
}

bool holdsCompleteRun(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder / conventions::summary::fileName, ec)) return false;
  std::ifstream in(folder / conventions::summary::fileName);
  const nlohmann::json summary = nlohmann::json::parse(in, nullptr, false);
  if (!summary.is_object()) return true;
  const auto partial = summary.find("partial");
  return partial == summary.end() || !partial->is_boolean() || !partial->get<bool>();
}

bool holdsOnlyResults(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) return true;
  if (!fs::is_directory(folder, ec)) return false;
  return fs::is_empty(folder, ec) || fs::exists(folder / conventions::summary::fileName, ec);
}

void moveFile(const fs::path& from, const fs::path& destination) {
  if (std::rename(from.c_str(), destination.c_str()) == 0) return;
  std::error_code ec;
  fs::copy_file(from, destination, fs::copy_options::overwrite_existing, ec);
  if (ec) throw MasterError("cannot write '" + destination.string() + "': " + ec.message());
  fs::remove(from, ec);
}

}  // namespace master::cli
