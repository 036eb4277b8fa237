#include "tests/report/vehicle_runs.h"

#include <stdlib.h>

#include <cstdio>
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

}  // namespace

std::string skipReason(const std::string& cycleFile) {
  return "skipped: no cycle " + cycleFile + " in " VEHICLE_SHARED_DIR "/cycles; configure with "
         "-DVEHICLE_SHARED_DIR=<folder with cycles/> to run it";
}

fs::path vehicleRun(const std::string& cycleFile, double step) {
  static RunFolder folder;
  static std::map<std::string, fs::path> done;
  const fs::path cycle = fs::path(VEHICLE_SHARED_DIR) / "cycles" / cycleFile;
  if (!fs::exists(cycle)) return {};
  const std::string key = cycleFile + "@" + std::to_string(step);
  if (const auto it = done.find(key); it != done.end()) return it->second;
  const fs::path out = folder.path / (cycle.stem().string() + "-" + std::to_string(done.size()));
  const std::string command = std::string("'") + VEHICLE_SIM + "' --no-progress --no-plots --cycle '" +
                              cycle.string() + "' --step " + std::to_string(step) + " --out '" + out.string() +
                              "' > '" + out.string() + ".log' 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("vehicle-sim failed: " + command);
  return done[key] = out / "results.csv";
}

}  // namespace report_test
