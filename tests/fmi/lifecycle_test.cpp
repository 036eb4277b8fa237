// Creation, set-up, the lifecycle calls and the logging switch of the chassis unit.
#include <cmath>
#include <string>

#include "tests/fmi/tessik_fixture.h"

namespace tessik {
namespace {

using test_support::MessageLog;
using test_support::recordingLogger;

class Lifecycle : public UnitTest {
 protected:
  fmi2Component instantiate(const char* name, const char* guidText, const char* location,
                            fmi2Boolean loggingOn = fmi2True, fmi2Type type = fmi2CoSimulation) {
    return library.fmi2Instantiate(name, type, guidText, location, &callbacks, fmi2False,
                                   loggingOn);
  }

  // The master's memory callbacks are never used: the unit allocates from its own heap.
  static void* allocate(size_t, size_t) {
    ADD_FAILURE() << "allocateMemory called";
    return nullptr;
  }
  static void release(void*) { ADD_FAILURE() << "freeMemory called"; }

  MessageLog log;
  fmi2CallbackFunctions callbacks{recordingLogger, allocate, release, nullptr, &log};
};

TEST_F(Lifecycle, InstantiateAnnouncesTheResourcePath) {
  EXPECT_STREQ(library.fmi2GetTypesPlatform(), "default");
  EXPECT_STREQ(library.fmi2GetVersion(), "2.0");
  fmi2Component c = instantiate("chassis", guid.c_str(), "file:///E:/my%20dir/resources/");
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(log.messages.size(), 1u);
  EXPECT_EQ(log.messages[0].status, fmi2OK);
  EXPECT_EQ(log.messages[0].instanceName, "chassis");
  EXPECT_EQ(log.messages[0].category, "");
  EXPECT_EQ(log.messages[0].message, "The path to the resource folder, that will be used if any "
                                     "resources are needed, is: E:/my dir/resources");
  library.fmi2FreeInstance(c);

  // Model exchange gets the same co-simulation instance; without logging nothing is delivered.
  log.clear();
  c = instantiate("chassis", guid.c_str(), "file:///r", fmi2False, fmi2ModelExchange);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(log.messages.empty());
  EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
  EXPECT_EQ(library.fmi2DoStep(c, 0.0, 0.01, fmi2True), fmi2OK);
  library.fmi2FreeInstance(c);
  library.fmi2FreeInstance(nullptr);
}

TEST_F(Lifecycle, RefusedInstantiationsReturnNull) {
  std::string upper = guid;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  for (const std::string& wrong : {upper, "{" + guid + "}", guid + "-", guid.substr(1)}) {
    log.clear();
    EXPECT_EQ(instantiate("chassis", wrong.c_str(), "file:///r"), nullptr);
    ASSERT_NE(log.last(), nullptr);
    EXPECT_EQ(log.last()->status, fmi2Error);
    EXPECT_EQ(log.last()->message, "GUID mismatch '" + wrong + "'");
  }
  log.clear();
  EXPECT_EQ(instantiate("chassis", nullptr, "file:///r"), nullptr);
  EXPECT_EQ(log.last()->message, "GUID mismatch ''");
  log.clear();
  EXPECT_EQ(instantiate("chassis", upper.c_str(), "file:///r", fmi2False), nullptr);
  EXPECT_TRUE(log.messages.empty());

  // The resource location is checked before the identity, and shown exactly as passed.
  EXPECT_EQ(instantiate("chassis", "nonsense", "FILE:///E:/x"), nullptr);
  ASSERT_EQ(log.messages.size(), 1u);
  EXPECT_EQ(log.last()->status, fmi2Error);
  EXPECT_EQ(log.last()->message, "Invalid fmuResourceLocation <URI:FILE:///E:/x>. Expected "
                                 "format: 'file:///absolute/path/resources'");
  // A location too long for the path buffer: its decoded length first, then the same refusal.
  log.clear();
  const std::string tooLong = "file:///tmp/" + std::string(254, 'd') + "/resources";
  EXPECT_EQ(instantiate("chassis", guid.c_str(), tooLong.c_str()), nullptr);
  ASSERT_EQ(log.messages.size(), 2u);
  EXPECT_EQ(log.messages[0].status, fmi2Error);
  EXPECT_EQ(log.messages[0].message,
            "The resource path decoded from fmuResourceLocation has 268 characters; at most 261 "
            "fit");
  EXPECT_EQ(log.messages[1].message, "Invalid fmuResourceLocation <URI:" + tooLong +
                                         ">. Expected format: 'file:///absolute/path/resources'");
  log.clear();
  EXPECT_EQ(instantiate("chassis", guid.c_str(), nullptr), nullptr);
  EXPECT_EQ(log.last()->message, "Invalid fmuResourceLocation <URI:>. Expected format: "
                                 "'file:///absolute/path/resources'");

  // No name, no logger, no callback record: NULL without a crash or a message.
  log.clear();
  EXPECT_EQ(instantiate(nullptr, guid.c_str(), "file:///r"), nullptr);
  const fmi2CallbackFunctions silent{nullptr, nullptr, nullptr, nullptr, &log};
  EXPECT_EQ(library.fmi2Instantiate("chassis", fmi2CoSimulation, guid.c_str(), "file:///r",
                                    &silent, fmi2False, fmi2True),
            nullptr);
  EXPECT_EQ(library.fmi2Instantiate("chassis", fmi2CoSimulation, guid.c_str(), "file:///r",
                                    nullptr, fmi2False, fmi2True),
            nullptr);
  EXPECT_TRUE(log.messages.empty());
}

TEST_F(Lifecycle, OverlongMessagesAreCutToTheBuffer) {
  const std::string huge(6000, 'a');
  EXPECT_EQ(instantiate("chassis", huge.c_str(), "file:///r"), nullptr);
  ASSERT_NE(log.last(), nullptr);
  EXPECT_EQ(log.last()->message.size(), 4095u);
  EXPECT_EQ(log.last()->message, ("GUID mismatch '" + huge).substr(0, 4095));
}

TEST_F(Lifecycle, SetupChecksComeBeforeTheModel) {
  auto unit = make(false);
  fmi2Component c = unit->component();
  unit->setReal(initialSpeed, 5.0);
  EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, 1.0, fmi2False, 0.0), fmi2Error);
  expectLast(*unit, fmi2Error,
             "Only start time 0.000000e+00 is supported. Cannot start with star time set to "
             "1.000000e+00");
  EXPECT_EQ(unit->getReal(vehicleSpeed), 0.0);  // not initialised
  EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, NAN, fmi2False, 0.0), fmi2Error);
  EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2True, -1.0), fmi2Error);
  expectLast(*unit, fmi2Error, "Stop time cannot be negative -1.000000e+00");
  EXPECT_EQ(unit->getReal(vehicleSpeed), 0.0);

  EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, -1.0), fmi2OK);
  EXPECT_EQ(unit->getReal(vehicleSpeed), 5.0);
  EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2True, 1e-6, -0.0, fmi2True, 0.0), fmi2OK);
  unit->setReal(initialSpeed, 0.0);
}

