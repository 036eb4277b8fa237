// The system structure checked against the units' model descriptions and turned into value
// references: who feeds whom, the values bound to each component, and the inputs left open.
// Every name is looked up here, once; stepping works on value references only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/model_description.h"
#include "engine/parameter_values.h"
#include "engine/system_structure.h"
#include "engine/value_override.h"
#include "engine/value_transform.h"

namespace master {

struct VariableRef {
  std::size_t component = 0;
  const ModelVariable* variable = nullptr;
};

struct CouplingPlan {
  // A component output feeding a component input of the same type.
  struct Link {
    VariableRef from, to;
    ValueTransform transform;  // the unit conversion and the connection's transformation
  };
  // A system input connector and the component inputs it feeds. Nothing outside a closed
  // system supplies it, so it holds 0 (with a warning at load).
  struct SystemInput {
    std::string name;
    VariableType type = VariableType::real;
    std::vector<VariableRef> sinks;
  };
  // A system output connector: an alias of the component output feeding it.
  struct SystemOutput {
    std::string name;
    VariableRef source;
  };
  // A parameter connector of the system: the value bound to it goes to every parameter it is
  // connected to.
  struct SystemParameter {
    std::string name;
    int line = 0;
    std::vector<std::pair<VariableRef, ValueTransform>> sinks;
    bool bound = false;
  };
  struct Binding {
    VariableRef target;
    ParameterValue value;  // as the unit takes it: converted to the variable's unit
  };

  std::vector<Link> links;
  std::vector<SystemInput> systemInputs;
  std::vector<SystemOutput> systemOutputs;
  std::vector<SystemParameter> systemParameters;
  // One per variable: the value that won, the system's bindings by their precedence, then the
  // overrides, in that order.
  std::vector<Binding> bindings;
  std::vector<VariableRef> openInputs;   // inputs neither connected nor bound

  const SystemInput* findInput(const std::string& name) const;
  const SystemOutput* findOutput(const std::string& name) const;
};

// `descriptions[i]` belongs to `system.components[i]`. Throws MasterError naming the file, line,
// component and variable of the first problem: an unknown component or variable, a connection
// that does not run from an output to an input, incompatible types, an input fed twice, a value
// bound to a variable that cannot take one or outside its declared range.
CouplingPlan resolveCoupling(const SystemStructure& system, const std::vector<const ModelDescription*>& descriptions,
                             const std::vector<ValueOverride>& overrides = {});

}  // namespace master
