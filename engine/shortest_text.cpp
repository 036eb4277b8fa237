#include "engine/shortest_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace master {

namespace {

__extension__ typedef unsigned __int128 Wide;

// A double in [1e-10, 2^53) is m * 2^e with 2^52 <= m < 2^53 and -85 <= e <= 0. Scaled by 10^k,
// k being 16 - floor(log10 v), it is an integer part of 17 digits and a fraction:
// v * 10^k = 4m * 5^k / 2^shift, with 1 <= shift <= 63 and 5^k < 2^64.
constexpr int largestScale = 27;  // 5^27 < 2^63

constexpr std::array<std::uint64_t, largestScale + 1> powersOfFive = [] {
  std::array<std::uint64_t, largestScale + 1> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 5;
  return p;
}();

constexpr std::array<std::uint64_t, 20> powersOfTen = [] {
  std::array<std::uint64_t, 20> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}();

// 10^-11 to 10^16, each the double nearest it (exact from 10^0).
constexpr double powersOfTenAsDoubles[] = {1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2,
                                           1e-1,  1e0,   1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                           1e9,   1e10,  1e11, 1e12, 1e13, 1e14, 1e15, 1e16};

struct Decimal {
  std::uint64_t digits;
  int count;     // of digits
  int exponent;  // the value is digits * 10^exponent
};

// v and the ends of its rounding interval at a scale, each held exactly: the integer parts vr, vp
// (the largest integer still in the interval) and vm (the lower end's), the digit of v removed
// last and whether the digits of v below it are zeros, and whether vm is in the interval and none
// of its digits removed but zeros.
struct Scaled {
  std::uint64_t vr, vp, vm, lastRemoved;
  bool vrExact, vmExact;
  int removed = 0;

  // One digit fewer.
  void removeDigit() {
    vrExact &= lastRemoved == 0;
    lastRemoved = vr % 10;
    vr /= 10;
    vp /= 10;
    vm /= 10;
    ++removed;
  }
  // One digit fewer, if the interval holds such a number.
  bool drop() {
    if (vp / 10 <= vm / 10) return false;
    vmExact &= vm % 10 == 0;
    removeDigit();
    return true;
  }
  // `digits` fewer at once (vm not in the interval): the constant divisors cost a multiplication.
  template <int digits>
  void dropMany() {
    constexpr std::uint64_t unit = powersOfTen[digits], lastUnit = powersOfTen[digits - 1];
    if (vp / unit <= vm / unit) return;
    const std::uint64_t rest = vr % unit;
    vrExact = vrExact && lastRemoved == 0 && rest % lastUnit == 0;
    lastRemoved = rest / lastUnit;
    vr /= unit;
    vp /= unit;
    vm /= unit;
    removed += digits;
  }
  // As few digits as the interval allows: one by one, the usual case being none or one; where
  // more go (a short decimal, a time stamp), in strides of 8, 4, 2 and 1 (the most that may go
  // is found so, as every count below it may go too). While vm is in the interval its zeros go too.
  void dropAll() {
    if (vmExact) {
      while (drop()) {
      }
      while (vmExact && vm % 10 == 0) removeDigit();
    } else if (drop() && drop()) {
      dropMany<8>();
      dropMany<4>();
      dropMany<2>();
      dropMany<1>();
    }
  }
  // The digits that remain, rounded to the nearest (an exact tie to even), up where vr is below
  // the interval.
  std::uint64_t rounded() const {
    const bool tie = vrExact && lastRemoved == 5 && vr % 2 == 0;
    return vr + ((vr == vm && !vmExact) || (lastRemoved >= 5 && !tie));
  }
};

// The shortest decimal that rounds to the positive double of `bits`, the nearest to it where
// several do (an exact tie to an even last digit). False where the value is not in the range
// above.
bool shortestDecimal(std::uint64_t bits, double v, Decimal& out) {
  const int biased = static_cast<int>(bits >> 52);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0) return false;  // zero and subnormals
  const int e = biased - 1075;
  if (e > 0) return false;  // 2^53 and more, infinities, NaN
  const std::uint64_t m = fraction | (std::uint64_t{1} << 52);

  // floor(log10 v): floor((e + 52) * log10 2), exact for these exponents, or one more.
  const int estimate = ((e + 52) * 78913) >> 18;
  if (estimate < -12) return false;
  const int magnitude = estimate + (v >= powersOfTenAsDoubles[static_cast<std::size_t>(estimate + 12)] ? 1 : 0);
  const int k = 16 - magnitude;
  const int shift = 2 - e - k;
  if (k > largestScale || shift < 1 || shift > 63) return false;