TEST_F(Lifecycle, CallsWorkInEveryState) {
  auto unit = make(false);
  fmi2Component c = unit->component();
  unit->setup();
  // Exit without enter ends the recomputation on get calls all the same.
  EXPECT_EQ(library.fmi2ExitInitializationMode(c), fmi2OK);
  unit->setReal(kmhPerMs, 1.0);
  unit->setReal(initialSpeed, 0.0);
  unit->setReal(wheelTorque, 300.0);
  EXPECT_EQ(unit->getReal(vehicleSpeedKmh), 0.0);

  EXPECT_EQ(library.fmi2Terminate(c), fmi2OK);
  EXPECT_EQ(unit->doStep(0.01), fmi2OK);
  const double speed = unit->getReal(vehicleSpeed);
  EXPECT_GT(speed, 0.0);
  EXPECT_EQ(unit->getReal(vehicleSpeedKmh), speed);

  unit->log().clear();
  EXPECT_EQ(library.fmi2Reset(c), fmi2Error);
  expectLast(*unit, fmi2Error, "fmi2Reset is not supported");
  EXPECT_EQ(unit->getReal(vehicleSpeed), speed);
  EXPECT_EQ(unit->doStep(0.01), fmi2OK);  // the communication point still follows on
  EXPECT_GT(unit->getReal(vehicleSpeed), speed);
  unit->setReal(kmhPerMs, 3.6);
}

