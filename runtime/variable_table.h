// The value-reference map: three arrays of typed entries (reals, integers, booleans) that point
// into an instance's records, and the typed read and write entries that move values through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace runtime {

// Storage type ids of a VariableEntry: the types the models store (the ids keep the numbers of
// the wider set of storage types they were taken from).
enum DataType : int32_t {
  typeDouble = 0,
  typeUInt32 = 7,  // lookup-table last indices and strides
  typeBoolean = 8,
  typeString = 9,  // a StringStorage: a terminated text of at most stringCapacity - 1 bytes
};

// Storage of a String variable inside a model record: fixed, so that the record stays a plain
// block that can be copied and freed as a whole.
inline constexpr std::size_t stringCapacity = 4096;
struct StringStorage {
  char text[stringCapacity];
};

struct VariableEntry {
  void* address;
  int32_t dataType;
  uint8_t parameter;  // 1 when the entry is a parameter's: the initial conditions may read it
};

// The element counts let the interface layer refuse a value reference outside its array before
// it indexes it.
struct VariableTable {
  VariableEntry* reals;
  VariableEntry* integers;
  VariableEntry* booleans;
  uint32_t numReals;
  uint32_t numIntegers;
  uint32_t numBooleans;
  VariableEntry* strings;  // null, with numStrings 0, in a model without String variables
  uint32_t numStrings;
};

// Typed access; reading through the entry of another type yields 0 (false), writing through it
// changes nothing. The integer entries set `ok` to 1: every stored value is valid.
double readReal(const VariableEntry* entry);
int32_t readInteger(const VariableEntry* entry, int32_t* ok);
uint8_t readBoolean(const VariableEntry* entry);
void writeReal(const VariableEntry* entry, double value);
void writeInteger(const VariableEntry* entry, int32_t value, int32_t* ok);
void writeBoolean(const VariableEntry* entry, int32_t value);
// The stored text of a String entry ("" for any other type). The pointer stays valid until the
// variable is written again.
const char* readString(const VariableEntry* entry);
// Stores a copy of `value`; false, storing nothing, when it does not fit or the entry is not a
// String.
bool writeString(const VariableEntry* entry, const char* value);

// Frees the arrays (null pointers allowed); does not clear them.
void freeVariableTable(VariableTable* table);

}  // namespace runtime
