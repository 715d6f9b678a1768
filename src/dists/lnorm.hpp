// Log-normal distribution: ln X is normal with location mu and scale sigma.
// Density f(x) = phi((ln x - mu)/sigma)/(sigma x), CDF Phi of ln x, quantile
// e^(normal quantile).  The support is x > 0; arguments below EPS count as
// zero (ln x = -inf).
#pragma once

#include "dists/norm.hpp"

namespace distmill {

constexpr double dlnorm(double x, double mu, double sigma, bool log) {
  using namespace cxmath;
  if (isnan(x) || isnan(mu)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (x < 0) return log ? -INF : 0.0;
  const double lx = x < EPS ? -INF : log_core(x);
  if (isfinite(lx) && isfinite(mu) && isfinite(sigma) && sigma != 0)
    return log ? dnorm(lx, mu, sigma, true) - lx : dnorm(lx, mu, sigma, false) / x;
  // Degenerate cases, including every x below EPS.  Unlike the normal
  // density, a zero scale only puts infinite mass where ln x and mu meet at
  // the same infinity.
  double r = 0;
  if (sigma == INF)
    r = 0;
  else if (sigma == 0)
    r = ((lx == INF && mu == INF) || (lx == -INF && mu == -INF)) ? INF : 0.0;
  else
    r = (lx == INF && mu == INF) ? NaN : 0.0;
  return log ? cxmath::log(r) : r;
}

constexpr double plnorm(double x, double mu, double sigma, bool log_p) {
  using namespace cxmath;
  if (isnan(mu) || isnan(x)) return NaN;
  if (isnan(sigma)) return NaN;
  if (sigma < 0) return NaN;
  if (x < EPS) return log_p ? -INF : 0.0;
  return pnorm(log_core(x), mu, sigma, log_p);
}

constexpr double qlnorm(double p, double mu, double sigma) {
  using namespace cxmath;
  if (isnan(mu) || isnan(sigma) || sigma < 0 || isnan(p) || p < 0 || p > 1) return NaN;
  return cxmath::exp(qnorm(p, mu, sigma));
}

}  // namespace distmill
