// The logistic density, CDF and quantile on lanes.
#pragma once

#include "dists/lanes/keep.hpp"
#include "dists/logis.hpp"

namespace distmill::lanes {

// dlogis(x, mu, sigma, log).  Ordinary lanes: finite x and mu, sigma in
// [EPS, DBL_MAX], x - mu finite and w = -(x - mu)/sigma below
// DLOGIS_EXP_BOUND (the guards and the region).  For a sigma fixed for the
// call ln sigma is taken once.
struct Dlogis {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;
  double ln_sigma = 0;

  Dlogis(const Arg* a, Scalar scalar) : f(scalar) {
    const double sigma = element<double>(a[2], 0);
    if (a[2].constant && sigma >= cxmath::EPS && sigma <= cxmath::DBL_MAX_) {
      fixed = true;
      ln_sigma = cxmath::log_core(sigma);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    V d = x - mu;
    ordinary = finite(x) & finite(mu) & (sigma >= cxmath::EPS) & (sigma <= cxmath::DBL_MAX_) & finite(d) &
               (-(d / sigma) < detail::DLOGIS_EXP_BOUND);
    if (!all(ordinary)) {
      d = select(ordinary, d, V(0.0));
      sigma = select(ordinary, sigma, V(1.0));
    }
    const V w = -(d / sigma);
    const V l = log_core(exp(w) + 1.0);
    const V ls = fixed ? V(ln_sigma) : log_core(sigma);
    return log_density_in_scale(a[3], i, detail::dlogis_log_formula(w, ls, l), ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// plogis(x, mu, sigma, log).  Ordinary lanes: finite x, mu and sigma > 0
// with 2 sigma finite and z = (x - mu)/(2 sigma) strictly between
// PLOGIS_LOWER_Z and PLOGIS_UPPER_Z (the region), then the probability
// rule of the keep step.
struct Plogis {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  Plogis(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    const V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    V z = (x - mu) / (sigma + sigma);
    ordinary = finite(x) & finite(mu) & (sigma > 0.0) & (sigma + sigma <= cxmath::DBL_MAX_) &
               (z > detail::PLOGIS_LOWER_Z) & (z < detail::PLOGIS_UPPER_Z);
    if (!all(ordinary)) z = select(ordinary, z, V(1.0));
    const V y = fabs(z), D = tanh_cf(y);
    const V P = select(y < cxmath::EPS, V(0.5), select(z > 0.0, detail::plogis_upper(z, D), detail::plogis_lower(y, D)));
    return probability_in_scale(a[3], i, P, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// qlogis(p, mu, sigma).  Ordinary lanes: p in (0, 1) with tail(p) at least
// QLOGIS_TAIL, finite mu and sigma > 0 within the region's bounds, and a
// value within QLOGIS_LARGE (the guards and the region).
struct Qlogis {
  using Scalar = double (*)(double, double, double);
  static constexpr int arity = 3;

  Scalar f;
  Qlogis(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V p = load<V>(a[0], i);
    const V mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    const V tail = select(p < 0.5, p, 1.0 - p);
    ordinary = (p > 0.0) & (p < 1.0) & (tail >= detail::QLOGIS_TAIL) & finite(mu) & (sigma > 0.0) &
               (sigma <= detail::QLOGIS_LARGE) & (fabs(mu) <= detail::QLOGIS_LARGE) &
               (fabs(mu) <= cxmath::LOCATION_RESOLUTION * sigma);
    if (!all(ordinary)) p = select(ordinary, p, V(0.25));
    const V r = p / (1.0 - p);
    ordinary = ordinary & (r >= cxmath::EPS);
    const V q = detail::qlogis_formula(log_core(select(ordinary, r, V(2.0))), sigma, mu);
    ordinary = ordinary & (fabs(q) <= detail::QLOGIS_LARGE);
    return q;
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
