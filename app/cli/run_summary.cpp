#include "app/cli/run_summary.h"

#include "app/summary_conventions.h"
#include "engine/error.h"

namespace master::cli {

nlohmann::ordered_json summaryJson(const RunSummary& s, const nlohmann::json& extra) {
  namespace keys = conventions::summary;
  nlohmann::ordered_json j{{keys::exitCode, s.exitCode},
                           {keys::status, s.status},
                           {keys::message, s.message},
                           {"system", s.system},
                           {"stopTime", s.stopTime},
                           {"threads", s.threads},
                           {keys::realTimeFactor, s.realTimeFactor},
                           {"results", s.results},
                           {"partial", s.partial}};
  if (!s.provenance.is_null()) j["provenance"] = s.provenance;
  for (auto it = extra.begin(); it != extra.end(); ++it) j[it.key()] = it.value();
  return j;
}

void writeSummaryJson(const std::filesystem::path& folder, const RunSummary& s, const nlohmann::json& extra) {
  writeTextFile(folder / conventions::summary::fileName, summaryJson(s, extra).dump(2) + "\n");
}

}  // namespace master::cli
