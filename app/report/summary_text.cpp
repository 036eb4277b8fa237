#include <cmath>
#include <cstdio>
#include <type_traits>

#include "app/report/summary_output.h"

namespace report {

namespace {

// A denormal (round-off, such as -2.283e-321) and a negative zero are shown as 0.
template <typename T>
T shown(T v) {
  if constexpr (std::is_floating_point_v<T>) {
    if (std::fpclassify(v) == FP_SUBNORMAL || v == 0.0) return 0.0;
  }
  return v;
}

// L/100 km and g CO2/km, or why there are none (too short a distance).
// `width` pads the numbers for a table's columns.
std::string perDistance(const Consumption& c, const char* separator, int width = 0) {
  if (!std::isfinite(c.litresPer100Km)) return "no figures per km below 0.1 km";
  char text[80];
  std::snprintf(text, sizeof text, "%*.3f L/100 km%s%*.1f g CO2/km", width, c.litresPer100Km, separator, width,
                c.co2GramsPerKm);
  return text;
}

}  // namespace

std::string summaryText(const VehicleFigures& f, const ReportSettings& s) {
  std::string out;
  char line[512];
  auto add = [&](const char* format, auto... values) {
    std::snprintf(line, sizeof line, format, shown(values)...);
    out += line;
  };
  add("Vehicle report\n");
  add("  run                 %.2f s at a communication step of %g s", f.duration, f.step);
  if (f.wallSeconds > 0.0) add(", wall time %.3f s, %.0f times real time", f.wallSeconds, f.duration / f.wallSeconds);
  out += '\n';
  add("  distance            %.3f km driven, cycle %.3f km (%+.2f %%)\n", f.distanceKm, f.cycleDistanceKm,
      f.cycleDistanceKm > 0.0 ? (f.distanceKm / f.cycleDistanceKm - 1.0) * 100.0 : 0.0);
  add("  fuel                %.2f g, %s\n", f.total.fuelGrams, perDistance(f.total, ", ").c_str());
  for (const Consumption& p : f.phases) {
    add("    %-16s  %7.3f km  %8.2f g  %s\n", p.name.c_str(), p.distanceKm, p.fuelGrams,
        perDistance(p, "  ", 6).c_str());
  }
  add("  fuel properties     %.3f kg/L, %.2f g CO2/g, %.1f MJ/kg lower heating value\n", s.fuelDensityKgPerL,
      s.co2PerGramFuel, s.lowerHeatingValueMjPerKg);
  const CycleFollowing& c = f.following;
  add("  cycle following     %s: %zu excursions outside +-%g km/h / +-%g s, %.2f s in all (%.2f %% of the cycle, "
      "limit %.2f %%)\n",
      f.followingPassed ? "passed" : "FAILED", c.excursions.size(), s.toleranceKmh, s.toleranceSeconds,
      c.excursionSeconds, f.excursionShare * 100.0, s.excursionShareLimit * 100.0);
  if (!c.excursions.empty()) {
    add("                      worst %+.2f km/h beyond the band; speed error RMS %.3f km/h\n", c.worstKmh, f.rmsErrorKmh);
  } else {
    add("                      speed error RMS %.3f km/h\n", f.rmsErrorKmh);
  }
  if (f.pedals) {
    add("  both pedals pressed %s: %.2f s, %.2f %% of the run (limit %.2f %%)\n", f.pedalsPassed ? "passed" : "FAILED",
        f.bothPedalsSeconds, f.bothPedalsShare * 100.0, s.bothPedalsShareLimit * 100.0);
  }
  const Energy& e = f.energy;
  add("  energy              (kJ; each flow an amount the way its name says, the changes and the balance signed)\n");
  add("                      fuel %.0f kJ", e.fuel);
  if (e.wheels) {
    add(", traction %.0f kJ, wheel braking %.0f kJ, friction brakes %.0f kJ, aerodynamic %.0f kJ, rolling %.0f kJ",
        e.traction, e.wheelBraking, e.frictionBrakes, e.aerodynamic, e.rolling);
  }
  if (e.engine) add(", engine to driveline %.0f kJ", e.engineToDriveline);
  add(", gearbox loss %.0f kJ\n", e.gearboxLoss);
  if (e.wheels) {
    add("  energy balance      %+.2f kJ unexplained at the wheels (%.3f %% of the traction energy)\n", e.balance,
        e.traction > 0.0 ? std::fabs(e.balance) / e.traction * 100.0 : 0.0);
  }
  if (e.electrical) {
    add("  electrical          alternator drive %.1f kJ, belt loss %.1f kJ, battery change %+.3f Ah (%+.1f kJ)\n",
        e.alternatorDrive, e.beltLoss, e.batteryAh, e.batteryKj);
  }
  if (f.gears) {
    out += "  time in gear       ";
    for (std::size_t g = 0; g < f.timeInGear.size(); ++g) {
      add(" %zu: %.2f s%s", g + 1, f.timeInGear[g], g + 1 < f.timeInGear.size() ? "," : "");
    }
    add("\n  shifts              %d, lock-up engaged %.2f s\n", f.shifts, f.lockupSeconds);
  }
  if (f.battery) {
    add("  state of charge     %.3f %% at the start, %.3f %% at the end (lowest %.3f %%, highest %.3f %%)", f.socStart,
        f.socEnd, f.socMin, f.socMax);
    if (f.socUpperReachedAt >= 0.0) add("; upper limit %.0f %% reached at t = %.2f s", f.socUpperLimit, f.socUpperReachedAt);
    if (f.socLowerReachedAt >= 0.0) add("; lower limit %.0f %% reached at t = %.2f s", f.socLowerLimit, f.socLowerReachedAt);
    out += '\n';
    add("  bus voltage         %.3f V (t = %.2f s) to %.3f V (t = %.2f s), after the first step\n", f.busMin,
        f.busMinTime, f.busMax, f.busMaxTime);
  }
  if (!f.plotsSkipped.empty()) out += "  plots               skipped: " + f.plotsSkipped + "\n";
  for (const std::string& note : f.notes) out += "  note: " + note + "\n";
  return out;
}

}  // namespace report
