// Numeric block routines shared by the models: table lookups with linear interpolation in one,
// two and three dimensions, a power function with defined results for special operands, the
// infinity and NaN values with their tests, and the NaN-aware limits, saturation and limited
// states that the models' blocks share. All arithmetic is in double precision and keeps the order of operations that the models' results depend on.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace runtime {

// +infinity, -infinity and NaN with the bit pattern 0xFFF8000000000000: constants, valid before
// any instance exists.
inline constexpr double infValue = std::numeric_limits<double>::infinity();
inline constexpr double minusInfValue = -std::numeric_limits<double>::infinity();
inline constexpr double nanValue = std::bit_cast<double>(uint64_t{0xFFF8000000000000u});

// The entry of the table of model operations that once set the non-finite values; they are
// constants now, so it has nothing left to do. The argument (the size of a real) is not used.
void initializeNonFinites(std::size_t realSize);

constexpr bool isNaN(double x) { return x != x; }
constexpr bool isInf(double x) { return x == infValue || x == minusInfValue; }

// Limits with the blocks' NaN rule: the first operand wins when it is strictly smaller (min) or
// larger (max) than the second, or when the second is NaN. So a NaN limit in the second place
// never wins, and a NaN first operand yields the second.
constexpr double minNaN(double a, double b) { return (a < b || isNaN(b)) ? a : b; }
constexpr double maxNaN(double a, double b) { return (a > b || isNaN(b)) ? a : b; }

// Saturation as the blocks apply it: the upper limit is tested first; a NaN input passes.
constexpr double saturate(double u, double lower, double upper) {
  if (u > upper) return upper;
  if (u < lower) return lower;
  return u;
}

// A limited continuous state, clamped in place: the upper limit first; a NaN state stays NaN.
constexpr void limitState(double& state, double lower, double upper) {
  if (state >= upper) {
    state = upper;
  } else if (state <= lower) {
    state = lower;
  }
}

// The derivative of a limited state: u, except 0.0 while the state sits on a limit and u pushes
// it outward.
constexpr double limitedDerivative(double state, double lower, double upper, double u) {
  const bool atLower = state <= lower;
  const bool atUpper = state >= upper;
  if ((!atLower && !atUpper) || (atLower && u > 0.0) || (atUpper && u < 0.0)) return u;
  return 0.0;
}

// The routines below are defined in this header so that each model's calls are compiled with
// their constant table sizes in view; they run many times in every stage of every step.

namespace detail {

// The interval search common to every lookup, for bp[0] < u < bp[m]: halves [lo, hi] until one
// interval is left. Clip and extrapolating searches differ only at the ends of the range; inside
// it they agree. The halving branches on purpose: successive stages of a step mostly land in the
// same interval, so the branches predict well and keep the search off the chain of dependent
// operations that a selection would put it on.
inline uint32_t searchInner(double u, const double* bp, uint32_t m) {
  uint32_t lo = 0;
  uint32_t hi = m;
  uint32_t mid = m >> 1;
  while (hi - lo > 1) {
    if (bp[mid] <= u) {
      lo = mid;
    } else {
      hi = mid;
    }
    mid = (lo + hi) >> 1;
  }
  return lo;
}

inline uint32_t searchClip(double u, const double* bp, uint32_t m, double* fraction) {
  if (u <= bp[0]) {
    *fraction = 0.0;
    return 0;
  }
  if (u >= bp[m] || isNaN(u)) {
    *fraction = 0.0;
    return m;
  }
  const uint32_t i = searchInner(u, bp, m);
  *fraction = (u - bp[i]) / (bp[i + 1] - bp[i]);
  return i;
}

inline uint32_t searchExtrap(double u, const double* bp, uint32_t m, double* fraction) {
  if (u <= bp[0]) {
    *fraction = (u - bp[0]) / (bp[1] - bp[0]);
    return 0;
  }
  if (u >= bp[m] || isNaN(u)) {
    *fraction = (u - bp[m - 1]) / (bp[m] - bp[m - 1]);
    return m - 1;
  }
  const uint32_t i = searchInner(u, bp, m);
  *fraction = (u - bp[i]) / (bp[i + 1] - bp[i]);
  return i;
}

inline double interpolate(const double* t, uint32_t i, double f) { return (t[i + 1] - t[i]) * f + t[i]; }

}  // namespace detail

