#include "runtime/variable_table.h"

#include <cstdlib>
#include <cstring>

namespace runtime {

namespace {

template <class T>
T load(const VariableEntry* entry) {
  T value;
  std::memcpy(&value, entry->address, sizeof value);
  return value;
}

template <class T>
void store(const VariableEntry* entry, T value) {
  std::memcpy(entry->address, &value, sizeof value);
}

}  // namespace

double readReal(const VariableEntry* entry) {
  return entry->dataType == typeDouble ? load<double>(entry) : 0.0;
}

void writeReal(const VariableEntry* entry, double value) {
  if (entry->dataType == typeDouble) store<double>(entry, value);
}

// Unsigned 32-bit storage moves the bit pattern: values of 2^31 and more read back negative.
int32_t readInteger(const VariableEntry* entry, int32_t* ok) {
  *ok = 1;
  return entry->dataType == typeUInt32 ? static_cast<int32_t>(load<uint32_t>(entry)) : 0;
}

void writeInteger(const VariableEntry* entry, int32_t value, int32_t* ok) {
  *ok = 1;
  if (entry->dataType == typeUInt32) store<uint32_t>(entry, static_cast<uint32_t>(value));
}

uint8_t readBoolean(const VariableEntry* entry) {
  return entry->dataType == typeBoolean && load<uint8_t>(entry) != 0 ? 1 : 0;
}

void writeBoolean(const VariableEntry* entry, int32_t value) {
  if (entry->dataType == typeBoolean) store<uint8_t>(entry, value == 1 ? 1 : 0);
}

const char* readString(const VariableEntry* entry) {
  if (entry->dataType != typeString) return "";
  return static_cast<const StringStorage*>(entry->address)->text;
}

bool writeString(const VariableEntry* entry, const char* value) {
  if (entry->dataType != typeString) return false;
  const std::size_t length = std::strlen(value);
  if (length >= stringCapacity) return false;
  std::memcpy(static_cast<StringStorage*>(entry->address)->text, value, length + 1);
  return true;
}

void freeVariableTable(VariableTable* table) {
  std::free(table->reals);
  std::free(table->integers);
  std::free(table->booleans);
  std::free(table->strings);
}

}  // namespace runtime
