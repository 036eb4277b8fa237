#include "app/cli/log.h"

#include <cerrno>
#include <cstring>

#include "engine/error.h"

namespace master::cli {

namespace {
constexpr const char* levelNames[] = {"error", "warning", "info", "debug"};
}  // namespace

bool parseLogLevel(std::string_view text, LogLevel& level) {
  for (int i = 0; i < 4; ++i) {
    if (text == levelNames[i]) {
      level = static_cast<LogLevel>(i);
      return true;
    }
  }
  return false;
}

const char* logLevelName(LogLevel level) { return levelNames[static_cast<int>(level)]; }

Log::~Log() {
  if (out_ != nullptr) std::fclose(out_);
}

void Log::open(LogLevel level, const std::string& file) {
  level_ = level;
  if (file.empty()) return;
  std::FILE* out = std::fopen(file.c_str(), "a");
  if (out == nullptr) throw MasterError("cannot open the log file '" + file + "': " + std::strerror(errno));
  if (out_ != nullptr) std::fclose(out_);
  out_ = out;
}

void Log::write(LogLevel level, std::string_view text) {
  if (enabled(level)) line(logLevelName(level), text);
}

void Log::trace(std::string_view text) { line({}, text); }

void Log::line(std::string_view prefix, std::string_view text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::FILE* out = stream();
  if (!prefix.empty()) std::fprintf(out, "%.*s: ", static_cast<int>(prefix.size()), prefix.data());
  std::fprintf(out, "%.*s\n", static_cast<int>(text.size()), text.data());
  // Messages reach the file at once; the trace (a line per call) is left to the buffer.
  if (out_ != nullptr && !prefix.empty()) std::fflush(out_);
}

Log& log() {
  static Log instance;
  return instance;
}

void logUnitMessage(const std::string& instance, fmi2Status status, const char* message) {
  // A unit's error comes with a call that fails, and the error that ends the run repeats the
  // unit's message: on the terminal it is said once, the log shows it from the info level.
  const LogLevel level = status == fmi2Warning ? LogLevel::warning : LogLevel::info;
  if (log().enabled(level)) log().write(level, "[" + instance + "] " + message);
}

}  // namespace master::cli
