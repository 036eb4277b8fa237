// Butcher tableau of the thirteen-stage eighth-order Runge-Kutta step: the Prince-Dormand
// RK8(7)13M pair, of which only the eighth-order weights are used. Every value is the nearest
// double of a published rational p/q, written as that quotient so the table can be checked
// against the rationals exactly.
#pragma once

#include <cstdint>

namespace runtime::ode8 {

struct Rational {
  int64_t p;
  int64_t q;
  constexpr double value() const { return static_cast<double>(p) / static_cast<double>(q); }
};

inline constexpr int stages = 13;

inline constexpr Rational nodes[stages] = {
    {0, 1},   {1, 18},  {1, 12},         {1, 8},
    {5, 16},  {3, 8},   {59, 400},       {93, 200},
    {5490023248, 9719169821},            {13, 20},
    {1201146811, 1299019798},            {1, 1},
    {1, 1}};

inline constexpr Rational weights[stages] = {
    {14005451, 335480064},     {0, 1},
    {0, 1},                    {0, 1},
    {0, 1},                    {-59238493, 1068277825},
    {181606767, 758867731},    {561292985, 797845732},
    {-1041891430, 1371343529}, {760417239, 1151165299},
    {118820643, 751138087},    {-528747749, 2220607170},
    {1, 4}};

// Row i holds a[i][0 .. i-1]; every other entry is zero.
inline constexpr Rational matrix[stages][stages] = {
    {},
    {{1, 18}},
    {{1, 48}, {1, 16}},
    {{1, 32}, {0, 1}, {3, 32}},
    {{5, 16}, {0, 1}, {-75, 64}, {75, 64}},
    {{3, 80}, {0, 1}, {0, 1}, {3, 16}, {3, 20}},
    {{29443841, 614563906}, {0, 1}, {0, 1}, {77736538, 692538347}, {-28693883, 1125000000},
     {23124283, 1800000000}},
    {{16016141, 946692911}, {0, 1}, {0, 1}, {61564180, 158732637}, {22789713, 633445777},
     {545815736, 2771057229}, {-180193667, 1043307555}},
    {{39632708, 573591083}, {0, 1}, {0, 1}, {-433636366, 683701615}, {-421739975, 2616292301},
     {100302831, 723423059}, {790204164, 839813087}, {800635310, 3783071287}},
    {{246121993, 1340847787}, {0, 1}, {0, 1}, {-37695042795, 15268766246},
     {-309121744, 1061227803}, {-12992083, 490766935}, {6005943493, 2108947869},
     {393006217, 1396673457}, {123872331, 1001029789}},
    {{-1028468189, 846180014}, {0, 1}, {0, 1}, {8478235783, 508512852},
     {1311729495, 1432422823}, {-10304129995, 1701304382}, {-48777925059, 3047939560},
     {15336726248, 1032824649}, {-45442868181, 3398467696}, {3065993473, 597172653}},
    {{185892177, 718116043}, {0, 1}, {0, 1}, {-3185094517, 667107341}, {-477755414, 1098053517},
     {-703635378, 230739211}, {5731566787, 1027545527}, {5232866602, 850066563},
     {-4093664535, 808688257}, {3962137247, 1805957418}, {65686358, 487910083}},
    {{403863854, 491063109}, {0, 1}, {0, 1}, {-5068492393, 434740067}, {-411421997, 543043805},
     {652783627, 914296604}, {11173962825, 925320556}, {-13158990841, 6184727034},
     {3936647629, 1978049680}, {-160528059, 685178525}, {248638103, 1413531060}, {0, 1}}};

// The doubles the integrator uses, rounded once from the rationals.
struct Tableau {
  double c[stages];
  double b[stages];
  double a[stages][stages];
};

constexpr Tableau makeTableau() {
  Tableau t{};
  for (int i = 0; i < stages; ++i) {
    t.c[i] = nodes[i].value();
    t.b[i] = weights[i].value();
    for (int k = 0; k < stages; ++k) {
      t.a[i][k] = matrix[i][k].q == 0 ? 0.0 : matrix[i][k].value();
    }
  }
  return t;
}

inline constexpr Tableau tableau = makeTableau();

}  // namespace runtime::ode8
