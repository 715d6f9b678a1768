// The gamma sampler and the samplers built on gamma draws: chi-squared,
// inverse gamma, beta, F and Student's t.
//
// Gamma draws use Marsaglia and Tsang's method: for shape k > 1, with
// d = k - 1/3 and c = 1/(3 sqrt(d)), a standard normal z gives the candidate
// d v with v = (1 + c z)^3, accepted when
//     log u < z^2 / 2 + d (1 - v + log v)
// for a fresh uniform u.  There is no squeeze test: both logarithms are
// evaluated on every pass that reaches the test.  Shapes k <= 1 are boosted:
// if G ~ Gamma(k + 1) and U is uniform then U^(1/k) G ~ Gamma(k).
//
// The arithmetic uses the platform's pow, log and sqrt (not the cxmath
// kernels), and the order of engine outputs is part of the stream contract:
// every draw below is sequenced explicitly, never left to the unspecified
// evaluation order of operands.
#pragma once

#include <cmath>

#include "cxmath/common.hpp"
#include "random/engine.hpp"

namespace distmill {

namespace detail {

// The smallest positive subnormal, 2^-1074: (1 - m) U + m moves a canonical
// uniform off 0 so that its logarithm and power stay finite.  (1 - m) is 1
// in double precision, so the result is U itself unless U is 0.
inline double tiny_positive() { return std::nextafter(0.0, 1.0); }

// Parameters already checked: shape >= 0 (finite or +inf), scale >= EPS.
inline double gamma_draw(double shape, double scale, Engine& engine) {
  const double m = tiny_positive();
  if (shape <= 1.0) {
    // Boosting: U first, then the draw of shape + 1 (which for shape 0, or a
    // shape below half an ulp of 1, is shape 1 and boosts once more).
    const double u = canonical_double(engine);
    const double g = gamma_draw(shape + 1.0, scale, engine);
    // An infinite scale makes every gamma value +inf.  The factor U^(1/k)
    // may underflow to 0 for small shapes (and is exactly 0 for shape 0),
    // which would turn that into 0 * inf = NaN; the CDF of this family puts
    // all mass beyond every finite point for an infinite scale, shape 0
    // included.
    if (scale == cxmath::INF) return cxmath::INF;
    return std::pow((1.0 - m) * u + m, 1.0 / shape) * g;
  }
  const double d = shape - cxmath::THIRD_DOUBLE;
  const double c = cxmath::THIRD_DOUBLE / std::sqrt(d);
  for (;;) {
    const double z = standard_normal(engine);
    if (z <= -1.0 / c) continue;  // 1 + c z <= 0: no candidate, no uniform
    const double v = std::pow(c * z + 1.0, 3.0);
    const double u3 = canonical_double(engine);
    const double u = (1.0 - m) * u3 + m;
    // (1 - v) + log v vanishes exactly when v = 1, and then so does its
    // product with d for every finite d.  For an infinite shape d is +inf,
    // c = 0 and v = 1 on every pass, and the product would be 0 * inf = NaN:
    // the test would fail forever.  Taking the vanishing term as 0 there is
    // the limit of huge finite shapes, where c z + 1 rounds to 1 and every
    // first pass is accepted; the value is then (inf * 1) * scale = +inf,
    // after one normal and one uniform.
    const double w = (1.0 - v) + std::log(v);
    const double correction = w == 0.0 ? 0.0 : w * d;
    if (std::log(u) < z * (0.5 * z) + correction) return (d * v) * scale;
  }
}

}  // namespace detail

// Gamma with shape and scale: NaN without drawing for a NaN parameter, a
// negative shape or a scale below EPS.  Shape 0 gives 0 after its draws.
inline double rgamma(double shape, double scale, Engine& engine) {
  if (cxmath::isnan(shape) || cxmath::isnan(scale) || shape < 0 || scale < cxmath::EPS) return cxmath::NaN;
  return detail::gamma_draw(shape, scale, engine);
}

// Chi-squared with dof degrees of freedom: Gamma(dof / 2, 2).
inline double rchisq(double dof, Engine& engine) {
  if (cxmath::isnan(dof) || dof < 0) return cxmath::NaN;
  return rgamma(dof * 0.5, 2.0, engine);
}

// Inverse gamma: the reciprocal of a gamma draw whose scale is 1 / scale.
// A scale of 0 makes that +inf, and the value 0; a scale above 2^52 makes it
// fall below EPS, which the gamma check rejects (NaN, no draw).
inline double rinvgamma(double shape, double scale, Engine& engine) {
  if (cxmath::isnan(shape) || cxmath::isnan(scale) || shape < 0 || scale < 0) return cxmath::NaN;
  const double x = rgamma(shape, 1.0 / scale, engine);
  return 1.0 / x;
}

// Beta: X / (Y + X) with X ~ Gamma(a) drawn before Y ~ Gamma(b).  a = b = 0
// gives 0 / 0 = NaN.  An infinite a makes X infinite and the quotient
// inf / inf; the law then has all its mass at 1 (at 1/2 when b is infinite
// too), which is returned after both draws.  An infinite b alone needs no
// care: X / inf is 0, the point mass of that limit.
inline double rbeta(double a, double b, Engine& engine) {
  if (cxmath::isnan(a) || cxmath::isnan(b) || a < 0 || b < 0) return cxmath::NaN;
  const double x = rgamma(a, 1.0, engine);
  const double y = rgamma(b, 1.0, engine);
  if (a == cxmath::INF) return b == cxmath::INF ? 0.5 : 1.0;
  return x / (y + x);
}

// F: ((df2 / df1) X1) / X2, the chi-squared X1 drawn before X2.  For an
// infinite degree of freedom the formula meets inf / inf or 0 * inf; there
// X / df tends to 1, so F is X1 / df1 (df2 infinite), df2 / X2 (df1
// infinite) or 1 (both), each after both draws.
inline double rf(double df1, double df2, Engine& engine) {
  if (cxmath::isnan(df1) || cxmath::isnan(df2) || df1 < cxmath::EPS || df2 < cxmath::EPS) return cxmath::NaN;
  const double x1 = rchisq(df1, engine);
  const double x2 = rchisq(df2, engine);
  if (df1 == cxmath::INF) return df2 == cxmath::INF ? 1.0 : df2 / x2;
  if (df2 == cxmath::INF) return x1 / df1;
  return ((df2 / df1) * x1) / x2;
}

// Student's t: z / sqrt(V / dof), the normal z drawn before the chi-squared
// V.  For an infinite dof, V / dof is inf / inf; its limit is 1 and the
// value is z itself (the standard normal), after both draws.
inline double rt(double dof, Engine& engine) {
  if (cxmath::isnan(dof) || dof < cxmath::EPS) return cxmath::NaN;
  const double z = standard_normal(engine);
  const double v = rchisq(dof, engine);
  if (dof == cxmath::INF) return z;
  return z / std::sqrt(v / dof);
}

}  // namespace distmill
