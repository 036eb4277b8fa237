// A remembered result of a pure routine of one double input, for the integrator's stages.
//
// Within one integration step nothing but the states changes: no parameter or input is written
// between the step's first stage and its last. A lookup whose input is a held value, a parameter
// or an external input therefore gets the same input at every stage and gives the same bits; a
// model keeps its first stage's result and hands it to the later stages. The memo is keyed on the
// exact bits of the input (a different input, a NaN of other bits or a zero of the other sign is
// looked up afresh), and a model forgets it at every major step, so that a parameter written
// between two steps is always seen.
#pragma once

#include <bit>
#include <cstdint>

namespace runtime {

template <class V>
struct StepMemo {
  uint64_t key;
  V value;
  bool filled;

  void forget() { filled = false; }

  // The result of compute() for input u: remembered if u has the bits of the last input since the
  // memo was last forgotten, else computed and remembered.
  template <class F>
  const V& recall(double u, F&& compute) {
    const uint64_t k = std::bit_cast<uint64_t>(u);
    if (!(filled && key == k)) {
      value = compute();
      key = k;
      filled = true;
    }
    return value;
  }

  // The same for a result of the parameters alone, which no input keys: computed at the first
  // call since the memo was last forgotten.
  template <class F>
  const V& recall(F&& compute) {
    return recall(0.0, static_cast<F&&>(compute));
  }
};

// The interval of a search and its fraction, as one remembered value.
struct Interval {
  uint32_t index;
  double fraction;
};

}  // namespace runtime
