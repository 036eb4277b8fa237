// One run of a loaded system (runSystem in engine.h): the units' buffers and how their inputs are
// fed, the stepping of each communication step on the pool or on the calling thread, and the
// recording of each point. Internal to the engine.
#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine/fmu_unit.h"
#include "engine/step_plan.h"
#include "engine/thread_choice.h"
#include "engine/unit_log.h"
#include "engine/worker_pool.h"

namespace master::run {

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

inline Kind kindOf(VariableType t) {
  return t == VariableType::real ? realKind : t == VariableType::integer ? integerKind : booleanKind;
}

// An output: its kind and its place among the component's outputs of that kind.
using Slot = std::pair<Kind, std::size_t>;
// The slot of each output variable of each component.
using SlotMap = std::map<std::pair<std::size_t, const ModelVariable*>, Slot>;

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
  std::vector<Slot> recorded;  // outputs in description order

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

// The communication points of a run: from `start`, `steps` steps of the communication step
// (unbounded when `untilFinished` and no duration is known).
struct Timeline {
  double start = 0.0;
  std::optional<double> stop;
  bool untilFinished = false;
  bool bounded = true;  // a finite number of steps
  std::int64_t steps = 0;
};

class Run {
 public:
  Run(LoadedSystem& system, const EngineOptions& options, RunRecord& record, const std::vector<RunObserver*>& observers)
      : system_(system), options_(options), record_(record), observers_(observers), log_(options.verbose) {}
  ~Run();

  RunOutcome run();

 private:
  // Setting up (run_setup.cpp).
  void build();
  SlotMap buildOutputs();
  void buildInputs(const SlotMap& slots);
  void planFeedthroughOrder();
  void planTasks();
  void planBonds(const SlotMap& slots);
  void checkStep(RunOutcome& outcome) const;
  void describePlan(RunOutcome& outcome) const;
  Timeline timeline();
  void instantiate();
  void bindValues();
  void initialize(Timeline& line, RunOutcome& outcome);
  unsigned startThreads(RunOutcome& outcome);

  // Stepping (run_stepping.cpp). `base`: the base step within the communication step (0 at the
  // point itself).
  void setInputs(Component& c, int parity, unsigned base = 0);
  static void getOutputs(Component& c, int parity);
  static void stepShare(void* context, unsigned share);
  void evaluateFeedthrough();
  bool awaitFeedthrough() const;
  void stepComponent(Component& c);
  void stepFaster(const Task& task);
  void stepTask(Task& task);
  double realValue(const Source& s, int buffer) const { return components_[s.component].realOut[buffer][s.slot]; }

  // The loop and the recording (run.cpp).
  bool communicationStep(std::int64_t k, const Timeline& line, RunOutcome& outcome);
  bool stopsAt(bool interrupted, RunOutcome& outcome);
  void finish(RunOutcome& outcome, std::chrono::steady_clock::time_point begin);
  std::string balance();
  bool allFinished(int parity) const;
  void recordOnce() noexcept;
  // Appends the point; returns a non-empty message (and sets `status`) when the run must stop
  // there.
  std::string recordPoint(double t, std::size_t point, RunOutcome::Status& status);
  std::string firstNonFinite(double t) const;
  void sumBonds();

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
  ThreadChoice choice_{false, false};
  int parity_ = 0;
  double t_ = 0.0, h_ = 0.0;
  // Whether the tasks' steps are timed: a copy of choice_.measuring() for the workers, set
  // between steps.
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

}  // namespace master::run
