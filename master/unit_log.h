// Forwards the units' log messages to stderr with the instance name and status, one whole line
// at a time whichever thread a unit runs on. Quiet by
// default (warnings and errors only), everything when verbose. Each instance gets a context of
// its own as its componentEnvironment, which also keeps the last problem the unit reported so
// that a failing call can be explained with it.
#pragma once

#include <mutex>
#include <string>

#include "fmi/fmi2_abi.h"

namespace master {

class ProgressBar;

// Where the units' messages go instead of stderr, when set (the command line's log, which
// filters them by its level and may write them to a file).
using UnitMessageSink = void (*)(const std::string& instance, fmi2Status status, const char* message);
void setUnitMessageSink(UnitMessageSink sink);

class UnitLog {
 public:
  explicit UnitLog(bool verbose) : verbose_(verbose) {}
  // While a progress bar is on screen, messages first clear its line.
  void attach(ProgressBar* bar) { bar_ = bar; }
  void write(const std::string& instance, fmi2Status status, const char* message);
  bool verbose() const { return verbose_; }

 private:
  bool verbose_;
  ProgressBar* bar_ = nullptr;
  std::mutex mutex_;  // units step on several threads
};

// The componentEnvironment handed to one instance.
struct InstanceContext {
  UnitLog* log = nullptr;
  std::string instanceName;
  std::string lastProblem;  // the last warning or error message of this instance
};

const char* statusName(fmi2Status status);

// The fmi2CallbackLogger of the master. The units deliver finished texts in the position of
// the format string, so the text is shown as it is and never used as a format.
extern "C" void forwardUnitMessage(fmi2ComponentEnvironment environment, fmi2String instanceName,
                                   fmi2Status status, fmi2String category, fmi2String message, ...);

}  // namespace master
