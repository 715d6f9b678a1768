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
#include "cxmath/agreement_forms.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended_sound.hpp"

namespace distmill {

namespace detail {

// Converged log-density for finite x, mu and finite sigma > 0, in the
// symmetric form -|w| - ln sigma - 2 ln(1 + e^(-|w|)), w = (x - mu)/sigma
// in extended precision: e^(-|w|) cannot overflow and sigma below EPS keeps
// its true logarithm.
constexpr double dlogis_log_converged(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext w = cxmath::fabs((static_cast<ext>(x) - mu) / sigma);
  const ext e = cxmath::xb::exp(-w);
  return static_cast<double>(-((w + cxmath::xb::log(static_cast<ext>(sigma))) + 2 * cxmath::xb::log1p(e)));
}

// Where the fixed-depth log-density can miss the rule: sigma below EPS
// (its logarithm taken as -inf), e^w overflowing (w = -(x - mu)/sigma
// beyond ~709.8: the value collapses to 0, -inf with the flag; checked
// from 700), and x - mu overflowing.  A zero sigma is not a density (NaN).
inline constexpr double DLOGIS_EXP_BOUND = 700;

constexpr bool dlogis_fixed_may_fail(double x, double mu, double sigma) {
  if (sigma < cxmath::EPS) return true;
  const double d = x - mu;
  return !(cxmath::fabs(d) < cxmath::INF) || !(-(d / sigma) < DLOGIS_EXP_BOUND);
}

constexpr double dlogis_checked(double x, double mu, double sigma, double fixed) {
  if (sigma == 0) return fixed;
  if (!dlogis_fixed_may_fail(x, mu, sigma) && !cxmath::isnan(fixed)) return fixed;
  const double converged = dlogis_log_converged(x, mu, sigma);
  return cxmath::log_density_agrees(fixed, converged) ? fixed : converged;
}

template <bool Converged>
constexpr double dlogis_impl(double x, double mu, double sigma, bool log) {
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
    const double A = w - cxmath::log(sigma);  // ln sigma is -inf below EPS
    const double E = cxmath::exp(w) + 1;
    const double l = cxmath::log(E);
    double L = A - (l + l);
    if constexpr (Converged) L = dlogis_checked(x, mu, sigma, L);
    return log ? L : cxmath::exp(L);
  }
  double d;
  if (sigma == INF)
    d = 0.0;
  else if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
    d = NaN;
  else
    d = 0.0;
  return log ? cxmath::log(d) : d;
}

}  // namespace detail

// The density: the fixed-depth log-density, replaced by the converged one
// where it fails the agreement rule.
constexpr double dlogis(double x, double mu, double sigma, bool log) {
  return detail::dlogis_impl<true>(x, mu, sigma, log);
}

namespace detail {
constexpr double dlogis_fixed(double x, double mu, double sigma, bool log) {
  return dlogis_impl<false>(x, mu, sigma, log);
}
}  // namespace detail

