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
