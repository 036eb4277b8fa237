#include "app/sweep/step_comparison.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <optional>

#include "app/summary_conventions.h"
#include "engine/error.h"

namespace master::sweep {

namespace {

using nlohmann::json;
namespace keys = conventions::summary;

struct Row {
  std::string name;
  std::vector<std::optional<double>> values;  // one per run
  bool decides = true;                         // a headline figure, not the coupling error
};

std::optional<double> number(const json& j, const std::string& pointer) {
  const json::json_pointer p(pointer);
  if (!j.is_object() || !j.contains(p) || !j.at(p).is_number()) return std::nullopt;
  return j.at(p).get<double>();
}

// The entries of an array of objects in a summary, by a key built from each.
template <typename Key>
std::optional<double> entry(const json& j, const char* array, Key key, const std::string& name, const char* field,
                            double scale) {
  if (!j.contains(array) || !j[array].is_array()) return std::nullopt;
  for (const json& e : j[array]) {
    if (e.is_object() && key(e) == name) {
      const std::optional<double> v = number(e, std::string("/") + field);
      return v ? std::optional<double>(*v * scale) : std::nullopt;
    }
  }
  return std::nullopt;
}

// A JSON pointer to the value under these keys, one level each.
std::string pointer(std::initializer_list<const char*> path) {
  std::string out;
  for (const char* key : path) out += std::string("/") + key;
  return out;
}

std::string text(const json& e, const char* key) {
  return e.contains(key) && e[key].is_string() ? e[key].get<std::string>() : std::string();
}
std::string phaseKey(const json& e) { return text(e, keys::phaseName); }
// A bond by its effort alone: one effort drives one flow.
std::string bondKey(const json& e) { return text(e, keys::bondEffort); }

// Every key of an array over all runs, in the order first seen from the reference on.
template <typename Key>
std::vector<std::string> keysOf(const std::vector<json>& summaries, const char* array, Key key) {
  std::vector<std::string> out;
  for (std::size_t k = summaries.size(); k-- > 0;) {
    const json& j = summaries[k];
    if (!j.contains(array) || !j[array].is_array()) continue;
    for (const json& e : j[array]) {
      if (!e.is_object()) continue;
      const std::string name = key(e);
      if (!name.empty() && std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
    }
  }
  return out;
}

std::vector<Row> rows(const std::vector<json>& s) {
  std::vector<Row> out;
  auto add = [&](const std::string& name, bool decides, auto read) {
    Row r{name, {}, decides};
    for (const json& j : s) r.values.push_back(read(j));
    if (std::any_of(r.values.begin(), r.values.end(), [](const auto& v) { return v.has_value(); })) out.push_back(r);
  };
  add("fuel (g)", true, [](const json& j) { return number(j, pointer({keys::fuelGrams})); });
  add("L/100 km", true, [](const json& j) { return number(j, pointer({keys::fuelLitresPer100Km})); });
  for (const std::string& phase : keysOf(s, keys::phases, phaseKey)) {
    add("L/100 km " + phase, true,
        [&](const json& j) { return entry(j, keys::phases, phaseKey, phase, keys::fuelLitresPer100Km, 1.0); });
  }
  add("distance (km)", true, [](const json& j) { return number(j, pointer({keys::distanceKm})); });
  add("friction brakes (kJ)", true, [](const json& j) { return number(j, pointer({keys::energy, keys::frictionBrakesKj})); });
  std::vector<json> couplings;
  for (const json& j : s) couplings.push_back(j.is_object() && j.contains(keys::couplingError) ? j[keys::couplingError] : json());
  for (const std::string& bond : keysOf(couplings, keys::bonds, bondKey)) {
    add("coupling error " + bond + " (%)", false, [&](const json& j) {
      return j.is_object() && j.contains(keys::couplingError)
                 ? entry(j[keys::couplingError], keys::bonds, bondKey, bond, keys::share, 100.0)
                                                          : std::nullopt;
    });
  }
  add("both pedals pressed (% of the run)", false, [](const json& j) {
    const std::optional<double> share = number(j, pointer({keys::bothPedals, keys::share}));
    return share ? std::optional<double>(*share * 100.0) : std::nullopt;
  });
  add("coupling error indicator (%)", false, [](const json& j) {
    const std::optional<double> indicator = number(j, pointer({keys::couplingError, keys::couplingIndicator}));
    return indicator ? std::optional<double>(*indicator * 100.0) : std::nullopt;
  });
  return out;
}

// Relative to the reference; infinite where the reference is 0 and the value is not.
double relative(double x, double reference) {
  if (x == reference) return 0.0;
  if (reference == 0.0) return std::copysign(std::numeric_limits<double>::infinity(), x);
  return (x - reference) / std::fabs(reference);
}

std::string percent(double d) {
  if (!std::isfinite(d)) return "n/a";
  char t[40];
  std::snprintf(t, sizeof t, "%+.2f %%", d * 100.0);
  return t;
}

std::string value(double v) {
  char t[40];
  std::snprintf(t, sizeof t, "%.6g", v);
  return t;
}

}  // namespace

StepComparison compareRuns(const std::vector<std::string>& columns, const std::vector<json>& summaries,
                           double tolerance, const std::string& chosen) {
  const std::vector<Row> table = rows(summaries);
  const std::size_t last = summaries.size() - 1;
  if (std::none_of(table.begin(), table.end(), [](const Row& r) { return r.decides; })) {
    throw MasterError("the runs' summaries carry none of the figures to compare (fuel, L/100 km, distance, "
                      "friction-brake energy): a step check needs a vehicle");
  }
  // The cells, then padded into columns.
  std::vector<std::vector<std::string>> cells{{""}};
  cells[0].insert(cells[0].end(), columns.begin(), columns.end());
  StepComparison out;
  double worst = 0.0;
  std::string worstName, exceeded;
  for (const Row& r : table) {
    std::vector<std::string> line{r.name};
    for (std::size_t k = 0; k < r.values.size(); ++k) {
      if (!r.values[k]) {
        line.push_back("-");
        continue;
      }
      std::string cell = value(*r.values[k]);
      if (r.decides && k < last && r.values[last]) cell += " (" + percent(relative(*r.values[k], *r.values[last])) + ")";
      line.push_back(cell);
    }
    cells.push_back(std::move(line));
    if (!r.decides) continue;
    // A figure that only one of the two runs has cannot be compared: it counts as a difference.
    const double d = r.values[0] && r.values[last] ? relative(*r.values[0], *r.values[last])
                                                   : std::numeric_limits<double>::infinity();
    if (!(std::fabs(d) <= tolerance)) {
      out.converged = false;
      exceeded += (exceeded.empty() ? "" : ", ") + r.name + " " +
                  (r.values[0] && r.values[last] ? percent(d) : std::string("present in one run only"));
    } else if (std::fabs(d) >= worst) {
      worst = std::fabs(d);
      worstName = r.name;
    }
  }
  std::vector<std::size_t> width(cells[0].size(), 0);
  for (const auto& line : cells) {
    for (std::size_t k = 0; k < line.size(); ++k) width[k] = std::max(width[k], line[k].size());
  }
  for (const auto& line : cells) {
    std::string text;
    for (std::size_t k = 0; k < line.size(); ++k) {
      text += (k ? "   " : "  ") + line[k] + (k + 1 < line.size() ? std::string(width[k] - line[k].size(), ' ') : "");
    }
    out.table += text + "\n";
  }
  char limit[40];
  std::snprintf(limit, sizeof limit, "%g %%", tolerance * 100.0);
  const std::string reference = "the finest run's (" + columns.back() + ")";
  out.verdict = out.converged ? chosen + " is converged within " + limit + ": its figures lie at most " +
                                    percent(worst).substr(1) + " (" + worstName + ") from " + reference
                              : chosen + " is NOT converged within " + limit + ": " + exceeded + " against " + reference;
  return out;
}

}  // namespace master::sweep
