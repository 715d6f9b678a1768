// Uniform distribution on [a, b]: density 1/(b - a), CDF (x - a)/(b - a),
// quantile a + (b - a) p.  Both bounds belong to the support.
#pragma once

#include "dists/dpq.hpp"
#include "cxmath/agreement.hpp"
#include "cxmath/agreement_forms.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended_sound.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision (no difference of two
// doubles overflows there, and each value is rounded once) ----

constexpr double dunif_converged(double a, double b, bool give_log) {
  using cxmath::ext;
  const ext w = static_cast<ext>(b) - a;
  return static_cast<double>(give_log ? -cxmath::xb::log(w) : 1 / w);
}

struct UnifTails {
  cxmath::ext lower;
  cxmath::ext upper;
};

constexpr UnifTails punif_tails(double x, double a, double b) {
  using cxmath::ext;
  if (!(x > a)) return {0, 1};
  if (!(x < b)) return {1, 0};
  const ext w = static_cast<ext>(b) - a;
  return {(static_cast<ext>(x) - a) / w, (static_cast<ext>(b) - x) / w};
}

// a + (b - a) p below 1/2, b - (b - a)(1 - p) above (1 - p exact there).
constexpr double qunif_converged(double p, double a, double b) {
  using cxmath::ext;
  const ext w = static_cast<ext>(b) - a;
  if (p < 0.5) return static_cast<double>(static_cast<ext>(a) + w * p);
  return static_cast<double>(static_cast<ext>(b) - w * (1 - p));
}

// ---- where the fixed-depth forms can miss the rule ----

// Density and CDF: b - a overflowing (1/inf = 0, -ln inf = -inf, x - a over
// inf), and for the log form b - a below EPS (-ln w taken as +inf).
constexpr bool dunif_fixed_may_fail(double a, double b, bool give_log) {
  const double w = b - a;
  return !(w < cxmath::INF) || (give_log && w < cxmath::EPS);
}

constexpr double dunif_checked(double a, double b, bool give_log, double fixed) {
  if (!dunif_fixed_may_fail(a, b, give_log) && !cxmath::isnan(fixed)) return fixed;
  const double converged = dunif_converged(a, b, give_log);
  if (give_log) return cxmath::log_density_agrees(fixed, converged) ? fixed : converged;
  return cxmath::density_agrees(fixed, converged) ? fixed : converged;
}

constexpr bool punif_fixed_may_fail(double x, double a, double b) {
  return !(b - a < cxmath::INF) || !(x - a < cxmath::INF);
}

constexpr double punif_checked(double x, double a, double b, double fixed) {
  if (cxmath::isinf(a) || cxmath::isinf(b)) return fixed;  // not a distribution
  if (!punif_fixed_may_fail(x, a, b) && fixed >= 0 && fixed <= 1) return fixed;
  const double converged = static_cast<double>(punif_tails(x, a, b).lower);
  return cxmath::probability_agrees(fixed, converged) ? fixed : converged;
}

// Quantile: b - a overflowing; and the rounding of (b - a) p + a, ~2^-53
// max(|a|, |b|), against the distance w tail of the quantile from its end:
// the rule fails where that ratio exceeds 1e-10 (bounds far from 0 against
// their distance, or tails so small that the double grid near the end is
// too coarse); checked from 1e-11.
inline constexpr double QUNIF_RESOLUTION = 1e-11;

constexpr bool qunif_fixed_may_fail(double p, double a, double b) {
  const double w = b - a;
  if (!(w < cxmath::INF)) return true;
  const double tail = dpq::tail(p);
  const double m = cxmath::fabs(a) > cxmath::fabs(b) ? cxmath::fabs(a) : cxmath::fabs(b);
  return !(m * cxmath::EPS <= QUNIF_RESOLUTION * (w * tail));
}

constexpr double qunif_checked(double p, double a, double b, double fixed) {
  if (!qunif_fixed_may_fail(p, a, b) && !cxmath::isnan(fixed)) return fixed;
  if (!cxmath::isnan(fixed)) {
    const UnifTails t = punif_tails(fixed, a, b);
    if (cxmath::quantile_agrees(t.lower, t.upper, p)) return fixed;
  }
  return qunif_converged(p, a, b);
}

template <bool Converged>
constexpr double dunif_impl(double x, double a, double b, bool give_log) {
  using namespace cxmath;
  if (isnan(a) || isnan(x)) return NaN;
  if (isnan(b)) return NaN;
  if (a >= b) return NaN;
  if (a == -INF || b == INF) return dpq::zero(give_log);
  if (x < a || x > b) return dpq::zero(give_log);
  const double w = b - a;
  const double v = give_log ? -log(w) : 1 / w;
  if constexpr (Converged) return dunif_checked(a, b, give_log, v);
  return v;
}

template <bool Converged>
constexpr double punif_impl(double x, double a, double b, bool give_log_p) {
  using namespace cxmath;
  if (isnan(a) || isnan(x)) return NaN;
  if (isnan(b)) return NaN;
  if (a >= b) return NaN;
  if (isinf(a) && isinf(b)) return NaN;
  double P;
  if (x <= a)
    P = 0.0;
  else if (x >= b)
    P = 1.0;
  else {
    P = (x - a) / (b - a);  // one infinite bound: inf/inf = NaN
    if constexpr (Converged) P = punif_checked(x, a, b, P);
  }
  return dpq::value(P, give_log_p);
}

template <bool Converged>
constexpr double qunif_impl(double p, double a, double b) {
  using namespace cxmath;
  if (isnan(a) || isnan(b) || a >= b || dpq::not_a_probability(p)) return NaN;
  if (isinf(a) || isinf(b)) return NaN;
  if (p == 0) return a;
  if (p == 1) return b;
  const double q = (b - a) * p + a;
  if constexpr (Converged) return qunif_checked(p, a, b, q);
  return q;
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.  Infinite bounds are
// not a distribution and keep the answers of the fixed-depth forms.
constexpr double dunif(double x, double a, double b, bool give_log) { return detail::dunif_impl<true>(x, a, b, give_log); }
constexpr double punif(double x, double a, double b, bool give_log_p) {
  return detail::punif_impl<true>(x, a, b, give_log_p);
}
constexpr double qunif(double p, double a, double b) { return detail::qunif_impl<true>(p, a, b); }

namespace detail {
constexpr double dunif_fixed(double x, double a, double b, bool give_log) { return dunif_impl<false>(x, a, b, give_log); }
constexpr double punif_fixed(double x, double a, double b, bool give_log_p) {
  return punif_impl<false>(x, a, b, give_log_p);
}
constexpr double qunif_fixed(double p, double a, double b) { return qunif_impl<false>(p, a, b); }
}  // namespace detail

}  // namespace distmill
