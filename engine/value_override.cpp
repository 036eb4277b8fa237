#include "engine/value_override.h"

#include "engine/error.h"
#include "engine/parameter_values.h"

namespace master {

std::vector<ValueOverride> readValueOverrides(const std::filesystem::path& file) {
  std::vector<ValueOverride> out;
  for (const ParameterValue& p : readParameterValuesFile(file)) {
    const std::size_t dot = p.name.find('.');
    if (dot == 0 || (dot != std::string::npos && dot + 1 == p.name.size())) {
      throw MasterError(p.where() + "parameter '" + p.name + "': name it component.variable, or a parameter of the system");
    }
    if (dot == std::string::npos) {
      out.push_back({"", p.name, p.text, p.line, p.file, p.type});
    } else {
      out.push_back({p.name.substr(0, dot), p.name.substr(dot + 1), p.text, p.line, p.file, p.type});
    }
  }
  return out;
}

}  // namespace master
