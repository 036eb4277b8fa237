#include "app/report/vehicle_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "app/report/phase_names.h"
#include "app/report/unit_parameters.h"

namespace report {

namespace {

constexpr double kmhPerMs = 3.6;

// Figures per distance only over a distance that can carry them: over a few metres (a phase at
// standstill, a run of seconds) the fuel of idling divided by next to nothing says nothing.
constexpr double leastPerDistanceKm = 0.1;

void finishConsumption(Consumption& c, const ReportSettings& s) {
  const double litres = c.fuelGrams / (s.fuelDensityKgPerL * 1000.0);
  const bool far = c.distanceKm >= leastPerDistanceKm;
  c.litresPer100Km = far ? litres / c.distanceKm * 100.0 : NAN;
  c.co2GramsPerKm = far ? c.fuelGrams * s.co2PerGramFuel / c.distanceKm : NAN;
}

std::string format(const char* f, double a, double b = 0.0, double c = 0.0) {
  char text[400];
  std::snprintf(text, sizeof text, f, a, b, c);
  return text;
}

// The chassis' resisting forces and friction brake, worked out from the recorded speed and
// brake pedal with the chassis' own equations and parameters.
void chassisEnergy(const VehicleSignals& s, const std::vector<double>& t, Energy& e) {
  const auto& v = *s.speedKmh;
  const std::size_t n = t.size();
  auto p = [&](const char* name) { return unitParameter(s, UnitModel::chassis, name); };
  const double mass = p("vehicleMass"), radius = p("wheelRadius");
  const double rollingForce = p("rollingCoefficient") * mass * p("gravity");
  const double dirLow = p("directionLower"), dirHigh = p("directionUpper");
  const double dragFactor = p("frontalArea") * 0.5 * p("dragCoefficient") * p("airDensity");
  const double dragCap = p("dragSpeedCapKmh") / kmhPerMs, wind = p("windSpeed");
  const double extra = p("extraResistance");
  const double lagA = p("brakeLagA"), lagC = p("brakeLagC"), maxBrake = p("maxBrakeForce");
  auto ms = [&](std::size_t k) { return v[k] / kmhPerMs; };
  auto roll = [&](double u) { return std::clamp(u, dirLow, dirHigh) * rollingForce * u; };
  auto drag = [&](double u) {
    const double w = std::min(u, dragCap) - wind;
    return w * w * dragFactor * u;
  };
  double lagState = 0.0;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const double h = t[k + 1] - t[k];
    const double u0 = ms(k), u1 = ms(k + 1);
    const double distance = 0.5 * (u0 + u1) * h;
    // Inputs hold over a communication interval: the wheel torque does its work over the
    // distance covered.
    const double work = (*s.driveshaftTorque)[k] / radius * distance;
    if (work >= 0.0) {
      e.traction += work / 1000.0;
    } else {
      e.wheelBraking -= work / 1000.0;  // an amount, as every flow: what the wheels gave back
    }
    e.aerodynamic += 0.5 * (drag(u0) + drag(u1)) * h / 1000.0;
    e.rolling += 0.5 * (roll(u0) + roll(u1)) * h / 1000.0;
    e.extraResistance += extra * distance / 1000.0;
    if (s.brake != nullptr) {
      // The brake lag x' = a x + u with the pedal's demand held, solved exactly over the step.
      const double demand = maxBrake / 100.0 * (*s.brake)[k];
      const double decay = std::exp(lagA * h);
      const double f0 = lagC * lagState;
      lagState = lagState * decay + demand * (decay - 1.0) / lagA;
      const double f1 = lagC * lagState;
      e.frictionBrakes += 0.5 * (f0 * u0 + f1 * u1) * h / 1000.0;
    }
  }
  e.kineticGain = 0.5 * mass * (ms(n - 1) * ms(n - 1) - ms(0) * ms(0)) / 1000.0;
  e.balance = e.traction - e.wheelBraking -
              (e.aerodynamic + e.rolling + e.extraResistance + e.frictionBrakes + e.kineticGain);
  e.wheels = true;
}

// Trapezoid of the product of two columns (or of one, when `b` is null), in kJ.
double integral(const std::vector<double>& t, Column a, Column b, double factor) {
  double sum = 0.0;
  for (std::size_t k = 0; k + 1 < t.size(); ++k) {
    const double p0 = (*a)[k] * (b ? (*b)[k] : 1.0), p1 = (*a)[k + 1] * (b ? (*b)[k + 1] : 1.0);
    sum += 0.5 * (p0 + p1) * (t[k + 1] - t[k]);
  }
  return sum * factor / 1000.0;
}

void energy(const VehicleSignals& s, const ReportSettings& settings, const std::vector<double>& t, VehicleFigures& f) {
  Energy& e = f.energy;
  e.fuel = f.total.fuelGrams * settings.lowerHeatingValueMjPerKg;  // MJ/kg = kJ/g
  if (s.engineLoadTorque && s.engineSpeed) {
    e.engineToDriveline = integral(t, s.engineLoadTorque, s.engineSpeed, -1.0);
    e.engine = true;
  }
  if (s.gearboxLossPower) e.gearboxLoss = integral(t, s.gearboxLossPower, nullptr, 1.0);
  if (s.driveshaftTorque && t.size() > 1) chassisEnergy(s, t, e);
  if (s.alternatorLoadTorque && s.engineSpeed) {
    e.alternatorDrive = integral(t, s.alternatorLoadTorque, s.engineSpeed, -1.0);
    e.electrical = true;
  }
  // The electrical unit gives its drive loss as a power drawn, negative: the report's flows are
  // amounts.
  if (s.beltLossPower) e.beltLoss = integral(t, s.beltLossPower, nullptr, -1.0);
  if (s.stateOfCharge && !t.empty()) {
    const double capacityAh = unitParameter(s, UnitModel::electrical, "batteryCapacityAh");
    e.batteryAh = (s.stateOfCharge->back() - s.stateOfCharge->front()) / 100.0 * capacityAh;
    double meanBus = 0.0;
    if (s.busVoltage && t.size() > 1) meanBus = integral(t, s.busVoltage, nullptr, 1000.0) / (t.back() - t.front());
    e.batteryKj = e.batteryAh * 3600.0 * meanBus / 1000.0;
  }
}

void consumption(const VehicleSignals& s, const ReportSettings& settings, const std::vector<double>& t,
                 VehicleFigures& f) {
  const auto& v = *s.speedKmh;
  const auto& target = *s.targetKmh;
  const auto& fuel = *s.fuelUsed;
  const std::size_t n = t.size();
  f.total.name = "whole cycle";
  std::map<int, Consumption> phases;
  int phaseCount = 0;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const double h = t[k + 1] - t[k];
    const double distance = 0.5 * (v[k] + v[k + 1]) * h / 3600.0;
    const double cycleDistance = 0.5 * (target[k] + target[k + 1]) * h / 3600.0;
    const double grams = fuel[k + 1] - fuel[k];
    f.total.distanceKm += distance;
    f.total.cycleDistanceKm += cycleDistance;
    f.total.fuelGrams += grams;
    // An interval belongs to the phase at its start.
    const int phase = s.phase ? static_cast<int>((*s.phase)[k]) : 0;
    if (phase <= 0) continue;
    phaseCount = std::max(phaseCount, phase);
    Consumption& c = phases[phase];
    if (c.endTime == 0.0) c.startTime = t[k];
    c.endTime = t[k + 1];
    c.distanceKm += distance;
    c.cycleDistanceKm += cycleDistance;
    c.fuelGrams += grams;
  }
  f.total.startTime = n ? t.front() : 0.0;
  f.total.endTime = n ? t.back() : 0.0;
  finishConsumption(f.total, settings);
  const std::vector<std::string> fileNames = phases.empty() ? std::vector<std::string>{} : cycleFilePhaseNames(s);
  for (auto& [phase, c] : phases) {
    c.name = phaseName(phase, phaseCount, fileNames);
    finishConsumption(c, settings);
    f.phases.push_back(c);
  }
  f.distanceKm = f.total.distanceKm;
  f.cycleDistanceKm = f.total.cycleDistanceKm;
}

