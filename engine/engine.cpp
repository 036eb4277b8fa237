#include "engine/engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <limits>
#include <new>
#include <optional>
#include <thread>

#include "engine/conventions.h"
#include "engine/error.h"
#include "engine/feedthrough.h"
#include "engine/fmu_unit.h"
#include "engine/progress_bar.h"
#include "engine/step_plan.h"
#include "engine/unit_log.h"
#include "engine/worker_pool.h"

namespace master {

volatile std::sig_atomic_t stopRequested = 0;

namespace fs = std::filesystem;

std::vector<const ModelDescription*> LoadedSystem::descriptionPointers() const {
  std::vector<const ModelDescription*> out;
  for (const ModelDescription& d : descriptions) out.push_back(&d);
  return out;
}

void applyOverrides(LoadedSystem& s, const std::vector<ValueOverride>& overrides) {
  s.warnings.clear();
  s.coupling = resolveCoupling(s.structure, s.descriptionPointers(), overrides);
  for (const VariableRef& open : s.coupling.openInputs) {
    s.warnings.push_back("input '" + s.structure.components[open.component].name + "." + open.variable->name +
                         "' is neither connected nor bound: it keeps its start value" +
                         (open.variable->start ? " " + *open.variable->start : std::string()));
  }
  for (const CouplingPlan::SystemInput& in : s.coupling.systemInputs) {
    if (!in.sinks.empty()) s.warnings.push_back("system input '" + in.name + "' is supplied by nothing: it holds 0");
  }
  for (const CouplingPlan::SystemParameter& p : s.coupling.systemParameters) {
    if (!p.bound && !p.sinks.empty()) {
      s.warnings.push_back(s.structure.where(p.line) + "system parameter '" + p.name +
                           "' has no value bound: the parameters it connects keep their own start values");
    }
  }
}

LoadedSystem loadSystem(const fs::path& path, const std::vector<ValueOverride>& overrides) {
  LoadedSystem s;
  s.package = std::make_unique<SystemPackage>(path);
  s.structure = readSystemStructure(*s.package);
  s.stepping = readDeclaredStepping(*s.package);
  for (const DeclaredStepping::Group& g : s.stepping.groups) {
    for (const std::string& name : g.components) {
      bool known = false;
      for (const SsdComponent& k : s.structure.components) known |= k.name == name;
      if (!known) {
        throw MasterError(s.stepping.source + ":" + std::to_string(g.line) + ": the system has no component '" + name +
                          "' to step in a group");
      }
    }
  }
  for (const SsdComponent& c : s.structure.components) {
    s.archives.push_back(std::make_unique<ExtractedFmu>(c.fmuFile));
    try {
      s.descriptions.push_back(readModelDescription(s.archives.back()->modelDescriptionFile()));
    } catch (const MasterError& e) {
      throw MasterError("component '" + c.name + "' (" + c.source + "): " + e.what());
    }
  }
  applyOverrides(s, overrides);
  return s;
}

namespace {

// Buffers of one component on cache lines of their own, so that units stepping on different
// threads never write to the same line.
template <typename T>
struct LineAllocator {
  using value_type = T;
  LineAllocator() = default;
  template <typename U>
  LineAllocator(const LineAllocator<U>&) {}
  static std::size_t bytes(std::size_t n) { return (n * sizeof(T) + 63) / 64 * 64 + 64; }
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(bytes(n), std::align_val_t(64))); }
  void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t(64)); }
  bool operator==(const LineAllocator&) const { return true; }
};
template <typename T>
using Lines = std::vector<T, LineAllocator<T>>;

enum Kind : int { realKind, integerKind, booleanKind };

Kind kindOf(VariableType t) {
  return t == VariableType::real ? realKind : t == VariableType::integer ? integerKind : booleanKind;
}

