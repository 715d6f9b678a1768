// Normal and log-normal samplers: one standard normal z, scaled and shifted
// as z * sigma + mu; the log-normal exponentiates that with the module's own
// exponential kernel.
#pragma once

#include "cxmath/elementary.hpp"
#include "random/engine.hpp"

namespace distmill {

inline double rnorm(double mu, double sigma, Engine& engine) {
  if (cxmath::isnan(sigma) || cxmath::isnan(mu) || sigma < 0) return cxmath::NaN;
  const double z = standard_normal(engine);
  return z * sigma + mu;  // sigma = 0 still spends the normal's draws
}

inline double rlnorm(double mu, double sigma, Engine& engine) {
  if (cxmath::isnan(sigma) || cxmath::isnan(mu) || sigma < 0) return cxmath::NaN;
  const double z = standard_normal(engine);
  return cxmath::exp(z * sigma + mu);
}

}  // namespace distmill