void gearsAndBattery(const VehicleSignals& s, const std::vector<double>& t, VehicleFigures& f) {
  const std::size_t n = t.size();
  if (s.gear) {
    f.gears = true;
    for (std::size_t k = 0; k + 1 < n; ++k) {
      const int g = static_cast<int>((*s.gear)[k]);
      if (g >= 1) {
        if (f.timeInGear.size() < static_cast<std::size_t>(g)) f.timeInGear.resize(static_cast<std::size_t>(g), 0.0);
        f.timeInGear[static_cast<std::size_t>(g - 1)] += t[k + 1] - t[k];
      }
      if ((*s.gear)[k + 1] != (*s.gear)[k]) ++f.shifts;
      if (s.lockup && (*s.lockup)[k] != 0.0) f.lockupSeconds += t[k + 1] - t[k];
    }
  }
  if (s.stateOfCharge && n > 0) {
    const auto& soc = *s.stateOfCharge;
    f.battery = true;
    f.socStart = soc.front();
    f.socEnd = soc.back();
    f.socMin = *std::min_element(soc.begin(), soc.end());
    f.socMax = *std::max_element(soc.begin(), soc.end());
    f.socUpperLimit = unitParameter(s, UnitModel::electrical, "chargeUpperPercent");
    f.socLowerLimit = unitParameter(s, UnitModel::electrical, "chargeLowerPercent");
    for (std::size_t k = 0; k < n; ++k) {
      if (f.socUpperReachedAt < 0.0 && soc[k] >= f.socUpperLimit) f.socUpperReachedAt = t[k];
      if (f.socLowerReachedAt < 0.0 && soc[k] <= f.socLowerLimit) f.socLowerReachedAt = t[k];
    }
  }
  // The bus voltage of the first point is the battery's initial value, not a result.
  if (s.busVoltage && n > 1) {
    const auto& bus = *s.busVoltage;
    f.busMin = f.busMax = bus[1];
    f.busMinTime = f.busMaxTime = t[1];
    for (std::size_t k = 2; k < n; ++k) {
      if (bus[k] < f.busMin) f.busMin = bus[k], f.busMinTime = t[k];
      if (bus[k] > f.busMax) f.busMax = bus[k], f.busMaxTime = t[k];
    }
  }
}

