// Inverse-gamma distribution with shape alpha and scale beta: 1/X for X
// gamma with shape alpha and scale 1/beta.
//   density  beta^alpha x^(-alpha-1) e^(-beta/x) / Gamma(alpha),
//   CDF      1 - P(alpha, beta/x),
//   quantile beta / P^-1(alpha, 1 - p).
// A zero scale is allowed (all mass at 0).
//
// The CDF, 1 - G with G the gamma CDF at 1/x, is checked against the upper
// function Q(alpha, beta/x) computed directly, and the quantile against the
// converged inverse solved for Q = p (no rounding of 1 - p), wherever the
// fixed-depth result can be wrong (the regions beside the kernel,
// cxmath/incomplete_gamma.hpp).
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_converged.hpp"
#include "dists/dpq.hpp"
#include "dists/gamma.hpp"

namespace distmill {

namespace detail {

// The log-density -(alpha + 1) ln x + alpha ln beta - ln Gamma(alpha) -
// beta/x from its terms t_x = (-alpha - 1) ln x, t_s = ln(beta) alpha,
// lg = ln Gamma(alpha) and t_e = beta/x: the parameters' part t_s - lg, and
// the sum of the terms' magnitudes; the sum itself is the gamma one
// (dgamma_log_formula).  Written once for the scalar function and the lanes.
template <class V>
DISTMILL_LANE_INLINE constexpr V dinvgamma_log_norm(V lg, V t_s) {
  return (t_s) - lg;
}
template <class V>
DISTMILL_LANE_INLINE constexpr V dinvgamma_terms(V t_x, V lg, V t_s, V t_e) {
  using cxmath::fabs;
  using cxmath::lanes::fabs;
  return fabs(t_x) + fabs(t_s) + fabs(lg) + t_e;
}

template <bool Checked>
constexpr double dinvgamma(double x, double shape, double scale, bool give_log) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < 0) return NaN;
  if (scale < 0) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (x == 0 || shape == 0) {
    double v;
    if (shape == 0)
      v = x > 0 ? INF : 0.0;
    else
      v = scale == 0 ? INF : 0.0;
    return dpq::value(v, give_log);
  }
  if (scale == 0) return dpq::zero(give_log);
  if (isfinite(shape) && isfinite(scale) && isfinite(x)) {
    // A scale below EPS has logarithm -inf: density 0 (checked).
    const double lg = lgamma(shape);
    const double t_x = ((-shape) - 1) * log(x), t_s = log(scale) * shape, t_e = scale / x;
    const double ld = dgamma_log_formula(t_x, dinvgamma_log_norm(lg, t_s), t_e);
    // Checked where x or the scale is below EPS (their logarithms taken as
    // -inf), at small shapes and where the terms are large
    // (gamma_density_region), and where ld is not a number.  Converged:
    // g(z) z / x of z = scale/x, g the unit gamma density.
    const bool region =
        x < EPS || scale < EPS || gamma_density_region(shape, dinvgamma_terms(t_x, lg, t_s, t_e), ld, give_log);
    return keep_gamma_density<Checked>(ld, give_log, region, [&] {
      const GammaPoint pt = gamma_point(shape, {scale, true}, x);
      return (gamma_log_density_converged(shape, pt) + xp::log(pt.x)) - xp::log(x);
    });
  }
  return dpq::zero(give_log);
}

// 1/v with the reciprocals of the limits: 1/0 = +inf, 1/inf = 0.
constexpr double pinvgamma_recip(double v) { return v == 0 ? cxmath::INF : v == cxmath::INF ? 0.0 : 1 / v; }

