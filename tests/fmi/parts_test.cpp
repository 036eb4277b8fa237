// The layer's self-contained parts: the MD5 digest, the identity text, the decoding of the
// resource location, and the logging context.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fmi/identity.h"
#include "fmi/instance_logger.h"
#include "fmi/md5.h"
#include "fmi/resource_location.h"

namespace {

std::string md5Of(const std::string& text) {
  char hex[33];
  fmi::md5Hex(text.data(), text.size(), hex);
  return hex;
}

TEST(Md5, Rfc1321TestSuite) {
  EXPECT_EQ(md5Of(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5Of("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5Of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5Of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(md5Of("1234567890123456789012345678901234567890123456789012345678901234567890123456789"
                  "0"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Identity, WorkedExampleText) {
  const runtime::ModelInfo info = {"M", "G", "V", "D", 1, 1, 1, 2, 0, 1, 0.0025, 1};
  char text[fmi::identityTextSize];
  const std::size_t length = fmi::buildIdentityText(info, text);
  EXPECT_STREQ(text, "16D.1002498M.10036185159G.10017467V.1002489D.10059036");
  EXPECT_EQ(length, 53u);

  char guid[fmi::identityStringSize];
  fmi::identityString(info, guid);
  EXPECT_EQ(std::string(guid), md5Of(text));
  EXPECT_TRUE(fmi::identityMatches(info, guid));
  std::string upper = guid;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_FALSE(fmi::identityMatches(info, upper.c_str()));
  EXPECT_FALSE(fmi::identityMatches(info, (std::string(guid) + " ").c_str()));
  EXPECT_FALSE(fmi::identityMatches(info, nullptr));
}

// The decoded path, or "<refused>".
std::string decode(const std::string& location) {
  char path[fmi::resourcePathSize];
  std::size_t length = 0;
  return fmi::decodeResourceLocation(location.c_str(), path, length) ==
                 fmi::LocationDecoding::accepted
             ? std::string(path)
             : "<refused>";
}

TEST(ResourceLocation, DecodesFileUris) {
  EXPECT_EQ(decode("file:///E:/sim/unit/resources"), "E:/sim/unit/resources");
  EXPECT_EQ(decode("file:/E:/sim/unit/resources/"), "E:/sim/unit/resources");
  EXPECT_EQ(decode("file:///E:/my%20dir/resources"), "E:/my dir/resources");
  EXPECT_EQ(decode("file:///opt/unit/resources"), "opt/unit/resources");
  EXPECT_EQ(decode("file:///E:/x%2F"), "E:/x");
  EXPECT_EQ(decode("file:///E:/x%2f%41"), "E:/x/A");
  EXPECT_EQ(decode("file:\\C:\\units\\"), "C:\\units");
  EXPECT_EQ(decode("file:///a"), "a");
}

TEST(ResourceLocation, RefusesMalformedLocations) {
  for (const char* location : {"file://E:/x", "FILE:///E:/x", "file:///E:/x%2", "file:///E:/x%zz",
                               "file:///E:/x%", "file:///", "file:", "http:///x", ""}) {
    EXPECT_EQ(decode(location), "<refused>") << location;
  }
}

TEST(ResourceLocation, PathMustFitItsBufferWithoutOverflow) {
  const std::size_t longest = fmi::resourcePathSize - 1;
  EXPECT_EQ(decode("file:///" + std::string(longest, 'p')), std::string(longest, 'p'));
  EXPECT_EQ(decode("file:///" + std::string(longest, 'p') + "/"), std::string(longest, 'p'));
  EXPECT_EQ(decode("file:///" + std::string(longest + 1, 'p')), "<refused>");
  EXPECT_EQ(decode("file:///" + std::string(longest, 'p') + "%41"), "<refused>");
  EXPECT_EQ(decode("file:///" + std::string(5000, 'p')), "<refused>");

  // The process-wide buffer is surrounded by guards here: nothing is written past its end.
  struct Guarded {
    char before[16];
    char path[fmi::resourcePathSize];
    char after[16];
  } g;
  std::memset(&g, 'g', sizeof g);
  std::size_t length = 0;
  EXPECT_EQ(fmi::decodeResourceLocation(("file:///" + std::string(300, 'p') + "%2F").c_str(),
                                        g.path, length),
            fmi::LocationDecoding::tooLong);
  EXPECT_EQ(length, 300u);
  // A malformed location stays malformed, however long.
  EXPECT_EQ(fmi::decodeResourceLocation(("file:///" + std::string(300, 'p') + "%2").c_str(), g.path,
                                        length),
            fmi::LocationDecoding::malformed);
  EXPECT_EQ(std::string(g.after, sizeof g.after), std::string(16, 'g'));
  EXPECT_EQ(std::string(g.before, sizeof g.before), std::string(16, 'g'));
}

std::vector<std::string> delivered;

void collect(fmi2ComponentEnvironment, fmi2String, fmi2Status, fmi2String, fmi2String message,
             ...) {
  delivered.push_back(message);
}

TEST(InstanceLogger, KeepsTheWorstStatusAndCutsLongMessages) {
  const fmi2CallbackFunctions functions = {&collect, nullptr, nullptr, nullptr, nullptr};
  fmi::InstanceLogger* log = fmi::createInstanceLogger("name", functions, fmi2False);
  ASSERT_NE(log, nullptr);
  delivered.clear();
  fmi::reportStatus(*log, fmi2Error, "dropped");
  fmi::reportStatus(*log, fmi2Warning, "dropped");
  EXPECT_TRUE(delivered.empty());
  EXPECT_EQ(fmi::takeStatus(*log), fmi2Error);
  EXPECT_EQ(fmi::takeStatus(*log), fmi2OK);

  log->loggingOn = 1;
  const std::string longText(6000, 'x');
  fmi::reportStatus(*log, fmi2OK, "%s", longText.c_str());
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0], std::string(fmi::messageBufferSize - 1, 'x'));

  log->worstStatus = 9;
  EXPECT_EQ(fmi::takeStatus(*log), fmi2Fatal);
  fmi::releaseInstanceLogger(log);
}

}  // namespace
