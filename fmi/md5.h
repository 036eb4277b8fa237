// MD5 message digest (RFC 1321), for the unit's identity string.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fmi {

// The 16-byte digest of `size` bytes at `data`.
void md5(const void* data, std::size_t size, uint8_t digest[16]);

// The digest as 32 lowercase hexadecimal digits and a terminator.
void md5Hex(const void* data, std::size_t size, char hex[33]);

}  // namespace fmi