// The CDF from the fixed-depth value G = P(shape, z) of the gamma CDF at
// u = 1/x with scale r = 1/scale (the reciprocals as pinvgamma_recip
// forms them), for x >= 0 and shape, scale >= 0 past the guards (the array
// calls' lanes, which form G themselves, end here too).
template <bool Checked>
constexpr double pinvgamma_from_value(double x, double shape, double scale, double u, double r, double G,
                                      bool give_log_p) {
  using namespace cxmath;
  double R = 1 - G;
  if constexpr (Checked) {
    // 1/x and 1/scale both overflowing to +inf (subnormal arguments) would
    // give the NaN meant for x = scale = 0: x = 0 has CDF 0, a zero scale
    // puts all mass at 0 (CDF 1), shape 0 and +inf keep the limits they
    // have for ordinary arguments (0 and 1); positive shapes go on below.
    if (u == INF && r == INF && !(x == 0 && scale == 0)) {
      if (x == 0 || shape == 0)
        R = 0.0;
      else if (scale == 0 || shape == INF)
        R = 1.0;
    }
  }
  // For a positive shape and scale the CDF is the upper function
  // Q(shape, scale/x).  The fixed-depth value is checked wherever the gamma
  // CDF took its general path and wherever a guard of it was reached only
  // through the reciprocals: its x < EPS rule (a large x), its scale < EPS
  // rule (a scale above 2^52: NaN, checked as every NaN is) and the
  // overflow of 1/x or 1/scale to +inf for subnormal arguments.  (x = 0 has
  // CDF 0 for every positive scale, as R is by now.)
  if (!(shape != 0 && isfinite(shape) && scale > 0 && isfinite(scale) && x > 0 && x < INF))
    return dpq::value(R, give_log_p);
  const bool exact = u < INF && r < INF;
  const double z = exact ? u / r : scale / x;
  // The converged value at z as formed here where the reciprocals and z are
  // normal doubles and the shape moderate, at the exact scale/x elsewhere.
  const bool rounded = u >= 0x1p-1022 && r >= 0x1p-1022 && exact && z >= 0x1p-1022 && z < INF &&
                       shape <= GAMMA_ROUNDED_POINT_SHAPE;
  return keep_probability<Checked>(R, give_log_p, G > 0.9 || u < EPS || !exact || incomplete_gamma_region(shape, z, R),
                                   [&](bool give_log) {
                                     const GammaPoint pt = rounded ? GammaPoint{z, static_cast<ext>(z) - shape}
                                                                   : gamma_point(shape, {scale, true}, x);
                                     return incomplete_gamma_in_scale(shape, pt, true, give_log);
                                   });
}

// 1 - (gamma CDF of 1/x with shape alpha and scale 1/beta), with all the
// checks and limits of that CDF; zeros map to +inf and +inf to 0.
template <bool Checked>
constexpr double pinvgamma(double x, double shape, double scale, bool give_log_p) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < 0) return NaN;
  if (scale < 0) return NaN;
  if (x < 0) return dpq::zero(give_log_p);
  const double u = pinvgamma_recip(x);
  const double r = pinvgamma_recip(scale);
  return pinvgamma_from_value<Checked>(x, shape, scale, u, r, pgamma<false>(u, shape, r, false), give_log_p);
}

// The quantile from the fixed-depth inverse y = P^-1(shape, 1 - p), past the
// guards (the array calls' lanes, which refine y themselves, end here too).
// The target of y is Q(shape, y) = p; 1 - p rounded loses its relative
// accuracy once p is small, so small p are always checked, and so is a
// quotient outside the normal range.  The converged tails are those of the
// law at v itself: Q and P at scale/v in extended precision.
template <bool Checked>
constexpr double qinvgamma_from_inverse(double p, double shape, double scale, double y) {
  using namespace cxmath;
  const double c = 1 - p;
  const double v = scale / y;
  const GammaScale law{scale, true};
  return keep_quantile<Checked>(
      v, p, c, p < ROUNDED_TAIL || incomplete_gamma_inv_region(shape, y) || !(v >= 0x1p-1022 && v < INF),
      [&](double w) { return gamma_law_tails(shape, law, w); },
      [&] { return gamma_quantile_converged(shape, p, c, law, y); });
}

template <bool Checked>
constexpr double qinvgamma(double p, double shape, double scale) {
  using namespace cxmath;
  if (isnan(shape) || isnan(scale) || shape < 0 || scale < 0 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (isinf(shape) || isinf(scale) || scale == 0 || shape == 0) return (scale == 0 && shape != 0) ? 0.0 : NaN;
  const double c = 1 - p;
  return qinvgamma_from_inverse<Checked>(p, shape, scale, incomplete_gamma_inv(shape, c));
}

}  // namespace detail

constexpr double dinvgamma(double x, double shape, double scale, bool give_log) {
  return detail::dinvgamma<true>(x, shape, scale, give_log);
}
constexpr double pinvgamma(double x, double shape, double scale, bool give_log_p) {
  return detail::pinvgamma<true>(x, shape, scale, give_log_p);
}
constexpr double qinvgamma(double p, double shape, double scale) { return detail::qinvgamma<true>(p, shape, scale); }

}  // namespace distmill
