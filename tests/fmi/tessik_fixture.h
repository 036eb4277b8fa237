// The chassis unit loaded with dlopen, as a master loads it, with helpers to check what the
// unit reported.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/unit_library.h"
#include "tests/support/variable_catalogue.h"

namespace tessik {

inline const test_support::Catalogue& description() {
  return test_support::describedVariables(TESSIK_DESCRIPTION);
}

// Real value references of the chassis unit, by name.
inline const fmi2ValueReference brakeDemand = description().reference("brakeDemand");
inline const fmi2ValueReference wheelTorque = description().reference("wheelTorque");
inline const fmi2ValueReference wheelSpeed = description().reference("wheelSpeed");
inline const fmi2ValueReference vehicleSpeedKmh = description().reference("vehicleSpeedKmh");
inline const fmi2ValueReference vehicleSpeed = description().reference("vehicleSpeed");
inline const fmi2ValueReference kmhPerMs = description().reference("kmhPerMs");
inline const fmi2ValueReference initialSpeed = description().reference("initialSpeed");
inline const unsigned numReals = description().count("Real");

class UnitTest : public ::testing::Test {
 protected:
  UnitTest() : library(TESSIK_LIBRARY), guid(test_support::readGuid(TESSIK_DESCRIPTION)) {}

  // A new instance with its log cleared of what instantiation and set-up reported.
  std::unique_ptr<test_support::UnitInstance> make(bool initialize = true, bool loggingOn = true) {
    auto unit = std::make_unique<test_support::UnitInstance>(library, guid, initialize, "chassis",
                                                             loggingOn);
    unit->log().clear();
    return unit;
  }

  // The last message the instance reported, with its status; every message carries the
  // instance name and an empty category.
  static void expectLast(test_support::UnitInstance& unit, fmi2Status status,
                         const std::string& text) {
    const test_support::LoggedMessage* last = unit.log().last();
    ASSERT_NE(last, nullptr) << "no message, expected: " << text;
    EXPECT_EQ(last->status, status);
    EXPECT_EQ(last->message, text);
    EXPECT_EQ(last->instanceName, "chassis");
    EXPECT_EQ(last->category, "");
  }

  test_support::UnitLibrary library;
  std::string guid;
};

}  // namespace tessik
