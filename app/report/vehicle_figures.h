// The figures of the vehicle report, worked out from a run record: distance, fuel and CO2 over
// the whole run and per phase, the energy flows, the cycle-following check, gears, battery and
// bus, and the notes on model behaviour that looks wrong but is the model's.
#pragma once

#include <string>
#include <vector>

#include "app/report/cycle_following.h"
#include "app/report/vehicle_report.h"
#include "app/report/vehicle_signals.h"

namespace report {

struct Consumption {
  std::string name;
  double startTime = 0.0, endTime = 0.0;
  double distanceKm = 0.0, cycleDistanceKm = 0.0, fuelGrams = 0.0;
  double litresPer100Km = 0.0, co2GramsPerKm = 0.0;  // NaN below 0.1 km
};

// Energies in kJ over the run, each flow an amount (not negative) in the direction its name
// says; only the changes (kinetic energy gained, battery) and the balance carry a sign. Traction
// and wheel braking are the driveshaft's work on the wheels where it drives and where it holds
// back; aerodynamic, rolling, extra resistance and friction braking are what the chassis' forces
// took, worked out from its speed, its pedal input and its parameters; the balance is what the
// wheels received less what the chassis forces and the kinetic energy took.
struct Energy {
  bool wheels = false, electrical = false, engine = false;
  double fuel = 0.0;
  double engineToDriveline = 0.0;  // what converter and clutch take from the engine, net
  double gearboxLoss = 0.0;
  double traction = 0.0, wheelBraking = 0.0;
  double aerodynamic = 0.0, rolling = 0.0, extraResistance = 0.0, frictionBrakes = 0.0;
  double kineticGain = 0.0;
  double balance = 0.0;  // traction - wheelBraking - (aero + rolling + extra + brakes + kinetic)
  double alternatorDrive = 0.0, beltLoss = 0.0;
  double batteryAh = 0.0, batteryKj = 0.0;
};

struct VehicleFigures {
  double duration = 0.0, step = 0.0, wallSeconds = 0.0;
  double distanceKm = 0.0, cycleDistanceKm = 0.0;
  Consumption total;
  std::vector<Consumption> phases;
  Energy energy;
  CycleFollowing following;
  double excursionShare = 0.0;
  bool followingPassed = true;
  double rmsErrorKmh = 0.0;
  // Controller chatter: the time the driver pressed both pedals (with the driver's pedals only).
  bool pedals = false;
  double bothPedalsSeconds = 0.0, bothPedalsShare = 0.0;
  bool pedalsPassed = true;
  // Gears: time in each (index 0 is first gear), shifts, lock-up time.
  std::vector<double> timeInGear;
  int shifts = 0;
  double lockupSeconds = 0.0;
  bool gears = false;
  // Battery and bus.
  bool battery = false;
  double socStart = 0.0, socEnd = 0.0, socMin = 0.0, socMax = 0.0;
  double socUpperLimit = 0.0, socLowerLimit = 0.0;
  double socUpperReachedAt = -1.0, socLowerReachedAt = -1.0;  // s, or -1 when never reached
  double busMin = 0.0, busMinTime = 0.0, busMax = 0.0, busMaxTime = 0.0;
  double maxEngineRpm = 0.0;
  double negativeFuelSeconds = 0.0, negativeFuelGrams = 0.0;
  std::vector<std::string> notes;
  std::string plotsSkipped;  // why the report has no plots, when it is asked for them and has none
};

VehicleFigures computeFigures(const VehicleSignals& signals, const ReportSettings& settings);

}  // namespace report
