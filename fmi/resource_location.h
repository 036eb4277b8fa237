// Decoding of the resource location that the master passes to fmi2Instantiate: a "file:" URI
// whose path is percent-decoded into a local path.
#pragma once

#include <cstddef>

namespace fmi {

// Room for the decoded path, terminator included.
inline constexpr std::size_t resourcePathSize = 262;

// The decoded path of the most recent fmi2Instantiate, shared by every instance in the process.
extern char resourcePath[resourcePathSize];

// Decodes `location` into `path`. Refuses (returns false) a location that is not a "file:" URI
// with a path, that holds a "%" without two hexadecimal digits, or whose decoded path does not
// fit: nothing is ever written past the buffer. A refused location may leave a partial path.
bool decodeResourceLocation(const char* location, char (&path)[resourcePathSize]);

}  // namespace fmi