void notes(const VehicleSignals& s, const std::vector<double>& t, VehicleFigures& f) {
  if (s.fuelRate) {
    for (std::size_t k = 0; k + 1 < t.size(); ++k) {
      if ((*s.fuelRate)[k] < 0.0) f.negativeFuelSeconds += t[k + 1] - t[k];
    }
    for (std::size_t k = 0; k + 1 < t.size(); ++k) {
      const double a = std::min((*s.fuelRate)[k], 0.0), b = std::min((*s.fuelRate)[k + 1], 0.0);
      f.negativeFuelGrams += 0.5 * (a + b) * (t[k + 1] - t[k]);
    }
  }
  if (f.negativeFuelSeconds > 0.0) {
    f.notes.push_back(format(
        "The fuel rate is negative for %.2f s (%.4f g in all) while the engine stands still: the "
        "powertrain's fuel map is extrapolated linearly below its first torque column to the "
        "closed-throttle torque at 0 rpm. This is the model's behaviour, kept as it is; the "
        "fuel figures include it.",
        f.negativeFuelSeconds, f.negativeFuelGrams));
  }
  if (f.battery && f.socMax > 100.0) {
    f.notes.push_back(format(
        "The state of charge rises above 100 %% (highest %.3f %%): the battery model limits the "
        "charge at %.0f %% of its capacity, not at 100 %%. This is the model's behaviour.",
        f.socMax, f.socUpperLimit));
  }
  if (f.energy.electrical && f.energy.batteryKj > f.energy.alternatorDrive && f.energy.batteryKj > 1.0) {
    f.notes.push_back(format(
        "The battery took in about %.0f kJ (its charge at the mean bus voltage) while the alternator drive took "
        "only %.0f kJ from the engine: the electrical model's alternator torque comes from a drag map that no "
        "energy balance ties to the current it delivers, so the engine does not pay for all the charge. This is "
        "the model's behaviour.",
        f.energy.batteryKj, f.energy.alternatorDrive));
  }
  const Consumption* cold = nullptr;
  const Consumption* hot = nullptr;
  for (const Consumption& p : f.phases) {
    if (p.name.rfind("cold", 0) == 0) cold = &p;
    if (p.name.rfind("hot", 0) == 0) hot = &p;
  }
  if (cold != nullptr && hot != nullptr) {
    f.notes.push_back(format(
        "The cold-start phase burns as the hot-start one (%.2f g against %.2f g): the powertrain has no engine "
        "temperature, so a cold start costs nothing extra. This is the model's behaviour.",
        cold->fuelGrams, hot->fuelGrams));
  }
  if (f.total.fuelGrams < 0.0) {
    // Named by what the run shows: the negative fuel rate at standstill, else a fuel total that
    // fell by itself.
    f.notes.push_back(f.negativeFuelGrams < 0.0
                          ? format("The fuel used decreased over the run (%.4f g): the negative fuel rate while the "
                                   "engine stands still (%.4f g, noted above) outweighs what the engine burnt, as in a "
                                   "run that is mostly at standstill.",
                                   f.total.fuelGrams, f.negativeFuelGrams)
                          : format("The fuel used decreased over the run (%.4f g) although the fuel rate was never "
                                   "negative: the powertrain's fuelUsed output does not add up its fuel rate.",
                                   f.total.fuelGrams));
  }
  if (f.energy.wheels && f.energy.traction > 0.0) {
    const double share = std::fabs(f.energy.balance) / f.energy.traction;
    if (share > 0.02) {
      f.notes.push_back(format(
          "The energy balance at the wheels leaves %.1f %% of the traction energy unexplained: the "
          "chassis did not receive what the report assumes (the driveshaft torque and the driver's "
          "brake pedal, with the chassis parameters shown); check the connections to the chassis.",
          share * 100.0));
    }
  }
}

