// The figures of a run, gathered row by row while it runs: distance, fuel, state of charge,
// bus voltage, how well the vehicle followed the target, time in each gear, and the speed of
// the run itself. Formatted as a short text for the terminal and the summary file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace master {

// Where the observed signals sit in a results row.
struct SummaryColumns {
  std::size_t time, target, gear, vehicleSpeed, engineSpeed, fuel, stateOfCharge, busVoltage;
};

struct Summary {
  std::string systemFile, cycleName;
  std::size_t unitCount = 0;
  double duration = 0.0, step = 0.0;
  std::string fuelUnit;

  double distanceKm = 0.0;
  double fuelUsed = 0.0;
  double finalStateOfCharge = 0.0, minStateOfCharge = 0.0, maxStateOfCharge = 0.0;
  double minBusVoltage = 0.0, minBusVoltageTime = 0.0;
  double rmsSpeedError = 0.0;  // km/h, actual - target
  double maxSpeedError = 0.0;  // km/h, the largest |actual - target|, with its sign
  double maxErrorTime = 0.0, maxErrorTarget = 0.0, maxErrorActual = 0.0;
  double maxEngineRpm = 0.0;
  std::vector<double> timeInGear;  // s, index 0 is first gear
  std::int64_t nonFiniteValues = 0;
  double wallSeconds = 0.0;

  double realTimeFactor() const { return wallSeconds > 0.0 ? duration / wallSeconds : 0.0; }
  std::string text() const;
};

class SummaryAccumulator {
 public:
  SummaryAccumulator(SummaryColumns columns, std::size_t rowSize, int gearCount, double step);
  // One results row, at every communication point in time order.
  void add(const double* row);
  // Fills the running figures into `summary`; the caller sets the descriptive fields.
  void finish(Summary& summary) const;

 private:
  SummaryColumns c_;
  std::size_t rowSize_;
  double step_;
  std::int64_t rows_ = 0;
  double previousSpeed_ = 0.0;
  double distanceSum_ = 0.0;  // km/h * s, trapezoidal
  double squaredErrorSum_ = 0.0;
  double maxAbsError_ = -1.0;
  double maxError_ = 0.0, maxErrorTime_ = 0.0, maxErrorTarget_ = 0.0, maxErrorActual_ = 0.0;
  double fuel_ = 0.0, soc_ = 0.0, minSoc_ = 0.0, maxSoc_ = 0.0;
  double minBus_ = 0.0, minBusTime_ = 0.0, maxRpm_ = 0.0;
  int previousGear_ = 1;
  std::vector<std::int64_t> gearSteps_;
  std::int64_t nonFinite_ = 0;
};

}  // namespace master
