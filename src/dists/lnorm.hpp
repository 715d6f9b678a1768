// Log-normal distribution: ln X is normal with location mu and scale sigma.
// Density f(x) = phi((ln x - mu)/sigma)/(sigma x), CDF Phi of ln x, quantile
// e^(normal quantile).  The support is x > 0; the fixed-depth forms count
// arguments below EPS as zero (ln x = -inf); the converged forms, which
// replace them where they fail the agreement rule, take the true logarithm.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/ext_pair.hpp"
#include "cxmath/extended.hpp"
#include "dists/dpq.hpp"
#include "dists/norm.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

// (ln x - mu)/sigma for finite x > 0.  ln x - mu in the extended format
// carries an error of ~2^-64 |ln x|; where ln x is so close to mu that
// this is more than 2^-44 of the difference (which the square of z would
// bring to ~1e-10 in the density), ln x is taken to twice the extended
// precision instead.
inline constexpr double LNORM_CANCELLATION = 0x1p20;

constexpr cxmath::ext lnorm_z(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext lx = cxmath::xp::log(static_cast<ext>(x));
  const ext d = lx - mu;
  if (cxmath::fabs(lx) > LNORM_CANCELLATION * cxmath::fabs(d)) return cxmath::xp::log_minus(x, mu) / sigma;
  return d / sigma;
}

// Log-density of ln x under the normal law, minus ln x.
constexpr double dlnorm_log_converged(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext lx = cxmath::xp::log(static_cast<ext>(x));
  const ext z = lnorm_z(x, mu, sigma);
  return static_cast<double>(
      -(((cxmath::LN_SQRT_2PI_EXT + cxmath::xp::log(static_cast<ext>(sigma))) + (z * z) * ext(0.5)) + lx));
}

constexpr Tails plnorm_tails(double x, double mu, double sigma) {
  if (!(x > 0)) return {0, 1};
  return norm_tails_of(lnorm_z(x, mu, sigma));
}

// The CDF, or its logarithm with the flag (finite however far the tail).
constexpr double plnorm_in_scale(double x, double mu, double sigma, bool give_log) {
  if (!(x > 0)) return dpq::zero(give_log);
  return norm_lower_in_scale(lnorm_z(x, mu, sigma), give_log);
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: x below EPS (taken as x = 0, density 0), and ln x rounded to
// double, an absolute error ~2^-53 |ln x| that reaches the log-density
// as ~2^-53 |ln x| |z|/sigma (checked from 1e-12 of it).
inline constexpr double LNORM_LOG_ERROR = 1e-12;

// The rounding of lx = ln x within the bound, lane by lane where V is a
// pack (the scalar check and the lanes, dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr auto lnorm_log_precise(V lx, V mu, V sigma) {
  using cxmath::fabs;
  using cxmath::lanes::fabs;
  const V z = (lx - mu) / sigma;
  return (fabs(lx) * cxmath::EPS) * (fabs(z) + 1.0) <= LNORM_LOG_ERROR * sigma;
}

constexpr bool lnorm_log_rounding_matters(double x, double mu, double sigma) {
  const double lx = cxmath::log_core(x);
  // The logarithm kernel takes ln x as 0 within 2^-52 of 1 (x = 1 - 2^-53).
  if (lx == 0 && x != 1) return true;
  return !lnorm_log_precise(lx, mu, sigma);
}

constexpr bool dlnorm_region(double x, double mu, double sigma) {
  if (x < cxmath::EPS) return true;
  return lnorm_log_rounding_matters(x, mu, sigma);
}

// The normal density at ln x, subnormal or 0, has lost digits (or all of
// them) that a division by x < 1 brings back into the normal range.
inline constexpr double DLNORM_SMALL_DENSITY = 0x1p-1022;  // the least normal double

constexpr bool dlnorm_divided_region(double x, double normal_density) {
  return normal_density < DLNORM_SMALL_DENSITY && x < 1;
}

// CDF: the same, and wherever the normal CDF of ln x can miss the rule.
constexpr bool plnorm_region(double x, double mu, double sigma) {
  if (x < cxmath::EPS) return true;
  return lnorm_log_rounding_matters(x, mu, sigma) || pnorm_region(cxmath::log_core(x), mu, sigma);
}

