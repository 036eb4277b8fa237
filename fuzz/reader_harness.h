// What the harnesses of the engine's readers share: the fuzzer's bytes as a text, and the one
// way a reader may refuse it. A reader reports bad input with MasterError; any other exception
// escapes the harness, and libFuzzer counts it as a crash, as it does a sanitizer report or a
// broken promise (FUZZ_EXPECT).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/error.h"

namespace fuzz {

[[noreturn]] inline void readerBroke(const char* what, const char* file, int line) {
  std::fprintf(stderr, "reader broke a promise (%s:%d): %s\n", file, line, what);
  std::abort();
}
#define FUZZ_EXPECT(condition) ((condition) ? (void)0 : ::fuzz::readerBroke(#condition, __FILE__, __LINE__))

inline std::string_view text(const uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Runs `read`; a MasterError is a refusal, which must say something.
template <typename Read>
void refusalsOnly(Read read) {
  try {
    read();
  } catch (const master::MasterError& e) {
    FUZZ_EXPECT(e.what()[0] != '\0');
  }
}

}  // namespace fuzz
