#include "fmi/instance_logger.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fmi {

InstanceLogger* createInstanceLogger(fmi2String instanceName,
                                     const fmi2CallbackFunctions& functions, fmi2Boolean loggingOn) {
  auto* context = static_cast<InstanceLogger*>(std::calloc(1, sizeof(InstanceLogger)));
  if (context == nullptr) return nullptr;
  const std::size_t length = std::strlen(instanceName) + 1;
  context->instanceName = static_cast<char*>(std::malloc(length));
  if (context->instanceName == nullptr) {
    std::free(context);
    return nullptr;
  }
  std::memcpy(context->instanceName, instanceName, length);
  context->logger = functions.logger;
  context->componentEnvironment = functions.componentEnvironment;
  context->worstStatus = fmi2OK;
  context->loggingOn = loggingOn != fmi2False ? 1 : 0;
  return context;
}

void releaseInstanceLogger(InstanceLogger* context) {
  if (context == nullptr) return;
  std::free(context->instanceName);
  std::free(context);
}

void reportStatus(InstanceLogger& context, fmi2Status status, const char* format, ...) {
  char message[messageBufferSize];
  va_list args;
  va_start(args, format);
  // vsnprintf never writes past the buffer and always terminates: a longer text is cut.
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  if (status > context.worstStatus) context.worstStatus = status;
  if (context.loggingOn == 0) return;
  // The master takes the message as a printf format: a '%' of the text is written "%%" (a text
  // too long for that is cut before a '%' that would not fit whole).
  if (std::strchr(message, '%') == nullptr) {
    context.logger(context.componentEnvironment, context.instanceName, status, "", message);
    return;
  }
  char escaped[messageBufferSize];
  std::size_t n = 0;
  for (const char* p = message; *p != '\0'; ++p) {
    const std::size_t width = *p == '%' ? 2 : 1;
    if (n + width >= sizeof escaped) break;
    escaped[n++] = *p;
    if (*p == '%') escaped[n++] = '%';
  }
  escaped[n] = '\0';
  context.logger(context.componentEnvironment, context.instanceName, status, "", escaped);
}

fmi2Status takeStatus(InstanceLogger& context) {
  const int32_t worst = context.worstStatus;
  context.worstStatus = fmi2OK;
  return worst > fmi2Pending ? fmi2Fatal : static_cast<fmi2Status>(worst);
}

}  // namespace fmi
