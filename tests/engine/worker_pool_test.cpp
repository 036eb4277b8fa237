// The worker pool on its own: every share of a step runs exactly once, whoever claims it (its
// worker, or the calling thread taking over a worker that has not begun), what a share wrote is
// seen by the caller after finish(), and the pool stops cleanly whether it stepped or not. Run
// under ThreadSanitizer too, where a missing ordering between the hand-over and the shares'
// plain writes is reported as a race.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <thread>
#include <vector>

#include "engine/worker_pool.h"

namespace {

using master::WorkerPool;

// The work of one step: each share writes its own slots with plain (non-atomic) stores, which
// the caller then reads.
struct Step {
  std::vector<unsigned> runs;          // how often each share ran in this step
  std::vector<std::uint64_t> written;  // the value each share wrote
  std::uint64_t value = 0;             // what this step asks each share to write
  std::vector<std::thread::id> by;     // the thread that ran each share
};

void runShare(void* context, unsigned share) {
  auto& step = *static_cast<Step*>(context);
  ++step.runs[share];
  step.written[share] = step.value + share;
  step.by[share] = std::this_thread::get_id();
}

// Steps the pool `steps` times; `pause` between steps lets the workers fall asleep on the epoch,
// so that the calling thread takes over their shares.
void stepAndCheck(unsigned threads, int steps, std::chrono::microseconds pause, int* takenOver = nullptr) {
  WorkerPool pool(threads);
  ASSERT_EQ(pool.threads(), threads);
  Step step{std::vector<unsigned>(threads), std::vector<std::uint64_t>(threads), 0,
            std::vector<std::thread::id>(threads)};
  for (int k = 0; k < steps; ++k) {
    std::fill(step.runs.begin(), step.runs.end(), 0u);
    step.value = static_cast<std::uint64_t>(k) * 1000;
    pool.start(runShare, &step);
    pool.finish();
    for (unsigned s = 0; s < threads; ++s) {
      ASSERT_EQ(step.runs[s], 1u) << "share " << s << " of step " << k;
      ASSERT_EQ(step.written[s], step.value + s) << "share " << s << " of step " << k;
      if (takenOver && s > 0 && step.by[s] == std::this_thread::get_id()) ++*takenOver;
    }
    EXPECT_EQ(step.by[0], std::this_thread::get_id());
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
  }
}

TEST(WorkerPool, RunsEveryShareOnceAndHandsItsWritesToTheCaller) {
  for (unsigned threads : {1u, 2u, 4u}) {
    SCOPED_TRACE(threads);
    stepAndCheck(threads, 20000, std::chrono::microseconds(0));
  }
}

// After a pause the workers sleep, so the calling thread usually claims their shares itself; a
// worker that wakes late must find its share taken and not run it a second time, nor run it in
// the next step.
TEST(WorkerPool, ACallerTakingOverSleepingWorkersRunsEachShareOnce) {
  int takenOver = 0;
  stepAndCheck(4, 300, std::chrono::microseconds(300), &takenOver);
  std::cout << takenOver << " of 900 worker shares taken over by the calling thread\n";
}

TEST(WorkerPool, StopsCleanlyBeforeAnyStepAndRightAfterOne) {
  for (unsigned threads : {1u, 2u, 4u}) {
    { WorkerPool idle(threads); }
    Step step{std::vector<unsigned>(threads), std::vector<std::uint64_t>(threads), 7,
              std::vector<std::thread::id>(threads)};
    WorkerPool pool(threads);
    pool.start(runShare, &step);
    pool.finish();
    for (unsigned s = 0; s < threads; ++s) EXPECT_EQ(step.runs[s], 1u);
  }
}

}  // namespace
