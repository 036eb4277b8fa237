// A digest of every real variable's bits after every fixed step of every built unit, for proving
// that a change meant to make the step faster changes no result bit: build the program before
// and after the change and compare what it prints (scripts/bench digest does both runs).
//
// Per unit it starts from the operating point of the benchmarks and keeps stepping while the
// inputs wander around their operating values; in each episode one input takes an extreme value
// (NaN, an infinity, a signed zero, a huge or a tiny number) for one step, so that the limits,
// the lookups' end segments and the NaN rules are all on the path.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "bench/unit_drivers.h"
#include "bench_units.h"

namespace {

constexpr int episodeSteps = 200;  // the extreme value comes at the middle step

constexpr double extremes[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), 0.0, -0.0, 1e300, -1e300, 1e-300,
                               -5.0};

struct Digest {
  uint64_t h = 1469598103934665603u;
  void add(double v) {
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    for (int b = 0; b < 64; b += 8) {
      h ^= (bits >> b) & 0xFFu;
      h *= 1099511628211u;
    }
  }
};

// One episode per pair of input and extreme value: a fresh instance at the operating point, the
// inputs wandering, and that input at that extreme value for the middle step only.
template <class M>
void digest(const char* unit, const bench::OperatingPoint& point) {
  const uint32_t reals = bench::realCount<M>();
  Digest all;
  for (std::size_t input = 0; input < point.inputs.size(); ++input) {
    for (const double extreme : extremes) {
      bench::DirectModel<M> model;
      bench::reachOperatingPoint<M>(model, point);
      for (int k = 0; k < episodeSteps; ++k) {
        for (std::size_t i = 0; i < point.inputs.size(); ++i) {
          const bench::Setting& s = point.inputs[i];
          double v = s.value * (1.0 + 0.5 * std::sin(0.01 * k + static_cast<double>(i)));
          if (i == input && k == episodeSteps / 2) v = extreme;
          model.setReal(bench::realReference<M>(s.name), v);
        }
        model.step();
        for (uint32_t vr = 0; vr < reals; ++vr) all.add(model.getReal(vr));
      }
    }
  }
  std::printf("%-8s %016llx\n", unit, static_cast<unsigned long long>(all.h));
}

}  // namespace

int main() {
#define BENCH_DIGEST(id, M, point, library, description) digest<M>(#id, point);
  BENCH_FOR_EACH_UNIT(BENCH_DIGEST)
#undef BENCH_DIGEST
  return 0;
}
