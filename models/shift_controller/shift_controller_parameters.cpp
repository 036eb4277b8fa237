// The shift controller library's stored default parameter record: the schedule the vehicle has
// always been driven with.
#include "models/shift_controller/shift_controller_model.h"

namespace shift_controller {

namespace {
// Every field is named here; a field left out does not compile.
constinit ModelParameters storedDefaults = {
    .gearCount = 5,
    .ratio = {2.6, 1.55, 1.0, 0.72, 0.52, 0.0, 0.0, 0.0},  // gears 6 to 8 unused
    .upshiftKmh = {12.0, 25.0, 42.0, 62.0, 0.0, 0.0, 0.0},
    .downshiftKmh = {6.0, 18.0, 31.0, 48.0, 0.0, 0.0, 0.0},
    .minTimeInGear = 2.0,
    .lockupGear = 3,
    .lockupOnKmh = 30.0,
    .lockupOffKmh = 25.0,
};
}  // namespace

ModelParameters& Model::defaultParameters() { return storedDefaults; }

}  // namespace shift_controller
