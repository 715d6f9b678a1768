// Weibull distribution with shape k and scale l on x >= 0:
// density (k/l) (x/l)^(k-1) e^(-(x/l)^k), computed in log form as
// ln(k/l) + (k - 1) ln(x/l) - (x/l)^k; CDF 1 - e^(-(x/l)^k) through expm1;
// quantile l (-ln(1 - p))^(1/k) with ln(1 - p) from log1p.
// Shapes and scales below EPS are invalid.
#pragma once

#include "cxmath/elementary.hpp"

namespace distmill {

constexpr double dweibull(double x, double shape, double scale, bool log) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < EPS) return NaN;
  if (scale < EPS) return NaN;
  if (x < 0) return log ? -INF : 0.0;
  if (x == 0 && shape < 1) return INF;  // the pole at 0, with or without the flag
  if (x == INF) return log ? -INF : 0.0;
  const double y = x / scale;
  const double A = cxmath::log(shape / scale);
  // ln y is -inf for y below EPS: with shape exactly 1 the term must vanish.
  const double B = shape == 1 ? 0.0 : cxmath::log(y) * (shape - 1);
  const double C = cxmath::pow(y, shape);
  const double L = (A + B) - C;
  return log ? L : cxmath::exp(L);
}

constexpr double pweibull(double x, double shape, double scale, bool log_p) {
  using namespace cxmath;
  if (isnan(shape) || isnan(x)) return NaN;
  if (isnan(scale)) return NaN;
  if (shape < EPS) return NaN;
  if (scale < EPS) return NaN;
  if (x < EPS) return log_p ? -INF : 0.0;
  double P;
  if (isinf(x) || isinf(shape) || isinf(scale)) {
    if (x == INF) {
      P = scale == INF ? NaN : 1.0;
    } else if (shape == INF && scale != INF) {
      // (x/scale)^inf is 0, 1 or inf: a step at x = scale.
      const double r = x / scale;
      P = r > 1 ? 1.0 : r == 1 ? 0.6321205588285577 : 0.0;
    } else {
      P = 0.0;  // scale = +inf
    }
  } else {
    P = -cxmath::expm1(-cxmath::pow(x / scale, shape));
  }
  return log_p ? cxmath::log(P) : P;
}

constexpr double qweibull(double p, double shape, double scale) {
  using namespace cxmath;
  if (isnan(shape) || isnan(scale) || shape < EPS || scale < EPS || isnan(p) || p < 0 || p > 1)
    return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  if (shape == INF) return scale;
  const double L = cxmath::log1p(-p);
  if (L > 0) return NaN;
  return cxmath::pow(-L, 1 / shape) * scale;
}

}  // namespace distmill
