// Variable access and the unsupported operations of the chassis unit.
#include "tests/fmi/tessik_fixture.h"

namespace tessik {
namespace {

using Access = UnitTest;

TEST_F(Access, ArraysAreCheckedBeforeAnythingMoves) {
  auto unit = make();
  fmi2Component c = unit->component();
  EXPECT_EQ(library.fmi2SetReal(c, nullptr, 0, nullptr), fmi2OK);
  EXPECT_EQ(library.fmi2GetReal(c, nullptr, 0, nullptr), fmi2OK);
  EXPECT_EQ(library.fmi2SetInteger(c, nullptr, 0, nullptr), fmi2OK);
  EXPECT_EQ(library.fmi2GetInteger(c, nullptr, 0, nullptr), fmi2OK);
  EXPECT_EQ(library.fmi2SetBoolean(c, nullptr, 0, nullptr), fmi2OK);
  EXPECT_EQ(library.fmi2GetBoolean(c, nullptr, 0, nullptr), fmi2OK);
  EXPECT_TRUE(unit->log().messages.empty());

  const fmi2ValueReference vr[] = {0, 1, 2};
  EXPECT_EQ(library.fmi2GetReal(c, vr, 3, nullptr), fmi2Error);
  expectLast(*unit, fmi2Error,
             "Value memory pointer cannot be NULL when the number of values to get are 3");
  EXPECT_EQ(library.fmi2SetInteger(c, nullptr, 2, nullptr), fmi2Error);
  expectLast(*unit, fmi2Error,
             "ValueReference memory pointer cannot be NULL when the number of values to set are 2");

  // Out-of-range references are refused as a whole, also when a valid one comes first.
  unit->setReal(wheelTorque, 10.0);
  const fmi2ValueReference mixed[] = {wheelTorque, numReals};
  const double values[] = {99.0, 99.0};
  EXPECT_EQ(library.fmi2SetReal(c, mixed, 2, values), fmi2Error);
  expectLast(*unit, fmi2Error, "Value reference 42 is not a valid Real variable of this FMU (it has 42)");
  EXPECT_EQ(unit->getReal(wheelTorque), 10.0);
  double read[2] = {-1.0, -1.0};
  EXPECT_EQ(library.fmi2GetReal(c, mixed, 2, read), fmi2Error);
  EXPECT_EQ(read[0], -1.0);

  // The chassis has no integer and no boolean variables at all.
  int integer = 4;
  EXPECT_EQ(library.fmi2SetInteger(c, vr, 1, &integer), fmi2Error);
  expectLast(*unit, fmi2Error, "Value reference 0 is not a valid Integer variable of this FMU (it has 0)");
  EXPECT_EQ(library.fmi2GetBoolean(c, vr, 1, &integer), fmi2Error);
  expectLast(*unit, fmi2Error, "Value reference 0 is not a valid Boolean variable of this FMU (it has 0)");
  EXPECT_EQ(integer, 4);
}

TEST_F(Access, GetCallsRecomputeOnlyUntilInitializationEnds) {
  auto unit = make(false);
  unit->setReal(initialSpeed, 10.0);
  unit->setup();
  fmi2Component c = unit->component();
  EXPECT_EQ(library.fmi2EnterInitializationMode(c), fmi2OK);
  EXPECT_EQ(unit->getReal(vehicleSpeedKmh), 36.0);
  unit->setReal(kmhPerMs, 2.0);
  EXPECT_EQ(unit->getReal(vehicleSpeedKmh), 20.0);
  // A get call with no values recomputes as well.
  unit->setReal(kmhPerMs, 1.0);
  EXPECT_EQ(library.fmi2GetReal(c, nullptr, 0, nullptr), fmi2OK);

  EXPECT_EQ(library.fmi2ExitInitializationMode(c), fmi2OK);
  unit->setReal(kmhPerMs, 3.0);
  const fmi2ValueReference both[] = {vehicleSpeedKmh, vehicleSpeed};
  double values[2];
  ASSERT_EQ(library.fmi2GetReal(c, both, 2, values), fmi2OK);
  EXPECT_EQ(values[0], values[1] * 1.0);
  ASSERT_EQ(unit->doStep(0.01), fmi2OK);
  ASSERT_EQ(library.fmi2GetReal(c, both, 2, values), fmi2OK);
  EXPECT_EQ(values[0], 3.0 * values[1]);
  unit->setReal(kmhPerMs, 3.6);
  unit->setReal(initialSpeed, 0.0);
}

TEST_F(Access, StringsAreRefused) {
  auto unit = make();
  fmi2Component c = unit->component();
  const fmi2ValueReference vr[] = {0, 1};
  fmi2String strings[2] = {"a", "b"};
  EXPECT_EQ(library.fmi2SetString(c, vr, 0, strings), fmi2OK);
  EXPECT_EQ(library.fmi2GetString(c, vr, 0, strings), fmi2OK);
  EXPECT_TRUE(unit->log().messages.empty());
  EXPECT_EQ(library.fmi2SetString(c, vr, 2, strings), fmi2Error);
  expectLast(*unit, fmi2Error, "Invalid call to fmi2SetString. FMU has no string variables.");
  EXPECT_EQ(library.fmi2GetString(c, vr, 2, strings), fmi2Error);
  expectLast(*unit, fmi2Error, "Invalid call to fmi2GetString. FMU has no string variables.");
  EXPECT_STREQ(strings[0], "");
  EXPECT_STREQ(strings[1], "");
  unit->log().clear();
  EXPECT_EQ(library.fmi2GetString(c, vr, 2, nullptr), fmi2Error);
  expectLast(*unit, fmi2Error, "Invalid call to fmi2GetString. FMU has no string variables.");
}

TEST_F(Access, UnsupportedOperationsReportTheirRefusal) {
  auto unit = make();
  fmi2Component c = unit->component();
  double marker = 0.0;
  fmi2FMUstate state = &marker;
  size_t size = 5;
  fmi2Byte bytes[4] = {1, 2, 3, 4};
  fmi2ValueReference vr[] = {0, 77};
  double result[2] = {8.0, 8.0};
  const int orders[] = {1, 1};
  const struct {
    fmi2Status status;
    const char* message;
  } expected[] = {
      {library.fmi2GetFMUstate(c, &state), "fmi2GetFMUstate is not supported"},
      {library.fmi2SetFMUstate(c, state), "fmi2SetFMUstate is not supported"},
      {library.fmi2FreeFMUstate(c, &state), "fmi2FreeFMUstate is not supported"},
      {library.fmi2SerializedFMUstateSize(c, state, &size),
       "fmi2SerializedFMUstateSize is not supported"},
      {library.fmi2SerializeFMUstate(c, state, bytes, 4), "fmi2SerializeFMUstate is not supported"},
      {library.fmi2DeSerializeFMUstate(c, bytes, 4, &state),
       "fmi2DeSerializeFMUstate is not supported"},
      {library.fmi2GetDirectionalDerivative(c, vr, 1, vr, 1, result, result),
       "fmi2GetDirectionalDerivative is not supported"},
  };
  ASSERT_EQ(unit->log().messages.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(expected[i].status, fmi2Error);
    EXPECT_EQ(unit->log().messages[i].status, fmi2Error);
    EXPECT_EQ(unit->log().messages[i].message, expected[i].message);
  }
  EXPECT_EQ(state, &marker);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(result[0], 8.0);

  unit->log().clear();
  EXPECT_EQ(library.fmi2SetRealInputDerivatives(c, vr, 0, orders, result), fmi2OK);
  EXPECT_TRUE(unit->log().messages.empty());
  EXPECT_EQ(library.fmi2SetRealInputDerivatives(c, vr, 1, orders, result), fmi2Warning);
  expectLast(*unit, fmi2Warning,
             "Invalid call to fmi2SetRealInputDerivatives. FMU cannot interpolate input signals. "
             "See capability attribute canInterpolateInputs.");

  // Output derivatives are zeros whatever the references; no array, no write.
  EXPECT_EQ(library.fmi2GetRealOutputDerivatives(c, vr, 2, orders, result), fmi2OK);
  EXPECT_EQ(result[0], 0.0);
  EXPECT_EQ(result[1], 0.0);
  EXPECT_EQ(library.fmi2GetRealOutputDerivatives(c, vr, 2, orders, nullptr), fmi2Error);
  expectLast(*unit, fmi2Error,
             "Value memory pointer cannot be NULL when the number of values to get are 2");
}

}  // namespace
}  // namespace tessik
