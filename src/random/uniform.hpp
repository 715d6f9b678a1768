// Uniform sampler: the open uniform primitive itself, so the lower bound a
// is never returned.
#pragma once

#include "cxmath/common.hpp"
#include "random/engine.hpp"

namespace distmill {

inline double runif(double a, double b, Engine& engine) {
  if (cxmath::isnan(a) || cxmath::isnan(b) || a >= b) return cxmath::NaN;
  return uniform_open(a, b, engine);
}

}  // namespace distmill
