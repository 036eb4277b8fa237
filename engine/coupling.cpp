#include "engine/coupling.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>

#include "engine/error.h"

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
      else if (c.kind == "parameter") plan_.systemParameters.push_back({c.name, c.line, {}, false});
      else throw MasterError(system_.where(c.line) + "system connector '" + c.name + "' must be of kind input, output or parameter");
    }
    for (const SsdConnection& c : system_.connections) connection(c);
    for (const CouplingPlan::SystemOutput& o : plan_.systemOutputs) {
      if (o.source.variable == nullptr) {
        throw MasterError(system_.source + ": system output '" + o.name + "' is not connected to any component output");
      }
    }
    for (const ParameterValue& p : system_.bindings) bindNamed(p);
    for (const ValueOverride& o : overrides) override(o);
    keepTheLastValues();
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

  // The component variable a connection ends at, which must be of causality `wanted` (`rule` says
  // why when it is not).
  VariableRef end(const std::string& what, const SsdConnection& c, Causality wanted, const char* rule) const {
    VariableRef to;
    to.component = component(c, c.endElement);
    to.variable = &variable(what, to.component, c.endConnector);
    if (to.variable->causality != wanted) {
      throw MasterError(what + label(c.endElement, c.endConnector) + " is " + causalityName(to.variable->causality) +
                        "; " + rule);
    }
    return to;
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
      for (CouplingPlan::SystemParameter& s : plan_.systemParameters) {
        if (s.name == c.startConnector) return parameterConnection(what, c, s);
      }
      for (CouplingPlan::SystemInput& s : plan_.systemInputs) {
        if (s.name == c.startConnector) systemInput = &s;
      }
      if (systemInput == nullptr) throw MasterError(what + "the system has no input connector '" + c.startConnector + "'");
      if (!c.transform.identity()) throw MasterError(what + "a transformation on a connection from a system input is not supported");
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
      return systemOutputConnection(what, c, from, fromType, systemInput != nullptr);
    }
    const VariableRef to = end(what, c, Causality::input, "a connection must end at an input");
    if (fromType != to.variable->type) incompatible(what, c, fromType, to.variable->type);
    const Key key = keyOf(to.component, *to.variable);
    if (!fed_.emplace(key, c.line).second) {
      throw MasterError(what + label(c.endElement, c.endConnector) + " is already fed by the connection on line " +
                        std::to_string(fed_[key]));
    }
    if (systemInput != nullptr) {
      systemInput->sinks.push_back(to);
      return;
    }
    ValueTransform t = transform(what, c, to.variable->type);
    if (!c.suppressUnitConversion && to.variable->type == VariableType::real) {
      setUnitConversion(t, unitOf(from.component, *from.variable), unitTable(from.component),
                        unitOf(to.component, *to.variable), unitTable(to.component), what);
    }
    plan_.links.push_back({from, to, t});
  }

  // A component output (or, refused, a system input) to a system output connector.
  void systemOutputConnection(const std::string& what, const SsdConnection& c, const VariableRef& from,
                              VariableType fromType, bool fromSystemInput) {
    CouplingPlan::SystemOutput* out = nullptr;
    for (CouplingPlan::SystemOutput& s : plan_.systemOutputs) {
      if (s.name == c.endConnector) out = &s;
    }
    if (out == nullptr) throw MasterError(what + "the system has no output connector '" + c.endConnector + "'");
    if (fromSystemInput) throw MasterError(what + "a system input cannot feed a system output directly");
    if (out->source.variable != nullptr) throw MasterError(what + "system output '" + c.endConnector + "' is already connected");
    if (!c.transform.identity()) throw MasterError(what + "a transformation on a connection to a system output is not supported");
    for (const SsdConnector& k : system_.connectors) {
      if (k.name == c.endConnector && k.typeGiven && k.type != fromType) incompatible(what, c, fromType, k.type);
    }
    out->source = from;
  }

  // A system's parameter connector to the component parameters that take its value.
  void parameterConnection(const std::string& what, const SsdConnection& c, CouplingPlan::SystemParameter& p) {
    if (c.endElement.empty()) throw MasterError(what + "a parameter connector of the system can only feed component parameters");
    const VariableRef to = end(what, c, Causality::parameter, "a parameter connector of the system feeds parameters");
    const SsdConnector& k = systemConnector(p.name);
    if (k.typeGiven && k.type != to.variable->type) incompatible(what, c, k.type, to.variable->type);
    ValueTransform t = transform(what, c, to.variable->type);
    if (!c.suppressUnitConversion && to.variable->type == VariableType::real) {
      setUnitConversion(t, k.unit, system_.units, unitOf(to.component, *to.variable), unitTable(to.component), what);
    }
    p.sinks.push_back({to, t});
  }

  const SsdConnector& systemConnector(const std::string& name) const {
    for (const SsdConnector& k : system_.connectors) {
      if (k.name == name) return k;
    }
    throw MasterError(system_.source + ": internal error: no system connector '" + name + "'");
  }

  // The connection's own transformation, refused on values it is not written for.
  static ValueTransform transform(const std::string& what, const SsdConnection& c, VariableType type) {
    if (c.transform.linear && type != VariableType::real) {
      throw MasterError(what + "a LinearTransformation applies to Real values, not " + typeName(type));
    }
    if (c.mapping && *c.mapping != type) {
      throw MasterError(what + "a " + typeName(*c.mapping) + " mapping transformation cannot map " + typeName(type) +
                        " values");
    }
    return c.transform;
  }

  // The unit of a component's variable: as its connector in the system declares it, else as the
  // unit's model description does.
  std::string unitOf(std::size_t i, const ModelVariable& v) const {
    for (const SsdConnector& k : system_.components[i].connectors) {
      if (k.name == v.name && !k.unit.empty()) return k.unit;
    }
    return v.unit;
  }

  // The units known for a component: the system file's definitions over the unit's own.
  const UnitTable& unitTable(std::size_t i) {
    if (tables_.empty()) {
      for (const ModelDescription* d : descriptions_) {
        UnitTable t = d->units;
        for (const auto& [name, u] : system_.units) t[name] = u;
        tables_.push_back(std::move(t));
      }
    }
    return tables_[i];
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
  void bind(std::size_t i, ParameterValue p) {
    const SsdComponent& comp = system_.components[i];
    const std::string what = p.where() + "value for '" + comp.name + "." + p.name + "': ";
    const ModelVariable& v = variable(what, i, p.name);
    if (p.type == VariableType::real && v.type == VariableType::real) convertUnit(p, v.unit, unitTable(i), what);
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

  // Converts a Real value written in another unit than `unit`, and consumes its unit.
  void convertUnit(ParameterValue& p, const std::string& unit, const UnitTable& units, const std::string& what) const {
    if (p.unit.empty() || unit.empty() || p.unit == unit) return;
    UnitTable own = system_.units;
    if (p.unitDefinition) own[p.unit] = *p.unitDefinition;
    ValueTransform t;
    setUnitConversion(t, p.unit, own, unit, units, what);
    setValue(p, t.apply(p.real));
    p.unit = unit;
  }

  static void setValue(ParameterValue& p, double x) {
    p.real = x;
    p.text = trimmed(x);
  }

  // A value named from the outermost system: a component's variable ("tank.volume",
  // the longest component name that fits), else a parameter connector of the system.
  void bindNamed(const ParameterValue& p) {
    std::size_t best = system_.components.size();
    for (std::size_t i = 0; i < system_.components.size(); ++i) {
      const std::string& name = system_.components[i].name;
      if (p.name.size() > name.size() + 1 && p.name.compare(0, name.size(), name) == 0 && p.name[name.size()] == '.' &&
          (best == system_.components.size() || name.size() > system_.components[best].name.size())) {
        best = i;
      }
    }
    if (best != system_.components.size()) {
      ParameterValue q = p;
      q.name = p.name.substr(system_.components[best].name.size() + 1);
      bind(best, std::move(q));
      return;
    }
    for (CouplingPlan::SystemParameter& sp : plan_.systemParameters) {
      if (sp.name == p.name) return bindSystemParameter(sp, p);
    }
    throw MasterError(p.where() + "value for '" + p.name + "': the system has no component or parameter connector of that name");
  }

  // The value of a system parameter connector, through each of its connections.
  void bindSystemParameter(CouplingPlan::SystemParameter& sp, const ParameterValue& p) {
    const SsdConnector& k = systemConnector(sp.name);
    const std::string what = p.where() + "value for system parameter '" + sp.name + "': ";
    if (k.typeGiven && k.type != p.type) {
      throw MasterError(what + "type mismatch: the value is " + typeName(p.type) + " but the connector is " + typeName(k.type));
    }
    sp.bound = true;
    ParameterValue atConnector = p;
    if (p.type == VariableType::real) convertUnit(atConnector, k.unit, system_.units, what);
    for (const auto& [target, t] : sp.sinks) {
      ParameterValue q = atConnector;
      q.name = target.variable->name;
      if (q.type == VariableType::real) {
        if (!t.identity()) setValue(q, t.apply(q.real));
        if (t.convertsUnit) q.unit = unitOf(target.component, *target.variable);
      } else if (q.type == VariableType::integer || q.type == VariableType::boolean) {
        q.integer = t.apply(q.integer);
        q.text = q.type == VariableType::integer ? std::to_string(q.integer) : (q.integer != 0 ? "true" : "false");
      }
      bind(target.component, std::move(q));
    }
  }

  // A variable bound more than once keeps the value that came last, and only that is set.
  void keepTheLastValues() {
    std::map<Key, std::size_t> last;
    for (std::size_t k = 0; k < plan_.bindings.size(); ++k) last[keyOf(plan_.bindings[k].target.component, *plan_.bindings[k].target.variable)] = k;
    std::vector<CouplingPlan::Binding> kept;
    for (std::size_t k = 0; k < plan_.bindings.size(); ++k) {
      if (last[keyOf(plan_.bindings[k].target.component, *plan_.bindings[k].target.variable)] == k) {
        kept.push_back(std::move(plan_.bindings[k]));
      }
    }
    plan_.bindings = std::move(kept);
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
    const std::string where = o.line > 0 ? o.origin + ":" + std::to_string(o.line) + ": " : o.origin + ": ";
    if (o.component.empty()) {  // a parameter connector of the system
      for (CouplingPlan::SystemParameter& sp : plan_.systemParameters) {
        if (sp.name != o.variable) continue;
        const SsdConnector& k = systemConnector(sp.name);
        ParameterValue p;
        p.name = o.variable;
        p.file = o.origin;
        p.line = o.line;
        const VariableType type = o.type ? *o.type : (k.typeGiven ? k.type : VariableType::real);
        if (!parseValueText(type, o.value, p)) {
          throw MasterError(where + "value for '" + o.variable + "': '" + o.value + "' is not a valid " + typeName(type) + " value");
        }
        return bindSystemParameter(sp, p);
      }
      throw MasterError(where + "value for '" + o.variable + "': the system has no parameter connector '" + o.variable + "'");
    }
    std::size_t index = system_.components.size();
    for (std::size_t i = 0; i < system_.components.size(); ++i) {
      if (system_.components[i].name == o.component) index = i;
    }
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
  std::vector<UnitTable> tables_;  // of each component, made when first needed
};

}  // namespace

CouplingPlan resolveCoupling(const SystemStructure& system, const std::vector<const ModelDescription*>& descriptions,
                             const std::vector<ValueOverride>& overrides) {
  return Resolver(system, descriptions).run(overrides);
}

}  // namespace master
