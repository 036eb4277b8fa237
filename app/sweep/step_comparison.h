// The headline figures of runs of one case at several steps, read from their summaries, side by
// side with their relative differences to the finest run (the last), and whether the first
// run's figures lie within a tolerance of the finest's. The headline figures: fuel (g), L/100 km
// overall and per phase, distance, friction-brake energy; the coupling error of each power bond,
// the time with both pedals pressed and the coupling error indicator are shown beside them but
// decide nothing (they estimate the error, they are no result).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace master::sweep {

struct StepComparison {
  std::string table;    // one line per figure, one column per run
  bool converged = true;
  std::string verdict;  // one sentence: within the tolerance or not, and by how much
};

// `columns[i]` heads the column of `summaries[i]`; the last summary is the reference.
// `chosen` names the first run in the verdict ("the step 0.01 s (multirate)").
StepComparison compareRuns(const std::vector<std::string>& columns, const std::vector<nlohmann::json>& summaries,
                           double tolerance, const std::string& chosen);

}  // namespace master::sweep
