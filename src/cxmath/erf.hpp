// Error function and its inverse.
//
// For z > 0, with o = z^2 and r = 2o, two continued fractions of fixed depth:
//
//   z <= 2.1:  erf z = 2z e^(-z^2)/sqrt(pi) / L1,
//              L1 = (1 - r) + 4o/((3 - r) + 8o/((5 - r) + ...
//                   + 236o/(119 - r))),
//   z >  2.1:  erf z = 1 - 2 e^(-z^2)/sqrt(pi) / D,
//              D  = t + 2/(t + 4/(t + 6/(... + 118/t))),  t = 2z.
//
// The first is the continued fraction of the Taylor series (59 levels), the
// second that of the complementary function (59 levels).  Both are evaluated
// from the innermost level outwards with no convergence test.  With this
// depth the small branch loses accuracy just below the switch (about 3e-13
// relative at 2.1, 2e-14 at 2); elsewhere both are good to a few ulps.
//
// The inverse starts from a single-precision polynomial guess in
// w = -ln(1 - y^2) (central branch for w < 5, tail branch in sqrt(w) beyond)
// and always performs 55 damped Halley steps.
// References: DLMF 7.6, 7.9; Giles (2012), Approximating the erfinv function.
#pragma once

#include "cxmath/elementary.hpp"
#include "cxmath/ext/pack.hpp"
#include "cxmath/recurrence.hpp"

