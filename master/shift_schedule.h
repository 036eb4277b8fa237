// The gearbox control that no unit contains: which gear to be in, given the vehicle speed, and
// whether the converter's lock-up clutch is engaged. Shifts follow speed thresholds with
// hysteresis (each downshift speed lies below the upshift speed of the same pair of gears) and
// a minimum time in gear; the lock-up engages in the upper gears above a speed and releases
// below a lower one, in the lower gears and at standstill.
#pragma once

#include <string>
#include <vector>

namespace master {

struct ShiftSettings {
  // Gear ratios from first gear up (input speed / output speed).
  std::vector<double> ratios = {2.6, 1.55, 1.0, 0.72, 0.52};
  // upshiftKmh[i]: shift from gear i+1 to i+2 above this speed; downshiftKmh[i]: from gear i+2
  // to i+1 below this one.
  std::vector<double> upshiftKmh = {12.0, 25.0, 42.0, 62.0};
  std::vector<double> downshiftKmh = {6.0, 18.0, 31.0, 48.0};
  double minTimeInGear = 2.0;  // s
  int lockupGear = 3;          // lowest gear in which the lock-up engages
  double lockupOnKmh = 30.0;   // engages at or above this speed
  double lockupOffKmh = 25.0;  // releases below this speed

  // Throws MasterError when the settings cannot describe a schedule: no gears, a ratio that is
  // not positive, the wrong number of thresholds, thresholds that do not rise with the gear, a
  // downshift speed not below its upshift speed, a lock-up gear outside the gearbox or lock-up
  // speeds without hysteresis.
  void validate() const;
};

class ShiftSchedule {
 public:
  explicit ShiftSchedule(ShiftSettings settings);

  // Evaluates the schedule at time t (non-decreasing between calls) for the vehicle speed.
  void update(double t, double speedKmh);

  int gear() const { return gear_; }  // 1-based
  double ratio() const { return settings_.ratios[static_cast<std::size_t>(gear_ - 1)]; }
  double lockupCommand() const { return lockedUp_ ? 1.0 : 0.0; }
  int gearCount() const { return static_cast<int>(settings_.ratios.size()); }
  const ShiftSettings& settings() const { return settings_; }

 private:
  ShiftSettings settings_;
  int gear_ = 1;
  bool lockedUp_ = false;
  bool shifted_ = false;
  double lastShift_ = 0.0;
};

}  // namespace master
