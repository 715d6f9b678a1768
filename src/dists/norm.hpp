// Normal distribution with location mu and scale sigma.
//
// Density: ln f = -ln sqrt(2 pi) - ln sigma - z^2/2 with z = (x - mu)/sigma,
// formed in log form and exponentiated when the plain density is wanted.
// CDF: Phi = (1 + erf(u/sqrt 2))/2, u = (x - mu)/sigma, in extended
// precision; the lower tail is 1 - erf of a positive argument, so it
// cancels: it has an absolute accuracy of about 1e-19 and becomes exactly 0
// some 9.2 standard deviations below mu.
// Quantile: mu + sigma sqrt(2) erf^-1(2p - 1); forming 2p - 1 in double
// limits the resolution of the lower tail, and every p below about 1.1e-16
// gives -inf.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/erf.hpp"
#include "cxmath/extended.hpp"
#include "dists/dpq.hpp"
#include "dists/extremes.hpp"

namespace distmill {

namespace detail {

// Phi from erf |z| = erf(|u|/sqrt 2): (1 + erf |z|)/2 above mu, (1 - erf |z|)/2
// below (the scalar CDF and the lanes, dists/lanes/norm_cdf.hpp).
constexpr cxmath::ext pnorm_of_erf(bool upper, cxmath::ext erf_abs) {
  using cxmath::ext;
  return upper ? (1 + erf_abs) * ext(0.5) : (1 - erf_abs) * ext(0.5);
}

// Normal CDF for finite x, mu and finite positive sigma.
constexpr double pnorm_core(double x, double mu, double sigma) {
  using namespace cxmath;
  const double u = (x - mu) / sigma;
  const ext z = static_cast<ext>(u) / SQRT2_EXT;
  ext Phi = 0;
  if (isnan(z))
    Phi = NaN_EXT;
  else if (z == INF_EXT)
    Phi = 1;
  else if (z == -INF_EXT)
    Phi = 0;
  else if (z == 0)
    Phi = ext(0.5);
  else if (z > 0)
    Phi = z < EPS_EXT ? ext(0.5) : pnorm_of_erf(true, erf_ext(z));
  else
    Phi = z > -EPS_EXT ? ext(0.5) : pnorm_of_erf(false, erf_ext(-z));
  return static_cast<double>(Phi);
}


// ---- converged forms, in extended precision ----

// Log-density -ln sqrt(2 pi) - ln sigma - z^2/2 with z formed in extended
// precision (no overflow of x - mu) and the true logarithm of any sigma.
constexpr double dnorm_log_converged(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext z = (static_cast<ext>(x) - mu) / sigma;
  return static_cast<double>(-((cxmath::LN_SQRT_2PI_EXT + cxmath::xp::log(static_cast<ext>(sigma))) +
                               (z * z) * ext(0.5)));
}

// Phi(u) = erfc(-u/sqrt 2)/2 and 1 - Phi(u) = erfc(u/sqrt 2)/2, each from
// the converged erfc (relative accuracy in its tail), u = (x - mu)/sigma
// in extended precision.
constexpr Tails norm_tails_of(cxmath::ext u) {
  using cxmath::ext;
  const ext t = u / cxmath::SQRT2_EXT;
  const ext far = cxmath::xp::erfc(cxmath::fabs(t)) * ext(0.5);
  if (t < 0) return {far, 1 - far};
  return {1 - far, far};
}

constexpr Tails pnorm_tails(double x, double mu, double sigma) {
  using cxmath::ext;
  return norm_tails_of((static_cast<ext>(x) - mu) / sigma);
}

// Phi(u), or ln Phi(u) with the flag: from the tails, and where the lower
// one underflows the extended range (Phi(-1e5) = e^-5e9) as
// ln(erfc(-u/sqrt 2)/2) from the logarithm of erfc itself.
constexpr double norm_lower_in_scale(cxmath::ext u, bool give_log) {
  const Tails t = norm_tails_of(u);
  if (!give_log) return static_cast<double>(t.lower);
  if (!(t.lower < TAIL_LOG_FLOOR)) return log_of_tails(t);
  return static_cast<double>(cxmath::xp::log_erfc(-u / cxmath::SQRT2_EXT) - cxmath::LN2_EXT);
}

// The t >= 0 with erfc(t) = target (0 < target <= 1): Newton steps on
// ln erfc, d/dt ln erfc(t) = -2 e^(-t^2)/(sqrt(pi) erfc(t)), inside a
// bracket that each evaluation narrows (bisection when a step leaves it).
// `guess` seeds the iteration when it lies inside (0, 40).
constexpr cxmath::ext erfc_inv_converged(cxmath::ext target, cxmath::ext guess) {
  using cxmath::ext;
  if (!(target < 1)) return 0;
  const ext goal = cxmath::xp::log(target);
  ext lo = 0, hi = 40;  // erfc(40) ~ 1e-697 lies below every double target
  ext t = guess > lo && guess < hi ? guess : cxmath::xp::sqrt(-goal);
  if (!(t > lo && t < hi)) t = 1;
  for (int it = 0; it < 200; ++it) {
    const ext e = cxmath::xp::erfc(t);
    const ext g = cxmath::xp::log(e) - goal;  // decreasing in t
    if (g == 0) return t;
    if (g > 0)
      lo = t;
    else
      hi = t;
    const ext slope = -2 * cxmath::xp::exp(-(t * t)) / (cxmath::SQRTPI_EXT * e);
    ext tn = t - g / slope;
    if (!(tn > lo && tn < hi)) tn = lo + (hi - lo) * ext(0.5);
    if (cxmath::fabs(tn - t) <= t * (4 * cxmath::EPS_EXT)) return tn;
    t = tn;
  }
  return t;
}

// mu + sigma sqrt(2) (-t) below 1/2 with erfc(t) = 2p, mu + sigma sqrt(2) t
// above with erfc(t) = 2 (1 - p) (1 - p exact there), all in extended
// precision; `guess` is the fixed-depth quantile.
constexpr cxmath::ext qnorm_converged_ext(double p, double mu, double sigma, double guess) {
  using cxmath::ext;
  const bool lower = p < 0.5;
  const double tail = lower ? p : 1 - p;
  const ext g = ((static_cast<ext>(guess) - mu) / sigma) / cxmath::SQRT2_EXT;
  const ext t = erfc_inv_converged(static_cast<ext>(tail) * 2, lower ? -g : g);
  const ext u = t * cxmath::SQRT2_EXT;
  return static_cast<ext>(mu) + static_cast<ext>(sigma) * (lower ? -u : u);
}
constexpr double qnorm_converged(double p, double mu, double sigma, double guess) {
  return static_cast<double>(qnorm_converged_ext(p, mu, sigma, guess));
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: a sigma below EPS (its logarithm taken as -inf: +inf or NaN
// where the density is finite or 0) and x - mu overflowing.
constexpr bool dnorm_region(double x, double mu, double sigma) {
  return sigma < cxmath::EPS || !(cxmath::fabs(x - mu) < cxmath::INF);
}

// CDF: the lower tail 1 - erf cancels with an absolute error ~1e-19
// (failures below Phi ~1e-9, u ~ -6, and 0 from u ~ -9.2); x - mu
// overflowing.
inline constexpr double PNORM_LOWER_U = -4.5;

constexpr bool pnorm_region(double x, double mu, double sigma) {
  return !((x - mu) / sigma > PNORM_LOWER_U) || !(cxmath::fabs(x - mu) < cxmath::INF);
}

// Quantile: the inverse works on erf(x) - (2p - 1) in double, an absolute
// error ~1e-16 in the tail probability (failures below tail ~1e-6 on both
// sides), and erf itself carries ~3e-13 just below its branch switch 2.1
// (tails near 1.5e-3 miss by ~1e-10).  sigma sqrt 2 can overflow (0 times
// inf), and |mu| large against sigma.
inline constexpr double QNORM_TAIL = 0.02;

constexpr bool qnorm_region(double p, double mu, double sigma, double fixed) {
  return dpq::tail(p) < QNORM_TAIL || !(cxmath::fabs(mu) <= cxmath::LOCATION_RESOLUTION * sigma) ||
         !(sigma * cxmath::SQRT2_DOUBLE < cxmath::INF) || !(cxmath::fabs(fixed) < cxmath::INF);
}

// A subnormal sigma sqrt 2 is rounded by up to half its size: the quantile
// can miss by whole subnormal units.  The grid there (one unit is a large
// step of the CDF) is coarser than the rule, so the value is checked only
// where it is not within one double of the true quantile.
inline constexpr double QNORM_SMALL_SCALE = 0x1p-1022;  // the least normal double

// The log-density on the ordinary path, from k = -ln sqrt(2 pi) - ln sigma
// (dnorm_log_scale): the scalar function and the lanes (dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr V dnorm_log_scale(V ln_sigma) {
  return -cxmath::LN_SQRT_2PI_DOUBLE - ln_sigma;
}
template <class V>
DISTMILL_LANE_INLINE constexpr V dnorm_log_formula(V x, V mu, V sigma, V k) {
  const V z = (x - mu) / sigma;
  const V q = (z * z) * 0.5;
  return k - q;
}

template <bool Checked>
constexpr double dnorm(double x, double mu, double sigma, bool give_log) {
  using namespace cxmath;
  if (isnan(x) || isnan(mu)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (!isfinite(mu) || !isfinite(sigma) || !isfinite(x) || sigma == 0) {
    double r = 0;
    if (sigma == INF)
      r = 0;
    else if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
      r = NaN;
    else if (sigma == 0 && x == mu)
      r = INF;
    else
      r = 0;
    return dpq::value(r, give_log);
  }
  // A scale below EPS counts as zero: the normalising term is +inf.
  const double k = sigma < EPS ? INF : dnorm_log_scale(log_core(sigma));
  return keep_log_density<Checked>(dnorm_log_formula(x, mu, sigma, k), give_log, dnorm_region(x, mu, sigma),
                                   [&] { return dnorm_log_converged(x, mu, sigma); });
}

template <bool Checked>
constexpr double pnorm(double x, double mu, double sigma, bool give_log_p) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (sigma != 0 && isfinite(mu) && isfinite(sigma) && isfinite(x))
    return keep_probability<Checked>(pnorm_core(x, mu, sigma), give_log_p, pnorm_region(x, mu, sigma), [&](bool lg) {
      return norm_lower_in_scale((static_cast<ext>(x) - mu) / sigma, lg);
    });
  double r = 0;
  if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
    r = NaN;
  else if (sigma == INF)
    r = (x == INF || mu == -INF) ? 1.0 : (x == -INF || mu == INF) ? 0.0 : 0.5;
  else if (sigma == 0)
    r = x >= mu ? 1.0 : 0.0;
  else
    r = (x == INF || mu == -INF) ? 1.0 : 0.0;
  return dpq::value(r, give_log_p);
}

template <bool Checked>
constexpr double qnorm(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(sigma) || isnan(mu) || sigma < 0 || dpq::not_a_probability(p) || sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  // An infinite location carries every quantile with it.
  if (Checked && !isfinite(mu)) return mu;
  const double y = (p + p) - 1;
  const double v = erf_inv(y);
  const double q = v * (sigma * cxmath::SQRT2_DOUBLE) + mu;
  const auto tails = [&](double t) { return fabs(t) < INF ? pnorm_tails(t, mu, sigma) : NO_TAILS; };
  const bool region = qnorm_region(p, mu, sigma, q) ||
                      (sigma < QNORM_SMALL_SCALE && !within_one_double(q, p, 1 - p, tails));
  return keep_quantile<Checked>(q, p, 1 - p, region, tails,
                                [&] { return qnorm_converged(p, mu, sigma, q); });
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dnorm(double x, double mu, double sigma, bool give_log) {
  return detail::dnorm<true>(x, mu, sigma, give_log);
}
constexpr double pnorm(double x, double mu, double sigma, bool give_log_p) {
  return detail::pnorm<true>(x, mu, sigma, give_log_p);
}
constexpr double qnorm(double p, double mu, double sigma) { return detail::qnorm<true>(p, mu, sigma); }

}  // namespace distmill
