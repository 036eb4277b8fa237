#include "app/cli/build_info.h"

#include "build_revision.h"

#ifndef VEHICLE_SIM_VERSION
#define VEHICLE_SIM_VERSION "unknown"
#endif

namespace master::cli {

std::string version() { return VEHICLE_SIM_VERSION; }
std::string sourceCommit() { return VEHICLE_SIM_SOURCE_COMMIT; }

}  // namespace master::cli
