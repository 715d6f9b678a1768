// Logistic distribution with location mu and scale sigma.
// With w = -(x - mu)/sigma the density is e^w / (sigma (1 + e^w)^2),
// computed in log form as w - ln sigma - 2 ln(1 + e^w).  The CDF is
// 1/(1 + e^(-2z)) = (1 + tanh z)/2 with z = (x - mu)/(2 sigma), and tanh z
// comes from Lambert's continued fraction z/D (no range reduction, so the
// accuracy falls for large |z|).  The quantile is mu + sigma ln(p/(1 - p)).
//
// Each function takes that fixed-depth value first and, where it can miss
// the agreement rule, checks it against the closed forms evaluated in
// extended precision without cancellation (each tail of the CDF as
// e^(-|2z|)/(1 + e^(-|2z|)) or its complement).
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"
#include "dists/dpq.hpp"
#include "dists/extremes.hpp"

namespace distmill {

namespace detail {

// Converged log-density for finite x, mu and finite sigma > 0, in the
// symmetric form -|w| - ln sigma - 2 ln(1 + e^(-|w|)), w = (x - mu)/sigma
// in extended precision: e^(-|w|) cannot overflow and sigma below EPS keeps
// its true logarithm.
constexpr double dlogis_log_converged(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext w = cxmath::fabs((static_cast<ext>(x) - mu) / sigma);
  const ext e = cxmath::xp::exp(-w);
  return static_cast<double>(-((w + cxmath::xp::log(static_cast<ext>(sigma))) + 2 * cxmath::xp::log1p(e)));
}

// The closed form 1/(1 + e^(-2z)), z = (x - mu)/(2 sigma), for finite x, mu
// and finite sigma > 0: each tail as e^(-2|z|)/(1 + e^(-2|z|)) or its
// complement 1/(1 + e^(-2|z|)), so that neither cancels; z is formed in
// extended precision, where x - mu cannot overflow.
constexpr Tails plogis_tails(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext z = (static_cast<ext>(x) - mu) / (static_cast<ext>(sigma) * 2);
  const ext e = cxmath::xp::exp(-2 * cxmath::fabs(z));
  const ext small = e / (1 + e);
  const ext large = 1 / (1 + e);
  if (z < 0) return {small, large};
  return {large, small};
}

// P, or ln P with the flag: from the tails, and where the lower one
// underflows the extended range (a sigma far below |x - mu|) as its
// logarithm -2|z| - log1p(e^(-2|z|)) = -2|z| (to far below its last bit).
constexpr double plogis_in_scale(double x, double mu, double sigma, bool give_log) {
  using cxmath::ext;
  const Tails t = plogis_tails(x, mu, sigma);
  if (!give_log) return static_cast<double>(t.lower);
  if (!(t.lower < TAIL_LOG_FLOOR)) return log_of_tails(t);
  return static_cast<double>(-cxmath::fabs(static_cast<ext>(x) - mu) / sigma);
}

// mu + sigma ln(p/(1 - p)) in extended precision (1 - p exact for p >= 1/2,
// a rounding of ~1e-19 below; the sum cannot overflow before the end).
constexpr double qlogis_converged(double p, double mu, double sigma) {
  using cxmath::ext;
  const ext L = cxmath::xp::log(static_cast<ext>(p)) - cxmath::xp::log(1 - static_cast<ext>(p));
  return static_cast<double>(static_cast<ext>(mu) + static_cast<ext>(sigma) * L);
}

// Where the fixed-depth log-density can miss the rule: sigma below EPS
// (its logarithm taken as -inf), e^w overflowing (w = -(x - mu)/sigma
// beyond ~709.8: the value collapses to 0, -inf with the flag), and x - mu
// overflowing.
inline constexpr double DLOGIS_EXP_BOUND = 700;

constexpr bool dlogis_region(double x, double mu, double sigma) {
  if (sigma < cxmath::EPS) return true;
  const double d = x - mu;
  return !(cxmath::fabs(d) < cxmath::INF) || !(-(d / sigma) < DLOGIS_EXP_BOUND);
}

// Where the fixed-depth CDF can miss the rule: in the lower tail
// 1 - z/tanh z cancels (absolute error ~1e-16, failures from z ~ -6.8,
// where P ~ 1e-6); in the upper tail the 34 levels of Lambert's fraction,
// taken without range reduction, stop converging (failures from z ~ 29,
// and far out the value leaves [0, 1]).  x - mu or 2 sigma can also
// overflow (z infinite, NaN or collapsed to 0).
inline constexpr double PLOGIS_LOWER_Z = -5;
inline constexpr double PLOGIS_UPPER_Z = 20;

constexpr bool plogis_region(double x, double mu, double sigma) {
  const double z = (x - mu) / (sigma + sigma);
  return !(z > PLOGIS_LOWER_Z && z < PLOGIS_UPPER_Z) || !(sigma + sigma < cxmath::INF);
}

// Where the fixed-depth quantile can miss the rule: p/(1 - p) below EPS
// has the logarithm -inf (tail probabilities below ~2e-16);
// sigma ln(p/(1 - p)) + mu can overflow or lose the location (checked
// whenever the value is not well inside the double range); and |mu| large
// against sigma.  `fixed` is the fixed-depth value.
inline constexpr double QLOGIS_TAIL = 1e-14;
inline constexpr double QLOGIS_LARGE = 1e300;

constexpr bool qlogis_region(double p, double mu, double sigma, double fixed) {
  return dpq::tail(p) < QLOGIS_TAIL || !(cxmath::fabs(fixed) <= QLOGIS_LARGE) ||
         !(cxmath::fabs(mu) <= QLOGIS_LARGE) || !(sigma <= QLOGIS_LARGE) ||
         !(cxmath::fabs(mu) <= cxmath::LOCATION_RESOLUTION * sigma);
}

// The log-density (w - ln sigma) - 2 ln(e^w + 1), w = -(x - mu)/sigma,
// with l = ln(e^w + 1), and the CDF from z = (x - mu)/(2 sigma) with
// D = tanh_cf(|z|) for |z| >= EPS, on the ordinary path: the scalar
// functions and the lanes (dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr V dlogis_log_formula(V w, V ln_sigma, V l) {
  const V A = w - ln_sigma;
  return A - (l + l);
}
// The quantile ln(p/(1 - p)) sigma + mu.
template <class V>
DISTMILL_LANE_INLINE constexpr V qlogis_formula(V ln_r, V sigma, V mu) {
  return ln_r * sigma + mu;
}
template <class V>
DISTMILL_LANE_INLINE constexpr V plogis_upper(V z, V D) {
  return (z / D + 1.0) * 0.5;
}
template <class V>
DISTMILL_LANE_INLINE constexpr V plogis_lower(V y, V D) {
  return (1.0 - y / D) * 0.5;
}

template <bool Checked>
constexpr double dlogis(double x, double mu, double sigma, bool give_log) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma)) {
    // sigma = 0 is no density.  The formula would give NaN too (w infinite
    // or NaN), but one made by the arithmetic, whose sign depends on which
    // operand the compiler puts first where two NaNs meet.
    if (sigma == 0) return NaN;
    const double w = -((x - mu) / sigma);
    const double E = exp(w) + 1;
    const double l = log(E);
    const double L = dlogis_log_formula(w, log(sigma), l);  // ln sigma is -inf below EPS
    return keep_log_density<Checked>(L, give_log, dlogis_region(x, mu, sigma),
                                     [&] { return dlogis_log_converged(x, mu, sigma); });
  }
  double d;
  if (sigma == INF)
    d = 0.0;
  else if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
    d = NaN;
  else
    d = 0.0;
  return dpq::value(d, give_log);
}

