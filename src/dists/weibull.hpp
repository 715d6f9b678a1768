// Weibull distribution with shape k and scale l on x >= 0:
// density (k/l) (x/l)^(k-1) e^(-(x/l)^k), computed in log form as
// ln(k/l) + (k - 1) ln(x/l) - (x/l)^k; CDF 1 - e^(-(x/l)^k) through expm1;
// quantile l (-ln(1 - p))^(1/k) with ln(1 - p) from log1p.
// Shapes and scales below EPS are invalid.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/ext_pair.hpp"
#include "cxmath/extended.hpp"
#include "cxmath/lanes/elementary.hpp"
#include "dists/dpq.hpp"
#include "dists/extremes.hpp"

namespace distmill {

namespace detail {

// ---- converged forms, in extended precision ----

// ln(x/scale) for 0 <= x < inf and a finite scale.  x/scale rounded to
// the extended format is off by 2^-64 of itself, an absolute error in its
// logarithm that the shape multiplies: above WEIBULL_PAIR_SHAPE (an error
// of 2^-64 k, 5e-16 and more, in ln y^k) the difference of the two
// logarithms is taken to twice the extended precision instead.
inline constexpr double WEIBULL_PAIR_SHAPE = 1e4;

constexpr cxmath::ext weibull_log_y(double x, double scale, double shape) {
  using cxmath::ext;
  if (!(x > 0)) return -cxmath::INF_EXT;
  if (shape > WEIBULL_PAIR_SHAPE) return cxmath::xp::log_ratio(x, scale);
  return cxmath::xp::log(static_cast<ext>(x) / scale);
}

// Log-density ln(k/l) + (k - 1) ln y - y^k, y = x/l, for 0 <= x < inf and
// finite positive shape k and scale l; every logarithm is the true one and
// y^k = e^(k ln y) cannot lose y below EPS.
constexpr double dweibull_log_converged(double x, double shape, double scale) {
  using cxmath::ext;
  const ext ly = weibull_log_y(x, scale, shape);
  const ext K = shape;
  const ext B = shape == 1 ? ext(0) : ly * (K - 1);
  const ext C = cxmath::xp::exp(K * ly);
  return static_cast<double>((cxmath::xp::log(K / scale) + B) - C);
}

// P = -expm1(-w) and 1 - P = e^(-w), w = y^k = e^(k ln y).
constexpr Tails pweibull_tails(double x, double shape, double scale) {
  using cxmath::ext;
  if (!(x > 0)) return {0, 1};
  if (!(x < cxmath::INF)) return {1, 0};
  const ext u = -cxmath::xp::exp(static_cast<ext>(shape) * weibull_log_y(x, scale, shape));
  return {-cxmath::xp::expm1(u), cxmath::xp::exp(u)};
}

// P, or ln P with the flag: from the tails, and where the lower one
// underflows the extended range as ln(1 - e^(-w)) = ln w - w/2 + ...
// = k ln y (to far below its last bit).
constexpr double pweibull_in_scale(double x, double shape, double scale, bool give_log) {
  const Tails t = pweibull_tails(x, shape, scale);
  if (!give_log) return static_cast<double>(t.lower);
  if (!(x > 0)) return -cxmath::INF;
  if (!(t.lower < TAIL_LOG_FLOOR)) return log_of_tails(t);
  return static_cast<double>(static_cast<cxmath::ext>(shape) * weibull_log_y(x, scale, shape));
}

// l (-ln(1 - p))^(1/k) with ln(1 - p) = log1p(-p) and the power as
// e^(ln(-ln(1 - p))/k).
constexpr double qweibull_converged(double p, double shape, double scale) {
  using cxmath::ext;
  const ext L = -cxmath::xp::log1p(-static_cast<ext>(p));
  return static_cast<double>(cxmath::xp::exp(cxmath::xp::log(L) / shape) * scale);
}

// ---- where the fixed-depth forms can miss the rule ----

// x/scale is rounded to double (2^-53 of it), and the logarithm kernel
// takes it as 1 within 2^-52 of 1: an error ~1.1e-16 in ln y, which the
// shape multiplies, in (k - 1) ln y and in ln y^k, and y^k multiplies again
// (the density's e^(-y^k), the upper tail's).  Checked where
// k (1 + y^k) could make that 1e-11.
inline constexpr double WEIBULL_ROUNDING = 1e5;

// Density: x/scale or shape/scale below EPS (their logarithms taken as
// -inf: the value becomes 0, +inf or NaN where it is finite) or
// overflowing, and the rounding above (C = y^k as the fixed-depth form
// has it).
constexpr bool dweibull_region(double x, double shape, double scale, double C) {
  const double y = x / scale, r = shape / scale;
  return !(y >= cxmath::EPS && y < cxmath::INF) || !(r >= cxmath::EPS && r < cxmath::INF) ||
         !(shape * (1 + C) <= WEIBULL_ROUNDING);
}

// CDF: x or x/scale below EPS (counted as 0, or its power taken as 0) or
// x/scale overflowing, and the rounding above (w = y^k as the fixed-depth
// form has it).  Elsewhere -expm1(-(x/scale)^k) keeps its relative
// accuracy.
constexpr bool pweibull_region(double x, double scale) { return x < cxmath::EPS || x / scale < cxmath::EPS; }

constexpr bool pweibull_region(double x, double shape, double scale, double w) {
  return pweibull_region(x, scale) || !(x / scale < cxmath::INF) || !(shape * (1 + w) <= WEIBULL_ROUNDING);
}

// Quantile: (-L)^(1/k) scale, formed in double, overflows or underflows
// where the quantile itself does not, for shapes far from 1 (checked when
// the value is not well inside the double range).  Its rounding, a few
// ulps, reaches the tails multiplied by the shape (above QWEIBULL_SHAPE
// that can make 1e-11); there the grid soon becomes coarser than the rule
// (one ulp moves y^k by k 2^-52), so the value is checked only where it is
// not within one double of the true quantile.
inline constexpr double QWEIBULL_SMALL = 1e-300;
inline constexpr double QWEIBULL_LARGE = 1e300;
inline constexpr double QWEIBULL_SHAPE = 1e3;

constexpr bool qweibull_region(double fixed) { return !(fixed >= QWEIBULL_SMALL && fixed <= QWEIBULL_LARGE); }

// The log-density (A + B) - C with A = ln(shape/scale), B = ln y (shape - 1)
// (0 for shape 1) and C = y^shape, y = x/scale, on the ordinary path: the
// scalar function and the lanes (dists/lanes/).
template <class V>
DISTMILL_LANE_INLINE constexpr V dweibull_log_formula(V A, V B, V C) {
  return (A + B) - C;
}
// The CDF -expm1(-w), w = y^shape.
template <class V>
DISTMILL_LANE_INLINE constexpr V pweibull_formula(V w) {
  return -cxmath::lanes::expm1(-w);
}

template <bool Checked>
constexpr double dweibull(double x, double shape, double scale, bool give_log) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < EPS) return NaN;
  if (scale < EPS) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (x == 0 && shape < 1) return INF;  // the pole at 0, with or without the flag
  if (x == INF) return dpq::zero(give_log);
  if constexpr (Checked) {
    // The limits of the family: an infinite shape is the point mass at the
    // scale, an infinite scale leaves no mass at any finite x.
    if (shape == INF) return dpq::value(x == scale ? INF : 0.0, give_log);
    if (scale == INF) return dpq::zero(give_log);
  }
  const double y = x / scale;
  const double A = log(shape / scale);
  // ln y is -inf for y below EPS: with shape exactly 1 the term must vanish.
  const double B = shape == 1 ? 0.0 : log(y) * (shape - 1);
  const double C = pow(y, shape);
  const double L = dweibull_log_formula(A, B, C);
  return keep_log_density<Checked>(L, give_log, dweibull_region(x, shape, scale, C),
                                   [&] { return dweibull_log_converged(x, shape, scale); });
}

