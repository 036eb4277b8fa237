// The driver library's stored default parameter record and its two maps.
#include <cstddef>
#include <iterator>

#include "models/driver/driver_model.h"
#include "runtime/stored_tables.h"

namespace driver {

namespace {

// Engine torque in N·m, one line per engine speed (500 ... 6500 rpm), the pedal positions
// 0, 5, 10, 20, 30, 40, 50 and 100 % along each line. The pedal index runs fastest, so the lines
// are stored as they stand.
constexpr double engineTorqueLines[] = {
    -3.75,  35.25,  70.5,   87,      87,      87,      87,      87,       // 500 rpm
    -7.5,   43.65,  78.975, 99.975,  101.025, 101.625, 102.15,  104.925,  // 1000 rpm
    -11.25, 18.375, 65.775, 115.725, 126.45,  130.875, 131.55,  133.425,  // 2000 rpm
    -15,    0,      39.9,   105.6,   127.125, 134.475, 136.35,  140.625,  // 3000 rpm
    -18.75, -3.75,  25.2,   94.125,  125.85,  135.45,  139.65,  143.25,   // 4000 rpm
    -22.5,  -7.5,   14.175, 77.625,  116.7,   126.9,   136.5,   145.575,  // 5000 rpm
    -26.25, -11.25, 3.975,  55.425,  90.9,    103.875, 113.325, 121.35,   // 6000 rpm
    -30,    -15,    0,      47.4,    79.5,    95.25,   100.5,   112.5,    // 6500 rpm
};
static_assert(std::size(engineTorqueLines) == engineMapSize);

// Pedal position in percent, one line per engine torque (-40 ... 200 N·m in steps of 5), the
// engine speeds 500, 1000, 2000, 3000, 4000, 5000, 6000 and 6500 rpm along each line. The map
// stores the torque index fastest, so these lines are the transpose of the stored order.
constexpr double pedalLines[] = {
        0,     0,     0,     0,     0,     0,     0,     0,  // -40 N.m
        0,     0,     0,     0,     0,     0,     0,  1.25,  // -35 N.m
        0,     0,     0,     0,     0,     0,  1.25,   2.5,  // -30 N.m
        0,     0,     0,     0,     0,  1.25,   2.5,  3.75,  // -25 N.m
        0,     0,     0,     0,  1.25,   2.5,  3.75,     5,  // -20 N.m
        0,     0,     0,  1.25,   2.5,  3.75,     5,  6.25,  // -15 N.m
        0,     0,  0.63,   2.5,  3.75,     5,  6.23,   7.5,  // -10 N.m
        0,  0.37,  1.27,  3.75,     5,  5.87,  7.46,  8.75,  // -5 N.m
     0.48,  0.73,   1.9,     5,  5.65,  6.73,  8.69,    10,  // 0 N.m
     0.96,   1.1,  2.53,  5.47,   6.3,   7.6,  9.92, 10.79,  // 5 N.m
     1.44,  1.47,  3.17,  5.94,  6.94,  8.46, 10.68, 11.58,  // 10 N.m
     1.92,  1.83,   3.8,  6.41,  7.59,  9.33, 11.41, 12.37,  // 15 N.m
      2.4,   2.2,  4.44,  6.88,  8.24, 10.13, 12.14, 13.16,  // 20 N.m
     2.88,  2.57,  5.04,  7.35,  8.89, 10.72, 12.87, 13.96,  // 25 N.m
     3.36,  2.93,  5.44,  7.82,  9.54, 11.31,  13.6, 14.75,  // 30 N.m
     3.85,   3.3,  5.83,  8.29, 10.16, 11.91, 14.33, 15.54,  // 35 N.m
     4.33,  3.67,  6.23,  8.76,  10.7,  12.5, 15.06, 16.33,  // 40 N.m
     4.81,  4.03,  6.62,  9.23, 11.24, 13.09, 15.78, 17.12,  // 45 N.m
     5.32,   4.4,  7.02,   9.7, 11.79, 13.68, 16.51, 17.91,  // 50 N.m
     5.85,  4.77,  7.42,  10.2, 12.33, 14.27, 17.24,  18.7,  // 55 N.m
     6.38,  5.19,  7.81, 10.77, 12.88, 14.86, 17.97, 19.49,  // 60 N.m
     6.91,  5.72,  8.21, 11.34, 13.42, 15.45,  18.7, 20.42,  // 65 N.m
     7.45,  6.26,   8.6, 11.92, 13.96, 16.04, 19.43, 21.59,  // 70 N.m
     7.98,  6.79,     9, 12.49, 14.51, 16.63, 20.23, 22.76,  // 75 N.m
     8.51,  7.32,  9.39, 13.06, 15.05, 17.23, 21.29, 23.93,  // 80 N.m
     9.04,  7.85,  9.79, 13.63,  15.6, 17.82, 22.35,  25.1,  // 85 N.m
     9.57,  8.38, 10.35,  14.2, 16.14, 18.41,  23.4, 26.27,  // 90 N.m
    10.45,  8.91,  11.1, 14.77, 16.68,    19, 24.46, 27.44,  // 95 N.m
    12.72,  9.44, 11.85, 15.34, 17.23, 19.59, 25.52, 28.61,  // 100 N.m
       15,  9.97,  12.6, 15.91, 17.77, 20.29, 26.58, 29.78,  // 105 N.m
    17.27, 11.68, 13.35, 16.48, 18.32, 21.25, 27.63, 31.92,  // 110 N.m
    19.55, 13.47,  14.1, 17.05, 18.86, 22.21, 28.69, 34.29,  // 115 N.m
      100, 15.26, 14.85, 17.62,  19.4, 23.17, 29.75, 36.67,  // 120 N.m
      100, 17.04,  15.6, 18.19, 19.95, 24.13,  32.2, 39.04,  // 125 N.m
      100, 18.83, 16.35, 18.76, 21.07, 25.09, 35.09, 44.24,  // 130 N.m
      100, 33.45,  17.1, 19.33, 22.25, 26.05, 37.98,    53,  // 135 N.m
      100,   100, 17.85, 19.91, 23.43, 27.01, 41.19, 68.67,  // 140 N.m
      100,   100,  18.6, 21.46, 24.61, 27.97, 45.14, 84.33,  // 145 N.m
      100,   100, 19.36,  23.2, 25.79, 28.93, 49.09,   100,  // 150 N.m
      100,   100, 20.49, 24.94, 26.97, 29.89, 68.09,   100,  // 155 N.m
      100,   100, 23.98, 26.69, 28.15, 33.25, 91.55,   100,  // 160 N.m
      100,   100, 27.47, 28.43, 29.33, 36.93,   100,   100,  // 165 N.m
      100,   100, 32.33, 30.52,  31.7, 40.64,   100,   100,  // 170 N.m
      100,   100,  45.6, 35.61, 35.61, 44.54,   100,   100,  // 175 N.m
      100,   100,   100,  42.8, 39.52, 48.43,   100,   100,  // 180 N.m
      100,   100,   100, 78.19, 47.85, 62.35,   100,   100,  // 185 N.m
      100,   100,   100,   100, 89.57, 83.04,   100,   100,  // 190 N.m
      100,   100,   100,   100,   100,   100,   100,   100,  // 195 N.m
      100,   100,   100,   100,   100,   100,   100,   100,  // 200 N.m
};
static_assert(std::size(pedalLines) == pedalMapSize);

constexpr double mapSpeeds[] = {500, 1000, 2000, 3000, 4000, 5000, 6000, 6500};
static_assert(std::size(mapSpeeds) == engineMapSpeedCount && std::size(mapSpeeds) == pedalMapSpeedCount);
constexpr double engineMapPedalAxis[] = {0, 5, 10, 20, 30, 40, 50, 100};
static_assert(std::size(engineMapPedalAxis) == engineMapPedalCount);

constexpr double pedalLine(uint32_t torque, uint32_t speed) {
  return pedalLines[torque * pedalMapSpeedCount + speed];
}

using runtime::fillTable;

constexpr ModelParameters makeDefaults() {
  // Every field is named here (a field left out does not compile); the maps and their axes are
  // copied in afterwards, each table with exactly as many values as its field.
  ModelParameters p{
      .frontalArea = 1.5,
      .derivativeGain = 0.0,
      .integralGain = 0.0,
      .proportionalGain = 15.0,
      .brakeLower = 0.0,
      .brakeGain = -5000.0,
      .brakeUpper = 5000.0,
      .dragCoefficient = 0.4,
      .finalDriveRatio = 6.3,
      .holdBrakeSign = -1.0,
      .releasedBrake = 0.0,
      .standstillSpeedKmh = 0.1,
      .targetRiseThreshold = 0.01,
      .acceleratorLower = 0.0,
      .acceleratorUpper = 100.0,
      .engineTorqueMap = {},  // engineTorqueLines, copied below
      .engineMapSpeeds = {},  // mapSpeeds, copied below
      .engineMapPedals = {},  // engineMapPedalAxis, copied below
      .pedalMapSpeeds = {},  // mapSpeeds, copied below
      .pedalMap = {},  // pedalLines transposed, below
      .pedalMapTorques = {},  // -40 ... 200 N·m in steps of 5, below
      .vehicleMass = 1200.0,
      .ratioFloor = 0.3,
      .spareConstant1 = 0.1,
      .windSpeed = 0.0,
      .spareConstant2 = 2.0,
      .spareConstant3 = 5.0,
      .spareConstant4 = 4.0,
      .spareConstant5 = 3.0,
      .spareConstant6 = 1.0,
      .gravity = 9.8,
      .speedMsPerKmh = 0.2777777777777778,  // 1/3.6
      .rollingCoefficient = 0.007,
      .airDensity = 1.205,
      .spareConstant7 = 0.0025,
      .wheelRadius = 0.25,
      .dragSpeedCapKmh = 200.0,
      .spareConstant8 = 0.5,
      .initialTargetSpeed = 0.0,
      .initialSpeedError = 0.0,
      .errorShapeUpper = 1.0,
      .errorShapeLower = 0.0,
      .integralInitial = 0.0,
      .capMsPerKmh = 0.2777777777777778,  // 1/3.6
      .directionUpper = 1.0,
      .directionLower = -1.0,
      .ratioLagA = -3.3333333333333335,  // -1/0.3 s
      .ratioLagC = 3.3333333333333335,  // 1/0.3 s
      .dragPedal = 0.0,
      .deadZoneValue = 0.0,
      .deadZoneThreshold = 0.1,
      .acceleratorBrakeThreshold = 0.0,
      .spareInitial = 0.0,
      .engineMapMaxIndex = {engineMapPedalCount - 1, engineMapSpeedCount - 1},
      .pedalMapMaxIndex = {pedalMapTorqueCount - 1, pedalMapSpeedCount - 1},
  };
  fillTable(p.engineTorqueMap, engineTorqueLines);
  fillTable(p.engineMapSpeeds, mapSpeeds);
  fillTable(p.engineMapPedals, engineMapPedalAxis);
  fillTable(p.pedalMapSpeeds, mapSpeeds);
  for (uint32_t s = 0; s < pedalMapSpeedCount; ++s) {
    for (uint32_t t = 0; t < pedalMapTorqueCount; ++t) {
      p.pedalMap[t + pedalMapStride * s] = pedalLine(t, s);
    }
  }
  for (uint32_t t = 0; t < pedalMapTorqueCount; ++t) {
    p.pedalMapTorques[t] = -40.0 + 5.0 * static_cast<double>(t);
  }
  return p;
}

constexpr ModelParameters defaults = makeDefaults();

// The maps' corners and the cells the model's worked examples pass through.
constexpr double engineAt(uint32_t pedal, uint32_t speed) {
  return defaults.engineTorqueMap[pedal + engineMapStride * speed];
}
constexpr double pedalAt(uint32_t torque, uint32_t speed) {
  return defaults.pedalMap[torque + pedalMapStride * speed];
}
static_assert(defaults.engineTorqueMap[0] == -3.75 && defaults.engineTorqueMap[63] == 112.5);
static_assert(engineAt(0, 2) == -11.25 && engineAt(7, 5) == 145.575 && engineAt(2, 7) == 0.0);
static_assert(defaults.pedalMap[0] == 0.0 && defaults.pedalMap[391] == 100.0);
static_assert(pedalAt(7, 0) == 0.0 && pedalAt(8, 0) == 0.48);   // -5 and 0 N·m at 500 rpm
static_assert(pedalAt(6, 2) == 0.63 && pedalAt(7, 2) == 1.27);  // -10 and -5 N·m at 2000 rpm
static_assert(pedalAt(1, 7) == 1.25 && pedalAt(31, 7) == 34.29 && pedalAt(39, 5) == 29.89);
static_assert(defaults.pedalMapTorques[0] == -40.0 && defaults.pedalMapTorques[8] == 0.0 &&
              defaults.pedalMapTorques[48] == 200.0);

// The maps' shape: the closed-pedal torque falls by 3.75 N·m per line and torque never falls
// with more pedal; the pedal never falls with more torque.
constexpr bool engineMapShapeHolds() {
  for (uint32_t s = 0; s < engineMapSpeedCount; ++s) {
    if (engineAt(0, s) != -3.75 * static_cast<double>(s + 1)) return false;
    for (uint32_t q = 1; q < engineMapPedalCount; ++q) {
      if (engineAt(q, s) < engineAt(q - 1, s)) return false;
    }
  }
  return true;
}
constexpr bool pedalMapShapeHolds() {
  for (uint32_t s = 0; s < pedalMapSpeedCount; ++s) {
    for (uint32_t t = 1; t < pedalMapTorqueCount; ++t) {
      if (pedalAt(t, s) < pedalAt(t - 1, s)) return false;
    }
    if (pedalAt(pedalMapTorqueCount - 1, s) != 100.0) return false;
  }
  return true;
}
static_assert(engineMapShapeHolds());
static_assert(pedalMapShapeHolds());

constinit ModelParameters storedDefaults = defaults;

}  // namespace

ModelParameters& Model::defaultParameters() { return storedDefaults; }

}  // namespace driver
