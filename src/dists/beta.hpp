// Beta distribution with shapes a and b on [0, 1]:
//   density  x^(a-1) (1-x)^(b-1) / B(a, b),
//   CDF      I_x(a, b), the regularized incomplete beta,
//   quantile I^-1(a, b, p).
// Zero and infinite shapes are the limits of the family: a zero shape
// pushes all mass to its end (both zero: half to each end), an infinite
// shape pushes it to the other end (both infinite: to the midpoint 1/2).
//
// Each function takes the fixed-depth value first; where the kernel's
// region predicate (cxmath/incomplete_beta.hpp) says that value can miss
// the agreement rule, the converged value of incomplete_beta_converged.hpp is
// computed too, and the fixed-depth value is kept exactly when it agrees
// with it.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_beta.hpp"
#include "cxmath/incomplete_beta_converged.hpp"
#include "dists/dpq.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

// Log-density for 0 < x < 1 and finite positive shapes:
// ln(x^a y^b/(a B(a, b))) from the front factor of the converged CDF, plus
// ln a - ln x - ln y.
constexpr double dbeta_log_converged(double x, double a, double b) {
  using cxmath::ext;
  const ext X = x, Y = 1 - X;
  const auto fl = cxmath::detail::beta_front_log(a, b, X, Y);
  return static_cast<double>((fl.value + cxmath::xp::log(static_cast<ext>(a))) -
                             (cxmath::xp::log(X) + cxmath::xp::log(Y)));
}

// Lower and upper probabilities at 0 <= x <= 1 for finite positive shapes.
constexpr Tails pbeta_tails(double x, double a, double b) {
  const auto t = cxmath::incomplete_beta_converged(a, b, x, 1 - static_cast<cxmath::ext>(x));
  return {t.P, t.Q};
}

// The CDF at 0 < x < 1 for finite positive shapes, in the scale of the log
// flag: with the flag ln I_x(a, b) from the log form, finite however far
// the probability lies below the double (and extended) range.
constexpr double pbeta_converged(double x, double a, double b, bool give_log) {
  if (!give_log) return static_cast<double>(pbeta_tails(x, a, b).lower);
  const cxmath::ext X = x;
  return static_cast<double>(cxmath::incomplete_beta_converged_log(a, b, X, 1 - X).log_P);
}

// Quantile for 0 < p < 1 and finite positive shapes; `guess` (the
// fixed-depth value) seeds the iteration when it lies in (0, 1).
constexpr double qbeta_converged(double p, double a, double b, double guess) {
  const cxmath::ext q = 1 - static_cast<cxmath::ext>(p);
  return static_cast<double>(cxmath::incomplete_beta_inv_converged(a, b, p, q, guess).x);
}

// The log-density (b - 1) ln(1 - x) + ((a - 1) ln x - ln B(a, b)) from its
// logarithms lx = ln x, ly = ln(1 - x) and lb = ln B(a, b) on the ordinary
// path.  Written once for the scalar function and the lanes (dists/lanes/),
// where ln B of shapes fixed for a call is taken once.
template <class V>
DISTMILL_LANE_INLINE constexpr V dbeta_log_formula(V lx, V ly, V a, V b, V lb) {
  return (ly * (b - 1.0)) + ((lx * (a - 1.0)) - lb);
}