// An initial value written after set-up counts until initialisation ends or the first step,
// whichever comes first; afterwards it waits for the next set-up.
TEST_F(Lifecycle, InitialValuesCountUntilInitialisationEnds) {
  auto unit = make(false);
  fmi2Component c = unit->component();
  unit->setup();
  EXPECT_EQ(library.fmi2EnterInitializationMode(c), fmi2OK);
  unit->setReal(initialSpeed, 10.0);
  EXPECT_EQ(unit->getReal(vehicleSpeed), 10.0);
  EXPECT_EQ(library.fmi2ExitInitializationMode(c), fmi2OK);
  unit->setReal(initialSpeed, 20.0);
  EXPECT_EQ(unit->doStep(0.01), fmi2OK);
  const double rolled = unit->getReal(vehicleSpeed);
  EXPECT_LT(rolled, 10.0);
  EXPECT_GT(rolled, 9.9);
  unit->setReal(initialSpeed, 0.0);

  // A master that never leaves initialisation steps from what it wrote, too.
  auto skipping = make(false);
  skipping->setup();
  skipping->setReal(initialSpeed, 10.0);
  EXPECT_EQ(skipping->doStep(0.01), fmi2OK);
  EXPECT_EQ(skipping->getReal(vehicleSpeed), rolled);
  skipping->setReal(initialSpeed, 0.0);
  EXPECT_EQ(skipping->getReal(vehicleSpeed), rolled);
  EXPECT_EQ(library.fmi2SetupExperiment(skipping->component(), fmi2False, 0.0, 0.0, fmi2False, 0.0),
            fmi2OK);
  EXPECT_EQ(skipping->getReal(vehicleSpeed), 0.0);
}

TEST_F(Lifecycle, DebugLoggingSwitch) {
  auto unit = make(true, false);
  fmi2Component c = unit->component();
  EXPECT_EQ(library.fmi2SetReal(c, &wheelTorque, 1, nullptr), fmi2Error);
  EXPECT_TRUE(unit->log().messages.empty());

  EXPECT_EQ(library.fmi2SetDebugLogging(c, fmi2True, 0, nullptr), fmi2OK);
  expectLast(*unit, fmi2OK, "Debug logging was successfully set to: fmi2_true");
  const fmi2String categories[] = {"logAll"};
  EXPECT_EQ(library.fmi2SetDebugLogging(c, fmi2False, 1, categories), fmi2Error);
  expectLast(*unit, fmi2Error, "FMU does not support any log categories.");
  // Logging stayed on: switching it off is silent.
  unit->log().clear();
  EXPECT_EQ(library.fmi2SetDebugLogging(c, fmi2False, 0, nullptr), fmi2OK);
  EXPECT_TRUE(unit->log().messages.empty());
  EXPECT_EQ(library.fmi2SetDebugLogging(c, 2, 0, nullptr), fmi2OK);
  expectLast(*unit, fmi2OK, "Debug logging was successfully set to: fmi2_true");
}

