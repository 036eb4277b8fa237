// Plots of a sweep (gnuplot): each figure against each swept numeric input, one series per
// cycle where the cycle is swept too. Written into plots/ with the script that draws them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/sweep/sweep_plan.h"

namespace master::sweep {

// The gnuplot script over `csv` (whose columns are `header`); empty when nothing is swept
// numerically.
// `rows` are the CSV's rows below the header; a figure no row has a number for is left out.
std::string sweepPlotScript(const Plan& plan, const std::filesystem::path& csv, const std::vector<std::string>& header,
                            const std::vector<std::vector<std::string>>& rows, std::vector<std::filesystem::path>& pngs);

// Draws the plots; throws MasterError when gnuplot fails.
std::vector<std::filesystem::path> writeSweepPlots(const Plan& plan, const std::filesystem::path& csv,
                                                   const std::vector<std::string>& header,
                                                   const std::vector<std::vector<std::string>>& rows);

}  // namespace master::sweep
