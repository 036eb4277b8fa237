// The report's plots, drawn by gnuplot into SVG files beside the report (the script and its
// data stay there, so a user can edit and redraw them): speed with the tolerance band, the
// engine's operating points over its maps with brake-specific consumption, fuel rate and
// cumulative consumption, consumption per phase, state of charge and bus voltage, pedals, gear
// and lock-up. Every axis carries its unit.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/report/vehicle_figures.h"

namespace report {

// gnuplot could not be run or failed on the script: the report can still go without its plots.
// Any other failure (a file that cannot be written) is an error of the run.
class PlotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Plot {
  std::string title;
  std::filesystem::path file;
};

// Throws PlotError when gnuplot cannot be run or fails, MasterError when the script cannot be
// written.
std::vector<Plot> drawPlots(const VehicleSignals& signals, const VehicleFigures& figures,
                            const ReportSettings& settings, const std::filesystem::path& outDir);

}  // namespace report
