#include "app/report/unit_parameters.h"

#include <charconv>
#include <stdexcept>

#include "runtime/variable_def.h"

namespace report {

namespace {

const std::string& componentOf(const VehicleSignals& s, UnitModel unit) {
  return unit == UnitModel::chassis      ? s.chassisComponent
         : unit == UnitModel::powertrain ? s.powertrainComponent
                                         : s.electricalComponent;
}

// The value of `component.variable` in the run: bound, else the start value; false when the run
// has neither.
bool runValue(const VehicleSignals& s, const std::string& component, const std::string& variable, double& value) {
  if (s.boundValue(component, variable, value)) return true;
  if (s.record == nullptr) return false;
  const auto start = s.record->startValues.find(component + "." + variable);
  if (start == s.record->startValues.end()) return false;
  const std::string& text = start->second;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

[[noreturn]] void missing(const std::string& component, const std::string& variable) {
  throw std::runtime_error("the vehicle report needs the Real parameter '" + component + "." + variable +
                           "': the run neither bound it nor has its start value from the unit's model description");
}

}  // namespace

double unitParameter(const VehicleSignals& s, UnitModel unit, const char* name, int element) {
  const std::string& component = componentOf(s, unit);
  double value = 0.0;
  if (element == 0 && runValue(s, component, name, value)) return value;
  const std::string item = runtime::arrayElementName(name, static_cast<uint32_t>(element) + 1);
  if (!runValue(s, component, item, value)) missing(component, element == 0 ? name : item);
  return value;
}

std::vector<double> unitArray(const VehicleSignals& s, UnitModel unit, const char* name) {
  const std::string& component = componentOf(s, unit);
  std::vector<double> values;
  double value = 0.0;
  while (runValue(s, component, runtime::arrayElementName(name, static_cast<uint32_t>(values.size()) + 1), value)) {
    values.push_back(value);
  }
  if (values.empty()) missing(component, runtime::arrayElementName(name, 1));
  return values;
}

}  // namespace report
