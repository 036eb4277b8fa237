#include "master/coupling.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
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

  CouplingPlan run(const std::vector<ValueOverride>& overrides) {
    if (descriptions_.size() != system_.components.size()) {
      throw MasterError(system_.source + ": internal error: one model description per component expected");
    }
    checkDeclaredConnectors();
    for (const SsdConnector& c : system_.connectors) {
      if (c.kind == "input") plan_.systemInputs.push_back({c.name, c.type, {}});
      else if (c.kind == "output") plan_.systemOutputs.push_back({c.name, {}});
      else throw MasterError(system_.where(c.line) + "system connector '" + c.name + "' must be of kind input or output");
    }
    for (const SsdConnection& c : system_.connections) connection(c);
    for (const CouplingPlan::SystemOutput& o : plan_.systemOutputs) {
      if (o.source.variable == nullptr) {
        throw MasterError(system_.source + ": system output '" + o.name + "' is not connected to any component output");
      }
    }
    for (std::size_t i = 0; i < system_.components.size(); ++i) {
      for (const ParameterValue& p : system_.components[i].parameters) bind(i, p);
    }
    for (const ValueOverride& o : overrides) override(o);
    for (std::size_t i = 0; i < descriptions_.size(); ++i) {
      for (const ModelVariable& v : descriptions_[i]->variables) {
        if (v.causality == Causality::input && fed_.count(keyOf(i, v)) == 0 && bound_.count(keyOf(i, v)) == 0) {
          plan_.openInputs.push_back({i, &v});
        }
      }
    }
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

  const ModelVariable& variable(const std::string& where, std::size_t index, const std::string& name) const {
    const ModelVariable* v = descriptions_[index]->find(name);
    if (v == nullptr) {
      const SsdComponent& comp = system_.components[index];
      throw MasterError(where + "component '" + comp.name + "' (" + comp.source + ") has no variable '" + name + "'");
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
        const ModelVariable& v = variable(system_.where(k.line) + "connector: ", i, k.name);
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
    const std::string what = system_.where(c.line) + "connection " + describe(c) + ": ";
    if (c.startElement.empty() && c.endElement.empty()) throw MasterError(what + "connects the system to itself");
    // Start: a component output or a system input.
    VariableRef from;
    CouplingPlan::SystemInput* systemInput = nullptr;
    VariableType fromType = VariableType::real;
    if (c.startElement.empty()) {
      for (CouplingPlan::SystemInput& s : plan_.systemInputs) {
        if (s.name == c.startConnector) systemInput = &s;
      }
      if (systemInput == nullptr) throw MasterError(what + "the system has no input connector '" + c.startConnector + "'");
      fromType = systemInput->type;
    } else {
      from.component = component(c, c.startElement);
      from.variable = &variable(what, from.component, c.startConnector);
      if (from.variable->causality != Causality::output) {
        throw MasterError(what + label(c.startElement, c.startConnector) + " is " +
                          causalityName(from.variable->causality) + "; a connection must start at an output");
      }
      fromType = from.variable->type;
    }
    exchangeable(what, fromType, label(c.startElement, c.startConnector));
    // End: a component input or a system output.
    if (c.endElement.empty()) {
      CouplingPlan::SystemOutput* out = nullptr;
      for (CouplingPlan::SystemOutput& s : plan_.systemOutputs) {
        if (s.name == c.endConnector) out = &s;
      }
      if (out == nullptr) throw MasterError(what + "the system has no output connector '" + c.endConnector + "'");
      if (systemInput != nullptr) throw MasterError(what + "a system input cannot feed a system output directly");
      if (out->source.variable != nullptr) throw MasterError(what + "system output '" + c.endConnector + "' is already connected");
      for (const SsdConnector& k : system_.connectors) {
        if (k.name == c.endConnector && k.typeGiven && k.type != fromType) incompatible(what, c, fromType, k.type);
      }
      out->source = from;
      return;
    }
    VariableRef to;
    to.component = component(c, c.endElement);
    to.variable = &variable(what, to.component, c.endConnector);
    if (to.variable->causality != Causality::input) {
      throw MasterError(what + label(c.endElement, c.endConnector) + " is " + causalityName(to.variable->causality) +
                        "; a connection must end at an input");
    }
    if (fromType != to.variable->type) incompatible(what, c, fromType, to.variable->type);
    const Key key = keyOf(to.component, *to.variable);
    if (!fed_.emplace(key, c.line).second) {
      throw MasterError(what + label(c.endElement, c.endConnector) + " is already fed by the connection on line " +
                        std::to_string(fed_[key]));
    }
    if (systemInput != nullptr) systemInput->sinks.push_back(to);
    else plan_.links.push_back({from, to});
  }

  [[noreturn]] void incompatible(const std::string& what, const SsdConnection& c, VariableType from, VariableType to) const {
    throw MasterError(what + "incompatible types: " + label(c.startElement, c.startConnector) + " is " + typeName(from) +
                      " but " + label(c.endElement, c.endConnector) + " is " + typeName(to));
  }

  static void exchangeable(const std::string& what, VariableType type, const std::string& label) {
    if (type != VariableType::real && type != VariableType::integer && type != VariableType::boolean) {
      throw MasterError(what + label + " is " + typeName(type) + "; only Real, Integer and Boolean values are exchanged");
    }
  }

  // The one check of every value bound to a variable, whatever its origin.
  void bind(std::size_t i, const ParameterValue& p) {
    const SsdComponent& comp = system_.components[i];
    const std::string what = p.where() + "value for '" + comp.name + "." + p.name + "': ";
    const ModelVariable& v = variable(what, i, p.name);
    if (v.causality != Causality::parameter && v.causality != Causality::input) {
      throw MasterError(what + "the unit's variable is " + std::string(causalityName(v.causality)) +
                        "; values can be bound to parameters and unconnected inputs only");
    }
    const auto fed = fed_.find(keyOf(i, v));
    if (fed != fed_.end()) {
      throw MasterError(what + "the input is also fed by the connection on line " + std::to_string(fed->second));
    }
    if (v.type != p.type) {
      throw MasterError(what + "type mismatch: the value is " + typeName(p.type) + " but the unit's variable is " +
                        typeName(v.type));
    }
    if (v.type == VariableType::real || v.type == VariableType::integer) {
      const double x = v.type == VariableType::real ? p.real : static_cast<double>(p.integer);
      if (std::isnan(x) || (v.min && x < *v.min) || (v.max && x > *v.max)) {
        std::string range = "[" + (v.min ? trimmed(*v.min) : std::string("-inf")) + ", " +
                            (v.max ? trimmed(*v.max) : std::string("inf")) + "]";
        throw MasterError(what + p.text + " is outside the declared range " + range);
      }
    }
    bound_.insert(keyOf(i, v));
    plan_.bindings.push_back({{i, &v}, p});
  }

  static std::string trimmed(double x) {
    char text[32] = "";
    for (int precision = 1; precision <= 17; ++precision) {
      std::snprintf(text, sizeof text, "%.*g", precision, x);
      if (std::strtod(text, nullptr) == x) break;
    }
    return text;
  }

  void override(const ValueOverride& o) {
    std::size_t index = system_.components.size();
    for (std::size_t i = 0; i < system_.components.size(); ++i) {
      if (system_.components[i].name == o.component) index = i;
    }
    const std::string where = o.line > 0 ? o.origin + ":" + std::to_string(o.line) + ": " : o.origin + ": ";
    if (index == system_.components.size()) {
      throw MasterError(where + "value for '" + o.component + "." + o.variable + "': the system has no component '" +
                        o.component + "'");
    }
    ParameterValue p;
    p.name = o.variable;
    p.file = o.origin;
    p.line = o.line;
    const ModelVariable* v = descriptions_[index]->find(o.variable);
    const VariableType type = o.type ? *o.type : (v != nullptr ? v->type : VariableType::real);
    if (!parseValueText(type, o.value, p)) {
      throw MasterError(where + "value for '" + o.component + "." + o.variable + "': '" + o.value + "' is not a valid " +
                        typeName(type) + " value");
    }
    // A value given from outside replaces the system's own binding of the same variable.
    bind(index, p);
  }

  const SystemStructure& system_;
  const std::vector<const ModelDescription*>& descriptions_;
  CouplingPlan plan_;
  // Inputs fed so far, with the line of the connection; value references count per type.
  using Key = std::tuple<std::size_t, VariableType, uint32_t>;
  static Key keyOf(std::size_t component, const ModelVariable& v) { return {component, v.type, v.valueReference}; }
  std::map<Key, int> fed_;
  std::set<Key> bound_;
};

}  // namespace

CouplingPlan resolveCoupling(const SystemStructure& system, const std::vector<const ModelDescription*>& descriptions,
                             const std::vector<ValueOverride>& overrides) {
  return Resolver(system, descriptions).run(overrides);
}

}  // namespace master
