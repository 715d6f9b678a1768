// Gamma distribution with shape k and scale theta:
//   density  x^(k-1) e^(-x/theta) / (Gamma(k) theta^k)   on [0, inf),
//   CDF      P(k, x/theta), the regularized lower incomplete gamma,
//   quantile theta * P^-1(k, p).
// A scale below EPS is invalid.  Shape 0 is the point mass at 0.
//
// The CDF and quantile take the fixed-depth kernels' result wherever it is
// accurate and the converged one elsewhere (the regions beside the kernel,
// cxmath/incomplete_gamma.hpp).
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_converged.hpp"
#include "dists/dpq.hpp"

namespace distmill {

namespace detail {

// The log-density (k - 1) ln x - ln Gamma(k) - k ln theta - x/theta on the
// ordinary path, from ln x and c = -ln Gamma(k) - ln(theta) k (the part of
// the parameters alone, dgamma_log_norm): the scalar function and the
// lanes (dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr V dgamma_log_norm(V shape, V lgamma_shape, V ln_scale) {
  return (-lgamma_shape) - (ln_scale * shape);
}
template <class V>
DISTMILL_LANE_INLINE constexpr V dgamma_log_formula(V x, V ln_x, V shape, V scale, V c) {
  return (((shape - 1.0) * ln_x) + c) - (x / scale);
}

template <bool Checked>
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
    const double ld = dgamma_log_formula(x, log(x), shape, scale, dgamma_log_norm(shape, lgamma(shape), log(scale)));
    // Where that is not a number: g(x/scale)/scale, g the unit gamma density.
    return keep_gamma_density<Checked>(ld, give_log, [&] {
      return gamma_log_density_converged(shape, static_cast<ext>(x) / scale) - xp::log(scale);
    });
  }
  return dpq::zero(give_log);
}

template <bool Checked>
constexpr double pgamma(double x, double shape, double scale, bool give_log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(shape)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < 0) return NaN;
  if (scale < EPS) return NaN;
  if (x == INF && scale == INF) return NaN;
  if (x < EPS) return dpq::zero(give_log_p);
  if (shape != 0 && isfinite(shape) && isfinite(scale) && isfinite(x)) {
    const double z = x / scale;
    const double P = incomplete_gamma(shape, z);
    return keep_probability<Checked>(P, give_log_p, incomplete_gamma_region(shape, z, P),
                                     [&] { return incomplete_gamma_converged(shape, z).P; });
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

template <bool Checked>
constexpr double qgamma(double p, double shape, double scale) {
  using namespace cxmath;
  if (isnan(shape) || isnan(scale) || shape < 0 || scale < EPS || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (shape == INF || scale == INF) return NaN;
  if (shape == 0) return 0.0;
  const double x = incomplete_gamma_inv(shape, p);
  return keep_quantile<Checked>(x, p, 1 - p, incomplete_gamma_inv_region(shape, x),
                                [&](double v) { return incomplete_gamma_tails(shape, v); },
                                [&] { return incomplete_gamma_inv_converged(shape, p, 1 - p, x); }) *
         scale;
}

}  // namespace detail

constexpr double dgamma(double x, double shape, double scale, bool give_log) {
  return detail::dgamma<true>(x, shape, scale, give_log);
}
constexpr double pgamma(double x, double shape, double scale, bool give_log_p) {
  return detail::pgamma<true>(x, shape, scale, give_log_p);
}
constexpr double qgamma(double p, double shape, double scale) { return detail::qgamma<true>(p, shape, scale); }

}  // namespace distmill
