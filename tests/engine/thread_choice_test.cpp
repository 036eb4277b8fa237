// The choice of threads and shares: the split of measured costs, and the windows in which the
// pool and the calling thread alone are tried against each other.
#include "engine/thread_choice.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using master::ThreadChoice;

std::vector<double> loads(const std::vector<double>& costs, const std::vector<unsigned>& share, unsigned shares,
                          double ownLoad) {
  std::vector<double> load(shares, 0.0);
  load[0] = ownLoad;
  for (std::size_t i = 0; i < costs.size(); ++i) load[share[i]] += costs[i];
  return load;
}

TEST(SplitByCost, FewTasksGetTheBestSplitWithTheCallersOwnLoadAndTheRecording) {
  // Greedy (longest first) would put 3+2 against 3+2+2; the best is 3+3 against 2+2+2.
  const std::vector<double> costs{3, 3, 2, 2, 2};
  auto load = loads(costs, master::splitByCost(costs, 2, 0.0, 0.0), 2, 0.0);
  EXPECT_DOUBLE_EQ(std::max(load[0], load[1]), 6.0);
  // The calling thread's own work before its share counts on share 0.
  load = loads({4, 4}, master::splitByCost({4, 4}, 2, 3.0, 0.0), 2, 3.0);
  EXPECT_EQ(load, (std::vector<double>{7.0, 4.0}));
  // The recording goes to whichever share is done first: {5} against {1, 1} plus 3 of recording
  // ends at 5, before {5, 1} against {1}.
  const std::vector<unsigned> share = master::splitByCost({5, 1, 1}, 2, 0.0, 3.0);
  EXPECT_NE(share[0], share[1]);
  EXPECT_EQ(share[1], share[2]);
  // Every task goes to some share, one share or many.
  for (unsigned shares : {1u, 3u}) {
    for (unsigned s : master::splitByCost(costs, shares, 0.0, 0.0)) EXPECT_LT(s, shares);
  }
}

TEST(SplitByCost, ManyTasksGoLongestFirstToTheLeastLoadedShare) {
  // 2^20 assignments: too many to try.
  std::vector<double> costs(20);
  std::iota(costs.begin(), costs.end(), 1.0);
  const auto share = master::splitByCost(costs, 2, 0.0, 0.0);
  const auto load = loads(costs, share, 2, 0.0);
  EXPECT_DOUBLE_EQ(load[0] + load[1], 210.0);
  EXPECT_LE(std::abs(load[0] - load[1]), 20.0);  // within the largest cost
  EXPECT_EQ(share[19], 0u);                       // the longest first, to share 0
  EXPECT_EQ(share[18], 1u);
}

// Runs `steps` steps; the pool's steps take `poolSeconds`, the calling thread's alone
// `aloneSeconds`. Returns how many steps ran on the pool, and checks the measuring phase.
std::int64_t poolStepsOf(ThreadChoice& choice, std::int64_t steps, double poolSeconds, double aloneSeconds) {
  std::int64_t onPool = 0;
  for (std::int64_t k = 0; k < steps; ++k) {
    EXPECT_EQ(choice.measuring(), k < ThreadChoice::measuredSteps) << k;
    if (k < ThreadChoice::measuredSteps) {
      EXPECT_FALSE(choice.parallel()) << k;
    }
    onPool += choice.parallel();
    const bool measured = choice.stepDone(k, choice.parallel() ? poolSeconds : aloneSeconds);
    EXPECT_EQ(measured, k + 1 == ThreadChoice::measuredSteps) << k;
  }
  return onPool;
}

TEST(ThreadChoice, WithoutAPoolNothingIsMeasuredOrTried) {
  ThreadChoice alone(false, true);
  for (std::int64_t k = 0; k < 1000; ++k) {
    EXPECT_FALSE(alone.measuring() || alone.parallel() || alone.timed(k));
    EXPECT_FALSE(alone.stepDone(k, 1.0));
  }
}

TEST(ThreadChoice, AGivenThreadCountKeepsThePoolAfterTheMeasuredSteps) {
  ThreadChoice given(true, false);
  const std::int64_t steps = 50000;
  EXPECT_EQ(poolStepsOf(given, steps, 2.0, 1.0), steps - ThreadChoice::measuredSteps);
  EXPECT_FALSE(given.timed(ThreadChoice::measuredSteps));
}

TEST(ThreadChoice, TheDefaultKeepsTheFasterWayAndTriesAgain) {
  using T = ThreadChoice;
  const std::int64_t window = 2 * T::trialSteps;
  {
    // The pool faster: after its trial and one alone, the pool for poolKept steps, then the next
    // window.
    ThreadChoice choice(true, true);
    const std::int64_t steps = T::measuredSteps + window + T::poolKept + window;
    EXPECT_EQ(poolStepsOf(choice, steps, 1.0, 2.0), T::trialSteps + T::poolKept + T::trialSteps);
    EXPECT_TRUE(choice.parallel());  // kept again
  }
  {
    // Alone faster: kept only aloneKept steps before the pool is tried again.
    ThreadChoice choice(true, true);
    const std::int64_t steps = T::measuredSteps + window + T::aloneKept;
    EXPECT_EQ(poolStepsOf(choice, steps, 2.0, 1.0), T::trialSteps);
    EXPECT_TRUE(choice.parallel());  // the next window begins on the pool
    EXPECT_TRUE(choice.timed(steps));
    EXPECT_FALSE(choice.timed(steps - 1));
  }
  {
    // A step the machine took the core away from does not decide: the medians do.
    ThreadChoice choice(true, true);
    std::int64_t k = 0;
    for (; k < T::measuredSteps; ++k) choice.stepDone(k, 1.0);
    for (; k < T::measuredSteps + window; ++k) {
      const bool slowOnce = k == T::measuredSteps + 5;
      choice.stepDone(k, choice.parallel() ? (slowOnce ? 1000.0 : 1.0) : 2.0);
    }
    EXPECT_TRUE(choice.parallel());
  }
}

}  // namespace
