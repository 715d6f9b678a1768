// Cauchy distribution with location mu and scale sigma:
// density 1/(pi sigma (1 + z^2)), CDF 1/2 + atan(z)/pi, quantile
// mu + sigma tan(pi (p - 1/2)), with z = (x - mu)/sigma.
//
// The density's products and reciprocal, the quantile's angle and its final
// mu + sigma t are formed in extended precision with the extended pi and
// rounded once to double.
#pragma once

#include "dists/dpq.hpp"
#include "cxmath/agreement.hpp"
#include "cxmath/agreement_forms.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended_sound.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

// Log-density -ln(pi sigma) - ln(1 + z^2): z^2 cannot overflow and the
// logarithm of a density below EPS is kept.
constexpr double dcauchy_log_converged(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext z = (static_cast<ext>(x) - mu) / sigma;
  return static_cast<double>(
      -(cxmath::xb::log(cxmath::PI_EXT * static_cast<ext>(sigma)) + cxmath::xb::log1p(z * z)));
}

struct CauchyTails {
  cxmath::ext lower;  // P(X <= x)
  cxmath::ext upper;  // P(X > x)
};

// The tail beyond |z| is atan(1/|z|)/pi, the body 1/2 - atan(|z|)/pi:
// neither cancels.
constexpr CauchyTails pcauchy_tails(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext z = (static_cast<ext>(x) - mu) / sigma;
  const ext az = cxmath::fabs(z);
  const ext far = az > 1 ? cxmath::xb::atan(1 / az) / cxmath::PI_EXT
                          : 0.5L - cxmath::xb::atan(az) / cxmath::PI_EXT;
  const ext near = 1 - far;
  if (z < 0) return {far, near};
  return {near, far};
}

// mu + sigma tan(pi (p - 1/2)) with the tangent taken at an angle of at
// most pi/4: -cot(pi p) = -1/tan(pi p) below p = 1/4, -tan(pi (1/2 - p))
// up to 1/2 (1/2 - p is exact there), and the mirror images above.
constexpr double qcauchy_converged(double p, double mu, double sigma) {
  using cxmath::ext;
  const bool lower = p < 0.5;
  const double tail = lower ? p : 1 - p;  // exact for p >= 1/2
  const ext t = tail < 0.25 ? 1 / cxmath::tan(cxmath::PI_EXT * static_cast<ext>(tail))
                            : cxmath::tan(cxmath::PI_EXT * (0.5L - static_cast<ext>(tail)));
  return static_cast<double>(static_cast<ext>(mu) + static_cast<ext>(sigma) * (lower ? -t : t));
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: 1 + z^2, formed in double, overflows beyond |z| ~ 1.3e154 (the
// density collapses to 0 even where 1/(pi sigma z^2) is representable);
// and the log form takes the logarithm of the finished density, -inf below
// EPS (|z| beyond ~3.8e7 for sigma = 1), so log-densities below
// ln 1e-14 are checked.  Elsewhere the density is the reciprocal of an
// extended product, accurate to rounding.  A zero sigma is not a density.
inline constexpr double DCAUCHY_SMALL_LOG = -32.2;  // ln 1e-14

constexpr bool dcauchy_fixed_may_fail(double x, double mu, double sigma, bool give_log, double fixed) {
  const double z = (x - mu) / sigma;
  if (!(z * z < cxmath::DBL_MAX_)) return true;
  return give_log && !(fixed >= DCAUCHY_SMALL_LOG);
}

constexpr double dcauchy_converged(double x, double mu, double sigma, bool give_log) {
  using cxmath::ext;
  if (give_log) return dcauchy_log_converged(x, mu, sigma);
  const ext z = (static_cast<ext>(x) - mu) / sigma;
  return static_cast<double>(1 / ((cxmath::PI_EXT * static_cast<ext>(sigma)) * (1 + z * z)));
}

constexpr double dcauchy_checked(double x, double mu, double sigma, bool give_log, double fixed) {
  if (sigma == 0) return fixed;
  if (!dcauchy_fixed_may_fail(x, mu, sigma, give_log, fixed) && !cxmath::isnan(fixed)) return fixed;
  const double converged = dcauchy_converged(x, mu, sigma, give_log);
  if (give_log) return cxmath::log_density_agrees(fixed, converged) ? fixed : converged;
  return cxmath::density_agrees(fixed, converged) ? fixed : converged;
}

// CDF: the lower tail 1/2 + atan(z)/pi cancels (absolute error ~1e-17,
// relative ~1e-17 pi |z|: failures from z ~ -3e6); checked below -1e4.
inline constexpr double PCAUCHY_LOWER_Z = -1e4;

constexpr bool pcauchy_fixed_may_fail(double x, double mu, double sigma) {
  return !((x - mu) / sigma >= PCAUCHY_LOWER_Z);
}

constexpr double pcauchy_checked(double x, double mu, double sigma, double fixed) {
  if (sigma == 0) return fixed;  // the point mass has no value at mu
  if (!pcauchy_fixed_may_fail(x, mu, sigma) && fixed >= 0 && fixed <= 1) return fixed;
  const double converged = static_cast<double>(pcauchy_tails(x, mu, sigma).lower);
  return cxmath::probability_agrees(fixed, converged) ? fixed : converged;
}

// Quantile: p - 1/2 rounded in double is magnified by the pole of the
// tangent (relative error ~2^-54/tail: failures below tail ~1e-6, checked
// below 1e-4); and where |mu| is large against sigma the rounding of the
// sum alone misses the rule (from |mu|/sigma ~ 1e6, checked from 1e5).
inline constexpr double QCAUCHY_TAIL = 1e-4;
inline constexpr double QCAUCHY_RESOLUTION = 1e5;

constexpr bool qcauchy_fixed_may_fail(double p, double mu, double sigma, double fixed) {
  const double tail = dpq::tail(p);
  return tail < QCAUCHY_TAIL || !(cxmath::fabs(mu) <= QCAUCHY_RESOLUTION * sigma) ||
         !(cxmath::fabs(fixed) < cxmath::INF);
}

constexpr double qcauchy_checked(double p, double mu, double sigma, double fixed) {
  if (!cxmath::isfinite(mu)) return mu;
  if (!qcauchy_fixed_may_fail(p, mu, sigma, fixed)) return fixed;
  if (!cxmath::isnan(fixed)) {
    const CauchyTails t = pcauchy_tails(fixed, mu, sigma);
    if (cxmath::quantile_agrees(t.lower, t.upper, p)) return fixed;
  }
  return qcauchy_converged(p, mu, sigma);
}

template <bool Converged>
constexpr double dcauchy_impl(double x, double mu, double sigma, bool give_log) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma)) {
    // sigma = 0 is not special: 0 * inf or 0/0 make the density NaN.
    const double z = (x - mu) / sigma;
    const double q = 1 + z * z;
    const double d = static_cast<double>(1.0L / ((PI_EXT * static_cast<ext>(sigma)) * static_cast<ext>(q)));
    const double v = dpq::value(d, give_log);
    if constexpr (Converged) return dcauchy_checked(x, mu, sigma, give_log, v);
    return v;
  }
  double d;
  if (sigma == INF)
    d = (isfinite(x) && isfinite(mu)) ? 0.0 : NaN;
  else if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
    d = NaN;  // x and mu on the same side: the distance is undefined
  else
    d = 0.0;
  return dpq::value(d, give_log);
}

