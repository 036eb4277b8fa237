// The coupled system as an SSP 1.0 system structure file (.ssd) describes it: the components
// with the .fmu each comes from, the connectors of the system itself, the connections by
// variable name, the parameter values bound to each component (inline or in .ssv files named by
// `source`), and the default experiment. Reading checks the file's own structure and resolves
// the files it names through the package; resolveCoupling (coupling.h) checks it against the
// units' model descriptions.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "master/model_description.h"
#include "master/parameter_values.h"

namespace master {

struct SsdConnector {
  std::string name;
  std::string kind;  // input, output, parameter, calculatedParameter or inout
  bool typeGiven = false;
  VariableType type = VariableType::real;
  int line = 0;
};

struct SsdComponent {
  std::string name;
  std::string source;                 // the .fmu as the file names it
  std::filesystem::path fmuFile;      // resolved through the package (empty without one)
  std::vector<SsdConnector> connectors;
  std::vector<ParameterValue> parameters;  // in binding order; a later value wins
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
  std::optional<double> startTime, stopTime;  // the DefaultExperiment's

  // "<file>:<line>: " for messages about an element.
  std::string where(int line) const;
};

class SystemPackage;

// `package` resolves the files the system names; without one, a component source is kept as
// written and a binding to a file is refused.
SystemStructure parseSystemStructure(std::string_view xml, const std::string& source,
                                     const SystemPackage* package = nullptr);
SystemStructure readSystemStructure(const SystemPackage& package);

}  // namespace master
