// The electrical library's stored default parameter record and its tables.
#include <algorithm>
#include <iterator>

#include "models/electrical/electrical_model.h"
#include "runtime/stored_tables.h"

namespace electrical {

namespace {

// Alternator current limit over alternator speed; held at the end values outside the range.
constexpr double currentLimitSpeeds[] = {1200.0, 1300.0, 1500.0, 1800.0, 2000.0, 2500.0, 3000.0,
                                         3500.0, 4000.0, 4500.0, 5000.0, 6000.0, 7000.0, 8000.0};
constexpr double currentLimits[] = {40.0,  60.0,  90.0,  115.0, 125.0, 145.0, 155.0,
                                    160.0, 165.0, 170.0, 173.0, 175.0, 176.0, 177.0};

// Axes of the drag-torque map: 1200 to 4000 rpm in steps of 200, then 5000, 6000, 7000; 0 to 77 A
// in steps of 7; three voltages.
constexpr double dragSpeeds[] = {1200.0, 1400.0, 1600.0, 1800.0, 2000.0, 2200.0,
                                 2400.0, 2600.0, 2800.0, 3000.0, 3200.0, 3400.0,
                                 3600.0, 3800.0, 4000.0, 5000.0, 6000.0, 7000.0};
constexpr double dragCurrents[] = {0.0,  7.0,  14.0, 21.0, 28.0, 35.0,
                                   42.0, 49.0, 56.0, 63.0, 70.0, 77.0};
constexpr double dragVoltages[] = {12.5, 13.5, 14.5};

// Alternator drag torque in N·m. Each row holds the 18 speed points of one voltage and one
// current, so entry k = speed + 18 * current + 216 * voltage.
// clang-format off
constexpr double dragTorques[] = {
    // 12.5 V, 0 A
    0.25, 0.28, 0.24, 0.25, 0.24, 0.25, 0.26, 0.29, 0.29, 0.32, 0.33, 0.34, 0.37, 0.41, 0.43, 0.51, 0.66, 0.68,
    // 12.5 V, 7 A
    2.05, 1.76, 1.55, 1.4, 1.27, 1.19, 1.13, 1.08, 1.04, 1.01, 0.98, 0.96, 0.95, 0.93, 0.92, 0.93, 0.98, 1.0,
    // 12.5 V, 14 A
    3.85, 3.24, 2.86, 2.56, 2.31, 2.14, 2.0, 1.86, 1.79, 1.71, 1.64, 1.58, 1.52, 1.46, 1.4, 1.35, 1.31, 1.31,
    // 12.5 V, 21 A
    6.81, 4.86, 4.24, 3.77, 3.41, 3.12, 2.91, 2.73, 2.56, 2.43, 2.31, 2.22, 2.13, 2.07, 1.97, 1.79, 1.69, 1.61,
    // 12.5 V, 28 A
    6.81, 9.46, 5.74, 5.11, 4.63, 4.23, 3.91, 3.65, 3.43, 3.24, 3.1, 2.95, 2.86, 2.7, 2.65, 2.3, 2.14, 2.01,
    // 12.5 V, 35 A
    6.81, 9.46, 7.35, 6.51, 5.88, 5.36, 4.94, 4.59, 4.33, 4.08, 3.89, 3.7, 3.54, 3.41, 3.29, 2.81, 2.56, 2.42,
    // 12.5 V, 42 A
    6.81, 9.46, 9.12, 8.09, 7.26, 6.6, 6.1, 5.64, 5.29, 4.97, 4.7, 4.46, 4.27, 4.11, 3.95, 3.36, 3.03, 2.81,
    // 12.5 V, 49 A
    6.81, 9.46, 10.96, 9.83, 8.78, 7.99, 7.38, 6.8, 6.33, 5.96, 5.66, 5.36, 5.12, 4.91, 4.71, 3.96, 3.56, 3.26,
    // 12.5 V, 56 A
    6.81, 9.46, 10.96, 11.5, 10.46, 9.5, 8.74, 8.07, 7.53, 7.07, 6.68, 6.31, 6.0, 5.75, 5.55, 4.66, 4.08, 3.79,
    // 12.5 V, 63 A
    6.81, 9.46, 10.96, 11.5, 11.54, 11.17, 10.24, 9.42, 8.85, 8.28, 7.8, 7.32, 6.98, 6.68, 6.39, 5.37, 4.7, 4.28,
    // 12.5 V, 70 A
    6.81, 9.46, 10.96, 11.5, 11.54, 11.35, 11.01, 10.68, 10.32, 9.56, 9.04, 8.53, 8.07, 7.69, 7.4, 6.17, 5.37, 4.9,
    // 12.5 V, 77 A
    6.81, 9.46, 10.96, 11.5, 11.54, 11.35, 11.01, 10.68, 10.32, 9.92, 9.54, 9.19, 8.86, 8.56, 8.27, 6.93, 6.04, 5.54,
    // 13.5 V, 0 A
    0.26, 0.29, 0.25, 0.26, 0.25, 0.26, 0.27, 0.3, 0.3, 0.34, 0.35, 0.36, 0.39, 0.43, 0.45, 0.54, 0.69, 0.71,
    // 13.5 V, 7 A
    2.15, 1.85, 1.63, 1.47, 1.33, 1.25, 1.19, 1.13, 1.09, 1.06, 1.03, 1.01, 1.0, 0.98, 0.97, 0.98, 1.03, 1.05,
    // 13.5 V, 14 A
    4.04, 3.4, 3.0, 2.69, 2.43, 2.25, 2.1, 1.95, 1.88, 1.8, 1.72, 1.66, 1.6, 1.53, 1.47, 1.42, 1.38, 1.38,
    // 13.5 V, 21 A
    7.15, 5.1, 4.45, 3.96, 3.58, 3.28, 3.06, 2.87, 2.69, 2.55, 2.43, 2.33, 2.24, 2.17, 2.07, 1.88, 1.77, 1.69,
    // 13.5 V, 28 A
    7.15, 9.93, 6.03, 5.37, 4.86, 4.44, 4.11, 3.83, 3.6, 3.4, 3.26, 3.1, 3.0, 2.84, 2.78, 2.42, 2.25, 2.11,
    // 13.5 V, 35 A
    7.15, 9.93, 7.72, 6.84, 6.17, 5.63, 5.19, 4.82, 4.55, 4.28, 4.08, 3.89, 3.72, 3.58, 3.45, 2.95, 2.69, 2.54,
    // 13.5 V, 42 A
    7.15, 9.93, 9.58, 8.49, 7.62, 6.93, 6.41, 5.92, 5.55, 5.22, 4.94, 4.68, 4.48, 4.32, 4.15, 3.53, 3.18, 2.95,
    // 13.5 V, 49 A
    7.15, 9.93, 11.51, 10.32, 9.22, 8.39, 7.75, 7.14, 6.65, 6.26, 5.94, 5.63, 5.38, 5.16, 4.95, 4.16, 3.74, 3.42,
    // 13.5 V, 56 A
    7.15, 9.93, 11.51, 12.08, 10.98, 9.98, 9.18, 8.47, 7.91, 7.42, 7.01, 6.63, 6.3, 6.04, 5.83, 4.89, 4.28, 3.98,
    // 13.5 V, 63 A
    7.15, 9.93, 11.51, 12.08, 12.12, 11.73, 10.75, 9.89, 9.29, 8.69, 8.19, 7.69, 7.33, 7.01, 6.71, 5.64, 4.94, 4.49,
    // 13.5 V, 70 A
    7.15, 9.93, 11.51, 12.08, 12.12, 11.92, 11.56, 11.21, 10.84, 10.04, 9.49, 8.96, 8.47, 8.07, 7.77, 6.48, 5.64, 5.15,
    // 13.5 V, 77 A
    7.15, 9.93, 11.51, 12.08, 12.12, 11.92, 11.56, 11.21, 10.84, 10.42, 10.02, 9.65, 9.3, 8.99, 8.68, 7.28, 6.34, 5.82,
    // 14.5 V, 0 A
    0.28, 0.31, 0.26, 0.28, 0.26, 0.28, 0.29, 0.32, 0.32, 0.35, 0.36, 0.37, 0.41, 0.45, 0.47, 0.56, 0.73, 0.75,
    // 14.5 V, 7 A
    2.26, 1.94, 1.71, 1.54, 1.4, 1.31, 1.25, 1.19, 1.15, 1.11, 1.08, 1.06, 1.05, 1.03, 1.01, 1.03, 1.08, 1.1,
    // 14.5 V, 14 A
    4.24, 3.57, 3.15, 2.82, 2.55, 2.36, 2.21, 2.05, 1.97, 1.89, 1.81, 1.74, 1.68, 1.61, 1.54, 1.49, 1.44, 1.44,
    // 14.5 V, 21 A
    7.51, 5.36, 4.67, 4.16, 3.76, 3.44, 3.21, 3.01, 2.82, 2.68, 2.55, 2.45, 2.35, 2.28, 2.17, 1.97, 1.86, 1.78,
    // 14.5 V, 28 A
    7.51, 10.43, 6.33, 5.63, 5.1, 4.66, 4.31, 4.02, 3.78, 3.57, 3.42, 3.25, 3.15, 2.98, 2.92, 2.54, 2.36, 2.22,
    // 14.5 V, 35 A
    7.51, 10.43, 8.1, 7.18, 6.48, 5.91, 5.45, 5.06, 4.77, 4.5, 4.29, 4.08, 3.9, 3.76, 3.63, 3.1, 2.82, 2.67,
    // 14.5 V, 42 A
    7.51, 10.43, 10.05, 8.92, 8.0, 7.28, 6.73, 6.22, 5.83, 5.48, 5.18, 4.92, 4.71, 4.53, 4.35, 3.7, 3.34, 3.1,
    // 14.5 V, 49 A
    7.51, 10.43, 12.08, 10.84, 9.68, 8.81, 8.14, 7.5, 6.98, 6.57, 6.24, 5.91, 5.64, 5.41, 5.19, 4.37, 3.92, 3.59,
    // 14.5 V, 56 A
    7.51, 10.43, 12.08, 12.68, 11.53, 10.47, 9.64, 8.9, 8.3, 7.79, 7.36, 6.96, 6.62, 6.34, 6.12, 5.14, 4.5, 4.18,
    // 14.5 V, 63 A
    7.51, 10.43, 12.08, 12.68, 12.72, 12.31, 11.29, 10.39, 9.76, 9.13, 8.6, 8.07, 7.7, 7.36, 7.04, 5.92, 5.18, 4.72,
    // 14.5 V, 70 A
    7.51, 10.43, 12.08, 12.68, 12.72, 12.51, 12.14, 11.77, 11.38, 10.54, 9.97, 9.4, 8.9, 8.48, 8.16, 6.8, 5.92, 5.4,
    // 14.5 V, 77 A
    7.51, 10.43, 12.08, 12.68, 12.72, 12.51, 12.14, 11.77, 11.38, 10.94, 10.52, 10.13, 9.77, 9.44, 9.12, 7.64, 6.66, 6.11,
};
// clang-format on

// Last index of each map axis, and the strides of a map laid out with the speed running fastest.
constexpr uint32_t mapLastIndices[] = {dragMapSpeedCount - 1, dragMapCurrentCount - 1,
                                       dragMapVoltageCount - 1};
constexpr uint32_t mapStrides[] = {1, dragMapSpeedCount, dragMapSpeedCount * dragMapCurrentCount};

// Each table must have exactly as many values as its field: a miscount does not compile.
using runtime::fillTable;

constexpr ModelParameters makeDefaults() {
  // Every field is named here (a field left out does not compile); the tables are copied in
  // afterwards, each with exactly as many values as its field.
  ModelParameters p{
      .dragCapCurrent = 0.7,
      .dragCapVoltage = 12.5,
      .maxCurrentTable = {},  // currentLimits, copied below
      .maxCurrentSpeeds = {},  // currentLimitSpeeds, copied below
      .dragTorqueMap = {},  // dragTorques, copied below
      .dragSpeedBreakpoints = {},  // dragSpeeds, copied below
      .dragCurrentBreakpoints = {},  // dragCurrents, copied below
      .dragVoltageBreakpoints = {},  // dragVoltages, copied below
      .regulatorGain = 100.0,
      .driveEfficiency = 0.97,
      .pulleyRatio = 1.12,
      .dragTorqueFloor = 0.0,
      .batteryCapacityAh = 48.0,
      .ohmicResistance = 0.02,
      .chargeUpperPercent = 120.0,
      .chargeLowerPercent = 0.0,
      .initialChargePercent = 100.0,
      .initialBusVoltage = 12.0,
      .openCircuitVoltages = {10.5, 12.0},
      .openCircuitSocBreakpoints = {0.0, 100.0},
      .baseLoadResistance = 0.72,
      .loadOffVoltage = 0.0,
      .switchedLoadResistance = 0.12,
      .secondsPerHour = 3600.0,
      .percentScale = 100.0,
      .percentToFraction = 0.01,
      .radPerSecToRpm = 9.549296585513721,  // 30/pi
      .reserved1 = 3.0,
      .reserved2 = 3.0,
      .reserved3 = 3.0,
      .reserved4 = 3.0,
      .reserved5 = 3.0,
      .reserved6 = 3.0,
      .alternatorPowerValue = 1.0,
      .batteryPowerValue = 1.0,
      .spareSelectValue = 1.0,
      .initialAlternatorSpeed = 0.0,
      .maxCurrentFloor = 0.0,
      .errorLagA = -20.0,
      .errorLagC = 20.0,
      .setpointLagA = -20.0,
      .setpointLagC = 20.0,
      .regulatorFloor = 0.0,
      .setpointThreshold = 0.0,
      .loadSwitchThreshold = 0.5,
      .initialChargeTime = 0.0,
      .initialChargeChange = 0.0,
      .torqueLagA = -100.0,
      .torqueLagC = 100.0,
      .powerFlowGain = -1.0,
      .powerFlowUpper = 1.0,
      .powerFlowLower = -1.0,
      .efficiencyNumerator = 1.0,
      .powerFlowThreshold = 0.0,
      .loadTorqueSign = -1.0,
      .lossOutputValue = 1.0,
      .lossOutputControl = 0.0,
      .lossOutputThreshold = 0.5,
      .mechPowerValue = 1.0,
      .mechPowerControl = 0.0,
      .mechPowerThreshold = 0.5,
      .alternatorPowerControl = 0.0,
      .alternatorPowerThreshold = 0.5,
      .nominalVoltage = 12.0,
      .batteryPowerControl = 0.0,
      .batteryPowerThreshold = 0.5,
      .polarizationA = -10.0,
      .polarizationC = 0.1,
      .lossPowerValue = 1.0,
      .lossPowerControl = 0.0,
      .lossPowerThreshold = 0.5,
      .spareSelectControl = 0.0,
      .spareSelectThreshold = 0.5,
      .dragMaxIndex = {},  // mapLastIndices, copied below
      .dragStrides = {},  // mapStrides, copied below
      .dragCapMaxIndex = {},  // mapLastIndices, copied below
      .dragCapStrides = {},  // mapStrides, copied below
  };
  fillTable(p.maxCurrentTable, currentLimits);
  fillTable(p.maxCurrentSpeeds, currentLimitSpeeds);
  fillTable(p.dragTorqueMap, dragTorques);
  fillTable(p.dragSpeedBreakpoints, dragSpeeds);
  fillTable(p.dragCurrentBreakpoints, dragCurrents);
  fillTable(p.dragVoltageBreakpoints, dragVoltages);
  fillTable(p.dragMaxIndex, mapLastIndices);
  fillTable(p.dragStrides, mapStrides);
  fillTable(p.dragCapMaxIndex, mapLastIndices);
  fillTable(p.dragCapStrides, mapStrides);
  return p;
}

// Checks of the transcribed tables against the values the map is known by.
using runtime::strictlyIncreasing;
static_assert(strictlyIncreasing(currentLimitSpeeds) && strictlyIncreasing(dragSpeeds) &&
              strictlyIncreasing(dragCurrents) && strictlyIncreasing(dragVoltages));
static_assert(std::size(dragTorques) == dragMapSize &&
              std::size(dragSpeeds) == dragMapSpeedCount &&
              std::size(dragCurrents) == dragMapCurrentCount &&
              std::size(currentLimits) == maxCurrentCount);
static_assert(dragTorques[0] == 0.25 && dragTorques[647] == 6.11);
static_assert(*std::min_element(std::begin(dragTorques), std::end(dragTorques)) == 0.24);
static_assert(*std::max_element(std::begin(dragTorques), std::end(dragTorques)) == 12.72);
// 12.5 V and 7 A at 7000 rpm; 13.5 V and 49 A at 1600 rpm; 14.5 V and 63 A at 2000 rpm.
static_assert(dragTorques[17 + 18 * 1] == 1.0);
static_assert(dragTorques[2 + 18 * 7 + 216] == 11.51);
static_assert(dragTorques[4 + 18 * 9 + 432] == 12.72);
static_assert(makeDefaults().dragTorqueMap[647] == 6.11 &&
              makeDefaults().maxCurrentTable[13] == 177.0);
static_assert(makeDefaults().dragStrides[2] == 216 && makeDefaults().dragCapMaxIndex[0] == 17);

// Constant-initialised: the record is in the library's data before any code runs.
constinit ModelParameters storedDefaults = makeDefaults();

}  // namespace

ModelParameters& Model::defaultParameters() { return storedDefaults; }

}  // namespace electrical
