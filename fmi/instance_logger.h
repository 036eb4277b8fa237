// The per-instance logging context: the master's logger callback, the instance name it is called
// with, the loggingOn switch, and the worst status reported during the current call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fmi/fmi2_abi.h"

namespace fmi {

struct InstanceLogger {
  fmi2CallbackLogger logger;  // never null in a live context
  fmi2ComponentEnvironment componentEnvironment;
  char* instanceName;  // heap copy owned by the context
  int32_t worstStatus;
  int32_t loggingOn;
};

// Longest message delivered, terminator included; a longer one is cut to fit.
inline constexpr std::size_t messageBufferSize = 4096;

// A context for `functions`' logger with a copy of `instanceName`, or null when it cannot be
// allocated. `functions` and its logger must not be null.
InstanceLogger* createInstanceLogger(fmi2String instanceName,
                                     const fmi2CallbackFunctions& functions, fmi2Boolean loggingOn);
void releaseInstanceLogger(InstanceLogger* context);

// Formats the message, raises the worst status of the call to `status`, and delivers the text
// to the master's logger when logging is on, as the logger's format: a '%' of the text doubled.
void reportStatus(InstanceLogger& context, fmi2Status status, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The worst status reported since the last take; resets it to fmi2OK.
fmi2Status takeStatus(InstanceLogger& context);

}  // namespace fmi
