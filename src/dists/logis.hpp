// Logistic distribution with location mu and scale sigma.
// With w = -(x - mu)/sigma the density is e^w / (sigma (1 + e^w)^2),
// computed in log form as w - ln sigma - 2 ln(1 + e^w).  The CDF is
// 1/(1 + e^(-2z)) = (1 + tanh z)/2 with z = (x - mu)/(2 sigma), and tanh z
// comes from Lambert's continued fraction z/D (no range reduction, so the
// accuracy falls for large |z|).  The quantile is mu + sigma ln(p/(1 - p)).
#pragma once

#include "cxmath/elementary.hpp"

namespace distmill {

constexpr double dlogis(double x, double mu, double sigma, bool log) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma)) {
    // sigma = 0 is not special: w is infinite or NaN and so is L.
    const double w = -((x - mu) / sigma);
    const double A = w - cxmath::log(sigma);  // ln sigma is -inf below EPS
    const double E = cxmath::exp(w) + 1;
    const double l = cxmath::log(E);
    const double L = A - (l + l);
    return log ? L : cxmath::exp(L);
  }
  double d;
  if (sigma == INF)
    d = 0.0;
  else if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
    d = NaN;
  else
    d = 0.0;
  return log ? cxmath::log(d) : d;
}

constexpr double plogis(double x, double mu, double sigma, bool log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(mu)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  double P;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma) && sigma != 0) {
    const double z = (x - mu) / (sigma + sigma);
    if (isnan(z)) {
      P = NaN;  // inf/inf after overflow of both differences
    } else if (z == 0) {
      P = 0.5;
    } else if (z > 0) {
      P = z < EPS ? 0.5 : (z / cxmath::tanh_cf(z) + 1) * 0.5;
    } else if (z > -EPS) {
      P = 0.5;
    } else {
      const double y = -z;
      P = (1 - y / cxmath::tanh_cf(y)) * 0.5;
    }
  } else if ((x == INF && mu == INF) || (x == -INF && mu == -INF)) {
    P = NaN;
  } else if (sigma == INF) {
    P = (isfinite(x) && isfinite(mu)) ? 0.5 : NaN;
  } else if (mu == -INF || x == INF) {
    P = 1.0;
  } else if (mu == INF || x == -INF) {
    P = 0.0;
  } else {
    // sigma = 0 with finite x and mu: a point mass at mu.
    P = x > mu ? 1.0 : x < mu ? 0.0 : 0.5;
  }
  return log_p ? cxmath::log(P) : P;
}

constexpr double qlogis(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || isnan(p) || p < 0 || p > 1) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  return cxmath::log(p / (1 - p)) * sigma + mu;
}

}  // namespace distmill
