// Uniform distribution on [a, b]: density 1/(b - a), CDF (x - a)/(b - a),
// quantile a + (b - a) p.  Both bounds belong to the support.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"
#include "dists/dpq.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision (no difference of two
// doubles overflows there, and each value is rounded once) ----

constexpr double dunif_converged(double a, double b, bool give_log) {
  using cxmath::ext;
  const ext w = static_cast<ext>(b) - a;
  return static_cast<double>(give_log ? -cxmath::xp::log(w) : 1 / w);
}

constexpr Tails punif_tails(double x, double a, double b) {
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
constexpr bool dunif_region(double a, double b, bool give_log) {
  const double w = b - a;
  return !(w < cxmath::INF) || (give_log && w < cxmath::EPS);
}

constexpr bool punif_region(double x, double a, double b) {
  return !(b - a < cxmath::INF) || !(x - a < cxmath::INF);
}

// Quantile: b - a overflowing; and the rounding of (b - a) p + a, ~2^-53
// max(|a|, |b|), against the distance w tail of the quantile from its end
// (bounds far from 0 against their distance, or tails so small that the
// double grid near the end is too coarse).
inline constexpr double QUNIF_RESOLUTION = 1e-11;

constexpr bool qunif_region(double p, double a, double b) {
  const double w = b - a;
  if (!(w < cxmath::INF)) return true;
  const double m = cxmath::fabs(a) > cxmath::fabs(b) ? cxmath::fabs(a) : cxmath::fabs(b);
  return !(m * cxmath::EPS <= QUNIF_RESOLUTION * (w * dpq::tail(p)));
}

// The CDF (x - a)/(b - a) and the quantile (b - a) p + a on the ordinary
// path: the scalar functions and the lanes (dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr V punif_formula(V x, V a, V b) {
  return (x - a) / (b - a);
}
template <class V>
DISTMILL_LANE_INLINE constexpr V qunif_formula(V p, V a, V b) {
  return (b - a) * p + a;
}

template <bool Checked>
constexpr double dunif(double x, double a, double b, bool give_log) {
  using namespace cxmath;
  if (isnan(a) || isnan(x)) return NaN;
  if (isnan(b)) return NaN;
  if (a >= b) return NaN;
  if (a == -INF || b == INF) return dpq::zero(give_log);
  if (x < a || x > b) return dpq::zero(give_log);
  const double w = b - a;
  const double v = give_log ? -log(w) : 1 / w;
  return keep_density<Checked>(v, give_log, dunif_region(a, b, give_log), [&] { return dunif_converged(a, b, give_log); });
}

template <bool Checked>
constexpr double punif(double x, double a, double b, bool give_log_p) {
  using namespace cxmath;
  if (isnan(a) || isnan(x)) return NaN;
  if (isnan(b)) return NaN;
  if (a >= b) return NaN;
  if (isinf(a) && isinf(b)) return NaN;
  if (x <= a) return dpq::zero(give_log_p);
  if (x >= b) return dpq::one(give_log_p);
  const double P = punif_formula(x, a, b);  // one infinite bound: inf/inf = NaN
  // Infinite bounds are not a distribution: that NaN stands.
  if (isinf(a) || isinf(b)) return dpq::value(P, give_log_p);
  return keep_probability<Checked>(P, give_log_p, punif_region(x, a, b),
                                   [&] { return punif_tails(x, a, b); });
}

template <bool Checked>
constexpr double qunif(double p, double a, double b) {
  using namespace cxmath;
  if (isnan(a) || isnan(b) || a >= b || dpq::not_a_probability(p)) return NaN;
  if (isinf(a) || isinf(b)) return NaN;
  if (p == 0) return a;
  if (p == 1) return b;
  const double q = qunif_formula(p, a, b);
  return keep_quantile<Checked>(q, p, 1 - p, qunif_region(p, a, b), [&](double v) { return punif_tails(v, a, b); },
                                [&] { return qunif_converged(p, a, b); });
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.  Infinite bounds are
// not a distribution and keep the answers of the fixed-depth forms.
constexpr double dunif(double x, double a, double b, bool give_log) { return detail::dunif<true>(x, a, b, give_log); }
constexpr double punif(double x, double a, double b, bool give_log_p) {
  return detail::punif<true>(x, a, b, give_log_p);
}
constexpr double qunif(double p, double a, double b) { return detail::qunif<true>(p, a, b); }

}  // namespace distmill
