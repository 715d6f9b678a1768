// Exponential distribution with rate r (mean 1/r) on x >= 0:
// density r e^(-r x), computed as e^(ln r - r x); CDF 1 - e^(-r x) through
// expm1 so that small r x keeps its digits; quantile -ln(1 - p)/r.
#pragma once

#include "dists/dpq.hpp"
#include "cxmath/agreement.hpp"
#include "cxmath/agreement_forms.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended_sound.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

// Log-density ln rate - rate x, with the true logarithm of a rate below EPS.
constexpr double dexp_log_converged(double x, double rate) {
  using cxmath::ext;
  return static_cast<double>(cxmath::xb::log(static_cast<ext>(rate)) - static_cast<ext>(rate) * x);
}

// P = -(e^(-rate x) - 1) and 1 - P = e^(-rate x), each taken directly.
struct ExpTails {
  cxmath::ext lower;
  cxmath::ext upper;
};

constexpr ExpTails pexp_tails(double x, double rate) {
  using cxmath::ext;
  if (!(x > 0)) return {0, 1};
  const ext u = -(static_cast<ext>(rate) * x);
  return {-cxmath::xb::expm1(u), cxmath::xb::exp(u)};
}

// -ln(1 - p)/rate with ln(1 - p) = log1p(-p) in extended precision (1 - p,
// formed in double, loses a small p); rate 0 gives +inf and rate +inf 0.
constexpr double qexp_converged(double p, double rate) {
  using cxmath::ext;
  const ext L = -cxmath::xb::log1p(-static_cast<ext>(p));
  return static_cast<double>(L / rate);
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: a rate below EPS, whose logarithm is taken as -inf (the density
// 0 where it is rate e^(-rate x)).
constexpr bool dexp_fixed_may_fail(double rate) { return rate < cxmath::EPS; }

constexpr double dexp_checked(double x, double rate, double fixed) {
  if (!dexp_fixed_may_fail(rate) && !cxmath::isnan(fixed)) return fixed;
  if (rate == 0) return fixed;  // no density: 0 for every finite x
  const double converged = dexp_log_converged(x, rate);
  return cxmath::log_density_agrees(fixed, converged) ? fixed : converged;
}

// CDF: -expm1(-rate x) keeps its relative accuracy in both tails (the
// five-term series up to 1e-4, e^u - 1 with a relative error ~2^-53/|u|
// below ~1e-12 beyond); only a NaN is checked.
constexpr double pexp_checked(double x, double rate, double fixed) {
  if (fixed >= 0 && fixed <= 1) return fixed;
  const double converged = static_cast<double>(pexp_tails(x, rate).lower);
  return cxmath::probability_agrees(fixed, converged) ? fixed : converged;
}

// Quantile: 1 - p in double loses a small p (relative error ~2^-53/p in
// the quantile: failures below ~1e-6, checked below 1e-4); a zero or
// infinite rate makes 0/0 or inf/inf of some tails.
inline constexpr double QEXP_TAIL = 1e-4;

constexpr bool qexp_fixed_may_fail(double p, double rate) {
  return p < QEXP_TAIL || rate == 0 || rate == cxmath::INF;
}

constexpr double qexp_checked(double p, double rate, double fixed) {
  if (!qexp_fixed_may_fail(p, rate) && !cxmath::isnan(fixed)) return fixed;
  if (!cxmath::isnan(fixed) && rate > 0 && rate < cxmath::INF) {
    const ExpTails t = pexp_tails(fixed, rate);
    if (cxmath::quantile_agrees(t.lower, t.upper, p)) return fixed;
  }
  return qexp_converged(p, rate);
}

template <bool Converged>
constexpr double dexp_impl(double x, double rate, bool give_log) {
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
  double L = log(rate) - rate * x;
  if constexpr (Converged) L = dexp_checked(x, rate, L);
  return dpq::from_log(L, give_log);
}

template <bool Converged>
constexpr double pexp_impl(double x, double rate, bool give_log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(rate)) return NaN;
  if (rate < 0) return NaN;
  double P;
  if (x <= 0)
    P = 0.0;
  else if (rate == INF)
    P = 1.0;
  else {
    P = -cxmath::expm1((-rate) * x);
    if constexpr (Converged) P = pexp_checked(x, rate, P);
  }
  return dpq::value(P, give_log_p);
}

template <bool Converged>
constexpr double qexp_impl(double p, double rate) {
  using namespace cxmath;
  if (isnan(rate) || rate < 0 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  // 1 - p below EPS makes the logarithm -inf, so the quantile +inf/rate.
  const double q = -log(1 - p) / rate;
  if constexpr (Converged) return qexp_checked(p, rate, q);
  return q;
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dexp(double x, double rate, bool give_log) { return detail::dexp_impl<true>(x, rate, give_log); }
constexpr double pexp(double x, double rate, bool give_log_p) { return detail::pexp_impl<true>(x, rate, give_log_p); }
constexpr double qexp(double p, double rate) { return detail::qexp_impl<true>(p, rate); }

namespace detail {
constexpr double dexp_fixed(double x, double rate, bool give_log) { return dexp_impl<false>(x, rate, give_log); }
constexpr double pexp_fixed(double x, double rate, bool give_log_p) { return pexp_impl<false>(x, rate, give_log_p); }
constexpr double qexp_fixed(double p, double rate) { return qexp_impl<false>(p, rate); }
}  // namespace detail

}  // namespace distmill