// The seconds a piece of work took at each measured step. The median is its typical cost: on a
// busy machine a step now and then loses its core for a while, which would swamp a sum.
class CostSamples {
 public:
  void add(std::chrono::steady_clock::time_point begin) {
    seconds_.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  }
  void clear() { seconds_.clear(); }
  double median() {
    if (seconds_.empty()) return 0.0;
    const auto middle = seconds_.begin() + static_cast<std::ptrdiff_t>(seconds_.size() / 2);
    std::nth_element(seconds_.begin(), middle, seconds_.end());
    return *middle;
  }

 private:
  std::vector<double> seconds_;
};

// Where an input takes its value: an output slot of a component, in the buffer of the
// current communication point, or (from base step `heldFrom` on, between the points, in a group
// that steps faster) in the buffer of its source's last base step.
struct Source {
  std::size_t component, slot;
  const ValueTransform* transform = nullptr;  // null for a value passed as it is
  unsigned heldFrom = ~0u;
};

// Buffers of the outputs: the current and the next communication point by parity, and the last
// base step of a component in a group that steps faster than the communication step.
constexpr int heldBuffer = 2;

struct alignas(64) Component {
  std::string name;
  std::unique_ptr<FmuLibrary> library;
  std::unique_ptr<FmuInstance> instance;

  Lines<fmi2ValueReference> outVr[3];
  Lines<double> realOut[3];  // [parity], [heldBuffer]
  Lines<int> intOut[3], boolOut[3];
  std::vector<std::pair<Kind, std::size_t>> recorded;  // outputs in description order

  Lines<fmi2ValueReference> inVr[3];
  std::vector<Source> inSource[3];
  Lines<double> realIn;
  Lines<int> intIn, boolIn;

  bool fedThrough = false;
  // Evaluated for direct feedthrough, or fed by a component that is: it steps only after the
  // feedthrough evaluation of the point.
  bool awaitsFeedthrough = false;
  std::exception_ptr failure;
};

// A power bond's two outputs and what the coupling error estimate sums over it; written by the
// thread that steps the bond's group, or by the one recording the point.
struct alignas(64) Bond {
  Source effort, flow;
  int task = -1;  // the group stepping both sides, else -1: they exchange at the points
  bool started = false;
  double lastEffort = 0.0, lastFlow = 0.0;
  double residual = 0.0, transferred = 0.0;

  void add(double e0, double f0, double e1, double f1, double h) {
    residual += 0.5 * h * std::fabs(f0 * e1 - e0 * f1);
    transferred += 0.5 * h * (std::fabs(e0 * f0) + std::fabs(e1 * f1));
  }
};

// What one thread steps as a whole: one component, or a group that steps faster than the
// communication step (its members exchange values at every base step, so they step together).
struct Task {
  std::vector<std::size_t> members;
  unsigned baseSteps = 1;  // per communication step
  bool awaitsFeedthrough = false;
  CostSamples costs;  // of its steps, setting the inputs and reading the outputs included
  double cost = 0.0;  // their median, seconds per step
};

class Run {
 public:
  Run(LoadedSystem& system, const EngineOptions& options, RunRecord& record, const std::vector<RunObserver*>& observers)
      : system_(system), options_(options), record_(record), observers_(observers), log_(options.verbose) {}
  ~Run() {
    // The workers stop first (a run that fails while they step waits for them here); then the
    // instances go before their libraries, all of them before the unpacked archives.
    pool_.reset();
    for (Component& c : components_) c.instance.reset();
  }

  RunOutcome run();