namespace detail {

struct LogisTails {
  cxmath::ext lower;  // P(X <= x)
  cxmath::ext upper;  // P(X > x)
};

// The closed form 1/(1 + e^(-2z)), z = (x - mu)/(2 sigma), for finite x, mu
// and finite sigma > 0: each tail as e^(-2|z|)/(1 + e^(-2|z|)) or its
// complement 1/(1 + e^(-2|z|)), so that neither cancels; z is formed in
// extended precision, where x - mu cannot overflow.
constexpr LogisTails plogis_tails(double x, double mu, double sigma) {
  using cxmath::ext;
  const ext z = (static_cast<ext>(x) - mu) / (static_cast<ext>(sigma) * 2);
  const ext e = cxmath::xb::exp(-2 * cxmath::fabs(z));
  const ext small = e / (1 + e);
  const ext large = 1 / (1 + e);
  if (z < 0) return {small, large};
  return {large, small};
}
constexpr double plogis_converged(double x, double mu, double sigma) {
  return static_cast<double>(plogis_tails(x, mu, sigma).lower);
}

// mu + sigma ln(p/(1 - p)) in extended precision (1 - p exact for p >= 1/2,
// a rounding of ~1e-19 below; the sum cannot overflow before the end).
constexpr double qlogis_converged(double p, double mu, double sigma) {
  using cxmath::ext;
  const ext L = cxmath::xb::log(static_cast<ext>(p)) - cxmath::xb::log(1 - static_cast<ext>(p));
  return static_cast<double>(static_cast<ext>(mu) + static_cast<ext>(sigma) * L);
}

// Where the fixed-depth logistic CDF can miss the rule: in the lower tail
// 1 - z/tanh z cancels (absolute error ~1e-16, failures from z ~ -6.8,
// where P ~ 1e-6); in the upper tail the 34 levels of Lambert's fraction,
// taken without range reduction, stop converging (failures from z ~ 29,
// and far out the value leaves [0, 1]).  x - mu or 2 sigma can also
// overflow (z infinite, NaN or collapsed to 0).
inline constexpr double PLOGIS_LOWER_Z = -5;
inline constexpr double PLOGIS_UPPER_Z = 20;

constexpr bool plogis_fixed_may_fail(double x, double mu, double sigma) {
  const double z = (x - mu) / (sigma + sigma);
  return !(z > PLOGIS_LOWER_Z && z < PLOGIS_UPPER_Z) || !(sigma + sigma < cxmath::INF);
}

// Where the fixed-depth logistic quantile can miss the rule: p/(1 - p)
// below EPS has the logarithm -inf (tail probabilities below ~2e-16; the
// region starts at 1e-14), and sigma ln(p/(1 - p)) + mu can overflow or
// lose the location (checked whenever the value is not well inside the
// double range).  And where |mu| is large against sigma, the rounding of
// the sum to double alone, ~2^-53 |q| in q, is ~2^-53 |q|/sigma in the
// tail probability: beyond |mu|/sigma ~ 1e6 no double meets the rule, so
// the value is checked from 1e5 on (the converged value is then the
// correctly rounded one).  `fixed` is the fixed-depth value.
inline constexpr double QLOGIS_TAIL = 1e-14;
inline constexpr double QLOGIS_LARGE = 1e300;
inline constexpr double QLOGIS_RESOLUTION = 1e5;

constexpr bool qlogis_fixed_may_fail(double p, double mu, double sigma, double fixed) {
  const double tail = p < 0.5 ? p : 1 - p;
  return tail < QLOGIS_TAIL || !(cxmath::fabs(fixed) <= QLOGIS_LARGE) ||
         !(cxmath::fabs(mu) <= QLOGIS_LARGE) || !(sigma <= QLOGIS_LARGE) ||
         !(cxmath::fabs(mu) <= QLOGIS_RESOLUTION * sigma);
}

constexpr double plogis_checked(double x, double mu, double sigma, double fixed) {
  if (!plogis_fixed_may_fail(x, mu, sigma) && fixed >= 0 && fixed <= 1) return fixed;
  const double converged = plogis_converged(x, mu, sigma);
  return cxmath::probability_agrees(fixed, converged) ? fixed : converged;
}

constexpr double qlogis_checked(double p, double mu, double sigma, double fixed) {
  // An infinite location carries every quantile with it (the fixed-depth
  // formula gives NaN when ln(p/(1 - p)) is -inf as well).
  if (!cxmath::isfinite(mu)) return mu;
  if (!qlogis_fixed_may_fail(p, mu, sigma, fixed)) return fixed;
  if (!cxmath::isnan(fixed)) {
    const LogisTails t = plogis_tails(fixed, mu, sigma);
    if (cxmath::quantile_agrees(t.lower, t.upper, p)) return fixed;
  }
  return qlogis_converged(p, mu, sigma);
}

template <bool Converged>
constexpr double plogis_impl(double x, double mu, double sigma, bool log_p) {
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
      P = z < EPS ? 0.5 : (z / cxmath::tanh_cf(z) + 1) * 0.5;
    } else if (z > -EPS) {
      P = 0.5;
    } else {
      const double y = -z;
      P = (1 - y / cxmath::tanh_cf(y)) * 0.5;
    }
    if constexpr (Converged) P = plogis_checked(x, mu, sigma, P);
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
  return log_p ? cxmath::log(P) : P;
}

template <bool Converged>
constexpr double qlogis_impl(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || isnan(p) || p < 0 || p > 1) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  const double q = cxmath::log(p / (1 - p)) * sigma + mu;
  if constexpr (Converged) return qlogis_checked(p, mu, sigma, q);
  return q;
}

}  // namespace detail

// The CDF and quantile: the fixed-depth value, replaced by the closed form
// in extended precision where it fails the agreement rule.
constexpr double plogis(double x, double mu, double sigma, bool log_p) {
  return detail::plogis_impl<true>(x, mu, sigma, log_p);
}
constexpr double qlogis(double p, double mu, double sigma) { return detail::qlogis_impl<true>(p, mu, sigma); }

namespace detail {

// The fixed-depth methods alone.
constexpr double plogis_fixed(double x, double mu, double sigma, bool log_p) {
  return plogis_impl<false>(x, mu, sigma, log_p);
}
constexpr double qlogis_fixed(double p, double mu, double sigma) { return qlogis_impl<false>(p, mu, sigma); }

}  // namespace detail

}  // namespace distmill
