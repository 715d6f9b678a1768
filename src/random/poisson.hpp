// Poisson sampler by inversion: one open unit uniform u, never 0 or 1,
// passed through the Poisson quantile search, which applies all of its own
// checks and special cases (rate 0 gives 0, an infinite rate +inf).
#pragma once

#include "cxmath/common.hpp"
#include "dists/pois.hpp"
#include "random/engine.hpp"

namespace distmill {

inline double rpois(double rate, Engine& engine) {
  if (cxmath::isnan(rate) || rate < 0) return cxmath::NaN;
  const double u = uniform_open(0.0, 1.0, engine);
  return qpois(u, rate);
}

}  // namespace distmill
