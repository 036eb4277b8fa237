// The runtime's ODE8 step is written for speed (products with the step size formed once, early
// partial sums, one model view per step); these tests hold it to the plain form of the method,
// bit for bit, in every built unit: x_0 = x0 and x_i[j] = (sum over p < i of (h × a[i][p]) ×
// k_p[j]) + x0[j] summed from 0.0 in ascending p, the minor-step outputs before the derivatives of every stage
// but the first, the weighted sum (h × b[i]) × k_i[j] + delta[j], and x = x0 + delta.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "bench/unit_drivers.h"
#include "bench_units.h"
#include "runtime/ode8_coefficients.h"

namespace {

namespace ode8 = runtime::ode8;

// The step as the method states it, with its own stage vectors.
template <class M>
void plainOde8Step(runtime::SimModel& m) {
  constexpr int n = M::numContinuousStates;
  runtime::IntegratorInfo& info = *m.integrator;
  const ode8::Tableau& tab = ode8::tableau;
  double k[ode8::stages][n];
  double x0[n];
  double delta[n];
  double* x = m.continuousStates;
  const double h = m.stepSize0;
  const double t0 = m.taskTimes[0];
  const double tf = info.stopTime;
  m.majorTimeStep = 0;
  for (int j = 0; j < n; ++j) {
    delta[j] = 0.0;
    x0[j] = x[j];
  }
  for (int i = 0; i < ode8::stages; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i == 0) {
        x[j] = x0[j];  // the first stage evaluates at x0 itself (a -0.0 stays -0.0)
        continue;
      }
      double s = 0.0;
      for (int p = 0; p < i; ++p) s = s + (h * tab.a[i][p]) * k[p][j];
      x[j] = s + x0[j];
    }
    m.stateDerivatives = k[i];
    if (i > 0) {
      m.taskTimes[0] = i == ode8::stages - 1 ? tf : h * tab.c[i] + t0;
      runtime::modelComputeOutputs<M>(&m, 0);
    }
    typename M::Data d(m);
    M::computeDerivatives(d);
    for (int j = 0; j < n; ++j) delta[j] = (h * tab.b[i]) * k[i][j] + delta[j];
  }
  for (int j = 0; j < n; ++j) x[j] = x0[j] + delta[j];
  m.majorTimeStep = 1;
}

// One fixed step around the plain ODE8 step, as the interface layer takes it.
template <class M>
void plainFixedStep(bench::DirectModel<M>& unit) {
  runtime::ModelInterface& mi = unit.table();
  runtime::SimModel& m = *mi.model;
  {
    typename M::Data d(m);
    M::updateDiscreteStates(d);
  }
  plainOde8Step<M>(m);
  runtime::advanceClock(m);
  mi.updateContinuousStates(&m);
  mi.setSolverStopTime(&m, -1.0);
  mi.computeOutputs(&m, 0);
}

// The bits of every real variable and every state.
template <class M>
std::vector<uint64_t> bitsOf(bench::DirectModel<M>& unit) {
  std::vector<uint64_t> bits;
  for (uint32_t vr = 0; vr < bench::realCount<M>(); ++vr) bits.push_back(std::bit_cast<uint64_t>(unit.getReal(vr)));
  const runtime::SimModel& m = *unit.table().model;
  for (int j = 0; j < M::numContinuousStates; ++j) bits.push_back(std::bit_cast<uint64_t>(m.continuousStates[j]));
  return bits;
}

// Steps two instances side by side, one with the runtime's step and one with the plain step, with
// the inputs wandering around the operating point and one input NaN for one step in the middle
// of the second half; `stepSize` replaces the fixed step of both when it is not 0.
template <class M>
void expectSameBits(const char* unit, const bench::OperatingPoint& point, double stepSize) {
  bench::DirectModel<M> fast;
  bench::DirectModel<M> plain;
  bench::reachOperatingPoint<M>(fast, point);
  bench::reachOperatingPoint<M>(plain, point);
  if (stepSize != 0.0) {
    fast.table().model->stepSize0 = stepSize;
    plain.table().model->stepSize0 = stepSize;
  }
  ASSERT_EQ(bitsOf(fast), bitsOf(plain)) << unit << " at the operating point";
  for (int k = 0; k < 400; ++k) {
    for (std::size_t i = 0; i < point.inputs.size(); ++i) {
      double v = point.inputs[i].value * (1.0 + 0.3 * std::sin(0.02 * k + static_cast<double>(i)));
      if (k == 300 && i == 0) v = std::numeric_limits<double>::quiet_NaN();
      const uint32_t vr = bench::realReference<M>(point.inputs[i].name);
      fast.setReal(vr, v);
      plain.setReal(vr, v);
    }
    fast.step();
    plainFixedStep(plain);
    ASSERT_EQ(bitsOf(fast), bitsOf(plain)) << unit << " after step " << k;
  }
}

TEST(Ode8StepEquivalence, TheFixedStepProductsAreTheRunTimeProducts) {
  volatile double step = runtime::fixedStepSize;  // formed at run time, not by the compiler
  const double h = step;
  const ode8::ScaledTableau& s = ode8::fixedStepTableau;
  for (int i = 0; i < ode8::stages; ++i) {
    EXPECT_EQ(std::bit_cast<uint64_t>(s.b[i]), std::bit_cast<uint64_t>(h * ode8::tableau.b[i])) << i;
    EXPECT_EQ(std::bit_cast<uint64_t>(s.c[i]), std::bit_cast<uint64_t>(h * ode8::tableau.c[i])) << i;
    for (int p = 0; p < ode8::stages; ++p) {
      EXPECT_EQ(std::bit_cast<uint64_t>(s.a[i][p]), std::bit_cast<uint64_t>(h * ode8::tableau.a[i][p]))
          << i << "," << p;
    }
  }
}

TEST(Ode8StepEquivalence, EveryUnitMatchesThePlainStepBitForBit) {
#define EQUIVALENCE_UNIT(id, M, point, library, description) expectSameBits<M>(#id, point, 0.0);
  BENCH_FOR_EACH_UNIT(EQUIVALENCE_UNIT)
#undef EQUIVALENCE_UNIT
}

TEST(Ode8StepEquivalence, AnotherStepSizeMatchesThePlainStepBitForBit) {
  // A step size other than the fixed one takes the products formed at run time.
#define EQUIVALENCE_UNIT(id, M, point, library, description) expectSameBits<M>(#id, point, 0.001);
  BENCH_FOR_EACH_UNIT(EQUIVALENCE_UNIT)
#undef EQUIVALENCE_UNIT
}

}  // namespace
