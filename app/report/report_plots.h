// The report's plots, drawn by gnuplot into SVG files beside the report (the script and its
// data stay there, so a user can edit and redraw them): speed with the tolerance band, the
// engine's operating points over its maps with brake-specific consumption, fuel rate and
// cumulative consumption, consumption per phase, state of charge and bus voltage, pedals, gear
// and lock-up. Every axis carries its unit.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/report/vehicle_figures.h"

namespace report {

struct Plot {
  std::string title;
  std::filesystem::path file;
};

// Throws std::runtime_error when gnuplot cannot be run or fails.
std::vector<Plot> drawPlots(const VehicleSignals& signals, const VehicleFigures& figures,
                            const ReportSettings& settings, const std::filesystem::path& outDir);

}  // namespace report
