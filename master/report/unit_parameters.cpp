#include "master/report/unit_parameters.h"

#include <cstring>
#include <stdexcept>

#include "models/chassis/chassis_model.h"
#include "models/electrical/electrical_model.h"
#include "models/powertrain/powertrain_model.h"

namespace report {

namespace {

struct Table {
  std::span<const runtime::VariableDef> variables;
  const unsigned char* parameters;
};

Table tableOf(UnitModel unit) {
  switch (unit) {
    case UnitModel::chassis:
      return {chassis::Model::variables(),
              reinterpret_cast<const unsigned char*>(&chassis::Model::defaultParameters())};
    case UnitModel::powertrain:
      return {powertrain::Model::variables(),
              reinterpret_cast<const unsigned char*>(&powertrain::Model::defaultParameters())};
    case UnitModel::electrical:
      break;
  }
  return {electrical::Model::variables(),
          reinterpret_cast<const unsigned char*>(&electrical::Model::defaultParameters())};
}

const std::string& componentOf(const VehicleSignals& s, UnitModel unit) {
  return unit == UnitModel::chassis      ? s.chassisComponent
         : unit == UnitModel::powertrain ? s.powertrainComponent
                                         : s.electricalComponent;
}

// The parameter's definition and its element count (the definitions of some arrays list one
// element each).
const runtime::VariableDef* definition(const Table& t, const char* name, std::size_t& elements) {
  const runtime::VariableDef* first = nullptr;
  elements = 0;
  for (const runtime::VariableDef& d : t.variables) {
    if (d.causality != runtime::Causality::parameter || std::strcmp(d.name, name) != 0) continue;
    if (first == nullptr) first = &d;
    elements += d.count;
  }
  if (first == nullptr || first->dataType != 0) {
    throw std::logic_error(std::string("the vehicle report reads a unit parameter that is no Real: ") + name);
  }
  return first;
}

double elementOf(const VehicleSignals& s, UnitModel unit, const Table& t, const runtime::VariableDef& d,
                 std::size_t elements, const char* name, std::size_t e) {
  double value = 0.0;
  const std::string variable = d.firstIndex >= 0 || elements > 1
                                   ? std::string(name) + "[" + std::to_string(e + 1) + "]"
                                   : std::string(name);
  if (s.boundValue(componentOf(s, unit), variable, value)) return value;
  std::memcpy(&value, t.parameters + d.offset + e * sizeof(double), sizeof value);
  return value;
}

}  // namespace

double unitParameter(const VehicleSignals& s, UnitModel unit, const char* name, int element) {
  const Table t = tableOf(unit);
  std::size_t elements = 0;
  const runtime::VariableDef* d = definition(t, name, elements);
  return elementOf(s, unit, t, *d, elements, name, static_cast<std::size_t>(element));
}

std::vector<double> unitArray(const VehicleSignals& s, UnitModel unit, const char* name) {
  const Table t = tableOf(unit);
  std::size_t elements = 0;
  const runtime::VariableDef* d = definition(t, name, elements);
  std::vector<double> values;
  for (std::size_t e = 0; e < elements; ++e) values.push_back(elementOf(s, unit, t, *d, elements, name, e));
  return values;
}

}  // namespace report