  // The interval of the reals that round to v: half a unit in the last place either side, a
  // quarter below a power of two (whose lower neighbour is nearer); its ends belong to v when m is
  // even (ties go to the even neighbour).
  const bool even = (m & 1) == 0;
  const std::uint64_t below = fraction != 0 || biased <= 1 ? 2 : 1;
  // x * unit is x * 5^k * 2^(64 - shift): the integer part of x * 5^k / 2^shift in the high half,
  // its fraction in the low half.
  const Wide unit = Wide{powersOfFive[static_cast<std::size_t>(k)]} << (64 - shift);
  const Wide exact = Wide{4 * m} * unit, upper = exact + 2 * unit, lower = exact - (unit << (below - 1));
  Scaled s;
  s.vr = static_cast<std::uint64_t>(exact >> 64);
  s.vp = static_cast<std::uint64_t>(upper >> 64);
  s.vm = static_cast<std::uint64_t>(lower >> 64);
  // 17 digits, but where the power of ten compared with was not exact (below 1).
  if (s.vr < powersOfTen[16] || s.vp >= powersOfTen[17]) return false;
  if (!even && static_cast<std::uint64_t>(upper) == 0) --s.vp;  // the upper end itself is not v's
  s.vmExact = even && static_cast<std::uint64_t>(lower) == 0;
  // The first digit of v's fraction, as if removed, and whether the rest of it is zeros.
  const Wide tenths = Wide{static_cast<std::uint64_t>(exact)} * 10;
  s.lastRemoved = static_cast<std::uint64_t>(tenths >> 64);
  s.vrExact = static_cast<std::uint64_t>(tenths) == 0;
  s.dropAll();
  out.digits = s.rounded();
  // The rounded digits are within the interval (a number with one digit less is not, so 99.9
  // never rounds up to 100 here): as many as vr has.
  out.count = 17 - s.removed;
  out.exponent = s.removed - k;
  return true;
}

// Eight digits of x < 10^8 at q, in a few multiplications on the digits side by side: x split
// into two groups of four (32 bits each), each into two of two (16 bits), each into two digits (8
// bits), the first in the lowest byte, the first character on a little-endian machine. The
// quotients by 100 and 10 are exact for these ranges: y * 10486 >> 20 for y < 10^4, z * 103 >> 10
// for z < 100.
[[gnu::always_inline]] inline void eightDigits(char* q, std::uint32_t x) {
  static_assert(std::endian::native == std::endian::little);
  const std::uint64_t fours = (x / 10000) | (std::uint64_t{x % 10000} << 32);
  const std::uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007Fu;
  const std::uint64_t twos = hundreds | ((fours - hundreds * 100) << 16);
  const std::uint64_t tens = ((twos * 103) >> 10) & 0x000F000F000F000Fu;
  const std::uint64_t ones = tens | ((twos - tens * 10) << 8);
  const std::uint64_t text = ones + 0x3030303030303030u;
  std::memcpy(q, &text, 8);
}

// The text of d in fixed or scientific notation, whichever is shorter (fixed where both are as
// long), at p; returns its end. Every copy is of a fixed size, within `text` and 38 characters at
// p (a sign before p makes it shortestTextRoom).
char* writeDecimal(char* p, Decimal d) {
  // The digits (at most 17), ending at text + 24, then zeros (the copies below read past them).
  char text[48];
  std::memset(text + 24, '0', 24);
  const std::uint64_t high = d.digits / 100000000;
  eightDigits(text + 16, static_cast<std::uint32_t>(d.digits % 100000000));
  eightDigits(text + 8, static_cast<std::uint32_t>(high % 100000000));
  text[7] = static_cast<char>('0' + high / 100000000);
  const int n = d.count;
  const char* digits = text + 24 - n;

  const int power = n - 1 + d.exponent;  // the exponent of scientific notation
  const int scientificLength = n + (n > 1 ? 1 : 0) + 4;  // "e-05": |power| < 100 here
  const int fixedLength = power < 0 ? n + 1 - power : (power + 1 >= n ? power + 1 : n + 1);
  if (fixedLength <= scientificLength) {
    if (power < 0) {  // 0.000ddd, fewer than 8 zeros
      std::memcpy(p, "0.00000000", 10);
      std::memcpy(p + 1 - power, digits, 20);
    } else if (power + 1 >= n) {  // ddd000
      std::memcpy(p, digits, 20);
      std::memcpy(p + n, "00000000000000000000", 20);
    } else {  // ddd.ddd
      std::memcpy(p, digits, 20);
      p[power + 1] = '.';
      std::memcpy(p + power + 2, digits + power + 1, 20);
    }
    return p + fixedLength;
  }
  p[0] = digits[0];
  p[1] = '.';
  std::memcpy(p + 2, digits + 1, 20);
  char* q = p + (n > 1 ? n + 1 : 1);
  *q++ = 'e';
  *q++ = power < 0 ? '-' : '+';
  const int a = power < 0 ? -power : power;
  *q++ = static_cast<char>('0' + a / 10);
  *q++ = static_cast<char>('0' + a % 10);
  return q;
}

}  // namespace

char* writeShortest(char* p, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  Decimal d;
  if (!shortestDecimal(bits & ~(std::uint64_t{1} << 63), std::fabs(value), d)) {
    return std::to_chars(p, p + shortestTextLength, value).ptr;
  }
  *p = '-';
  return writeDecimal(p + (bits >> 63), d);
}

}  // namespace master
