// The operations the units do not support: each reports its fixed message and returns the
// worst status of the call, and none of them touches the model or the step state.
#include "fmi/fmi_component.h"

namespace fmi {

namespace {

struct RefusalMessage {
  Refusal what;
  const char* message;
};

constexpr RefusalMessage refusalMessages[] = {
    {Refusal::reset, "fmi2Reset is not supported"},
    {Refusal::getFMUstate, "fmi2GetFMUstate is not supported"},
    {Refusal::setFMUstate, "fmi2SetFMUstate is not supported"},
    {Refusal::freeFMUstate, "fmi2FreeFMUstate is not supported"},
    {Refusal::serializedFMUstateSize, "fmi2SerializedFMUstateSize is not supported"},
    {Refusal::serializeFMUstate, "fmi2SerializeFMUstate is not supported"},
    {Refusal::deSerializeFMUstate, "fmi2DeSerializeFMUstate is not supported"},
    {Refusal::getDirectionalDerivative, "fmi2GetDirectionalDerivative is not supported"},
    {Refusal::cancelStep,
     "Invalid call to fmi2CancelStep. fmi2CancelStep may only be called if fmi2DoStep returned "
     "with fmi2Pending."},
    {Refusal::getStatus, "fmi2GetStatus is not supported"},
    {Refusal::getRealStatus, "fmi2GetRealStatus is not supported"},
    {Refusal::getIntegerStatus, "fmi2GetIntegerStatus is not supported"},
    {Refusal::getBooleanStatus, "fmi2GetBooleanStatus is not supported"},
    {Refusal::getStringStatus, "fmi2GetStringStatus is not supported"},
};

// The table is indexed by the refusal: every row must sit at its own position.
constexpr bool tableInOrder() {
  std::size_t i = 0;
  for (const RefusalMessage& r : refusalMessages) {
    if (static_cast<std::size_t>(r.what) != i++) return false;
  }
  return i == static_cast<std::size_t>(Refusal::getStringStatus) + 1;
}
static_assert(tableInOrder());

}  // namespace

fmi2Status refuse(FmuComponent& c, Refusal what) {
  const RefusalMessage& refusal = refusalMessages[static_cast<std::size_t>(what)];
  reportStatus(*c.instanceLogger, fmi2Error, "%s", refusal.message);
  return takeStatus(*c.instanceLogger);
}

fmi2Status setRealInputDerivatives(FmuComponent& c, std::size_t nvr) {
  if (nvr == 0) return fmi2OK;
  reportStatus(*c.instanceLogger, fmi2Warning,
               "Invalid call to fmi2SetRealInputDerivatives. FMU cannot interpolate input signals. "
               "See capability attribute canInterpolateInputs.");
  return takeStatus(*c.instanceLogger);
}

// Output derivatives are answered with zeros; a missing result array is refused instead of
// written through.
fmi2Status getRealOutputDerivatives(FmuComponent& c, std::size_t nvr, fmi2Real value[]) {
  if (nvr != 0 && value == nullptr) {
    reportStatus(*c.instanceLogger, fmi2Error,
                 "Value memory pointer cannot be NULL when the number of values to %s are %zu",
                 "get", nvr);
    return takeStatus(*c.instanceLogger);
  }
  for (std::size_t i = 0; i < nvr; ++i) value[i] = 0.0;
  return fmi2OK;
}

}  // namespace fmi
