#include "tests/report/vehicle_runs.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <map>
#include <stdexcept>

namespace report_test {

namespace fs = std::filesystem;

namespace {

struct RunFolder {
  fs::path path;
  RunFolder() {
    std::string pattern = (fs::temp_directory_path() / "report-test-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~RunFolder() { fs::remove_all(path); }
};

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

const fs::path& scratchFolder() {
  static RunFolder folder;
  return folder.path;
}

fs::path sharedCycle(const std::string& file) {
  const fs::path cycle = fs::path(VEHICLE_SHARED_DIR) / "cycles" / file;
  return fs::exists(cycle) ? cycle : fs::path();
}

std::string skipReason(const std::string& cycleFile) {
  return "skipped: no cycle " + cycleFile + " in " VEHICLE_SHARED_DIR "/cycles; configure with "
         "-DVEHICLE_SHARED_DIR=<folder with cycles/> to run it";
}

fs::path vehicleRun(const std::vector<std::string>& arguments) {
  static std::map<std::vector<std::string>, fs::path> done;
  if (const auto it = done.find(arguments); it != done.end()) return it->second;
  const fs::path out = scratchFolder() / ("run-" + std::to_string(done.size()));
  std::string command = quoted(VEHICLE_SIM) + " --no-progress --no-plots --output-dir " + quoted(out.string());
  for (const std::string& a : arguments) command += " " + quoted(a);
  command += " > " + quoted(out.string() + ".log") + " 2>&1";
  // Exit code 2: a health check failed, the results are written all the same.
  const int status = std::system(command.c_str());
  if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 2)) {
    throw std::runtime_error("vehicle-sim failed: " + command);
  }
  return done[arguments] = out / "results.csv";
}

}  // namespace report_test
