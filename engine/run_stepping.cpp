// Stepping a communication step: the inputs set from the sources' buffers, the units stepped
// (a group that steps faster base step by base step), the outputs read into the next point's
// buffer; the shares of the threads, and the feedthrough evaluation they wait for.
#include <thread>

#include "engine/run.h"

namespace master::run {

void Run::setInputs(Component& c, int parity, unsigned base) {
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

void Run::getOutputs(Component& c, int parity) {
  if (!c.realOut[parity].empty()) c.instance->getReal(c.outVr[realKind].data(), c.realOut[parity].size(), c.realOut[parity].data());
  if (!c.intOut[parity].empty()) c.instance->getInteger(c.outVr[integerKind].data(), c.intOut[parity].size(), c.intOut[parity].data());
  if (!c.boolOut[parity].empty()) c.instance->getBoolean(c.outVr[booleanKind].data(), c.boolOut[parity].size(), c.boolOut[parity].data());
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
    if (timing_) task.costs.addSince(begin);
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

}  // namespace master::run
