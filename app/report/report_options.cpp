#include <CLI/CLI.hpp>

#include "app/report/vehicle_report.h"

namespace report {

void addOptions(CLI::App& app, ReportSettings& s) {
  app.add_option("--fuel-density", s.fuelDensityKgPerL, "fuel density for L/100 km, kg/L (petrol)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--co2-per-gram", s.co2PerGramFuel, "g CO2 per g of fuel burnt (petrol)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--lower-heating-value", s.lowerHeatingValueMjPerKg, "fuel lower heating value, MJ/kg (petrol)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--excursion-share", s.excursionShareLimit,
                 "largest share of the cycle outside the +-2 km/h / +-1 s band before the run fails (exit 2)")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--both-pedals-share", s.bothPedalsShareLimit,
                 "largest share of the run with both pedals pressed (beyond 0.5 %, 1 s at least) before the run fails (exit 2)")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
}

}  // namespace report
