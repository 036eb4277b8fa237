#include "engine/unit_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/progress_bar.h"

namespace master {

namespace {
UnitMessageSink messageSink = nullptr;
}  // namespace

void setUnitMessageSink(UnitMessageSink sink) { messageSink = sink; }

const char* statusName(fmi2Status status) {
  switch (status) {
    case fmi2OK: return "OK";
    case fmi2Warning: return "Warning";
    case fmi2Discard: return "Discard";
    case fmi2Error: return "Error";
    case fmi2Fatal: return "Fatal";
    case fmi2Pending: return "Pending";
  }
  return "unknown status";
}

void UnitLog::write(const std::string& instance, fmi2Status status, const char* message) {
  if (status == fmi2OK && !verbose_) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  if (bar_ != nullptr) bar_->clear();
  if (messageSink != nullptr) {
    messageSink(instance, status, message != nullptr ? message : "");
    return;
  }
  std::fprintf(stderr, "[%s] %s: %s\n", instance.c_str(), statusName(status),
               message != nullptr ? message : "");
}

bool safeMessageFormat(const char* format) {
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0'", *p) != nullptr) ++p;  // flags
    if (*p == '*') ++p;
    while (*p >= '0' && *p <= '9') ++p;  // width
    if (*p == '$') return false;        // a positional argument
    if (*p == '.') {
      ++p;
      if (*p == '*') ++p;
      while (*p >= '0' && *p <= '9') ++p;
    }
    while (*p != '\0' && std::strchr("hlLqjzt", *p) != nullptr) ++p;  // length
    if (*p == '\0' || std::strchr("diouxXeEfFgGaAcsp", *p) == nullptr) return false;  // %n among them
  }
  return true;
}

extern "C" void forwardUnitMessage(fmi2ComponentEnvironment environment, fmi2String instanceName,
                                   fmi2Status status, fmi2String /*category*/, fmi2String message,
                                   ...) {
  auto* context = static_cast<InstanceContext*>(environment);
  const char* format = message != nullptr ? message : "";
  char formatted[messageLimit];
  std::string shown;
  const char* text = formatted;
  if (safeMessageFormat(format)) {
    va_list args;
    va_start(args, message);
    // Never past the buffer, always terminated.
    if (std::vsnprintf(formatted, sizeof formatted, format, args) < 0) formatted[0] = '\0';
    va_end(args);
  } else {
    shown = std::string(format).substr(0, messageLimit) + " (shown unformatted: the format is not one the master formats)";
    text = shown.c_str();
  }
  if (context == nullptr) {
    // Only possible for a unit that reports before it has an environment of its own.
    std::fprintf(stderr, "[%s] %s: %s\n", instanceName != nullptr ? instanceName : "?",
                 statusName(status), text);
    return;
  }
  if (status != fmi2OK) context->lastProblem = text;
  context->log->write(context->instanceName, status, text);
}

}  // namespace master
