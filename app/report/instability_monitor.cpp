// The monitor of the vehicle report. A coupling that goes unstable (a communication step too
// long for the feedback through the driver, the powertrain and the chassis) shows as a speed
// error that swings from one side of the target to the other by tens of km/h, again and again,
// with pedals slammed from stop to stop. A vehicle that runs away (faster than the fastest target
// so far by more than a driver could overshoot: energy from nowhere, such as a negative mass)
// shows as a speed error growing without bound. Either stops the run. A driver that merely
// cannot keep up (a cycle beyond the car) lags on one side and does not swing; that is the
// cycle-following check's to report after the run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "app/vehicle_conventions.h"
#include "app/report/vehicle_report.h"
#include "app/report/vehicle_signals.h"

namespace report {

namespace {

class InstabilityMonitor : public master::RunObserver {
 public:
  explicit InstabilityMonitor(const ReportSettings& s) : s_(s) {}

  void start(const master::RunRecord& record) override {
    const std::size_t target = record.find(master::conventions::driveCycleUnit, master::conventions::targetSpeedOutput);
    const std::size_t speed = record.find(master::conventions::chassisUnit, master::conventions::vehicleSpeedOutput);
    active_ = target != master::RunRecord::npos && speed != master::RunRecord::npos;
    target_ = target;
    speed_ = speed;
  }

  std::string check(const master::RunRecord& record, std::size_t point) override {
    if (!active_) return {};
    const double t = record.time[point];
    const double error = record.columns[speed_][point] - record.columns[target_][point];
    if (!std::isfinite(error)) return {};
    highestTarget_ = std::max(highestTarget_, record.columns[target_][point]);
    const double speed = record.columns[speed_][point];
    if (speed > highestTarget_ + s_.runawayKmh) return runaway(record, t, speed);
    if (point == 0 || direction_ == 0) {
      // Wait for the error to leave the first extreme by a whole swing.
      if (point == 0) extreme_ = error, extremeTime_ = t;
      if (std::fabs(error - extreme_) >= s_.oscillationSwingKmh) {
        direction_ = error > extreme_ ? 1 : -1;
        reversal(extremeTime_, extreme_);
        extreme_ = error, extremeTime_ = t;
      } else if (std::fabs(error) > std::fabs(extreme_)) {
        extreme_ = error, extremeTime_ = t;
      }
      return {};
    }
    if ((direction_ > 0 && error > extreme_) || (direction_ < 0 && error < extreme_)) {
      extreme_ = error, extremeTime_ = t;
    } else if (std::fabs(error - extreme_) >= s_.oscillationSwingKmh) {
      reversal(extremeTime_, extreme_);
      direction_ = -direction_;
      extreme_ = error, extremeTime_ = t;
      while (!reversals_.empty() && reversals_.front().first < t - s_.oscillationWindowSeconds) reversals_.pop_front();
      if (static_cast<int>(reversals_.size()) >= s_.oscillationSwings) return message(record);
    }
    return {};
  }

 private:
  void reversal(double t, double error) { reversals_.push_back({t, error}); }

  std::string message(const master::RunRecord& record) const {
    double largest = 0.0;
    for (const auto& [t, e] : reversals_) largest = std::max(largest, std::fabs(e));
    char text[600];
    std::snprintf(text, sizeof text,
                  "the coupling oscillates: the vehicle's speed error against the cycle swung %zu times by more "
                  "than %g km/h between t = %.2f s and t = %.2f s (up to %.1f km/h); the feedback between "
                  "driver, powertrain and chassis is unstable at a communication step of %g s (try a shorter "
                  "--step)",
                  reversals_.size(), s_.oscillationSwingKmh, reversals_.front().first, reversals_.back().first,
                  largest, record.communicationStep);
    return text;
  }

  std::string runaway(const master::RunRecord& record, double t, double speed) const {
    char text[700];
    std::snprintf(text, sizeof text,
                  "the vehicle runs away: %.1f km/h at t = %.2f s, more than %g km/h above the highest target so far "
                  "(%.1f km/h), a speed error growing without bound that no driver following the cycle produces; ",
                  speed, t, s_.runawayKmh, highestTarget_);
    std::string out = text;
    // The cause named as far as the run shows it: a mass bound below zero, else the step.
    const std::string massKey = record.variables[speed_].component + ".vehicleMass";
    const auto mass = record.boundValues.find(massKey);
    if (mass != record.boundValues.end() && std::strtod(mass->second.c_str(), nullptr) < 0.0) {
      std::snprintf(text, sizeof text,
                    "%s is %s kg: a negative mass is driven forward by the forces that should slow it", massKey.c_str(),
                    mass->second.c_str());
    } else {
      std::snprintf(text, sizeof text,
                    "the coupling is unstable at a communication step of %g s (try a shorter --step), or a parameter "
                    "feeds the vehicle energy from nowhere",
                    record.communicationStep);
    }
    return out + text;
  }

  ReportSettings s_;
  double highestTarget_ = 0.0;
  bool active_ = false;
  std::size_t target_ = 0, speed_ = 0;
  int direction_ = 0;  // of the current swing: +1 rising, -1 falling, 0 none yet
  double extreme_ = 0.0, extremeTime_ = 0.0;
  std::deque<std::pair<double, double>> reversals_;  // time and error of each turning point
};

}  // namespace

std::unique_ptr<master::RunObserver> makeMonitor(const ReportSettings& settings) {
  return std::make_unique<InstabilityMonitor>(settings);
}

}  // namespace report
