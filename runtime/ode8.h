// One fixed step of the explicit thirteen-stage eighth-order Runge-Kutta method, specialised at
// compile time for a model's number of continuous states. It allocates nothing: its work vectors
// lie inside the model record.
#pragma once

#include "runtime/model_data.h"
#include "runtime/ode8_coefficients.h"
#include "runtime/sim_model.h"

namespace runtime {

namespace ode8 {

// The products of the step size with the tableau that a step forms: h × a[i][p], h × b[i] and
// h × c[i]. Forming them once per step size instead of once per use changes no bit: each is the
// same single rounded product.
struct ScaledTableau {
  double a[stages][stages];
  double b[stages];
  double c[stages];
  // h × a[i][p] twice over, for the sums that go two state elements at a time.
  alignas(2 * sizeof(double)) double aTwice[stages][stages][2];
};

constexpr ScaledTableau scaleTableau(double h) {
  ScaledTableau s{};
  for (int i = 0; i < stages; ++i) {
    for (int p = 0; p < stages; ++p) {
      s.a[i][p] = h * tableau.a[i][p];
      s.aTwice[i][p][0] = s.a[i][p];
      s.aTwice[i][p][1] = s.a[i][p];
    }
    s.b[i] = h * tableau.b[i];
    s.c[i] = h * tableau.c[i];
  }
  return s;
}

// The products for the fixed step of every model, formed by the compiler.
inline constexpr ScaledTableau fixedStepTableau = scaleTableau(fixedStepSize);

// The step's sums go over the state elements two at a time: each lane of a packed addition or
// multiplication is the same IEEE operation on the same operands as the single one, rounded
// alike, so the results are the same bits with half the instructions. A model with an odd number
// of states has its last element done alone. A body is called as body.template operator()<T>(j)
// with T = Pair for elements j and j + 1, or T = double for element j alone.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));

template <class T>
inline T load(const double* p) {
  T v;
  __builtin_memcpy(&v, p, sizeof(T));
  return v;
}
template <class T>
inline void store(double* p, T v) {
  __builtin_memcpy(p, &v, sizeof(T));
}

// The number of states from which the sums go two elements at a time. With two states (the
// chassis, the driver) the packed step took fewer instructions but more time (measured in paired
// rounds, 2026-12-08): the single sums are kept there.
inline constexpr int pairedFrom = 3;

// A stage's derivatives as the model stored them, one element at a time, read right after the
// model returns (the stage's weighted sum, the next stage's state): as one packed load, two single
// stores still in flight would stall it (the processor cannot forward them to it), which costs more
// than the instruction this saves. The partial sums, off the chain of dependent operations, read
// them with one packed load.
template <class T>
inline T loadStored(const double* p) {
  if constexpr (sizeof(T) == sizeof(double)) {
    return *p;
  } else {
    // The empty statement keeps the compiler from merging the two loads into one packed load.
    const double lo = p[0];
    double hi = p[1];
#if defined(__x86_64__) || defined(__i386__)
    asm("" : "+x"(hi));
#endif
    return T{lo, hi};
  }
}

template <int n, class Body>
inline void forEachElement(Body&& body) {
  if constexpr (n < pairedFrom) {
#pragma GCC unroll 16
    for (int j = 0; j < n; ++j) body.template operator()<double>(j);
  } else {
#pragma GCC unroll 16
    for (int j = 0; j + 1 < n; j += 2) body.template operator()<Pair>(j);
    if constexpr (n % 2 == 1) body.template operator()<double>(n - 1);
  }
}

}  // namespace ode8

// Advances the continuous states from the model time to IntegratorInfo.stopTime. The model's
// computeOutputs (a minor step: it takes the time from taskTimes[0], and the major-step prologue
// has nothing to do) runs before the derivatives of every stage but the first, which uses the
// signals of the preceding major step.
template <class M>
void ode8Step(IntegratorInfo& info, SimModel& m) {
  constexpr int n = M::numContinuousStates;

  *info.majorTimeStepPtr = 0;
  Ode8Data& data = *info.integrationDataPtr;
  double* x = *info.continuousStatesPtr;
  double* x0 = data.initialState;
  double* delta = data.delta;
  double* taskTimes = *info.taskTimesPtr;
  const double h = *info.stepSizePtr;
  const double t0 = taskTimes[0];
  const double tf = info.stopTime;

  // The step size is the fixed one in every model; any other gets its products formed here.
  ode8::ScaledTableau other;
  const ode8::ScaledTableau* scaled = &ode8::fixedStepTableau;
  if (!(h == fixedStepSize)) {
    other = ode8::scaleTableau(h);
    scaled = &other;
  }
  const ode8::ScaledTableau& tab = *scaled;

  ode8::forEachElement<n>([&]<class T>(int j) {
    ode8::store<T>(delta + j, T{});
    ode8::store<T>(x0 + j, ode8::load<T>(x + j));
  });

  // Stage i's state is x[j] = (sum over p < i, in ascending p, of (h × a[i][p]) × k_p[j]) + x0[j]
  // (stage 0 evaluates at x = x0, which x already holds). All terms but the last one are known
  // before stage i-1's model routines run, so they are summed then, into `partial`: the
  // processor adds them while the model computes, and after k_{i-1} only the last term and x0
  // remain to be added. The additions and their order are the same.
  //
  // The stages stay a loop, with one call of each model routine: measured faster than the stages
  // unrolled, whose code no longer fits the processor's caches of decoded instructions.
  double partial[n];
  ode8::forEachElement<n>([&]<class T>(int j) { ode8::store<T>(partial + j, T{}); });
  typename M::Data d(m);
  for (int i = 0; i < ode8::stages; ++i) {
    double* k = data.stageDerivatives[i];
    if (i > 0) {
      const double last = tab.a[i][i - 1];
      const double* kLast = data.stageDerivatives[i - 1];
      ode8::forEachElement<n>([&]<class T>(int j) {
        ode8::store<T>(x + j, (ode8::load<T>(partial + j) + last * ode8::loadStored<T>(kLast + j)) +
                                  ode8::load<T>(x0 + j));
      });
      taskTimes[0] = (i == ode8::stages - 1) ? tf : tab.c[i] + t0;
    }
    if (i + 1 < ode8::stages) {
      // Stage i+1's terms p = 0 .. i-1, term by term for all elements at once.
      const auto& a = tab.aTwice[i + 1];
      double s[n];
      ode8::forEachElement<n>([&]<class T>(int j) { ode8::store<T>(s + j, T{}); });
      for (int p = 0; p < i; ++p) {
        const double* w = a[p];
        const double* kp = data.stageDerivatives[p];
        ode8::forEachElement<n>([&]<class T>(int j) {
          ode8::store<T>(s + j, ode8::load<T>(s + j) + ode8::load<T>(w) * ode8::load<T>(kp + j));
        });
      }
      ode8::forEachElement<n>([&]<class T>(int j) { ode8::store<T>(partial + j, ode8::load<T>(s + j)); });
    }
    *info.stateDerivativesPtr = k;
    d.derivatives = k;
    if (i > 0) M::computeOutputs(d);
    M::computeDerivatives(d);
    const double weight = tab.b[i];
    ode8::forEachElement<n>([&]<class T>(int j) {
      ode8::store<T>(delta + j, weight * ode8::loadStored<T>(k + j) + ode8::load<T>(delta + j));
    });
  }

  ode8::forEachElement<n>([&]<class T>(int j) {
    ode8::store<T>(x + j, ode8::load<T>(x0 + j) + ode8::load<T>(delta + j));
  });
  *info.majorTimeStepPtr = 1;
}

}  // namespace runtime
