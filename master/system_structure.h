// The coupled system as an SSP 1.0 system structure file (.ssd) describes it: the components
// with the .fmu each comes from, the connectors of the system itself (the signals the master
// supplies and the ones it observes), the connections by variable name, and the parameter
// values bound inline to each component. Reading checks the file's own structure only;
// resolveCoupling (coupling.h) checks it against the units' model descriptions.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "master/model_description.h"

namespace master {

struct SsdConnector {
  std::string name;
  std::string kind;  // input, output, parameter, calculatedParameter or inout
  bool typeGiven = false;
  VariableType type = VariableType::real;
  int line = 0;
};

// One value bound to a component variable: Real, Integer or Boolean, already parsed.
struct SsdParameter {
  std::string name;
  VariableType type = VariableType::real;
  double real = 0.0;
  int integer = 0;  // also 0/1 for a Boolean
  int line = 0;
};

struct SsdComponent {
  std::string name;
  std::string source;  // the .fmu, resolved against the folder of the units
  std::vector<SsdConnector> connectors;
  std::vector<SsdParameter> parameters;
  int line = 0;
};

// An empty element names the system itself.
struct SsdConnection {
  std::string startElement, startConnector;
  std::string endElement, endConnector;
  int line = 0;
};

struct SystemStructure {
  std::string source;  // the file, for messages
  std::string name;
  std::vector<SsdConnector> connectors;  // of the system
  std::vector<SsdComponent> components;
  std::vector<SsdConnection> connections;

  // "<file>:<line>: " for messages about an element.
  std::string where(int line) const;
};

SystemStructure parseSystemStructure(std::string_view xml, const std::string& source);
SystemStructure readSystemStructure(const std::filesystem::path& file);

}  // namespace master
