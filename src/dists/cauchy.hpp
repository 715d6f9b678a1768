// Cauchy distribution with location mu and scale sigma:
// density 1/(pi sigma (1 + z^2)), CDF 1/2 + atan(z)/pi, quantile
// mu + sigma tan(pi (p - 1/2)), with z = (x - mu)/sigma.
//
// The density's products and reciprocal, the quantile's angle and its final
// mu + sigma t are formed in extended precision with the extended pi and
// rounded once to double.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"
#include "dists/dpq.hpp"

namespace distmill {

namespace detail {

// ---- the fixed-depth formulas, shared with the lanes (dists/lanes/) ----

// The density 1/((pi sigma) q), q = 1 + z^2, given pi sigma in extended
// precision.
constexpr double dcauchy_of(cxmath::ext pi_sigma, double q) {
  using cxmath::ext;
  return static_cast<double>(ext(1.0) / (pi_sigma * static_cast<ext>(q)));
}

// The quantile's tangent at d = pi (p - 1/2) in extended precision (tan is
// odd; it is evaluated on the positive half, and angles below the extended
// tiny threshold give 0), and the quantile mu + sigma t from it.
constexpr cxmath::ext qcauchy_tan(cxmath::ext d) {
  using namespace cxmath;
  if (isnan(d)) return NaN_EXT;
  if (d == 0) return ext(0.0);
  if (d > 0) return d < EPS_EXT ? ext(0.0) : tan(d);
  return d > -EPS_EXT ? ext(0.0) : -tan(-d);
}
constexpr double qcauchy_of(double mu, double sigma, cxmath::ext t) {
  using cxmath::ext;
  return static_cast<double>(static_cast<ext>(mu) + static_cast<ext>(sigma) * t);
}

// ---- converged forms, in extended precision ----

// Log-density -ln(pi sigma) - ln(1 + z^2): z^2 cannot overflow and the
// logarithm of a density below EPS is kept.
constexpr double dcauchy_log_converged(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext z = (static_cast<ext>(x) - mu) / sigma;
  return static_cast<double>(
      -(cxmath::xp::log(cxmath::PI_EXT * static_cast<ext>(sigma)) + cxmath::xp::log1p(z * z)));
}

// The tail beyond |z| is atan(1/|z|)/pi, the body 1/2 - atan(|z|)/pi:
// neither cancels.
constexpr Tails pcauchy_tails(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext z = (static_cast<ext>(x) - mu) / sigma;
  const ext az = cxmath::fabs(z);
  const ext far = az > 1 ? cxmath::xp::atan(1 / az) / cxmath::PI_EXT
                          : ext(0.5) - cxmath::xp::atan(az) / cxmath::PI_EXT;
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
                            : cxmath::tan(cxmath::PI_EXT * (ext(0.5) - static_cast<ext>(tail)));
  return static_cast<double>(static_cast<ext>(mu) + static_cast<ext>(sigma) * (lower ? -t : t));
}

// Density in the scale of the log flag.
constexpr double dcauchy_converged(double x, double mu, double sigma, bool give_log) {
  using cxmath::ext;
  if (give_log) return dcauchy_log_converged(x, mu, sigma);
  const ext z = (static_cast<ext>(x) - mu) / sigma;
  return static_cast<double>(1 / ((cxmath::PI_EXT * static_cast<ext>(sigma)) * (1 + z * z)));
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: 1 + z^2, formed in double, overflows beyond |z| ~ 1.3e154 (the
// density collapses to 0 even where 1/(pi sigma z^2) is representable);
// and the log form takes the logarithm of the finished density, -inf below
// EPS (|z| beyond ~3.8e7 for sigma = 1), so log-densities below
// ln 1e-14 are checked, and so are those of a density that overflows (a
// sigma below ~1e-309: the log-density is finite).  Elsewhere the density
// is the reciprocal of an extended product, accurate to rounding.
inline constexpr double DCAUCHY_SMALL_LOG = -32.2;  // ln 1e-14

constexpr bool dcauchy_region(double x, double mu, double sigma, bool give_log, double fixed) {
  const double z = (x - mu) / sigma;
  if (!(z * z < cxmath::DBL_MAX_)) return true;
  return give_log && !(fixed >= DCAUCHY_SMALL_LOG && fixed < cxmath::INF);
}

// CDF: the lower tail 1/2 + atan(z)/pi cancels (absolute error ~1e-17,
// relative ~1e-17 pi |z|: failures from z ~ -3e6).
inline constexpr double PCAUCHY_LOWER_Z = -1e4;

constexpr bool pcauchy_region(double x, double mu, double sigma) {
  return !((x - mu) / sigma >= PCAUCHY_LOWER_Z);
}

// Quantile: p - 1/2 rounded in double is magnified by the pole of the
// tangent (relative error ~2^-54/tail), and |mu| large against sigma.
constexpr bool qcauchy_region(double p, double mu, double sigma, double fixed) {
  return dpq::tail(p) < cxmath::ROUNDED_TAIL || !(cxmath::fabs(mu) <= cxmath::LOCATION_RESOLUTION * sigma) ||
         !(cxmath::fabs(fixed) < cxmath::INF);
}

template <bool Checked>
constexpr double dcauchy(double x, double mu, double sigma, bool give_log) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma)) {
    // sigma = 0 is not special: 0 * inf or 0/0 make the density NaN, which
    // stands (there is no density to check).
    const double z = (x - mu) / sigma;
    const double q = 1 + z * z;
    const double d = dcauchy_of(PI_EXT * static_cast<ext>(sigma), q);
    const double v = dpq::value(d, give_log);
    if (sigma == 0) return v;
    return keep_density<Checked>(v, give_log, dcauchy_region(x, mu, sigma, give_log, v),
                                 [&] { return dcauchy_converged(x, mu, sigma, give_log); });
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

template <bool Checked>
constexpr double pcauchy(double x, double mu, double sigma, bool give_log_p) {
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
      P = atan(z) / PI_DOUBLE + 0.5;
    // A zero sigma is the point mass at mu: there is no value to check.
    if (sigma != 0)
      return keep_probability<Checked>(P, give_log_p, pcauchy_region(x, mu, sigma),
                                       [&] { return pcauchy_tails(x, mu, sigma); });
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

template <bool Checked>
constexpr double qcauchy(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || dpq::not_a_probability(p)) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  // An infinite location carries every quantile with it.
  if (Checked && !isfinite(mu)) return mu;
  const double q = qcauchy_of(mu, sigma, qcauchy_tan(PI_EXT * static_cast<ext>(p - 0.5)));
  return keep_quantile<Checked>(q, p, 1 - p, qcauchy_region(p, mu, sigma, q),
                                [&](double v) { return pcauchy_tails(v, mu, sigma); },
                                [&] { return qcauchy_converged(p, mu, sigma); });
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dcauchy(double x, double mu, double sigma, bool give_log) {
  return detail::dcauchy<true>(x, mu, sigma, give_log);
}
constexpr double pcauchy(double x, double mu, double sigma, bool give_log_p) {
  return detail::pcauchy<true>(x, mu, sigma, give_log_p);
}
constexpr double qcauchy(double p, double mu, double sigma) { return detail::qcauchy<true>(p, mu, sigma); }

}  // namespace distmill
