#include "fmi/resource_location.h"

#include <cstring>

namespace fmi {

char resourcePath[resourcePathSize];

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

LocationDecoding decodeResourceLocation(const char* location, char (&path)[resourcePathSize],
                                        std::size_t& decodedLength) {
  decodedLength = 0;
  if (location == nullptr || std::strncmp(location, "file:", 5) != 0) {
    return LocationDecoding::malformed;
  }
  const char* p = location + 5;
  if (p[0] == '/' && p[1] == '/') p += 2;
  // The separator that starts the path is consumed, and something must follow it.
  if (!isSeparator(*p)) return LocationDecoding::malformed;
  ++p;
  if (*p == '\0') return LocationDecoding::malformed;

  // The whole location is decoded, and counted, also beyond the buffer: a path that does not
  // fit is told apart from a malformed location. A final separator is dropped, and only then
  // must the path and its terminator fit.
  std::size_t length = 0;
  char last = '\0';
  while (*p != '\0') {
    char c = *p++;
    if (c == '%') {
      const int high = hexDigit(p[0]);
      const int low = high < 0 ? -1 : hexDigit(p[1]);
      if (low < 0) return LocationDecoding::malformed;
      c = static_cast<char>(high * 16 + low);
      p += 2;
    }
    if (length < resourcePathSize) path[length] = c;
    ++length;
    last = c;
  }
  if (isSeparator(last)) --length;
  decodedLength = length;
  if (length >= resourcePathSize) return LocationDecoding::tooLong;
  path[length] = '\0';
  return LocationDecoding::accepted;
}

}  // namespace fmi
