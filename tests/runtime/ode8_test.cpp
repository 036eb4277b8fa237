// The integration step: the tableau's order conditions, accuracy against a closed form, exact
// preservation of a constant state, the stage times, and the step clock.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/ode8_coefficients.h"
#include "tests/runtime/test_model.h"

namespace {

using runtime::ode8::tableau;
using runtime::ode8::Rational;
constexpr int stages = runtime::ode8::stages;
constexpr double h = runtime::fixedStepSize;

// The published rationals the integrator's doubles are rounded from, as exact fractions.
mpq_class exact(const Rational& r) {
  mpq_class q(mpz_class(static_cast<long>(r.p)), mpz_class(static_cast<long>(r.q)));
  q.canonicalize();
  return q;
}
mpq_class a(int i, int k) { return exact(runtime::ode8::matrix[i][k]); }
mpq_class b(int i) { return exact(runtime::ode8::weights[i]); }
mpq_class c(int i) { return exact(runtime::ode8::nodes[i]); }

// True when `rounded` is the double nearest to `q` (a double is a dyadic rational, exactly).
bool isNearestDouble(double rounded, const mpq_class& q) {
  const mpq_class error = abs(mpq_class(rounded) - q);
  const double below = std::nextafter(rounded, -INFINITY);
  const double above = std::nextafter(rounded, INFINITY);
  return error <= abs(mpq_class(below) - q) && error <= abs(mpq_class(above) - q);
}

TEST(Ode8Tableau, TheDoublesAreTheRationalsRoundedToNearest) {
  for (int i = 0; i < stages; ++i) {
    EXPECT_TRUE(isNearestDouble(tableau.c[i], c(i))) << "c[" << i << "]";
    EXPECT_TRUE(isNearestDouble(tableau.b[i], b(i))) << "b[" << i << "]";
    for (int k = 0; k < stages; ++k) {
      const bool zero = runtime::ode8::matrix[i][k].q == 0;
      if (zero) {
        EXPECT_EQ(tableau.a[i][k], 0.0);
      } else {
        EXPECT_TRUE(isNearestDouble(tableau.a[i][k], a(i, k))) << "a[" << i << "][" << k << "]";
      }
    }
  }
}

double absDouble(const mpq_class& q) { return std::fabs(q.get_d()); }

TEST(Ode8Tableau, RowSumsOfTheMatrixEqualTheNodes) {
  for (int i = 0; i < stages; ++i) {
    mpq_class sum = 0;
    for (int k = 0; k < stages; ++k) {
      if (k >= i) {
        EXPECT_EQ(tableau.a[i][k], 0.0) << "a[" << i << "][" << k << "] above the diagonal";
      }
      if (runtime::ode8::matrix[i][k].q != 0) sum += a(i, k);
    }
    EXPECT_LT(absDouble(sum - c(i)), 1e-16) << "row " << i;
  }
}

TEST(Ode8Tableau, WeightsIntegratePolynomialsUpToDegreeSevenExactly) {
  for (int power = 0; power <= 7; ++power) {
    mpq_class sum = 0;
    for (int i = 0; i < stages; ++i) {
      mpq_class cPower = 1;
      for (int p = 0; p < power; ++p) cPower *= c(i);
      sum += b(i) * cPower;
    }
    const mpq_class expected(1, power + 1);
    EXPECT_LT(absDouble(sum - expected), 1e-16) << "degree " << power;
  }
}

TEST(Ode8Tableau, EighthOrderConditionsThroughTheMatrix) {
  // sum b_i a_ij c_j^k = 1/((k+1)(k+2)) for k = 0..6: catches a wrong matrix entry that the row
  // sums alone would hide when two entries of one row are swapped.
  for (int power = 0; power <= 6; ++power) {
    mpq_class sum = 0;
    for (int i = 0; i < stages; ++i) {
      mpq_class inner = 0;
      for (int j = 0; j < i; ++j) {
        mpq_class cPower = 1;
        for (int p = 0; p < power; ++p) cPower *= c(j);
        inner += a(i, j) * cPower;
      }
      sum += b(i) * inner;
    }
    const mpq_class expected(1, (power + 1) * (power + 2));
    EXPECT_LT(absDouble(sum - expected), 1e-16) << "degree " << power;
  }
}

TEST(Ode8Tableau, WeightsSumInStageOrderToTheDocumentedDouble) {
  double sum = 0.0;
  for (int i = 0; i < stages; ++i) sum += tableau.b[i];
  EXPECT_EQ(sum, 0.9999999999999999);
  EXPECT_EQ(tableau.c[11], 1.0);
  EXPECT_EQ(tableau.c[12], 1.0);
}

TEST(Ode8Step, ExponentialDecayMatchesTheClosedFormOver400Steps) {
  test_model::Driven m;
  m.parameters().rate = -0.5;
  m.setup();
  for (int n = 1; n <= 400; ++n) {
    m.fixedStep();
    const double t = n * h;
    const double expected = std::exp(-0.5 * t);
    EXPECT_NEAR(m.states()[test_model::growingState] / expected, 1.0, 1e-13) << "step " << n;
  }
  EXPECT_EQ(m.time(), 1.0);
}

TEST(Ode8Step, StateWithZeroDerivativeKeepsItsExactBits) {
  test_model::Driven m;
  m.parameters().initialHeld = 0.1 + 0.2;  // not a round number
  m.setup();
  for (int n = 0; n < 1000; ++n) m.fixedStep();
  EXPECT_EQ(m.states()[test_model::heldState], 0.1 + 0.2);
}

TEST(Ode8Step, StageTimesFollowTheNodesAndTheLastStageUsesTheStopTime) {
  test_model::Driven m;
  m.setup();
  m.fixedStep();  // t0 = 0
  test_model::Model::minorTimes.clear();
  m.fixedStep();  // t0 = 0.0025, stop time 0.005
  const auto& times = test_model::Model::minorTimes;
  ASSERT_EQ(times.size(), 12u) << "twelve minor computeOutputs calls, none at stage 0";
  const double t0 = h;
  for (int i = 1; i <= 11; ++i) EXPECT_EQ(times[i - 1], h * tableau.c[i] + t0) << "stage " << i;
  EXPECT_EQ(times[11], 2.0 * h) << "stage 12 at the stop time";
  EXPECT_LT(times[5], times[4]) << "stage 6 (0.1475) comes after stage 5 (0.375)";
  EXPECT_EQ(m.mi.model->majorTimeStep, 1);
}

TEST(Ode8Step, NonFiniteDerivativesPropagateWithoutChangingTheStep) {
  test_model::Driven m;
  m.parameters().rate = std::numeric_limits<double>::infinity();
  m.setup();
  m.fixedStep();
  m.fixedStep();
  EXPECT_TRUE(std::isnan(m.states()[test_model::growingState]) ||
              std::isinf(m.states()[test_model::growingState]));
  EXPECT_EQ(m.time(), 0.005);
}

TEST(StepClock, StopTimeAndModelTimeComeFromTheTickCount) {
  test_model::Driven m;
  EXPECT_EQ(m.time(), 0.0);
  EXPECT_EQ(m.mi.model->clockTick0, 0u);
  m.setup();
  EXPECT_EQ(m.mi.getStepEndTime(m.mi.model), h);
  EXPECT_EQ(m.mi.getSolverStopTime(m.mi.model), m.mi.getStepEndTime(m.mi.model));
  for (int k = 1; k <= 400; ++k) {
    m.fixedStep();
    ASSERT_EQ(m.time(), k * h) << "the time is a product, not a sum of increments";
    ASSERT_EQ(m.mi.getStepEndTime(m.mi.model), (k + 1) * h);
  }
  EXPECT_EQ(m.time(), 1.0);
  EXPECT_EQ(m.mi.getNextSampleHitTime(m.mi.model), -1.0);
}

TEST(StepClock, LowWordWrapsIntoTheHighWord) {
  test_model::Driven m;
  m.setup();
  m.mi.model->clockTick0 = 4294967295u;
  m.mi.model->clockTickHigh0 = 0;
  m.mi.setSolverStopTime(m.mi.model, -1.0);
  m.mi.computeOutputs(m.mi.model, 0);
  EXPECT_EQ(m.mi.getStepEndTime(m.mi.model), 1.0 * h * 4294967296.0);
  m.fixedStep();
  EXPECT_EQ(m.mi.model->clockTick0, 0u);
  EXPECT_EQ(m.mi.model->clockTickHigh0, 1u);
  EXPECT_EQ(m.time(), h * 4294967296.0);
  EXPECT_EQ(m.mi.getStepEndTime(m.mi.model), 1.0 * h * 4294967296.0 + 1.0 * h);
}

TEST(StepClock, FinalTimeDoesNotStopStepping) {
  test_model::Driven m;
  m.setup(0.001);
  for (int k = 0; k < 10; ++k) m.fixedStep();
  EXPECT_EQ(m.time(), 10 * h);
}

}  // namespace
