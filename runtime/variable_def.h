// A model's value-reference map, written once as a table of variable definitions. The same table
// fills the instance's VariableTable (model_plan.h) and generates the unit's model description,
// so the two cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "runtime/variable_table.h"

namespace runtime {

// Where a variable lives: inputs in ExternalInputs, outputs and calculated parameters (values
// the model works out from its parameters at initialisation) in ExternalOutputs, parameters in
// ModelParameters.
enum class Causality : uint8_t { input, output, parameter, calculatedParameter };

struct VariableDef {
  const char* name;
  Causality causality;
  int32_t dataType;
  std::size_t offset;   // byte offset of the first element in its record
  uint32_t count;       // number of elements; each has a value reference of its own
  int32_t firstIndex;   // -1 for a scalar, else the 0-based array index of the first element
  const char* unit;     // "" for a dimensionless quantity
  const char* description;
  const char* dependencies;  // outputs: the inputs it depends on directly, space separated
  uint32_t maxValue;    // integer parameters: the largest value a write may store
};

// The maximum of an integer parameter that takes any value: every 32-bit pattern may be stored
// and reads back as written, and the model description declares no limits.
inline constexpr uint32_t noIntegerLimit = 0xFFFFFFFFu;

template <class T>
constexpr int32_t dataTypeOf() {
  using E = std::remove_all_extents_t<T>;
  if constexpr (std::is_same_v<E, double>) return typeDouble;
  else if constexpr (std::is_same_v<E, uint32_t>) return typeUInt32;
  else if constexpr (std::is_same_v<E, uint8_t> || std::is_same_v<E, bool>) return typeBoolean;
  else if constexpr (std::is_same_v<E, StringStorage>) return typeString;
  else static_assert(sizeof(E) == 0, "unsupported variable storage type");
}

template <class T>
constexpr uint32_t elementCountOf() {
  if constexpr (std::is_array_v<T>) return static_cast<uint32_t>(std::extent_v<T>);
  else return 1;
}

template <class T>
constexpr int32_t firstIndexOf() {
  return std::is_array_v<T> ? 0 : -1;
}

// The FMI base type a storage type belongs to, which selects the value-reference numbering.
enum class BaseType : uint8_t { real, integer, boolean, string };

constexpr BaseType baseTypeOf(int32_t dataType) {
  if (dataType == typeDouble) return BaseType::real;
  if (dataType == typeBoolean) return BaseType::boolean;
  if (dataType == typeString) return BaseType::string;
  return BaseType::integer;
}

// Bytes one element of a storage type takes in its record.
constexpr std::size_t storageSizeOf(int32_t dataType) {
  switch (dataType) {
    case typeBoolean: return 1;
    case typeUInt32: return 4;
    case typeString: return sizeof(StringStorage);
    default: return 8;
  }
}

// Element counts of the three value-reference arrays that a definition table produces.
struct VariableCounts {
  uint32_t reals = 0;
  uint32_t integers = 0;
  uint32_t booleans = 0;
  uint32_t strings = 0;
};

constexpr VariableCounts countVariables(std::span<const VariableDef> defs) {
  VariableCounts n;
  for (const VariableDef& d : defs) {
    switch (baseTypeOf(d.dataType)) {
      case BaseType::real: n.reals += d.count; break;
      case BaseType::integer: n.integers += d.count; break;
      case BaseType::boolean: n.booleans += d.count; break;
      case BaseType::string: n.strings += d.count; break;
    }
  }
  return n;
}

// Every scalar of a definition table in order, with its value reference: visit(def, element,
// valueReference) for each element of each definition. A base type's value references count
// its elements from 0 in the order of the table. The instance's VariableTable, the model
// description and the look-ups by name all number the variables by this walk.
template <class Visit>
constexpr void forEachScalar(std::span<const VariableDef> defs, Visit&& visit) {
  uint32_t next[4] = {0, 0, 0, 0};
  for (const VariableDef& d : defs) {
    const auto t = static_cast<std::size_t>(baseTypeOf(d.dataType));
    for (uint32_t e = 0; e < d.count; ++e) visit(d, e, next[t]++);
  }
}

// The model description's name of an array's element, `field[index]` with index counted from 1.
inline std::string arrayElementName(std::string_view field, uint32_t index) {
  return std::string(field) + '[' + std::to_string(index) + ']';
}

// The index in that name of element `element` of definition d, 0 for a scalar.
constexpr uint32_t nameIndexOf(const VariableDef& d, uint32_t element) {
  return d.firstIndex < 0 ? 0u : static_cast<uint32_t>(d.firstIndex) + element + 1u;
}

// The model description's name of element `element` of definition d.
inline std::string scalarName(const VariableDef& d, uint32_t element) {
  return d.firstIndex < 0 ? std::string(d.name) : arrayElementName(d.name, nameIndexOf(d, element));
}

// The value reference of the variable of one base type that the model description calls `name`
// (an array element is name[k], k counted from 1), or none when the table has no such variable.
constexpr std::optional<uint32_t> findReference(std::span<const VariableDef> defs, BaseType type,
                                                std::string_view name) {
  std::string_view field = name;
  uint32_t k = 0;  // 0 for a scalar name
  if (const std::size_t open = name.find('['); open != std::string_view::npos) {
    if (name.back() != ']' || open + 2 >= name.size()) return std::nullopt;
    field = name.substr(0, open);
    for (const char c : name.substr(open + 1, name.size() - open - 2)) {
      if (c < '0' || c > '9') return std::nullopt;
      k = k * 10u + static_cast<uint32_t>(c - '0');
    }
  }
  std::optional<uint32_t> found;
  forEachScalar(defs, [&](const VariableDef& d, uint32_t element, uint32_t vr) {
    if (!found && baseTypeOf(d.dataType) == type && field == d.name && nameIndexOf(d, element) == k) found = vr;
  });
  return found;
}

// The same, fixed when the model compiles: a name that the definition table does not have is a
// compile error. How a model names its integer value references (the parameters that index its
// lookup tables) where its write guard needs them.
consteval uint32_t referenceOf(std::span<const VariableDef> defs, BaseType type,
                               std::string_view name) {
  const std::optional<uint32_t> vr = findReference(defs, type, name);
  if (!vr) throw "the definition table has no variable of this name and type";
  return *vr;
}

consteval uint32_t integerReference(std::span<const VariableDef> defs, std::string_view name) {
  return referenceOf(defs, BaseType::integer, name);
}

// Two integer parameters that one lookup reads together (the last indices of a map's two axes,
// or its two strides), by their integer value references, for a model's write guard.
struct ReferencePair {
  uint32_t first;
  uint32_t second;

