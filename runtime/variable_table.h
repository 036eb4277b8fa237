// The value-reference map: three arrays of typed entries (reals, integers, booleans) that point
// into an instance's records, and the typed read and write entries that move values through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace runtime {

// Storage type ids of a VariableEntry.
enum DataType : int32_t {
  typeDouble = 0,
  typeSingle = 1,
  typeInt8 = 2,
  typeUInt8 = 3,
  typeInt16 = 4,
  typeUInt16 = 5,
  typeInt32 = 6,
  typeUInt32 = 7,
  typeBoolean = 8,
};

using EnumOnWrite = int32_t (*)(int32_t value, int32_t stored, int32_t* ok);
using EnumOnRead = int32_t (*)(int32_t stored, int32_t zero, int32_t* ok);

struct VariableEntry {
  void* address;
  int32_t dataType;
  EnumOnWrite enumOnWrite;
  EnumOnRead enumOnRead;
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

double readReal(const VariableEntry* entry);
int32_t readInteger(const VariableEntry* entry, int32_t* ok);
uint8_t readBoolean(const VariableEntry* entry);
void writeReal(const VariableEntry* entry, double value);
void writeInteger(const VariableEntry* entry, int32_t value, int32_t* ok);
void writeBoolean(const VariableEntry* entry, int32_t value);

// Frees the three arrays (null pointers allowed); does not clear them.
void freeVariableTable(VariableTable* table);

}  // namespace runtime
