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

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_beta.hpp"
#include "cxmath/incomplete_beta_converged.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_converged.hpp"
#include "dists/beta.hpp"
#include "dists/chisq.hpp"
#include "dists/dpq.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

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
  return static_cast<double>((fl.value + (cxmath::xp::log(h1) + cxmath::xp::log(h1 / h2))) -
                             cxmath::xp::log(r));
}

// With r = x df1/df2 formed in extended precision (no overflow), the beta
// point is (r/(1 + r), 1/(1 + r)): the upper tail keeps its digits where
// 1 - r/(1 + r) in double would not.
constexpr Tails pf_tails(double x, double df1, double df2) {
  using cxmath::ext;
  if (x == cxmath::INF) return {1, 0};
  const ext r = (static_cast<ext>(x) * df1) / df2;
  const ext q = 1 + r;
  const auto t = cxmath::incomplete_beta_converged(0.5 * df1, df2 * 0.5, r / q, 1 / q);
  return {t.P, t.Q};
}

// The converged CDF at finite x > 0 in the scale of the log flag (with the
// flag from the log form of the incomplete beta, finite however small).
constexpr double pf_converged(double x, double df1, double df2, bool give_log) {
  using cxmath::ext;
  if (!give_log) return static_cast<double>(pf_tails(x, df1, df2).lower);
  const ext r = (static_cast<ext>(x) * df1) / df2;
  const ext q = 1 + r;
  return static_cast<double>(cxmath::incomplete_beta_converged_log(0.5 * df1, df2 * 0.5, r / q, 1 / q).log_P);
}

// The F quantile (h2/h1) d/(1 - d) from the converged beta point (d, 1 - d),
// each end carried with its own relative precision.
constexpr double qf_converged(double p, double df1, double df2, double guess) {
  using cxmath::ext;
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  const auto pt = cxmath::incomplete_beta_inv_converged(h1, h2, p, 1 - static_cast<ext>(p), guess);
  if (pt.y == 0) return cxmath::INF;
  return static_cast<double>((pt.x / pt.y) * (static_cast<ext>(h2) / h1));
}

// ---- where the fixed-depth forms can miss the rule ----

// Density: where the beta density behind it can (at its rounded point z),
// where x df1 overflows, where the factor 1 - x (h1/h2)/q = 1/(1 + r)
// cancels (a relative error ~2^-53 r), and where the Jacobian J = dz/dx
// falls below EPS, whose logarithm the log form takes as -inf.
inline constexpr double DF_RATIO_BOUND = 1e5;
inline constexpr double DF_SMALL_JACOBIAN = 1e-15;

constexpr bool df_region(double x, double df1, double df2) {
  const double r = (x * df1) / df2;
  if (!(r <= DF_RATIO_BOUND)) return true;
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  const double q = 1 + r;
  const double J = ((h1 / h2) / q) * (1 - x * ((h1 / h2) / q));
  if (!(J >= DF_SMALL_JACOBIAN)) return true;
  return cxmath::beta_log_density_region(h1, h2, r / q);
}

// CDF: where the beta CDF can at its point z = r/(1 + r), r = x df1/df2,
// and in the upper tail, where the kernel works on 1 - z formed from the
// rounded z: an absolute error of ~2^-53 in 1 - z ~ 1/(1 + r) becomes a
// relative error ~h2 (1 + r) 2^-53 in 1 - I ~ (1 - z)^h2.  That stays below
// ~1e-12 while h2 (1 + r) <= 1e4.  Overflow of x df1 (r = inf, z = NaN) and
// arguments below EPS (which the fixed-depth branch answers with 0) are in
// the region too.
inline constexpr double PF_UPPER_TAIL_BOUND = 1e4;

constexpr bool pf_region(double x, double df1, double df2) {
  if (x < cxmath::EPS) return true;
  const double r = (x * df1) / df2;
  const double z = r / (1 + r);
  const double h2 = df2 * 0.5;
  if (!(h2 * (1 + r) <= PF_UPPER_TAIL_BOUND)) return true;
  return cxmath::incomplete_beta_region(0.5 * df1, h2, z);
}

