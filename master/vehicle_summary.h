// The vehicle's summary and plots drawn from a run record, for a system that has the signals
// (found by unit and variable name): the drive cycle's target, the shift controller's gear, the
// chassis speed, the powertrain's engine speed and fuel, the electrical state of charge and bus
// voltage. A thin layer over summary.h and plots.h until the vehicle report replaces them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "master/run_record.h"

namespace master {

bool vehicleSummaryApplies(const RunRecord& record);

struct VehicleSummaryFiles {
  std::string text;  // the summary as written to summary.txt
  std::vector<std::filesystem::path> plots;
};

// Writes summary.txt into `outDir`, and the plots from `csv` (the results file whose columns are
// `time` and then the record's variables) when `plots` is set.
VehicleSummaryFiles writeVehicleSummary(const RunRecord& record, const std::filesystem::path& outDir,
                                        const std::filesystem::path& csv, bool plots, std::size_t unitCount);

}  // namespace master
