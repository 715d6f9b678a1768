// The Laplace density, CDF and quantile on lanes.
#pragma once

#include "dists/laplace.hpp"
#include "dists/lanes/keep.hpp"

namespace distmill::lanes {

// dlaplace(x, mu, sigma, log).  Ordinary lanes: finite x and mu, sigma > 0
// with 2 sigma in [EPS, DBL_MAX] and x - mu finite (the scalar function's
// guards and its region).  For a sigma fixed for the call ln(2 sigma) is
// taken once.
struct Dlaplace {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;
  double ln_2sigma = 0;

  Dlaplace(const Arg* a, Scalar scalar) : f(scalar) {
    const double sigma = element<double>(a[2], 0);
    if (a[2].constant && sigma + sigma >= cxmath::EPS && sigma + sigma <= cxmath::DBL_MAX_) {
      fixed = true;
      ln_2sigma = cxmath::log_core(sigma + sigma);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    ordinary = finite(x) & finite(mu) & (sigma + sigma >= cxmath::EPS) & (sigma + sigma <= cxmath::DBL_MAX_) &
               (fabs(x - mu) <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.0));
      mu = select(ordinary, mu, V(0.0));
      sigma = select(ordinary, sigma, V(1.0));
    }
    const V l2s = fixed ? V(ln_2sigma) : log_core(sigma + sigma);
    return log_density_in_scale(a[3], i, detail::dlaplace_log_formula(x - mu, sigma, l2s), ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// plaplace(x, mu, sigma, log).  Ordinary lanes: finite x, mu and sigma > 0
// with x - mu finite and (x - mu)/sigma above PLAPLACE_LOWER (the region),
// then the probability rule of the keep step.
struct Plaplace {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  Plaplace(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    V d = x - mu;
    ordinary = finite(x) & finite(mu) & (sigma > 0.0) & (sigma <= cxmath::DBL_MAX_) & finite(d) &
               (d / sigma > detail::PLAPLACE_LOWER);
    if (!all(ordinary)) {
      d = select(ordinary, d, V(0.0));
      sigma = select(ordinary, sigma, V(1.0));
    }
    const V P = detail::plaplace_formula(d, exp(-fabs(d) / sigma));
    return probability_in_scale(a[3], i, P, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// qlaplace(p, mu, sigma).  Ordinary lanes: p in (0, 1) but 1/2, tail(p) at
// least ROUNDED_TAIL, finite mu within LOCATION_RESOLUTION sigma of 0,
// finite sigma > 0, and a finite value (the guards and the region).
struct Qlaplace {
  using Scalar = double (*)(double, double, double);
  static constexpr int arity = 3;

  Scalar f;
  Qlaplace(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V p = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    const V tail = select(p < 0.5, p, 1.0 - p);
    ordinary = (p > 0.0) & (p < 1.0) & (p != 0.5) & (tail >= cxmath::ROUNDED_TAIL) & finite(mu) & (sigma > 0.0) &
               (sigma <= cxmath::DBL_MAX_) & (fabs(mu) <= cxmath::LOCATION_RESOLUTION * sigma);
    if (!all(ordinary)) p = select(ordinary, p, V(0.25));
    const V c = p - 0.5;
    const V g = select(c > 0.0, sigma, select(c < 0.0, sigma * -1.0, sigma * 0.0));
    const V r = 1.0 - (fabs(c) + fabs(c));
    const V q = detail::qlaplace_formula(mu, log_core(r), g);
    ordinary = ordinary & (fabs(q) <= cxmath::DBL_MAX_);
    return q;
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
