#include "engine/thread_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace master {

double CostSamples::median() {
  if (seconds_.empty()) return 0.0;
  const auto middle = seconds_.begin() + static_cast<std::ptrdiff_t>(seconds_.size() / 2);
  std::nth_element(seconds_.begin(), middle, seconds_.end());
  return *middle;
}

std::vector<unsigned> splitByCost(const std::vector<double>& costs, unsigned shares, double ownLoad, double floating) {
  const std::size_t n = costs.size();
  std::vector<unsigned> best(n, 0), trial(n, 0);
  std::vector<double> load(shares);
  auto stepEnd = [&] {
    const auto [least, largest] = std::minmax_element(load.begin(), load.end());
    return std::max(*largest, *least + floating);
  };
  const double assignments = std::pow(static_cast<double>(shares), static_cast<double>(n));
  if (assignments <= exhaustiveAssignments) {
    double bestEnd = std::numeric_limits<double>::infinity();
    for (auto count = static_cast<long>(assignments); count > 0; --count) {
      std::fill(load.begin(), load.end(), 0.0);
      load[0] = ownLoad;
      for (std::size_t i = 0; i < n; ++i) load[trial[i]] += costs[i];
      const double end = stepEnd();
      if (end < bestEnd) bestEnd = end, best = trial;
      for (std::size_t i = 0; i < n && ++trial[i] == shares; ++i) trial[i] = 0;  // the next assignment
    }
    return best;
  }
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return costs[a] > costs[b]; });
  std::fill(load.begin(), load.end(), 0.0);
  load[0] = ownLoad;
  for (std::size_t i : order) {
    best[i] = static_cast<unsigned>(std::min_element(load.begin(), load.end()) - load.begin());
    load[best[i]] += costs[i];
  }
  return best;
}

bool ThreadChoice::stepDone(std::int64_t k, double seconds) {
  bool measured = false;
  if (measuring_ && k + 1 == measuredSteps) {
    measuring_ = false;
    measured = true;
    parallel_ = true;
  }
  if (timed(k)) (parallel_ ? poolSteps_ : aloneSteps_).add(seconds);
  if (adaptive_ && k + 1 > measuredSteps) {
    const std::int64_t inWindow = k + 1 - windowStart_;
    if (inWindow == trialSteps) {  // the pool's trial is over: now alone
      parallel_ = false;
    } else if (inWindow == 2 * trialSteps) {  // both timed: keep the faster
      parallel_ = poolSteps_.median() < aloneSteps_.median();
      keptSteps_ = parallel_ ? poolKept : aloneKept;
      poolSteps_.clear();
      aloneSteps_.clear();
    } else if (inWindow == 2 * trialSteps + keptSteps_) {  // and try again
      windowStart_ = k + 1;
      parallel_ = true;
    }
  }
  return measured;
}

}  // namespace master
