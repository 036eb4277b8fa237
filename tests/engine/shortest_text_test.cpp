// The results' number text must be std::to_chars's to the character: compared over the values a
// results file holds (every class of double, short decimals and their neighbours, powers of two,
// counters and time stamps) rather than restating the digit loop.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/shortest_text.h"

namespace {

std::string ours(double v) {
  char text[master::shortestTextRoom];
  return std::string(text, master::writeShortest(text, v));
}

std::string theirs(double v) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// The count of values whose text differs, the first few printed.
int differences(const std::vector<double>& values) {
  int count = 0;
  for (double v : values) {
    if (ours(v) == theirs(v)) continue;
    if (++count <= 5) ADD_FAILURE() << std::bit_cast<std::uint64_t>(v) << ": " << ours(v) << " instead of " << theirs(v);
  }
  return count;
}

TEST(ShortestText, WritesWhatToCharsWrites) {
  std::mt19937_64 random(20261209);
  std::vector<double> values = {0.0, -0.0, 1e-10, 9.999999999999999e-11, 9007199254740991.0, 9007199254740992.0,
                                5e-324, 1e300, HUGE_VAL, -HUGE_VAL, 0.1, 0.3, 1.0 / 3.0, 123456.0, 100000.0, 1e16};
  const std::uint64_t low = std::bit_cast<std::uint64_t>(1e-12), high = std::bit_cast<std::uint64_t>(1e17);
  for (int i = 0; i < 150000; ++i) {
    values.push_back(std::bit_cast<double>(low + random() % (high - low)));  // the range formed here
    values.push_back(std::bit_cast<double>(random()));                      // any double at all
    // A decimal of 1 to 17 digits, as a setting or a table would give it, and its neighbours.
    const int digits = 1 + static_cast<int>(random() % 17);
    char text[48];
    std::snprintf(text, sizeof text, "%llue%d",
                  static_cast<unsigned long long>(random() % static_cast<std::uint64_t>(std::pow(10.0, digits))),
                  static_cast<int>(random() % 40) - 28);
    const double decimal = std::strtod(text, nullptr);
    values.insert(values.end(), {decimal, -decimal, std::nextafter(decimal, 0.0), std::nextafter(decimal, 1e300)});
    // Large values with a few bits of fraction, where an interval holds many short decimals.
    values.push_back(std::ldexp(static_cast<double>((random() >> 11) | (std::uint64_t{1} << 52)),
                                -static_cast<int>(random() % 14)));
    values.insert(values.end(), {i * 0.01, i * 0.0025, i / 1024.0, static_cast<double>(i)});
  }
  for (int e = -40; e <= 60; ++e) {
    const double power = std::ldexp(1.0, e);  // its lower neighbour is nearer than the upper
    values.insert(values.end(), {power, std::nextafter(power, 0.0), std::nextafter(power, 1e300)});
  }
  EXPECT_EQ(differences(values), 0) << "of " << values.size();
}

}  // namespace
