// The cycle-following check of the test procedures: around the target trace lies a tolerance
// band of +-2 km/h in speed and +-1 s in time (at each time, the highest target within one
// second either side plus 2 km/h, and the lowest minus 2 km/h). Every stretch of time the
// vehicle spends outside it is an excursion.
#pragma once

#include <vector>

namespace report {

struct Excursion {
  double start = 0.0, end = 0.0;  // s
  double worstKmh = 0.0;          // how far outside the band at its worst: + above, - below
  double worstTime = 0.0, targetKmh = 0.0, actualKmh = 0.0;  // at the worst point
};

struct CycleFollowing {
  std::vector<double> lowerKmh, upperKmh;  // the band at every point
  std::vector<Excursion> excursions;       // in time order
  double excursionSeconds = 0.0;
  double worstKmh = 0.0;  // the largest |worstKmh| of all excursions, with its sign
};

CycleFollowing checkCycleFollowing(const std::vector<double>& time, const std::vector<double>& targetKmh,
                                   const std::vector<double>& speedKmh, double toleranceKmh,
                                   double toleranceSeconds);

}  // namespace report
