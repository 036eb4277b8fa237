#include "app/sweep/case_runner.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "engine/error.h"
#include "app/sweep/case_progress.h"
#include "app/child_process.h"

namespace master::sweep {

namespace fs = std::filesystem;

namespace {

volatile sig_atomic_t stopSignal = 0;
extern "C" void onStop(int signal) { stopSignal = signal; }

}  // namespace

std::string caseInputs(const Plan& plan, const PlannedCase& c) {
  std::string text;
  for (std::size_t i = 0; i < plan.inputNames.size(); ++i) {
    if (c.values[i].empty()) continue;
    text += (text.empty() ? "" : ", ") + plan.inputNames[i] + "=" + c.values[i];
  }
  return text;
}

pid_t startCase(const Plan& plan, const PlannedCase& c) {
  fs::create_directories(plan.dir / "cases");
  fs::create_directories(plan.dir / "logs");
  fs::remove(plan.exitFile(c));
  std::vector<std::string> argv{plan.executable};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  return spawnProcess(argv, plan.logFile(c));
}

CaseState finishCase(const Plan& plan, const PlannedCase& c, int exitCode) {
  {
    std::ofstream out(plan.exitFile(c));
    out << exitCode << '\n';
  }
  return readCaseState(plan, c);
}

std::string failureLine(const Plan& plan, const PlannedCase& c, const CaseState& state) {
  return "case " + std::to_string(c.index) + " (" + caseInputs(plan, c) + "): " + statusWords(state.status) +
         (state.exitCode.empty() ? std::string() : " (exit code " + state.exitCode + ")") + ": " + state.message +
         "\n  folder " + plan.caseFolder(c).string() + ", log " + plan.logFile(c).string();
}

int runCase(const Plan& plan, std::size_t index) {
  if (index >= plan.cases.size()) {
    throw MasterError("the sweep in '" + plan.dir.string() + "' has no case " + std::to_string(index));
  }
  const PlannedCase& c = plan.cases[index];
  const int code = waitProcess(startCase(plan, c));
  const CaseState state = finishCase(plan, c, code);
  if (state.status != CaseStatus::ok) std::fprintf(stderr, "%s\n", failureLine(plan, c, state).c_str());
  return code;
}

namespace {

// SIGINT and SIGTERM set stopSignal while it lives; the handlers before are back after it,
// however the sweep ends.
class StopHandlers {
 public:
  StopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    stopSignal = 0;
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~StopHandlers() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }
  StopHandlers(const StopHandlers&) = delete;
  StopHandlers& operator=(const StopHandlers&) = delete;

 private:
  struct sigaction oldInt_ {}, oldTerm_ {};
};

}  // namespace

LocalRun runLocal(const Plan& plan, int jobs, bool progress) {
  LocalRun run;
  std::vector<const PlannedCase*> pending;
  for (const PlannedCase& c : plan.cases) {
    if (caseDone(plan, c)) {
      ++run.skipped;
    } else {
      pending.push_back(&c);
    }
  }
  const StopHandlers handlers;
  CaseProgress bar(pending.size(), progress);
  std::map<pid_t, const PlannedCase*> running;
  // Waits for one child; false when there is none left to wait for.
  auto reap = [&](bool report) {
    int status = 0;
    const pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) return errno == EINTR;
    const auto it = running.find(pid);
    if (it == running.end()) return true;
    const CaseState state = finishCase(plan, *it->second, exitCodeOf(status));
    ++run.ran;
    if (state.status != CaseStatus::ok) {
      ++run.failed;
      if (report) bar.message(failureLine(plan, *it->second, state));
    }
    running.erase(it);
    bar.update(run.ran, run.failed);
    return true;
  };

  std::size_t next = 0;
  bool forwarded = false;
  try {
    while (next < pending.size() || !running.empty()) {
      while (!stopSignal && next < pending.size() && static_cast<int>(running.size()) < jobs) {
        const PlannedCase* c = pending[next];
        running.emplace(startCase(plan, *c), c);
        ++next;
      }
      if (running.empty()) break;
      if (stopSignal && !forwarded) {
        for (const auto& [pid, c] : running) kill(pid, SIGTERM);
        forwarded = true;
      }
      // After a stop, the cases it ended are no news.
      if (!reap(!stopSignal)) break;
    }
  } catch (...) {
    // A case that cannot be started (or recorded) ends the sweep: the running ones are stopped
    // and waited for, so that none outlives it and each leaves its exit code.
    for (const auto& [pid, c] : running) kill(pid, SIGTERM);
    while (!running.empty()) {
      try {
        if (!reap(false)) break;
      } catch (...) {
      }
    }
    throw;
  }
  bar.clear();
  run.interrupted = stopSignal != 0;
  return run;
}

}  // namespace master::sweep
