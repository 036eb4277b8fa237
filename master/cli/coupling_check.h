// The engine's coupling error estimate in the run summary, and its health check: a run whose
// energy residual on a power bond exceeds a set share of the energy that crossed it was stepped
// too coarsely for its figures to be trusted (exit code 2).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "master/run_record.h"

namespace master::cli {

// Documented default: 0.1 % of the energy that crossed. Measured on WLTC class 3b: the default
// stepping 0.004 % (driveshaft) and 0.02 % (alternator), every component at 0.01 s 0.2 %, at
// 0.1 s 1.8 % (BENCHMARKS.md, the convergence table).
constexpr double defaultCouplingErrorLimit = 0.001;

// One line per power bond, for the summary text; empty without bonds.
std::string couplingText(const RunRecord& record, double limit);
nlohmann::json couplingJson(const RunRecord& record, double limit);
// The health check's message naming the worst bond beyond `limit`, or empty.
std::string couplingCheck(const RunRecord& record, double limit);

}  // namespace master::cli
