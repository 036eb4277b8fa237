// Reading and writing model variables by value reference through the instance's value-reference
// table and the table's typed read and write entries.
#include <cstring>

#include "fmi/fmi_component.h"

namespace fmi {

namespace {

enum class Direction : uint8_t { get, set };
enum class Kind : uint8_t { real, integer, boolean, string };

struct Variables {
  const runtime::VariableEntry* entries;
  uint32_t count;
  const char* typeName;
};

Variables variablesOf(const runtime::VariableTable& table, Kind kind) {
  switch (kind) {
    case Kind::real: return {table.reals, table.numReals, "Real"};
    case Kind::integer: return {table.integers, table.numIntegers, "Integer"};
    case Kind::boolean: return {table.booleans, table.numBooleans, "Boolean"};
    case Kind::string: break;
  }
  return {table.strings, table.numStrings, "String"};
}

// The checks every get and set call makes before it moves a value: the two arrays, then every
// value reference against the size of its type's array (so that a refused call moves nothing).
// A get call before the end of initialisation (or of a model whose outputs follow its inputs)
// then recomputes the outputs. Returns the entries
// of the call's type, or false after reporting a refusal.
bool admit(FmuComponent& c, Direction direction, Kind kind, const fmi2ValueReference vr[],
           std::size_t nvr, const void* value, const runtime::VariableEntry*& entries) {
  InstanceLogger& log = *c.instanceLogger;
  const char* verb = direction == Direction::get ? "get" : "set";
  // The count is shown in full (%zu): a cast to 32 bits would show 2^32 values as 0.
  if (nvr != 0 && vr == nullptr) {
    reportStatus(log, fmi2Error,
                 "ValueReference memory pointer cannot be NULL when the number of values to %s "
                 "are %zu",
                 verb, nvr);
    return false;
  }
  if (nvr != 0 && value == nullptr) {
    reportStatus(log, fmi2Error,
                 "Value memory pointer cannot be NULL when the number of values to %s are %zu",
                 verb, nvr);
    return false;
  }
  runtime::ModelInterface& mi = *c.modelInterface;
  const Variables variables = variablesOf(mi.variables, kind);
  for (std::size_t i = 0; i < nvr; ++i) {
    if (vr[i] >= variables.count) {
      reportStatus(log, fmi2Error,
                   "Value reference %u is not a valid %s variable of this FMU (it has %u)", vr[i],
                   variables.typeName, variables.count);
      return false;
    }
  }
  // Written since set-up, a value reaches the initial conditions here, with the outputs.
  if (direction == Direction::get &&
      (c.stepState->initializationDone == 0 || mi.outputsFollowInputs != 0) &&
      !settleInitialConditions(c)) {
    mi.setSolverStopTime(mi.model, -1.0);
    mi.computeOutputs(mi.model, 0);
  }
  entries = variables.entries;
  return true;
}

// Every value of a call is acceptable unless the call's type says otherwise.
struct AcceptEveryValue {
  template <class Value>
  bool operator()(const fmi2ValueReference*, std::size_t, Value*) const {
    return true;
  }
};

// Moves the values of one get or set call, element by element in order, once the call is
// admitted and `screen` has accepted all of its values (a screened-out call moves nothing);
// `move` returns false to stop the call at an element it refused.
template <class Value, class Move, class Screen = AcceptEveryValue>
fmi2Status moveValues(FmuComponent& c, Direction direction, Kind kind,
                      const fmi2ValueReference vr[], std::size_t nvr, Value* value, Move move,
                      Screen screen = {}) {
  const runtime::VariableEntry* entries = nullptr;
  if (admit(c, direction, kind, vr, nvr, value, entries) && screen(vr, nvr, value)) {
    const runtime::ModelInterface& mi = *c.modelInterface;
    for (std::size_t i = 0; i < nvr; ++i) {
      // Each access gets a copy of the entry.
      const runtime::VariableEntry entry = entries[vr[i]];
      if (!move(mi, entry, vr[i], value[i])) break;
      if (direction == Direction::set) noteWrite(c, entry);
    }
  }
  return takeStatus(*c.instanceLogger);
}

}  // namespace

fmi2Status getReal(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                   fmi2Real value[]) {
  return moveValues(c, Direction::get, Kind::real, vr, nvr, value,
                    [](const runtime::ModelInterface& mi, const runtime::VariableEntry& entry,
                       fmi2ValueReference, fmi2Real& v) {
                      v = mi.readReal(&entry);
                      return true;
                    });
}

fmi2Status getInteger(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                      fmi2Integer value[]) {
  return moveValues(c, Direction::get, Kind::integer, vr, nvr, value,
                    [&c](const runtime::ModelInterface& mi, const runtime::VariableEntry& entry,
                         fmi2ValueReference, fmi2Integer& v) {
                      int32_t ok = 1;
                      v = mi.readInteger(&entry, &ok);
                      if (ok != 0) return true;
                      reportStatus(*c.instanceLogger, fmi2Error, "Internal Enumeration error");
                      return false;
                    });
}

fmi2Status getBoolean(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                      fmi2Boolean value[]) {
  return moveValues(c, Direction::get, Kind::boolean, vr, nvr, value,
                    [](const runtime::ModelInterface& mi, const runtime::VariableEntry& entry,
                       fmi2ValueReference, fmi2Boolean& v) {
                      v = mi.readBoolean(&entry) != 0 ? fmi2True : fmi2False;
                      return true;
                    });
}

fmi2Status setReal(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                   const fmi2Real value[]) {
  return moveValues(c, Direction::set, Kind::real, vr, nvr, value,
                    [](const runtime::ModelInterface& mi, const runtime::VariableEntry& entry,
                       fmi2ValueReference, fmi2Real v) {
                      mi.writeReal(&entry, v);
                      return true;
                    });
}

// The integer writes of a call first pass the model's guard of the parameters that index lookup
// tables, all of them before any is written: one refused value refuses the whole call. An
// invalid enumeration value, by contrast, stops the call with the elements before it written.
fmi2Status setInteger(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                      const fmi2Integer value[]) {
  const runtime::ModelInterface& mi = *c.modelInterface;
  auto guard = [&c, &mi](const fmi2ValueReference* refs, std::size_t n, const fmi2Integer* values) {
    if (mi.checkIntegerWrites == nullptr) return true;
    std::size_t refused = 0;
    const char* reason = mi.checkIntegerWrites(mi.model, refs, values, n, &refused);
    if (reason == nullptr) return true;
    reportStatus(*c.instanceLogger, fmi2Error,
                 "The value %d is not accepted for the Integer variable with value reference %u: "
                 "%s",
                 values[refused], refs[refused], reason);
    return false;
  };
  return moveValues(
      c, Direction::set, Kind::integer, vr, nvr, value,
      [&c](const runtime::ModelInterface& model, const runtime::VariableEntry& entry,
           fmi2ValueReference, fmi2Integer v) {
        int32_t ok = 1;
        model.writeInteger(&entry, v, &ok);
        if (ok != 0) return true;
        reportStatus(*c.instanceLogger, fmi2Error,
                     "The value %d is not a valid value for the enumeration", v);
        return false;
      },
      guard);
}

fmi2Status setBoolean(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                      const fmi2Boolean value[]) {
  return moveValues(c, Direction::set, Kind::boolean, vr, nvr, value,
                    [](const runtime::ModelInterface& mi, const runtime::VariableEntry& entry,
                       fmi2ValueReference, fmi2Boolean v) {
                      mi.writeBoolean(&entry, v);
                      return true;
                    });
}

// A unit without String variables refuses every access that has values.
fmi2Status getString(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                     fmi2String value[]) {
  if (c.modelInterface->variables.numStrings != 0) {
    return moveValues(c, Direction::get, Kind::string, vr, nvr, value,
                      [](const runtime::ModelInterface& mi, const runtime::VariableEntry& entry,
                         fmi2ValueReference, fmi2String& v) {
                        v = mi.readString(&entry);
                        return true;
                      });
  }
  if (nvr == 0) return fmi2OK;
  reportStatus(*c.instanceLogger, fmi2Error,
               "Invalid call to fmi2GetString. FMU has no string variables.");
  if (value != nullptr) {
    for (std::size_t i = 0; i < nvr; ++i) value[i] = "";
  }
  return takeStatus(*c.instanceLogger);
}

// A written text is copied into the model's record; a missing or too long one stops the call
// with the elements before it written.
fmi2Status setString(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                     const fmi2String value[]) {
  if (c.modelInterface->variables.numStrings != 0) {
    return moveValues(
        c, Direction::set, Kind::string, vr, nvr, value,
        [&c](const runtime::ModelInterface& mi, const runtime::VariableEntry& entry,
             fmi2ValueReference ref, fmi2String v) {
          if (v == nullptr) {
            reportStatus(*c.instanceLogger, fmi2Error,
                         "The String value for value reference %u cannot be NULL", ref);
            return false;
          }
          if (mi.writeString(&entry, v)) return true;
          reportStatus(*c.instanceLogger, fmi2Error,
                       "The String value for value reference %u is too long (%zu bytes, at most "
                       "%zu)",
                       ref, std::strlen(v), runtime::stringCapacity - 1);
          return false;
        });
  }
  if (nvr == 0) return fmi2OK;
  reportStatus(*c.instanceLogger, fmi2Error,
               "Invalid call to fmi2SetString. FMU has no string variables.");
  return takeStatus(*c.instanceLogger);
}

}  // namespace fmi
