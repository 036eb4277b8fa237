#include "master/cli/stop_signals.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "master/error.h"

namespace master::cli {

namespace {

volatile std::sig_atomic_t* stopFlag = nullptr;

extern "C" void raiseStopFlag(int signal) {
  if (stopFlag != nullptr) *stopFlag = signal;
}

void writeText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw MasterError("cannot write '" + file.string() + "'");
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
}

void writeInterruptedSummary(const std::filesystem::path& folder, const std::string& message,
                             const std::string& partialFile) {
  writeText(folder / "summary.txt", "INTERRUPTED: " + message + "\nThe results are partial: " + partialFile +
                                        " holds the rows up to the interruption.\n");
  const nlohmann::json summary{{"exitCode", interruptedExitCode},
                               {"status", "interrupted"},
                               {"message", message},
                               {"partialResults", partialFile}};
  writeText(folder / "summary.json", summary.dump(2) + "\n");
}

}  // namespace master::cli
