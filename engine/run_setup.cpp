// Setting a run up: the buffers and where each input takes its value, the feedthrough order, the
// tasks and the power bonds; the timeline; the units instantiated, bound and initialised; the
// threads.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <thread>

#include "engine/conventions.h"
#include "engine/error.h"
#include "engine/feedthrough.h"
#include "engine/run.h"

namespace master::run {

Run::~Run() {
  // The workers stop first (a run that fails while they step waits for them here); then the
  // instances go before their libraries, all of them before the unpacked archives.
  pool_.reset();
  for (Component& c : components_) c.instance.reset();
}

void Run::build() {
  components_ = std::vector<Component>(system_.descriptions.size());
  const SlotMap slots = buildOutputs();
  buildInputs(slots);
  planFeedthroughOrder();
  record_.columns.assign(record_.variables.size(), {});
  planTasks();
  planBonds(slots);
}

// Every Real, Integer and Boolean output of every component is read at every point and recorded.
SlotMap Run::buildOutputs() {
  SlotMap slots;
  for (std::size_t i = 0; i < components_.size(); ++i) {
    Component& c = components_[i];
    c.name = system_.structure.components[i].name;
    const ModelDescription& md = system_.descriptions[i];
    for (const ModelVariable& v : md.variables) {
      if (v.causality == Causality::parameter && v.start) record_.startValues[c.name + "." + v.name] = *v.start;
      if (v.causality != Causality::output) continue;
      if (v.type != VariableType::real && v.type != VariableType::integer && v.type != VariableType::boolean) continue;
      const Kind k = kindOf(v.type);
      const Slot slot{k, c.outVr[k].size()};
      c.outVr[k].push_back(v.valueReference);
      slots[{i, &v}] = slot;
      c.recorded.push_back(slot);
      record_.variables.push_back({c.name, md.modelIdentifier, v.name, v.unit, v.description});
      if (v.type == VariableType::boolean && v.name == conventions::finishedOutput) finishedFlags_.push_back({i, slot.second});
    }
    for (int p = 0; p < 3; ++p) {
      c.realOut[p].assign(c.outVr[realKind].size(), 0.0);
      c.intOut[p].assign(c.outVr[integerKind].size(), 0);
      c.boolOut[p].assign(c.outVr[booleanKind].size(), 0);
    }
  }
  return slots;
}

void Run::buildInputs(const SlotMap& slots) {
  for (const CouplingPlan::Link& link : system_.coupling.links) {
    Component& to = components_[link.to.component];
    const Kind k = kindOf(link.to.variable->type);
    to.inVr[k].push_back(link.to.variable->valueReference);
    to.inSource[k].push_back({link.from.component, slots.at({link.from.component, link.from.variable}).second,
                              link.transform.identity() ? nullptr : &link.transform});
  }
  for (Component& c : components_) {
    c.realIn.assign(c.inVr[realKind].size(), 0.0);
    c.intIn.assign(c.inVr[integerKind].size(), 0);
    c.boolIn.assign(c.inVr[booleanKind].size(), 0);
  }
}

void Run::planFeedthroughOrder() {
  const FeedthroughPlan feedthrough = planFeedthrough(system_.descriptionPointers(), system_.coupling.links);
  if (options_.feedthrough) {
    feedthroughOrder_ = feedthrough.order;
    feedthroughLoops_ = feedthrough.loops;
  }
  for (std::size_t i : feedthroughOrder_) components_[i].fedThrough = true;
  for (Component& c : components_) {
    c.awaitsFeedthrough = c.fedThrough;
    for (const auto& sources : c.inSource) {
      for (const Source& s : sources) c.awaitsFeedthrough |= components_[s.component].fedThrough;
    }
  }
  for (const auto& flag : finishedFlags_) finishedByFeedthrough_ |= components_[flag.first].fedThrough;
}

// A task for each group that steps faster, then one for each component outside them.
void Run::planTasks() {
  const std::size_t n = components_.size();
  std::vector<std::string> names;
  std::vector<bool> fedThrough;
  for (const Component& c : components_) names.push_back(c.name), fedThrough.push_back(c.fedThrough);
  std::vector<DeclaredStepping::Group> groups;
  if (options_.multiRate) {
    groups = system_.stepping.groups;
    groups.insert(groups.end(), options_.groups.begin(), options_.groups.end());
  }
  stepPlan_ = planSteps(names, fedThrough, groups, options_.step);
  std::vector<bool> grouped(n, false);
  for (const StepPlan::Group& g : stepPlan_.groups) {
    Task task;
    task.members = g.members;
    task.baseSteps = g.baseSteps;
    for (std::size_t i : g.members) {
      grouped[i] = true;
      task.awaitsFeedthrough |= components_[i].awaitsFeedthrough;
      // A member reads the others of its group from the first base step on in their held buffer.
      for (auto& sources : components_[i].inSource) {
        for (Source& s : sources) {
          if (std::find(g.members.begin(), g.members.end(), s.component) != g.members.end()) s.heldFrom = 1;
        }
      }
    }
    tasks_.push_back(std::move(task));
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (grouped[i]) continue;
    Task own;
    own.members.push_back(i);
    own.awaitsFeedthrough = components_[i].awaitsFeedthrough;
    tasks_.push_back(std::move(own));
  }
}

// Each declared power bond: a Real output of one component feeding the other, and a Real output
// of that one feeding the first.
void Run::planBonds(const SlotMap& slots) {
  const DeclaredStepping& d = system_.stepping;
  for (const DeclaredStepping::PowerBond& b : d.bonds) {
    const std::string where = d.source + ":" + std::to_string(b.line) + ": power bond " + b.effortComponent + "." +
                              b.effortVariable + " against " + b.flowComponent + "." + b.flowVariable + ": ";
    auto output = [&](const std::string& component, const std::string& variable, std::size_t& index) {
      index = components_.size();
      for (std::size_t i = 0; i < components_.size(); ++i) {
        if (components_[i].name == component) index = i;
      }
      if (index == components_.size()) throw MasterError(where + "the system has no component '" + component + "'");
      const ModelVariable* v = system_.descriptions[index].find(variable);
      if (v == nullptr || v->causality != Causality::output || v->type != VariableType::real) {
        throw MasterError(where + "'" + component + "." + variable + "' is no Real output");
      }
      return v;
    };
    std::size_t e = 0, f = 0;
    const ModelVariable* effort = output(b.effortComponent, b.effortVariable, e);
    const ModelVariable* flow = output(b.flowComponent, b.flowVariable, f);
    auto feeds = [&](std::size_t from, const ModelVariable* v, std::size_t to) {
      for (const CouplingPlan::Link& link : system_.coupling.links) {
        if (link.from.component == from && link.from.variable == v && link.to.component == to) return true;
      }
      return false;
    };
    if (e == f || !feeds(e, effort, f) || !feeds(f, flow, e)) {
      throw MasterError(where + "each output must feed an input of the other component");
    }
    Bond bond;
    bond.effort = {e, slots.at({e, effort}).second};
    bond.flow = {f, slots.at({f, flow}).second};
    for (std::size_t t = 0; t < tasks_.size(); ++t) {
      const auto& m = tasks_[t].members;
      if (tasks_[t].baseSteps > 1 && std::find(m.begin(), m.end(), e) != m.end() &&
          std::find(m.begin(), m.end(), f) != m.end()) {
        bond.task = static_cast<int>(t);
      }
    }
    bonds_.push_back(bond);
    record_.couplingErrors.push_back({b.effortComponent + "." + b.effortVariable, b.flowComponent + "." + b.flowVariable,
                                      bond.task >= 0 ? options_.step / tasks_[static_cast<std::size_t>(bond.task)].baseSteps
                                                     : options_.step});
  }
}

// A step that is no whole multiple of a unit's suggested step is allowed (the unit carries the
// remainder as its own rules say) but said. A component's own step chosen for it (declared by the
// system or given from outside) is not.
void Run::checkStep(RunOutcome& outcome) const {
  const double h = options_.step;
  for (std::size_t i = 0; i < system_.descriptions.size(); ++i) {
    if (std::any_of(stepPlan_.groups.begin(), stepPlan_.groups.end(), [i](const StepPlan::Group& g) {
          return std::find(g.members.begin(), g.members.end(), i) != g.members.end();
        })) {
      continue;
    }
    const double unitStep = system_.descriptions[i].defaultStepSize;
    if (!(unitStep > 0.0)) continue;
    const double multiple = h / unitStep;
    if (multiple < 0.5 || std::fabs(multiple - std::round(multiple)) > 1e-9 * multiple) {
      char text[300];
      std::snprintf(text, sizeof text,
                    "the communication step %g s is not a whole multiple of the step %g s that component '%s' "
                    "suggests", h, unitStep, system_.structure.components[i].name.c_str());
      outcome.warnings.push_back(text);
    }
  }
}

// The run's notes and warnings on how the system is stepped.
void Run::describePlan(RunOutcome& outcome) const {
  checkStep(outcome);
  for (const std::string& w : stepPlan_.warnings) outcome.warnings.push_back(w);
  for (const std::string& n : stepPlan_.notes) outcome.notes.push_back(n);
  for (const auto& loop : feedthroughLoops_) {
    std::string names;
    for (std::size_t i : loop) names += (names.empty() ? "" : ", ") + components_[i].name;
    outcome.notes.push_back("direct feedthrough loop between " + names +
                               ": their connections carry the previous communication point's values");
  }
  if (!feedthroughOrder_.empty()) {
    std::string names;
    for (std::size_t i : feedthroughOrder_) names += (names.empty() ? "" : ", ") + components_[i].name;
    outcome.notes.push_back("evaluated before each step for direct feedthrough, in this order: " + names);
  }
}

namespace {

// The largest Real calculated parameter `duration` of the components, 0 without one.
double durationParameter(const LoadedSystem& system, std::vector<Component>& components) {
  double longest = 0.0;
  for (std::size_t i = 0; i < components.size(); ++i) {
    const ModelVariable* v = system.descriptions[i].find(conventions::durationParameter);
    if (v == nullptr || v->causality != Causality::calculatedParameter || v->type != VariableType::real) continue;
    double d = 0.0;
    components[i].instance->getReal(&v->valueReference, 1, &d);
    if (std::isfinite(d)) longest = std::max(longest, d);
  }
  return longest;
}

}  // namespace

// The start and stop time as given, else as the system declares them. Checked before any unit is
// instantiated, so that no unit's own refusal of a start time comes first.
Timeline Run::timeline() {
  const SystemStructure& s = system_.structure;
  Timeline line;
  line.start = options_.startTime.value_or(s.startTime.value_or(0.0));
  line.stop = options_.stopTime ? options_.stopTime : s.stopTime;
  if (line.stop && !(*line.stop >= line.start)) {
    char text[160];
    std::snprintf(text, sizeof text, "the stop time %g s lies before the start time %g s", *line.stop, line.start);
    throw MasterError(text);
  }
  line.untilFinished = !line.stop;
  return line;
}

void Run::instantiate() {
  // One after the other: instantiation of a unit's library must not overlap another.
  for (std::size_t i = 0; i < components_.size(); ++i) {
    Component& c = components_[i];
    const ModelDescription& md = system_.descriptions[i];
    c.library = std::make_unique<FmuLibrary>(system_.archives[i]->binaryFile(md.modelIdentifier));
    if (options_.libraryLoaded != nullptr) options_.libraryLoaded(*c.library);
    c.instance = std::make_unique<FmuInstance>(*c.library, c.name, md, fileUri(system_.archives[i]->resourcesFolder()), log_);
  }
  bindValues();
}

void Run::bindValues() {
  for (const CouplingPlan::Binding& b : system_.coupling.bindings) {
    FmuInstance& instance = *components_[b.target.component].instance;
    const fmi2ValueReference vr = b.target.variable->valueReference;
    const ParameterValue& v = b.value;
    switch (v.type) {
      case VariableType::real: instance.setReal(&vr, 1, &v.real); break;
      case VariableType::integer: instance.setInteger(&vr, 1, &v.integer); break;
      case VariableType::boolean: instance.setBoolean(&vr, 1, &v.integer); break;
      default: {
        const fmi2String text = v.text.c_str();
        instance.setString(&vr, 1, &text);
      }
    }
    record_.boundValues[components_[b.target.component].name + "." + b.value.name] = v.text;
  }
  // Inputs fed by a system input connector: nothing outside supplies them, so they hold 0.
  for (const CouplingPlan::SystemInput& in : system_.coupling.systemInputs) {
    for (const VariableRef& sink : in.sinks) {
      FmuInstance& instance = *components_[sink.component].instance;
      const fmi2ValueReference vr = sink.variable->valueReference;
      const double zero = 0.0;
      const int none = 0;
      if (sink.variable->type == VariableType::real) instance.setReal(&vr, 1, &zero);
      else if (sink.variable->type == VariableType::integer) instance.setInteger(&vr, 1, &none);
      else instance.setBoolean(&vr, 1, &none);
    }
  }
}

// Initialises the units together, then settles the timeline: a system without a stop time runs
// until its components report the end: the largest Real calculated parameter `duration`, or
// earlier when every Boolean output `finished` is true.
void Run::initialize(Timeline& line, RunOutcome& outcome) {
  for (Component& c : components_) c.instance->setupExperiment(line.start, line.stop);
  for (Component& c : components_) c.instance->enterInitializationMode();
  // In initialisation every get recomputes the outputs: as many passes as components carry a
  // value along any chain of them.
  for (std::size_t pass = 0; pass < components_.size(); ++pass) {
    for (Component& c : components_) getOutputs(c, 0);
    for (Component& c : components_) setInputs(c, 0);
  }
  for (Component& c : components_) getOutputs(c, 0);
  for (Component& c : components_) c.instance->exitInitializationMode();

  if (line.untilFinished) {
    const double duration = durationParameter(system_, components_);
    if (!(duration > 0.0) && finishedFlags_.empty()) {
      throw MasterError("no stop time: give --stop-time, or a DefaultExperiment stopTime in the system");
    }
    line.stop = duration > 0.0 ? line.start + duration : std::numeric_limits<double>::infinity();
  }
  outcome.stopTime = *line.stop;
  if (!(*line.stop >= line.start)) throw MasterError("the stop time lies before the start time");
  const double intervals = (*line.stop - line.start) / h_;
  line.bounded = std::isfinite(intervals);
  line.steps = line.bounded ? static_cast<std::int64_t>(std::ceil(intervals - 1e-9 * intervals))
                            : std::numeric_limits<std::int64_t>::max();
  if (line.bounded) {
    const auto points = static_cast<std::size_t>(line.steps) + 1;
    record_.time.reserve(points);
    for (auto& column : record_.columns) column.reserve(points);
  }
}

// As many threads as asked (by default one per core), as many as there are tasks at most; the
// tasks dealt round until their costs are measured.
unsigned Run::startThreads(RunOutcome& outcome) {
  const unsigned asked = options_.threads != 0 ? options_.threads : std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads = std::max(1u, std::min<unsigned>(asked, static_cast<unsigned>(tasks_.size())));
  outcome.threads = threads;
  shares_.assign(threads, {});
  for (std::size_t i = 0; i < tasks_.size(); ++i) shares_[i % threads].push_back(i);
  if (threads > 1) pool_ = std::make_unique<WorkerPool>(threads);
  choice_ = ThreadChoice(pool_ != nullptr, options_.threads == 0);
  timing_ = choice_.measuring();
  return threads;
}

}  // namespace master::run