namespace cxmath {

namespace detail {

inline constexpr double ERF_SWITCH = 2.1;

// Small-branch denominator L1 for o = z^2.  Level k (k = 1..59) is
// (4k o)/level(k+1) + ((2k - 1) - 2o); the level after 59 is 119 - 2o.
template <class T>
DISTMILL_LANE_INLINE constexpr T erf_small_den(T o) {
  const T r = o + o;
  T t = (o * T(236)) / (T(119) - r) + (T(117) - r);
  for (int k = 58; k >= 1; --k)
    t = (o * static_cast<T>(4 * k)) / t + (static_cast<T>(2 * k - 1) - r);
  return t;
}

// Large-branch denominator D for t = 2z.  Level k (k = 1..59) is
// 2k/level(k+1) + t; the level after 59 is t.
template <class T>
DISTMILL_LANE_INLINE constexpr T erf_large_den(T t) {
  T d = T(118) / t + t;
  for (int k = 58; k >= 1; --k) d = static_cast<T>(2 * k) / d + t;
  return d;
}

// The two branches of erf for 0 < z, z not tiny and finite, given
// e = e^(-z^2) formed as exp((-z) * z): on double, or lane by lane on a
// pack of iterates (the batched inverse, dists/lanes/quantile_norm.hpp).
template <class T>
DISTMILL_LANE_INLINE constexpr T erf_small_branch(T z, T e) {
  const T E1 = e / SQRTPI_DOUBLE;
  const T N = (z + z) * E1;
  return N / erf_small_den<T>(z * z);
}
template <class T>
DISTMILL_LANE_INLINE constexpr T erf_large_branch(T z, T e) {
  const T E1 = e / SQRTPI_DOUBLE;
  const T E2 = E1 + E1;
  return 1.0 - E2 / erf_large_den<T>(z + z);
}

constexpr double erf_pos(double z, double e) {
  if (z > ERF_SWITCH) return erf_large_branch(z, e);
  return erf_small_branch(z, e);
}

constexpr double erf_pos(double z) { return erf_pos(z, exp((-z) * z)); }

}  // namespace detail

// Error function in double precision; exactly odd.
constexpr double erf(double x) {
  if (isnan(x)) return NaN;
  if (x == INF) return 1.0;
  if (x == -INF) return -1.0;
  if (x == 0) return 0.0;
  if (x > 0) {
    if (x < EPS) return 0.0;
    return detail::erf_pos(x);
  }
  if (x > -EPS) return 0.0;
  return -detail::erf_pos(-x);
}

namespace detail {

// erf(x) given e = exp((-x) * x), the factor the inverse needs anyway as its
// density.  For |x| >= EPS erf_pos forms exp((-z) * z) with z = |x|; that
// argument equals (-x) * x bit for bit (negation is exact and the product
// commutes), so the value is erf(x) exactly.
constexpr double erf_given_exp(double x, double e) {
  if (isnan(x)) return NaN;
  if (x == INF) return 1.0;
  if (x == -INF) return -1.0;
  if (x == 0) return 0.0;
  if (x > 0) {
    if (x < EPS) return 0.0;
    return erf_pos(x, e);
  }
  if (x > -EPS) return 0.0;
  return -erf_pos(-x, e);
}

}  // namespace detail

namespace detail {

// The pieces of erf_ext for z past its special cases, on one extended value
// or on a group of them (ext/pack.hpp): the factor e^(-z^2)/sqrt(pi) from
// e = -z^2, and each branch from it.
template <class T>
DISTMILL_LANE_INLINE constexpr T erf_ext_factor(T e) {
  return exp_ext(e) / T(SQRTPI_EXT);
}
template <class T>
DISTMILL_LANE_INLINE constexpr T erf_ext_large(T z, T E2) {
  return T(1) - E2 / erf_large_den<T>(z + z);
}
template <class T>
DISTMILL_LANE_INLINE constexpr T erf_ext_small(T z, T E1) {
  const T N = (z + z) * E1;
  return N / erf_small_den<T>(z * z);
}

}  // namespace detail

// Error function of a positive, non-NaN argument in extended precision (the
// normal CDF applies the sign itself).  The factor e^(-z^2)/sqrt(pi) is
// taken from the exact extended constants when the exponent is negligible.
constexpr ext erf_ext(ext z) {
  const ext e = (-z) * z;
  ext E1 = 0, E2 = 0;
  if (isnan(e)) {
    E1 = E2 = NaN_EXT;
  } else if (e == -INF_EXT) {
    E1 = E2 = 0;
  } else if (tiny_ext(e)) {
    E1 = INV_SQRTPI_EXT;
    E2 = TWO_SQRTPI_EXT;
  } else {
    E1 = detail::erf_ext_factor(e);
    E2 = E1 + E1;
  }
  if (z > static_cast<ext>(detail::ERF_SWITCH)) return detail::erf_ext_large(z, E2);
  return detail::erf_ext_small(z, E1);
}

namespace detail {

// erf_ext on n positive arguments z[0..n) that all lie on one side of the
// switch (`large`: above it), each with e = -z^2 neither NaN, -inf nor
// negligible: erf_ext's values, found EXT_INTERLEAVE arguments at a time
// so that the chains of divisions of their continued fractions overlap
// (ext/pack.hpp).
constexpr void erf_ext_many(const ext* z, ext* out, int n, bool large) {
  ext_groups(z, out, n, [large](const auto& a) {
    // The exponential element by element: its chain is short and most of
    // its divisions (r/j) lie off it, so the processor overlaps them
    // already, while a group of them outgrows the eight x87 registers
    // (measured slower from two elements on).
    auto E1 = a;
    for (int l = 0; l < a.size; ++l) E1.v[l] = erf_ext_factor((-a.v[l]) * a.v[l]);
    return large ? erf_ext_large(a, E1 + E1) : erf_ext_small(a, E1);
  });
}

}  // namespace detail

namespace detail {

// Initial guess of the inverse error function: polynomials in w - 2.5
// (central) and sqrt(w) - 3 (tail), highest degree first.
inline constexpr double ERFINV_CENTRAL[9] = {
    2.81022636e-8,  3.43273939e-7,  -3.5233877e-6, -4.39150654e-6, 0.00021858087,
    -0.00125372503, -0.00417768164, 0.246640727,   1.50140941};
inline constexpr double ERFINV_TAIL[9] = {
    -0.000200214257, 0.000100950558, 0.00134934322, -0.00367342844, 0.00573950773,
    -0.0076224613,   0.00943887047,  1.00167406,    2.83297682};

constexpr double horner9(const double (&c)[9], double u) {
  double p = c[0];
  for (int i = 1; i < 9; ++i) p = p * u + c[i];
  return p;
}

// Polynomial guess P(w) y, w = -ln((1 - y)(1 + y)), for |1 - |y|| >= EPS.
// The branch test is made on the logarithm itself: ln w0 > -5 is central.
constexpr double erf_inv_guess(double y) {
  const double w0 = (1 - y) * (1 + y);
  const double lw = log_core(w0);
  const double w = -lw;
  double P = 0;
  if (lw > -5)
    P = horner9(ERFINV_CENTRAL, w - 2.5);
  else
    P = horner9(ERFINV_TAIL, sqrt(w) - 3);
  return P * y;
}

}  // namespace detail

namespace detail {

inline constexpr int ERF_INV_STEPS = 55;

// One damped Halley step of the inverse error function from the state
// (x, D) with f = erf(x): the step s with x_next = x - s.
// Written once for double and for packs of iterates: the divisor is the
// clamped q itself, so h / 1.2 and h / 0.8 are the same divisions.
template <class T>
DISTMILL_LANE_INLINE constexpr T erf_inv_step(T y, T x, T D, T f) {
  using lanes::select;
  const T g2 = ((-2.0 * x) * D) / D;
  const T h = (f - y) / D;
  const T q = 1.0 - g2 * (0.5 * h);
  // A NaN q fails both comparisons and gives a NaN step.
  return h / select(q > 1.2, T(1.2), select(q < 0.8, T(0.8), q));
}

// The 55 refinement steps from the guess x, every one taken.
constexpr double erf_inv_refine_full(double y, double x) {
  double D = exp((-x) * x);
  for (int i = 1; i <= ERF_INV_STEPS; ++i) {
    const double s = erf_inv_step(y, x, D, erf(x));
    if (i == ERF_INV_STEPS) return x - s;
    D = exp((-x) * x);
    x = x - s;
  }
  return x;  // not reached
}

// The same 55 steps, with the same result, doing no work twice.  The step
// from state (x_i, D_i) gives (x_i - s, e^(-x_i^2)): a function of the
// state alone.  States are kept as they are met; a state that recurs ends
// the loop, the final one being read off the cycle (recurrence.hpp).  An
// iterate met before (with another D) reuses its erf and exponential.
// The exponential e^(-x^2) serves both as the next D and inside erf(x).
constexpr double erf_inv_refine(double y, double x) {
  constexpr int N = ERF_INV_STEPS;
  double hx[N] = {}, hD[N] = {}, hf[N] = {}, he[N] = {};
  double D = 0;
  for (int i = 0; i < N; ++i) {
    double f = 0, e = 0;
    bool known = false;
    for (int j = 0; j < i; ++j) {
      if (!same_bits(hx[j], x)) continue;
      if (same_bits(hD[j], D)) return hx[recurrent_index(j, i, N)];
      f = hf[j];
      e = he[j];
      known = true;
    }
    if (!known) {
      e = exp((-x) * x);
      f = erf_given_exp(x, e);
    }
    if (i == 0) D = e;
    hx[i] = x;
    hD[i] = D;
    hf[i] = f;
    he[i] = e;
    const double s = erf_inv_step(y, x, D, f);
    D = e;
    x = x - s;
  }
  return x;
}

// Guards and the polynomial guess, shared by both forms.  Returns true with
// the answer in `out` when a guard decides it.
constexpr bool erf_inv_guard(double y, double& out) {
  if (isnan(y)) {
    out = NaN;
  } else if (y != 0 && fabs(y) > 1) {
    out = NaN;
  } else if (tiny(1 - y)) {
    out = INF;
  } else if (tiny(1 + y)) {
    out = -INF;
  } else {
    return false;
  }
  return true;
}

}  // namespace detail

// The plain loop of 55 steps (the form below gives the same bits).
constexpr double erf_inv_full(double y) {
  double out = 0;
  if (detail::erf_inv_guard(y, out)) return out;
  return detail::erf_inv_refine_full(y, detail::erf_inv_guess(y));
}

// Inverse error function: x with erf(x) = y.
//
// After the polynomial guess, 55 steps x <- x - s with
//   h = (erf x - y)/D,  g2 = -2x,  q = 1 - g2 h/2,  s = h / clamp(q, 0.8, 1.2),
// where D = e^(-x^2) without the 2/sqrt(pi) factor, so each step is a damped
// Halley step.  D is refreshed after the step size is known and before x
// moves, so from the second step on it belongs to the previous iterate.
// There is no convergence test: the result is the 55th iterate, found
// without repeating steps once the iteration has settled into a cycle.
constexpr double erf_inv(double y) {
  double out = 0;
  if (detail::erf_inv_guard(y, out)) return out;
  return detail::erf_inv_refine(y, detail::erf_inv_guess(y));
}

}  // namespace cxmath

// The distribution functions (namespace distmill) call the kernels
// unqualified; these declarations make them win over the C library's
// global functions of the same names, whatever was included first.
namespace distmill {
using cxmath::erf;
using cxmath::erf_ext;
using cxmath::erf_inv;
}  // namespace distmill