// Quantile: where the beta quantile d behind it can, and where d is so
// near 1 that 1 - d, formed in double, no longer carries the upper tail
// (the same bound as for the CDF, with 1 + r = 1/(1 - d)).  `d` is the
// fixed-depth beta quantile.
constexpr bool qf_region(double p, double df1, double df2, double d) {
  const double h2 = df2 * 0.5;
  if (!(h2 <= PF_UPPER_TAIL_BOUND * (1 - d))) return true;
  return cxmath::incomplete_beta_inv_region(0.5 * df1, h2, p);
}

// The point of the beta law behind the density at x: r = x df1/df2,
// q = 1 + r, z = r/q, and the Jacobian dz/dx = (h1/h2)/q^2 written as
// (h1/h2)/q (1 - x (h1/h2)/q), from k = h1/h2.  Written once for the scalar
// function and the lanes (dists/lanes/), where k of degrees of freedom fixed
// for the call is taken once.
template <class V>
struct FPoint {
  V r, q, z, J;
};
template <class V>
DISTMILL_LANE_INLINE constexpr FPoint<V> df_point(V x, V df1, V df2, V k) {
  const V r = (x * df1) / df2;
  const V q = 1.0 + r;
  return {r, q, r / q, (k / q) * (1.0 - x * (k / q))};
}

template <bool Checked>
constexpr double df(double x, double df1, double df2, bool give_log) {
  using namespace cxmath;
  if (isnan(df1) || isnan(x)) return NaN;
  if (isnan(df2)) return NaN;
  if (df1 < EPS) return NaN;
  if (df2 < EPS) return NaN;
  if (x < 0) return dpq::zero(give_log);
  // x^(df1/2 - 1) at the origin.
  if (x == 0) return dpq::value(df1 < 2 ? INF : df1 == 2 ? 1.0 : 0.0, give_log);
  if (df1 == INF && df2 == INF) {
    if (x == 1) return INF;
    return dpq::zero(give_log);
  }
  // With one infinite degree of freedom the density is a gamma-side one, its
  // fixed-depth log-density a sum of logarithms and log-gammas that fails at
  // arguments below EPS (ln x taken as -inf), tiny and huge shapes: these
  // rare calls are all checked against the extended log-density.
  if (df1 == INF) {
    // Inverse gamma with shape and scale e = df2/2: g(z) z / x with z = e/x,
    // g the unit gamma density with shape e.
    if (x == INF) return dpq::zero(give_log);
    const double e = df2 * 0.5;
    const double ld = ((log(x) * ((-e) - 1)) + ((log(e) * e) - lgamma(e))) - (e / x);
    return keep_log_density<Checked>(ld, give_log, true, [&] {
      const ext z = static_cast<ext>(e) / x;
      return static_cast<double>((gamma_log_density_converged(e, z) + xp::log(z)) - xp::log(x));
    });
  }
  if (df2 == INF) {
    // Gamma with shape h = df1/2 and scale s = 2/df1: g(x/s)/s; a scale
    // below EPS (df1 above 2^53) is invalid as in the gamma family.
    const double h = df1 * 0.5;
    const double s = 2 / df1;
    if (s < EPS) return NaN;
    if (x == INF) return dpq::zero(give_log);
    const double ld = ((log(x) * (h - 1)) + ((-lgamma(h)) - (log(s) * h))) - (x / s);
    return keep_log_density<Checked>(ld, give_log, true, [&] {
      return static_cast<double>(gamma_log_density_converged(h, static_cast<ext>(x) / s) - xp::log(s));
    });
  }
  // The density vanishes at +inf (r/(1 + r) would be inf/inf).
  if (Checked && x == INF) return dpq::zero(give_log);
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  const FPoint<double> pt = df_point(x, df1, df2, h1 / h2);
  const double z = pt.z, J = pt.J;
  const double v = give_log ? log(J) + dbeta<false>(z, h1, h2, true) : dbeta<false>(z, h1, h2, false) * J;
  return keep_density<Checked>(v, give_log, df_region(x, df1, df2), [&] {
    const double ld = df_log_converged(x, df1, df2);
    return give_log ? ld : exp(ld);
  });
}

