#include "runtime/numerics.h"

#include <bit>
#include <cmath>

namespace runtime {

void initializeNonFinites(std::size_t /*realSize*/) {}

// The non-finite values hold from the start, and the NaN rules of the limits.
static_assert(std::bit_cast<uint64_t>(nanValue) == 0xFFF8000000000000u);
static_assert(isNaN(nanValue) && !isInf(nanValue) && isInf(infValue) && isInf(minusInfValue));
static_assert(!isInf(0.0) && !isNaN(0.0));
static_assert(minNaN(nanValue, 1.0) == 1.0 && minNaN(1.0, nanValue) == 1.0);
static_assert(maxNaN(nanValue, 1.0) == 1.0 && maxNaN(1.0, nanValue) == 1.0);
static_assert(isNaN(saturate(nanValue, 0.0, 1.0)) && saturate(2.0, 3.0, 1.0) == 1.0);

double powerSafe(double a, double b) {
  // An exponent of magnitude 1 first, the one the models meet at almost every stage (a saturated
  // torque flow): no other rule applies to it but the NaN base's.
  if (b == 1.0 || b == -1.0) return isNaN(a) ? nanValue : unitPower(a, b);
  if (isNaN(a) || isNaN(b)) return nanValue;
  if (isInf(b)) {
    const double magnitude = std::fabs(a);
    if (magnitude == 1.0) return 1.0;
    if (magnitude > 1.0) return b > 0.0 ? infValue : 0.0;
    return b > 0.0 ? 0.0 : infValue;
  }
  const double absB = std::fabs(b);
  if (absB == 0.0) return 1.0;
  if (b == 2.0) return a * a;
  if (b == 0.5 && a >= 0.0) return std::sqrt(a);
  if (a < 0.0 && b > std::floor(b)) return nanValue;
  return std::pow(a, b);
}

}  // namespace runtime
