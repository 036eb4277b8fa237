// PNG plots of a results file through gnuplot: target and actual speed, engine speed and gear,
// the pedals, state of charge and bus voltage, and the fuel used. The script is written next
// to the plots, so a user can edit and rerun it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace master {

// 1-based columns of the results file.
struct PlotColumns {
  int time, target, vehicleSpeed, engineSpeed, gear, accelerator, brake, stateOfCharge, busVoltage, fuel;
};

// The gnuplot script that draws the plots into `outDir`; `rows` thins dense files.
std::string plotScript(const std::filesystem::path& csv, const std::filesystem::path& outDir,
                       const PlotColumns& columns, long rows, int gearCount, const std::string& fuelUnit);

// Writes the script as plots.gp in `outDir` and runs gnuplot on it; returns the PNG files.
// Throws MasterError when gnuplot cannot be run or fails.
std::vector<std::filesystem::path> writePlots(const std::filesystem::path& csv,
                                              const std::filesystem::path& outDir,
                                              const PlotColumns& columns, long rows, int gearCount,
                                              const std::string& fuelUnit);

}  // namespace master
