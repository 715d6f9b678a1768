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
#pragma once

#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_beta.hpp"
#include "dists/beta.hpp"
#include "cxmath/incomplete_gamma_checked.hpp"
#include "dists/chisq.hpp"

namespace distmill {

constexpr double df(double x, double df1, double df2, bool log) {
  using namespace cxmath;
  if (isnan(df1) || isnan(x)) return NaN;
  if (isnan(df2)) return NaN;
  if (df1 < EPS) return NaN;
  if (df2 < EPS) return NaN;
  if (x < 0) return log ? -INF : 0.0;
  if (x == 0) {
    // x^(df1/2 - 1) at the origin.
    const double v = df1 < 2 ? INF : df1 == 2 ? 1.0 : 0.0;
    return log ? cxmath::log(v) : v;
  }
  if (df1 == INF && df2 == INF) {
    if (x == 1) return INF;
    return log ? -INF : 0.0;
  }
  if (df1 == INF) {
    // Inverse gamma with shape and scale e = df2/2.
    if (x == INF) return log ? -INF : 0.0;
    const double e = df2 * 0.5;
    const double ld = ((cxmath::log(x) * ((-e) - 1)) + ((cxmath::log(e) * e) - lgamma(e))) - (e / x);
    if (isnan(ld)) {
      // 0 * inf or inf - inf at extreme arguments: g(z) z / x with z = e/x,
      // g the unit gamma density with shape e, in extended precision.
      const ext z = static_cast<ext>(e) / x;
      const ext l = (gamma_log_density_sound(e, z) + gamma_sound::log_ext(z)) -
                    gamma_sound::log_ext(x);
      return log ? static_cast<double>(l) : static_cast<double>(gamma_sound::exp_range(l));
    }
    return log ? ld : exp(ld);
  }
  if (df2 == INF) {
    // Gamma with shape h = df1/2 and scale s = 2/df1; a scale below EPS
    // (df1 above 2^53) is invalid as in the gamma family.
    const double h = df1 * 0.5;
    const double s = 2 / df1;
    if (s < EPS) return NaN;
    if (x == INF) return log ? -INF : 0.0;
    const double ld = ((cxmath::log(x) * (h - 1)) + ((-lgamma(h)) - (cxmath::log(s) * h))) - (x / s);
    if (isnan(ld)) {
      // 0 * inf or inf - inf at extreme arguments: g(x/s)/s in extended
      // precision, g the unit gamma density with shape h.
      const ext l = gamma_log_density_sound(h, static_cast<ext>(x) / s) - gamma_sound::log_ext(s);
      return log ? static_cast<double>(l) : static_cast<double>(gamma_sound::exp_range(l));
    }
    return log ? ld : exp(ld);
  }
  const double r = (x * df1) / df2;
  const double q = 1 + r;
  const double z = r / q;
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  // dz/dx = (h1/h2)/q^2, written as (h1/h2)/q * (1 - z).
  const double J = ((h1 / h2) / q) * (1 - x * ((h1 / h2) / q));
  if (log) return cxmath::log(J) + dbeta(z, h1, h2, true);
  return dbeta(z, h1, h2, false) * J;
}

constexpr double pf(double x, double df1, double df2, bool log_p) {
  using namespace cxmath;
  if (isnan(df1) || isnan(x)) return NaN;
  if (isnan(df2)) return NaN;
  if (df1 < EPS) return NaN;
  if (df2 < EPS) return NaN;
  if (x < EPS) return log_p ? -INF : 0.0;
  if (df1 == INF && df2 == INF) {
    if (x > 1) return log_p ? 0.0 : 1.0;
    if (x == 1) return log_p ? cxmath::log(0.5) : 0.5;
    return log_p ? -INF : 0.0;
  }
  if (df1 == INF) {
    // F <= x  <=>  df2/F >= df2/x: the chi-squared upper function
    // Q(df2/2, df2/(2x)), checked against its converged value where the
    // complement 1 - pchisq can be wrong.
    const double y = df2 / x;
    const double G = detail::pchisq_fixed(y, df2, false);
    double P = 1 - G;
    if (y < INF) P = incomplete_gamma_upper_keep(df2 * 0.5, y * 0.5, P, G > 0.9 || y < EPS);
    return log_p ? cxmath::log(P) : P;
  }
  if (df2 == INF) return pchisq(x * df1, df1, log_p);
  const double r = (x * df1) / df2;
  const double z = r / (1 + r);
  const double h1 = 0.5 * df1;
  const double h2 = df2 * 0.5;
  const double P = incomplete_beta(h1, h2, z);
  return log_p ? cxmath::log(P) : P;
}

constexpr double qf(double p, double df1, double df2) {
  using namespace cxmath;
  if (isnan(df1) || isnan(df2) || df1 < EPS || df2 < EPS || isnan(p) || p < 0 || p > 1) return NaN;
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
  return d / w;
}

}  // namespace distmill
