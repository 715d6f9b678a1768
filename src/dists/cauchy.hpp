// Cauchy distribution with location mu and scale sigma:
// density 1/(pi sigma (1 + z^2)), CDF 1/2 + atan(z)/pi, quantile
// mu + sigma tan(pi (p - 1/2)), with z = (x - mu)/sigma.
//
// The density's products and reciprocal, the quantile's angle and its final
// mu + sigma t are formed in extended precision with the extended pi and
// rounded once to double.
#pragma once

#include "cxmath/elementary.hpp"

namespace distmill {

constexpr double dcauchy(double x, double mu, double sigma, bool log) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma)) {
    // sigma = 0 is not special: 0 * inf or 0/0 make the density NaN.
    const double z = (x - mu) / sigma;
    const double q = 1 + z * z;
    const double d = static_cast<double>(1.0L / ((PI_EXT * static_cast<ext>(sigma)) * static_cast<ext>(q)));
    return log ? cxmath::log(d) : d;
  }
  double d;
  if (sigma == INF)
    d = (isfinite(x) && isfinite(mu)) ? 0.0 : NaN;
  else if ((x == INF && mu == INF) || (x == -INF && mu == -INF))
    d = NaN;  // x and mu on the same side: the distance is undefined
  else
    d = 0.0;
  return log ? cxmath::log(d) : d;
}

constexpr double pcauchy(double x, double mu, double sigma, bool log_p) {
  using namespace cxmath;
  if (isnan(x) || isnan(mu)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  double P;
  if (isfinite(x) && isfinite(mu) && isfinite(sigma)) {
    const double z = (x - mu) / sigma;
    if (isnan(z))
      P = NaN;  // sigma 0 and x = mu
    else if (tiny(z))
      P = 0.5;
    else
      P = cxmath::atan(z) / 3.141592653589793 + 0.5;
  } else if ((x == INF && mu == INF) || (x == -INF && mu == -INF)) {
    P = NaN;
  } else if (sigma == INF) {
    P = (isfinite(x) && isfinite(mu)) ? 0.5 : NaN;
  } else if (x == INF || mu == -INF) {
    P = 1.0;
  } else {
    P = 0.0;  // x = -inf or mu = +inf
  }
  return log_p ? cxmath::log(P) : P;
}

constexpr double qcauchy(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || isnan(p) || p < 0 || p > 1) return NaN;
  if (sigma == INF) return NaN;
  if (sigma == 0) return mu;
  if (p == 0) return mu == INF ? NaN : -INF;
  if (p == 1) return mu == -INF ? NaN : INF;
  const ext d = PI_EXT * static_cast<ext>(p - 0.5);
  // tan is odd; it is evaluated on the positive half, and angles below the
  // extended tiny threshold give 0.
  ext t;
  if (isnan(d))
    t = NaN_EXT;
  else if (d == 0)
    t = 0.0L;
  else if (d > 0)
    t = d < EPS_EXT ? 0.0L : cxmath::tan(d);
  else
    t = d > -EPS_EXT ? 0.0L : -cxmath::tan(-d);
  return static_cast<double>(static_cast<ext>(mu) + static_cast<ext>(sigma) * t);
}

}  // namespace distmill
