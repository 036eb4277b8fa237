#include "engine/worker_pool.h"

namespace master {

namespace {

// A few microseconds of spinning (the gap between two steps on an idle machine), then yielding
// the core, then sleeping on the atomic.
constexpr int spinLimit = 1000;
constexpr int yieldLimit = 50;

// Waits until `value` differs from `seen`.
void waitChange(const std::atomic<std::uint32_t>& value, std::uint32_t seen) {
  for (int i = 0; i < spinLimit; ++i) {
    if (value.load(std::memory_order_acquire) != seen) return;
    pauseBriefly();
  }
  for (int i = 0; i < yieldLimit; ++i) {
    if (value.load(std::memory_order_acquire) != seen) return;
    std::this_thread::yield();
  }
  while (value.load(std::memory_order_acquire) == seen) value.wait(seen, std::memory_order_acquire);
}

}  // namespace

WorkerPool::WorkerPool(unsigned threads) : claims_(threads) {
  for (auto& c : claims_) c.epoch.store(0, std::memory_order_relaxed);
  for (unsigned s = 1; s < threads; ++s) workers_.emplace_back([this, s] { work(s); });
}

WorkerPool::~WorkerPool() {
  stopping_.store(true, std::memory_order_relaxed);
  epoch_.fetch_add(1, std::memory_order_release);
  epoch_.notify_all();
  for (std::thread& t : workers_) t.join();
}

bool WorkerPool::claim(unsigned share, std::uint32_t epoch) {
  std::uint32_t expected = epoch - 1;
  return claims_[share].epoch.compare_exchange_strong(expected, epoch, std::memory_order_acq_rel);
}

void WorkerPool::start(Job job, void* context) {
  job_ = job;
  context_ = context;
  pending_.store(static_cast<std::uint32_t>(workers_.size()), std::memory_order_relaxed);
  epoch_.fetch_add(1, std::memory_order_release);
  epoch_.notify_all();
}

void WorkerPool::finish() {
  const std::uint32_t epoch = epoch_.load(std::memory_order_relaxed);
  claim(0, epoch);
  job_(context_, 0);
  // A share whose worker has not begun yet is taken over here: on a busy machine the worker may
  // not run for a while, and the step does not wait for it to be scheduled.
  for (unsigned s = 1; s < claims_.size(); ++s) {
    if (claim(s, epoch)) {
      job_(context_, s);
      pending_.fetch_sub(1, std::memory_order_acq_rel);
    }
  }
  for (int i = 0; i < spinLimit; ++i) {
    if (pending_.load(std::memory_order_acquire) == 0) return;
    pauseBriefly();
  }
  for (int i = 0; i < yieldLimit; ++i) {
    if (pending_.load(std::memory_order_acquire) == 0) return;
    std::this_thread::yield();
  }
  for (std::uint32_t left = pending_.load(std::memory_order_acquire); left != 0;
       left = pending_.load(std::memory_order_acquire)) {
    pending_.wait(left, std::memory_order_acquire);
  }
}

void WorkerPool::work(unsigned share) {
  std::uint32_t seen = 0;
  for (;;) {
    waitChange(epoch_, seen);
    seen = epoch_.load(std::memory_order_acquire);
    if (stopping_.load(std::memory_order_relaxed)) return;
    if (!claim(share, seen)) continue;  // taken over by the calling thread, or a step already past
    job_(context_, share);
    if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) pending_.notify_one();
  }
}

}  // namespace master
