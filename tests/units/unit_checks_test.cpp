// Checks that apply to every unit this build produces.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/shared_files.h"
#include "tests/support/unit_library.h"
#include "units_under_test.h"

// Test names and messages show the unit by its name.
void PrintTo(const UnitFiles& unit, std::ostream* os) { *os << unit.name; }

namespace {

// The standard output of a shell command, and whether it exited with 0.
struct CommandResult {
  std::string output;
  bool succeeded;
};

CommandResult run(const std::string& command) {
  CommandResult result{"", false};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  result.succeeded = pclose(pipe) == 0;
  return result;
}

bool programFound(const std::string& path) {
  return !path.empty() && path.find("NOTFOUND") == std::string::npos;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class UnitChecks : public ::testing::TestWithParam<UnitFiles> {};

TEST_P(UnitChecks, ExportsExactlyTheFmiFunctions) {
  const CommandResult nm =
      run(std::string(NM_PROGRAM) + " -D --defined-only " + GetParam().library);
  ASSERT_TRUE(nm.succeeded) << nm.output;
  std::set<std::string> exported;
  std::istringstream lines(nm.output);
  std::string address, type, name;
  while (lines >> address >> type >> name) {
    EXPECT_EQ(type, "T") << name;
    exported.insert(name);
  }
  std::set<std::string> expected;
#define UNIT_CHECKS_NAME(function) expected.insert(#function);
  FMI2_FUNCTION_NAMES(UNIT_CHECKS_NAME)
#undef UNIT_CHECKS_NAME
  EXPECT_EQ(expected.size(), 34u);
  EXPECT_EQ(exported, expected);
}

// The library loads on glibc 2.17 and later: no symbol it takes from the C library needs a newer
// version.
TEST_P(UnitChecks, NeedsNoCLibraryNewerThan2_17) {
  const CommandResult objdump = run(std::string(OBJDUMP_PROGRAM) + " -T " + GetParam().library);
  ASSERT_TRUE(objdump.succeeded) << objdump.output;
  const std::regex version("GLIBC_([0-9]+)\\.([0-9]+)[.0-9]*\\)?\\s+(\\S+)");
  int versioned = 0;
  for (auto it = std::sregex_iterator(objdump.output.begin(), objdump.output.end(), version);
       it != std::sregex_iterator(); ++it) {
    ++versioned;
    const int major = std::stoi((*it)[1]);
    const int minor = std::stoi((*it)[2]);
    EXPECT_TRUE(major < 2 || (major == 2 && minor <= 17)) << (*it)[3] << " needs " << (*it)[0];
  }
  EXPECT_GT(versioned, 0) << "no versioned C library symbol found in:\n" << objdump.output;
}

TEST_P(UnitChecks, ModelDescriptionMatchesTheSchema) {
  const std::string schema = test_support::sharedFile("fmi2-schema/fmi2ModelDescription.xsd");
  SKIP_WITHOUT_SHARED_FILE(schema);
  ASSERT_TRUE(programFound(XMLLINT_PROGRAM)) << "xmllint not found (Debian package libxml2-utils)";
  const CommandResult lint = run(std::string(XMLLINT_PROGRAM) + " --noout --schema " + schema +
                                 " " + GetParam().description + " 2>&1");
  EXPECT_TRUE(lint.succeeded) << lint.output;
}

TEST_P(UnitChecks, FmuHoldsTheDescriptionAndTheLibrary) {
  ASSERT_TRUE(programFound(UNZIP_PROGRAM)) << "unzip not found";
  const std::string fmu = GetParam().fmu;
  const CommandResult listing = run(std::string(UNZIP_PROGRAM) + " -Z1 " + fmu);
  ASSERT_TRUE(listing.succeeded) << listing.output;
  std::set<std::string> entries;
  std::istringstream lines(listing.output);
  for (std::string line; std::getline(lines, line);) entries.insert(line);
  const std::string binary = std::string("binaries/linux64/") + GetParam().name + ".so";
  EXPECT_EQ(entries.count("modelDescription.xml"), 1u);
  ASSERT_EQ(entries.count(binary), 1u);

  // The packed files are the built ones.
  const CommandResult packed = run(std::string(UNZIP_PROGRAM) + " -p " + fmu + " " + binary);
  EXPECT_TRUE(packed.output == readFile(GetParam().library)) << "packed library differs";
  const CommandResult description =
      run(std::string(UNZIP_PROGRAM) + " -p " + fmu + " modelDescription.xml");
  EXPECT_TRUE(description.output == readFile(GetParam().description)) << "packed description differs";
}

TEST_P(UnitChecks, AcceptsItsGuidOnly) {
  test_support::UnitLibrary library(GetParam().library);
  const std::string guid = test_support::readGuid(GetParam().description);
  ASSERT_EQ(guid.size(), 32u);
  EXPECT_NO_THROW(test_support::UnitInstance(library, guid, true));

  std::string upper = guid;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_NE(upper, guid);
  test_support::MessageLog log;
  const fmi2CallbackFunctions callbacks{test_support::recordingLogger, nullptr, nullptr, nullptr,
                                        &log};
  EXPECT_EQ(library.fmi2Instantiate("unit", fmi2CoSimulation, upper.c_str(), "file:///r",
                                    &callbacks, fmi2False, fmi2True),
            nullptr);
  EXPECT_TRUE(log.contains("GUID mismatch '" + upper + "'"));
}

TEST_P(UnitChecks, RefusesTheRealReferenceAfterItsLast) {
  const std::string xml = readFile(GetParam().description);
  const std::regex realVariable("<ScalarVariable[^>]*valueReference=\"([0-9]+)\"[^>]*>\\s*<Real");
  long last = -1;
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), realVariable);
       it != std::sregex_iterator(); ++it) {
    last = std::max(last, std::stol((*it)[1]));
  }
  ASSERT_GE(last, 0);

  test_support::UnitLibrary library(GetParam().library);
  test_support::UnitInstance unit(library, test_support::readGuid(GetParam().description));
  const fmi2ValueReference vr[] = {static_cast<fmi2ValueReference>(last),
                                   static_cast<fmi2ValueReference>(last + 1)};
  double values[2] = {0.0, 0.0};
  EXPECT_EQ(library.fmi2GetReal(unit.component(), vr, 1, values), fmi2OK);
  EXPECT_EQ(library.fmi2GetReal(unit.component(), vr, 2, values), fmi2Error);
  EXPECT_EQ(library.fmi2SetReal(unit.component(), vr + 1, 1, values), fmi2Error);
  const std::string count = std::to_string(last + 1);
  EXPECT_TRUE(unit.log().contains("Value reference " + count +
                                  " is not a valid Real variable of this FMU (it has " + count + ")"));
}

INSTANTIATE_TEST_SUITE_P(Units, UnitChecks, ::testing::ValuesIn(unitsUnderTest),
                         [](const ::testing::TestParamInfo<UnitFiles>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
