#include "master/coupling.h"

#include <map>
#include <tuple>

#include "master/error.h"

namespace master {

const CouplingPlan::SystemInput* CouplingPlan::findInput(const std::string& name) const {
  for (const SystemInput& s : systemInputs) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

const CouplingPlan::SystemOutput* CouplingPlan::findOutput(const std::string& name) const {
  for (const SystemOutput& s : systemOutputs) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

namespace {

class Resolver {
 public:
  Resolver(const SystemStructure& system, const std::vector<const ModelDescription*>& descriptions)
      : system_(system), descriptions_(descriptions) {}

  CouplingPlan run() {
    if (descriptions_.size() != system_.components.size()) {
      throw MasterError(system_.source + ": internal error: one model description per component expected");
    }
    checkDeclaredConnectors();
    for (const SsdConnector& c : system_.connectors) {
      if (c.typeGiven && c.type != VariableType::real) {
        throw MasterError(system_.where(c.line) + "system connector '" + c.name + "' is " +
                          typeName(c.type) + "; the master's own signals are Real");
      }
      if (c.kind == "input") plan_.systemInputs.push_back({c.name, {}});
      else if (c.kind == "output") plan_.systemOutputs.push_back({c.name, {}});
      else throw MasterError(system_.where(c.line) + "system connector '" + c.name + "' must be of kind input or output");
    }
    for (const SsdConnection& c : system_.connections) connection(c);
    for (const CouplingPlan::SystemOutput& o : plan_.systemOutputs) {
      if (o.source.variable == nullptr) {
        throw MasterError(system_.source + ": system output '" + o.name + "' is not connected to any component output");
      }
    }
    parameters();
    return std::move(plan_);
  }

 private:
  std::string label(const std::string& element, const std::string& connector) const {
    return element.empty() ? "system connector '" + connector + "'" : "'" + element + "." + connector + "'";
  }

  std::size_t component(const SsdConnection& c, const std::string& element) const {
    for (std::size_t i = 0; i < system_.components.size(); ++i) {
      if (system_.components[i].name == element) return i;
    }
    throw MasterError(system_.where(c.line) + "connection " + describe(c) + ": unknown component '" + element + "'");
  }

  const ModelVariable& variable(int line, std::size_t index, const std::string& name, const std::string& context) const {
    const ModelVariable* v = descriptions_[index]->find(name);
    if (v == nullptr) {
      const SsdComponent& comp = system_.components[index];
      throw MasterError(system_.where(line) + context + "component '" + comp.name + "' (" + comp.source +
                        ") has no variable '" + name + "'");
    }
    return *v;
  }

  std::string describe(const SsdConnection& c) const {
    auto end = [](const std::string& e, const std::string& k) { return e.empty() ? k : e + "." + k; };
    return end(c.startElement, c.startConnector) + " -> " + end(c.endElement, c.endConnector);
  }

  void checkDeclaredConnectors() const {
    for (std::size_t i = 0; i < system_.components.size(); ++i) {
      const SsdComponent& comp = system_.components[i];
      for (const SsdConnector& k : comp.connectors) {
        const ModelVariable& v = variable(k.line, i, k.name, "connector: ");
        const std::string causality = causalityName(v.causality);
        if (k.kind != causality && !(k.kind == "inout" && (v.causality == Causality::input || v.causality == Causality::output))) {
          throw MasterError(system_.where(k.line) + "connector '" + comp.name + "." + k.name + "' is declared as " +
                            k.kind + " but the unit's variable is " + causality);
        }
        if (k.typeGiven && k.type != v.type) {
          throw MasterError(system_.where(k.line) + "connector '" + comp.name + "." + k.name + "' is declared " +
                            typeName(k.type) + " but the unit's variable is " + typeName(v.type));
        }
      }
    }
  }

  void connection(const SsdConnection& c) {
    const std::string what = "connection " + describe(c) + ": ";
    if (c.startElement.empty() && c.endElement.empty()) {
      throw MasterError(system_.where(c.line) + what + "connects the system to itself");
    }
    // Start: a component output or a system input.
    VariableRef from;
    CouplingPlan::SystemInput* systemInput = nullptr;
    if (c.startElement.empty()) {
      for (CouplingPlan::SystemInput& s : plan_.systemInputs) {
        if (s.name == c.startConnector) systemInput = &s;
      }
      if (systemInput == nullptr) {
        throw MasterError(system_.where(c.line) + what + "the system has no input connector '" + c.startConnector + "'");
      }
    } else {
      from.component = component(c, c.startElement);
      from.variable = &variable(c.line, from.component, c.startConnector, what);
      if (from.variable->causality != Causality::output) {
        throw MasterError(system_.where(c.line) + what + label(c.startElement, c.startConnector) + " is " +
                          causalityName(from.variable->causality) + "; a connection must start at an output");
      }
    }
    // End: a component input or a system output.
    if (c.endElement.empty()) {
      CouplingPlan::SystemOutput* out = nullptr;
      for (CouplingPlan::SystemOutput& s : plan_.systemOutputs) {
        if (s.name == c.endConnector) out = &s;
      }
      if (out == nullptr) {
        throw MasterError(system_.where(c.line) + what + "the system has no output connector '" + c.endConnector + "'");
      }
      if (systemInput != nullptr) {
        throw MasterError(system_.where(c.line) + what + "a system input cannot feed a system output directly");
      }
      if (out->source.variable != nullptr) {
        throw MasterError(system_.where(c.line) + what + "system output '" + c.endConnector + "' is already connected");
      }
      checkReal(c, *from.variable, c.startElement, c.startConnector);
      out->source = from;
      return;
    }
    VariableRef to;
    to.component = component(c, c.endElement);
    to.variable = &variable(c.line, to.component, c.endConnector, what);
    if (to.variable->causality != Causality::input) {
      throw MasterError(system_.where(c.line) + what + label(c.endElement, c.endConnector) + " is " +
                        causalityName(to.variable->causality) + "; a connection must end at an input");
    }
    if (from.variable != nullptr && from.variable->type != to.variable->type) {
      throw MasterError(system_.where(c.line) + what + "type mismatch: " + label(c.startElement, c.startConnector) +
                        " is " + typeName(from.variable->type) + " but " + label(c.endElement, c.endConnector) +
                        " is " + typeName(to.variable->type));
    }
    checkReal(c, *to.variable, c.endElement, c.endConnector);
    const Key key = keyOf(to.component, *to.variable);
    if (!fed_.emplace(key, c.line).second) {
      throw MasterError(system_.where(c.line) + what + label(c.endElement, c.endConnector) +
                        " is already fed by the connection on line " + std::to_string(fed_[key]));
    }
    if (systemInput != nullptr) systemInput->sinks.push_back(to);
    else plan_.links.push_back({from, to});
  }

  void checkReal(const SsdConnection& c, const ModelVariable& v, const std::string& element,
                 const std::string& connector) const {
    if (v.type != VariableType::real) {
      throw MasterError(system_.where(c.line) + "connection " + describe(c) + ": " + label(element, connector) +
                        " is " + typeName(v.type) + "; only Real variables can be connected");
    }
  }

  void parameters() {
    for (std::size_t i = 0; i < system_.components.size(); ++i) {
      const SsdComponent& comp = system_.components[i];
      for (const SsdParameter& p : comp.parameters) {
        const std::string what = "parameter '" + comp.name + "." + p.name + "': ";
        const ModelVariable& v = variable(p.line, i, p.name, what);
        if (v.causality != Causality::parameter && v.causality != Causality::input) {
          throw MasterError(system_.where(p.line) + what + "the unit's variable is " + causalityName(v.causality) +
                            "; values can be bound to parameters and unconnected inputs only");
        }
        const auto fed = fed_.find(keyOf(i, v));
        if (fed != fed_.end()) {
          throw MasterError(system_.where(p.line) + what + "the input is also fed by the connection on line " +
                            std::to_string(fed->second));
        }
        if (v.type != p.type) {
          throw MasterError(system_.where(p.line) + what + "type mismatch: the value is " + typeName(p.type) +
                            " but the unit's variable is " + typeName(v.type));
        }
        plan_.parameters.push_back({{i, &v}, p});
      }
    }
  }

  const SystemStructure& system_;
  const std::vector<const ModelDescription*>& descriptions_;
  CouplingPlan plan_;
  // Inputs fed so far, with the line of the connection; value references count per type.
  using Key = std::tuple<std::size_t, VariableType, uint32_t>;
  static Key keyOf(std::size_t component, const ModelVariable& v) { return {component, v.type, v.valueReference}; }
  std::map<Key, int> fed_;
};

}  // namespace

CouplingPlan resolveCoupling(const SystemStructure& system,
                             const std::vector<const ModelDescription*>& descriptions) {
  return Resolver(system, descriptions).run();
}

}  // namespace master
