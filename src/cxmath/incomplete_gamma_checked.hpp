// The incomplete gamma kernels as the distribution functions use them: the
// fixed-depth result first, checked against the converged evaluation of
// incomplete_gamma_sound.hpp in the regions where the fixed-depth methods
// can fail, and kept whenever it agrees with it by the rule of
// agreement.hpp (relative 1e-10 of min(P, 1 - P), floor of 4 ulps).
//
// Regions where the fixed-depth forward kernel can fail (measured against
// the converged values over shapes 1e-6 .. 1e8 and arguments across both
// tails; outside these regions no disagreement was found and the largest
// deviation seen was a quarter of the tolerance):
//  * the guards: z below EPS (P is not 0 for small shapes: z^a/Gamma(1+a))
//    and a below EPS (P is not exactly 1 when z is small); and z up to
//    2^-46 (measured: up to 10 EPS), where quadrature nodes below EPS drop
//    out;
//  * results below 2^-1000, rounded in subnormal arithmetic (decided on the
//    fixed-depth value itself);
//  * shapes below 0.05: Gamma(a) near its pole carries a relative error
//    up to 1e-5 into the front factor, so P near 1 is off in its
//    complement at any z;
//  * shapes below 10 and z > 1.5 a + 2: the 55-level fraction stops
//    converging past the mode (first disagreement measured at
//    z = 2.1 a .. 2.7 a + 1, always at least 1.1 above the bound);
//  * shapes from 10: z > a + 1.5 sqrt(a), where the window's upper cut drops
//    tail mass and P close to 1 has to be right to a few ulps (first
//    disagreement at 3 .. 4 sqrt(a) up to a = 1000, 2.6 at 3000);
//    shapes in (15, 31] and z > a - 2 sqrt(a), where the window's lower
//    end a - 4 sqrt(a) drops up to 2e-9 of mass below it (first
//    disagreement at z = a - 0.2 sqrt(a)); shapes above 300 and
//    z < a - 10 sqrt(a), where 50 nodes over a window 11 sqrt(a) wide no
//    longer resolve an integrand that decays within a few units of z
//    (first disagreement at 17 sqrt(a) below a); and every z for shapes
//    above 2000, where the absolute error of ln Gamma(a), a few ulps of
//    a ln a, reaches the tolerance (first disagreement at a = 4460,
//    1.4 sqrt(a) above a; everywhere from about 1e5).
//
// The inverse can fail only where its result is not a finite positive
// number or lies in one of the regions above (checked over shapes 1e-3 ..
// 2000 and p from 2^-52 to 1 - 2^-52 in both tails: every disagreement with
// the converged CDF was of one of these kinds); there the converged CDF at
// the fixed-depth quantile is compared with p, in the tail where the
// smaller of p and 1 - p lies, and the converged inverse answers when they
// disagree.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_sound.hpp"

namespace cxmath {

// Below 2^-46 the quadrature's nodes below EPS drop out (the guarded
// logarithm is -inf there); disagreements were measured up to z = 10 EPS.
inline constexpr double SMALL_Z = 0x1p-46;
// Results below 2^-1000 carry the rounding of subnormal arithmetic.
inline constexpr double SMALL_RESULT = 0x1p-1000;

// True where the fixed-depth P(a, z) may disagree with the converged value
// (a >= 0 and z not NaN).
constexpr bool incomplete_gamma_may_fail(double a, double z) {
  if (z < SMALL_Z || a < EPS) return true;
  if (a < 10) return a < 0.05 || z > 1.5 * a + 2;
  if (a > 2000) return true;
  const double s = sqrt(a);
  if (z > a + 1.5 * s) return true;
  if (a > 15 && a <= 31 && z > a - 2 * s) return true;
  if (a > 300 && z < a - 10 * s) return true;
  return false;
}

// P(a, z): the fixed-depth value where it is accurate, else the converged one.
constexpr double incomplete_gamma_checked(double a, double z) {
  const double fixed = incomplete_gamma(a, z);
  if (isnan(a) || isnan(z) || a < 0) return fixed;
  if (!incomplete_gamma_may_fail(a, z) && !(fixed < SMALL_RESULT)) return fixed;
  const double converged = incomplete_gamma_sound(a, z).P;
  return probability_agrees(fixed, converged) ? fixed : converged;
}

// Q(a, z) given the fixed-depth value `fixed` of a caller that forms it as
// 1 - P (directly or through a CDF with its own guards), kept when accurate.
// Besides the regions of P, the caller marks as `suspect` every value whose
// P exceeded 0.9 (the absolute error of P, a few ulps of 1, is then a
// growing part of Q) and every value its own guards decided.
constexpr double incomplete_gamma_upper_keep(double a, double z, double fixed, bool suspect) {
  if (!suspect && !incomplete_gamma_may_fail(a, z) && !(fixed < SMALL_RESULT)) return fixed;
  const double converged = incomplete_gamma_sound(a, z).Q;
  return probability_agrees(fixed, converged) ? fixed : converged;
}

// Q(a, z) where the fixed-depth method is 1 - P(a, z).
constexpr double incomplete_gamma_upper_checked(double a, double z) {
  const double P = incomplete_gamma(a, z);
  const double fixed = 1 - P;
  if (isnan(a) || isnan(z) || a < 0) return fixed;
  return incomplete_gamma_upper_keep(a, z, fixed, P > 0.9);
}

// True where a fixed-depth quantile x of shape a may be wrong.
constexpr bool incomplete_gamma_inv_may_fail(double a, double x) {
  return !(x > 0 && x < INF) || incomplete_gamma_may_fail(a, x);
}

// Does the converged CDF at x match the target?  p and q = 1 - p are the
// target in both forms; the comparison is made in the tail of the smaller
// one (Q(a, x) against q above 1/2), where the rule asks for relative
// accuracy and the double holding it has the resolution to show it.
constexpr bool incomplete_gamma_quantile_agrees(double a, double p, double q, double x) {
  if (isnan(x) || x < 0) return false;
  const GammaPQ v = incomplete_gamma_sound(a, x);
  return p > 0.5 ? probability_agrees(v.Q, q) : probability_agrees(v.P, p);
}

// The fixed-depth quantile `fixed` for the target (p, q = 1 - p), kept when
// it is accurate, else the converged one.  `suspect` adds a caller's own
// reason to check (the target reached the fixed-depth kernel rounded).
// Requires a > 0 finite and 0 < p, q < 1.
constexpr double incomplete_gamma_inv_keep(double a, double p, double q, double fixed,
                                           bool suspect) {
  if (!suspect && !incomplete_gamma_inv_may_fail(a, fixed)) return fixed;
  if (incomplete_gamma_quantile_agrees(a, p, q, fixed)) return fixed;
  return incomplete_gamma_inv_sound(a, p, q, fixed);
}

// x with P(a, x) = p: the fixed-depth inverse where it is accurate, else the
// converged one.  Outside 0 < p < 1 and 0 < a < inf the fixed-depth guards
// answer (0 for p below EPS is replaced like any other inaccurate value).
constexpr double incomplete_gamma_inv_checked(double a, double p) {
  const double fixed = incomplete_gamma_inv(a, p);
  if (isnan(a) || isnan(p) || !(p > 0 && p < 1) || !(a > 0 && a < INF)) return fixed;
  return incomplete_gamma_inv_keep(a, p, 1 - p, fixed, false);
}

}  // namespace cxmath
