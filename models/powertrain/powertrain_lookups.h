// The powertrain's own variations of the runtime's numeric routines, and the extents of its two
// maps, which bound what a master may write to the maps' last indices.
#pragma once

#include <cstddef>
#include <cstdint>

#include "models/powertrain/powertrain_records.h"

namespace powertrain {

// 1-D lookup that clips below the first breakpoint and, at and above the last one (or for a NaN
// input), evaluates the last segment at fraction 1.0 instead of reading the last value.
double lookupClipLastSegment(double u, const double* bp, const double* table, uint32_t maxIndex);

// Power with a sign: a negative base with a fractional exponent gives the negated power of the
// magnitude instead of NaN.
double signedPower(double a, double b);

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
