// The electrical value-reference map: three inputs, six outputs, the parameters from
// dragCapCurrent to openCircuitSocBreakpoints in record order (one reference per double), the
// remaining 53 scalars in the map's own order, and the twelve integer map-indexing elements.
#include "models/electrical/electrical_model.h"

namespace electrical {

namespace {

using P = ModelParameters;

// The drag-torque map lookup reads the entries i0 + s1 * i1 + s2 * i2 and their neighbours one
// further along each axis. The extrapolating searches return at most the second-to-last index of
// each axis (also for inputs beyond the range and NaN), so the highest entry it reads for the
// strides s1 and s2 is the one below. Evaluated in 64 bits so that huge strides cannot wrap.
constexpr uint64_t highestMapRead(uint64_t s1, uint64_t s2) {
  return (dragMapSpeedCount - 1) + (dragMapCurrentCount - 1) * s1 + (dragMapVoltageCount - 1) * s2;
}
constexpr bool mapReadInside(uint64_t s1, uint64_t s2) {
  return highestMapRead(s1, s2) < dragMapSize;
}

// The largest value each read stride may take, with the other one at 0.
constexpr uint32_t maxCurrentStride =
    (dragMapSize - dragMapSpeedCount) / (dragMapCurrentCount - 1);
constexpr uint32_t maxVoltageStride =
    (dragMapSize - dragMapSpeedCount) / (dragMapVoltageCount - 1);
static_assert(mapReadInside(maxCurrentStride, 0) && !mapReadInside(maxCurrentStride + 1, 0));
static_assert(mapReadInside(0, maxVoltageStride) && !mapReadInside(0, maxVoltageStride + 1));
// The default strides fill the map exactly.
static_assert(highestMapRead(dragMapSpeedCount, dragMapSpeedCount * dragMapCurrentCount) ==
              dragMapSize - 1);

constexpr const char* noEffect = "stored and reachable, read by no equation";
constexpr const char* selector = "power-figure selector; no output or state depends on it";
// Integer elements that no lookup reads take any value.
constexpr uint32_t unreadMax = runtime::noIntegerLimit;

#define ELECTRICAL_INTEGER(field, index, maxValue, description) \
  SIM_PARAMETER_ELEMENT(P, field, index, "", description, maxValue)

constexpr runtime::VariableDef variableDefs[] = {
    SIM_INPUT(ExternalInputs, voltageSetpoint, "V", "regulator set-point voltage"),
    SIM_INPUT(ExternalInputs, loadSwitch, "", "switched load on when above loadSwitchThreshold"),
    SIM_INPUT(ExternalInputs, engineSpeed, "rad/s", "engine speed"),
    SIM_OUTPUT(ExternalOutputs, stateOfCharge, "%", "battery state of charge", "loadSwitch"),
    SIM_OUTPUT(
        ExternalOutputs, alternatorLoadTorque, "N.m",
        "torque the alternator drive takes from the engine; negative is a load on the engine", ""),
    SIM_OUTPUT(ExternalOutputs, constantOutput, "V", "the value of loadOffVoltage", ""),
    SIM_OUTPUT(
        ExternalOutputs, driveLossPower, "W",
        "power lost in the belt drive (the torque loss itself when lossOutputControl selects it)",
        "engineSpeed"),
    SIM_OUTPUT(ExternalOutputs, stateOfChargeMirror, "%",
               "battery state of charge (same as stateOfCharge)", "loadSwitch"),
    SIM_OUTPUT(ExternalOutputs, busVoltage, "V",
               "bus voltage: battery terminal voltage of the previous step", ""),

    // 9 ... 733: record order.
    SIM_PARAMETER(P, dragCapCurrent, "A", "current coordinate of the drag-torque cap lookup"),
    SIM_PARAMETER(P, dragCapVoltage, "V", "voltage coordinate of the drag-torque cap lookup"),
    SIM_PARAMETER(P, maxCurrentTable, "A", "alternator current limit at the speed breakpoints"),
    SIM_PARAMETER(P, maxCurrentSpeeds, "rpm", "alternator speed breakpoints of the current limit"),
    SIM_PARAMETER(P, dragTorqueMap, "N.m",
                  "alternator drag torque over speed (fastest), current and voltage"),
    SIM_PARAMETER(P, dragSpeedBreakpoints, "rpm", "alternator speed axis of the drag-torque map"),
    SIM_PARAMETER(P, dragCurrentBreakpoints, "A", "alternator current axis of the drag-torque map"),
    SIM_PARAMETER(P, dragVoltageBreakpoints, "V", "bus voltage axis of the drag-torque map"),
    SIM_PARAMETER(P, regulatorGain, "A/V", "regulator gain on the lagged bus error"),
    SIM_PARAMETER(P, driveEfficiency, "", "belt drive efficiency"),
    SIM_PARAMETER(P, pulleyRatio, "", "alternator speed over engine speed"),
    SIM_PARAMETER(P, dragTorqueFloor, "N.m", "lower limit of the alternator drag torque"),
    SIM_PARAMETER(P, batteryCapacityAh, "Ah", "battery capacity"),
    SIM_PARAMETER(P, ohmicResistance, "Ohm",
                  "battery ohmic resistance; also the regulator's divisor"),
    SIM_PARAMETER(P, chargeUpperPercent, "%", "upper charge limit, percent of capacity"),
    SIM_PARAMETER(P, chargeLowerPercent, "%", "lower charge limit, percent of capacity"),
    SIM_PARAMETER(P, initialChargePercent, "%", "initial charge, percent of capacity"),
    SIM_PARAMETER(P, initialBusVoltage, "V",
                  "bus voltage of the first step (read by the initialisation)"),
    SIM_PARAMETER(P, openCircuitVoltages, "V",
                  "open-circuit voltage at the state-of-charge breakpoints"),
    SIM_PARAMETER(P, openCircuitSocBreakpoints, "%",
                  "state-of-charge breakpoints of the open-circuit voltage"),

    // 734 ... 786: the map's own order.
    SIM_PARAMETER(P, loadTorqueSign, "", "sign of alternatorLoadTorque"),
    SIM_PARAMETER(P, initialAlternatorSpeed, "rad/s",
                  "alternator speed of the first step (read by the initialisation)"),
    SIM_PARAMETER(P, reserved1, "", noEffect),
    SIM_PARAMETER(P, mechPowerValue, "", selector),
    SIM_PARAMETER(P, mechPowerControl, "", selector),
    SIM_PARAMETER(P, mechPowerThreshold, "", selector),
    SIM_PARAMETER(P, reserved2, "", noEffect),
    SIM_PARAMETER(P, alternatorPowerValue, "", selector),
    SIM_PARAMETER(P, alternatorPowerControl, "", selector),
    SIM_PARAMETER(P, alternatorPowerThreshold, "", selector),
    SIM_PARAMETER(P, errorLagA, "1/s", "bus-error lag, state coefficient (-1/time constant)"),
    SIM_PARAMETER(P, errorLagC, "1/s", "bus-error lag, output coefficient (1/time constant)"),
    SIM_PARAMETER(P, regulatorFloor, "A", "lower limit of the regulator's set-point term"),
    SIM_PARAMETER(P, setpointThreshold, "V", "the set-point term is used only above this"),
    SIM_PARAMETER(P, setpointLagA, "1/s", "set-point lag, state coefficient (-1/time constant)"),
    SIM_PARAMETER(P, setpointLagC, "1/s", "set-point lag, output coefficient (1/time constant)"),
    SIM_PARAMETER(P, nominalVoltage, "V", "reference voltage of the set-point lag"),
    SIM_PARAMETER(P, maxCurrentFloor, "A", "lower limit of the alternator current limit"),
    SIM_PARAMETER(P, torqueLagA, "1/s", "drag-torque lag, state coefficient (-1/time constant)"),
    SIM_PARAMETER(P, torqueLagC, "1/s", "drag-torque lag, output coefficient (1/time constant)"),
    SIM_PARAMETER(P, reserved3, "", noEffect),
    SIM_PARAMETER(P, lossOutputValue, "",
                  "factor of driveLossPower when lossOutputControl selects it"),
    SIM_PARAMETER(
        P, lossOutputControl, "",
        "at or above lossOutputThreshold, driveLossPower uses lossOutputValue, else engineSpeed"),
    SIM_PARAMETER(P, lossOutputThreshold, "", "threshold of lossOutputControl"),
    SIM_PARAMETER(P, efficiencyNumerator, "", "numerator of the inverse drive efficiency"),
    SIM_PARAMETER(P, powerFlowGain, "", "gain on the engine-side torque before the direction test"),
    SIM_PARAMETER(P, powerFlowLower, "N.m", "lower limit of the power-flow direction signal"),
    SIM_PARAMETER(P, powerFlowUpper, "N.m", "upper limit of the power-flow direction signal"),
    SIM_PARAMETER(P, powerFlowThreshold, "N.m", "power flow above this selects driveEfficiency"),
    SIM_PARAMETER(P, initialChargeChange, "A.s",
                  "charge change of the first step (read by the initialisation)"),
    SIM_PARAMETER(P, initialChargeTime, "s",
                  "charge time of the first step (read by the initialisation)"),
    SIM_PARAMETER(P, reserved4, "", noEffect),
    SIM_PARAMETER(P, batteryPowerValue, "", selector),
    SIM_PARAMETER(P, batteryPowerControl, "", selector),
    SIM_PARAMETER(P, batteryPowerThreshold, "", selector),
    SIM_PARAMETER(P, reserved5, "", noEffect),
    SIM_PARAMETER(P, lossPowerValue, "", selector),
    SIM_PARAMETER(P, lossPowerControl, "", selector),
    SIM_PARAMETER(P, lossPowerThreshold, "", selector),
    SIM_PARAMETER(P, polarizationA, "1/s",
                  "battery RC branch, state coefficient (-1/time constant)"),
    SIM_PARAMETER(P, polarizationC, "",
                  "battery RC branch, output coefficient: branch voltage in V per A.s of state"),
    SIM_PARAMETER(P, reserved6, "", noEffect),
    SIM_PARAMETER(P, spareSelectValue, "", selector),
    SIM_PARAMETER(P, spareSelectControl, "", selector),
    SIM_PARAMETER(P, spareSelectThreshold, "", selector),
    SIM_PARAMETER(P, loadSwitchThreshold, "", "loadSwitch must exceed this to switch the load on"),
    SIM_PARAMETER(P, baseLoadResistance, "Ohm", "always-on load"),
    SIM_PARAMETER(P, loadOffVoltage, "V",
                  "voltage on the switched load when off; also constantOutput"),
    SIM_PARAMETER(P, switchedLoadResistance, "Ohm", "switched load"),
    SIM_PARAMETER(P, secondsPerHour, "", "Ah to A.s conversion"),
    SIM_PARAMETER(P, percentScale, "", "fraction to percent conversion"),
    SIM_PARAMETER(P, percentToFraction, "", "percent to fraction conversion"),
    SIM_PARAMETER(P, radPerSecToRpm, "", "rad/s to rpm conversion"),

    // Integers: the strides of the running and the cap map lookup are read (elements 1 and 2);
    // the largest values keep the lookup inside the map with the other stride at 0, and a write
    // is also refused when it would leave the map with the other stride's value after the call.
    ELECTRICAL_INTEGER(dragStrides, 0, unreadMax, "drag-torque map, speed stride (not read)"),
    ELECTRICAL_INTEGER(
        dragStrides, 1, maxCurrentStride,
        "drag-torque map, current stride; 11 x this + 2 x the voltage stride at most 630"),
    ELECTRICAL_INTEGER(
        dragStrides, 2, maxVoltageStride,
        "drag-torque map, voltage stride; 11 x the current stride + 2 x this at most 630"),
    ELECTRICAL_INTEGER(dragMaxIndex, 0, unreadMax,
                       "last speed index of the map (not read: fixed at 17)"),
    ELECTRICAL_INTEGER(dragMaxIndex, 1, unreadMax,
                       "last current index of the map (not read: fixed at 11)"),
    ELECTRICAL_INTEGER(dragMaxIndex, 2, unreadMax,
                       "last voltage index of the map (not read: fixed at 2)"),
    ELECTRICAL_INTEGER(dragCapStrides, 0, unreadMax,
                       "drag-torque cap lookup, speed stride (not read)"),
    ELECTRICAL_INTEGER(
        dragCapStrides, 1, maxCurrentStride,
        "drag-torque cap lookup, current stride; 11 x this + 2 x the voltage stride at most 630"),
    ELECTRICAL_INTEGER(
        dragCapStrides, 2, maxVoltageStride,
        "drag-torque cap lookup, voltage stride; 11 x the current stride + 2 x this at most 630"),
    ELECTRICAL_INTEGER(dragCapMaxIndex, 0, unreadMax, "cap lookup, last speed index (not read)"),
    ELECTRICAL_INTEGER(dragCapMaxIndex, 1, unreadMax, "cap lookup, last current index (not read)"),
    ELECTRICAL_INTEGER(dragCapMaxIndex, 2, unreadMax, "cap lookup, last voltage index (not read)"),
};

#undef ELECTRICAL_INTEGER

constexpr runtime::VariableCounts counts = runtime::countVariables(variableDefs);
static_assert(counts.reals == 787 && counts.integers == 12 && counts.booleans == 0);
static_assert(runtime::describesTable(Model::info, variableDefs),
              "the information record counts the inputs and outputs of the table");

// Every double of the parameter record has exactly one real reference: the parameter
// definitions cover the record's 778 doubles, and each field appears once.
constexpr bool eachParameterOnce() {
  bool seen[sizeof(ModelParameters)] = {};
  for (const runtime::VariableDef& d : variableDefs) {
    if (d.causality != runtime::Causality::parameter) continue;
    const std::size_t size = d.dataType == runtime::typeUInt32 ? 4 : 8;
    for (std::size_t byte = d.offset; byte < d.offset + d.count * size; ++byte) {
      if (seen[byte]) return false;
      seen[byte] = true;
    }
  }
  for (bool s : seen) {
    if (!s) return false;
  }
  return true;
}
static_assert(eachParameterOnce());

// The read strides (elements 1 and 2) of the running and the cap lookup, as the table above
// numbers them.
struct StridePair {
  runtime::ReferencePair readStrides;  // the current stride and the voltage stride
  uint32_t (ModelParameters::*strides)[3];
};

constexpr StridePair stridePairs[] = {
    {runtime::integerPair(variableDefs, "dragStrides[2]", "dragStrides[3]"),
     &ModelParameters::dragStrides},
    {runtime::integerPair(variableDefs, "dragCapStrides[2]", "dragCapStrides[3]"),
     &ModelParameters::dragCapStrides},
};

}  // namespace

std::span<const runtime::VariableDef> Model::variables() { return variableDefs; }

// A stride written, with the other stride of its lookup as `current` holds it, must keep the
// lookup's highest read inside the map.
const char* Model::integerWriteError(const ModelParameters& current, uint32_t vr, uint32_t value) {
  for (const StridePair& pair : stridePairs) {
    uint32_t s[2];
    if (!pair.readStrides.afterWrite(&(current.*pair.strides)[1], vr, value, s)) continue;
    if (mapReadInside(s[0], s[1])) return nullptr;
    return "with the other stride of its lookup, this stride would let the drag-torque map "
           "lookup read outside the map's 648 entries";
  }
  return nullptr;
}

}  // namespace electrical
