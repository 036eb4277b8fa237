#include "app/sweep/case_status.h"

#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "app/child_process.h"
#include "app/summary_conventions.h"

namespace master::sweep {

namespace fs = std::filesystem;
using nlohmann::json;
namespace keys = conventions::summary;

namespace {

std::string readExitCode(const fs::path& file) {
  std::ifstream in(file);
  std::string code;
  in >> code;
  return code;
}

std::string textOf(const json& summary, const char* key) {
  const auto it = summary.find(key);
  if (it == summary.end()) return {};
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return std::to_string(it->get<long long>());
  return {};
}

CaseStatus statusOfSummary(const std::string& status) {
  if (status == keys::ok) return CaseStatus::ok;
  if (status == keys::healthCheckFailed) return CaseStatus::healthCheckFailed;
  if (status == keys::interrupted) return CaseStatus::interrupted;
  return CaseStatus::error;  // keys::error, or a status this sweep does not know
}

}  // namespace

const char* statusName(CaseStatus status) {
  switch (status) {
    case CaseStatus::ok: return "ok";
    case CaseStatus::healthCheckFailed: return "health-check-failed";
    case CaseStatus::error: return "error";
    case CaseStatus::interrupted: return "interrupted";
    case CaseStatus::notRun: return "not-run";
  }
  return "error";
}

const char* statusWords(CaseStatus status) {
  switch (status) {
    case CaseStatus::ok: return "ok";
    case CaseStatus::healthCheckFailed: return "health check failed";
    case CaseStatus::error: return "error";
    case CaseStatus::interrupted: return "interrupted";
    case CaseStatus::notRun: return "not run";
  }
  return "error";
}

CaseStatus statusOfExitCode(int code) {
  if (code == 0) return CaseStatus::ok;
  if (code == 2) return CaseStatus::healthCheckFailed;
  if (code == 130 || code == 128 + SIGINT || code == 128 + SIGTERM) return CaseStatus::interrupted;
  return CaseStatus::error;
}

bool readSummary(const fs::path& file, json& summary) {
  std::ifstream in(file);
  if (!in) return false;
  summary = json::parse(in, nullptr, false);
  return summary.is_object();
}

CaseState caseState(const Plan& plan, const PlannedCase& c, const json* summary) {
  CaseState s;
  const std::string exitCode = readExitCode(plan.exitFile(c));
  s.hasSummary = summary != nullptr && summary->contains(keys::status);
  const std::string summaryCode = s.hasSummary ? textOf(*summary, keys::exitCode) : std::string();
  if (s.hasSummary && (exitCode.empty() || exitCode == summaryCode)) {
    s.status = statusOfSummary(textOf(*summary, keys::status));
    s.exitCode = summaryCode;
    s.message = textOf(*summary, keys::message);
  } else if (!exitCode.empty()) {
    int code = 1;
    try {
      code = std::stoi(exitCode);
    } catch (const std::exception&) {
    }
    s.status = statusOfExitCode(code);
    // A run whose exit code promises results but that left none is an error all the same.
    if (s.status == CaseStatus::ok || s.status == CaseStatus::healthCheckFailed) s.status = CaseStatus::error;
    s.exitCode = exitCode;
  }
  if (s.message.empty() && s.status != CaseStatus::ok && s.status != CaseStatus::notRun) {
    s.message = lastLine(plan.logFile(c));
    if (s.message.empty()) s.message = "no output";
  }
  return s;
}

CaseState readCaseState(const Plan& plan, const PlannedCase& c) {
  json summary;
  const bool found = readSummary(plan.summaryFile(c), summary);
  return caseState(plan, c, found ? &summary : nullptr);
}

int StatusCounts::exitCode() const {
  std::size_t notOk = 0;
  for (std::size_t i = 1; i < caseStatusCount; ++i) notOk += count[i];
  if (notOk == 0) return 0;
  return notOk == (*this)[CaseStatus::healthCheckFailed] ? 2 : 1;
}

std::string StatusCounts::text() const {
  std::string text;
  for (std::size_t i = 0; i < caseStatusCount; ++i) {
    text += (i ? ", " : "") + std::to_string(count[i]) + " " + statusWords(static_cast<CaseStatus>(i));
  }
  return text;
}

}  // namespace master::sweep
