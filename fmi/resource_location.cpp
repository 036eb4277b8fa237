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

bool decodeResourceLocation(const char* location, char (&path)[resourcePathSize]) {
  if (location == nullptr || std::strncmp(location, "file:", 5) != 0) return false;
  const char* p = location + 5;
  if (p[0] == '/' && p[1] == '/') p += 2;
  // The separator that starts the path is consumed, and something must follow it.
  if (!isSeparator(*p)) return false;
  ++p;
  if (*p == '\0') return false;

  // During the copy the path may fill the whole buffer: a final separator is dropped below, and
  // only then must the terminator fit.
  std::size_t length = 0;
  while (*p != '\0') {
    char c = *p++;
    if (c == '%') {
      const int high = hexDigit(p[0]);
      const int low = high < 0 ? -1 : hexDigit(p[1]);
      if (low < 0) return false;
      c = static_cast<char>(high * 16 + low);
      p += 2;
    }
    if (length == resourcePathSize) return false;
    path[length++] = c;
  }
  if (isSeparator(path[length - 1])) --length;
  if (length == resourcePathSize) return false;
  path[length] = '\0';
  return true;
}

}  // namespace fmi
