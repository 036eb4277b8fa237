// The interface layer against an instrumented chassis model: registration failures and their
// clean-up, set-up failures, the stop request, the carry of the communication step, and the
// integer and boolean access paths that the chassis unit itself cannot reach.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/sim_model.h"
#include "tests/fmi/probe_model.h"

namespace {

class LayerTest : public ::testing::Test {
 protected:
  void SetUp() override { probe::reset(); }

  void expectMessage(fmi2Status status, const std::string& text) {
    ASSERT_FALSE(probe::messages.empty());
    EXPECT_EQ(probe::messages.back().status, status);
    EXPECT_EQ(probe::messages.back().text, text);
  }

  // Instantiation fails, the model (if created) is released with its table, nothing leaks.
  void expectRefusedAndReleased(int created) {
    EXPECT_EQ(probe::instantiate(), nullptr);
    EXPECT_EQ(probe::calls.createModel, created);
    EXPECT_EQ(probe::calls.terminateModel, created);
    EXPECT_EQ(probe::calls.freeVariableTable, created);
    EXPECT_EQ(probe::calls.destroyIntegrationData, 0);
  }
};

TEST_F(LayerTest, RegistrationFailuresReportAndReleaseEverything) {
  probe::faults.registerFunctionsFails = true;
  expectRefusedAndReleased(0);
  expectMessage(fmi2Error,
                "An error occured during model registration. Failed to register functions.");

  probe::reset();
  probe::faults.createModelReturnsNull = true;
  EXPECT_EQ(probe::instantiate(), nullptr);
  EXPECT_EQ(probe::calls.terminateModel, 0);
  expectMessage(fmi2Error, "An error occured during model registration. Failed to get model.");

  probe::reset();
  probe::faults.simulationDataFails = true;
  expectRefusedAndReleased(1);
  expectMessage(fmi2Error,
                "An error occured during model registration. Failed to register simulation data.");

  probe::reset();
  probe::faults.sizeofChar = 2;
  expectRefusedAndReleased(1);
  expectMessage(fmi2Error,
                "Data type sizes mismatch. Runtime code was compiled with a different sizes for "
                "\"char\"");
}

// The master is told why it gets no instance: the table could not be allocated, or a record that
// could not be allocated during creation left the model without one.
TEST_F(LayerTest, FailedVariableTableIsReportedAndReleased) {
  const std::string failure = "An error occured during model registration. Failed to build the "
                              "table of variables: memory allocation error";
  probe::faults.variableTableFails = true;
  expectRefusedAndReleased(1);
  expectMessage(fmi2Error, failure);

  probe::reset();
  probe::faults.createModelRecordsError = true;
  expectRefusedAndReleased(1);
  EXPECT_EQ(probe::messages.size(), 2u);
  expectMessage(fmi2Error, failure);
}

TEST_F(LayerTest, SetupFailuresReportAndLeaveTheInstanceUsable) {
  fmi::FmuComponent* c = probe::instantiate();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->stepState->registered, 1);

  probe::faults.startTime = 0.5;
  EXPECT_EQ(fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2Error);
  expectMessage(fmi2Error, "Start time must be zero for real-time systems.");
  EXPECT_EQ(c->stepState->integrationDataCreated, 0);

  probe::faults.startTime = 0.0;
  probe::faults.initializeError = "initial conditions out of range";
  EXPECT_EQ(fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2Error);
  expectMessage(fmi2Error, "initial conditions out of range");
  EXPECT_EQ(c->stepState->integrationDataCreated, 1);

  // The recorded error stays in the model: the next set-up fails at the integration data.
  probe::faults.initializeError = nullptr;
  EXPECT_EQ(fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2Error);
  expectMessage(fmi2Error, "Error creating integration data");

  fmi2FreeInstance(c);
  EXPECT_EQ(probe::calls.destroyIntegrationData, 1);
  EXPECT_EQ(probe::calls.terminateModel, 1);
  EXPECT_EQ(probe::calls.freeVariableTable, 1);
}

TEST_F(LayerTest, SetupGivesTheModelItsFinalTimeAndSolver) {
  probe::faults.noContinuousStates = true;
  fmi::FmuComponent* c = probe::instantiate();
  ASSERT_NE(c, nullptr);
  const runtime::SimModel& model = *c->modelInterface->model;
  EXPECT_EQ(fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2True, 30.0), fmi2OK);
  EXPECT_EQ(model.finalTime, 30.0);
  // An undefined stop time is no final time, whatever its value.
  EXPECT_EQ(fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, -5.0), fmi2OK);
  EXPECT_EQ(model.finalTime, -1.0);
  EXPECT_STREQ(model.integrator->solverName, "FixedStepDiscrete");
  EXPECT_EQ(c->stepState->integrationDataCreated, 0);
  fmi2FreeInstance(c);
  EXPECT_EQ(probe::calls.destroyIntegrationData, 0);
}

TEST_F(LayerTest, StopRequestCompletesTheIntervalAndDiscardsEveryCall) {
  fmi::FmuComponent* c = probe::instantiate();
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
  probe::faults.stopRequested = true;
  EXPECT_EQ(fmi2DoStep(c, 0.0, 0.01, fmi2True), fmi2Discard);
  EXPECT_EQ(probe::calls.updateStates, 4);
  expectMessage(fmi2Discard, "Simulation stop requested by the model at time 0.01, could for "
                             "example be caused by a Stop Simulation block.");
  // Without a step, the time shown is the end of the pending step.
  EXPECT_EQ(fmi2DoStep(c, 0.01, 0.0, fmi2True), fmi2Discard);
  EXPECT_EQ(probe::calls.updateStates, 4);
  expectMessage(fmi2Discard, "Simulation stop requested by the model at time 0.0125, could for "
                             "example be caused by a Stop Simulation block.");
  fmi2FreeInstance(c);
}

