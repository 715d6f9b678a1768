// Laplace (double exponential) distribution with location mu and scale
// sigma: density e^(-|x - mu|/sigma)/(2 sigma), computed as
// e^(-ln(2 sigma) - |x - mu|/sigma); CDF 1/2 + sign(d)/2 (1 - e^(-|d|/sigma))
// with d = x - mu; quantile mu - sign(p - 1/2) sigma ln(1 - 2|p - 1/2|).
// A zero sigma is a point mass at mu.
#pragma once

#include "dists/dpq.hpp"
#include "cxmath/agreement.hpp"
#include "cxmath/agreement_forms.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended_sound.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

// Log-density -ln(2 sigma) - |x - mu|/sigma: the difference cannot overflow
// and a sigma below EPS keeps its logarithm.
constexpr double dlaplace_log_converged(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext S = sigma;
  return static_cast<double>(-(cxmath::xb::log(S + S) + cxmath::fabs(static_cast<ext>(x) - mu) / S));
}

struct LaplaceTails {
  cxmath::ext lower;  // P(X <= x)
  cxmath::ext upper;  // P(X > x)
};

// Each tail beyond |d| is e^(-|d|/sigma)/2, taken directly.
constexpr LaplaceTails plaplace_tails(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext d = static_cast<ext>(x) - mu;
  const ext far = cxmath::xb::exp(-cxmath::fabs(d) / sigma) * 0.5L;
  if (d < 0) return {far, 1 - far};
  return {1 - far, far};
}

// mu + sigma ln(2 p) below 1/2, mu - sigma ln(2 (1 - p)) above (1 - p
// exact there).
constexpr double qlaplace_converged(double p, double mu, double sigma) {
  using cxmath::ext;
  const bool lower = p < 0.5;
  const double tail = lower ? p : 1 - p;
  const ext L = cxmath::xb::log(static_cast<ext>(tail) * 2) * sigma;
  return static_cast<double>(lower ? static_cast<ext>(mu) + L : static_cast<ext>(mu) - L);
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: 2 sigma below EPS (its logarithm +inf) or overflowing, and
// x - mu overflowing.
constexpr bool dlaplace_fixed_may_fail(double x, double mu, double sigma) {
  return !(sigma + sigma >= cxmath::EPS && sigma + sigma < cxmath::INF) ||
         !(cxmath::fabs(x - mu) < cxmath::INF);
}

constexpr double dlaplace_checked(double x, double mu, double sigma, double fixed) {
  if (!dlaplace_fixed_may_fail(x, mu, sigma) && !cxmath::isnan(fixed)) return fixed;
  const double converged = dlaplace_log_converged(x, mu, sigma);
  return cxmath::log_density_agrees(fixed, converged) ? fixed : converged;
}

// CDF: the lower tail 1/2 - (1 - e^(-|d|/sigma))/2 cancels (absolute error
// ~1e-17: failures from |d|/sigma ~ 13); checked from 5.
inline constexpr double PLAPLACE_LOWER = -5;

constexpr bool plaplace_fixed_may_fail(double x, double mu, double sigma) {
  return !((x - mu) / sigma > PLAPLACE_LOWER);
}

constexpr double plaplace_checked(double x, double mu, double sigma, double fixed) {
  if (!plaplace_fixed_may_fail(x, mu, sigma) && fixed >= 0 && fixed <= 1) return fixed;
  const double converged = static_cast<double>(plaplace_tails(x, mu, sigma).lower);
  return cxmath::probability_agrees(fixed, converged) ? fixed : converged;
}

// Quantile: 1 - 2|p - 1/2| with p - 1/2 rounded in double loses the lower
// tail (relative error ~2^-54/p in ln(2p) terms: failures below ~1e-6,
// checked below 1e-4); |mu| large against sigma as for the other location
// families; the value non-finite.
inline constexpr double QLAPLACE_TAIL = 1e-4;
inline constexpr double QLAPLACE_RESOLUTION = 1e5;

constexpr bool qlaplace_fixed_may_fail(double p, double mu, double sigma, double fixed) {
  const double tail = dpq::tail(p);
  return tail < QLAPLACE_TAIL || !(cxmath::fabs(mu) <= QLAPLACE_RESOLUTION * sigma) ||
         !(cxmath::fabs(fixed) < cxmath::INF);
}

constexpr double qlaplace_checked(double p, double mu, double sigma, double fixed) {
  if (!cxmath::isfinite(mu)) return mu;
  if (!qlaplace_fixed_may_fail(p, mu, sigma, fixed)) return fixed;
  if (!cxmath::isnan(fixed)) {
    const LaplaceTails t = plaplace_tails(fixed, mu, sigma);
    if (cxmath::quantile_agrees(t.lower, t.upper, p)) return fixed;
  }
  return qlaplace_converged(p, mu, sigma);
}

template <bool Converged>
constexpr double dlaplace_impl(double x, double mu, double sigma, bool give_log) {
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
  double L = -log(sigma + sigma) - fabs(x - mu) / sigma;
  if constexpr (Converged) L = dlaplace_checked(x, mu, sigma, L);
  return dpq::from_log(L, give_log);
}

template <bool Converged>
constexpr double plaplace_impl(double x, double mu, double sigma, bool give_log_p) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  double P;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma) && sigma != 0) {
    const double d = x - mu;
    const double s = (d > 0 ? 1.0 : d < 0 ? -1.0 : 0.0) * 0.5;
    P = s * (1 - exp(-fabs(d) / sigma)) + 0.5;
    if constexpr (Converged) P = plaplace_checked(x, mu, sigma, P);
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

template <bool Converged>
constexpr double qlaplace_impl(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || dpq::not_a_probability(p)) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  const double c = p - 0.5;
  const double g = c > 0 ? sigma : c < 0 ? sigma * -1.0 : sigma * 0.0;
  if (c == 0) return mu - log(1.0) * g;
  // 1 - 2|c| below EPS makes the logarithm -inf (the quantile infinite).
  const double r = 1 - (fabs(c) + fabs(c));
  const double q = mu - log(r) * g;
  if constexpr (Converged) return qlaplace_checked(p, mu, sigma, q);
  return q;
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dlaplace(double x, double mu, double sigma, bool give_log) {
  return detail::dlaplace_impl<true>(x, mu, sigma, give_log);
}
constexpr double plaplace(double x, double mu, double sigma, bool give_log_p) {
  return detail::plaplace_impl<true>(x, mu, sigma, give_log_p);
}
constexpr double qlaplace(double p, double mu, double sigma) {
  return detail::qlaplace_impl<true>(p, mu, sigma);
}

namespace detail {
constexpr double dlaplace_fixed(double x, double mu, double sigma, bool give_log) {
  return dlaplace_impl<false>(x, mu, sigma, give_log);
}
constexpr double plaplace_fixed(double x, double mu, double sigma, bool give_log_p) {
  return plaplace_impl<false>(x, mu, sigma, give_log_p);
}
constexpr double qlaplace_fixed(double p, double mu, double sigma) { return qlaplace_impl<false>(p, mu, sigma); }
}  // namespace detail

}  // namespace distmill
