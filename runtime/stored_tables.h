// Compile-time helpers for a model's stored parameter defaults: copying a table into its
// record field, with the length checked by the types, and checking a breakpoint axis.
#pragma once

#include <cstddef>

namespace runtime {

template <class T, std::size_t N>
constexpr void fillTable(T (&field)[N], const T (&values)[N]) {
  for (std::size_t i = 0; i < N; ++i) field[i] = values[i];
}

template <std::size_t N>
constexpr bool strictlyIncreasing(const double (&axis)[N]) {
  for (std::size_t i = 1; i < N; ++i) {
    if (!(axis[i - 1] < axis[i])) return false;
  }
  return true;
}

}  // namespace runtime
