// F distribution with degrees of freedom df1 and df2: the law of
// (X1/df1)/(X2/df2) for independent chi-squared X1, X2.
//
// With r = x df1/df2 the variable z = r/(1 + r) is beta(df1/2, df2/2), so
//   density  dbeta(z, df1/2, df2/2) dz/dx,  dz/dx = (df1/df2)/(1 + r)^2,
//   CDF      I_z(df1/2, df2/2),
//   quantile d/((df1/df2)(1 - d)) with d = I^-1(df1/2, df2/2, p).
// An infinite df2 makes X2/df2 = 1: df1 F is chi-squared(df1), a gamma law
// with shape df1/2 and scale 2/df1 for F itself.  An infinite df1 makes
// X1/df1 = 1: df2/F is chi-squared(df2), so F is inverse gamma with shape
// and scale df2/2.  Both infinite: the point mass at 1.
//
// With finite degrees of freedom every function takes the fixed-depth value
// first and checks it, where its region predicate says it can fail, against
// the converged beta-side value at the point (r/(1 + r), 1/(1 + r)) formed
// in extended precision; the rule of agreement.hpp decides which is kept.
#pragma once

#include "dists/dpq.hpp"
#include "cxmath/agreement.hpp"
#include "cxmath/agreement_forms.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_beta.hpp"
#include "cxmath/incomplete_beta_sound.hpp"
#include "dists/beta.hpp"
#include "cxmath/incomplete_gamma_checked.hpp"
#include "dists/chisq.hpp"

