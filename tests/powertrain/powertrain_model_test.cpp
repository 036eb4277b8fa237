// The powertrain model's internal signals, driven through the runtime's model methods: what a
// master cannot read (torque factor, map torque, converter ratio, clutch state and its edge
// memory, limited states) and the model's own lookup variations.
#include <gtest/gtest.h>

#include <cmath>

#include "models/powertrain/powertrain_lookups.h"
#include "models/powertrain/powertrain_model.h"
#include "runtime/model_plan.h"

namespace {

using namespace powertrain;

constexpr double radPerSecToRpm = 9.549296585513721;

// One instance, set up and stepped in the order the interface layer uses.
struct Powertrain {
  runtime::SimModel* m = runtime::createModel<Model>();
  ~Powertrain() { m->methods.terminateModel(m); }

  ModelParameters& p() { return *static_cast<ModelParameters*>(m->parameters); }
  BlockSignals& b() { return *static_cast<BlockSignals*>(m->blockSignals); }
  ExternalInputs& in() { return *static_cast<ExternalInputs*>(m->inputs); }
  ExternalOutputs& out() { return *static_cast<ExternalOutputs*>(m->outputs); }
  double* x() { return m->continuousStates; }
  uint8_t& lockupReleasedPrevious() { return m->triggerStates[0]; }

