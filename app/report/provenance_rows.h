// How a run was made, as the head of summary.txt and report.html show it: one labelled line each
// (the system file and its SHA-256, the units, the cycle, the step, the values applied, the
// version, date, host and command). The command line builds the rows; the report only shows them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace report {

using ProvenanceRows = std::vector<std::pair<std::string, std::string>>;

// "Run\n  label  value\n..." with the labels in one column; empty without rows.
std::string provenanceText(const ProvenanceRows& rows);

}  // namespace report
