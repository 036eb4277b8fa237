// The shift controller library's stored default parameter record: the schedule the vehicle has
// always been driven with.
#include "models/shift_controller/shift_controller_model.h"

namespace shift_controller {

namespace {
ModelParameters storedDefaults = {
    5,                                          // gearCount
    {2.6, 1.55, 1.0, 0.72, 0.52, 0.0, 0.0, 0.0},  // ratio (gears 6 to 8 unused)
    {12.0, 25.0, 42.0, 62.0, 0.0, 0.0, 0.0},    // upshiftKmh
    {6.0, 18.0, 31.0, 48.0, 0.0, 0.0, 0.0},     // downshiftKmh
    2.0,                                        // minTimeInGear
    3,                                          // lockupGear
    30.0,                                       // lockupOnKmh
    25.0,                                       // lockupOffKmh
};
}  // namespace

ModelParameters& Model::defaultParameters() { return storedDefaults; }

}  // namespace shift_controller
