// How a case of a sweep stands, from what it left in the sweep's folder: its summary.json (the
// run's own status) and its exit file (the exit code the sweep recorded when the run ended).
// Only an ok case counts as done: a rerun runs every other one again.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "app/sweep/sweep_plan.h"

namespace master::sweep {

enum class CaseStatus { ok, healthCheckFailed, error, interrupted, notRun };
constexpr std::size_t caseStatusCount = 5;

// "ok", "health-check-failed", "error", "interrupted", "not-run": sweep.csv's status column.
const char* statusName(CaseStatus status);
// "ok", "health check failed", ...: the counts' words.
const char* statusWords(CaseStatus status);

// The status an exit code of a run stands for (0 ok, 2 health check failed, 130 or a stop
// signal interrupted, anything else an error).
CaseStatus statusOfExitCode(int code);

struct CaseState {
  CaseStatus status = CaseStatus::notRun;
  std::string exitCode;  // as recorded or as the summary says; empty when the case never ended
  std::string message;   // the summary's message, else the log's last line
  bool hasSummary = false;
};

// The latest attempt decides: an exit file whose code differs from the summary's means the run
// that wrote the summary was followed by one that ended without replacing it (a run that fails
// leaves the folder as it was).
// `summary` is the case's parsed summary.json, or null where it has none (or none that parses).
CaseState caseState(const Plan& plan, const PlannedCase& c, const nlohmann::json* summary);
// Reads the summary too; null when the file is absent or not JSON.
CaseState readCaseState(const Plan& plan, const PlannedCase& c);
bool readSummary(const std::filesystem::path& file, nlohmann::json& summary);
// The run writes its folder whole or not at all, so an ok summary that no later attempt
// contradicts means the case is done.
inline bool caseDone(const Plan& plan, const PlannedCase& c) { return readCaseState(plan, c).status == CaseStatus::ok; }

struct StatusCounts {
  std::array<std::size_t, caseStatusCount> count{};
  std::size_t& operator[](CaseStatus s) { return count[static_cast<std::size_t>(s)]; }
  std::size_t operator[](CaseStatus s) const { return count[static_cast<std::size_t>(s)]; }
  // 0 every case ok; 2 the others only failed a health check; 1 otherwise.
  int exitCode() const;
  // "3 ok, 1 health check failed, 1 error, 0 interrupted, 0 not run"
  std::string text() const;
};

}  // namespace master::sweep
