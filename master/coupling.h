// The system structure checked against the units' model descriptions and turned into value
// references: what the master reads from whom and writes to whom at every communication
// point. Every name is looked up here, once; stepping works on value references only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "master/model_description.h"
#include "master/system_structure.h"

namespace master {

struct VariableRef {
  std::size_t component = 0;
  const ModelVariable* variable = nullptr;
};

struct CouplingPlan {
  // A component output feeding a component input.
  struct Link {
    VariableRef from, to;
  };
  // A signal of the master (a system input connector) and the inputs it feeds.
  struct SystemInput {
    std::string name;
    std::vector<VariableRef> sinks;
  };
  // A component output that the master observes (a system output connector).
  struct SystemOutput {
    std::string name;
    VariableRef source;
  };
  struct Parameter {
    VariableRef target;
    SsdParameter value;
  };

  std::vector<Link> links;
  std::vector<SystemInput> systemInputs;
  std::vector<SystemOutput> systemOutputs;
  std::vector<Parameter> parameters;

  const SystemInput* findInput(const std::string& name) const;
  const SystemOutput* findOutput(const std::string& name) const;
};

// `descriptions[i]` belongs to `system.components[i]`. Throws MasterError naming the file, line,
// component and variable of the first problem: an unknown component or variable, a connection
// that does not run from an output to an input, a type mismatch, an input fed twice, a value
// bound to a variable that cannot take one.
CouplingPlan resolveCoupling(const SystemStructure& system,
                             const std::vector<const ModelDescription*>& descriptions);

}  // namespace master
