#include "app/sweep/sweep_check.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "app/cli/run_options.h"
#include "app/cli/variable_selection.h"
#include "engine/error.h"
#include "engine/engine.h"
#include "app/sweep/sweep_plan.h"
#include "formats/cycle_file/cycle_reader.h"

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
  Checker(const SweepFile& file, const std::vector<SystemComponent>& components)
      : file_(file), components_(components) {}

  MasterError fail(int line, const std::string& message) const { return MasterError(file_.where(line) + message); }

  void setting(const std::string& name, const Value& v) const {
    if (!isMasterSetting(name)) return systemParameter(name, v);
    for (const Setting& s : settings) {
      if (name != s.name) continue;
      if (s.kind == Value::Kind::string ? v.kind != Value::Kind::string : !isNumber(v.kind)) {
        throw fail(v.line, "'" + name + "' must be " + kindName(s.kind) + ", not " + kindName(v.kind));
      }
      if (s.positive && !(v.number > 0.0)) throw fail(v.line, "'" + name + "' must be greater than 0");
      if (name == "cycle") cycle(v);
      return;
    }
  }

  // The value a parameter connector of the system gives a parameter it feeds, within that
  // parameter's declared range.
  void fedRange(const std::string& name, const SystemComponent::Feed& feed, double x, int line) const {
    for (const SystemComponent& c : components_) {
      const ModelVariable* target = c.name == feed.component ? c.description.find(feed.variable) : nullptr;
      if (target == nullptr) continue;
      const double y = feed.transform.apply(x);
      if (outside(*target, y)) {
        throw fail(line, "'" + name + "' = " + numberText(x) + " sets " + feed.component + "." + feed.variable + " to " +
                             numberText(y) + ", outside " + declaredRange(*target));
      }
    }
  }

  // A parameter connector of the system (the component without a name).
  void systemParameter(const std::string& name, const Value& v) const {
    for (const SystemComponent& c : components_) {
      const ModelVariable* p = c.name.empty() ? c.description.find(name) : nullptr;
      if (p == nullptr) continue;
      if (!fits(p->type, v.kind)) {
        throw fail(v.line, "'" + name + "' is " + typeName(p->type) + " and cannot take " + kindName(v.kind) + " ('" +
                               v.text + "')");
      }
      if (p->type == VariableType::real) {
        if (const auto f = c.feeds.find(name); f != c.feeds.end()) {
          for (const SystemComponent::Feed& feed : f->second) fedRange(name, feed, v.number, v.line);
        }
      }
      return;
    }
    std::string known;
    for (const Setting& s : settings) known += std::string(known.empty() ? "" : ", ") + s.name;
    throw fail(v.line, "unknown master setting '" + name + "' (known: " + known +
                           "), nor a parameter connector of the system; a component's variable is written "
                           "\"component.variable\"");
  }

  // A standard cycle's name, else a cycle file (relative to the sweep file) read as the unit
  // will read it, so that a misspelt name or a malformed file stops the sweep before any case.
  void cycle(const Value& v) const {
    if (drive_cycle::standardCycleFile(v.text) != nullptr) return;
    try {
      cli::cycleSetting(cycleArgument(file_, v.text));
    } catch (const MasterError& e) {
      throw fail(v.line, "the cycle '" + v.text + "' is no standard cycle, nor a cycle file: " + e.what());
    }
  }

  const ModelVariable& variable(const std::string& name, int line) const {
    const std::string component = name.substr(0, name.find('.'));
    const std::string variableName = name.substr(component.size() + 1);
    std::string names;
    for (const SystemComponent& c : components_) {
      if (c.name != component) {
        if (!c.name.empty()) names += std::string(names.empty() ? "" : ", ") + c.name;
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

  static bool outside(const ModelVariable& v, double x) { return (v.min && x < *v.min) || (v.max && x > *v.max); }
  static std::string declaredRange(const ModelVariable& v) {
    return "its declared range [" + (v.min ? numberText(*v.min) : "-inf") + ", " + (v.max ? numberText(*v.max) : "inf") + "]";
  }

  void range(const std::string& name, const ModelVariable& v, double x, int line) const {
    if (outside(v, x)) throw fail(line, "'" + name + "' = " + numberText(x) + " is outside " + declaredRange(v));
  }

  void value(const std::string& name, const Value& value) const {
    if (name.find('.') == std::string::npos) return setting(name, value);
    const ModelVariable& v = variable(name, value.line);
    if (!fits(v.type, value.kind)) {
      throw fail(value.line, "'" + name + "' is " + typeName(v.type) + " and cannot take " + kindName(value.kind) +
                                 " ('" + value.text + "')");
    }
    if (isNumber(value.kind)) range(name, v, value.number, value.line);
  }

  void results() const {
    if (!file_.results) return;
    const std::vector<std::string> columns = outputColumns(components_);
    for (const Value& pattern : file_.results->variables) {
      if (std::none_of(columns.begin(), columns.end(),
                       [&](const std::string& c) { return cli::matchesPattern(pattern.text, c); })) {
        throw fail(pattern.line, "the results pattern '" + pattern.text + "' matches no output of the system");
      }
    }
  }

  // A cycle needs a drive cycle component to take it.
  void driveCycle() const {
    const bool anyCycle = !file_.cycles.empty() || std::any_of(file_.settings.begin(), file_.settings.end(), isCycle) ||
                          std::any_of(file_.grid.begin(), file_.grid.end(), isCycle) ||
                          std::any_of(file_.cases.begin(), file_.cases.end(), [](const std::vector<Input>& c) {
                            return std::any_of(c.begin(), c.end(), isCycle);
                          });
    if (!anyCycle) return;
    if (std::none_of(components_.begin(), components_.end(),
                     [](const SystemComponent& c) { return c.description.modelIdentifier == "DriveCycle"; })) {
      throw fail(file_.cyclesLine, "the sweep gives cycles, but the system has no drive cycle component (unit DriveCycle)");
    }
  }
  static bool isCycle(const Input& input) { return input.name == "cycle"; }

  void all() const {
    results();
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
    driveCycle();
  }

 private:
  const SweepFile& file_;
  const std::vector<SystemComponent>& components_;
};

}  // namespace

bool isMasterSetting(const std::string& name) {
  return std::any_of(std::begin(settings), std::end(settings), [&](const Setting& s) { return name == s.name; });
}

std::vector<SystemComponent> readComponents(const fs::path& system) {
  // Loaded as a run loads it (structure, units, connections), once for the whole sweep.
  LoadedSystem loaded = loadSystem(system);
  SystemComponent own;
  for (const CouplingPlan::SystemParameter& p : loaded.coupling.systemParameters) {
    for (const auto& [target, transform] : p.sinks) {
      own.feeds[p.name].push_back({loaded.structure.components[target.component].name, target.variable->name, transform});
    }
  }
  std::vector<SystemComponent> components;
  for (std::size_t i = 0; i < loaded.descriptions.size(); ++i) {
    components.push_back(SystemComponent{loaded.structure.components[i].name, std::move(loaded.descriptions[i]), {}});
  }
  for (const SsdConnector& c : loaded.structure.connectors) {
    if (c.kind != "parameter") continue;
    ModelVariable v;
    v.name = c.name;
    v.type = c.type;
    v.causality = Causality::parameter;
    v.unit = c.unit;
    own.description.variables.push_back(std::move(v));
  }
  if (!own.description.variables.empty()) {
    own.description.index();
    components.push_back(std::move(own));
  }
  return components;
}

std::vector<std::string> outputColumns(const std::vector<SystemComponent>& components) {
  std::vector<std::string> columns;
  for (const SystemComponent& c : components) {
    for (const ModelVariable& v : c.description.variables) {
      // What the engine records (and a results file can hold): Real, Integer and Boolean outputs.
      if (v.causality == Causality::output && v.type != VariableType::string && v.type != VariableType::enumeration) {
        columns.push_back(c.name + "." + v.name);
      }
    }
  }
  return columns;
}

void checkInputs(const SweepFile& file, const std::vector<SystemComponent>& components) {
  Checker(file, components).all();
}

}  // namespace master::sweep

