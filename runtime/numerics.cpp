#include "runtime/numerics.h"

#include <bit>
#include <cmath>
#include <limits>

namespace runtime {

double infValue = 0.0;
double minusInfValue = 0.0;
double nanValue = 0.0;

void initializeNonFinites(std::size_t /*realSize*/) {
  nanValue = std::bit_cast<double>(uint64_t{0xFFF8000000000000u});
  infValue = std::numeric_limits<double>::infinity();
  minusInfValue = -std::numeric_limits<double>::infinity();
}

bool isNaN(double x) { return x != x; }

bool isInf(double x) { return x == infValue || x == minusInfValue; }

namespace {

// The interval search common to every lookup. Clip and extrapolating searches differ only at the
// ends of the range; inside it they agree.
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

}  // namespace

double lookup1DClip(double u, const double* bp, const double* table, uint32_t maxIndex) {
  double f;
  const uint32_t i = searchClip(u, bp, maxIndex, &f);
  if (i == maxIndex) return table[maxIndex];
  return interpolate(table, i, f);
}

double lookup1DExtrap(double u, const double* bp, const double* table, uint32_t maxIndex) {
  double f;
  const uint32_t i = searchExtrap(u, bp, maxIndex, &f);
  return interpolate(table, i, f);
}

double lookup2DClip(double u0, double u1, const double* bp0, const double* bp1, const double* table,
                    const uint32_t* maxIndex, uint32_t stride) {
  double f0;
  double f1;
  const uint32_t i0 = searchClip(u0, bp0, maxIndex[0], &f0);
  const uint32_t i1 = searchClip(u1, bp1, maxIndex[1], &f1);
  const uint32_t o = i0 + i1 * stride;
  const double y1 = (i0 == maxIndex[0]) ? table[o] : interpolate(table, o, f0);
  if (i1 == maxIndex[1]) return y1;
  const uint32_t o2 = o + stride;
  const double y2 = (i0 == maxIndex[0]) ? table[o2] : interpolate(table, o2, f0);
  return (y2 - y1) * f1 + y1;
}

double lookup2DExtrap(double u0, double u1, const double* bp0, const double* bp1,
                      const double* table, const uint32_t* maxIndex, uint32_t stride) {
  double f0;
  double f1;
  const uint32_t i0 = searchExtrap(u0, bp0, maxIndex[0], &f0);
  const uint32_t i1 = searchExtrap(u1, bp1, maxIndex[1], &f1);
  const uint32_t o = i0 + i1 * stride;
  const double y1 = interpolate(table, o, f0);
  const double y2 = interpolate(table, o + stride, f0);
  return (y2 - y1) * f1 + y1;
}

uint32_t findIntervalExtrap(double u, const double* bp, uint32_t maxIndex, double* fraction) {
  return searchExtrap(u, bp, maxIndex, fraction);
}

double interpolate3D(const uint32_t* index, const double* fraction, const double* table,
                     const uint32_t* strides) {
  const uint32_t o = index[0] + index[1] * strides[0] + index[2] * strides[1];
  const double f0 = fraction[0];
  const double f1 = fraction[1];
  double d = interpolate(table, o, f0);
  d = (interpolate(table, o + strides[0], f0) - d) * f1 + d;
  double e = interpolate(table, o + strides[1], f0);
  e = (interpolate(table, o + strides[0] + strides[1], f0) - e) * f1 + e;
  return (e - d) * fraction[2] + d;
}

double powerSafe(double a, double b) {
  if (isNaN(a) || isNaN(b)) return nanValue;
  if (isInf(b)) {
    const double magnitude = std::fabs(a);
    if (magnitude == 1.0) return 1.0;
    if (magnitude > 1.0) return b > 0.0 ? infValue : 0.0;
    return b > 0.0 ? 0.0 : infValue;
  }
  const double absB = std::fabs(b);
  if (absB == 0.0) return 1.0;
  if (absB == 1.0) return b > 0.0 ? a : 1.0 / a;
  if (b == 2.0) return a * a;
  if (b == 0.5 && a >= 0.0) return std::sqrt(a);
  if (a < 0.0 && b > std::floor(b)) return nanValue;
  return std::pow(a, b);
}

}  // namespace runtime