  // Both values as a write of `value` to `vr` leaves them, the other one as `stored` (the pair's
  // storage) holds it; false when vr is neither of the two.
  constexpr bool afterWrite(const uint32_t* stored, uint32_t vr, uint32_t value,
                            uint32_t (&pair)[2]) const {
    if (vr != first && vr != second) return false;
    pair[0] = vr == first ? value : stored[0];
    pair[1] = vr == first ? stored[1] : value;
    return true;
  }
};

consteval ReferencePair integerPair(std::span<const VariableDef> defs, std::string_view first,
                                    std::string_view second) {
  return {integerReference(defs, first), integerReference(defs, second)};
}

}  // namespace runtime

// Definition of a whole field (a scalar or every element of an array) of a model record.
#define SIM_VARIABLE(causality, Record, field, unit, description, dependencies, maxValue)      \
  ::runtime::VariableDef {                                                                    \
    #field, causality, ::runtime::dataTypeOf<decltype(Record::field)>(), offsetof(Record, field), \
        ::runtime::elementCountOf<decltype(Record::field)>(),                                 \
        ::runtime::firstIndexOf<decltype(Record::field)>(), unit, description, dependencies,  \
        maxValue                                                                              \
  }

#define SIM_INPUT(Record, field, unit, description) \
  SIM_VARIABLE(::runtime::Causality::input, Record, field, unit, description, nullptr, 0)
#define SIM_OUTPUT(Record, field, unit, description, dependencies) \
  SIM_VARIABLE(::runtime::Causality::output, Record, field, unit, description, dependencies, 0)
#define SIM_PARAMETER(Record, field, unit, description) \
  SIM_VARIABLE(::runtime::Causality::parameter, Record, field, unit, description, nullptr, 0)
#define SIM_INTEGER_PARAMETER(Record, field, maxValue, description) \
  SIM_VARIABLE(::runtime::Causality::parameter, Record, field, "", description, nullptr, maxValue)
#define SIM_CALCULATED_PARAMETER(Record, field, unit, description) \
  SIM_VARIABLE(::runtime::Causality::calculatedParameter, Record, field, unit, description, nullptr, 0)

// Definition of one element of an array parameter, for maps that list elements one by one.
#define SIM_PARAMETER_ELEMENT(Record, field, index, unit, description, maxValue)               \
  ::runtime::VariableDef {                                                                    \
    #field, ::runtime::Causality::parameter, ::runtime::dataTypeOf<decltype(Record::field)>(), \
        offsetof(Record, field) +                                                             \
            (index) * sizeof(std::remove_all_extents_t<decltype(Record::field)>),             \
        1, index, unit, description, nullptr, maxValue                                        \
  }
