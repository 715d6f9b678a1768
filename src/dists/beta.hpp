// Beta distribution with shapes a and b on [0, 1]:
//   density  x^(a-1) (1-x)^(b-1) / B(a, b),
//   CDF      I_x(a, b), the regularized incomplete beta,
//   quantile I^-1(a, b, p).
// Zero and infinite shapes are the limits of the family: a zero shape
// pushes all mass to its end (both zero: half to each end), an infinite
// shape pushes it to the other end (both infinite: to the midpoint 1/2).
//
// Each function first takes the fixed-depth value; where its region
// predicate says that value can miss the agreement rule (agreement.hpp),
// the converged value of incomplete_beta_sound.hpp is computed too, and the
// fixed-depth value is kept exactly when it agrees with it.
#pragma once

#include "dists/dpq.hpp"
#include "cxmath/agreement.hpp"
#include "cxmath/agreement_forms.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_beta.hpp"
#include "cxmath/incomplete_beta_sound.hpp"

namespace distmill {

namespace detail {

// Converged log-density for 0 < x < 1 and finite positive shapes:
// ln(x^a y^b/(a B(a, b))) from the front factor of the converged CDF, plus
// ln a - ln x - ln y.
constexpr double dbeta_log_converged(double x, double a, double b) {
  using cxmath::ext;
  const ext X = x, Y = 1 - X;
  const auto fl = cxmath::detail::beta_front_log(a, b, X, Y);
  return static_cast<double>((fl.value + cxmath::xb::log(static_cast<ext>(a))) -
                             (cxmath::xb::log(X) + cxmath::xb::log(Y)));
}

// Where the fixed-depth log-density can miss the rule: x within EPS of an
// end (the logarithm counts it as the end itself), and shapes for which
// ln B(a, b), a difference of log-gammas of size up to M ln M, loses its
// digits (absolute error ~M ln M 2^-53 in the log-density; 1e-10 near
// M ln M ~ 1e5, checked from 1e4), or whose log-gamma is taken as +inf
// (below EPS) or loses accuracy (below ~1e-5).
inline constexpr double DBETA_SHAPE_BOUND = 1e4;
inline constexpr double DBETA_SMALL_SHAPE = 1e-5;

constexpr bool dbeta_fixed_may_fail(double x, double a, double b) {
  if (x < cxmath::EPS || 1 - x < cxmath::EPS) return true;
  if (a < DBETA_SMALL_SHAPE || b < DBETA_SMALL_SHAPE) return true;
  const double M = a > b ? a : b;
  const double lnM = M > 2.718281828459045 ? log(M) : 1.0;
  return !(M * lnM <= DBETA_SHAPE_BOUND);
}

constexpr double dbeta_checked(double x, double a, double b, double fixed) {
  if (!dbeta_fixed_may_fail(x, a, b) && !cxmath::isnan(fixed)) return fixed;
  const double converged = dbeta_log_converged(x, a, b);
  return cxmath::log_density_agrees(fixed, converged) ? fixed : converged;
}

template <bool Converged>
constexpr double dbeta_impl(double x, double a, double b, bool give_log) {
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
    const double v = atom ? INF : 0.0;
    return dpq::value(v, give_log);
  }
  // The ends: x^(a-1) (and (1-x)^(b-1)) is infinite, 1 or 0 at the end
  // as the exponent is negative, zero or positive; with exponent 0 the
  // density is 1/B(1, b) = b (1/B(a, 1) = a).
  // The logarithm of an end value: the fixed-depth kernel counts shapes
  // below EPS as 0 (-inf); the converged form takes the true logarithm.
  const auto end_log = [](double v) {
    if constexpr (Converged) return static_cast<double>(cxmath::xb::log(static_cast<ext>(v)));
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
  double ld = (log(1 - x) * (b - 1)) + ((log(x) * (a - 1)) - lbeta(a, b));
  if constexpr (Converged) ld = dbeta_checked(x, a, b, ld);
  return dpq::from_log(ld, give_log);
}

}  // namespace detail

// The density: the fixed-depth log-density, replaced by the converged one
// where it fails the agreement rule.
constexpr double dbeta(double x, double a, double b, bool give_log) {
  return detail::dbeta_impl<true>(x, a, b, give_log);
}

namespace detail {
constexpr double dbeta_fixed(double x, double a, double b, bool give_log) {
  return dbeta_impl<false>(x, a, b, give_log);
}
}  // namespace detail

namespace detail {

// Converged lower and upper probabilities at 0 <= x <= 1 for finite
// positive shapes.
constexpr cxmath::detail::BetaTail pbeta_tails(double x, double a, double b) {
  return cxmath::incomplete_beta_sound(a, b, x, 1 - static_cast<cxmath::ext>(x));
}
constexpr double pbeta_converged(double x, double a, double b) {
  return static_cast<double>(pbeta_tails(x, a, b).P);
}

// Converged quantile for 0 < p < 1 and finite positive shapes; `guess`
// (the fixed-depth value) seeds the iteration when it lies in (0, 1).
constexpr double qbeta_converged(double p, double a, double b, double guess) {
  const cxmath::ext q = 1 - static_cast<cxmath::ext>(p);
  return static_cast<double>(cxmath::incomplete_beta_inv_sound(a, b, p, q, guess).x);
}

// Where the fixed-depth I_x(a, b) can miss the agreement rule.
//
// The kernel treats z below EPS (and, through 1 - z, z above 1 - EPS) as
// the end itself.  Otherwise its error is that of the front factor
// exp(a ln z + b ln(1 - z) - ln B(a, b)): ln B is a difference of
// log-gammas of size up to M ln M (M the larger shape), so the factor
// carries a relative error of a few M ln M 2^-53; where the side the
// fraction evaluates lies near 1 (a shape m below 1, the probability
// 1 - I ~ m), the rule measures that error against 1 - I, which multiplies
// it by ~1/m.  The log-gamma of a small shape adds an absolute error that
// grows like 1/m, so against 1 - I ~ m the error grows like 1/m^2 (1e-10
// near m = 3e-3).  The fraction itself is cut at level 205, which only
// matters for shapes in the thousands, already covered.  Measured:
// failures start where M max(1, ln M)/min(1, m) ~ 5e4 or m ~ 3e-3 (errors
// reach 1e-10 there); the region begins about ten times earlier.
inline constexpr double PBETA_SHAPE_BOUND = 5000;
inline constexpr double PBETA_SMALL_SHAPE = 0.01;

constexpr double shape_error_scale(double a, double b) {
  const double M = a > b ? a : b;
  const double m = a > b ? b : a;
  const double w = m < 1 ? m : 1.0;
  // ln M < M: when M^2/w is within the bound the logarithm is not needed
  // (the common case, which so costs a few comparisons).
  if (M * (M > 2.718281828459045 ? M : 1.0) / w <= PBETA_SHAPE_BOUND) return M / w;
  const double lnM = M > 2.718281828459045 ? log(M) : 1.0;
  return (M * lnM) / w;
}

constexpr bool pbeta_fixed_may_fail(double x, double a, double b) {
  if (x < cxmath::EPS || 1 - x < cxmath::EPS) return true;
  if (a < PBETA_SMALL_SHAPE || b < PBETA_SMALL_SHAPE) return true;
  return !(shape_error_scale(a, b) <= PBETA_SHAPE_BOUND);
}

// Where the fixed-depth quantile can miss the rule: wherever the CDF it
// inverts can (the shapes above), and where its start or its damped Halley
// steps fail.  With a shape below 0.3 the tail start rounds to an end or
// below EPS for most p; with a shape below 2 the normal start is poor
// enough that the steps can overshoot out of [0, 1] (NaN) already for p
// near 0.01 when the other shape is large; with both shapes at least 2 the
// steps overshoot only for p below ~4e-7, and above 1 - 3e-7 the iteration,
// which works on I - p with an absolute accuracy of ~1e-16, no longer
// resolves the upper tail 1 - p.  The bounds below leave a margin of more
// than ten in p.
inline constexpr double QBETA_SMALL_SHAPE = 0.3;
inline constexpr double QBETA_NEAR_ONE_SHAPE = 2;
inline constexpr double QBETA_TAIL = 1e-5;
inline constexpr double QBETA_NEAR_ONE_TAIL = 0.1;

constexpr bool qbeta_fixed_may_fail(double p, double a, double b) {
  const double m = a < b ? a : b;
  const double tail = dpq::tail(p);
  if (m < QBETA_SMALL_SHAPE || tail < QBETA_TAIL) return true;
  if (m < QBETA_NEAR_ONE_SHAPE && tail < QBETA_NEAR_ONE_TAIL) return true;
  return !(shape_error_scale(a, b) <= PBETA_SHAPE_BOUND);
}

// The fixed-depth probability where it agrees with the converged one.
constexpr double pbeta_checked(double x, double a, double b, double fixed) {
  if (!pbeta_fixed_may_fail(x, a, b) && fixed >= 0 && fixed <= 1) return fixed;
  const double converged = pbeta_converged(x, a, b);
  return cxmath::probability_agrees(fixed, converged) ? fixed : converged;
}

// The fixed-depth quantile where the converged CDF there agrees with p.
constexpr double qbeta_checked(double p, double a, double b, double fixed) {
  if (!qbeta_fixed_may_fail(p, a, b) && fixed >= 0 && fixed <= 1) return fixed;
  if (fixed >= 0 && fixed <= 1) {
    const auto t = pbeta_tails(fixed, a, b);
    if (cxmath::quantile_agrees(t.P, t.Q, p)) return fixed;
  }
  return qbeta_converged(p, a, b, fixed);
}

template <bool Converged>
constexpr double pbeta_impl(double x, double a, double b, bool give_log_p) {
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
  double P = incomplete_beta(a, b, x);
  if constexpr (Converged) P = pbeta_checked(x, a, b, P);
  return dpq::value(P, give_log_p);
}

template <bool Converged>
constexpr double qbeta_impl(double p, double a, double b) {
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
  const double z = incomplete_beta_inv(a, b, p);
  if constexpr (Converged) return qbeta_checked(p, a, b, z);
  return z;
}

}  // namespace detail

// The CDF and quantile: the fixed-depth value, replaced by the converged one
// where it fails the agreement rule.
constexpr double pbeta(double x, double a, double b, bool give_log_p) {
  return detail::pbeta_impl<true>(x, a, b, give_log_p);
}
constexpr double qbeta(double p, double a, double b) { return detail::qbeta_impl<true>(p, a, b); }

namespace detail {

// The fixed-depth methods alone, as the kernels give them.
constexpr double pbeta_fixed(double x, double a, double b, bool give_log_p) {
  return pbeta_impl<false>(x, a, b, give_log_p);
}
constexpr double qbeta_fixed(double p, double a, double b) { return qbeta_impl<false>(p, a, b); }

}  // namespace detail

}  // namespace distmill
