// Laplace (double exponential) distribution with location mu and scale
// sigma: density e^(-|x - mu|/sigma)/(2 sigma), computed as
// e^(-ln(2 sigma) - |x - mu|/sigma); CDF 1/2 + sign(d)/2 (1 - e^(-|d|/sigma))
// with d = x - mu; quantile mu - sign(p - 1/2) sigma ln(1 - 2|p - 1/2|).
// A zero sigma is a point mass at mu.
#pragma once

#include "cxmath/elementary.hpp"

namespace distmill {

constexpr double dlaplace(double x, double mu, double sigma, bool log) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (sigma == 0 || isinf(x) || isinf(mu) || isinf(sigma)) {
    double d;
    if (sigma == INF)
      d = 0.0;
    else if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
      d = NaN;
    else if (sigma == 0 && x == mu)
      d = INF;  // the point mass
    else
      d = 0.0;
    return log ? cxmath::log(d) : d;
  }
  // -ln(2 sigma) is +inf when 2 sigma is below EPS.
  const double L = -cxmath::log(sigma + sigma) - fabs(x - mu) / sigma;
  return log ? L : cxmath::exp(L);
}

constexpr double plaplace(double x, double mu, double sigma, bool log_p) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  double P;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma) && sigma != 0) {
    const double d = x - mu;
    const double s = (d > 0 ? 1.0 : d < 0 ? -1.0 : 0.0) * 0.5;
    P = s * (1 - cxmath::exp(-fabs(d) / sigma)) + 0.5;
  } else if ((x == INF && mu == INF) || (x == -INF && mu == -INF)) {
    P = NaN;
  } else if (sigma == INF) {
    P = (isfinite(x) && isfinite(mu)) ? 0.5 : NaN;
  } else if (sigma == 0) {
    const double d = x - mu;
    P = d > 0 ? 1.0 : d < 0 ? 0.0 : 0.5;
  } else {
    P = (x == INF || mu == -INF) ? 1.0 : 0.0;
  }
  return log_p ? cxmath::log(P) : P;
}

constexpr double qlaplace(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || isnan(p) || p < 0 || p > 1) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  const double c = p - 0.5;
  const double g = c > 0 ? sigma : c < 0 ? sigma * -1.0 : sigma * 0.0;
  if (c == 0) return mu - cxmath::log(1.0) * g;
  // 1 - 2|c| below EPS makes the logarithm -inf (the quantile infinite).
  const double r = 1 - (fabs(c) + fabs(c));
  return mu - cxmath::log(r) * g;
}

}  // namespace distmill
