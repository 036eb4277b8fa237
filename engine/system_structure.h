// The coupled system as an SSP 1.0 system structure file (.ssd) describes it: the components
// with the .fmu each comes from, the connectors of the system itself, the connections by
// variable name with their transformations, the parameter values bound at every level (inline
// or in .ssv files named by `source`), the unit definitions and the default experiment.
//
// Systems nested in the system are flattened here: a component of a nested system `B` is named
// `B.C`, a connection through a connector of `B` joins what lies on either side of it, and a
// value bound at `B` to `C.p` binds `B.C.p`. Reading checks the file's own structure and
// resolves the files it names through the package; resolveCoupling (coupling.h) checks it
// against the units' model descriptions. What the engine does not implement is refused with
// file and line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model_description.h"
#include "engine/parameter_values.h"
#include "engine/value_transform.h"

namespace master {

struct SsdConnector {
  std::string name;  // of a nested system's connector: "B.name"
  std::string kind;  // input, output, parameter, calculatedParameter or inout
  bool typeGiven = false;
  VariableType type = VariableType::real;
  std::string unit;  // of a Real, as declared; empty when none is
  int line = 0;
};

struct SsdComponent {
  std::string name;                   // within a nested system `B`: "B.name"
  std::string source;                 // the .fmu as the file names it
  std::filesystem::path fmuFile;      // resolved through the package (empty without one)
  std::vector<SsdConnector> connectors;
  int line = 0;
};

// An empty element names the (outermost) system itself. A connection through connectors of
// nested systems is given from its first start to its last end, with the line of its last part.
struct SsdConnection {
  std::string startElement, startConnector;
  std::string endElement, endConnector;
  // The connection's LinearTransformation or Integer/BooleanMappingTransformation (the unit
  // conversion is added when the coupling is resolved).
  ValueTransform transform;
  std::optional<VariableType> mapping;  // the type a mapping transformation is written for
  bool suppressUnitConversion = false;
  int line = 0;
};

struct SystemStructure {
  std::string source;  // the file, for messages
  std::string name;
  // Of the system, and of nested systems where nothing inside the file feeds them.
  std::vector<SsdConnector> connectors;
  std::vector<SsdComponent> components;
  std::vector<SsdConnection> connections;
  // Every bound value, named from the outermost system ("tank.volume", "volume"
  // for a parameter connector of the system), in the order of precedence: the innermost level's
  // first, the outermost system's last; within one level in the order of the bindings. A later
  // value for the same name wins.
  std::vector<ParameterValue> bindings;
  UnitTable units;  // <Units> of the file
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
