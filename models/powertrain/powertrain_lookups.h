// The powertrain's own variations of the runtime's numeric routines, and the extents of its two
// maps, which bound what a master may write to the maps' last indices.
#pragma once

#include <cstddef>
#include <cstdint>

#include <cmath>

#include "models/powertrain/powertrain_records.h"
#include "runtime/numerics.h"
#include "runtime/step_memo.h"

namespace powertrain {

// The routines below are inline, as the runtime's lookups are: they run at every stage.

// The interval of the 1-D lookup below: index 0 at fraction 0.0 at and below the first
// breakpoint; index maxIndex - 1 at fraction 1.0 at and above the last one and for a NaN input;
// strictly inside the range whatever `inside()` gives, which must be the extrapolating search of u
// on these breakpoints (inside the range that search is the plain bisection). A caller that has
// made that search on breakpoints of the same bits hands it in instead of searching again.
template <class Inside>
runtime::Interval clipLastSegmentInterval(double u, const double* bp, uint32_t maxIndex,
                                          Inside&& inside) {
  if (bp[0] >= u) return {0, 0.0};
  if (bp[maxIndex] > u) return inside();
  return {maxIndex - 1, 1.0};
}

// 1-D lookup that clips below the first breakpoint and, at and above the last one (or for a NaN
// input), evaluates the last segment at fraction 1.0 instead of reading the last value.
inline double lookupClipLastSegment(double u, const double* bp, const double* table,
                                    uint32_t maxIndex) {
  const runtime::Interval s = clipLastSegmentInterval(u, bp, maxIndex, [&] {
    runtime::Interval inside;
    inside.index = runtime::findIntervalExtrap(u, bp, maxIndex, &inside.fraction);
    return inside;
  });
  return runtime::interpolate1D(table, s.index, s.fraction);
}

// Power with a sign: a negative base with a fractional exponent gives the negated power of the
// magnitude instead of NaN.
inline double signedPower(double a, double b) {
  if (0.0 > a && b > std::floor(b)) return -runtime::powerSafe(-a, b);
  return runtime::powerSafe(a, b);
}

// How a 2-D map lookup reads its map, given the pair of last indices it is called with.
struct MapExtent {
  uint32_t (ModelParameters::*maxIndex)[2];
  std::size_t breakpoints[2];  // breakpoints along each axis
  std::size_t values;          // elements of the map
  std::size_t stride;          // elements per step along the second axis
  // The extrapolating search works on the segment below the last index, so that index must be
  // at least 1; the clipping search also works with a single breakpoint.
  uint32_t smallestMaxIndex;
};

inline constexpr MapExtent torqueMapExtent{&ModelParameters::torqueMapMaxIndex,
                                            {torqueMapThrottleCount, torqueMapSpeedCount},
                                            torqueMapSize,
                                            torqueMapStride,
                                            0};
inline constexpr MapExtent fuelMapExtent{&ModelParameters::fuelMapMaxIndex,
                                         {fuelMapTorqueCount, fuelMapSpeedCount},
                                         fuelMapSize,
                                         fuelMapStride,
                                         1};

// The largest last index a map axis has breakpoints for.
constexpr uint32_t largestMaxIndex(const MapExtent& map, int axis) {
  return static_cast<uint32_t>(map.breakpoints[axis] - 1);
}

// Why a lookup with the last indices (i0, i1) would read outside the map, or null when it stays
// inside it.
const char* mapIndexError(const MapExtent& map, uint32_t i0, uint32_t i1);

}  // namespace powertrain
