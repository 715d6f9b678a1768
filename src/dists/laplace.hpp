// Laplace (double exponential) distribution with location mu and scale
// sigma: density e^(-|x - mu|/sigma)/(2 sigma), computed as
// e^(-ln(2 sigma) - |x - mu|/sigma); CDF 1/2 + sign(d)/2 (1 - e^(-|d|/sigma))
// with d = x - mu; quantile mu - sign(p - 1/2) sigma ln(1 - 2|p - 1/2|).
// A zero sigma is a point mass at mu.
#pragma once

#include "dists/dpq.hpp"
#include "dists/extremes.hpp"
#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

// Log-density -ln(2 sigma) - |x - mu|/sigma: the difference cannot overflow
// and a sigma below EPS keeps its logarithm.
constexpr double dlaplace_log_converged(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext S = sigma;
  return static_cast<double>(-(cxmath::xp::log(S + S) + cxmath::fabs(static_cast<ext>(x) - mu) / S));
}

// Each tail beyond |d| is e^(-|d|/sigma)/2, taken directly.
constexpr Tails plaplace_tails(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext d = static_cast<ext>(x) - mu;
  const ext far = cxmath::xp::exp(-cxmath::fabs(d) / sigma) * ext(0.5);
  if (d < 0) return {far, 1 - far};
  return {1 - far, far};
}

// P, or ln P with the flag: from the tails, and where the lower one
// underflows the extended range (a sigma far below |x - mu|) as
// -|x - mu|/sigma - ln 2 itself.
constexpr double plaplace_in_scale(double x, double mu, double sigma, bool give_log) {
  using cxmath::ext;
  const Tails t = plaplace_tails(x, mu, sigma);
  if (!give_log) return static_cast<double>(t.lower);
  if (!(t.lower < TAIL_LOG_FLOOR)) return log_of_tails(t);
  return static_cast<double>(-cxmath::fabs(static_cast<ext>(x) - mu) / sigma - cxmath::LN2_EXT);
}

// mu + sigma ln(2 p) below 1/2, mu - sigma ln(2 (1 - p)) above (1 - p
// exact there).
constexpr double qlaplace_converged(double p, double mu, double sigma) {
  using cxmath::ext;
  const bool lower = p < 0.5;
  const double tail = lower ? p : 1 - p;
  const ext L = cxmath::xp::log(static_cast<ext>(tail) * 2) * sigma;
  return static_cast<double>(lower ? static_cast<ext>(mu) + L : static_cast<ext>(mu) - L);
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: 2 sigma below EPS (its logarithm +inf) or overflowing, and
// x - mu overflowing.
constexpr bool dlaplace_region(double x, double mu, double sigma) {
  return !(sigma + sigma >= cxmath::EPS && sigma + sigma < cxmath::INF) ||
         !(cxmath::fabs(x - mu) < cxmath::INF);
}

// CDF: the lower tail 1/2 - (1 - e^(-|d|/sigma))/2 cancels (absolute error
// ~1e-17: failures from |d|/sigma ~ 13).
inline constexpr double PLAPLACE_LOWER = -5;

constexpr bool plaplace_region(double x, double mu, double sigma) {
  return !((x - mu) / sigma > PLAPLACE_LOWER);
}

// Quantile: 1 - 2|p - 1/2| with p - 1/2 rounded in double loses the lower
// tail (relative error ~2^-54/p in ln(2p) terms); |mu| large against sigma
// as for the other location families; the value non-finite.
constexpr bool qlaplace_region(double p, double mu, double sigma, double fixed) {
  return dpq::tail(p) < cxmath::ROUNDED_TAIL || !(cxmath::fabs(mu) <= cxmath::LOCATION_RESOLUTION * sigma) ||
         !(cxmath::fabs(fixed) < cxmath::INF);
}

// The log-density -ln(2 sigma) - |d|/sigma, d = x - mu, and the CDF
// sign(d)/2 (1 - e) + 1/2 with e = e^(-|d|/sigma), on the ordinary path:
// the scalar functions and the lanes (dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr V dlaplace_log_formula(V d, V sigma, V ln_2sigma) {
  using cxmath::fabs;
  return -ln_2sigma - fabs(d) / sigma;
}
template <class V>
DISTMILL_LANE_INLINE constexpr V plaplace_formula(V d, V e) {
  using cxmath::lanes::select;
  const V s = select(d > 0.0, V(1.0), select(d < 0.0, V(-1.0), V(0.0))) * 0.5;
  return s * (1.0 - e) + 0.5;
}
// The quantile mu - ln(r) g, r = 1 - 2|p - 1/2|, g = sign(p - 1/2) sigma.
template <class V>
DISTMILL_LANE_INLINE constexpr V qlaplace_formula(V mu, V ln_r, V g) {
  return mu - ln_r * g;
}

