// The driver's inner signals and memories, seen through the runtime, and the guard that keeps
// the map lookups inside their tables.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "runtime/numerics.h"
#include "tests/driver/driver_harness.h"

namespace driver_test {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

TEST(DriverSignals, FirstMajorStepWithAllInputsZero) {
  ModelHarness unit;
  const driver::BlockSignals& b = unit.signals();
  EXPECT_EQ(b.errorRate, 0.0);
  EXPECT_EQ(b.targetAcceleration, 0.0);
  EXPECT_EQ(b.effectiveRatio, 0.3);
  EXPECT_EQ(b.engineDragTorque, -3.75);  // engine speed clipped to 500 rpm
  EXPECT_EQ(b.requiredTorque, -3.75);
  EXPECT_EQ(b.feedForwardPedal, 0.12);
  EXPECT_EQ(b.holdBrake, 5000.0);
  EXPECT_EQ(b.brakeForce, 5000.0);
}

TEST(DriverSignals, SteadyCruiseRoadLoad) {
  ModelHarness unit;
  unit.setReal(transmissionRatio, 1.0);
  unit.setReal(engineSpeedRpm, 2000.0);
  unit.setReal(targetSpeedKmh, 50.0);
  unit.setReal(actualSpeedKmh, 50.0);
  unit.steps(4000);
  const driver::BlockSignals& b = unit.signals();
  EXPECT_NEAR(b.effectiveRatio, 1.0, 1e-12);  // the lag has settled
  EXPECT_PRED2(startsWith, b.dragForce, "69.7337");
  EXPECT_EQ(b.rollingDirection, 1.0);
  EXPECT_NEAR(b.rollingForce, 82.32, 1e-12);
  EXPECT_EQ(b.engineDragTorque, -11.25);
  EXPECT_PRED2(startsWith, b.requiredTorque, "-5.2161");
  EXPECT_EQ(b.targetAcceleration, 0.0);
  EXPECT_PRED2(startsWith, b.feedForwardPedal, "1.2423");
  // Target and actual speed were set together: there never was a speed error to integrate.
  EXPECT_EQ(unit.states()[driver::speedErrorIntegral], 0.0);
  EXPECT_EQ(b.speedError, 0.0);
}

TEST(DriverSignals, TargetAccelerationIsABackwardDifferenceOverOneStep) {
  ModelHarness unit;
  const driver::WorkStates& w = unit.work();
  EXPECT_EQ(w.targetMemories.stampA, inf);
  EXPECT_EQ(w.targetMemories.stampB, inf);
  EXPECT_EQ(w.errorMemories.stampA, inf);
  EXPECT_EQ(w.errorMemories.stampB, inf);

  // A ramp of 0.36 km/h per step, 0.1 m/s per step, 40 m/s².
  double previousSpeed = unit.signals().targetSpeed;
  for (int k = 1; k <= 6; ++k) {
    unit.setReal(targetSpeedKmh, 0.36 * k);
    unit.steps(1);
    const double t = unit.time();
    const double previousTime = static_cast<double>(k - 1) * h;
    EXPECT_EQ(t, static_cast<double>(k) * h);
    const driver::BlockSignals& b = unit.signals();
    EXPECT_EQ(b.targetAcceleration, (b.targetSpeed - previousSpeed) / (t - previousTime)) << k;
    EXPECT_NEAR(b.targetAcceleration, 40.0, 1e-9);
    previousSpeed = b.targetSpeed;

    // Storing fills A, then B, then overwrites the older of the two: the memories always hold
    // the samples of the last two major steps.
    const double a = w.targetMemories.stampA;
    const double bStamp = w.targetMemories.stampB;
    if (k == 1) {
      EXPECT_EQ(a, 0.0);
      EXPECT_EQ(bStamp, inf);
    } else {
      EXPECT_EQ(std::max(a, bStamp), previousTime);
      EXPECT_EQ(std::min(a, bStamp), static_cast<double>(k - 2) * h);
    }
  }
  EXPECT_EQ(w.targetMemories.stampA, 4.0 * h);  // steps 0, 2, 4 went to A
  EXPECT_EQ(w.targetMemories.stampB, 5.0 * h);  // steps 1, 3, 5 went to B
}

TEST(DriverSignals, ErrorMemoriesSampleTheHeldError) {
  ModelHarness unit;
  unit.setReal(derivativeGain, 2.0);
  unit.setReal(actualSpeedKmh, -3.0);
  unit.steps(1);
  EXPECT_EQ(unit.signals().speedErrorHold, 0.0);
  EXPECT_EQ(unit.signals().errorRate, 0.0);
  unit.steps(1);
  EXPECT_EQ(unit.signals().speedErrorHold, 3.0);
  EXPECT_EQ(unit.signals().errorRate, ((3.0 - 0.0) / (2.0 * h - 1.0 * h)) * 2.0);
  EXPECT_EQ(unit.work().errorMemories.valueA, 0.0);  // sample of step 0
  EXPECT_EQ(unit.work().errorMemories.valueB, 0.0);  // sample of step 1
  unit.steps(1);
  EXPECT_EQ(unit.signals().errorRate, 0.0);
  EXPECT_EQ(unit.work().errorMemories.valueA, 3.0);  // step 2 overwrote the older sample
}

TEST(DriverSignals, NaNLimitsLetTheSignalThrough) {
  ModelHarness unit;
  unit.setReal(targetSpeedKmh, 3.6);  // 1 m/s
  unit.setReal(570, std::nan(""));    // windSpeed, subtracted after the cap: NaN drag
  unit.setReal(27, std::nan(""));     // directionUpper: no upper clip
  unit.setReal(26, std::nan(""));     // directionLower: no lower clip
  unit.steps(1);
  const driver::BlockSignals& b = unit.signals();
  EXPECT_TRUE(std::isnan(b.dragForce));
  EXPECT_EQ(b.rollingDirection, b.targetSpeed);
  // A NaN target fails the rise test and takes the hold brake.
  unit.setReal(targetSpeedKmh, std::nan(""));
  unit.steps(1);
  EXPECT_EQ(unit.signals().brakeForce, 5000.0);
}

// What a clipped 2-D lookup may read, checked against copies of the map and its axes that are
// heap blocks of exactly their size, so that a read past any of them is caught by the address
// sanitizer; the guard must accept exactly the index pairs that stay inside.
struct MapCase {
  uint32_t refs[2];  // integer references of the last indices of the first and the second axis
  uint32_t (driver::ModelParameters::*maxIndex)[2];
  uint32_t counts[2];
  uint32_t stride;
  uint32_t size;
  const double* (*table)(const driver::ModelParameters&);
  const double* (*axis0)(const driver::ModelParameters&);
  const double* (*axis1)(const driver::ModelParameters&);
};

uint32_t integerRef(const char* name) {
  return test_support::reference<driver::Model>(runtime::BaseType::integer, name);
}

const MapCase mapCases[] = {
    {{integerRef("pedalMapMaxIndex[1]"), integerRef("pedalMapMaxIndex[2]")},
     &driver::ModelParameters::pedalMapMaxIndex, {49, 8}, driver::pedalMapStride, driver::pedalMapSize,
     [](const driver::ModelParameters& p) -> const double* { return p.pedalMap; },
     [](const driver::ModelParameters& p) -> const double* { return p.pedalMapTorques; },
     [](const driver::ModelParameters& p) -> const double* { return p.pedalMapSpeeds; }},
    {{integerRef("engineMapMaxIndex[1]"), integerRef("engineMapMaxIndex[2]")},
     &driver::ModelParameters::engineMapMaxIndex, {8, 8}, driver::engineMapStride, driver::engineMapSize,
     [](const driver::ModelParameters& p) -> const double* { return p.engineTorqueMap; },
     [](const driver::ModelParameters& p) -> const double* { return p.engineMapPedals; },
     [](const driver::ModelParameters& p) -> const double* { return p.engineMapSpeeds; }},
};

std::unique_ptr<double[]> exactCopy(const double* from, uint32_t n) {
  std::unique_ptr<double[]> copy(new double[n]);
  for (uint32_t i = 0; i < n; ++i) copy[i] = from[i];
  return copy;
}

TEST(DriverIndexGuard, AcceptsExactlyTheIndicesThatKeepEveryLookupInside) {
  for (const MapCase& map : mapCases) {
    driver::ModelParameters p = driver::Model::defaultParameters();
    uint32_t* stored = p.*map.maxIndex;
    const auto table = exactCopy(map.table(p), map.size);
    const auto axis0 = exactCopy(map.axis0(p), map.counts[0]);
    const auto axis1 = exactCopy(map.axis1(p), map.counts[1]);
    const double probes0[] = {-1e9, axis0[0], axis0[map.counts[0] / 2] + 0.5,
                              axis0[map.counts[0] - 1], 1e9, std::nan("")};
    const double probes1[] = {-1e9, axis1[0], axis1[1] + 1.0, axis1[map.counts[1] - 1], 1e9,
                              std::nan("")};
    int accepted = 0;
    for (uint32_t m0 = 0; m0 < map.counts[0] + 3; ++m0) {
      // Each write is judged against the map's other index as it currently stands.
      const bool firstAccepted = driver::Model::integerWriteError(p, map.refs[0], m0) == nullptr;
      EXPECT_EQ(firstAccepted, m0 < map.counts[0]) << m0;
      if (!firstAccepted) continue;
      stored[0] = m0;
      for (uint32_t m1 = 0; m1 < map.counts[1] + 3; ++m1) {
        const bool accept = driver::Model::integerWriteError(p, map.refs[1], m1) == nullptr;
        EXPECT_EQ(accept, m1 < map.counts[1]) << m0 << " " << m1;
        if (!accept) continue;
        stored[1] = m1;
        ++accepted;
        for (const double u0 : probes0) {
          for (const double u1 : probes1) {
            const double y = runtime::lookup2DClip(u0, u1, axis0.get(), axis1.get(), table.get(),
                                                   stored, map.stride);
            EXPECT_TRUE(std::isfinite(y));
          }
        }
      }
      stored[1] = map.counts[1] - 1;
    }
    EXPECT_EQ(accepted, static_cast<int>(map.counts[0] * map.counts[1]));
    // Values of 2^31 and more, as a master's negative integers arrive, are refused.
    EXPECT_NE(driver::Model::integerWriteError(p, map.refs[0], 0xFFFFFFFFu), nullptr);
    EXPECT_NE(driver::Model::integerWriteError(p, map.refs[1], 0x80000000u), nullptr);
  }
  // Not a map index: the guard has nothing to say.
  EXPECT_EQ(driver::Model::integerWriteError(driver::Model::defaultParameters(), 4, 1000), nullptr);
}

}  // namespace
}  // namespace driver_test
