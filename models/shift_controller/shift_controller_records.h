// Records of the shift controller model: the gear, its ratio and the converter's lock-up command
// from the vehicle speed, by a schedule of speed thresholds with hysteresis, a minimum time in
// gear and a lock-up rule.
#pragma once

#include <cstdint>

namespace shift_controller {

inline constexpr uint32_t maxGears = 8;

struct ExternalInputs {
  double vehicleSpeedKmh;  // km/h
};

struct ExternalOutputs {
  uint32_t gear;         // 1-based
  double gearRatio;      // input speed / output speed of the gear
  double lockupCommand;  // 1 engaged, 0 released
};

struct BlockSignals {};

// The committed state of the schedule: what the last communication step decided.
struct ScheduleState {
  uint32_t gear;
  uint8_t lockedUp;
  uint8_t shifted;     // a shift has happened: the minimum time in gear applies
  double lastShift;    // s, time of the last shift
};

struct WorkStates {
  double time;               // the current communication point
  ScheduleState committed;
  char message[512];         // the text of the last refusal
};

struct ModelParameters {
  uint32_t gearCount;
  double ratio[maxGears];               // from first gear up
  double upshiftKmh[maxGears - 1];      // [i]: from gear i+1 to i+2 above this speed
  double downshiftKmh[maxGears - 1];    // [i]: from gear i+2 to i+1 below this speed
  double minTimeInGear;                 // s
  uint32_t lockupGear;                  // lowest gear in which the lock-up engages (gearCount + 1: never)
  double lockupOnKmh;                   // engages at or above this speed
  double lockupOffKmh;                  // releases below this speed
};

}  // namespace shift_controller