template <bool Checked>
constexpr double dlaplace(double x, double mu, double sigma, bool give_log) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (sigma == 0 || isinf(x) || isinf(mu) || isinf(sigma)) {
    double d;
    if (sigma == INF)
      d = 0.0;
    else if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
      d = NaN;
    else if (sigma == 0 && x == mu)
      d = INF;  // the point mass
    else
      d = 0.0;
    return dpq::value(d, give_log);
  }
  // -ln(2 sigma) is +inf when 2 sigma is below EPS.
  const double L = dlaplace_log_formula(x - mu, sigma, log(sigma + sigma));
  return keep_log_density<Checked>(L, give_log, dlaplace_region(x, mu, sigma),
                                   [&] { return dlaplace_log_converged(x, mu, sigma); });
}

template <bool Checked>
constexpr double plaplace(double x, double mu, double sigma, bool give_log_p) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  double P;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma) && sigma != 0) {
    const double d = x - mu;
    P = plaplace_formula(d, exp(-fabs(d) / sigma));
    return keep_probability<Checked>(P, give_log_p, plaplace_region(x, mu, sigma),
                                     [&](bool lg) { return plaplace_in_scale(x, mu, sigma, lg); });
  } else if ((x == INF && mu == INF) || (x == -INF && mu == -INF)) {
    P = NaN;
  } else if (sigma == INF) {
    P = (isfinite(x) && isfinite(mu)) ? 0.5 : NaN;
  } else if (sigma == 0) {
    const double d = x - mu;
    P = d > 0 ? 1.0 : d < 0 ? 0.0 : 0.5;
  } else {
    P = (x == INF || mu == -INF) ? 1.0 : 0.0;
  }
  return dpq::value(P, give_log_p);
}

template <bool Checked>
constexpr double qlaplace(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || dpq::not_a_probability(p)) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  const double c = p - 0.5;
  const double g = c > 0 ? sigma : c < 0 ? sigma * -1.0 : sigma * 0.0;
  if (c == 0) return mu - log(1.0) * g;
  // An infinite location carries every quantile with it.
  if (Checked && !isfinite(mu)) return mu;
  // 1 - 2|c| below EPS makes the logarithm -inf (the quantile infinite).
  const double r = 1 - (fabs(c) + fabs(c));
  const double q = qlaplace_formula(mu, log(r), g);
  // An infinite quantile (whose far tail is exactly 0) is right only where
  // the true one lies beyond the double range: the converged value decides.
  return keep_quantile<Checked>(q, p, 1 - p, qlaplace_region(p, mu, sigma, q),
                                [&](double v) { return fabs(v) < INF ? plaplace_tails(v, mu, sigma) : NO_TAILS; },
                                [&] { return qlaplace_converged(p, mu, sigma); });
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dlaplace(double x, double mu, double sigma, bool give_log) {
  return detail::dlaplace<true>(x, mu, sigma, give_log);
}
constexpr double plaplace(double x, double mu, double sigma, bool give_log_p) {
  return detail::plaplace<true>(x, mu, sigma, give_log_p);
}
constexpr double qlaplace(double p, double mu, double sigma) { return detail::qlaplace<true>(p, mu, sigma); }

}  // namespace distmill
