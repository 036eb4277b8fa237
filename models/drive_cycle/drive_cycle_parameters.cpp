// The drive cycle library's stored default parameter record.
#include "models/drive_cycle/drive_cycle_model.h"

namespace drive_cycle {

namespace {
constinit ModelParameters storedDefaults = {.cycle = {"wltc"}};
}  // namespace

ModelParameters& Model::defaultParameters() { return storedDefaults; }

}  // namespace drive_cycle
