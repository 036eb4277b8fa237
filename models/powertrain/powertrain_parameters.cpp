// The powertrain library's stored default parameter record: scalars, the engine's torque and
// fuel maps, the converter's tables, and the two last-index pairs of the maps.
#include <cstddef>
#include <iterator>

#include "models/powertrain/powertrain_model.h"
#include "runtime/stored_tables.h"
#include "runtime/numerics.h"

namespace powertrain {

namespace {

// Engine torque, N·m: one row per speed of torqueMapSpeeds, one column per throttle of
// torqueMapThrottles. Stored row after row, so the throttle index runs fastest.
constexpr double torqueMapValues[] = {
    // 0 %   5 %     10 %    20 %     30 %     40 %     50 %     100 %
    -3.75,  35.25,  70.5,   87.0,    87.0,    87.0,    87.0,    87.0,     // 500 rpm
    -7.5,   43.65,  78.975, 99.975,  101.025, 101.625, 102.15,  104.925,  // 1000 rpm
    -11.25, 18.375, 65.775, 115.725, 126.45,  130.875, 131.55,  133.425,  // 2000 rpm
    -15.0,  0.0,    39.9,   105.6,   127.125, 134.475, 136.35,  140.625,  // 3000 rpm
    -18.75, -3.75,  25.2,   94.125,  125.85,  135.45,  139.65,  143.25,   // 4000 rpm
    -22.5,  -7.5,   14.175, 77.625,  116.7,   126.9,   136.5,   145.575,  // 5000 rpm
    -26.25, -11.25, 3.975,  55.425,  90.9,    103.875, 113.325, 121.35,   // 6000 rpm
    -30.0,  -15.0,  0.0,    47.4,    79.5,    95.25,   100.5,   112.5,    // 6500 rpm
};
constexpr double torqueMapSpeedValues[] = {500.0,  1000.0, 2000.0, 3000.0,
                                           4000.0, 5000.0, 6000.0, 6500.0};
constexpr double torqueMapThrottleValues[] = {0.0, 5.0, 10.0, 20.0, 30.0, 40.0, 50.0, 100.0};

// Fuel rate: one row per speed of fuelMapSpeeds, one column per torque of fuelMapTorques, stored
// row after row (torque index fastest). Closed-throttle torques lie below the first column and
// are reached by extrapolation.
constexpr double fuelMapValues[] = {
    // 0 N·m  22.5    45.0    67.5    90.0    112.5   135.0    150.0
    0.0, 0.15,   0.225,  0.255,  0.3375, 0.4275, 0.51,    0.555,    // 500 rpm
    0.0, 0.2625, 0.3675, 0.5025, 0.6675, 0.8475, 1.02,    1.1025,   // 1000 rpm
    0.0, 0.39,   0.5475, 0.75,   0.96,   1.2,    1.53,    1.6575,   // 1500 rpm
    0.0, 0.525,  0.735,  0.9825, 1.26,   1.5675, 1.965,   2.2125,   // 2000 rpm
    0.0, 0.6525, 0.915,  1.2525, 1.605,  2.0025, 2.505,   2.7675,   // 2500 rpm
    0.0, 0.7875, 1.1025, 1.53,   1.965,  2.4075, 3.0075,  3.315,    // 3000 rpm
    0.0, 0.915,  1.2825, 1.785,  2.2875, 2.805,  3.5025,  3.87,     // 3500 rpm
    0.0, 1.05,   1.4625, 2.1225, 2.67,   3.27,   4.005,   4.425,    // 4000 rpm
    0.0, 1.1775, 1.65,   2.385,  3.18,   3.975,  4.77,    5.1675,   // 4500 rpm
    0.0, 1.3125, 1.83,   2.7525, 3.6675, 4.5825, 5.4975,  5.955,    // 5000 rpm
    0.0, 1.44,   2.16,   3.24,   4.32,   5.4,    6.48,    7.02,     // 5500 rpm
    0.0, 1.5675, 2.7525, 4.125,  5.4975, 6.87,   8.25,    8.9325,   // 6000 rpm
    0.0, 2.13,   3.405,  5.1075, 6.81,   8.505,  10.2075, 11.0625,  // 6500 rpm
};
constexpr double fuelMapSpeedValues[] = {500.0,  1000.0, 1500.0, 2000.0, 2500.0, 3000.0, 3500.0,
                                         4000.0, 4500.0, 5000.0, 5500.0, 6000.0, 6500.0};
constexpr double fuelMapTorqueValues[] = {0.0, 22.5, 45.0, 67.5, 90.0, 112.5, 135.0, 150.0};

// The torque factor passes its input through, extrapolating beyond +-5.
constexpr double torqueFactorValues[] = {-5.0, -4.0, -3.0, -2.0, -1.0, 0.0,
                                         1.0,  2.0,  3.0,  4.0,  5.0};

// Converter: capacity (impeller torque per rpm², in units of capacityScale) and torque ratio
// over the speed ratio.
constexpr double speedRatioValues[] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
constexpr double capacityValues[] = {24.7, 25.0, 24.7, 23.8, 22.2, 20.1,
                                     17.3, 13.9, 9.9,  5.2,  0.0};
constexpr double torqueRatioValues[] = {1.9, 1.8, 1.7, 1.6, 1.5, 1.4, 1.3, 1.2, 1.1, 1.0, 1.0};

// A table must fill its field exactly: the sizes are checked when this compiles.
using runtime::fillTable;

constexpr ModelParameters storedValues() {
  // Every field is named here, so that the compiler reports one left out; the tables are
  // copied in afterwards.
  ModelParameters p{
    .finalDriveRatio = 6.3,
    .shaftDamping = 632.4555320336758,
    .shaftTwistLower = -0.1,
    .shaftTwistUpper = 0.1,
    .shaftStiffness = 10000.0,
    .finalDriveEfficiency = 0.98,
    .throttleMin = 0.0,
    .throttleMax = 100.0,
    .fuelMap = {},  // from the table above
    .fuelMapSpeeds = {},  // from the table above
    .fuelMapTorques = {},  // from the table above
    .torqueMap = {},  // from the table above
    .torqueMapSpeeds = {},  // from the table above
    .torqueMapThrottles = {},  // from the table above
    .torqueFactorTable = {},  // from the table above
    .torqueFactorBreakpoints = {},  // from the table above
    .capacityScale = 1e-06,
    .outputShaftInertia = 0.1,
    .engineInertia = 0.06,
    .initialEngineSpeed = 0.0,
    .clutchDamping = 13.856406460551018,
    .clutchStiffness = 200.0,
    .gearboxEfficiency = 0.9,
    .stallRpm = 3.0,
    .speedRatioMin = 0.0,
    .speedRatioMax = 1.0,
    .capacityTable = {},  // from the table above
    .capacityRatios = {},  // from the table above
    .torqueRatioTable = {},  // from the table above
    .torqueRatioRatios = {},  // from the table above
    .ratioRpmFloor = 1.0,
    .ratioRpmCeiling = 10000.0,
    .radPerSecToRpm = 9.549296585513721,  // 30/pi
    .driveSpare1 = 3.0,
    .driveSpare2 = 3.0,
    .driveSpare3 = 3.0,
    .driveSpare4 = 3.0,
    .driveSpare5 = 3.0,
    .driveSpare6 = 3.0,
    .driveSpare7 = 3.0,
    .driveSpare8 = 3.0,
    .driveSpare9 = 3.0,
    .driveSpare10 = 3.0,
    .driveSpare11 = 3.0,
    .initialOutputShaftSpeed = 0.0,
    .outputShaftSpeedUpper = 0.0,  // +infinity once an instance is created
    .outputShaftSpeedLower = 0.0,
    .engineSpeedUpper = 0.0,  // +infinity once an instance is created
    .engineSpeedLower = 0.0,
    .initialShaftTwist = 0.0,
    .initialFuelUsed = 0.0,
    .throttleGateCutA = 0.0,
    .throttleGateOnA = 1.0,
    .throttleGateCutB = 0.0,
    .throttleGateOnB = 1.0,
    .torqueFactorInitial = 1.0,
    .fuelGateCutA = 0.0,
    .fuelGateOnA = 1.0,
    .fuelGateCutB = 0.0,
    .fuelGateOnB = 1.0,
    .lossOutputValue = 1.0,
    .lossOutputControl = 0.0,
    .ratioLagA = -3.3333333333333335,  // -1/0.3
    .ratioLagC = 3.3333333333333335,  // 1/0.3
    .lossOutputThreshold = 0.5,
    .lockupLagA = -1.0,
    .lockupLagC = 1.0,
    .clutchTwistReset = 0.0,
    .clutchTwistUpper = 1.0,
    .clutchTwistLower = -1.0,
    .stallSpeedRatio = 0.0,
    .converterDirectionUpper = 1.0,
    .converterDirectionLower = -1.0,
    .gearboxFlowUpper = 1.0,
    .gearboxFlowLower = -1.0,
    .engineLoadGain = -1.0,
    .shaftPowerValue = 1.0,
    .shaftPowerControl = 0.0,
    .shaftPowerThreshold = 0.5,
    .finalDriveFlowGain = -1.0,
    .finalDriveFlowUpper = 1.0,
    .finalDriveFlowLower = -1.0,
    .finalDriveLossPowerValue = 1.0,
    .finalDriveLossPowerControl = 0.0,
    .finalDriveLossPowerThreshold = 0.5,
    .enginePowerValue = 1.0,
    .enginePowerControl = 0.0,
    .enginePowerThreshold = 0.5,
    .outputShaftPowerValue = 1.0,
    .outputShaftPowerControl = 0.0,
    .outputShaftPowerThreshold = 0.5,
    .engineShaftPowerValue = 1.0,
    .engineShaftPowerControl = 0.0,
    .engineShaftPowerThreshold = 0.5,
    .finalDrivePowerValue = 1.0,
    .finalDrivePowerControl = 0.0,
    .finalDrivePowerThreshold = 0.5,
    .impellerPowerValue = 1.0,
    .impellerPowerControl = 0.0,
    .impellerPowerThreshold = 0.5,
    .turbinePowerValue = 1.0,
    .turbinePowerControl = 0.0,
    .turbinePowerThreshold = 0.5,
    .clutchEnginePowerValue = 1.0,
    .clutchEnginePowerControl = 0.0,
    .clutchEnginePowerThreshold = 0.5,
    .clutchTurbinePowerValue = 1.0,
    .clutchTurbinePowerControl = 0.0,
    .clutchTurbinePowerThreshold = 0.5,
    .torqueMapMaxIndex = {torqueMapThrottleCount - 1, torqueMapSpeedCount - 1},
    .fuelMapMaxIndex = {fuelMapTorqueCount - 1, fuelMapSpeedCount - 1},
  };
  fillTable(p.fuelMap, fuelMapValues);
  fillTable(p.fuelMapSpeeds, fuelMapSpeedValues);
  fillTable(p.fuelMapTorques, fuelMapTorqueValues);
  fillTable(p.torqueMap, torqueMapValues);
  fillTable(p.torqueMapSpeeds, torqueMapSpeedValues);
  fillTable(p.torqueMapThrottles, torqueMapThrottleValues);
  fillTable(p.torqueFactorTable, torqueFactorValues);
  fillTable(p.torqueFactorBreakpoints, torqueFactorValues);
  fillTable(p.capacityTable, capacityValues);
  fillTable(p.capacityRatios, speedRatioValues);
  fillTable(p.torqueRatioTable, torqueRatioValues);
  fillTable(p.torqueRatioRatios, speedRatioValues);
  return p;
}

// Worked points of the maps, checked where the tables are written.
constexpr ModelParameters checked = storedValues();
static_assert(checked.torqueMap[3 + 8 * 2] == 115.725, "20 % throttle at 2000 rpm");
static_assert(checked.torqueMap[0] == -3.75 && checked.torqueMap[63] == 112.5);
static_assert(checked.fuelMap[0] == 0.0 && checked.fuelMap[103] == 11.0625);
static_assert(checked.fuelMap[5 + 8 * 3] == 1.5675 && checked.fuelMap[6 + 8 * 3] == 1.965);
static_assert(checked.torqueMapMaxIndex[0] + 1 == std::size(checked.torqueMapThrottles) &&
              checked.torqueMapMaxIndex[1] + 1 == std::size(checked.torqueMapSpeeds));
static_assert(checked.fuelMapMaxIndex[0] + 1 == std::size(checked.fuelMapTorques) &&
              checked.fuelMapMaxIndex[1] + 1 == std::size(checked.fuelMapSpeeds));
static_assert(checked.radPerSecToRpm == 30.0 / 3.141592653589793);

constinit ModelParameters storedDefaults = storedValues();

}  // namespace

ModelParameters& Model::defaultParameters() { return storedDefaults; }

void Model::fixUpParameters(ModelParameters& p) {
  p.outputShaftSpeedUpper = runtime::infValue;
  p.engineSpeedUpper = runtime::infValue;
}

}  // namespace powertrain
