#include "tests/app/report/vehicle_runs.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
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

const VehicleRun& vehicleRun(const std::vector<std::string>& arguments) {
  static std::map<std::vector<std::string>, VehicleRun> done;
  if (const auto it = done.find(arguments); it != done.end()) return it->second;
  VehicleRun run;
  run.folder = scratchFolder() / ("run-" + std::to_string(done.size()));
  std::string command = quoted(VEHICLE_SIM) + " --no-progress --no-plots --output-dir " + quoted(run.folder.string());
  for (const std::string& a : arguments) command += " " + quoted(a);
  command += " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return done[arguments] = run;
}

fs::path vehicleSystemWith(const std::string& name, const std::string& from, const std::string& to) {
  const fs::path folder = scratchFolder() / name;
  fs::copy(VEHICLE_SYSTEM_FOLDER, folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const fs::path ssd = folder / "SystemStructure.ssd";
  std::ostringstream text;
  text << std::ifstream(ssd).rdbuf();
  std::string s = text.str();
  const std::size_t at = s.find(from);
  if (at == std::string::npos) throw std::runtime_error("no '" + from + "' in the vehicle system");
  s.replace(at, from.size(), to);
  std::ofstream(ssd, std::ios::trunc) << s;
  return folder;
}

}  // namespace report_test
