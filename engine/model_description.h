// What the master reads from a unit's modelDescription.xml: the identity (model name,
// identifier, GUID), the default fixed step and every scalar variable with its name, type,
// causality, value reference, unit, start value, declared range and the outputs' direct
// dependencies on inputs, and the unit definitions. Nothing else of a unit is known to the master.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/value_transform.h"

namespace master {

enum class VariableType { real, integer, boolean, string, enumeration };
enum class Causality { parameter, calculatedParameter, input, output, local, independent };

const char* typeName(VariableType type);          // "Real", "Integer", ...
const char* causalityName(Causality causality);  // "parameter", "input", ...
// The type of an element name such as "Real"; false for any other name.
bool parseTypeName(std::string_view name, VariableType& type);

struct ModelVariable {
  std::string name;
  uint32_t valueReference = 0;
  std::string variability;  // as written; "continuous" when absent
  VariableType type = VariableType::real;
  Causality causality = Causality::local;
  std::string unit;                  // empty when the description gives none
  std::string description;
  std::optional<std::string> start;  // the start attribute as written
  std::optional<double> min, max;    // declared range of a Real or Integer
  // For an output: the indices (into ModelDescription::variables) of the inputs it depends on
  // directly, as the model structure declares them (all inputs when it names none).
  std::vector<std::size_t> directInputs;
};

class ModelDescription {
 public:
  std::string fmiVersion;
  std::string modelName;
  std::string guid;
  std::string modelIdentifier;  // of the CoSimulation element
  double defaultStepSize = 0.0;  // DefaultExperiment stepSize; 0.0 when absent
  UnitTable units;               // <UnitDefinitions>
  std::vector<ModelVariable> variables;

  // The variable of that name, or nullptr.
  const ModelVariable* find(std::string_view name) const;
  // Rebuilds the name index after `variables` was filled; returns the first name that occurs
  // twice, or nullptr.
  const std::string* index();

 private:
  std::unordered_map<std::string, std::size_t> byName_;
};

// Parses the text of a model description; `source` names it in error messages.
ModelDescription parseModelDescription(std::string_view xml, const std::string& source);
ModelDescription readModelDescription(const std::filesystem::path& file);

}  // namespace master