namespace distmill {

namespace detail {

// Converged log-density for finite positive x and finite degrees of
// freedom: with r = x df1/df2 in extended precision and the beta point
// (r/(1 + r), 1/(1 + r)), the density dbeta(z) dz/dx simplifies to
//   ln f = ln(z^h1 y^h2/(h1 B(h1, h2))) + ln h1 + ln(h1/h2) - ln r.
constexpr double df_log_converged(double x, double df1, double df2) {
  using cxmath::ext;
  const ext h1 = 0.5 * df1, h2 = df2 * 0.5;
  const ext r = (static_cast<ext>(x) * df1) / df2;
  const ext q = 1 + r;
  const auto fl = cxmath::detail::beta_front_log(h1, h2, r / q, 1 / q);
  return static_cast<double>((fl.value + (cxmath::xb::log(h1) + cxmath::xb::log(h1 / h2))) -
                             cxmath::xb::log(r));
}

// Where the fixed-depth F density can miss the rule: where the beta
// density behind it can (at its rounded point z), where x df1 overflows,
// where the factor 1 - x (h1/h2)/q = 1/(1 + r) cancels (a relative
// error ~2^-53 r: checked from r = 1e5 on), and where the Jacobian
// J = dz/dx falls below EPS, whose logarithm the log form takes as -inf.
inline constexpr double DF_RATIO_BOUND = 1e5;
inline constexpr double DF_SMALL_JACOBIAN = 1e-15;

constexpr bool df_fixed_may_fail(double x, double df1, double df2) {
  const double r = (x * df1) / df2;
  if (!(r <= DF_RATIO_BOUND)) return true;
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  const double q = 1 + r;
  const double J = ((h1 / h2) / q) * (1 - x * ((h1 / h2) / q));
  if (!(J >= DF_SMALL_JACOBIAN)) return true;
  return dbeta_fixed_may_fail(r / q, h1, h2);
}

constexpr double df_checked(double x, double df1, double df2, bool give_log, double fixed) {
  if (!df_fixed_may_fail(x, df1, df2) && !cxmath::isnan(fixed)) return fixed;
  const double ld = df_log_converged(x, df1, df2);
  if (give_log) return cxmath::log_density_agrees(fixed, ld) ? fixed : ld;
  const double d = exp(ld);
  return cxmath::density_agrees(fixed, d) ? fixed : d;
}

template <bool Converged>
constexpr double df_impl(double x, double df1, double df2, bool give_log) {
  using namespace cxmath;
  if (isnan(df1) || isnan(x)) return NaN;
  if (isnan(df2)) return NaN;
  if (df1 < EPS) return NaN;
  if (df2 < EPS) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (x == 0) {
    // x^(df1/2 - 1) at the origin.
    const double v = df1 < 2 ? INF : df1 == 2 ? 1.0 : 0.0;
    return dpq::value(v, give_log);
  }
  if (df1 == INF && df2 == INF) {
    if (x == 1) return INF;
    return dpq::zero(give_log);
  }
  if (df1 == INF) {
    // Inverse gamma with shape and scale e = df2/2.
    if (x == INF) return dpq::zero(give_log);
    const double e = df2 * 0.5;
    const double ld = ((log(x) * ((-e) - 1)) + ((log(e) * e) - lgamma(e))) - (e / x);
    if (isnan(ld)) {
      // 0 * inf or inf - inf at extreme arguments: g(z) z / x with z = e/x,
      // g the unit gamma density with shape e, in extended precision.
      const ext z = static_cast<ext>(e) / x;
      const ext l = (gamma_log_density_sound(e, z) + gamma_sound::log_ext(z)) -
                    gamma_sound::log_ext(x);
      return give_log ? static_cast<double>(l) : static_cast<double>(gamma_sound::exp_range(l));
    }
    return dpq::from_log(ld, give_log);
  }
  if (df2 == INF) {
    // Gamma with shape h = df1/2 and scale s = 2/df1; a scale below EPS
    // (df1 above 2^53) is invalid as in the gamma family.
    const double h = df1 * 0.5;
    const double s = 2 / df1;
    if (s < EPS) return NaN;
    if (x == INF) return dpq::zero(give_log);
    const double ld = ((log(x) * (h - 1)) + ((-lgamma(h)) - (log(s) * h))) - (x / s);
    if (isnan(ld)) {
      // 0 * inf or inf - inf at extreme arguments: g(x/s)/s in extended
      // precision, g the unit gamma density with shape h.
      const ext l = gamma_log_density_sound(h, static_cast<ext>(x) / s) - gamma_sound::log_ext(s);
      return give_log ? static_cast<double>(l) : static_cast<double>(gamma_sound::exp_range(l));
    }
    return dpq::from_log(ld, give_log);
  }
  if constexpr (Converged) {
    // The density vanishes at +inf (r/(1 + r) would be inf/inf).
    if (x == INF) return dpq::zero(give_log);
  }
  const double r = (x * df1) / df2;
  const double q = 1 + r;
  const double z = r / q;
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  // dz/dx = (h1/h2)/q^2, written as (h1/h2)/q * (1 - z).
  const double J = ((h1 / h2) / q) * (1 - x * ((h1 / h2) / q));
  const double v = give_log ? log(J) + dbeta_fixed(z, h1, h2, true) : dbeta_fixed(z, h1, h2, false) * J;
  if constexpr (Converged) return df_checked(x, df1, df2, give_log, v);
  return v;
}

}  // namespace detail

// The density: the fixed-depth value (finite degrees of freedom), replaced
// by the converged one where it fails the agreement rule.
constexpr double df(double x, double df1, double df2, bool give_log) {
  return detail::df_impl<true>(x, df1, df2, give_log);
}

namespace detail {
constexpr double df_fixed(double x, double df1, double df2, bool give_log) {
  return df_impl<false>(x, df1, df2, give_log);
}
}  // namespace detail

namespace detail {

// With r = x df1/df2 formed in extended precision (no overflow), the beta
// point is (r/(1 + r), 1/(1 + r)): the upper tail keeps its digits where
// 1 - r/(1 + r) in double would not.
constexpr cxmath::detail::BetaTail pf_tails(double x, double df1, double df2) {
  using cxmath::ext;
  if (x == cxmath::INF) return {1, 0, 0};
  const ext r = (static_cast<ext>(x) * df1) / df2;
  const ext q = 1 + r;
  return cxmath::incomplete_beta_sound(0.5 * df1, df2 * 0.5, r / q, 1 / q);
}
constexpr double pf_converged(double x, double df1, double df2) {
  return static_cast<double>(pf_tails(x, df1, df2).P);
}

// The F quantile (h2/h1) d/(1 - d) from the converged beta point (d, 1 - d),
// each end carried with its own relative precision.
constexpr double qf_converged(double p, double df1, double df2, double guess) {
  using cxmath::ext;
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  const auto pt = cxmath::incomplete_beta_inv_sound(h1, h2, p, 1 - static_cast<ext>(p), guess);
  if (pt.y == 0) return cxmath::INF;
  return static_cast<double>((pt.x / pt.y) * (static_cast<ext>(h2) / h1));
}

// Where the fixed-depth F CDF can miss the rule: where the beta CDF can at
// its point z = r/(1 + r), r = x df1/df2, and in the upper tail, where the
// kernel works on 1 - z formed from the rounded z: an absolute error of
// ~2^-53 in 1 - z ~ 1/(1 + r) becomes a relative error ~h2 (1 + r) 2^-53 in
// 1 - I ~ (1 - z)^h2.  That stays below ~1e-12 while h2 (1 + r) <= 1e4.
// Overflow of x df1 (r = inf, z = NaN) and arguments below EPS (which the
// fixed-depth branch answers with 0) are in the region too.
inline constexpr double PF_UPPER_TAIL_BOUND = 1e4;

constexpr bool pf_fixed_may_fail(double x, double df1, double df2) {
  if (x < cxmath::EPS) return true;
  const double r = (x * df1) / df2;
  const double z = r / (1 + r);
  const double h2 = df2 * 0.5;
  if (!(h2 * (1 + r) <= PF_UPPER_TAIL_BOUND)) return true;
  return pbeta_fixed_may_fail(z, 0.5 * df1, h2);
}
// Where the fixed-depth F quantile can miss the rule: where the beta
// quantile d behind it can, and where d is so near 1 that 1 - d, formed
// in double, no longer carries the upper tail (the same bound as for the
// CDF, with 1 + r = 1/(1 - d)).  `d` is the fixed-depth beta quantile.
constexpr bool qf_fixed_may_fail(double p, double df1, double df2, double d) {
  const double h2 = df2 * 0.5;
  if (!(h2 <= PF_UPPER_TAIL_BOUND * (1 - d))) return true;
  return qbeta_fixed_may_fail(p, 0.5 * df1, h2);
}

constexpr double pf_checked(double x, double df1, double df2, double fixed) {
  if (!pf_fixed_may_fail(x, df1, df2) && fixed >= 0 && fixed <= 1) return fixed;
  const double converged = pf_converged(x, df1, df2);
  return cxmath::probability_agrees(fixed, converged) ? fixed : converged;
}

// `d` is the fixed-depth beta quantile behind `fixed`.
constexpr double qf_checked(double p, double df1, double df2, double fixed, double d) {
  const bool in_support = fixed >= 0 && fixed <= cxmath::INF;
  if (!qf_fixed_may_fail(p, df1, df2, d) && in_support) return fixed;
  if (in_support) {
    const auto t = pf_tails(fixed, df1, df2);
    if (cxmath::quantile_agrees(t.P, t.Q, p)) return fixed;
  }
  return qf_converged(p, df1, df2, d);
}

template <bool Converged>
constexpr double pf_impl(double x, double df1, double df2, bool give_log_p) {
  using namespace cxmath;
  if (isnan(df1) || isnan(x)) return NaN;
  if (isnan(df2)) return NaN;
  if (df1 < EPS) return NaN;
  if (df2 < EPS) return NaN;
  if (x < EPS) {
    // The fixed-depth method counts x below EPS as 0; with finite degrees
    // of freedom that answer is checked like any other.
    if constexpr (Converged) {
      if (x > 0 && df1 != INF && df2 != INF) {
        const double P = pf_checked(x, df1, df2, 0.0);
        return dpq::value(P, give_log_p);
      }
    }
    return dpq::zero(give_log_p);
  }
  if (df1 == INF && df2 == INF) {
    if (x > 1) return dpq::one(give_log_p);
    if (x == 1) return dpq::value(0.5, give_log_p);
    return dpq::zero(give_log_p);
  }
  if (df1 == INF) {
    // F <= x  <=>  df2/F >= df2/x: the chi-squared upper function
    // Q(df2/2, df2/(2x)), checked against its converged value where the
    // complement 1 - pchisq can be wrong.
    const double y = df2 / x;
    const double G = detail::pchisq_fixed(y, df2, false);
    double P = 1 - G;
    if (y < INF) P = incomplete_gamma_upper_keep(df2 * 0.5, y * 0.5, P, G > 0.9 || y < EPS);
    return dpq::value(P, give_log_p);
  }
  if (df2 == INF) return pchisq(x * df1, df1, give_log_p);
  if constexpr (Converged) {
    // The whole mass lies below +inf (r/(1 + r) would be inf/inf).
    if (x == INF) return dpq::one(give_log_p);
  }
  const double r = (x * df1) / df2;
  const double z = r / (1 + r);
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  double P = incomplete_beta(h1, h2, z);
  if constexpr (Converged) P = pf_checked(x, df1, df2, P);
  return dpq::value(P, give_log_p);
}

template <bool Converged>
constexpr double qf_impl(double p, double df1, double df2) {
  using namespace cxmath;
  if (isnan(df1) || isnan(df2) || df1 < EPS || df2 < EPS || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (df1 == INF && df2 == INF) return 1.0;
  if (df2 == INF) return qchisq(p, df1) / df1;
  if (df1 == INF) {
    // df2/qchisq(1 - p, df2): the chi-squared quantile y/2 solves
    // P(df2/2, y/2) = 1 - p, that is Q(df2/2, y/2) = p, which the check and
    // the converged inverse use directly (1 - p rounded loses the relative
    // accuracy of small p, so small p are always checked).
    const double c = 1 - p;
    const double h = df2 * 0.5;
    double r = c == 1 ? INF : incomplete_gamma_inv(h, c);
    r = incomplete_gamma_inv_keep(h, c, p, r, p < 1e-4);
    return df2 / (r + r);
  }
  const double d = incomplete_beta_inv(df1 * 0.5, df2 * 0.5, p);
  const double w = ((df1 * 0.5) / (df2 * 0.5)) * (1 - d);
  if constexpr (Converged) return qf_checked(p, df1, df2, d / w, d);
  return d / w;
}

}  // namespace detail

// The CDF and quantile: the fixed-depth value, replaced by the converged one
// where it fails the agreement rule (finite degrees of freedom only; the
// infinite ones go through the chi-squared functions).
constexpr double pf(double x, double df1, double df2, bool give_log_p) {
  return detail::pf_impl<true>(x, df1, df2, give_log_p);
}
constexpr double qf(double p, double df1, double df2) { return detail::qf_impl<true>(p, df1, df2); }

namespace detail {

// The fixed-depth methods alone.
constexpr double pf_fixed(double x, double df1, double df2, bool give_log_p) {
  return pf_impl<false>(x, df1, df2, give_log_p);
}
constexpr double qf_fixed(double p, double df1, double df2) { return qf_impl<false>(p, df1, df2); }

}  // namespace detail

}  // namespace distmill
