// A run record read back from a results file of vehicle-sim, for the report's tests: columns
// "component.variable" of the system's components, mapped to the units they instantiate, and
// the master's own columns of a system without drive-cycle and shift units (targetSpeedKmh,
// gear, gearRatio, lockupCommand) mapped to those units. A cycle's phase, when the results have
// none (or only zeros, from a cycle file without phases), is derived from the phase boundaries
// given.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "master/run_record.h"

namespace report_test {

inline master::RunRecord loadRecord(const std::filesystem::path& csv, const std::vector<double>& phaseStarts = {}) {
  static const std::map<std::string, std::string> models = {
      {"chassis", "TESSIK"}, {"powertrain", "KADMIR"}, {"electrical", "ZORVEL"}, {"driver", "Driver"},
      {"cycle", "DriveCycle"}, {"shift", "ShiftController"}};
  static const std::map<std::string, std::string> masterColumns = {{"targetSpeedKmh", "cycle"},
                                                                   {"gear", "shift"},
                                                                   {"gearRatio", "shift"},
                                                                   {"lockupCommand", "shift"}};
  std::ifstream in(csv);
  if (!in) throw std::runtime_error("cannot read " + csv.string());
  master::RunRecord r;
  r.systemFile = csv;
  r.systemName = "vehicle";
  std::string line, field;
  std::getline(in, line);
  std::istringstream header(line);
  std::vector<int> target;  // -1: time, else the column of the record
  while (std::getline(header, field, ',')) {
    if (field == "time") {
      target.push_back(-1);
      continue;
    }
    std::string component, name;
    if (const auto m = masterColumns.find(field); m != masterColumns.end()) {
      component = m->second, name = field;
    } else {
      const auto dot = field.find('.');
      component = field.substr(0, dot), name = field.substr(dot + 1);
    }
    const auto model = models.find(component);
    r.variables.push_back({component, model == models.end() ? component : model->second, name, "", ""});
    target.push_back(static_cast<int>(r.variables.size()) - 1);
  }
  r.columns.resize(r.variables.size());
  while (std::getline(in, line)) {
    const char* p = line.c_str();
    for (int t : target) {
      char* end = nullptr;
      const double v = std::strtod(p, &end);
      (t < 0 ? r.time : r.columns[static_cast<std::size_t>(t)]).push_back(v);
      p = *end == ',' ? end + 1 : end;
    }
  }
  if (r.time.size() > 1) r.communicationStep = r.time[1] - r.time[0];
  // A cycle file without phases gives a phase column of zeros: the boundaries given replace it.
  std::size_t column = r.find("DriveCycle", "phase");
  if (!phaseStarts.empty() && column != master::RunRecord::npos) {
    bool none = true;
    for (double p : r.columns[column]) none = none && p == 0.0;
    if (none) r.columns[column].clear();
    else column = master::RunRecord::npos - 1;  // the unit's own phases stay
  }
  if (!phaseStarts.empty() && column != master::RunRecord::npos - 1) {
    if (column == master::RunRecord::npos) {
      r.variables.push_back({"cycle", "DriveCycle", "phase", "", ""});
      r.columns.emplace_back();
      column = r.columns.size() - 1;
    }
    auto& phase = r.columns[column];
    for (double t : r.time) {
      int p = 1;
      for (std::size_t i = 1; i < phaseStarts.size(); ++i) {
        if (t >= phaseStarts[i]) p = static_cast<int>(i) + 1;
      }
      phase.push_back(p);
    }
  }
  return r;
}

}  // namespace report_test
