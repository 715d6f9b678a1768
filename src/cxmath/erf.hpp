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
#pragma once

#include "cxmath/elementary.hpp"

namespace cxmath {

namespace detail {

inline constexpr double ERF_SWITCH = 2.1;
inline constexpr double SQRTPI = 1.772453850905516;

// Small-branch denominator L1 for o = z^2.  Level k (k = 1..59) is
// (4k o)/level(k+1) + ((2k - 1) - 2o); the level after 59 is 119 - 2o.
template <class T>
constexpr T erf_small_den(T o) {
  const T r = o + o;
  T t = (o * T(236)) / (T(119) - r) + (T(117) - r);
  for (int k = 58; k >= 1; --k)
    t = (o * static_cast<T>(4 * k)) / t + (static_cast<T>(2 * k - 1) - r);
  return t;
}

// Large-branch denominator D for t = 2z.  Level k (k = 1..59) is
// 2k/level(k+1) + t; the level after 59 is t.
template <class T>
constexpr T erf_large_den(T t) {
  T d = T(118) / t + t;
  for (int k = 58; k >= 1; --k) d = static_cast<T>(2 * k) / d + t;
  return d;
}

// erf for 0 < z (double), z not tiny and finite.
constexpr double erf_pos(double z) {
  const double E1 = exp((-z) * z) / SQRTPI;
  if (z > ERF_SWITCH) {
    const double E2 = E1 + E1;
    return 1 - E2 / erf_large_den<double>(z + z);
  }
  const double N = (z + z) * E1;
  return N / erf_small_den<double>(z * z);
}

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
    E1 = exp_ext(e) / SQRTPI_EXT;
    E2 = E1 + E1;
  }
  if (z > static_cast<ext>(detail::ERF_SWITCH))
    return 1 - E2 / detail::erf_large_den<ext>(z + z);
  const ext N = (z + z) * E1;
  return N / detail::erf_small_den<ext>(z * z);
}

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

// Inverse error function: x with erf(x) = y.
//
// After the polynomial guess, 55 steps x <- x - s with
//   h = (erf x - y)/D,  g2 = -2x,  q = 1 - g2 h/2,  s = h / clamp(q, 0.8, 1.2),
// where D = e^(-x^2) without the 2/sqrt(pi) factor, so each step is a damped
// Halley step.  D is refreshed after the step size is known and before x
// moves, so from the second step on it belongs to the previous iterate.
// Every step is taken: there is no convergence test.
constexpr double erf_inv(double y) {
  if (isnan(y)) return NaN;
  if (y != 0 && fabs(y) > 1) return NaN;
  if (tiny(1 - y)) return INF;
  if (tiny(1 + y)) return -INF;
  double x = detail::erf_inv_guess(y);
  double D = exp((-x) * x);
  for (int i = 1; i <= 55; ++i) {
    const double g2 = ((-2 * x) * D) / D;
    const double h = (erf(x) - y) / D;
    const double q = 1 - g2 * (0.5 * h);
    // A NaN q fails both comparisons and gives a NaN step.
    const double s = q > 1.2 ? h / 1.2 : q < 0.8 ? h / 0.8 : h / q;
    if (i == 55) return x - s;
    D = exp((-x) * x);
    x = x - s;
  }
  return x;  // not reached
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