namespace master::sweep {

namespace {

// Two cases of the same inputs would be the same run into the same folder, two processes at once
// writing it: refused, at the line of a value that differs in its source between the two.
void checkDistinct(const SweepFile& file, const CaseSet& set) {
  std::map<std::vector<std::pair<std::string, std::string>>, const Case*> seen;
  for (const Case& k : set.cases) {
    std::vector<std::pair<std::string, std::string>> key;
    for (const Assignment& a : k.inputs) key.emplace_back(a.name, a.value.text);
    const auto [it, fresh] = seen.emplace(std::move(key), &k);
    if (fresh) continue;
    const Case& first = *it->second;
    int line = 0;
    std::string inputs;
    for (std::size_t i = 0; i < k.inputs.size(); ++i) {
      if (line == 0 && k.inputs[i].value.line != first.inputs[i].value.line) line = k.inputs[i].value.line;
      inputs += (inputs.empty() ? "" : ", ") + k.inputs[i].name + "=" + k.inputs[i].value.text;
    }
    if (line == 0 && !k.inputs.empty()) line = k.inputs.back().value.line;
    throw MasterError(file.where(line) + "case " + std::to_string(k.index) + " is the same run as case " +
                      std::to_string(first.index) + " (" + inputs + "): give each value once");
  }
}

// The variables a value sets: a parameter connector of the system those it feeds, anything else
// itself.
std::vector<std::string> variablesSet(const std::string& name, const std::vector<SystemComponent>& components) {
  for (const SystemComponent& c : components) {
    const auto f = c.name.empty() ? c.feeds.find(name) : c.feeds.end();
    if (f == c.feeds.end() || f->second.empty()) continue;
    std::vector<std::string> names;
    for (const SystemComponent::Feed& feed : f->second) names.push_back(feed.component + "." + feed.variable);
    return names;
  }
  return {name};
}

}  // namespace

void checkOverrides(const SweepFile& file, const CaseSet& set, const std::vector<SystemComponent>& components) {
  const std::vector<Assignment>* checked = nullptr;
  auto sameNames = [](const std::vector<Assignment>& a, const std::vector<Assignment>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Assignment& x, const Assignment& y) { return x.name == y.name; });
  };
  for (const Case& k : set.cases) {
    if (checked != nullptr && sameNames(*checked, k.inputs)) continue;  // the same order of names
    checked = &k.inputs;
    // A case takes its values in this order, a later one winning: one whose every variable a
    // later one sets again is refused where the cover completes. (A [[case]] may set what
    // [settings] gives the other cases.)
    for (std::size_t i = 0; i < k.inputs.size(); ++i) {
      if (!file.cases.empty() && std::any_of(file.settings.begin(), file.settings.end(), [&](const Input& s) {
            return s.name == k.inputs[i].name;
          })) {
        continue;
      }
      std::vector<std::string> open = variablesSet(k.inputs[i].name, components);
      for (std::size_t j = i + 1; j < k.inputs.size() && !open.empty(); ++j) {
        const std::vector<std::string> later = variablesSet(k.inputs[j].name, components);
        std::erase_if(open, [&](const std::string& v) { return std::find(later.begin(), later.end(), v) != later.end(); });
        if (open.empty()) {
          const Assignment &first = k.inputs[i], &again = k.inputs[j];
          throw MasterError(file.where(again.value.line) + "'" + again.name + "' sets again what '" + first.name +
                            "' (line " + std::to_string(first.value.line) + ") sets, in case " +
                            std::to_string(k.index) + ": the value of line " + std::to_string(first.value.line) +
                            " would never be used");
        }
      }
    }
  }
}

void checkCases(const SweepFile& file, const CaseSet& set) {
  checkDistinct(file, set);
  for (const Case& k : set.cases) {
    const Value* step = nullptr;
    const Value* interval = file.results && file.results->interval ? &*file.results->interval : nullptr;
    const Value *start = nullptr, *stop = nullptr;
    for (const Assignment& a : k.inputs) {
      if (a.name == "step") step = &a.value;
      if (a.name == "output-interval") interval = &a.value;
      if (a.name == "start-time") start = &a.value;
      if (a.name == "stop-time") stop = &a.value;
    }
    const std::string which = " (case " + std::to_string(k.index) + ")";
    if (interval != nullptr) {
      try {
        cli::stepsPerOutput(interval->number, step ? step->number : cli::CliOptions{}.step);
      } catch (const MasterError& e) {
        throw MasterError(file.where(interval->line) + e.what() + which);
      }
    }
    if (start != nullptr && stop != nullptr && !(stop->number > start->number)) {
      throw MasterError(file.where(stop->line) + "the stop time " + stop->text + " s is not after the start time " +
                        start->text + " s" + which);
    }
  }
}

}  // namespace master::sweep
