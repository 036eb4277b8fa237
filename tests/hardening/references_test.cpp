// Value references outside a unit's map: one past the last of each type, a huge one, and a
// reference of one type used with the calls of another whose array is smaller or absent. Every
// unit refuses the whole call with fmi2Error and moves nothing. (String calls are checked here
// for the units with String variables; the others refuse every String access.) (The real reference one past the
// last is checked for every unit with the unit checks.)
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/hardening/unit_catalogue.h"
#include "tests/support/unit_library.h"

namespace hardening {
namespace {

constexpr fmi2ValueReference hugeReference = std::numeric_limits<fmi2ValueReference>::max();

class References : public ::testing::TestWithParam<UnitFiles> {
 protected:
  References()
      : library(GetParam().library),
        catalogue(readCatalogue(GetParam().description)),
        unit(library, catalogue.guid, true, "instance", true, GetParam().resources) {}

  // Every get and set call of `type` with `bad` after a valid reference (if the type has one):
  // refused, the value array untouched, the valid variable unchanged.
  void expectRefused(const std::string& type, fmi2ValueReference bad) {
    SCOPED_TRACE(type + " reference " + std::to_string(bad));
    fmi2Component c = unit.component();
    const bool hasValid = catalogue.count(type) > 0;
    const fmi2ValueReference vr[2] = {0, bad};
    const fmi2ValueReference* refs = hasValid ? vr : vr + 1;
    const std::size_t n = hasValid ? 2 : 1;
    unit.log().clear();
    if (type == "Real") {
      double values[2] = {-7.5, -7.5};
      EXPECT_EQ(library.fmi2GetReal(c, refs, n, values), fmi2Error);
      EXPECT_EQ(values[0], -7.5);
      EXPECT_EQ(values[1], -7.5);
      const double before = unit.getReal(0);
      const double writes[2] = {before + 1.0, 2.0};
      EXPECT_EQ(library.fmi2SetReal(c, refs, n, writes), fmi2Error);
      EXPECT_EQ(unit.getReal(0), before);
    } else if (type == "String") {
      fmi2String values[2] = {"untouched", "untouched"};
      EXPECT_EQ(library.fmi2GetString(c, refs, n, values), fmi2Error);
      EXPECT_STREQ(values[0], "untouched");
      EXPECT_STREQ(values[1], "untouched");
      const fmi2String writes[2] = {"written", "written"};
      EXPECT_EQ(library.fmi2SetString(c, refs, n, writes), fmi2Error);
      fmi2String first = nullptr;
      ASSERT_EQ(library.fmi2GetString(c, vr, 1, &first), fmi2OK);
      EXPECT_STRNE(first, "written");
    } else {
      fmi2Integer values[2] = {-7, -7};
      const bool integer = type == "Integer";
      EXPECT_EQ(integer ? library.fmi2GetInteger(c, refs, n, values)
                        : library.fmi2GetBoolean(c, refs, n, values),
                fmi2Error);
      EXPECT_EQ(values[0], -7);
      EXPECT_EQ(values[1], -7);
      const fmi2Integer writes[2] = {1, 1};
      if (hasValid) {
        const int before = integer ? unit.getInteger(0) : unit.getBoolean(0);
        EXPECT_EQ(integer ? library.fmi2SetInteger(c, refs, n, writes)
                          : library.fmi2SetBoolean(c, refs, n, writes),
                  fmi2Error);
        EXPECT_EQ(integer ? unit.getInteger(0) : static_cast<int>(unit.getBoolean(0)), before);
      } else {
        EXPECT_EQ(integer ? library.fmi2SetInteger(c, refs, n, writes)
                          : library.fmi2SetBoolean(c, refs, n, writes),
                  fmi2Error);
      }
    }
    const std::string count = std::to_string(catalogue.count(type));
    EXPECT_TRUE(unit.log().contains("Value reference " + std::to_string(bad) + " is not a valid " +
                                    type + " variable of this FMU (it has " + count + ")"));
  }

