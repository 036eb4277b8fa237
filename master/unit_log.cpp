#include "master/unit_log.h"

#include <cstdio>

#include "master/progress_bar.h"

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

extern "C" void forwardUnitMessage(fmi2ComponentEnvironment environment, fmi2String instanceName,
                                   fmi2Status status, fmi2String /*category*/, fmi2String message,
                                   ...) {
  auto* context = static_cast<InstanceContext*>(environment);
  const char* text = message != nullptr ? message : "";
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