template <bool Checked>
constexpr double plogis(double x, double mu, double sigma, bool give_log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(mu)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  double P;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma) && sigma != 0) {
    const double z = (x - mu) / (sigma + sigma);
    if (isnan(z)) {
      P = NaN;  // inf/inf after overflow of both differences
    } else if (z == 0) {
      P = 0.5;
    } else if (z > 0) {
      P = z < EPS ? 0.5 : plogis_upper(z, tanh_cf(z));
    } else if (z > -EPS) {
      P = 0.5;
    } else {
      const double y = -z;
      P = plogis_lower(y, tanh_cf(y));
    }
    return keep_probability<Checked>(P, give_log_p, plogis_region(x, mu, sigma),
                                     [&](bool lg) { return plogis_in_scale(x, mu, sigma, lg); });
  } else if ((x == INF && mu == INF) || (x == -INF && mu == -INF)) {
    P = NaN;
  } else if (sigma == INF) {
    P = (isfinite(x) && isfinite(mu)) ? 0.5 : NaN;
  } else if (mu == -INF || x == INF) {
    P = 1.0;
  } else if (mu == INF || x == -INF) {
    P = 0.0;
  } else {
    // sigma = 0 with finite x and mu: a point mass at mu.
    P = x > mu ? 1.0 : x < mu ? 0.0 : 0.5;
  }
  return dpq::value(P, give_log_p);
}

template <bool Checked>
constexpr double qlogis(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || dpq::not_a_probability(p)) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  // An infinite location carries every quantile with it (the fixed-depth
  // formula gives NaN when ln(p/(1 - p)) is -inf as well).
  if (Checked && !isfinite(mu)) return mu;
  const double q = qlogis_formula(log(p / (1 - p)), sigma, mu);
  // An infinite quantile (whose far tail is exactly 0) is right only where
  // the true one lies beyond the double range: the converged value decides.
  return keep_quantile<Checked>(q, p, 1 - p, qlogis_region(p, mu, sigma, q),
                                [&](double v) { return fabs(v) < INF ? plogis_tails(v, mu, sigma) : NO_TAILS; },
                                [&] { return qlogis_converged(p, mu, sigma); });
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the closed
// forms in extended precision where it fails the agreement rule.
constexpr double dlogis(double x, double mu, double sigma, bool give_log) {
  return detail::dlogis<true>(x, mu, sigma, give_log);
}
constexpr double plogis(double x, double mu, double sigma, bool give_log_p) {
  return detail::plogis<true>(x, mu, sigma, give_log_p);
}
constexpr double qlogis(double p, double mu, double sigma) { return detail::qlogis<true>(p, mu, sigma); }

}  // namespace distmill