// Each interval between two points counts as pressed when both pedals were beyond the threshold
// at its start (the values the units held over it).
void bothPedals(const VehicleSignals& s, const ReportSettings& settings, const std::vector<double>& t,
                VehicleFigures& f) {
  if (s.accelerator == nullptr || s.brake == nullptr) return;
  f.pedals = true;
  const double pressed = settings.pedalPressedPercent;
  for (std::size_t k = 0; k + 1 < t.size(); ++k) {
    if ((*s.accelerator)[k] > pressed && (*s.brake)[k] > pressed) f.bothPedalsSeconds += t[k + 1] - t[k];
  }
  f.bothPedalsShare = f.duration > 0.0 ? f.bothPedalsSeconds / f.duration : 0.0;
  f.pedalsPassed =
      !(f.bothPedalsShare > settings.bothPedalsShareLimit && f.bothPedalsSeconds >= settings.leastBothPedalsSeconds);
}

}  // namespace

VehicleFigures computeFigures(const VehicleSignals& s, const ReportSettings& settings) {
  VehicleFigures f;
  const master::RunRecord& r = *s.record;
  const std::vector<double>& t = r.time;
  f.step = r.communicationStep;
  f.wallSeconds = r.wallSeconds;
  f.duration = t.empty() ? 0.0 : t.back() - t.front();
  consumption(s, settings, t, f);
  energy(s, settings, t, f);
  f.following = checkCycleFollowing(t, *s.targetKmh, *s.speedKmh, settings.toleranceKmh, settings.toleranceSeconds);
  f.excursionShare = f.duration > 0.0 ? f.following.excursionSeconds / f.duration : 0.0;
  f.followingPassed = f.excursionShare <= settings.excursionShareLimit;
  double squares = 0.0;
  for (std::size_t k = 0; k < t.size(); ++k) {
    const double error = (*s.speedKmh)[k] - (*s.targetKmh)[k];
    squares += error * error;
  }
  f.rmsErrorKmh = t.empty() ? 0.0 : std::sqrt(squares / static_cast<double>(t.size()));
  bothPedals(s, settings, t, f);
  gearsAndBattery(s, t, f);
  if (s.engineRpm && !t.empty()) f.maxEngineRpm = *std::max_element(s.engineRpm->begin(), s.engineRpm->end());
  notes(s, t, f);
  return f;
}

}  // namespace report
