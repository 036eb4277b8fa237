#include "models/powertrain/powertrain_lookups.h"

#include <cmath>

#include "runtime/numerics.h"

namespace powertrain {

double lookupClipLastSegment(double u, const double* bp, const double* table, uint32_t maxIndex) {
  uint32_t k;
  double f;
  if (bp[0] >= u) {
    k = 0;
    f = 0.0;
  } else if (bp[maxIndex] > u) {
    // Strictly inside the range the extrapolating search is the plain bisection.
    k = runtime::findIntervalExtrap(u, bp, maxIndex, &f);
  } else {
    k = maxIndex - 1;
    f = 1.0;
  }
  return (table[k + 1] - table[k]) * f + table[k];
}

double signedPower(double a, double b) {
  if (0.0 > a && b > std::floor(b)) return -runtime::powerSafe(-a, b);
  return runtime::powerSafe(a, b);
}

const char* mapIndexError(const MapExtent& map, uint32_t i0, uint32_t i1) {
  if (i0 < map.smallestMaxIndex || i1 < map.smallestMaxIndex) {
    return "the map lookup extrapolates from the segment below the last index, which must be at "
           "least 1";
  }
  if (i0 > largestMaxIndex(map, 0) || i1 > largestMaxIndex(map, 1)) {
    return "the last index lies beyond the map's breakpoints";
  }
  // Both searches end at most at the last indices and read one element further along each axis
  // only below them, so the element at (i0, i1) is the farthest one read.
  const uint64_t farthest = uint64_t{i0} + uint64_t{i1} * map.stride;
  if (farthest >= map.values) return "the map lookup would read past the end of the map";
  return nullptr;
}

}  // namespace powertrain
