// Uniform distribution on [a, b]: density 1/(b - a), CDF (x - a)/(b - a),
// quantile a + (b - a) p.  Both bounds belong to the support.
#pragma once

#include "cxmath/elementary.hpp"

namespace distmill {

constexpr double dunif(double x, double a, double b, bool log) {
  using namespace cxmath;
  if (isnan(a) || isnan(x)) return NaN;
  if (isnan(b)) return NaN;
  if (a >= b) return NaN;
  if (a == -INF || b == INF) return log ? -INF : 0.0;
  if (x < a || x > b) return log ? -INF : 0.0;
  const double w = b - a;
  return log ? -cxmath::log(w) : 1 / w;
}

constexpr double punif(double x, double a, double b, bool log_p) {
  using namespace cxmath;
  if (isnan(a) || isnan(x)) return NaN;
  if (isnan(b)) return NaN;
  if (a >= b) return NaN;
  if (isinf(a) && isinf(b)) return NaN;
  double P;
  if (x <= a)
    P = 0.0;
  else if (x >= b)
    P = 1.0;
  else
    P = (x - a) / (b - a);  // one infinite bound: inf/inf = NaN
  return log_p ? cxmath::log(P) : P;
}

constexpr double qunif(double p, double a, double b) {
  using namespace cxmath;
  if (isnan(a) || isnan(b) || a >= b || isnan(p) || p < 0 || p > 1) return NaN;
  if (isinf(a) || isinf(b)) return NaN;
  if (p == 0) return a;
  if (p == 1) return b;
  return (b - a) * p + a;
}

}  // namespace distmill
