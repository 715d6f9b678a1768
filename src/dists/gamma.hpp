// Gamma distribution with shape k and scale theta:
//   density  x^(k-1) e^(-x/theta) / (Gamma(k) theta^k)   on [0, inf),
//   CDF      P(k, x/theta), the regularized lower incomplete gamma,
//   quantile theta * P^-1(k, p).
// A scale below EPS is invalid.  Shape 0 is the point mass at 0.
//
// The CDF and quantile take the fixed-depth kernels' result wherever it is
// accurate and the converged one elsewhere (cxmath/incomplete_gamma_checked.hpp);
// detail::pgamma_fixed and detail::qgamma_fixed are the fixed-depth methods
// alone.
#pragma once

#include "dists/dpq.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_checked.hpp"
#include "cxmath/incomplete_gamma_sound.hpp"

namespace distmill {

constexpr double dgamma(double x, double shape, double scale, bool give_log) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < 0) return NaN;
  if (scale < EPS) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (x == 0 || shape == 0) {
    // Limits at the origin: x^(k-1) blows up for k < 1, is 1 for k = 1 and
    // vanishes for k > 1.  Shape 0 puts all mass at 0.
    double v;
    if (shape == 0)
      v = x == 0 ? INF : 0.0;
    else if (shape < 1)
      v = INF;
    else if (shape == 1)
      v = 1 / scale;
    else
      v = 0.0;
    return dpq::value(v, give_log);
  }
  if (isfinite(shape) && isfinite(scale) && isfinite(x)) {
    const double ld = (((shape - 1) * log(x)) +
                       ((-lgamma(shape)) - (log(scale) * shape))) -
                      (x / scale);
    if (isnan(ld)) {
      // The fixed-depth form meets 0 * inf or inf - inf at extreme arguments
      // (x or the shape below EPS, where the guarded logarithms and ln Gamma
      // give infinities; or huge shapes): the density is evaluated in
      // extended precision instead.
      const ext l = gamma_log_density_sound(shape, static_cast<ext>(x) / scale) -
                    gamma_sound::log_ext(scale);
      return give_log ? static_cast<double>(l) : static_cast<double>(gamma_sound::exp_range(l));
    }
    return dpq::from_log(ld, give_log);
  }
  return dpq::zero(give_log);
}

namespace detail {

// The CDF with the fixed-depth kernel (checked = false) or the checked one.
constexpr double pgamma_impl(double x, double shape, double scale, bool give_log_p, bool checked) {
  using namespace cxmath;
  if (isnan(x) || isnan(shape)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < 0) return NaN;
  if (scale < EPS) return NaN;
  if (x == INF && scale == INF) return NaN;
  if (x < EPS) return dpq::zero(give_log_p);
  if (shape != 0 && isfinite(shape) && isfinite(scale) && isfinite(x)) {
    const double z = x / scale;
    const double P = checked ? incomplete_gamma_checked(shape, z) : incomplete_gamma(shape, z);
    return dpq::value(P, give_log_p);
  }
  // Limits: shape 0 is a point mass at 0 (seen only with a finite scale);
  // an infinite x passes all mass of a finite scale; an infinite shape or
  // scale moves all mass beyond any finite x.
  double R;
  if (shape == 0)
    R = scale == INF ? 0.0 : 1.0;
  else if (x == INF)
    R = 1.0;
  else
    R = 0.0;
  return dpq::value(R, give_log_p);
}

constexpr double pgamma_fixed(double x, double shape, double scale, bool give_log_p) {
  return pgamma_impl(x, shape, scale, give_log_p, false);
}

}  // namespace detail

constexpr double pgamma(double x, double shape, double scale, bool give_log_p) {
  return detail::pgamma_impl(x, shape, scale, give_log_p, true);
}

namespace detail {

constexpr double qgamma_impl(double p, double shape, double scale, bool checked) {
  using namespace cxmath;
  if (isnan(shape) || isnan(scale) || shape < 0 || scale < EPS || dpq::not_a_probability(p))
    return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (shape == INF || scale == INF) return NaN;
  if (shape == 0) return 0.0;
  const double x = checked ? incomplete_gamma_inv_checked(shape, p) : incomplete_gamma_inv(shape, p);
  return x * scale;
}

constexpr double qgamma_fixed(double p, double shape, double scale) {
  return qgamma_impl(p, shape, scale, false);
}

}  // namespace detail

constexpr double qgamma(double p, double shape, double scale) {
  return detail::qgamma_impl(p, shape, scale, true);
}

}  // namespace distmill