template <bool Checked>
constexpr double dbeta(double x, double a, double b, bool give_log) {
  using namespace cxmath;
  if (isnan(x) || isnan(a)) return NaN;
  if (isnan(b)) return NaN;
  if (a < 0) return NaN;
  if (b < 0) return NaN;
  if (x < 0 || x > 1) return dpq::zero(give_log);
  if (a == 0 || b == 0 || a == INF || b == INF) {
    // Point masses: an infinite density at the atoms, 0 elsewhere.
    bool atom;
    if (a == 0 && b == 0)
      atom = x == 0 || x == 1;
    else if (a == 0)
      atom = x == 0;
    else if (b == 0)
      atom = x == 1;
    else if (a == INF && b == INF)
      atom = x == 0.5;
    else if (b == INF)
      atom = x == 0;
    else
      atom = x == 1;
    return dpq::value(atom ? INF : 0.0, give_log);
  }
  // The ends: x^(a-1) (and (1-x)^(b-1)) is infinite, 1 or 0 at the end
  // as the exponent is negative, zero or positive; with exponent 0 the
  // density is 1/B(1, b) = b (1/B(a, 1) = a).
  // The logarithm of an end value: the fixed-depth kernel counts shapes
  // below EPS as 0 (-inf); the checked form takes the true logarithm.
  const auto end_log = [](double v) {
    if constexpr (Checked) return static_cast<double>(xp::log(static_cast<ext>(v)));
    return log(v);
  };
  if (x == 0) {
    if (a < 1) return INF;
    if (a > 1) return dpq::zero(give_log);
    return give_log ? end_log(b) : b;
  }
  if (x == 1) {
    if (b < 1) return INF;
    if (b > 1) return dpq::zero(give_log);
    return give_log ? end_log(a) : a;
  }
  const double ld = dbeta_log_formula(log(x), log(1 - x), a, b, lbeta(a, b));
  return keep_log_density<Checked>(ld, give_log, beta_log_density_region(a, b, x),
                                   [&] { return dbeta_log_converged(x, a, b); });
}

template <bool Checked>
constexpr double pbeta(double x, double a, double b, bool give_log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(a)) return NaN;
  if (isnan(b)) return NaN;
  if (a < 0) return NaN;
  if (b < 0) return NaN;
  if (x <= 0) return dpq::zero(give_log_p);
  if (x >= 1) return dpq::one(give_log_p);
  if (a == 0 || b == 0 || a == INF || b == INF) {
    double R;
    if (a == 0 && b == 0)
      R = 0.5;
    else if (a == 0)
      R = 1.0;
    else if (b == 0)
      R = 0.0;
    else if (a == INF && b == INF)
      R = x < 0.5 ? 0.0 : 1.0;
    else if (b == INF)
      R = 1.0;
    else
      R = 0.0;
    return dpq::value(R, give_log_p);
  }
  return keep_probability<Checked>(incomplete_beta(a, b, x), give_log_p, incomplete_beta_region(a, b, x),
                                   [&](bool give_log) { return pbeta_converged(x, a, b, give_log); });
}

// The quantile from the fixed-depth inverse z = I^-1(a, b, p), past the
// guards (the array calls' lanes, which refine z themselves, end here too).
// Checked in the inverse's region and wherever z leaves [0, 1].
template <bool Checked>
constexpr double qbeta_from_inverse(double p, double a, double b, double z) {
  using namespace cxmath;
  const bool in_support = z >= 0 && z <= 1;
  return keep_quantile<Checked>(z, p, 1 - p, incomplete_beta_inv_region(a, b, p) || !in_support,
                                [&](double v) { return v >= 0 && v <= 1 ? pbeta_tails(v, a, b) : NO_TAILS; },
                                [&] { return qbeta_converged(p, a, b, z); });
}

template <bool Checked>
constexpr double qbeta(double p, double a, double b) {
  using namespace cxmath;
  if (isnan(b) || isnan(a) || a < 0 || b < 0 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return 1.0;
  if (a == 0 && b == 0) return p < 0.5 ? 0.0 : p == 0.5 ? 0.5 : 1.0;
  if (a == 0) return 0.0;
  if (b == 0) return 1.0;
  if (a == INF && b == INF) return 0.5;
  if (b == INF) return 0.0;
  if (a == INF) return 1.0;
  return qbeta_from_inverse<Checked>(p, a, b, incomplete_beta_inv(a, b, p));
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dbeta(double x, double a, double b, bool give_log) {
  return detail::dbeta<true>(x, a, b, give_log);
}
constexpr double pbeta(double x, double a, double b, bool give_log_p) {
  return detail::pbeta<true>(x, a, b, give_log_p);
}
constexpr double qbeta(double p, double a, double b) { return detail::qbeta<true>(p, a, b); }

}  // namespace distmill
