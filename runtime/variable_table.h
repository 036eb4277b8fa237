// The value-reference map: three arrays of typed entries (reals, integers, booleans) that point
// into an instance's records, and the typed read and write entries that move values through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace runtime {

// Storage type ids of a VariableEntry: the three the models store (the ids keep the numbers of
// the wider set of storage types they were taken from).
enum DataType : int32_t {
  typeDouble = 0,
  typeUInt32 = 7,  // lookup-table last indices and strides
  typeBoolean = 8,
};

struct VariableEntry {
  void* address;
  int32_t dataType;
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
};

// Typed access; reading through the entry of another type yields 0 (false), writing through it
// changes nothing. The integer entries set `ok` to 1: every stored value is valid.
double readReal(const VariableEntry* entry);
int32_t readInteger(const VariableEntry* entry, int32_t* ok);
uint8_t readBoolean(const VariableEntry* entry);
void writeReal(const VariableEntry* entry, double value);
void writeInteger(const VariableEntry* entry, int32_t value, int32_t* ok);
void writeBoolean(const VariableEntry* entry, int32_t value);

// Frees the three arrays (null pointers allowed); does not clear them.
void freeVariableTable(VariableTable* table);

}  // namespace runtime
