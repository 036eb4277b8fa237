// The engine's coupling error estimate in the run summary, and its health check: a run whose
// energy residual on a power bond exceeds a set share of the energy that crossed it was stepped
// too coarsely for its figures to be trusted (exit code 2).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "engine/run_record.h"

namespace master::cli {

// Documented default: 0.2 % of the energy that crossed. Over the six standard cycles at the units'
// fixed step the bonds' shares are at most 0.086 %; with the vehicle's stepping group the
// alternator bond passes 0.2 % at a step of 0.05 s on UDDS and FTP-75 and at 0.1 s on every
// cycle but HWFET, where friction-brake energy differs from the converged one by 0.3 to 0.6 %.
constexpr double defaultCouplingErrorLimit = 0.002;

// The coupling error indicator: the sum of every bond's share and of the share of the run with
// both pedals pressed (`chatterShare`, NaN when the system has no driver). Over the convergence
// table of the six standard cycles it ranks every two runs whose distance from the converged
// figures differs markedly as that distance does; neither part alone does.
double couplingIndicator(const RunRecord& record, double chatterShare);

// One line per power bond and the indicator, for the summary text; empty without bonds.
std::string couplingText(const RunRecord& record, double limit, double chatterShare);
nlohmann::json couplingJson(const RunRecord& record, double limit, double chatterShare);
// The health check's message naming the worst bond beyond `limit`, or empty.
std::string couplingCheck(const RunRecord& record, double limit);

}  // namespace master::cli
