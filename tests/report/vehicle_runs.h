// Whole-vehicle runs for the report's tests: vehicle-sim as a user runs it, once per test
// program and arguments, its results kept in a temporary folder for the program's life.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace report_test {

// A cycle of the shared cycles folder, or empty when it is not there (VEHICLE_SHARED_DIR).
std::filesystem::path sharedCycle(const std::string& file);
std::string skipReason(const std::string& cycleFile);

// The temporary folder of this test program, for the files a run needs.
const std::filesystem::path& scratchFolder();

// The results file of vehicle-sim run with `arguments` (without plots or progress). Throws when
// vehicle-sim fails.
std::filesystem::path vehicleRun(const std::vector<std::string>& arguments);

}  // namespace report_test
