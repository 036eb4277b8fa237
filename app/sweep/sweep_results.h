// The collected results of a sweep: each case's figures read back from its summary.json,
// sweep.csv with one row per case (its inputs, exit status and the report's figures, also per
// phase), and plots of each figure against each swept numeric input.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/sweep/case_status.h"
#include "app/sweep/sweep_plan.h"

namespace master::sweep {

struct CaseResult {
  CaseState state;
  std::vector<std::string> figures;        // one per figureNames(), empty where absent
  std::vector<std::pair<std::string, std::vector<std::string>>> phases;  // name, phaseFigureNames()
};

const std::vector<std::string>& figureNames();
const std::vector<std::string>& phaseFigureNames();

CaseResult readResult(const Plan& plan, const PlannedCase& c);

struct Collected {
  StatusCounts counts;
  std::vector<std::string> failures;  // a line for each case that ran and is not ok
  std::filesystem::path csv;
  std::vector<std::filesystem::path> plots;
};

// Writes sweep.csv and the plots into the sweep's folder.
Collected collect(const Plan& plan);

}  // namespace master::sweep
