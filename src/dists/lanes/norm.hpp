// The normal density on lanes.
#pragma once

#include "dists/lanes/block.hpp"
#include "dists/norm.hpp"

namespace distmill::lanes {

// dnorm(x, mu, sigma, log).  Ordinary lanes: finite x and mu, sigma in
// [EPS, DBL_MAX] and x - mu finite (the scalar function's guards and its
// region); there the log-density k - z^2/2 has no NaN (at most -inf, when
// z^2 overflows, whose exponential the exponential decides itself).
struct Dnorm {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed_k = false;  // sigma is one ordinary value for the call
  double k = 0;          // then k = -ln sqrt(2 pi) - ln sigma

  Dnorm(const Arg* a, Scalar scalar) : f(scalar) {
    const double sigma = element<double>(a[2], 0);
    if (a[2].constant && sigma >= cxmath::EPS && sigma <= cxmath::DBL_MAX_) {
      fixed_k = true;
      k = detail::dnorm_log_scale(cxmath::log_core(sigma));
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    ordinary = finite(x) & finite(mu) & (sigma >= cxmath::EPS) & (sigma <= cxmath::DBL_MAX_) &
               finite(x - mu);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.0));
      mu = select(ordinary, mu, V(0.0));
      sigma = select(ordinary, sigma, V(1.0));
    }
    const V kv = fixed_k ? V(k) : detail::dnorm_log_scale(log_core(sigma));
    return from_log(a[3], i, detail::dnorm_log_formula(x, mu, sigma, kv));
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
