// The shift schedule and the check of its parameters. The decision is the one the vehicle has
// always been driven with: hysteresis between the upshift and downshift speeds, a minimum time
// between shifts, the lock-up engaging in the upper gears above one speed and releasing below a
// lower one.
#include <cmath>
#include <cstdio>

#include "models/shift_controller/shift_controller_model.h"

namespace shift_controller {

namespace {

uint32_t gearsOf(const ModelParameters& p) {
  return p.gearCount < 1 ? 1 : p.gearCount > maxGears ? maxGears : p.gearCount;
}

}  // namespace

void evaluateSchedule(const ModelParameters& p, ScheduleState& s, double t, double speedKmh) {
  const uint32_t n = gearsOf(p);
  if (s.gear < 1) s.gear = 1;
  if (s.gear > n) s.gear = n;
  if (s.shifted == 0 || t - s.lastShift >= p.minTimeInGear) {
    uint32_t target = s.gear;
    while (target < n && speedKmh > p.upshiftKmh[target - 1]) ++target;
    if (target == s.gear) {
      while (target > 1 && speedKmh < p.downshiftKmh[target - 2]) --target;
    }
    if (target != s.gear) {
      s.gear = target;
      s.lastShift = t;
      s.shifted = 1;
    }
  }
  if (s.gear < p.lockupGear || speedKmh < p.lockupOffKmh) {
    s.lockedUp = 0;
  } else if (speedKmh >= p.lockupOnKmh) {
    s.lockedUp = 1;
  }
}

bool scheduleRefused(const ModelParameters& p, char (&message)[512]) {
  const char* prefix = "The shift schedule's parameters are refused: ";
  auto refuse = [&](const char* format, auto... values) {
    const int used = std::snprintf(message, sizeof message, "%s", prefix);
    std::snprintf(message + used, sizeof message - static_cast<std::size_t>(used), format, values...);
    return true;
  };
  const uint32_t n = p.gearCount;
  if (n < 1 || n > maxGears) return refuse("gearCount is %u; it must be between 1 and %u", n, maxGears);
  for (uint32_t i = 0; i < n; ++i) {
    if (!(p.ratio[i] > 0.0) || !std::isfinite(p.ratio[i])) {
      return refuse("ratio[%u] is %g; gear ratios must be positive and finite", i + 1, p.ratio[i]);
    }
  }
  for (uint32_t i = 0; i + 1 < n; ++i) {
    if (!std::isfinite(p.upshiftKmh[i]) || !std::isfinite(p.downshiftKmh[i])) {
      return refuse("upshiftKmh[%u] and downshiftKmh[%u] must be finite (%g and %g)", i + 1, i + 1,
                    p.upshiftKmh[i], p.downshiftKmh[i]);
    }
  }
  for (uint32_t i = 0; i + 1 < n; ++i) {
    if (!(p.downshiftKmh[i] < p.upshiftKmh[i])) {
      return refuse("downshiftKmh[%u] (%g) must lie below upshiftKmh[%u] (%g): the downshift from "
                    "gear %u must lie below the upshift into it",
                    i + 1, p.downshiftKmh[i], i + 1, p.upshiftKmh[i], i + 2);
    }
    if (p.downshiftKmh[i] < 0.0) {
      return refuse("downshiftKmh[%u] is %g; shift speeds must not be negative", i + 1, p.downshiftKmh[i]);
    }
    if (i > 0 && !(p.upshiftKmh[i] > p.upshiftKmh[i - 1] && p.downshiftKmh[i] > p.downshiftKmh[i - 1])) {
      return refuse("upshiftKmh[%u] and downshiftKmh[%u] must lie above upshiftKmh[%u] and "
                    "downshiftKmh[%u]: shift speeds must rise from gear to gear",
                    i + 1, i + 1, i, i);
    }
  }
  if (!(p.minTimeInGear >= 0.0) || !std::isfinite(p.minTimeInGear)) {
    return refuse("minTimeInGear is %g; it must be a finite time of 0 s or more", p.minTimeInGear);
  }
  if (p.lockupGear < 1 || p.lockupGear > n + 1) {
    return refuse("lockupGear is %u; it must be between 1 and %u (or %u for never)", p.lockupGear, n, n + 1);
  }
  if (!std::isfinite(p.lockupOnKmh) || !std::isfinite(p.lockupOffKmh) ||
      !(p.lockupOffKmh < p.lockupOnKmh) || !(p.lockupOffKmh > 0.0)) {
    return refuse("lockupOffKmh (%g) and lockupOnKmh (%g): the lock-up must release at a positive "
                  "speed below the one at which it engages",
                  p.lockupOffKmh, p.lockupOnKmh);
  }
  return false;
}

}  // namespace shift_controller
