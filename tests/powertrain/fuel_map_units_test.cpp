// What the fuel map's values are: divided by the engine power at the map's own operating points
// they must give the brake-specific consumption of a petrol engine in g/kWh when read as grams
// per second, the unit the model description declares for the fuel rate and the fuel used.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "models/powertrain/powertrain_model.h"

namespace {

using powertrain::Model;
using powertrain::ModelParameters;

const runtime::VariableDef& variable(const char* name) {
  for (const runtime::VariableDef& d : Model::variables()) {
    if (std::strcmp(d.name, name) == 0) return d;
  }
  throw std::runtime_error(name);
}

TEST(FuelMapUnits, BrakeSpecificConsumptionOfTheMapIsThatOfAPetrolEngineInGramsPerSecond) {
  const ModelParameters& p = Model::defaultParameters();
  double best = INFINITY, worst = 0.0, bestRpm = 0.0, bestTorque = 0.0;
  // The useful map: from 1000 to 6000 rpm (above idle, below the over-speed row) and from the
  // first torque column above zero load.
  for (int j = 0; j < 13; ++j) {
    const double rpm = p.fuelMapSpeeds[j];
    if (rpm < 1000.0 || rpm > 6000.0) continue;
    for (int i = 1; i < 8; ++i) {
      const double torque = p.fuelMapTorques[i];
      const double kilowatts = torque * rpm * std::numbers::pi / 30.0 / 1000.0;
      const double gramsPerKwh = p.fuelMap[i + 8 * j] * 3600.0 / kilowatts;
      if (gramsPerKwh < best) best = gramsPerKwh, bestRpm = rpm, bestTorque = torque;
      worst = std::max(worst, gramsPerKwh);
    }
  }
  EXPECT_NEAR(best, 239.5, 0.1) << "g/kWh";
  EXPECT_EQ(bestRpm, 2000.0);
  EXPECT_EQ(bestTorque, 112.5);
  EXPECT_NEAR(worst, 401.1, 0.1) << "g/kWh, at the lightest load";
  EXPECT_STREQ(variable("fuelRate").unit, "g/s");
  EXPECT_STREQ(variable("fuelUsed").unit, "g");
  EXPECT_STREQ(variable("fuelMap").unit, "g/s");
}

}  // namespace
