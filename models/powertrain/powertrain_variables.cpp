// The powertrain value-reference map. Reals: eight inputs, eight outputs, the maps and their
// breakpoints in record order, the scalars from the spares to the last power-figure selector in
// the map's own order, then the converter block in record order. Integers: the fuel map's and
// the torque map's last indices. Booleans: the two cut-off inputs.
#include "models/powertrain/powertrain_lookups.h"
#include "models/powertrain/powertrain_model.h"

namespace powertrain {

namespace {

using I = ExternalInputs;
using O = ExternalOutputs;
using P = ModelParameters;
constexpr const char* selector = "power-figure selector; no output or state depends on it";
// The value, control and threshold of one power-figure selector.
#define POWER_SELECTOR(figure)                            \
  SIM_PARAMETER(P, figure##PowerValue, "", selector),     \
      SIM_PARAMETER(P, figure##PowerControl, "", selector),\
      SIM_PARAMETER(P, figure##PowerThreshold, "", selector)
constexpr const char* spare = "spare; read by no equation";
constexpr const char* throttleCut =
    "throttle and fuel cut-off: true (1) gates the throttle and the fuel rate with the cut gates";
constexpr const char* fuelMapIndex =
    "last index of the fuel map along this axis, 1 or more (the lookup extrapolates from the "
    "segment below it); a write that would let the lookup read outside the map or its "
    "breakpoints is refused";
constexpr const char* torqueMapIndex =
    "last index of the torque map along this axis; a write that would let the lookup read "
    "outside the map or its breakpoints is refused";

// The fuel map's values are grams per second: divided by the engine power at the map's own
// operating points they give a brake-specific consumption of 239 to 401 g/kWh from 1000 to
// 6000 rpm and 22.5 N.m up (best 239.5 g/kWh at 2000 rpm, 112.5 N.m), the range of a petrol engine;
// read as kg/s or g/h they would be a thousand times too large or 3600 times too small.
constexpr const char* fuelRateDescription =
    "fuel rate from the fuel map, after the cut-offs; grams per second, as the map's brake-specific "
    "consumption shows (239 to 401 g/kWh over the map from 1000 to 6000 rpm and 22.5 N.m up)";

constexpr runtime::VariableDef variableDefs[] = {
    SIM_INPUT(I, wheelSpeed, "rad/s", "wheel angular speed, from the chassis"),
    SIM_INPUT(I, ratioCommand, "", "commanded gearbox ratio (input side speed / output side speed)"),
    SIM_INPUT(I, lockupCommand, "",
              "lock-up clutch engagement command; exactly 0 releases the clutch and holds its "
              "twist at the reset value"),
    SIM_INPUT(I, spareInput, "", "spare input; read by no equation"),
    SIM_INPUT(I, throttle, "%", "throttle demand"),
    SIM_INPUT(I, cutoffA, "", throttleCut),
    SIM_INPUT(I, cutoffB, "", throttleCut),
    SIM_INPUT(I, torqueFactorInput, "",
              "engine torque factor, through the torque factor table, from the first time after "
              "the first output time on; starts at the neutral factor 1 (a factor of 0 makes the "
              "fuel rate and the fuel used NaN)"),
    SIM_INPUT(I, auxTorque1, "N.m", "extra torque on the engine shaft"),
    SIM_INPUT(I, auxTorque2, "N.m", "extra torque on the engine shaft"),

    SIM_OUTPUT(O, outputShaftRpm, "rpm", "gearbox output shaft speed", ""),
    SIM_OUTPUT(O, engineRpm, "rpm", "engine speed", ""),
    SIM_OUTPUT(O, driveshaftTorque, "N.m", "torque in the driveshaft at the wheels, for the chassis",
               "wheelSpeed"),
    SIM_OUTPUT(O, fuelUsed, "g",
               "fuel used since the start, the integral of the fuel rate; grams, since the rate is "
               "in grams per second",
               ""),
    SIM_OUTPUT(O, fuelRate, "g/s", fuelRateDescription,
               "throttle cutoffA cutoffB torqueFactorInput"),
    SIM_OUTPUT(O, gearboxLossPower, "W",
               "gearbox loss torque times the turbine speed (the loss torque times "
               "lossOutputValue when the loss-output selector is switched)",
               "lockupCommand"),
    SIM_OUTPUT(O, engineLoadTorque, "N.m",
               "torque that converter and lock-up clutch put on the engine shaft; negative loads "
               "the engine",
               "lockupCommand"),
    SIM_OUTPUT(O, engineSpeed, "rad/s", "engine speed", ""),

    SIM_PARAMETER(P, finalDriveRatio, "", "final drive ratio"),
    SIM_PARAMETER(P, shaftDamping, "N.m.s/rad", "driveshaft damping"),
    SIM_PARAMETER(P, shaftTwistLower, "rad", "lower limit of the driveshaft twist"),
    SIM_PARAMETER(P, shaftTwistUpper, "rad", "upper limit of the driveshaft twist"),
    SIM_PARAMETER(P, shaftStiffness, "N.m/rad", "driveshaft stiffness"),
    SIM_PARAMETER(P, finalDriveEfficiency, "", "final drive efficiency"),
    SIM_PARAMETER(P, throttleMin, "%", "lower saturation of the throttle command"),
    SIM_PARAMETER(P, throttleMax, "%", "upper saturation of the throttle command"),
    SIM_PARAMETER(P, fuelMap, "g/s",
                  "fuel map, 8 torques x 13 speeds; element i + 8 j at torque i and speed j"),
    SIM_PARAMETER(P, fuelMapSpeeds, "rpm", "fuel map speed breakpoints"),
    SIM_PARAMETER(P, fuelMapTorques, "N.m", "fuel map torque breakpoints"),
    SIM_PARAMETER(P, torqueMap, "N.m",
                  "engine torque map, 8 throttles x 8 speeds; element i + 8 j at throttle i and "
                  "speed j"),
    SIM_PARAMETER(P, torqueMapSpeeds, "rpm", "torque map speed breakpoints"),
    SIM_PARAMETER(P, torqueMapThrottles, "%", "torque map throttle breakpoints"),
    SIM_PARAMETER(P, torqueFactorTable, "", "torque factor table values"),
    SIM_PARAMETER(P, torqueFactorBreakpoints, "", "torque factor table breakpoints"),

    SIM_PARAMETER(P, initialShaftTwist, "rad", "initial driveshaft twist"),
    SIM_PARAMETER(P, driveSpare1, "", spare),
    POWER_SELECTOR(shaft),
    SIM_PARAMETER(P, driveSpare2, "", spare),
    POWER_SELECTOR(finalDriveLoss),
    SIM_PARAMETER(P, finalDriveFlowGain, "", "gain of the final drive torque before its flow saturation"),
    SIM_PARAMETER(P, finalDriveFlowLower, "N.m", "lower saturation of the final drive torque flow"),
    SIM_PARAMETER(P, finalDriveFlowUpper, "N.m", "upper saturation of the final drive torque flow"),
    SIM_PARAMETER(P, fuelGateCutA, "", "fuel gate while cutoffA is true"),
    SIM_PARAMETER(P, fuelGateOnA, "", "fuel gate while cutoffA is false"),
    SIM_PARAMETER(P, fuelGateCutB, "", "fuel gate while cutoffB is true"),
    SIM_PARAMETER(P, fuelGateOnB, "", "fuel gate while cutoffB is false"),
    SIM_PARAMETER(P, throttleGateCutA, "", "throttle gate while cutoffA is true"),
    SIM_PARAMETER(P, throttleGateOnA, "", "throttle gate while cutoffA is false"),
    SIM_PARAMETER(P, throttleGateCutB, "", "throttle gate while cutoffB is true"),
    SIM_PARAMETER(P, throttleGateOnB, "", "throttle gate while cutoffB is false"),
    SIM_PARAMETER(P, initialFuelUsed, "g", "initial fuel used"),
    SIM_PARAMETER(P, driveSpare3, "", spare),
    POWER_SELECTOR(engine),
    SIM_PARAMETER(P, torqueFactorInitial, "",
                  "torque factor input used at the first output time, in place of "
                  "torqueFactorInput"),
    SIM_PARAMETER(P, engineSpeedLower, "rad/s", "lower limit of the engine speed"),
    SIM_PARAMETER(P, engineSpeedUpper, "rad/s",
                  "upper limit of the engine speed; set to +infinity when an instance is created"),
    SIM_PARAMETER(P, initialOutputShaftSpeed, "rad/s", "initial gearbox output shaft speed"),
    SIM_PARAMETER(P, outputShaftSpeedLower, "rad/s", "lower limit of the output shaft speed"),
    SIM_PARAMETER(P, outputShaftSpeedUpper, "rad/s",
                  "upper limit of the output shaft speed; set to +infinity when an instance is "
                  "created"),
    SIM_PARAMETER(P, driveSpare4, "", spare),
    POWER_SELECTOR(outputShaft),
    SIM_PARAMETER(P, driveSpare5, "", spare),
    POWER_SELECTOR(engineShaft),
    SIM_PARAMETER(P, driveSpare6, "", spare),
    POWER_SELECTOR(finalDrive),
    SIM_PARAMETER(P, engineLoadGain, "", "gain of the engine load torque output"),
    SIM_PARAMETER(P, clutchTwistReset, "rad", "initial and reset value of the lock-up clutch twist"),
    SIM_PARAMETER(P, clutchTwistLower, "rad", "lower limit of the lock-up clutch twist"),
    SIM_PARAMETER(P, clutchTwistUpper, "rad", "upper limit of the lock-up clutch twist"),
    SIM_PARAMETER(P, lockupLagA, "1/s", "lock-up lag, state coefficient (-1/time constant)"),
    SIM_PARAMETER(P, lockupLagC, "1/s", "lock-up lag, output coefficient (1/time constant)"),
    SIM_PARAMETER(P, driveSpare7, "", spare),
    POWER_SELECTOR(impeller),
    SIM_PARAMETER(P, driveSpare8, "", spare),
    POWER_SELECTOR(turbine),
    SIM_PARAMETER(P, driveSpare9, "", spare),
    POWER_SELECTOR(clutchEngine),
    SIM_PARAMETER(P, driveSpare10, "", spare),
    POWER_SELECTOR(clutchTurbine),
    SIM_PARAMETER(P, stallSpeedRatio, "", "converter speed ratio at stall"),
    SIM_PARAMETER(P, converterDirectionLower, "",
                  "lower saturation of the engine-minus-turbine speed difference in rpm that "
                  "gives the converter's direction"),
    SIM_PARAMETER(P, converterDirectionUpper, "",
                  "upper saturation of the engine-minus-turbine speed difference in rpm that "
                  "gives the converter's direction"),
    SIM_PARAMETER(P, driveSpare11, "", spare),
    SIM_PARAMETER(P, lossOutputValue, "", "loss-output selector: factor used when switched"),
    SIM_PARAMETER(P, lossOutputControl, "",
                  "loss-output selector: control value, switched at or above the threshold"),
    SIM_PARAMETER(P, lossOutputThreshold, "", "loss-output selector: threshold"),
    SIM_PARAMETER(P, ratioLagA, "1/s", "gearbox ratio lag, state coefficient (-1/time constant)"),
    SIM_PARAMETER(P, ratioLagC, "1/s", "gearbox ratio lag, output coefficient (1/time constant)"),
    SIM_PARAMETER(P, gearboxFlowLower, "N.m", "lower saturation of the gearbox torque flow"),
    SIM_PARAMETER(P, gearboxFlowUpper, "N.m", "upper saturation of the gearbox torque flow"),

    SIM_PARAMETER(P, capacityScale, "",
                  "scale of the converter capacity table (impeller torque per rpm squared per "
                  "table unit)"),
    SIM_PARAMETER(P, outputShaftInertia, "kg.m2", "inertia on the gearbox output shaft"),
    SIM_PARAMETER(P, engineInertia, "kg.m2", "engine inertia"),
    SIM_PARAMETER(P, initialEngineSpeed, "rad/s", "initial engine speed"),
    SIM_PARAMETER(P, clutchDamping, "N.m.s/rad", "lock-up clutch damping"),
    SIM_PARAMETER(P, clutchStiffness, "N.m/rad", "lock-up clutch stiffness"),
    SIM_PARAMETER(P, gearboxEfficiency, "", "gearbox efficiency"),
    SIM_PARAMETER(P, stallRpm, "rpm", "speed at or below which the converter is at stall"),
    SIM_PARAMETER(P, speedRatioMin, "", "lower saturation of the converter speed ratio"),
    SIM_PARAMETER(P, speedRatioMax, "", "upper saturation of the converter speed ratio"),
    SIM_PARAMETER(P, capacityTable, "", "converter capacity over the speed ratio"),
    SIM_PARAMETER(P, capacityRatios, "", "speed ratio breakpoints of the capacity table"),
    SIM_PARAMETER(P, torqueRatioTable, "", "converter torque ratio over the speed ratio"),
    SIM_PARAMETER(P, torqueRatioRatios, "", "speed ratio breakpoints of the torque ratio table"),
    SIM_PARAMETER(P, ratioRpmFloor, "rpm", "lower clip of the speeds that form the speed ratio"),
    SIM_PARAMETER(P, ratioRpmCeiling, "rpm", "upper clip of the speeds that form the speed ratio"),
    SIM_PARAMETER(P, radPerSecToRpm, "", "rad/s to rpm conversion, 30/pi"),

    SIM_PARAMETER_ELEMENT(P, fuelMapMaxIndex, 0, "", fuelMapIndex, largestMaxIndex(fuelMapExtent, 0)),
    SIM_PARAMETER_ELEMENT(P, fuelMapMaxIndex, 1, "", fuelMapIndex, largestMaxIndex(fuelMapExtent, 1)),
    SIM_PARAMETER_ELEMENT(P, torqueMapMaxIndex, 0, "", torqueMapIndex,
                          largestMaxIndex(torqueMapExtent, 0)),
    SIM_PARAMETER_ELEMENT(P, torqueMapMaxIndex, 1, "", torqueMapIndex,
                          largestMaxIndex(torqueMapExtent, 1)),
};

constexpr runtime::VariableCounts counts = runtime::countVariables(variableDefs);
static_assert(counts.reals == 384 && counts.integers == 4 && counts.booleans == 2);
static_assert(runtime::describesTable(Model::info, variableDefs),
              "the information record counts the inputs and outputs of the table");

#undef POWER_SELECTOR

// The maps whose last indices a master may write, with the integer references of the two last
// indices as the table above numbers them.
struct IndexedMap {
  runtime::ReferencePair lastIndices;  // of the first and of the second axis
  const MapExtent* extent;
};

constexpr IndexedMap indexedMaps[] = {
    {runtime::integerPair(variableDefs, "fuelMapMaxIndex[1]", "fuelMapMaxIndex[2]"), &fuelMapExtent},
    {runtime::integerPair(variableDefs, "torqueMapMaxIndex[1]", "torqueMapMaxIndex[2]"),
     &torqueMapExtent},
};

}  // namespace

std::span<const runtime::VariableDef> Model::variables() { return variableDefs; }

// The last index written, with the map's other last index as `p` holds it, must keep the map's
// lookup inside the map and its breakpoints.
const char* Model::integerWriteError(const ModelParameters& p, uint32_t vr, uint32_t value) {
  for (const IndexedMap& map : indexedMaps) {
    uint32_t pair[2];
    if (map.lastIndices.afterWrite(p.*map.extent->maxIndex, vr, value, pair)) {
      return mapIndexError(*map.extent, pair[0], pair[1]);
    }
  }
  return "no such integer parameter";
}

}  // namespace powertrain