// The checks compare the whole fixed-depth function (the normal one at
// ln x) with the converged form, where ln x, mu and sigma are finite.
constexpr bool lnorm_checkable(double x, double mu, double sigma) {
  return x > 0 && x < cxmath::INF && cxmath::isfinite(mu) && cxmath::isfinite(sigma) && sigma != 0;
}

template <bool Checked>
constexpr double dlnorm(double x, double mu, double sigma, bool give_log) {
  using namespace cxmath;
  if (isnan(x) || isnan(mu)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (Checked && lnorm_checkable(x, mu, sigma) && dlnorm_region(x, mu, sigma))
    return keep_density<Checked>(dlnorm<false>(x, mu, sigma, give_log), give_log, true, [&] {
      const double ld = dlnorm_log_converged(x, mu, sigma);
      return give_log ? ld : exp(ld);
    });
  const double lx = x < EPS ? -INF : log_core(x);
  if (isfinite(lx) && isfinite(mu) && isfinite(sigma) && sigma != 0) {
    if (give_log) return dnorm<Checked>(lx, mu, sigma, true) - lx;
    const double d = dnorm<Checked>(lx, mu, sigma, false);
    if (Checked && dlnorm_divided_region(x, d))
      return keep_density<Checked>(d / x, false, true, [&] { return exp(dlnorm_log_converged(x, mu, sigma)); });
    return d / x;
  }
  // Degenerate cases, including every x below EPS.  Unlike the normal
  // density, a zero scale only puts infinite mass where ln x and mu meet at
  // the same infinity.
  double r = 0;
  if (sigma == INF)
    r = 0;
  else if (sigma == 0)
    r = ((lx == INF && mu == INF) || (lx == -INF && mu == -INF)) ? INF : 0.0;
  else
    r = (lx == INF && mu == INF) ? NaN : 0.0;
  return dpq::value(r, give_log);
}

template <bool Checked>
constexpr double plnorm(double x, double mu, double sigma, bool give_log_p) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (Checked && lnorm_checkable(x, mu, sigma) && plnorm_region(x, mu, sigma))
    return keep_probability<Checked>(plnorm<false>(x, mu, sigma, false), give_log_p, true,
                                     [&](bool lg) { return plnorm_in_scale(x, mu, sigma, lg); });
  if (x < EPS) return dpq::zero(give_log_p);
  return pnorm<Checked>(log_core(x), mu, sigma, give_log_p);
}

template <bool Checked>
constexpr double qlnorm(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || dpq::not_a_probability(p)) return NaN;
  const bool inside = p > 0 && p < 1 && sigma < INF;
  // An infinite location carries every quantile to 0 or +inf.
  if (Checked && inside && !isfinite(mu)) return mu > 0 ? INF : 0.0;
  const double qn = qnorm<false>(p, mu, sigma);
  const double q = exp(qn);
  if (!(inside && isfinite(mu) && sigma > 0)) return q;
  // The quantile is e^(normal quantile): checked where that quantile is,
  // and where its rounding to double is magnified by the exponential
  // (|mu| large against sigma, as in the normal check).
  const auto tails = [&](double v) { return v > 0 && v < INF ? plnorm_tails(v, mu, sigma) : NO_TAILS; };
  return keep_quantile<Checked>(q, p, 1 - p, qnorm_region(p, mu, sigma, qn) || !(q > 0 && q < INF), tails,
                                [&] { return static_cast<double>(xp::exp(qnorm_converged_ext(p, mu, sigma, qn))); });
}

}  // namespace detail

constexpr double dlnorm(double x, double mu, double sigma, bool give_log) {
  return detail::dlnorm<true>(x, mu, sigma, give_log);
}
constexpr double plnorm(double x, double mu, double sigma, bool give_log_p) {
  return detail::plnorm<true>(x, mu, sigma, give_log_p);
}
constexpr double qlnorm(double p, double mu, double sigma) { return detail::qlnorm<true>(p, mu, sigma); }

}  // namespace distmill
