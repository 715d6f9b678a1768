// Beta distribution with shapes a and b on [0, 1]:
//   density  x^(a-1) (1-x)^(b-1) / B(a, b),
//   CDF      I_x(a, b), the regularized incomplete beta,
//   quantile I^-1(a, b, p).
// Zero and infinite shapes are the limits of the family: a zero shape
// pushes all mass to its end (both zero: half to each end), an infinite
// shape pushes it to the other end (both infinite: to the midpoint 1/2).
#pragma once

#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_beta.hpp"

namespace distmill {

constexpr double dbeta(double x, double a, double b, bool log) {
  using namespace cxmath;
  if (isnan(x) || isnan(a)) return NaN;
  if (isnan(b)) return NaN;
  if (a < 0) return NaN;
  if (b < 0) return NaN;
  if (x < 0 || x > 1) return log ? -INF : 0.0;
  if (a == 0 || b == 0 || a == INF || b == INF) {
    // Point masses: an infinite density at the atoms, 0 elsewhere.
    bool atom;
    if (a == 0 && b == 0)
      atom = x == 0 || x == 1;
    else if (a == 0)
      atom = x == 0;
    else if (b == 0)
      atom = x == 1;
    else if (a == INF && b == INF)
      atom = x == 0.5;
    else if (b == INF)
      atom = x == 0;
    else
      atom = x == 1;
    const double v = atom ? INF : 0.0;
    return log ? cxmath::log(v) : v;
  }
  // The ends: x^(a-1) (and (1-x)^(b-1)) is infinite, 1 or 0 at the end
  // as the exponent is negative, zero or positive; with exponent 0 the
  // density is 1/B(1, b) = b (1/B(a, 1) = a).
  if (x == 0) {
    if (a < 1) return INF;
    if (a > 1) return log ? -INF : 0.0;
    return log ? cxmath::log(b) : b;
  }
  if (x == 1) {
    if (b < 1) return INF;
    if (b > 1) return log ? -INF : 0.0;
    return log ? cxmath::log(a) : a;
  }
  const double ld = (cxmath::log(1 - x) * (b - 1)) + ((cxmath::log(x) * (a - 1)) - lbeta(a, b));
  return log ? ld : exp(ld);
}

constexpr double pbeta(double x, double a, double b, bool log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(a)) return NaN;
  if (isnan(b)) return NaN;
  if (a < 0) return NaN;
  if (b < 0) return NaN;
  if (x <= 0) return log_p ? -INF : 0.0;
  if (x >= 1) return log_p ? 0.0 : 1.0;
  if (a == 0 || b == 0 || a == INF || b == INF) {
    double R;
    if (a == 0 && b == 0)
      R = 0.5;
    else if (a == 0)
      R = 1.0;
    else if (b == 0)
      R = 0.0;
    else if (a == INF && b == INF)
      R = x < 0.5 ? 0.0 : 1.0;
    else if (b == INF)
      R = 1.0;
    else
      R = 0.0;
    return log_p ? cxmath::log(R) : R;
  }
  const double P = incomplete_beta(a, b, x);
  return log_p ? cxmath::log(P) : P;
}

constexpr double qbeta(double p, double a, double b) {
  using namespace cxmath;
  if (isnan(b) || isnan(a) || a < 0 || b < 0 || isnan(p) || p < 0 || p > 1) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return 1.0;
  if (a == 0 && b == 0) return p < 0.5 ? 0.0 : p == 0.5 ? 0.5 : 1.0;
  if (a == 0) return 0.0;
  if (b == 0) return 1.0;
  if (a == INF && b == INF) return 0.5;
  if (b == INF) return 0.0;
  if (a == INF) return 1.0;
  return incomplete_beta_inv(a, b, p);
}

}  // namespace distmill