 private:
  void checkStep(RunOutcome& outcome) const;
  void build();
  void instantiate();
  void initialize(double start, std::optional<double> stop);
  // `base`: the base step within the communication step (0 at the point itself).
  void setInputs(Component& c, int parity, unsigned base = 0) {
    for (std::size_t i = 0; i < c.inSource[realKind].size(); ++i) {
      const Source& s = c.inSource[realKind][i];
      c.realIn[i] = components_[s.component].realOut[base >= s.heldFrom ? heldBuffer : parity][s.slot];
      if (s.transform != nullptr) c.realIn[i] = s.transform->apply(c.realIn[i]);
    }
    for (std::size_t i = 0; i < c.inSource[integerKind].size(); ++i) {
      const Source& s = c.inSource[integerKind][i];
      c.intIn[i] = components_[s.component].intOut[base >= s.heldFrom ? heldBuffer : parity][s.slot];
      if (s.transform != nullptr) c.intIn[i] = s.transform->apply(c.intIn[i]);
    }
    for (std::size_t i = 0; i < c.inSource[booleanKind].size(); ++i) {
      const Source& s = c.inSource[booleanKind][i];
      c.boolIn[i] = components_[s.component].boolOut[base >= s.heldFrom ? heldBuffer : parity][s.slot];
      if (s.transform != nullptr) c.boolIn[i] = s.transform->apply(c.boolIn[i] != 0 ? 1 : 0);
    }
    if (!c.realIn.empty()) c.instance->setReal(c.inVr[realKind].data(), c.realIn.size(), c.realIn.data());
    if (!c.intIn.empty()) c.instance->setInteger(c.inVr[integerKind].data(), c.intIn.size(), c.intIn.data());
    if (!c.boolIn.empty()) c.instance->setBoolean(c.inVr[booleanKind].data(), c.boolIn.size(), c.boolIn.data());
  }
  static void getOutputs(Component& c, int parity) {
    if (!c.realOut[parity].empty()) c.instance->getReal(c.outVr[realKind].data(), c.realOut[parity].size(), c.realOut[parity].data());
    if (!c.intOut[parity].empty()) c.instance->getInteger(c.outVr[integerKind].data(), c.intOut[parity].size(), c.intOut[parity].data());
    if (!c.boolOut[parity].empty()) c.instance->getBoolean(c.outVr[booleanKind].data(), c.boolOut[parity].size(), c.boolOut[parity].data());
  }
  double value(const Component& c, std::pair<Kind, std::size_t> slot, int parity) const {
    switch (slot.first) {
      case realKind: return c.realOut[parity][slot.second];
      case integerKind: return static_cast<double>(c.intOut[parity][slot.second]);
      default: return c.boolOut[parity][slot.second] != 0 ? 1.0 : 0.0;
    }
  }
  static void stepShare(void* context, unsigned share);
  void evaluateFeedthrough();
  bool awaitFeedthrough() const;
  void stepComponent(Component& c);
  void stepFaster(const Task& task);
  void planBonds(const std::map<std::pair<std::size_t, const ModelVariable*>, std::pair<Kind, std::size_t>>& slots);
  double realValue(const Source& s, int buffer) const { return components_[s.component].realOut[buffer][s.slot]; }
  void stepTask(Task& task);
  void recordOnce() noexcept;
  std::string balance();
  bool allFinished(int parity) const;
  // Appends the point; returns a non-empty message (and sets `status`) when the run must stop
  // there.
  std::string recordPoint(double t, std::size_t point, RunOutcome::Status& status);

  LoadedSystem& system_;
  const EngineOptions& options_;
  RunRecord& record_;
  const std::vector<RunObserver*>& observers_;
  UnitLog log_;
  std::vector<Component> components_;
  std::vector<std::size_t> feedthroughOrder_;
  std::vector<std::vector<std::size_t>> feedthroughLoops_;
  CostSamples serialCosts_;       // of recording and observing a point
  CostSamples feedthroughCosts_;  // of the feedthrough evaluation of a point
  std::vector<std::pair<std::size_t, std::size_t>> finishedFlags_;  // component, Boolean slot
  bool finishedByFeedthrough_ = false;  // a flag of a component evaluated for feedthrough
  std::vector<Task> tasks_;
  std::vector<Bond> bonds_;
  std::vector<std::vector<std::size_t>> shares_;  // tasks of each thread
  StepPlan stepPlan_;
  std::unique_ptr<WorkerPool> pool_;
  int parity_ = 0;
  double t_ = 0.0, h_ = 0.0;
  bool timing_ = false;
  // While the units step side by side, the current point is recorded by the first thread done
  // with its share: recording fills the wait of whichever thread would otherwise wait. The claim
  // holds the last point taken; the outcome waits here for the calling thread.
  alignas(64) std::atomic<std::int64_t> recordClaim_{-1};
  std::int64_t point_ = 0;
  // The last point whose feedthrough evaluation the calling thread has done, and whether it
  // failed: meanwhile the workers step the components that need nothing of it.
  alignas(64) std::atomic<std::int64_t> evaluatedPoint_{-1};
  std::atomic<bool> evaluationFailed_{false};
  RunOutcome::Status recordStatus_ = RunOutcome::Status::ok;
  std::string recordMessage_;
  std::exception_ptr recordFailure_;
};

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

