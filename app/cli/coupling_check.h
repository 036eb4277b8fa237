// The engine's coupling error estimate in the run summary, and its health check: a run whose
// energy residual on a power bond exceeds a set share of the energy that crossed it was stepped
// too coarsely for its figures to be trusted (exit code 2).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "engine/run_record.h"

namespace master::cli {

// Documented default: 0.5 % of the energy that crossed. Short runs on steep traces (a few
// seconds from standstill) give the default stepping up to 0.3 %, so a tighter limit fails sound
// runs; 0.5 % still fails a 0.1 s step. Measured over the first 300 s of WLTC
// class 3b (driveshaft, alternator): the default stepping 0.084 % and 0.055 %, every component at
// 0.0025 s 0.079 % and 0.013 %, every component at 0.01 s with feedthrough (the former default)
// 0.35 % and 0.057 %, the default at 0.05 s 0.16 % and 0.40 %, at 0.1 s 0.33 % and 1.26 %.
constexpr double defaultCouplingErrorLimit = 0.005;

// One line per power bond, for the summary text; empty without bonds.
std::string couplingText(const RunRecord& record, double limit);
nlohmann::json couplingJson(const RunRecord& record, double limit);
// The health check's message naming the worst bond beyond `limit`, or empty.
std::string couplingCheck(const RunRecord& record, double limit);

}  // namespace master::cli
