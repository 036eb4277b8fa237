// The master's log: messages of the master and of the units at or above the chosen level, and
// the FMI call trace, to standard error or a file. One process-wide log, set up once from the
// command line before anything runs; writing is safe from several threads.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "fmi/fmi2_abi.h"

namespace master::cli {

enum class LogLevel { error, warning, info, debug };

// "error", "warning", "info", "debug"; false for any other text.
bool parseLogLevel(std::string_view text, LogLevel& level);
const char* logLevelName(LogLevel level);

class Log {
 public:
  Log() = default;
  ~Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  // Messages go to `file` (appended; created when missing) or, when it is empty, to stderr.
  // Throws MasterError when the file cannot be opened.
  void open(LogLevel level, const std::string& file);
  bool enabled(LogLevel level) const { return level <= level_; }
  // One line "<level>: <text>" (the trace without a level); nothing when below the level.
  void write(LogLevel level, std::string_view text);
  void trace(std::string_view text);
  std::FILE* stream() const { return out_ != nullptr ? out_ : stderr; }

 private:
  void line(std::string_view prefix, std::string_view text);

  LogLevel level_ = LogLevel::warning;
  std::FILE* out_ = nullptr;  // owned; nullptr: stderr
  std::mutex mutex_;
};

Log& log();

// The units' messages into the log: warnings at the warning level, the others at info (an error
// message of a unit is repeated by the error of the call that failed, which ends the run).
void logUnitMessage(const std::string& instance, fmi2Status status, const char* message);

}  // namespace master::cli
