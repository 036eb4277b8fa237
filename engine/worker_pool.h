// The threads that step the units side by side within a communication step. The calling thread
// is share 0; threads-1 workers take shares 1.. . A step is started by bumping an epoch and
// finished when every share is done; both sides spin briefly on the atomic (a communication step
// takes microseconds), then yield the core, then sleep on it (futex), so an idle machine does not
// burn a core. Each share is claimed once per step by whoever comes first: the calling thread
// takes over the shares of workers that have not begun, so on a busy machine a step never waits
// for a worker to be scheduled, only for one that is running.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace master {

// One pause of a thread that spins on an atomic, telling the core that it waits.
inline void pauseBriefly() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

class WorkerPool {
 public:
  using Job = void (*)(void* context, unsigned share);

  explicit WorkerPool(unsigned threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }
  // Starts job(context, s) on every worker s >= 1 and returns at once; the caller may do other
  // work before finish(). The job must not throw.
  void start(Job job, void* context);
  // Runs share 0 on the calling thread and waits for the workers' shares.
  void finish();

 private:
  void work(unsigned share);
  bool claim(unsigned share, std::uint32_t epoch);

  struct alignas(64) Claim {
    std::atomic<std::uint32_t> epoch{0};  // the last step whose share was claimed
  };

  std::vector<Claim> claims_;
  std::vector<std::thread> workers_;
  Job job_ = nullptr;
  void* context_ = nullptr;
  alignas(64) std::atomic<std::uint32_t> epoch_{0};
  alignas(64) std::atomic<std::uint32_t> pending_{0};
  std::atomic<bool> stopping_{false};
};

}  // namespace master
