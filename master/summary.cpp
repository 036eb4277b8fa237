#include "master/summary.h"

#include <cmath>
#include <cstdio>

namespace master {

SummaryAccumulator::SummaryAccumulator(SummaryColumns columns, std::size_t rowSize, int gearCount, double step)
    : c_(columns), rowSize_(rowSize), step_(step), gearSteps_(static_cast<std::size_t>(gearCount), 0) {}

void SummaryAccumulator::add(const double* row) {
  for (std::size_t i = 0; i < rowSize_; ++i) {
    if (!std::isfinite(row[i])) ++nonFinite_;
  }
  const double speed = row[c_.vehicleSpeed];
  const double target = row[c_.target];
  const double soc = row[c_.stateOfCharge];
  const double bus = row[c_.busVoltage];
  const double rpm = row[c_.engineSpeed];
  const double error = speed - target;
  if (rows_ == 0) {
    minSoc_ = maxSoc_ = soc;
    minBus_ = bus;
    minBusTime_ = row[c_.time];
    maxRpm_ = rpm;
  } else {
    distanceSum_ += 0.5 * (previousSpeed_ + speed) * step_;
    if (soc < minSoc_) minSoc_ = soc;
    if (soc > maxSoc_) maxSoc_ = soc;
    if (bus < minBus_) {
      minBus_ = bus;
      minBusTime_ = row[c_.time];
    }
    if (rpm > maxRpm_) maxRpm_ = rpm;
  }
  squaredErrorSum_ += error * error;
  if (std::fabs(error) > maxAbsError_) {
    maxAbsError_ = std::fabs(error);
    maxError_ = error;
    maxErrorTime_ = row[c_.time];
    maxErrorTarget_ = target;
    maxErrorActual_ = speed;
  }
  if (rows_ > 0) {
    // Each communication interval is spent in the gear chosen at its start.
    const auto gear = static_cast<std::size_t>(previousGear_ - 1);
    if (gear < gearSteps_.size()) ++gearSteps_[gear];
  }
  previousGear_ = static_cast<int>(row[c_.gear]);
  previousSpeed_ = speed;
  fuel_ = row[c_.fuel];
  soc_ = soc;
  ++rows_;
}

void SummaryAccumulator::finish(Summary& s) const {
  s.distanceKm = distanceSum_ / 3600.0;
  s.fuelUsed = fuel_;
  s.finalStateOfCharge = soc_;
  s.minStateOfCharge = minSoc_;
  s.maxStateOfCharge = maxSoc_;
  s.minBusVoltage = minBus_;
  s.minBusVoltageTime = minBusTime_;
  s.rmsSpeedError = rows_ > 0 ? std::sqrt(squaredErrorSum_ / static_cast<double>(rows_)) : 0.0;
  s.maxSpeedError = maxError_;
  s.maxErrorTime = maxErrorTime_;
  s.maxErrorTarget = maxErrorTarget_;
  s.maxErrorActual = maxErrorActual_;
  s.maxEngineRpm = maxRpm_;
  s.timeInGear.clear();
  for (std::int64_t n : gearSteps_) s.timeInGear.push_back(static_cast<double>(n) * step_);
  s.nonFiniteValues = nonFinite_;
}

std::string Summary::text() const {
  std::string out;
  char line[256];
  auto add = [&](const char* format, auto... values) {
    std::snprintf(line, sizeof line, format, values...);
    out += line;
  };
  add("Vehicle simulation summary\n");
  add("  system              %s (%zu units)\n", systemFile.c_str(), unitCount);
  add("  drive cycle         %s, %.0f s, communication step %g s\n", cycleName.c_str(), duration, step);
  add("  distance            %.3f km\n", distanceKm);
  add("  fuel used           %.6g%s%s\n", fuelUsed, fuelUnit.empty() ? "" : " ", fuelUnit.c_str());
  add("  state of charge     %.3f %% at the end (lowest %.3f %%, highest %.3f %%)\n", finalStateOfCharge,
      minStateOfCharge, maxStateOfCharge);
  add("  bus voltage         lowest %.3f V at t = %.2f s\n", minBusVoltage, minBusVoltageTime);
  add("  speed error         RMS %.3f km/h, largest %+.3f km/h at t = %.2f s (target %.2f, actual %.2f km/h)\n",
      rmsSpeedError, maxSpeedError, maxErrorTime, maxErrorTarget, maxErrorActual);
  add("  engine speed        highest %.0f rpm\n", maxEngineRpm);
  out += "  time in gear       ";
  for (std::size_t g = 0; g < timeInGear.size(); ++g) add(" %zu: %.2f s%s", g + 1, timeInGear[g], g + 1 < timeInGear.size() ? "," : "");
  out += '\n';
  if (nonFiniteValues > 0) add("  non-finite values   %lld\n", static_cast<long long>(nonFiniteValues));
  add("  wall time           %.3f s, real-time factor %.0f\n", wallSeconds, realTimeFactor());
  return out;
}

}  // namespace master
