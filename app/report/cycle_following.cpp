#include "app/report/cycle_following.h"

#include <cmath>
#include <deque>

namespace report {

namespace {

// The extreme (by `better`) of `values` over the times within `halfWidth` of each point.
template <typename Better>
std::vector<double> windowExtreme(const std::vector<double>& time, const std::vector<double>& values,
                                  double halfWidth, Better better) {
  const std::size_t n = time.size();
  std::vector<double> out(n);
  std::deque<std::size_t> candidates;  // indices whose values are ordered by `better`
  std::size_t next = 0;
  for (std::size_t k = 0; k < n; ++k) {
    while (next < n && time[next] <= time[k] + halfWidth + 1e-9) {
      while (!candidates.empty() && !better(values[candidates.back()], values[next])) candidates.pop_back();
      candidates.push_back(next++);
    }
    while (time[candidates.front()] < time[k] - halfWidth - 1e-9) candidates.pop_front();
    out[k] = values[candidates.front()];
  }
  return out;
}

}  // namespace

CycleFollowing checkCycleFollowing(const std::vector<double>& time, const std::vector<double>& target,
                                   const std::vector<double>& speed, double toleranceKmh, double toleranceSeconds) {
  CycleFollowing c;
  const std::size_t n = time.size();
  if (n == 0) return c;
  c.upperKmh = windowExtreme(time, target, toleranceSeconds, [](double a, double b) { return a > b; });
  c.lowerKmh = windowExtreme(time, target, toleranceSeconds, [](double a, double b) { return a < b; });
  for (std::size_t k = 0; k < n; ++k) {
    c.upperKmh[k] += toleranceKmh;
    c.lowerKmh[k] -= toleranceKmh;
  }
  bool outside = false;
  for (std::size_t k = 0; k < n; ++k) {
    double beyond = 0.0;
    if (speed[k] > c.upperKmh[k]) beyond = speed[k] - c.upperKmh[k];
    if (speed[k] < c.lowerKmh[k]) beyond = speed[k] - c.lowerKmh[k];
    if (!std::isfinite(speed[k])) beyond = INFINITY;
    if (beyond != 0.0) {
      if (!outside) c.excursions.push_back({time[k], time[k], 0.0, time[k], target[k], speed[k]});
      outside = true;
      Excursion& e = c.excursions.back();
      if (std::fabs(beyond) > std::fabs(e.worstKmh)) e = {e.start, e.end, beyond, time[k], target[k], speed[k]};
    } else if (outside) {
      outside = false;
      c.excursions.back().end = time[k];
    }
  }
  if (outside) c.excursions.back().end = time[n - 1];
  for (const Excursion& e : c.excursions) {
    c.excursionSeconds += e.end - e.start;
    if (std::fabs(e.worstKmh) > std::fabs(c.worstKmh)) c.worstKmh = e.worstKmh;
  }
  return c;
}

}  // namespace report
