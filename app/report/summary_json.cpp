#include <nlohmann/json.hpp>

#include <cmath>

#include "app/report/summary_output.h"
#include "app/summary_conventions.h"

namespace report {

namespace {

namespace keys = master::conventions::summary;

// JSON has no NaN: a figure that does not exist (L/100 km over no distance) is null.
// A denormal (a sum of round-off, such as -2.283e-321) is no figure: 0.
nlohmann::json number(double v) {
  if (!std::isfinite(v)) return nullptr;
  return std::fpclassify(v) == FP_SUBNORMAL ? 0.0 : v;
}

nlohmann::json consumption(const Consumption& c) {
  return {{keys::phaseName, c.name},
          {"startTime", c.startTime},
          {"endTime", c.endTime},
          {keys::distanceKm, number(c.distanceKm)},
          {keys::cycleDistanceKm, number(c.cycleDistanceKm)},
          {keys::fuelGrams, number(c.fuelGrams)},
          {keys::fuelLitresPer100Km, number(c.litresPer100Km)},
          {keys::co2GramsPerKm, number(c.co2GramsPerKm)}};
}

}  // namespace

std::string summaryJson(const VehicleFigures& f, const ReportSettings& s) {
  nlohmann::json j;
  j[keys::distanceKm] = number(f.distanceKm);
  j[keys::cycleDistanceKm] = number(f.cycleDistanceKm);
  j[keys::fuelGrams] = number(f.total.fuelGrams);
  j[keys::fuelLitresPer100Km] = number(f.total.litresPer100Km);
  j[keys::co2GramsPerKm] = number(f.total.co2GramsPerKm);
  j[keys::phases] = nlohmann::json::array();
  for (const Consumption& p : f.phases) j[keys::phases].push_back(consumption(p));
  nlohmann::json excursions = nlohmann::json::array();
  for (const Excursion& e : f.following.excursions) {
    excursions.push_back({{"start", e.start}, {"end", e.end}, {"worstKmh", number(e.worstKmh)}, {"worstTime", e.worstTime}});
  }
  j[keys::cycleFollowing] = {{keys::excursions, f.following.excursions.size()},
                             {keys::excursionSeconds, f.following.excursionSeconds},
                             {keys::worstKmh, number(f.following.worstKmh)},
                             {keys::passed, f.followingPassed},
                             {"share", f.excursionShare},
                             {"shareLimit", s.excursionShareLimit},
                             {"toleranceKmh", s.toleranceKmh},
                             {"toleranceSeconds", s.toleranceSeconds},
                             {"speedErrorRmsKmh", number(f.rmsErrorKmh)},
                             {"list", excursions}};
  if (f.pedals) {
    j[keys::bothPedals] = {{"seconds", f.bothPedalsSeconds},
                       {keys::share, f.bothPedalsShare},
                       {"shareLimit", s.bothPedalsShareLimit},
                       {"pressedPercent", s.pedalPressedPercent},
                       {"passed", f.pedalsPassed}};
  }
  j["fuel"] = {{"densityKgPerL", s.fuelDensityKgPerL},
               {"co2PerGramFuel", s.co2PerGramFuel},
               {"lowerHeatingValueMjPerKg", s.lowerHeatingValueMjPerKg}};
  const Energy& e = f.energy;
  nlohmann::json energy = {{"fuelKj", number(e.fuel)}, {"gearboxLossKj", number(e.gearboxLoss)}};
  if (e.engine) energy["engineToDrivelineKj"] = number(e.engineToDriveline);
  if (e.wheels) {
    energy["tractionKj"] = number(e.traction);
    energy["wheelBrakingKj"] = number(e.wheelBraking);
    energy[keys::frictionBrakesKj] = number(e.frictionBrakes);
    energy["aerodynamicKj"] = number(e.aerodynamic);
    energy["rollingKj"] = number(e.rolling);
    energy["extraResistanceKj"] = number(e.extraResistance);
    energy["kineticGainKj"] = number(e.kineticGain);
    energy["balanceKj"] = number(e.balance);
  }
  if (e.electrical) {
    energy["alternatorDriveKj"] = number(e.alternatorDrive);
    energy["beltLossKj"] = number(e.beltLoss);
    energy["batteryAh"] = number(e.batteryAh);
    energy["batteryKj"] = number(e.batteryKj);
  }
  j[keys::energy] = energy;
  if (f.gears) j["gears"] = {{"timeInGear", f.timeInGear}, {"shifts", f.shifts}, {"lockupSeconds", f.lockupSeconds}};
  if (f.battery) {
    j["battery"] = {{"socStart", f.socStart},     {"socEnd", f.socEnd},
                    {"socMin", f.socMin},         {"socMax", f.socMax},
                    {"socUpperLimit", f.socUpperLimit}, {"socLowerLimit", f.socLowerLimit},
                    {"busMinV", f.busMin},        {"busMaxV", f.busMax}};
  }
  j["notes"] = f.notes;
  return j.dump(2);
}

}  // namespace report
