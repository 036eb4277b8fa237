// Whole-vehicle runs for the report's tests: vehicle-sim as a user runs it, once per test
// program and arguments, its results kept in a temporary folder for the program's life.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace report_test {

struct VehicleRun {
  int exitCode = -1;
  std::string output;  // what vehicle-sim printed, standard output and error
  std::filesystem::path folder;
  std::filesystem::path results() const { return folder / "results.csv"; }
};

// The temporary folder of this test program, for the files a run needs.
const std::filesystem::path& scratchFolder();

// vehicle-sim run with `arguments` (without plots or progress) into a folder of its own.
const VehicleRun& vehicleRun(const std::vector<std::string>& arguments);

// A copy of the built vehicle system's folder in the scratch folder as `name`, with the text
// `from` of its SystemStructure.ssd replaced by `to`; throws when `from` is not there.
std::filesystem::path vehicleSystemWith(const std::string& name, const std::string& from, const std::string& to);

}  // namespace report_test
