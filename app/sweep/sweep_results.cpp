#include "app/sweep/sweep_results.h"

#include <cstdlib>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "app/summary_conventions.h"
#include "app/sweep/case_runner.h"
#include "app/child_process.h"
#include "app/sweep/sweep_plots.h"
#include "engine/error.h"

namespace master::sweep {

namespace fs = std::filesystem;
using nlohmann::json;
namespace keys = conventions::summary;

namespace {

// A number in its shortest exact form, a Boolean as true/false, text as it is.
std::string text(const json& value) {
  if (value.is_number_integer()) return std::to_string(value.get<long long>());
  if (value.is_number()) return numberText(value.get<double>());
  if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
  if (value.is_string()) return value.get<std::string>();
  return {};
}

// The value at a path of keys ("cycleFollowing/excursions"), or empty.
std::string field(const json& root, const std::string& path) {
  const json* node = &root;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    const std::string key = path.substr(start, slash - start);
    if (!node->is_object() || !node->contains(key)) return {};
    node = &(*node)[key];
    if (slash == std::string::npos) return text(*node);
    start = slash + 1;
  }
}

std::string csvField(const std::string& value) {
  if (value.find_first_of(",\"\n\r") == std::string::npos) return value;
  std::string quoted = "\"";
  for (const char c : value) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

}  // namespace

const std::vector<std::string>& figureNames() {
  static const std::string following = std::string(keys::cycleFollowing) + "/";
  static const std::vector<std::string> names{
      keys::fuelLitresPer100Km, keys::co2GramsPerKm, keys::fuelGrams, keys::distanceKm, keys::cycleDistanceKm,
      following + keys::excursions, following + keys::excursionSeconds, following + keys::worstKmh,
      following + keys::passed, keys::realTimeFactor};
  return names;
}

const std::vector<std::string>& phaseFigureNames() {
  static const std::vector<std::string> names{keys::fuelLitresPer100Km, keys::co2GramsPerKm, keys::distanceKm,
                                              keys::fuelGrams};
  return names;
}

CaseResult readResult(const Plan& plan, const PlannedCase& c) {
  CaseResult r;
  r.figures.resize(figureNames().size());
  json root;
  const bool found = readSummary(plan.summaryFile(c), root);
  r.state = caseState(plan, c, found ? &root : nullptr);
  if (!r.state.hasSummary) return r;
  for (std::size_t i = 0; i < figureNames().size(); ++i) r.figures[i] = field(root, figureNames()[i]);
  if (root.contains(keys::phases) && root[keys::phases].is_array()) {
    for (const json& phase : root[keys::phases]) {
      std::vector<std::string> values;
      for (const std::string& name : phaseFigureNames()) values.push_back(field(phase, name));
      r.phases.emplace_back(field(phase, keys::phaseName), std::move(values));
    }
  }
  return r;
}

Collected collect(const Plan& plan) {
  Collected collected;
  std::vector<CaseResult> results;
  std::vector<std::string> phases;  // every phase name, in the order first seen
  for (const PlannedCase& c : plan.cases) {
    results.push_back(readResult(plan, c));
    const CaseResult& r = results.back();
    ++collected.counts[r.state.status];
    if (r.state.status != CaseStatus::ok && r.state.status != CaseStatus::notRun) {
      collected.failures.push_back(failureLine(plan, c, r.state));
    }
    for (const auto& [name, values] : r.phases) {
      if (std::find(phases.begin(), phases.end(), name) == phases.end()) phases.push_back(name);
    }
  }

  std::vector<std::string> header{"case", "folder"};
  header.insert(header.end(), plan.inputNames.begin(), plan.inputNames.end());
  header.insert(header.end(), {"status", "exitCode"});
  for (const std::string& f : figureNames()) {
    std::string column = f;
    if (const auto slash = column.find('/'); slash != std::string::npos) column[slash] = '.';
    header.push_back(column);
  }
  for (const std::string& phase : phases) {
    for (const std::string& f : phaseFigureNames()) header.push_back(phase + "." + f);
  }
  header.push_back("message");

  collected.csv = plan.dir / "sweep.csv";
  const fs::path temporary = plan.dir / "sweep.csv.tmp";
  std::vector<std::vector<std::string>> table;
  {
    std::ofstream out(temporary, std::ios::binary);
    auto row = [&](const std::vector<std::string>& fields) {
      for (std::size_t i = 0; i < fields.size(); ++i) out << (i ? "," : "") << csvField(fields[i]);
      out << '\n';
    };
    row(header);
    for (std::size_t k = 0; k < plan.cases.size(); ++k) {
      const PlannedCase& c = plan.cases[k];
      const CaseResult& r = results[k];
      std::vector<std::string> fields{std::to_string(c.index), (fs::path("cases") / c.id).string()};
      fields.insert(fields.end(), c.values.begin(), c.values.end());
      fields.insert(fields.end(), {statusName(r.state.status), r.state.exitCode});
      fields.insert(fields.end(), r.figures.begin(), r.figures.end());
      for (const std::string& phase : phases) {
        const auto it = std::find_if(r.phases.begin(), r.phases.end(), [&](const auto& p) { return p.first == phase; });
        for (std::size_t f = 0; f < phaseFigureNames().size(); ++f) {
          fields.push_back(it == r.phases.end() ? std::string() : it->second[f]);
        }
      }
      fields.push_back(r.state.message);
      row(fields);
      table.push_back(std::move(fields));
    }
    if (!out) throw MasterError("cannot write '" + temporary.string() + "'");
  }
  fs::rename(temporary, collected.csv);
  collected.plots = writeSweepPlots(plan, collected.csv, header, table);
  return collected;
}

}  // namespace master::sweep
