// Forwards the units' log messages to stderr with the instance name and status, one whole line
// at a time whichever thread a unit runs on. Quiet by
// default (warnings and errors only), everything when verbose. Each instance gets a context of
// its own as its componentEnvironment, which also keeps the last problem the unit reported so
// that a failing call can be explained with it.
#pragma once

#include <cstddef>
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

// The fmi2CallbackLogger of the master. The message is a printf format with its arguments, as
// the standard has it; it is formatted into at most `messageLimit` bytes (a longer text is cut).
// A format that could write to memory (%n) or that does not parse is not used: the text is shown
// as it is, with a note. The master cannot know how many arguments a unit passed; a format
// asking for more than it passed is the unit's fault, as with any printf.
constexpr std::size_t messageLimit = 4096;
extern "C" void forwardUnitMessage(fmi2ComponentEnvironment environment, fmi2String instanceName,
                                   fmi2Status status, fmi2String category, fmi2String message, ...);
// True when `format` holds only conversions that read their arguments (no %n, no positional
// arguments, every conversion complete).
bool safeMessageFormat(const char* format);

}  // namespace master
