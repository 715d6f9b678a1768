// Inversion samplers: one open unit uniform u, never 0 or 1, passed through
// the distribution's quantile function, which applies all of its own checks
// and special cases.  Parameters the quantile function rejects but the
// sampler accepts (an infinite sigma) therefore give NaN after one output.
#pragma once

#include "cxmath/common.hpp"
#include "dists/cauchy.hpp"
#include "dists/exp.hpp"
#include "dists/laplace.hpp"
#include "dists/logis.hpp"
#include "dists/weibull.hpp"
#include "random/engine.hpp"

namespace distmill {

// -log(1 - u) / rate
inline double rexp(double rate, Engine& engine) {
  if (cxmath::isnan(rate) || rate < 0) return cxmath::NaN;
  const double u = uniform_open(0.0, 1.0, engine);
  return qexp(u, rate);
}

// mu + sigma tan(pi (u - 1/2)), in extended precision
inline double rcauchy(double mu, double sigma, Engine& engine) {
  if (cxmath::isnan(mu) || cxmath::isnan(sigma) || sigma < 0) return cxmath::NaN;
  const double u = uniform_open(0.0, 1.0, engine);
  return qcauchy(u, mu, sigma);
}

// mu - log(1 - 2|u - 1/2|) sigma sign(u - 1/2)
inline double rlaplace(double mu, double sigma, Engine& engine) {
  if (cxmath::isnan(mu) || cxmath::isnan(sigma) || sigma < 0) return cxmath::NaN;
  const double u = uniform_open(0.0, 1.0, engine);
  return qlaplace(u, mu, sigma);
}

// log(u / (1 - u)) sigma + mu
inline double rlogis(double mu, double sigma, Engine& engine) {
  if (cxmath::isnan(mu) || cxmath::isnan(sigma) || sigma < 0) return cxmath::NaN;
  const double u = uniform_open(0.0, 1.0, engine);
  return qlogis(u, mu, sigma);
}

// scale (-log(1 - u))^(1/shape)
inline double rweibull(double shape, double scale, Engine& engine) {
  if (cxmath::isnan(shape) || cxmath::isnan(scale) || shape < cxmath::EPS || scale < cxmath::EPS)
    return cxmath::NaN;
  const double u = uniform_open(0.0, 1.0, engine);
  return qweibull(u, shape, scale);
}

}  // namespace distmill
