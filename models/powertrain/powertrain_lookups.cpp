#include "models/powertrain/powertrain_lookups.h"

namespace powertrain {

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
