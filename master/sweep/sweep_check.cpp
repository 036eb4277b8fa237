#include "master/sweep/sweep_check.h"

#include <charconv>

#include "master/error.h"
#include "master/fmu_archive.h"
#include "master/system_package.h"
#include "master/system_structure.h"

namespace master::sweep {

namespace fs = std::filesystem;

namespace {

// A master setting: its name and whether a value fits.
struct Setting {
  const char* name;
  Value::Kind kind;
  bool positive;  // a number that must be > 0 (else any finite number)
};
constexpr Setting settings[] = {{"cycle", Value::Kind::string, false},
                                {"step", Value::Kind::real, true},
                                {"stop-time", Value::Kind::real, true},
                                {"start-time", Value::Kind::real, false},
                                {"output-interval", Value::Kind::real, true}};

bool isNumber(Value::Kind kind) { return kind == Value::Kind::real || kind == Value::Kind::integer; }

class Checker {
 public:
  Checker(const SweepFile& file, const SystemContents& system)
      : file_(file), components_(system.components), parameters_(system.parameters) {}

  const SsdConnector* systemParameter(const std::string& name) const {
    if (isMasterSetting(name)) return nullptr;
    for (const SsdConnector& p : parameters_) {
      if (p.name == name) return &p;
    }
    return nullptr;
  }

  MasterError fail(int line, const std::string& message) const { return MasterError(file_.where(line) + message); }

  void setting(const std::string& name, const Value& v) const {
    for (const Setting& s : settings) {
      if (name != s.name) continue;
      if (s.kind == Value::Kind::string ? v.kind != Value::Kind::string : !isNumber(v.kind)) {
        throw fail(v.line, "'" + name + "' must be " + kindName(s.kind) + ", not " + kindName(v.kind));
      }
      if (s.positive && !(v.number > 0.0)) throw fail(v.line, "'" + name + "' must be greater than 0");
      if (name == "cycle" && v.text.find('/') != std::string::npos &&
          !fs::is_regular_file(file_.source.parent_path() / v.text)) {
        throw fail(v.line, "no cycle file '" + v.text + "'");
      }
      return;
    }
    std::string known;
    for (const Setting& s : settings) known += std::string(known.empty() ? "" : ", ") + s.name;
    throw fail(v.line, "unknown master setting '" + name + "' (known: " + known +
                           "; a component's variable is written \"component.variable\")");
  }

  const ModelVariable& variable(const std::string& name, int line) const {
    const std::string component = name.substr(0, name.find('.'));
    const std::string variableName = name.substr(component.size() + 1);
    std::string names;
    for (const SystemComponent& c : components_) {
      if (c.name != component) {
        names += std::string(names.empty() ? "" : ", ") + c.name;
        continue;
      }
      const ModelVariable* v = c.description.find(variableName);
      if (v == nullptr) {
        throw fail(line, "unknown variable '" + variableName + "' of component '" + component + "' (unit " +
                             c.description.modelIdentifier + ")");
      }
      if (v->causality != Causality::parameter && v->causality != Causality::input) {
        throw fail(line, "'" + name + "' is " + causalityName(v->causality) +
                             ": only parameters and inputs take a value");
      }
      return *v;
    }
    throw fail(line, "unknown component '" + component + "' (the system has " + names + ")");
  }

  static bool fits(VariableType type, Value::Kind kind) {
    switch (type) {
      case VariableType::real: return isNumber(kind);
      case VariableType::integer:
      case VariableType::enumeration: return kind == Value::Kind::integer;
      case VariableType::boolean: return kind == Value::Kind::boolean;
      case VariableType::string: return kind == Value::Kind::string;
    }
    return false;
  }

  void range(const std::string& name, const ModelVariable& v, double x, int line) const {
    if ((v.min && x < *v.min) || (v.max && x > *v.max)) {
      throw fail(line, "'" + name + "' = " + numberText(x) + " is outside its declared range [" +
                           (v.min ? numberText(*v.min) : "-inf") + ", " + (v.max ? numberText(*v.max) : "inf") + "]");
    }
  }

  void value(const std::string& name, const Value& value) const {
    if (const SsdConnector* p = systemParameter(name)) {
      const VariableType type = p->typeGiven ? p->type : VariableType::real;
      if (!fits(type, value.kind)) {
        throw fail(value.line, "system parameter '" + name + "' is " + typeName(type) + " and cannot take " +
                                   kindName(value.kind) + " ('" + value.text + "')");
      }
      return;
    }
    if (name.find('.') == std::string::npos) return setting(name, value);
    const ModelVariable& v = variable(name, value.line);
    if (!fits(v.type, value.kind)) {
      throw fail(value.line, "'" + name + "' is " + typeName(v.type) + " and cannot take " + kindName(value.kind) +
                                 " ('" + value.text + "')");
    }
    if (isNumber(value.kind)) range(name, v, value.number, value.line);
  }

  void all() const {
    for (const Value& v : file_.cycles) setting("cycle", v);
    for (const Input& input : file_.settings) value(input.name, input.values.front());
    for (const Input& input : file_.grid) {
      for (const Value& v : input.values) value(input.name, v);
    }
    for (const auto& c : file_.cases) {
      for (const Input& input : c) value(input.name, input.values.front());
    }
    if (file_.sample) {
      for (const Range& r : file_.sample->ranges) {
        if (const SsdConnector* p = systemParameter(r.name)) {
          if (p->typeGiven && p->type != VariableType::real) throw fail(r.line, "'" + r.name + "' is " + typeName(p->type) + ": ranges are drawn for Real variables only");
          continue;
        }
        if (r.name.find('.') == std::string::npos) {
          setting(r.name, Value{Value::Kind::real, "", r.min, r.line});
          setting(r.name, Value{Value::Kind::real, "", r.max, r.line});
          continue;
        }
        const ModelVariable& v = variable(r.name, r.line);
        if (v.type != VariableType::real) throw fail(r.line, "'" + r.name + "' is " + typeName(v.type) + ": ranges are drawn for Real variables only");
        range(r.name, v, r.min, r.line);
        range(r.name, v, r.max, r.line);
      }
    }
  }

 private:
  const SweepFile& file_;
  const std::vector<SystemComponent>& components_;
  const std::vector<SsdConnector>& parameters_;
};

}  // namespace

SystemContents readComponents(const fs::path& system) {
  const SystemPackage package(system);
  SystemContents contents;
  const SystemStructure structure = readSystemStructure(package);
  for (const SsdComponent& c : structure.components) {
    const ExtractedFmu fmu(c.fmuFile);
    contents.components.push_back(SystemComponent{c.name, readModelDescription(fmu.modelDescriptionFile())});
  }
  for (const SsdConnector& k : structure.connectors) {
    if (k.kind == "parameter") contents.parameters.push_back(k);
  }
  return contents;
}

void checkInputs(const SweepFile& file, const SystemContents& system) { Checker(file, system).all(); }

bool isMasterSetting(const std::string& name) {
  for (const Setting& s : settings) {
    if (name == s.name) return true;
  }
  return false;
}

}  // namespace master::sweep