TEST_F(Lifecycle, NullInstanceIsRefusedEverywhere) {
  fmi2ValueReference vr = 0;
  double real = 1.5;
  int integer = 3;
  fmi2String text = "x";
  fmi2FMUstate state = &real;
  fmi2Status status = fmi2Pending;
  size_t size = 7;
  fmi2Byte bytes[4] = {};
  EXPECT_EQ(library.fmi2SetDebugLogging(nullptr, fmi2True, 0, nullptr), fmi2Error);
  EXPECT_EQ(library.fmi2SetupExperiment(nullptr, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2Error);
  EXPECT_EQ(library.fmi2EnterInitializationMode(nullptr), fmi2Error);
  EXPECT_EQ(library.fmi2ExitInitializationMode(nullptr), fmi2Error);
  EXPECT_EQ(library.fmi2Terminate(nullptr), fmi2Error);
  EXPECT_EQ(library.fmi2Reset(nullptr), fmi2Error);
  EXPECT_EQ(library.fmi2GetReal(nullptr, &vr, 1, &real), fmi2Error);
  EXPECT_EQ(library.fmi2GetInteger(nullptr, &vr, 1, &integer), fmi2Error);
  EXPECT_EQ(library.fmi2GetBoolean(nullptr, &vr, 1, &integer), fmi2Error);
  EXPECT_EQ(library.fmi2GetString(nullptr, &vr, 1, &text), fmi2Error);
  EXPECT_EQ(library.fmi2SetReal(nullptr, &vr, 1, &real), fmi2Error);
  EXPECT_EQ(library.fmi2SetInteger(nullptr, &vr, 1, &integer), fmi2Error);
  EXPECT_EQ(library.fmi2SetBoolean(nullptr, &vr, 1, &integer), fmi2Error);
  EXPECT_EQ(library.fmi2SetString(nullptr, &vr, 1, &text), fmi2Error);
  EXPECT_EQ(library.fmi2GetFMUstate(nullptr, &state), fmi2Error);
  EXPECT_EQ(library.fmi2SetFMUstate(nullptr, state), fmi2Error);
  EXPECT_EQ(library.fmi2FreeFMUstate(nullptr, &state), fmi2Error);
  EXPECT_EQ(library.fmi2SerializedFMUstateSize(nullptr, state, &size), fmi2Error);
  EXPECT_EQ(library.fmi2SerializeFMUstate(nullptr, state, bytes, 4), fmi2Error);
  EXPECT_EQ(library.fmi2DeSerializeFMUstate(nullptr, bytes, 4, &state), fmi2Error);
  EXPECT_EQ(library.fmi2GetDirectionalDerivative(nullptr, &vr, 1, &vr, 1, &real, &real),
            fmi2Error);
  EXPECT_EQ(library.fmi2SetRealInputDerivatives(nullptr, &vr, 1, &integer, &real), fmi2Error);
  EXPECT_EQ(library.fmi2GetRealOutputDerivatives(nullptr, &vr, 1, &integer, &real), fmi2Error);
  EXPECT_EQ(library.fmi2DoStep(nullptr, 0.0, 0.01, fmi2True), fmi2Error);
  EXPECT_EQ(library.fmi2CancelStep(nullptr), fmi2Error);
  EXPECT_EQ(library.fmi2GetStatus(nullptr, fmi2DoStepStatus, &status), fmi2Error);
  EXPECT_EQ(library.fmi2GetRealStatus(nullptr, fmi2LastSuccessfulTime, &real), fmi2Error);
  EXPECT_EQ(library.fmi2GetIntegerStatus(nullptr, fmi2DoStepStatus, &integer), fmi2Error);
  EXPECT_EQ(library.fmi2GetBooleanStatus(nullptr, fmi2Terminated, &integer), fmi2Error);
  EXPECT_EQ(library.fmi2GetStringStatus(nullptr, fmi2PendingStatus, &text), fmi2Error);
  EXPECT_EQ(real, 1.5);
  EXPECT_EQ(status, fmi2Pending);
  EXPECT_EQ(size, 7u);
}

}  // namespace
}  // namespace tessik
