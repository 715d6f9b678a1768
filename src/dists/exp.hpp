// Exponential distribution with rate r (mean 1/r) on x >= 0:
// density r e^(-r x), computed as e^(ln r - r x); CDF 1 - e^(-r x) through
// expm1 so that small r x keeps its digits; quantile -ln(1 - p)/r.
#pragma once

#include "cxmath/elementary.hpp"

namespace distmill {

constexpr double dexp(double x, double rate, bool log) {
  using namespace cxmath;
  if (isnan(rate) || isnan(x)) return NaN;
  if (rate < 0) return NaN;
  if (rate == INF) return NaN;
  if (x < 0) return log ? -INF : 0.0;
  if (x == INF) {
    if (rate > 0) return log ? -INF : 0.0;
    return NaN;  // rate 0: 0 * inf has no meaning
  }
  // ln(rate) is -inf below EPS, so rate 0 gives density 0 everywhere.
  const double L = cxmath::log(rate) - rate * x;
  return log ? L : cxmath::exp(L);
}

constexpr double pexp(double x, double rate, bool log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(rate)) return NaN;
  if (rate < 0) return NaN;
  double P;
  if (x <= 0)
    P = 0.0;
  else if (rate == INF)
    P = 1.0;
  else
    P = -cxmath::expm1((-rate) * x);
  return log_p ? cxmath::log(P) : P;
}

constexpr double qexp(double p, double rate) {
  using namespace cxmath;
  if (isnan(rate) || rate < 0 || isnan(p) || p < 0 || p > 1) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  // 1 - p below EPS makes the logarithm -inf, so the quantile +inf/rate.
  return -cxmath::log(1 - p) / rate;
}

}  // namespace distmill