template <bool Converged>
constexpr double pcauchy_impl(double x, double mu, double sigma, bool give_log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(mu)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  double P;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma)) {
    const double z = (x - mu) / sigma;
    if (isnan(z))
      P = NaN;  // sigma 0 and x = mu
    else if (tiny(z))
      P = 0.5;
    else
      P = cxmath::atan(z) / 3.141592653589793 + 0.5;
    if constexpr (Converged) P = pcauchy_checked(x, mu, sigma, P);
  } else if ((x == INF && mu == INF) || (x == -INF && mu == -INF)) {
    P = NaN;
  } else if (sigma == INF) {
    P = (isfinite(x) && isfinite(mu)) ? 0.5 : NaN;
  } else if (x == INF || mu == -INF) {
    P = 1.0;
  } else {
    P = 0.0;  // x = -inf or mu = +inf
  }
  return dpq::value(P, give_log_p);
}

template <bool Converged>
constexpr double qcauchy_impl(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || dpq::not_a_probability(p)) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  const ext d = PI_EXT * static_cast<ext>(p - 0.5);
  // tan is odd; it is evaluated on the positive half, and angles below the
  // extended tiny threshold give 0.
  ext t;
  if (isnan(d))
    t = NaN_EXT;
  else if (d == 0)
    t = 0.0L;
  else if (d > 0)
    t = d < EPS_EXT ? 0.0L : cxmath::tan(d);
  else
    t = d > -EPS_EXT ? 0.0L : -cxmath::tan(-d);
  const double q = static_cast<double>(static_cast<ext>(mu) + static_cast<ext>(sigma) * t);
  if constexpr (Converged) return qcauchy_checked(p, mu, sigma, q);
  return q;
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dcauchy(double x, double mu, double sigma, bool give_log) {
  return detail::dcauchy_impl<true>(x, mu, sigma, give_log);
}
constexpr double pcauchy(double x, double mu, double sigma, bool give_log_p) {
  return detail::pcauchy_impl<true>(x, mu, sigma, give_log_p);
}
constexpr double qcauchy(double p, double mu, double sigma) {
  return detail::qcauchy_impl<true>(p, mu, sigma);
}

namespace detail {
constexpr double dcauchy_fixed(double x, double mu, double sigma, bool give_log) {
  return dcauchy_impl<false>(x, mu, sigma, give_log);
}
constexpr double pcauchy_fixed(double x, double mu, double sigma, bool give_log_p) {
  return pcauchy_impl<false>(x, mu, sigma, give_log_p);
}
constexpr double qcauchy_fixed(double p, double mu, double sigma) { return qcauchy_impl<false>(p, mu, sigma); }
}  // namespace detail

}  // namespace distmill
