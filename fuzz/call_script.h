// The byte format of a fuzzing input: a sequence of FMI calls, each an operation byte followed
// by its arguments. The harness decodes it (unit_harness.cpp) and the seed writer encodes the
// seed corpus with the same definitions (seed_corpus.cpp), so every byte string is a valid
// script and the seeds mean what they say.
//
// Arguments are chosen through selector bytes, so that most bytes give meaningful values and a
// few give hostile ones:
//   slot       byte % slotCount: which of the harness's instance slots the call concerns
//   real       selector byte: specialReals[s], or s == rawReal: 8 raw bytes (any bit pattern),
//              or else (s - numSpecialReals) fixed steps of 0.0025 s
//   reference  selector byte: see ReferenceKind; a valid one is taken modulo the count of the
//              call's type, so it is valid for every unit
//   count      selector byte: see CountKind
//   text       length byte then that many bytes (cut at the first zero byte)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace fuzz {

inline constexpr int slotCount = 4;
inline constexpr double fixedStep = 0.0025;

enum class Op : uint8_t {
  instantiate,
  freeInstance,
  setup,
  enterInitialization,
  exitInitialization,
  terminate,
  reset,
  doStep,
  setReal,
  getReal,
  setInteger,
  getInteger,
  setBoolean,
  getBoolean,
  setString,
  getString,
  refusal,          // one of the state, derivative, cancel and status refusals
  setDebugLogging,
  inputDerivatives,
  outputDerivatives,
  info,             // fmi2GetTypesPlatform and fmi2GetVersion
  count
};

inline constexpr double infinity = std::numeric_limits<double>::infinity();

inline constexpr double specialReals[] = {
    0.0,      -0.0,   1.0,     -1.0,    fixedStep, 0.01,    0.001,   -fixedStep,
    std::numeric_limits<double>::quiet_NaN(),      infinity, -infinity,
    1e300,    -1e300, 1e-300,  std::numeric_limits<double>::denorm_min(),
    std::numeric_limits<double>::max(),            std::numeric_limits<double>::lowest(),
    250000.0, 250000.0025,     249999.9975,        1e8,     1e17,    0.5,     100.0};
inline constexpr uint8_t numSpecialReals = sizeof specialReals / sizeof specialReals[0];
inline constexpr uint8_t rawReal = 0xFF;

// Indices into specialReals used by the seed writer.
enum SpecialReal : uint8_t {
  realZero = 0,
  realMinusZero = 1,
  realOne = 2,
  realMinusOne = 3,
  realFixedStep = 4,
  realCentisecond = 5,
  realMillisecond = 6,
  realMinusFixedStep = 7,
  realNaN = 8,
  realInfinity = 9,
  realMinusInfinity = 10,
  realHuge = 11,
  realMinusHuge = 12,
  realTiny = 13,
  realDenormal = 14,
  realMax = 15,
  realLowest = 16,
  realStepLimit = 17,       // 10^8 fixed steps
  realAboveStepLimit = 18,  // one fixed step more
  realBelowStepLimit = 19,
  realHundredMillion = 20,
  realVeryLarge = 21,
  realHalf = 22,
  realHundred = 23,
};

// How the communication point of a doStep is chosen (selector byte % 4).
enum class PointKind : uint8_t {
  current,  // where the harness's master stands: the end of its last accepted interval
  zero,
  any,      // a real as above
  offset,   // the current point plus a real (a master that skips ahead or goes back)
};

// How one value reference is chosen (selector byte; kinds by s % 8, index by s / 8).
enum class ReferenceKind : uint8_t {
  first0, first1,  // (s / 8) modulo the count of the type: the first ones (inputs, outputs)
  last,            // (s / 8) from the end: the last parameters
  any0, any1,      // two more bytes modulo the count: any reference of the type
  onePastLast,     // the count of the type
  huge,            // 0xFFFFFFFF
  raw,             // 4 raw bytes
};

// How the count of a variable access is chosen (selector byte % 8).
enum class CountKind : uint8_t {
  none,         // nvr = 0, arrays NULL
  small,        // 1 to 8 (next byte), arrays of that size
  medium,       // 1 to 1024 (next two bytes), arrays of that size
  nullReferences,  // a huge nvr with vr NULL
  nullValues,      // a huge nvr with a one-element vr and value NULL
  one,
  two,
  three,
};

inline constexpr std::size_t hugeCounts[] = {std::size_t{1} << 32, (std::size_t{1} << 32) + 1,
                                             std::numeric_limits<std::size_t>::max(), 5000000};

// Reads a script; past the end every read gives zeros, which decode to harmless calls.
class Reader {
 public:
  Reader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return position_ >= size_; }
  uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  uint16_t u16() {
    const uint16_t low = byte();
    const uint16_t high = byte();
    return static_cast<uint16_t>(low | (high << 8));
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
    return v;
  }
  uint64_t u64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(byte()) << (8 * i);
    return v;
  }
  double real() {
    const uint8_t s = byte();
    if (s < numSpecialReals) return specialReals[s];
    if (s == rawReal) {
      const uint64_t bits = u64();
      double v;
      std::memcpy(&v, &bits, sizeof v);
      return v;
    }
    return static_cast<double>(s - numSpecialReals) * fixedStep;
  }
  std::string text() {
    const uint8_t length = byte();
    std::string s;
    for (uint8_t i = 0; i < length; ++i) s.push_back(static_cast<char>(byte()));
    return s.substr(0, s.find('\0'));
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// Writes a script for the seed corpus.
class Writer {
 public:
  Writer& op(Op o) { return byte(static_cast<uint8_t>(o)); }
  Writer& byte(uint8_t b) {
    bytes_.push_back(b);
    return *this;
  }
  Writer& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) byte(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Writer& special(SpecialReal r) { return byte(r); }
  // k fixed steps, for k up to 255 - numSpecialReals - 1.
  Writer& steps(uint8_t k) { return byte(static_cast<uint8_t>(numSpecialReals + k)); }
  Writer& raw(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    byte(rawReal);
    for (int i = 0; i < 8; ++i) byte(static_cast<uint8_t>(bits >> (8 * i)));
    return *this;
  }
  Writer& valid(uint8_t index) { return byte(static_cast<uint8_t>(index * 8)); }
  Writer& reference(ReferenceKind kind) { return byte(static_cast<uint8_t>(kind)); }
  Writer& text(const std::string& s) {
    byte(static_cast<uint8_t>(s.size()));
    for (char c : s) byte(static_cast<uint8_t>(c));
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// Arguments of an instantiate call, in order of their selector bytes.
enum class GuidKind : uint8_t {  // selector byte: below 200 the unit's own GUID
  null = 200,
  upperCase,
  braces,
  trailing,
  truncated,
  text,  // a text argument follows
};
enum class LocationKind : uint8_t {  // selector byte % 8
  normal,     // file:///tmp/resources
  windows,    // file:/C:/sim/resources/
  null,
  empty,
  tooLong,    // a path longer than the resource buffer
  percent,    // file:///tmp/x%2 (a broken escape)
  noSlash,    // file://host/x
  text,       // a text argument follows
};
enum class NameKind : uint8_t {  // selector byte % 4
  normal,   // "unit<slot>"
  null,
  longName,  // 6000 characters: every message is longer than the message buffer
  text,
};
enum class CallbackKind : uint8_t {  // selector byte % 4; 3 is normal as well
  normal,
  nullFunctions,
  nullLogger,
};

}  // namespace fuzz
