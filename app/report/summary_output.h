// The vehicle part of the run summary: the text for the terminal and summary.txt, and the
// vehicle fields of summary.json (the keys the sweep reads are app/summary_conventions.h's).
#pragma once

#include <string>

#include "app/report/vehicle_figures.h"

namespace report {

std::string summaryText(const VehicleFigures& figures, const ReportSettings& settings);
std::string summaryJson(const VehicleFigures& figures, const ReportSettings& settings);

}  // namespace report
