#include "fmi/identity.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fmi/md5.h"

namespace fmi {

namespace {

// 2412 plus the characters of the text as signed bytes, wrapping in 32 bits.
uint32_t charSum(const char* text) {
  uint32_t sum = 2412u;
  if (text == nullptr) return sum;
  for (const char* c = text; *c != '\0'; ++c) {
    sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*c)));
  }
  return sum;
}

class TextBuilder {
 public:
  explicit TextBuilder(char (&buffer)[identityTextSize]) : buffer_(buffer) { buffer_[0] = '\0'; }

  void number(uint32_t value) { append("%u", static_cast<unsigned>(value)); }
  void field(const char* text) { append("%s.100", text != nullptr ? text : ""); }
  std::size_t length() const { return length_; }

 private:
  template <class... Args>
  void append(const char* format, Args... args) {
    const std::size_t room = identityTextSize - length_;
    const int written = std::snprintf(buffer_ + length_, room, format, args...);
    if (written < 0) return;
    const std::size_t n = static_cast<std::size_t>(written);
    length_ += n < room ? n : room - 1;
  }

  char* buffer_;
  std::size_t length_ = 0;
};

}  // namespace

std::size_t buildIdentityText(const runtime::ModelInfo& info, char (&text)[identityTextSize]) {
  const uint32_t a = static_cast<uint32_t>(info.identityCountA);
  const uint32_t b = static_cast<uint32_t>(info.numInputs);
  const uint32_t c = static_cast<uint32_t>(info.numOutputs);
  const uint32_t d = static_cast<uint32_t>(info.numSampleTimes);
  const uint32_t e = static_cast<uint32_t>(info.identityCountB);
  const uint32_t f = static_cast<uint32_t>(info.numContinuousStates);
  const uint32_t g = static_cast<uint32_t>(static_cast<int64_t>(info.fixedStepSize));
  const uint32_t h = static_cast<uint32_t>(static_cast<uint64_t>(info.identityCountC));
  const uint32_t s0 = charSum(info.modelName);
  const uint32_t s1 = charSum(info.generatorVersion);
  const uint32_t s2 = charSum(info.modelVersion);
  const uint32_t s3 = charSum(info.generationDate);

  TextBuilder t(text);
  t.number(f * f * f + h + d + 12u);
  t.field(info.generationDate);
  t.number(s0 + 9u * b);
  t.field(info.modelName);
  t.number(f * (d * c + 1u));
  t.number(s1 + (s1 + 6u) * (s1 + 1u));
  t.field(info.generatorVersion);
  t.number(a + (a * b + 3u) * e);
  t.number(s0 + s2 + s3);
  t.field(info.modelVersion);
  t.number(g + s0 * (g + 1u));
  t.field(info.generationDate);
  t.number(b * b + 4u * a);
  t.number(h * h + c + 9034u);
  return t.length();
}

void identityString(const runtime::ModelInfo& info, char (&out)[identityStringSize]) {
  char text[identityTextSize];
  const std::size_t length = buildIdentityText(info, text);
  char hex[33];
  md5Hex(text, length, hex);
  std::memcpy(out, hex, sizeof hex);
}

bool identityMatches(const runtime::ModelInfo& info, const char* guid) {
  if (guid == nullptr) return false;
  char expected[identityStringSize];
  identityString(info, expected);
  return std::strcmp(expected, guid) == 0;
}

}  // namespace fmi