TEST_F(LayerTest, ShortCommunicationStepsCarryTheirRemainder) {
  fmi::FmuComponent* c = probe::instantiate();
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
  const int stepsAfter[] = {0, 0, 1, 1, 1, 2};
  const double* modelTime = c->modelInterface->model->taskTimes;
  for (int k = 0; k < 6; ++k) {
    ASSERT_EQ(fmi2DoStep(c, 0.001 * k, 0.001, fmi2True), fmi2OK);
    EXPECT_EQ(probe::calls.updateStates, stepsAfter[k]) << "call " << k + 1;
    if (k == 2) {
      EXPECT_NEAR(c->stepState->timeOffset, -0.0005, 1e-15);
    }
  }
  EXPECT_NEAR(c->stepState->timeOffset, -0.001, 1e-15);
  EXPECT_EQ(modelTime[0], 0.005);

  // Whole multiples of the fixed step end exactly on the interval end.
  for (int k = 0; k < 3; ++k) {
    const double tc = 0.006 + 0.01 * k;
    ASSERT_EQ(fmi2DoStep(c, tc, 0.01, fmi2True), fmi2OK);
    EXPECT_NEAR(modelTime[0] - (tc + 0.01), c->stepState->timeOffset, 1e-15);
  }
  fmi2FreeInstance(c);
}

TEST_F(LayerTest, IntegerWritesPassTheGuardAndTheEnumeration) {
  fmi::FmuComponent* c = probe::instantiate();
  ASSERT_NE(c, nullptr);
  const fmi2ValueReference vr[] = {probe::guardedInteger, probe::enumInteger,
                                   probe::guardedInteger};
  const fmi2Integer refusedByGuard[] = {7, 3, 11};
  EXPECT_EQ(fmi2SetInteger(c, vr, 3, refusedByGuard), fmi2Error);
  expectMessage(fmi2Error, "The value 11 is not accepted for the Integer variable with value "
                           "reference 0: the table has eleven rows");
  // The guard judges the whole call before anything is written.
  EXPECT_EQ(probe::extra.guarded, 0u);
  EXPECT_EQ(probe::extra.enumeration, 0);

  // The enumeration refuses element by element: what comes before stays written.
  const fmi2Integer refusedByEnumeration[] = {9, -2, 4};
  EXPECT_EQ(fmi2SetInteger(c, vr, 3, refusedByEnumeration), fmi2Error);
  expectMessage(fmi2Error, "The value -2 is not a valid value for the enumeration");
  EXPECT_EQ(probe::extra.guarded, 9u);
  EXPECT_EQ(probe::extra.enumeration, 0);

  // A negative value reaches the guard as its 32-bit pattern.
  const fmi2Integer negative = -1;
  EXPECT_EQ(fmi2SetInteger(c, vr, 1, &negative), fmi2Error);
  expectMessage(fmi2Error, "The value -1 is not accepted for the Integer variable with value "
                           "reference 0: the table has eleven rows");

  // A read the enumeration rejects is stored, reported, and ends the call.
  probe::extra.enumeration = 99;
  fmi2Integer read[3] = {-5, -5, -5};
  EXPECT_EQ(fmi2GetInteger(c, vr, 3, read), fmi2Error);
  expectMessage(fmi2Error, "Internal Enumeration error");
  EXPECT_EQ(read[0], 9);
  EXPECT_EQ(read[1], 99);
  EXPECT_EQ(read[2], -5);
  fmi2FreeInstance(c);
}

TEST_F(LayerTest, OutOfRangeReferencesMoveNothing) {
  fmi::FmuComponent* c = probe::instantiate();
  ASSERT_NE(c, nullptr);
  const fmi2ValueReference integers[] = {probe::guardedInteger, 2};
  const fmi2Integer values[] = {5, 5};
  EXPECT_EQ(fmi2SetInteger(c, integers, 2, values), fmi2Error);
  expectMessage(fmi2Error, "Value reference 2 is not a valid Integer variable of this FMU (it has 2)");
  EXPECT_EQ(probe::extra.guarded, 0u);

  const fmi2ValueReference booleans[] = {1, 0, 4294967295u};
  const fmi2Boolean flags[] = {fmi2True, fmi2True, fmi2True};
  EXPECT_EQ(fmi2SetBoolean(c, booleans, 3, flags), fmi2Error);
  expectMessage(fmi2Error,
                "Value reference 4294967295 is not a valid Boolean variable of this FMU (it has 2)");
  EXPECT_EQ(probe::extra.flags[0] + probe::extra.flags[1], 0);

  // Booleans store true only for fmi2True and read back as fmi2True or fmi2False.
  const fmi2Boolean written[] = {2, fmi2True};
  EXPECT_EQ(fmi2SetBoolean(c, booleans, 2, written), fmi2OK);
  fmi2Boolean read[2] = {7, 7};
  EXPECT_EQ(fmi2GetBoolean(c, booleans, 2, read), fmi2OK);
  EXPECT_EQ(read[0], fmi2False);
  EXPECT_EQ(read[1], fmi2True);
  fmi2FreeInstance(c);
}

}  // namespace