  test_support::UnitLibrary library;
  Catalogue catalogue;
  test_support::UnitInstance unit;
};

TEST_P(References, OnePastTheLastIntegerBooleanAndStringAreRefused) {
  expectRefused("Integer", catalogue.count("Integer"));
  expectRefused("Boolean", catalogue.count("Boolean"));
  if (catalogue.count("String") > 0) expectRefused("String", catalogue.count("String"));
}

TEST_P(References, HugeReferencesAreRefusedForEveryType) {
  for (const char* type : {"Real", "Integer", "Boolean", "String"}) {
    if (type != std::string("String") || catalogue.count(type) > 0) expectRefused(type, hugeReference);
  }
}

// The master confuses types: the last real reference lies beyond the integer and boolean maps
// of every unit, so the integer and boolean calls refuse it.
TEST_P(References, RealReferencesAreRefusedByTheIntegerAndBooleanCalls) {
  const fmi2ValueReference lastReal = catalogue.count("Real") - 1;
  ASSERT_GE(lastReal, catalogue.count("Integer"));
  ASSERT_GE(lastReal, catalogue.count("Boolean"));
  expectRefused("Integer", lastReal);
  expectRefused("Boolean", lastReal);
}

// Absurd counts with missing arrays are refused before anything is read, and the message
// shows the count the master passed, also beyond 32 bits.
TEST_P(References, HugeCountsWithMissingArraysAreRefused) {
  fmi2Component c = unit.component();
  const std::size_t huge = (std::size_t{1} << 32) + 3;
  const fmi2ValueReference vr = 0;
  unit.log().clear();
  EXPECT_EQ(library.fmi2GetReal(c, nullptr, huge, nullptr), fmi2Error);
  EXPECT_EQ(library.fmi2SetInteger(c, &vr, huge, nullptr), fmi2Error);
  EXPECT_EQ(library.fmi2GetRealOutputDerivatives(c, nullptr, huge, nullptr, nullptr), fmi2Error);
  ASSERT_EQ(unit.log().messages.size(), 3u);
  EXPECT_EQ(unit.log().messages[0].message,
            "ValueReference memory pointer cannot be NULL when the number of values to get are "
            "4294967299");
  EXPECT_EQ(unit.log().messages[1].message,
            "Value memory pointer cannot be NULL when the number of values to set are 4294967299");
  EXPECT_EQ(unit.log().messages[2].message,
            "Value memory pointer cannot be NULL when the number of values to get are 4294967299");
}

// The model description and the map agree: every declared reference is accepted by its type.
TEST_P(References, EveryDeclaredReferenceIsAccepted) {
  for (const Variable& v : catalogue.variables) {
    SCOPED_TRACE(v.name);
    fmi2Integer integer = 0;
    double real = 0.0;
    if (v.type == "Real") {
      EXPECT_EQ(library.fmi2GetReal(unit.component(), &v.vr, 1, &real), fmi2OK);
    } else if (v.type == "Integer") {
      EXPECT_EQ(library.fmi2GetInteger(unit.component(), &v.vr, 1, &integer), fmi2OK);
    } else if (v.type == "Boolean") {
      EXPECT_EQ(library.fmi2GetBoolean(unit.component(), &v.vr, 1, &integer), fmi2OK);
    } else {
      fmi2String text = nullptr;
      EXPECT_EQ(library.fmi2GetString(unit.component(), &v.vr, 1, &text), fmi2OK);
    }
  }
}

// A set call with one integer value that the unit refuses (a map index or stride that would let
// a lookup leave its table) writes none of its values, also those before the refused one, and
// names the first refused element. Per unit with such parameters: a call whose other values are
// each accepted.
struct RefusedIntegerCall {
  const char* unit;
  std::vector<fmi2ValueReference> vr;
  std::vector<fmi2Integer> values;
  std::size_t refused;  // the element the message names
  const char* reason = nullptr;  // the reason the message ends with, where the model names it
};

const RefusedIntegerCall refusedIntegerCalls[] = {
    {"KADMIR", {0, 1, 3, 2}, {1, 3, 8, 0}, 2},   // torque map: 8 speed breakpoints
    {"Driver", {1, 0, 2}, {3, 49, 2}, 1},        // pedal map: 49 torque breakpoints
    {"ZORVEL", {0, 1, 2}, {-5, 58, 0}, 1},       // 17 + 11 x 58 is past the 648 entries
    {"ShiftController", {2, 1}, {4, 9}, 1,
     "gearCount is at most 8, the number of gears the schedule holds"},
};

TEST_P(References, ARefusedIntegerValueRefusesTheWholeCall) {
  for (const RefusedIntegerCall& call : refusedIntegerCalls) {
    if (call.unit != std::string(GetParam().name)) continue;
    std::vector<fmi2Integer> before;
    for (fmi2ValueReference vr : call.vr) before.push_back(unit.getInteger(vr));
    unit.log().clear();
    EXPECT_EQ(library.fmi2SetInteger(unit.component(), call.vr.data(), call.vr.size(),
                                     call.values.data()),
              fmi2Error);
    for (std::size_t i = 0; i < call.vr.size(); ++i) {
      EXPECT_EQ(unit.getInteger(call.vr[i]), before[i]) << "value reference " << call.vr[i];
    }
    ASSERT_EQ(unit.log().messages.size(), 1u);
    EXPECT_EQ(unit.log().messages[0].message.rfind(
                  "The value " + std::to_string(call.values[call.refused]) +
                      " is not accepted for the Integer variable with value reference " +
                      std::to_string(call.vr[call.refused]) + ": ",
                  0),
              0u)
        << unit.log().messages[0].message;
    if (call.reason != nullptr) {
      EXPECT_TRUE(unit.log().messages[0].message.ends_with(call.reason))
          << unit.log().messages[0].message;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Units, References, ::testing::ValuesIn(unitsUnderTest()), unitName);

}  // namespace
}  // namespace hardening
