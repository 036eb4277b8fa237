#include "app/cli/stop_signals.h"

#include <signal.h>

namespace master::cli {

namespace {

volatile std::sig_atomic_t* stopFlag = nullptr;

extern "C" void raiseStopFlag(int signal) {
  if (stopFlag != nullptr) *stopFlag = signal;
}

}  // namespace

void installStopSignals(volatile std::sig_atomic_t* flag) {
  stopFlag = flag;
  struct sigaction action {};
  action.sa_handler = raiseStopFlag;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // the next one is not caught
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader that goes away (`vehicle-sim --output-file - | head`) makes the next write fail,
  // which ends the run as an error, with its temporary folders removed, instead of killing it.
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace master::cli
