// Exponential distribution with rate r (mean 1/r) on x >= 0:
// density r e^(-r x), computed as e^(ln r - r x); CDF 1 - e^(-r x) through
// expm1 so that small r x keeps its digits; quantile -ln(1 - p)/r.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"
#include "cxmath/lanes/elementary.hpp"
#include "dists/dpq.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

// Log-density ln rate - rate x, with the true logarithm of a rate below EPS.
constexpr double dexp_log_converged(double x, double rate) {
  using cxmath::ext;
  return static_cast<double>(cxmath::xp::log(static_cast<ext>(rate)) - static_cast<ext>(rate) * x);
}

// P = -(e^(-rate x) - 1) and 1 - P = e^(-rate x), each taken directly.
constexpr Tails pexp_tails(double x, double rate) {
  using cxmath::ext;
  if (!(x > 0)) return {0, 1};
  const ext u = -(static_cast<ext>(rate) * x);
  return {-cxmath::xp::expm1(u), cxmath::xp::exp(u)};
}

// -ln(1 - p)/rate with ln(1 - p) = log1p(-p) in extended precision (1 - p,
// formed in double, loses a small p); rate 0 gives +inf and rate +inf 0.
constexpr double qexp_converged(double p, double rate) {
  using cxmath::ext;
  const ext L = -cxmath::xp::log1p(-static_cast<ext>(p));
  return static_cast<double>(L / rate);
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: a positive rate below EPS, whose logarithm is taken as -inf (the
// density 0 where it is rate e^(-rate x)).  Rate 0 has no density: 0 for
// every finite x.
constexpr bool dexp_region(double rate) { return rate > 0 && rate < cxmath::EPS; }

// CDF: -expm1(-rate x) keeps its relative accuracy in both tails (the
// five-term series up to 1e-4, e^u - 1 with a relative error ~2^-53/|u|
// below ~1e-12 beyond): only a value outside [0, 1] is checked.
//
// Quantile: 1 - p in double loses a small p; 1 - p below EPS has the
// logarithm -inf (an infinite quantile for p = 1 - 2^-53); a zero or
// infinite rate makes 0/0 or inf/inf of some tails.
constexpr bool qexp_region(double p, double rate, double fixed) {
  return p < cxmath::ROUNDED_TAIL || rate == 0 || rate == cxmath::INF || !(fixed < cxmath::INF);
}

// The log-density ln rate - rate x on the ordinary path: the scalar
// function and the lanes (dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr V dexp_log_formula(V x, V rate, V ln_rate) {
  return ln_rate - rate * x;
}

// The CDF -expm1(-rate x) and the quantile -ln(1 - p)/rate with
// ln_q = ln(1 - p), on the ordinary path.
template <class V>
DISTMILL_LANE_INLINE constexpr V pexp_formula(V x, V rate) {
  return -cxmath::lanes::expm1((-rate) * x);
}
template <class V>
DISTMILL_LANE_INLINE constexpr V qexp_formula(V ln_q, V rate) {
  return -ln_q / rate;
}

template <bool Checked>
constexpr double dexp(double x, double rate, bool give_log) {
  using namespace cxmath;
  if (isnan(rate) || isnan(x)) return NaN;
  if (rate < 0) return NaN;
  if (rate == INF) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (x == INF) {
    if (rate > 0) return dpq::zero(give_log);
    return NaN;  // rate 0: 0 * inf has no meaning
  }
  // ln(rate) is -inf below EPS, so rate 0 gives density 0 everywhere.
  const double L = dexp_log_formula(x, rate, log(rate));
  return keep_log_density<Checked>(L, give_log, dexp_region(rate), [&] { return dexp_log_converged(x, rate); });
}

template <bool Checked>
constexpr double pexp(double x, double rate, bool give_log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(rate)) return NaN;
  if (rate < 0) return NaN;
  if (x <= 0) return dpq::zero(give_log_p);
  if (rate == INF) return dpq::one(give_log_p);
  const double P = pexp_formula(x, rate);
  return keep_probability<Checked>(P, give_log_p, false, [&] { return pexp_tails(x, rate); });
}

template <bool Checked>
constexpr double qexp(double p, double rate) {
  using namespace cxmath;
  if (isnan(rate) || rate < 0 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  // 1 - p below EPS makes the logarithm -inf, so the quantile +inf/rate.
  const double q = qexp_formula(log(1 - p), rate);
  // A quantile at 0 or +inf (the ends, where a tail is exactly 0) is right
  // only where the true one rounds there: the converged value decides.
  const auto tails = [&](double v) { return rate > 0 && rate < INF && v > 0 && v < INF ? pexp_tails(v, rate) : NO_TAILS; };
  return keep_quantile<Checked>(q, p, 1 - p, qexp_region(p, rate, q), tails, [&] { return qexp_converged(p, rate); });
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dexp(double x, double rate, bool give_log) { return detail::dexp<true>(x, rate, give_log); }
constexpr double pexp(double x, double rate, bool give_log_p) { return detail::pexp<true>(x, rate, give_log_p); }
constexpr double qexp(double p, double rate) { return detail::qexp<true>(p, rate); }

}  // namespace distmill
