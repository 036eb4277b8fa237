// The chassis unit loaded with dlopen, as a master loads it, with helpers to check what the
// unit reported.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/unit_library.h"

namespace tessik {

// Real value references of the chassis unit.
inline constexpr fmi2ValueReference brakeDemand = 0;
inline constexpr fmi2ValueReference wheelTorque = 1;
inline constexpr fmi2ValueReference wheelSpeed = 2;
inline constexpr fmi2ValueReference vehicleSpeedKmh = 3;
inline constexpr fmi2ValueReference vehicleSpeed = 4;
inline constexpr fmi2ValueReference kmhPerMs = 37;
inline constexpr fmi2ValueReference initialSpeed = 29;
inline constexpr unsigned numReals = 42;

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
