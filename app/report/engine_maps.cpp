#include "app/report/engine_maps.h"

#include <cmath>
#include <numbers>

#include "app/report/unit_parameters.h"

namespace report {

namespace {

// The segment of `axis` for `x` (clamped to the first and last) and the fraction within it,
// which lies outside [0, 1] beyond the ends.
void segment(const std::vector<double>& axis, double x, std::size_t& k, double& f) {
  k = 0;
  while (k + 2 < axis.size() && x >= axis[k + 1]) ++k;
  f = (x - axis[k]) / (axis[k + 1] - axis[k]);
}

double clamp01(double f) { return f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f); }

// The torque map along speed at one throttle column, clipped at both ends of the speeds.
double torqueAt(const EngineMaps& m, std::size_t column, double rpm) {
  std::size_t j = 0;
  double f = 0.0;
  segment(m.torqueSpeeds, rpm, j, f);
  f = clamp01(f);
  const std::size_t n = m.throttles.size();
  return m.torqueMap[column + n * j] + f * (m.torqueMap[column + n * (j + 1)] - m.torqueMap[column + n * j]);
}

}  // namespace

EngineMaps engineMaps(const VehicleSignals& s) {
  EngineMaps m;
  m.throttles = unitArray(s, UnitModel::powertrain, "torqueMapThrottles");
  m.torqueSpeeds = unitArray(s, UnitModel::powertrain, "torqueMapSpeeds");
  m.torqueMap = unitArray(s, UnitModel::powertrain, "torqueMap");
  m.fuelTorques = unitArray(s, UnitModel::powertrain, "fuelMapTorques");
  m.fuelSpeeds = unitArray(s, UnitModel::powertrain, "fuelMapSpeeds");
  m.fuelMap = unitArray(s, UnitModel::powertrain, "fuelMap");
  return m;
}

double EngineMaps::fullLoadTorque(double rpm) const { return torqueAt(*this, throttles.size() - 1, rpm); }

double EngineMaps::closedThrottleTorque(double rpm) const { return torqueAt(*this, 0, rpm); }

double EngineMaps::fuelRate(double torque, double rpm) const {
  std::size_t i = 0, j = 0;
  double fi = 0.0, fj = 0.0;
  segment(fuelTorques, torque, i, fi);
  segment(fuelSpeeds, rpm, j, fj);
  const std::size_t n = fuelTorques.size();
  auto at = [&](std::size_t a, std::size_t b) { return fuelMap[a + n * b]; };
  const double low = at(i, j) + fi * (at(i + 1, j) - at(i, j));
  const double high = at(i, j + 1) + fi * (at(i + 1, j + 1) - at(i, j + 1));
  return low + fj * (high - low);
}

double EngineMaps::torqueForFuel(double gramsPerSecond, double rpm) const {
  // Linear in the torque within each torque segment at a fixed speed: find the segment.
  const std::size_t last = fuelTorques.size() - 1;
  for (std::size_t i = 0; i < last; ++i) {
    const double a = fuelRate(fuelTorques[i], rpm), b = fuelRate(fuelTorques[i + 1], rpm);
    if (!(b > a)) return NAN;
    const bool below = i == 0 && gramsPerSecond < a;
    if (below || gramsPerSecond <= b || i + 1 == last) {
      return fuelTorques[i] + (gramsPerSecond - a) / (b - a) * (fuelTorques[i + 1] - fuelTorques[i]);
    }
  }
  return NAN;
}

double EngineMaps::brakeSpecificConsumption(double torque, double rpm) const {
  const double kilowatts = torque * rpm * std::numbers::pi / 30.0 / 1000.0;
  return kilowatts > 0.0 ? fuelRate(torque, rpm) * 3600.0 / kilowatts : NAN;
}

}  // namespace report
