// Inverse-gamma distribution with shape alpha and scale beta: 1/X for X
// gamma with shape alpha and scale 1/beta.
//   density  beta^alpha x^(-alpha-1) e^(-beta/x) / Gamma(alpha),
//   CDF      1 - P(alpha, beta/x),
//   quantile beta / P^-1(alpha, 1 - p).
// A zero scale is allowed (all mass at 0).
#pragma once

#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "dists/gamma.hpp"

namespace distmill {

constexpr double dinvgamma(double x, double shape, double scale, bool log) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < 0) return NaN;
  if (scale < 0) return NaN;
  if (x < 0) return log ? -INF : 0.0;
  if (x == 0 || shape == 0) {
    double v;
    if (shape == 0)
      v = x > 0 ? INF : 0.0;
    else
      v = scale == 0 ? INF : 0.0;
    return log ? cxmath::log(v) : v;
  }
  if (scale == 0) return log ? -INF : 0.0;
  if (isfinite(shape) && isfinite(scale) && isfinite(x)) {
    // A scale below EPS has logarithm -inf: density 0.
    const double ld = ((((-shape) - 1) * cxmath::log(x)) +
                       ((cxmath::log(scale) * shape) - lgamma(shape))) -
                      (scale / x);
    return log ? ld : exp(ld);
  }
  return log ? -INF : 0.0;
}

// 1 - (gamma CDF of 1/x with shape alpha and scale 1/beta), with all the
// checks and limits of that CDF; zeros map to +inf and +inf to 0.
constexpr double pinvgamma(double x, double shape, double scale, bool log_p) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < 0) return NaN;
  if (scale < 0) return NaN;
  if (x < 0) return log_p ? -INF : 0.0;
  const auto recip = [](double v) { return v == 0 ? INF : v == INF ? 0.0 : 1 / v; };
  const double u = recip(x);
  const double r = recip(scale);
  const double G = pgamma(u, shape, r, false);
  return log_p ? cxmath::log(1 - G) : 1 - G;
}

constexpr double qinvgamma(double p, double shape, double scale) {
  using namespace cxmath;
  if (isnan(shape) || isnan(scale) || shape < 0 || scale < 0 || isnan(p) || p < 0 || p > 1)
    return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (isinf(shape) || isinf(scale) || scale == 0 || shape == 0)
    return (scale == 0 && shape != 0) ? 0.0 : NaN;
  return scale / incomplete_gamma_inv(shape, 1 - p);
}

}  // namespace distmill