// 1-D lookups: breakpoints bp[0..maxIndex] strictly increasing, table with one value each.
// Clip holds the end values outside the range (a NaN input gives table[maxIndex]); Extrap extends
// the first or last segment linearly.
inline double lookup1DClip(double u, const double* bp, const double* table, uint32_t maxIndex) {
  double f;
  const uint32_t i = detail::searchClip(u, bp, maxIndex, &f);
  if (i == maxIndex) return table[maxIndex];
  return detail::interpolate(table, i, f);
}

// The value of a 1-D table at index i and fraction f of an interval search: the interpolation of
// the 1-D lookups, for a caller that has the search already.
inline double interpolate1D(const double* table, uint32_t i, double f) {
  return detail::interpolate(table, i, f);
}

inline double lookup1DExtrap(double u, const double* bp, const double* table, uint32_t maxIndex) {
  double f;
  const uint32_t i = detail::searchExtrap(u, bp, maxIndex, &f);
  return interpolate1D(table, i, f);
}

// 2-D lookups over a table with dimension 0 running fastest: element (i0, i1) at i0 + i1 * stride.
// The clipping lookup's interpolation from its two searches (index i0 with fraction f0 along
// dimension 0, i1 with f1 along dimension 1), for a caller that has one of them already.
inline double interpolate2DClip(uint32_t i0, double f0, uint32_t i1, double f1, const double* table,
                                const uint32_t* maxIndex, uint32_t stride) {
  const uint32_t o = i0 + i1 * stride;
  const double y1 = (i0 == maxIndex[0]) ? table[o] : detail::interpolate(table, o, f0);
  if (i1 == maxIndex[1]) return y1;
  const uint32_t o2 = o + stride;
  const double y2 = (i0 == maxIndex[0]) ? table[o2] : detail::interpolate(table, o2, f0);
  return (y2 - y1) * f1 + y1;
}

// The clipping interval search: returns the index (maxIndex at or above the last breakpoint and
// for a NaN input, fraction 0.0 there and below the first), stores the fraction.
inline uint32_t findIntervalClip(double u, const double* bp, uint32_t maxIndex, double* fraction) {
  return detail::searchClip(u, bp, maxIndex, fraction);
}

inline double lookup2DClip(double u0, double u1, const double* bp0, const double* bp1,
                           const double* table, const uint32_t* maxIndex, uint32_t stride) {
  double f0;
  double f1;
  const uint32_t i0 = detail::searchClip(u0, bp0, maxIndex[0], &f0);
  const uint32_t i1 = detail::searchClip(u1, bp1, maxIndex[1], &f1);
  return interpolate2DClip(i0, f0, i1, f1, table, maxIndex, stride);
}

inline double lookup2DExtrap(double u0, double u1, const double* bp0, const double* bp1,
                             const double* table, const uint32_t* maxIndex, uint32_t stride) {
  double f0;
  double f1;
  const uint32_t i0 = detail::searchExtrap(u0, bp0, maxIndex[0], &f0);
  const uint32_t i1 = detail::searchExtrap(u1, bp1, maxIndex[1], &f1);
  const uint32_t o = i0 + i1 * stride;
  const double y1 = detail::interpolate(table, o, f0);
  const double y2 = detail::interpolate(table, o + stride, f0);
  return (y2 - y1) * f1 + y1;
}

// The extrapolating interval search: returns the index, stores the fraction.
inline uint32_t findIntervalExtrap(double u, const double* bp, uint32_t maxIndex, double* fraction) {
  return detail::searchExtrap(u, bp, maxIndex, fraction);
}

// Trilinear interpolation: element (i0, i1, i2) at i0 + i1 * strides[0] + i2 * strides[1].
inline double interpolate3D(const uint32_t* index, const double* fraction, const double* table,
                            const uint32_t* strides) {
  const uint32_t o = index[0] + index[1] * strides[0] + index[2] * strides[1];
  const double f0 = fraction[0];
  const double f1 = fraction[1];
  double d = detail::interpolate(table, o, f0);
  d = (detail::interpolate(table, o + strides[0], f0) - d) * f1 + d;
  double e = detail::interpolate(table, o + strides[1], f0);
  e = (detail::interpolate(table, o + strides[0] + strides[1], f0) - e) * f1 + e;
  return (e - d) * fraction[2] + d;
}

// a to the power b for an exponent of magnitude 1: the base or its reciprocal.
constexpr double unitPower(double a, double b) { return b > 0.0 ? a : 1.0 / a; }

// a to the power b with defined results for NaN, infinite and negative operands. Out of line on
// purpose: inlined into a model (measured, 2026-12-08), it let the compiler order the operands of
// the caller's next product otherwise, and where both are NaN the result carries the other NaN's
// sign bit.
double powerSafe(double a, double b);

}  // namespace runtime
