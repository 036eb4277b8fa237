// A run record read back from a results file of vehicle-sim on the vehicle system, for the
// report's tests: columns "component.variable", each component mapped to the unit it
// instantiates in the vehicle, and the parameters' start values from the built units' model
// descriptions (the run's bound values are not in the results file: tests that need them set
// them).
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/model_description.h"
#include "engine/run_record.h"

namespace report_test {

inline master::RunRecord loadRecord(const std::filesystem::path& csv) {
  static const std::map<std::string, std::string> models = {
      {"chassis", "TESSIK"}, {"powertrain", "KADMIR"}, {"electrical", "ZORVEL"}, {"driver", "Driver"},
      {"cycle", "DriveCycle"}, {"shift", "ShiftController"}};
  std::ifstream in(csv);
  if (!in) throw std::runtime_error("cannot read " + csv.string());
  master::RunRecord r;
  r.systemFile = csv;
  r.systemName = "vehicle";
  std::string line, field;
  std::getline(in, line);
  std::istringstream header(line);
  std::getline(header, field, ',');  // time
  while (std::getline(header, field, ',')) {
    const auto dot = field.find('.');
    const std::string component = field.substr(0, dot);
    const auto model = models.find(component);
    r.variables.push_back({component, model == models.end() ? component : model->second, field.substr(dot + 1), "", ""});
  }
  r.columns.resize(r.variables.size());
  while (std::getline(in, line)) {
    char* p = line.data();
    r.time.push_back(std::strtod(p, &p));
    for (auto& column : r.columns) column.push_back(std::strtod(p + 1, &p));
  }
  if (r.time.size() > 1) r.communicationStep = r.time[1] - r.time[0];
  for (const auto& [component, model] : models) {
    const master::ModelDescription md =
        master::readModelDescription(std::filesystem::path(VEHICLE_FMU_DIR) / model / "modelDescription.xml");
    for (const master::ModelVariable& v : md.variables) {
      if (v.causality == master::Causality::parameter && v.start) r.startValues[component + "." + v.name] = *v.start;
    }
  }
  return r;
}

}  // namespace report_test