template <bool Checked>
constexpr double pweibull(double x, double shape, double scale, bool give_log_p) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < EPS) return NaN;
  if (scale < EPS) return NaN;
  const auto converged = [&](bool lg) { return pweibull_in_scale(x, shape, scale, lg); };
  if (x < EPS) {
    // The fixed-depth method counts x below EPS as 0; a positive x with a
    // finite scale is checked like any other.
    if (x > 0 && scale < INF && shape < INF)
      return keep_probability<Checked>(0.0, give_log_p, pweibull_region(x, scale), converged);
    return dpq::zero(give_log_p);
  }
  double P;
  if (isinf(x) || isinf(shape) || isinf(scale)) {
    if (x == INF) {
      P = scale == INF ? NaN : 1.0;
    } else if (shape == INF && scale != INF) {
      // (x/scale)^inf is 0, 1 or inf: a step at x = scale.
      const double r = x / scale;
      P = r > 1 ? 1.0 : r == 1 ? ONE_MINUS_INV_E : 0.0;
    } else {
      P = 0.0;  // scale = +inf
    }
    return dpq::value(P, give_log_p);
  }
  const double w = pow(x / scale, shape);
  P = pweibull_formula(w);
  return keep_probability<Checked>(P, give_log_p, pweibull_region(x, shape, scale, w), converged);
}

template <bool Checked>
constexpr double qweibull(double p, double shape, double scale) {
  using namespace cxmath;
  if (isnan(shape) || isnan(scale) || shape < EPS || scale < EPS || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (shape == INF) return scale;
  const double L = log1p(-p);
  if (L > 0) return NaN;
  const double q = pow(-L, 1 / shape) * scale;
  // An infinite scale has no finite quantile: the value stands.
  if (scale == INF) return q;
  // A quantile at 0 or +inf (the ends, where a tail is exactly 0) is right
  // only where the true one rounds there: the converged value decides.
  const auto tails = [&](double v) { return v > 0 && v < INF ? pweibull_tails(v, shape, scale) : NO_TAILS; };
  const bool region = qweibull_region(q) || (shape > QWEIBULL_SHAPE && !within_one_double(q, p, 1 - p, tails));
  return keep_quantile<Checked>(q, p, 1 - p, region, tails,
                                [&] { return qweibull_converged(p, shape, scale); });
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dweibull(double x, double shape, double scale, bool give_log) {
  return detail::dweibull<true>(x, shape, scale, give_log);
}
constexpr double pweibull(double x, double shape, double scale, bool give_log_p) {
  return detail::pweibull<true>(x, shape, scale, give_log_p);
}
constexpr double qweibull(double p, double shape, double scale) { return detail::qweibull<true>(p, shape, scale); }

}  // namespace distmill