  void outputs() {
    m->integrator->stopTime = -1.0;
    m->methods.computeOutputs(m, 0);
  }
  void start() {
    m->methods.initializeModel(m);
    outputs();
  }
  void step() {
    m->methods.updateStates(m, 0);
    outputs();
  }
};

class PowertrainModel : public ::testing::Test {
 protected:
  // The first instance works on the library's stored defaults; the tests' instances get copies.
  static void SetUpTestSuite() { keeper = new Powertrain; }
  static void TearDownTestSuite() { delete keeper; }
  static inline Powertrain* keeper = nullptr;
  Powertrain pt;
};

TEST_F(PowertrainModel, FirstMajorStepAtRestUsesTheInitialTorqueFactorAndTheMapCorner) {
  EXPECT_EQ(pt.lockupReleasedPrevious(), 3) << "no previous value at creation";
  pt.in().torqueFactorInput = 3.0;  // written before the first output: not yet in use
  pt.start();
  EXPECT_EQ(pt.b().torqueFactor, 1.0);
  EXPECT_EQ(pt.b().throttleCommand, 0.0);
  EXPECT_EQ(pt.b().engineMapTorque, -3.75);
  EXPECT_EQ(pt.out().fuelRate, -0.006249999999999999);
  EXPECT_LT(pt.b().engineAcceleration, 0.0);
  pt.outputs();
  EXPECT_EQ(pt.b().torqueFactor, 1.0) << "every call at the first output time";
  for (int i = 0; i < 20; ++i) pt.step();
  EXPECT_EQ(pt.b().torqueFactor, 3.0);
  EXPECT_EQ(pt.x()[engineSpeedState], 0.0) << "held on its lower limit";
}

TEST_F(PowertrainModel, MapTorqueAtTwoThousandRpmAndTheCutOffs) {
  pt.p().initialEngineSpeed = 2000.0 / radPerSecToRpm;
  pt.in().throttle = 20.0;
  pt.start();
  EXPECT_EQ(pt.b().engineMapTorque, 115.725);
  EXPECT_EQ(pt.b().speedRatio, 0.0) << "stall: the turbine at rest";
  EXPECT_EQ(pt.b().torqueRatio, 1.9);
  pt.in().cutoffB = 1;
  pt.outputs();
  EXPECT_EQ(pt.b().throttleCommand, 0.0);
  EXPECT_EQ(pt.b().engineMapTorque, -11.25) << "the closed-throttle torque still acts";
}

TEST_F(PowertrainModel, ATurbineFasterThanTheEngineDrivesTheEngine) {
  pt.start();
  pt.x()[engineSpeedState] = 1000.0 / radPerSecToRpm;
  pt.x()[ratioLagState] = 1.0 / pt.p().ratioLagC;  // gear ratio 1
  pt.x()[outputShaftSpeedState] = 2000.0 / radPerSecToRpm;
  pt.outputs();
  EXPECT_DOUBLE_EQ(pt.b().turbineRpm, 2000.0);
  EXPECT_EQ(pt.b().converterDirection, -1.0);
  EXPECT_DOUBLE_EQ(pt.b().speedRatio, 0.5) << "the engine-to-turbine ratio";
  EXPECT_LT(pt.b().impellerTorque, 0.0);
  EXPECT_GT(pt.out().engineLoadTorque, 0.0);
  EXPECT_GT(pt.b().engineAcceleration, 0.0) << "despite the closed throttle";
}

// At the stages the torque ratio shares the capacity factor's search while both tables have
// breakpoints of the same bits; breakpoints written between two steps are its own again.
TEST_F(PowertrainModel, TheTorqueRatioReadsItsOwnBreakpointsOnceTheyDiffer) {
  pt.start();
  pt.x()[engineSpeedState] = 1000.0 / radPerSecToRpm;
  pt.x()[ratioLagState] = 1.0 / pt.p().ratioLagC;
  pt.x()[outputShaftSpeedState] = 2000.0 / radPerSecToRpm;
  pt.m->majorTimeStep = 0;
  pt.outputs();
  EXPECT_DOUBLE_EQ(pt.b().speedRatio, 0.5);
  EXPECT_EQ(pt.b().torqueRatio, 1.4) << "the default breakpoints, shared";
  pt.m->majorTimeStep = 1;
  pt.outputs();
  for (double& r : pt.p().torqueRatioRatios) r = 2.0 * r;  // 0.5 is now halfway from 0.4 to 0.6
  pt.m->majorTimeStep = 0;
  pt.outputs();
  pt.m->majorTimeStep = 1;
  EXPECT_EQ(pt.b().torqueRatio, (1.6 - 1.7) * 0.5 + 1.7);
  EXPECT_EQ(pt.b().capacityFactor, (17.3 - 20.1) * 0.0 + 20.1) << "its own breakpoints unchanged";
}

TEST_F(PowertrainModel, ClutchTwistResetsAtTheEdgeAndOnlyInMajorSteps) {
  pt.p().clutchTwistReset = 0.25;
  pt.start();
  EXPECT_EQ(pt.lockupReleasedPrevious(), 1);
  pt.x()[clutchTwistState] = 0.5;
  pt.step();
  EXPECT_EQ(pt.m->integrationData.stageDerivatives[5][clutchTwistState], 0.0);

  // The step where the command leaves 0.0 resets once more, then the twist is free.
  pt.in().lockupCommand = 1e-300;
  pt.x()[clutchTwistState] = 0.5;
  pt.outputs();
  EXPECT_EQ(pt.x()[clutchTwistState], 0.25);
  EXPECT_EQ(pt.lockupReleasedPrevious(), 0);
  pt.x()[clutchTwistState] = 0.5;
  pt.outputs();
  EXPECT_EQ(pt.x()[clutchTwistState], 0.5);

  // Minor steps neither reset nor update the edge memory.
  pt.in().lockupCommand = 0.0;
  pt.m->majorTimeStep = 0;
  pt.outputs();
  pt.m->majorTimeStep = 1;
  EXPECT_EQ(pt.x()[clutchTwistState], 0.5);
  EXPECT_EQ(pt.lockupReleasedPrevious(), 0);
}

TEST_F(PowertrainModel, GearboxEfficiencyFollowsAPowerLawBetweenTheFlowLimits) {
  pt.in().lockupCommand = 1.0;
  pt.start();
  for (double torque : {-3.0, -1.0, -0.5, 0.0, 0.25, 0.5, 1.0, 3.0}) {
    pt.x()[clutchTwistState] = torque / 200.0;  // the clutch spring alone loads the gearbox
    pt.outputs();
    const double input = pt.b().gearboxInputTorque;
    ASSERT_NEAR(input, torque, 1e-15);
    const double flow = std::fmax(-1.0, std::fmin(1.0, input));
    EXPECT_EQ(pt.b().gearboxEfficiencyFactor, std::pow(0.9, flow)) << torque;
  }
}

TEST_F(PowertrainModel, LimitedStatesAreClampedInPlaceAndStopPushingOutward) {
  pt.in().lockupCommand = 1.0;
  pt.start();
  pt.x()[shaftTwistState] = 0.3;
  pt.x()[clutchTwistState] = -2.0;
  pt.in().wheelSpeed = -1.0;  // the driveshaft winds up further
  pt.m->majorTimeStep = 0;
  pt.outputs();
  EXPECT_EQ(pt.x()[shaftTwistState], 0.1);
  EXPECT_EQ(pt.x()[clutchTwistState], -1.0);
  double dx[numStates];
  pt.m->stateDerivatives = dx;
  runtime::ModelData<Model> d(*pt.m);
  Model::computeDerivatives(d);
  EXPECT_EQ(dx[shaftTwistState], 0.0);
  pt.in().wheelSpeed = 1.0;
  pt.outputs();
  Model::computeDerivatives(d);
  EXPECT_EQ(dx[shaftTwistState], -1.0) << "back inside is allowed";
  pt.m->majorTimeStep = 1;
}

TEST(PowertrainLookups, ClipLastSegmentLookupAndSignedPower) {
  const double bp[] = {0.0, 1.0, 2.0};
  const double v[] = {10.0, 20.0, 40.0};
  EXPECT_EQ(lookupClipLastSegment(-1.0, bp, v, 2), 10.0);
  EXPECT_EQ(lookupClipLastSegment(0.5, bp, v, 2), 15.0);
  EXPECT_EQ(lookupClipLastSegment(1.0, bp, v, 2), 20.0);
  EXPECT_EQ(lookupClipLastSegment(2.0, bp, v, 2), 40.0);
  EXPECT_EQ(lookupClipLastSegment(NAN, bp, v, 2), 40.0);
  const double steep[] = {10.0, INFINITY, 40.0};
  EXPECT_TRUE(std::isnan(lookupClipLastSegment(5.0, bp, steep, 2)))
      << "computed from the last segment, (40 - inf) * 1 + inf, not read as 40";

  // A negative base with a fractional exponent gives the negated power of its magnitude.
  EXPECT_EQ(signedPower(-0.9, 0.5), -std::sqrt(0.9));
  EXPECT_EQ(signedPower(-2.0, 3.0), -8.0);
  EXPECT_EQ(signedPower(0.9, -1.0), 1.0 / 0.9);
  EXPECT_EQ(signedPower(0.9, 0.25), std::pow(0.9, 0.25));
}

}  // namespace
