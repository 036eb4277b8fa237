// Whole-vehicle runs for the report's tests: vehicle-sim on a standard cycle from the shared
// cycles folder, run once per test program and kept in a temporary folder.
#pragma once

#include <filesystem>
#include <string>

namespace report_test {

// The results file of a run of `cycleFile` at communication step `step`, or empty when the cycle
// is not there (VEHICLE_SHARED_DIR). Throws when vehicle-sim fails.
std::filesystem::path vehicleRun(const std::string& cycleFile, double step);
std::string skipReason(const std::string& cycleFile);

}  // namespace report_test
