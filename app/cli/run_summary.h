// summary.json's generic part, which every run writes whatever its system: how the run ended
// and where its results are. A report layer adds its own keys beside these.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "app/summary_conventions.h"
#include "app/text_file.h"

namespace master::cli {

struct RunSummary {
  int exitCode = 0;
  std::string status = conventions::summary::ok;  // one of the statuses of conventions::summary
  std::string message;
  std::string system;
  double stopTime = 0.0;
  unsigned threads = 1;
  double realTimeFactor = 0.0;
  std::string results;   // the results file's name in the folder, or "-"
  bool partial = false;  // the results stop before the end of the run
  nlohmann::ordered_json provenance;  // how the run was made (provenance.h)
};

// summary.json's content: the summary's keys, then those of `extra`.
nlohmann::ordered_json summaryJson(const RunSummary& summary, const nlohmann::json& extra = nlohmann::json::object());
// Writes summary.json into `folder`: the summary's keys, then those of `extra`.
void writeSummaryJson(const std::filesystem::path& folder, const RunSummary& summary,
                      const nlohmann::json& extra = nlohmann::json::object());

}  // namespace master::cli
