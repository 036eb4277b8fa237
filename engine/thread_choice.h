// How a run uses its threads: which thread steps which units (shares split by the cost each
// unit's steps took), and whether the worker pool steps them at all or the calling thread does it
// alone, tried again now and then. Neither choice changes a result, only how soon it comes.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace master {

// The seconds a piece of work took at each measured step. The median is its typical cost: on a
// busy machine a step now and then loses its core for a while, which would swamp a sum.
class CostSamples {
 public:
  void add(double seconds) { seconds_.push_back(seconds); }
  void addSince(std::chrono::steady_clock::time_point begin) {
    add(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  }
  void clear() { seconds_.clear(); }
  double median();

 private:
  std::vector<double> seconds_;
};

// The split of the tasks over the shares that ends the step soonest: the largest load, share 0
// starting with `ownLoad` (what the calling thread does before its share), and `floating` (the
// recording of the point) going to the share done first. Every assignment is tried when there are
// at most `exhaustiveAssignments` (two threads and a dozen tasks: some thousands), else the
// longest cost goes first to the least loaded share. Returns the share of each task.
inline constexpr double exhaustiveAssignments = 65536.0;
std::vector<unsigned> splitByCost(const std::vector<double>& costs, unsigned shares, double ownLoad, double floating);

// The steps of a run on the pool: the first `measuredSteps` run on the calling thread alone with
// every task timed (a busy machine does not distort them with waiting there); then the shares are
// split by those costs and the pool steps them. With the default thread count the pool must also
// earn its place: on a machine busy with other work a worker may not run when its share is due,
// and waiting for it costs more than the step. So a window of `trialSteps` on the pool and one of
// `trialSteps` alone are timed, step by step, and the faster way (by the medians, so that a moment
// in which the machine took a core away does not decide) is kept: the pool for `poolKept` steps,
// the calling thread alone only for `aloneKept`, since on an idle machine the pool wins and a
// trial that a passing load made it lose is soon tried again. Then the next window.
class ThreadChoice {
 public:
  static constexpr std::int64_t measuredSteps = 200;  // 2 s at the default step
  static constexpr std::int64_t trialSteps = 100;
  static constexpr std::int64_t poolKept = 30000;
  static constexpr std::int64_t aloneKept = 3000;

  // `pool`: the run has a worker pool; `adaptive`: it was not told how many threads to use.
  ThreadChoice(bool pool, bool adaptive) : measuring_(pool), adaptive_(pool && adaptive) {}

  // The tasks' costs are being measured (every task's step is timed).
  bool measuring() const { return measuring_; }
  // The pool steps this step; else the calling thread alone.
  bool parallel() const { return parallel_; }
  // Step k is timed as part of a trial.
  bool timed(std::int64_t k) const { return adaptive_ && k >= windowStart_ && k < windowStart_ + 2 * trialSteps; }
  // Step k is over, having taken `seconds` (read only when timed(k)). True when the costs have
  // just been measured in full: the caller splits the shares before the next step.
  bool stepDone(std::int64_t k, double seconds);

 private:
  bool measuring_;
  bool adaptive_;
  bool parallel_ = false;
  std::int64_t windowStart_ = measuredSteps;
  std::int64_t keptSteps_ = poolKept;
  CostSamples poolSteps_, aloneSteps_;
};

}  // namespace master
