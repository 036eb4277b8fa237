// Decoding of the resource location that the master passes to fmi2Instantiate: a "file:" URI
// whose path is percent-decoded into a local path.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fmi {

// Room for the decoded path, terminator included.
inline constexpr std::size_t resourcePathSize = 262;

// The decoded path of the most recent fmi2Instantiate, shared by every instance in the process.
extern char resourcePath[resourcePathSize];

enum class LocationDecoding : uint8_t { accepted, malformed, tooLong };

// Decodes `location` into `path`. Refuses a location that is not a "file:" URI with a path or
// that holds a "%" without two hexadecimal digits (malformed), and a well-formed one whose decoded
// path does not fit (tooLong; `decodedLength` then says how many characters it has). Nothing is
// ever written past the buffer; a refused location may leave a partial path.
LocationDecoding decodeResourceLocation(const char* location, char (&path)[resourcePathSize],
                                        std::size_t& decodedLength);

}  // namespace fmi
