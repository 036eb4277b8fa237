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
  switch (entry->dataType) {
    case typeDouble: return load<double>(entry);
    case typeSingle: return static_cast<double>(load<float>(entry));
    default: return 0.0;
  }
}

void writeReal(const VariableEntry* entry, double value) {
  switch (entry->dataType) {
    case typeDouble: store<double>(entry, value); break;
    case typeSingle: store<float>(entry, static_cast<float>(value)); break;
    default: break;
  }
}

int32_t readInteger(const VariableEntry* entry, int32_t* ok) {
  *ok = 1;
  switch (entry->dataType) {
    case typeInt8: return load<int8_t>(entry);
    case typeUInt8: return load<uint8_t>(entry);
    case typeInt16: return load<int16_t>(entry);
    case typeUInt16: return load<uint16_t>(entry);
    case typeInt32: {
      const int32_t stored = load<int32_t>(entry);
      return entry->enumOnRead != nullptr ? entry->enumOnRead(stored, 0, ok) : stored;
    }
    case typeUInt32: return static_cast<int32_t>(load<uint32_t>(entry));
    default: return 0;
  }
}

void writeInteger(const VariableEntry* entry, int32_t value, int32_t* ok) {
  *ok = 1;
  switch (entry->dataType) {
    case typeInt8: store<int8_t>(entry, static_cast<int8_t>(value)); break;
    case typeUInt8: store<uint8_t>(entry, static_cast<uint8_t>(value)); break;
    case typeInt16: store<int16_t>(entry, static_cast<int16_t>(value)); break;
    case typeUInt16: store<uint16_t>(entry, static_cast<uint16_t>(value)); break;
    case typeInt32:
      store<int32_t>(entry, entry->enumOnWrite != nullptr
                                ? entry->enumOnWrite(value, load<int32_t>(entry), ok)
                                : value);
      break;
    case typeUInt32: store<uint32_t>(entry, static_cast<uint32_t>(value)); break;
    default: break;
  }
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