template <bool Checked>
constexpr double pf(double x, double df1, double df2, bool give_log_p) {
  using namespace cxmath;
  if (isnan(df1) || isnan(x)) return NaN;
  if (isnan(df2)) return NaN;
  if (df1 < EPS) return NaN;
  if (df2 < EPS) return NaN;
  const auto converged = [&](bool give_log) { return pf_converged(x, df1, df2, give_log); };
  if (x < EPS) {
    // The fixed-depth method counts x below EPS as 0; with finite degrees
    // of freedom that answer is checked like any other.
    if (x > 0 && df1 != INF && df2 != INF)
      return keep_probability<Checked>(0.0, give_log_p, pf_region(x, df1, df2), converged);
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
    const double G = pchisq<false>(y, df2, false);
    const double P = 1 - G;
    if (!(y < INF)) return dpq::value(P, give_log_p);
    const double h = df2 * 0.5, z = y * 0.5;
    return keep_probability<Checked>(P, give_log_p, G > 0.9 || y < EPS || incomplete_gamma_region(h, z, P),
                                     [&] {
                                       // P(F <= x) = Q, P(F > x) = P: either tail keeps its digits.
                                       const GammaPQ g = incomplete_gamma_converged(h, z);
                                       return Tails{g.Q, g.P};
                                     });
  }
  if (df2 == INF) return pchisq<true>(x * df1, df1, give_log_p);
  // The whole mass lies below +inf (r/(1 + r) would be inf/inf).
  if (Checked && x == INF) return dpq::one(give_log_p);
  const double r = (x * df1) / df2;
  const double z = r / (1 + r);
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  return keep_probability<Checked>(incomplete_beta(h1, h2, z), give_log_p, pf_region(x, df1, df2), converged);
}

// The quantile from the beta quantile d = I^-1(df1/2, df2/2, p) of finite
// degrees of freedom, past the guards (the array calls' lanes, which
// refine d themselves, end here too): d / ((h1/h2)(1 - d)), checked where
// 1 - d is too small for df2/2 and wherever it leaves [0, inf].
template <bool Checked>
constexpr double qf_from_inverse(double p, double df1, double df2, double d) {
  using namespace cxmath;
  const double w = ((df1 * 0.5) / (df2 * 0.5)) * (1 - d);
  const double q = d / w;
  const bool in_support = q >= 0 && q <= INF;
  return keep_quantile<Checked>(q, p, 1 - p, qf_region(p, df1, df2, d) || !in_support,
                                [&](double v) { return v >= 0 && v <= INF ? pf_tails(v, df1, df2) : NO_TAILS; },
                                [&] { return qf_converged(p, df1, df2, d); });
}

template <bool Checked>
constexpr double qf(double p, double df1, double df2) {
  using namespace cxmath;
  if (isnan(df1) || isnan(df2) || df1 < EPS || df2 < EPS || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (df1 == INF && df2 == INF) return 1.0;
  if (df2 == INF) return qchisq<true>(p, df1) / df1;
  if (df1 == INF) {
    // df2/qchisq(1 - p, df2): the chi-squared quantile y/2 solves
    // P(df2/2, y/2) = 1 - p, that is Q(df2/2, y/2) = p, which the check and
    // the converged inverse use directly (1 - p rounded loses the relative
    // accuracy of small p, so small p are always checked).
    const double c = 1 - p;
    const double h = df2 * 0.5;
    const double r = c == 1 ? INF : incomplete_gamma_inv(h, c);
    const double k = keep_quantile<Checked>(r, c, p, p < ROUNDED_TAIL || incomplete_gamma_inv_region(h, r),
                                            [&](double v) { return incomplete_gamma_tails(h, v); },
                                            [&] { return incomplete_gamma_inv_converged(h, c, p, r); });
    return df2 / (k + k);
  }
  return qf_from_inverse<Checked>(p, df1, df2, incomplete_beta_inv(df1 * 0.5, df2 * 0.5, p));
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule (finite degrees of
// freedom; the infinite ones go through the gamma-side functions).
constexpr double df(double x, double df1, double df2, bool give_log) { return detail::df<true>(x, df1, df2, give_log); }
constexpr double pf(double x, double df1, double df2, bool give_log_p) {
  return detail::pf<true>(x, df1, df2, give_log_p);
}
constexpr double qf(double p, double df1, double df2) { return detail::qf<true>(p, df1, df2); }

}  // namespace distmill
