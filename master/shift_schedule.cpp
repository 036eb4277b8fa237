#include "master/shift_schedule.h"

#include <cmath>

#include "master/error.h"

namespace master {

namespace {

bool finite(const std::vector<double>& values) {
  for (double v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

void ShiftSettings::validate() const {
  const std::size_t n = ratios.size();
  if (n == 0) throw MasterError("the gearbox needs at least one gear ratio");
  for (double r : ratios) {
    if (!(r > 0.0) || !std::isfinite(r)) throw MasterError("gear ratios must be positive and finite");
  }
  if (upshiftKmh.size() != n - 1 || downshiftKmh.size() != n - 1) {
    throw MasterError("with " + std::to_string(n) + " gears the schedule needs " + std::to_string(n - 1) +
                      " upshift and " + std::to_string(n - 1) + " downshift speeds");
  }
  if (!finite(upshiftKmh) || !finite(downshiftKmh)) throw MasterError("shift speeds must be finite");
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (!(downshiftKmh[i] < upshiftKmh[i])) {
      throw MasterError("the downshift speed from gear " + std::to_string(i + 2) + " must lie below the upshift speed into it");
    }
    if (downshiftKmh[i] < 0.0) throw MasterError("shift speeds must not be negative");
    if (i > 0 && !(upshiftKmh[i] > upshiftKmh[i - 1] && downshiftKmh[i] > downshiftKmh[i - 1])) {
      throw MasterError("shift speeds must rise from gear to gear");
    }
  }
  if (!(minTimeInGear >= 0.0) || !std::isfinite(minTimeInGear)) {
    throw MasterError("the minimum time in gear must be a finite time of 0 s or more");
  }
  if (lockupGear < 1 || lockupGear > static_cast<int>(n) + 1) {
    throw MasterError("the lock-up gear must be between 1 and " + std::to_string(n) + " (or " +
                      std::to_string(n + 1) + " for never)");
  }
  if (!std::isfinite(lockupOnKmh) || !std::isfinite(lockupOffKmh) || !(lockupOffKmh < lockupOnKmh) ||
      !(lockupOffKmh > 0.0)) {
    throw MasterError("the lock-up must release at a positive speed below the one at which it engages");
  }
}

ShiftSchedule::ShiftSchedule(ShiftSettings settings) : settings_(std::move(settings)) { settings_.validate(); }

void ShiftSchedule::update(double t, double speedKmh) {
  if (!shifted_ || t - lastShift_ >= settings_.minTimeInGear) {
    int target = gear_;
    while (target < gearCount() && speedKmh > settings_.upshiftKmh[static_cast<std::size_t>(target - 1)]) ++target;
    if (target == gear_) {
      while (target > 1 && speedKmh < settings_.downshiftKmh[static_cast<std::size_t>(target - 2)]) --target;
    }
    if (target != gear_) {
      gear_ = target;
      lastShift_ = t;
      shifted_ = true;
    }
  }
  if (gear_ < settings_.lockupGear || speedKmh < settings_.lockupOffKmh) {
    lockedUp_ = false;
  } else if (speedKmh >= settings_.lockupOnKmh) {
    lockedUp_ = true;
  }
}

}  // namespace master
