// The driver value-reference map: four inputs, two outputs, then the parameters in the map's own
// order (the first nine in record order, seventeen later scalars, then record order again), and
// the maps' last indices as integers, the pedal map's first. The guard of those indices lives
// here as well.
#include "models/driver/driver_model.h"

namespace driver {

namespace {

using P = ModelParameters;
constexpr const char* spare = "spare constant; read by no equation";

constexpr runtime::VariableDef variableDefs[] = {
    SIM_INPUT(ExternalInputs, transmissionRatio, "", "transmission ratio; the required wheel torque is divided by its lagged value"),
    SIM_INPUT(ExternalInputs, engineSpeedRpm, "rpm", "engine speed"),
    SIM_INPUT(ExternalInputs, targetSpeedKmh, "km/h", "target vehicle speed"),
    SIM_INPUT(ExternalInputs, actualSpeedKmh, "km/h", "actual vehicle speed"),
    // The brake compares the current target with the actual speed and tests the accelerator
    // demand, which follows the target and the engine speed through the maps at once. The
    // actual speed reaches the accelerator only through the error of the previous step.
    SIM_OUTPUT(ExternalOutputs, brakePedal, "%", "brake demand in percent of the full brake force",
               "engineSpeedRpm targetSpeedKmh actualSpeedKmh"),
    SIM_OUTPUT(ExternalOutputs, acceleratorPedal, "%", "accelerator pedal position",
               "engineSpeedRpm targetSpeedKmh"),

    SIM_PARAMETER(P, frontalArea, "m2", "frontal area, factor of the feed-forward drag"),
    SIM_PARAMETER(P, derivativeGain, "", "gain of the speed error rate, percent per km/h/s"),
    SIM_PARAMETER(P, integralGain, "", "gain of the speed error integral, percent per km/h.s"),
    SIM_PARAMETER(P, proportionalGain, "", "gain of the shaped speed error, percent per km/h"),
    SIM_PARAMETER(P, brakeLower, "N", "lower limit of the brake force"),
    SIM_PARAMETER(P, brakeGain, "", "brake force per km/h of target less actual speed, N per km/h"),
    SIM_PARAMETER(P, brakeUpper, "N", "upper limit of the brake force; 100 % of the brake pedal"),
    SIM_PARAMETER(P, dragCoefficient, "", "aerodynamic drag coefficient"),
    SIM_PARAMETER(P, finalDriveRatio, "", "fixed ratio between the wheels and the transmission"),

    SIM_PARAMETER(P, spareInitial, "", "spare initial value; read by no equation"),
    SIM_PARAMETER(P, spareConstant8, "", spare),
    SIM_PARAMETER(P, integralInitial, "", "initial value of the speed error integral, km/h.s"),
    SIM_PARAMETER(P, initialSpeedError, "km/h", "speed error assumed before the first step"),
    SIM_PARAMETER(P, errorShapeLower, "km/h", "lower limit of the error factor of the proportional term"),
    SIM_PARAMETER(P, errorShapeUpper, "km/h", "upper limit of the error factor of the proportional term"),
    SIM_PARAMETER(P, dragSpeedCapKmh, "km/h", "speed above which the feed-forward drag stops growing"),
    SIM_PARAMETER(P, capMsPerKmh, "", "km/h to m/s conversion of the drag speed cap"),
    SIM_PARAMETER(P, dragPedal, "%", "pedal position at which the engine's drag torque is looked up"),
    SIM_PARAMETER(P, deadZoneValue, "%", "replaces a feed-forward pedal inside the dead zone"),
    SIM_PARAMETER(P, deadZoneThreshold, "%", "feed-forward pedal must exceed this to pass"),
    SIM_PARAMETER(P, directionLower, "m/s", "lower clip of the target speed that scales rolling resistance"),
    SIM_PARAMETER(P, directionUpper, "m/s", "upper clip of the target speed that scales rolling resistance"),
    SIM_PARAMETER(P, ratioLagA, "1/s", "transmission ratio lag, state coefficient (-1/time constant)"),
    SIM_PARAMETER(P, ratioLagC, "1/s", "transmission ratio lag, output coefficient (1/time constant)"),
    SIM_PARAMETER(P, acceleratorBrakeThreshold, "%", "accelerator demand must exceed this to release the brake"),
    SIM_PARAMETER(P, initialTargetSpeed, "km/h", "target speed assumed before the first step"),

    SIM_PARAMETER(P, holdBrakeSign, "", "hold brake force = this times the brake gain"),
    SIM_PARAMETER(P, releasedBrake, "N", "brake force while the target rises and the accelerator is pressed"),
    SIM_PARAMETER(P, standstillSpeedKmh, "km/h", "target speed at or below which the hold brake applies"),
    SIM_PARAMETER(P, targetRiseThreshold, "km/h", "rise of the target per step that counts as rising"),
    SIM_PARAMETER(P, acceleratorLower, "%", "lower limit of the accelerator demand"),
    SIM_PARAMETER(P, acceleratorUpper, "%", "upper limit of the accelerator demand"),
    SIM_PARAMETER(P, engineTorqueMap, "N.m", "engine torque by pedal position (fastest) and engine speed"),
    SIM_PARAMETER(P, engineMapSpeeds, "rpm", "engine speed breakpoints of the engine map"),
    SIM_PARAMETER(P, engineMapPedals, "%", "pedal position breakpoints of the engine map"),
    SIM_PARAMETER(P, pedalMapSpeeds, "rpm", "engine speed breakpoints of the pedal map"),
    SIM_PARAMETER(P, pedalMap, "%", "pedal position by engine torque (fastest) and engine speed"),
    SIM_PARAMETER(P, pedalMapTorques, "N.m", "engine torque breakpoints of the pedal map"),
    SIM_PARAMETER(P, vehicleMass, "kg", "vehicle mass, for the feed-forward inertia force"),
    SIM_PARAMETER(P, ratioFloor, "", "lower limit of the lagged transmission ratio"),
    SIM_PARAMETER(P, spareConstant1, "", spare),
    SIM_PARAMETER(P, windSpeed, "m/s", "head wind speed, subtracted from the drag speed"),
    SIM_PARAMETER(P, spareConstant2, "", spare),
    SIM_PARAMETER(P, spareConstant3, "", spare),
    SIM_PARAMETER(P, spareConstant4, "", spare),
    SIM_PARAMETER(P, spareConstant5, "", spare),
    SIM_PARAMETER(P, spareConstant6, "", spare),
    SIM_PARAMETER(P, gravity, "m/s2", "gravitational acceleration"),
    SIM_PARAMETER(P, speedMsPerKmh, "", "km/h to m/s conversion of the target speed"),
    SIM_PARAMETER(P, rollingCoefficient, "", "rolling resistance coefficient"),
    SIM_PARAMETER(P, airDensity, "kg/m3", "air density"),
    SIM_PARAMETER(P, spareConstant7, "", spare),
    SIM_PARAMETER(P, wheelRadius, "m", "wheel radius"),

    SIM_PARAMETER_ELEMENT(P, pedalMapMaxIndex, 0, "", "last index of the pedal map's torque axis",
                          pedalMapTorqueCount - 1),
    SIM_PARAMETER_ELEMENT(P, pedalMapMaxIndex, 1, "", "last index of the pedal map's speed axis",
                          pedalMapSpeedCount - 1),
    SIM_PARAMETER_ELEMENT(P, engineMapMaxIndex, 0, "", "last index of the engine map's pedal axis",
                          engineMapPedalCount - 1),
    SIM_PARAMETER_ELEMENT(P, engineMapMaxIndex, 1, "", "last index of the engine map's speed axis",
                          engineMapSpeedCount - 1),
};

static_assert(runtime::countVariables(variableDefs).reals == 582);
static_assert(runtime::countVariables(variableDefs).integers == 4);
static_assert(runtime::countVariables(variableDefs).booleans == 0);
static_assert(runtime::describesTable(Model::info, variableDefs),
              "the information record counts the inputs and outputs of the table");

// A map whose last indices a master may write, with the integer references of the two last
// indices as the table above numbers them and the extents of what its lookup reads.
struct IndexedMap {
  runtime::ReferencePair lastIndices;  // of the first and of the second axis
  uint32_t (ModelParameters::*maxIndex)[2];
  uint32_t axisCounts[2];  // breakpoints of the first and the second axis
  uint32_t stride;
  uint32_t size;
};

constexpr IndexedMap indexedMaps[] = {
    {runtime::integerPair(variableDefs, "pedalMapMaxIndex[1]", "pedalMapMaxIndex[2]"),
     &ModelParameters::pedalMapMaxIndex,
     {pedalMapTorqueCount, pedalMapSpeedCount},
     pedalMapStride,
     pedalMapSize},
    {runtime::integerPair(variableDefs, "engineMapMaxIndex[1]", "engineMapMaxIndex[2]"),
     &ModelParameters::engineMapMaxIndex,
     {engineMapPedalCount, engineMapSpeedCount},
     engineMapStride,
     engineMapSize},
};

}  // namespace

std::span<const runtime::VariableDef> Model::variables() { return variableDefs; }

// The clipped lookup reads breakpoints 0 ... m of each axis and map entries up to m0 + m1 × stride
// (the corner of the last cell). A write is refused when, with the map's other last index as it
// stands, either would lie outside the arrays.
const char* Model::integerWriteError(const ModelParameters& p, uint32_t vr, uint32_t value) {
  for (const IndexedMap& map : indexedMaps) {
    uint32_t pair[2];
    if (!map.lastIndices.afterWrite(p.*map.maxIndex, vr, value, pair)) continue;
    const uint64_t index[2] = {pair[0], pair[1]};
    if (index[0] >= map.axisCounts[0] || index[1] >= map.axisCounts[1]) {
      return "the last index would lie beyond the breakpoints of its axis";
    }
    if (index[0] + index[1] * map.stride >= map.size) {
      return "the last indices would address entries beyond the map";
    }
    return nullptr;
  }
  return nullptr;
}

}  // namespace driver
