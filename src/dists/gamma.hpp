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
// ordinary path, from its terms t_x = (k - 1) ln x, lg = ln Gamma(k),
// t_s = ln(theta) k and t_e = x/theta: c = -lg - t_s is the part of the
// parameters alone (dgamma_log_norm), and the sum of the terms' magnitudes
// (dgamma_terms) bounds the absolute error of the result.  Written once for
// the scalar function and the lanes (dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr V dgamma_log_norm(V lg, V t_s) {
  return (-lg) - (t_s);
}
template <class V>
DISTMILL_LANE_INLINE constexpr V dgamma_log_formula(V t_x, V c, V t_e) {
  return ((t_x) + c) - (t_e);
}
template <class V>
DISTMILL_LANE_INLINE constexpr V dgamma_terms(V t_x, V lg, V t_s, V t_e) {
  using cxmath::fabs;
  using cxmath::lanes::fabs;
  return fabs(t_x) + fabs(lg) + fabs(t_s) + t_e;
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
    const double lg = lgamma(shape);
    const double t_x = (shape - 1) * log(x), t_s = log(scale) * shape, t_e = x / scale;
    const double ld = dgamma_log_formula(t_x, dgamma_log_norm(lg, t_s), t_e);
    // Checked below EPS (ln x taken as -inf), at small shapes and where the
    // terms are large (gamma_density_region); where ld is not a number as
    // well.  Converged: g(x/scale)/scale, g the unit gamma density.
    const bool region = x < EPS || gamma_density_region(shape, dgamma_terms(t_x, lg, t_s, t_e), ld, give_log);
    return keep_gamma_density<Checked>(ld, give_log, region, [&] {
      return gamma_log_density_converged(shape, gamma_point(shape, {scale, false}, x)) - xp::log(scale);
    });
  }
  return dpq::zero(give_log);
}

// The CDF from the fixed-depth value P = P(shape, z) at z = x/scale, for
// finite arguments past the guards (the array calls' lanes, which form P
// themselves, end here too).
template <bool Checked>
constexpr double pgamma_from_value(double x, double shape, double scale, double z, double P, bool give_log_p) {
  using namespace cxmath;
  // The converged value at x/scale as the kernel had it where that is a
  // normal double and the shape moderate, else at the exact quotient.
  const bool rounded = z >= 0x1p-1022 && z < INF && shape <= GAMMA_ROUNDED_POINT_SHAPE;
  return keep_probability<Checked>(P, give_log_p, x < EPS || incomplete_gamma_region(shape, z, P), [&](bool give_log) {
    const GammaPoint pt = rounded ? GammaPoint{z, static_cast<ext>(z) - shape} : gamma_point(shape, {scale, false}, x);
    return incomplete_gamma_in_scale(shape, pt, false, give_log);
  });
}

template <bool Checked>
constexpr double pgamma(double x, double shape, double scale, bool give_log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(shape)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < 0) return NaN;
  if (scale < EPS) return NaN;
  if (x == INF && scale == INF) return NaN;
  // Below EPS the fixed-depth answer is 0; checked, a positive x goes on:
  // for shapes below 1 a tiny argument carries real mass (P(a, z) ~
  // z^a / Gamma(1 + a)), and shape 0 has all of it at 0 < x.
  if (x < EPS && !(Checked && x > 0)) return dpq::zero(give_log_p);
  if (shape != 0 && isfinite(shape) && isfinite(scale) && isfinite(x)) {
    const double z = x / scale;
    return pgamma_from_value<Checked>(x, shape, scale, z, x < EPS ? 0.0 : incomplete_gamma(shape, z), give_log_p);
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

// The quantile from the fixed-depth inverse x = P^-1(shape, p), past the
// guards (the array calls' lanes, which refine x themselves, end here too).
// Checked in the inverse's region and wherever the product leaves the
// normal range; the converged tails at v/scale in extended precision.
template <bool Checked>
constexpr double qgamma_from_inverse(double p, double shape, double scale, double x) {
  using namespace cxmath;
  const double v = x * scale;
  const GammaScale law{scale, false};
  return keep_quantile<Checked>(v, p, 1 - p, incomplete_gamma_inv_region(shape, x) || !(v >= 0x1p-1022 && v < INF),
                                [&](double w) { return gamma_law_tails(shape, law, w); },
                                [&] { return gamma_quantile_converged(shape, p, 1 - p, law, x); });
}

template <bool Checked>
constexpr double qgamma(double p, double shape, double scale) {
  using namespace cxmath;
  if (isnan(shape) || isnan(scale) || shape < 0 || scale < EPS || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (shape == INF || scale == INF) return NaN;
  if (shape == 0) return 0.0;
  return qgamma_from_inverse<Checked>(p, shape, scale, incomplete_gamma_inv(shape, p));
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