void Run::build() {
  const std::size_t n = system_.descriptions.size();
  components_ = std::vector<Component>(n);
  std::map<std::pair<std::size_t, const ModelVariable*>, std::pair<Kind, std::size_t>> slots;
  for (std::size_t i = 0; i < n; ++i) {
    Component& c = components_[i];
    c.name = system_.structure.components[i].name;
    const ModelDescription& md = system_.descriptions[i];
    for (const ModelVariable& v : md.variables) {
      if (v.causality == Causality::parameter && v.start) record_.startValues[c.name + "." + v.name] = *v.start;
      if (v.causality != Causality::output) continue;
      if (v.type != VariableType::real && v.type != VariableType::integer && v.type != VariableType::boolean) continue;
      const Kind k = kindOf(v.type);
      const std::pair<Kind, std::size_t> slot{k, c.outVr[k].size()};
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
  record_.columns.assign(record_.variables.size(), {});

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
  planBonds(slots);
}

// Each declared power bond: a Real output of one component feeding the other, and a Real output
// of that one feeding the first.
void Run::planBonds(const std::map<std::pair<std::size_t, const ModelVariable*>, std::pair<Kind, std::size_t>>& slots) {
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

void Run::instantiate() {
  // One after the other: instantiation of a unit's library must not overlap another.
  for (std::size_t i = 0; i < components_.size(); ++i) {
    Component& c = components_[i];
    const ModelDescription& md = system_.descriptions[i];
    c.library = std::make_unique<FmuLibrary>(system_.archives[i]->binaryFile(md.modelIdentifier));
    if (options_.libraryLoaded != nullptr) options_.libraryLoaded(*c.library);
    c.instance = std::make_unique<FmuInstance>(*c.library, c.name, md, fileUri(system_.archives[i]->resourcesFolder()), log_);
  }
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

void Run::initialize(double start, std::optional<double> stop) {
  for (Component& c : components_) c.instance->setupExperiment(start, stop);
  for (Component& c : components_) c.instance->enterInitializationMode();
  // In initialisation every get recomputes the outputs: as many passes as components carry a
  // value along any chain of them.
  for (std::size_t pass = 0; pass < components_.size(); ++pass) {
    for (Component& c : components_) getOutputs(c, 0);
    for (Component& c : components_) setInputs(c, 0);
  }
  for (Component& c : components_) getOutputs(c, 0);
  for (Component& c : components_) c.instance->exitInitializationMode();
}

void Run::stepComponent(Component& c) {
  if (!c.fedThrough) setInputs(c, parity_);
  c.instance->doStep(t_, h_);
  // A component evaluated for direct feedthrough has its outputs read at the next point anyway,
  // after its new inputs are set, before anything uses them: reading them here too is a waste.
  if (!c.fedThrough) getOutputs(c, parity_ ^ 1);
}

// A group that steps faster than the communication step, base step by base step: at each, every
// member takes its inputs first (its group's values of the last base step, the others' held from
// the communication point; Jacobi), then every member steps. Outputs before the next
// communication point go into the held buffer, those at it into the next point's buffer.
void Run::stepFaster(const Task& task) {
  const unsigned baseSteps = task.baseSteps;
  const double base = h_ / static_cast<double>(baseSteps);
  const int index = static_cast<int>(&task - tasks_.data());
  for (unsigned j = 0; j < baseSteps; ++j) {
    for (std::size_t i : task.members) setInputs(components_[i], parity_, j);
    const double t = t_ + static_cast<double>(j) * base;
    const int now = j == 0 ? parity_ : heldBuffer, next = j + 1 == baseSteps ? parity_ ^ 1 : heldBuffer;
    for (Bond& b : bonds_) {
      if (b.task == index) b.lastEffort = realValue(b.effort, now), b.lastFlow = realValue(b.flow, now);
    }
    for (std::size_t i : task.members) {
      Component& c = components_[i];
      c.instance->doStep(t, base);
      getOutputs(c, next);
    }
    for (Bond& b : bonds_) {
      if (b.task == index) b.add(b.lastEffort, b.lastFlow, realValue(b.effort, next), realValue(b.flow, next), base);
    }
  }
}

void Run::stepTask(Task& task) {
  Component& first = components_[task.members.front()];
  try {
    const auto begin = timing_ ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    if (task.baseSteps > 1) {
      stepFaster(task);
    } else {
      stepComponent(first);
    }
    if (timing_) task.costs.add(begin);
  } catch (...) {
    first.failure = std::current_exception();
  }
}

void Run::stepShare(void* context, unsigned share) {
  Run& run = *static_cast<Run*>(context);
  for (std::size_t i : run.shares_[share]) {
    Task& task = run.tasks_[i];
    if (run.components_[task.members.front()].failure) break;
    if (task.awaitsFeedthrough && !run.awaitFeedthrough()) break;
    run.stepTask(task);
  }
  run.recordOnce();
}

// Sets the inputs of the components with direct feedthrough and reads their outputs at the
// current point, in dependency order, then lets the components that wait for them step. A unit
// that fails here still releases the waiting threads (they step nothing more) before the error
// goes on.
void Run::evaluateFeedthrough() {
  try {
    for (std::size_t i : feedthroughOrder_) {
      setInputs(components_[i], parity_);
      getOutputs(components_[i], parity_);
    }
  } catch (...) {
    evaluationFailed_.store(true, std::memory_order_relaxed);
    evaluatedPoint_.store(point_, std::memory_order_release);
    throw;
  }
  evaluatedPoint_.store(point_, std::memory_order_release);
}

// Waits until the calling thread has evaluated this point's feedthrough (it does so right after
// starting the workers, in well under a microsecond); false if that evaluation failed.
bool Run::awaitFeedthrough() const {
  for (int spins = 0; evaluatedPoint_.load(std::memory_order_acquire) != point_; ++spins) {
    if (spins < 4096) {
      pauseBriefly();
    } else {
      std::this_thread::yield();
    }
  }
  return !evaluationFailed_.load(std::memory_order_relaxed);
}

// Records the current point unless another thread has taken it; the point's values are complete
// once its feedthrough evaluation is done.
void Run::recordOnce() noexcept {
  if (!awaitFeedthrough()) return;
  std::int64_t previous = point_ - 1;
  if (!recordClaim_.compare_exchange_strong(previous, point_, std::memory_order_acq_rel)) return;
  try {
    recordMessage_ = recordPoint(t_, static_cast<std::size_t>(point_), recordStatus_);
  } catch (...) {
    recordFailure_ = std::current_exception();
  }
}

constexpr std::int64_t measuredSteps = 200;

// The split of the components over the shares that ends the step soonest: the largest load, share
// 0 starting with `ownLoad` (what the calling thread does before its share), and `floating` (the
// recording of the point) going to the share done first. Every assignment is tried when there are
// few (two threads and a dozen components: some thousands), else the longest cost goes first to
// the least loaded share. Returns the share of each component.
std::vector<unsigned> splitByCost(const std::vector<double>& costs, unsigned shares, double ownLoad, double floating) {
  const std::size_t n = costs.size();
  std::vector<unsigned> best(n, 0), trial(n, 0);
  std::vector<double> load(shares);
  auto stepEnd = [&] {
    const auto [least, largest] = std::minmax_element(load.begin(), load.end());
    return std::max(*largest, *least + floating);
  };
  const double assignments = std::pow(static_cast<double>(shares), static_cast<double>(n));
  if (assignments <= 65536.0) {
    double bestEnd = std::numeric_limits<double>::infinity();
    for (auto count = static_cast<long>(assignments); count > 0; --count) {
      std::fill(load.begin(), load.end(), 0.0);
      load[0] = ownLoad;
      for (std::size_t i = 0; i < n; ++i) load[trial[i]] += costs[i];
      const double end = stepEnd();
      if (end < bestEnd) bestEnd = end, best = trial;
      for (std::size_t i = 0; i < n && ++trial[i] == shares; ++i) trial[i] = 0;  // the next assignment
    }
    return best;
  }
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return costs[a] > costs[b]; });
  std::fill(load.begin(), load.end(), 0.0);
  load[0] = ownLoad;
  for (std::size_t i : order) {
    best[i] = static_cast<unsigned>(std::min_element(load.begin(), load.end()) - load.begin());
    load[best[i]] += costs[i];
  }
  return best;
}

// Shares from the costs measured over the first steps.
std::string Run::balance() {
  std::vector<double> costs;
  for (Task& t : tasks_) costs.push_back(t.cost = t.costs.median());
  const double recording = serialCosts_.median();
  const double feedthrough = feedthroughCosts_.median();
  const std::vector<unsigned> share =
      splitByCost(costs, static_cast<unsigned>(shares_.size()), feedthrough, recording);
  for (auto& s : shares_) s.clear();
  for (std::size_t i = 0; i < tasks_.size(); ++i) shares_[share[i]].push_back(i);
  // In each share the components that need nothing of the feedthrough evaluation go first.
  for (auto& s : shares_) {
    std::stable_partition(s.begin(), s.end(), [&](std::size_t i) { return !tasks_[i].awaitsFeedthrough; });
  }
  std::string text = "threads' shares by measured cost (ns per step), the first after the feedthrough evaluation " +
                     std::to_string(static_cast<long>(feedthrough * 1e9)) + ", recording " +
                     std::to_string(static_cast<long>(recording * 1e9)) + " by the first done:";
  for (auto& s : shares_) {
    text += " [";
    for (std::size_t i : s) {
      std::string names;
      for (std::size_t m : tasks_[i].members) names += (names.empty() ? "" : "+") + components_[m].name;
      text += (text.back() == '[' ? "" : ", ") + names + " " + std::to_string(static_cast<long>(tasks_[i].cost * 1e9));
    }
    text += "]";
  }
  return text;
}

bool Run::allFinished(int parity) const {
  if (finishedFlags_.empty()) return false;
  for (const auto& [component, slot] : finishedFlags_) {
    if (components_[component].boolOut[parity][slot] == 0) return false;
  }
  return true;
}

std::string Run::recordPoint(double t, std::size_t point, RunOutcome::Status& status) {
  record_.time.push_back(t);
  std::size_t column = 0;
  bool finite = true;
  for (const Component& c : components_) {
    for (const auto& slot : c.recorded) {
      const double v = value(c, slot, parity_);
      record_.columns[column++].push_back(v);
      finite &= std::isfinite(v);
    }
  }
  if (!finite && !options_.allowNonFinite) {
    // The first column that is not finite, in the components' order.
    column = 0;
    while (std::isfinite(record_.columns[column].back())) ++column;
    const double v = record_.columns[column].back();
    char text[64];
    std::snprintf(text, sizeof text, " at t = %.17g s", t);
    status = RunOutcome::Status::nonFinite;
    return record_.variables[column].component + "." + record_.variables[column].name + " is " +
           (std::isnan(v) ? "NaN" : "infinite") + text + " (--allow-non-finite goes on)";
  }
  for (Bond& b : bonds_) {
    if (b.task >= 0) continue;
    const double e = realValue(b.effort, parity_), f = realValue(b.flow, parity_);
    if (b.started) b.add(b.lastEffort, b.lastFlow, e, f, h_);
    b.started = true;
    b.lastEffort = e;
    b.lastFlow = f;
  }
  for (RunObserver* o : observers_) {
    std::string message = o->check(record_, point);
    if (!message.empty()) {
      status = RunOutcome::Status::healthCheckFailed;
      return message;
    }
  }
  return {};
}

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

RunOutcome Run::run() {
  RunOutcome outcome;
  if (!(options_.step > 0.0) || !std::isfinite(options_.step)) throw MasterError("the communication step must be a positive time");
  build();
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
  const SystemStructure& s = system_.structure;
  const double start = options_.startTime.value_or(s.startTime.value_or(0.0));
  std::optional<double> stop = options_.stopTime ? options_.stopTime : s.stopTime;
  h_ = options_.step;
  // Checked before any unit is instantiated, so that no unit's own refusal of a start time
  // comes first.
  if (stop && !(*stop >= start)) {
    char text[160];
    std::snprintf(text, sizeof text, "the stop time %g s lies before the start time %g s", *stop, start);
    throw MasterError(text);
  }
  record_.systemFile = system_.package->path();
  record_.systemName = s.name;
  record_.startTime = start;
  record_.communicationStep = h_;

  instantiate();
  // A system without a stop time runs until its components report the end: the largest Real
  // calculated parameter `duration`, or earlier when every Boolean output `finished` is true.
  initialize(start, stop);
  const bool untilFinished = !stop;
  if (untilFinished) {
    const double duration = durationParameter(system_, components_);
    if (!(duration > 0.0) && finishedFlags_.empty()) {
      throw MasterError("no stop time: give --stop-time, or a DefaultExperiment stopTime in the system");
    }
    stop = duration > 0.0 ? start + duration : std::numeric_limits<double>::infinity();
  }
  outcome.stopTime = *stop;
  if (!(*stop >= start)) throw MasterError("the stop time lies before the start time");
  const double intervals = (*stop - start) / h_;
  const std::int64_t steps = std::isfinite(intervals)
                                 ? static_cast<std::int64_t>(std::ceil(intervals - 1e-9 * intervals))
                                 : std::numeric_limits<std::int64_t>::max();

  const unsigned threads = std::max(1u, std::min<unsigned>(options_.threads != 0 ? options_.threads
                                                                                  : std::max(1u, std::thread::hardware_concurrency()),
                                                           static_cast<unsigned>(tasks_.size())));
  outcome.threads = threads;  // as many as there are tasks at most
  shares_.assign(threads, {});
  for (std::size_t i = 0; i < tasks_.size(); ++i) shares_[i % threads].push_back(i);
  if (threads > 1) pool_ = std::make_unique<WorkerPool>(threads);
  if (std::isfinite(intervals)) {
    const auto points = static_cast<std::size_t>(steps) + 1;
    record_.time.reserve(points);
    for (auto& column : record_.columns) column.reserve(points);
  }
  for (RunObserver* o : observers_) o->start(record_);

  // Balanced once from the cost each unit's steps took over the first steps.
  timing_ = threads > 1;
  // With the default thread count the pool must earn its place: on a machine busy with other
  // work a worker may not run when its share is due, and waiting for it costs more than the
  // step. Windows of steps on the pool and on the calling thread alone are tried in turn and the
  // faster way is kept for a while; the results are the same either way. Every step of a trial
  // is timed and the medians decide, so that a moment in which the machine took a core away
  // does not decide for the whole window.
  const bool adaptive = pool_ && options_.threads == 0;
  // The pool is kept for long, the calling thread alone only briefly: on an idle machine the pool
  // wins, and a trial that a passing load made it lose is soon tried again.
  constexpr std::int64_t trialSteps = 100, poolKept = 30000, aloneKept = 3000;
  std::int64_t keptSteps = poolKept;
  CostSamples poolSteps, aloneSteps;
  // The costs are measured on the calling thread alone, where a busy machine does not distort
  // them with waiting.
  bool parallel = false;
  std::int64_t windowStart = measuredSteps;
  ProgressBar bar(std::isfinite(intervals) ? steps : 0, options_.progress && std::isfinite(intervals));
  log_.attach(&bar);
  const auto begin = std::chrono::steady_clock::now();
  for (std::int64_t k = 0;; ++k) {
    const bool trialStep = adaptive && k >= windowStart && k < windowStart + 2 * trialSteps;
    const auto stepBegin = trialStep ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    t_ = start + static_cast<double>(k) * h_;
    point_ = k;
    const bool interrupted = stopRequested != 0 || (options_.keepGoing && !options_.keepGoing());
    // The workers start before the feedthrough evaluation, with the components that need nothing
    // of it, whenever it is known before it that the run goes on.
    const bool early = parallel && !interrupted && k != steps && !finishedByFeedthrough_ &&
                       !(untilFinished && allFinished(parity_));
    if (early) pool_->start(&Run::stepShare, this);
    const auto feedthroughBegin = timing_ ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    evaluateFeedthrough();
    if (timing_) feedthroughCosts_.add(feedthroughBegin);
    const bool last = k == steps || (untilFinished && allFinished(parity_));
    if (!last && !interrupted && parallel) {
      if (!early) pool_->start(&Run::stepShare, this);
      pool_->finish();
    } else {
      // Alone, the point is recorded first (timed while the costs are measured), then every
      // share steps.
      const auto serialBegin = timing_ ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
      recordOnce();
      if (timing_) serialCosts_.add(serialBegin);
      if (!last && !interrupted) {
        for (unsigned s = 0; s < shares_.size(); ++s) stepShare(this, s);
      }
    }
    if (recordFailure_) std::rethrow_exception(recordFailure_);
    for (Component& c : components_) {
      if (c.failure) std::rethrow_exception(c.failure);
    }
    std::string stopMessage = std::move(recordMessage_);
    recordMessage_.clear();
    if (!stopMessage.empty()) outcome.status = recordStatus_;
    if (interrupted) {
      outcome.status = RunOutcome::Status::interrupted;
      char text[80];
      std::snprintf(text, sizeof text, "interrupted at t = %g s", t_);
      stopMessage = text;
    }
    if (!stopMessage.empty()) {
      outcome.message = stopMessage;
      break;
    }
    if (last) break;
    parity_ ^= 1;
    if (timing_ && k + 1 == measuredSteps) {
      timing_ = false;
      outcome.notes.push_back(balance());
      parallel = pool_ != nullptr;
    }
    if (trialStep) (parallel ? poolSteps : aloneSteps).add(stepBegin);
    if (adaptive && k + 1 > measuredSteps) {
      const std::int64_t inWindow = k + 1 - windowStart;
      if (inWindow == trialSteps) {  // the pool's trial is over: now alone
        parallel = false;
      } else if (inWindow == 2 * trialSteps) {  // both timed: keep the faster
        parallel = poolSteps.median() < aloneSteps.median();
        keptSteps = parallel ? poolKept : aloneKept;
        poolSteps.clear();
        aloneSteps.clear();
      } else if (inWindow == 2 * trialSteps + keptSteps) {  // and try again
        windowStart = k + 1;
        parallel = true;
      }
    }
    bar.update(k + 1, t_ + h_);
  }
  pool_.reset();
  // Every unit is owed its fmi2Terminate, whichever way the run ended; one that failed gets it
  // when its instance goes, if its state allows it.
  for (Component& c : components_) c.instance->terminate();
  record_.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  for (std::size_t i = 0; i < bonds_.size(); ++i) {
    record_.couplingErrors[i].residual = bonds_[i].residual;
    record_.couplingErrors[i].transferred = bonds_[i].transferred;
  }
  record_.interrupted = outcome.status == RunOutcome::Status::interrupted;
  bar.clear();
  log_.attach(nullptr);
  return outcome;
}

}  // namespace

RunOutcome runSystem(LoadedSystem& system, const EngineOptions& options, RunRecord& record,
                     const std::vector<RunObserver*>& observers) {
  return Run(system, options, record, observers).run();
}

}  // namespace master
