// The Weibull density, CDF and quantile on lanes.
#pragma once

#include "dists/lanes/keep.hpp"
#include "dists/weibull.hpp"

namespace distmill::lanes {

// Finite shape and scale of at least EPS (the guards' ordinary side).
template <class V>
DISTMILL_LANE_INLINE mask_t<V> weibull_parameters(const V& shape, const V& scale) {
  return (shape >= cxmath::EPS) & (shape <= cxmath::DBL_MAX_) & (scale >= cxmath::EPS) & (scale <= cxmath::DBL_MAX_);
}

// dweibull(x, shape, scale, log).  Ordinary lanes: finite x > 0, y = x/scale
// and shape/scale in [EPS, DBL_MAX] and shape (1 + y^shape) within
// WEIBULL_ROUNDING (the guards and the region).  There ln y is log_core(y),
// and y^shape = e^(shape ln y) takes the same logarithm.  For a shape and
// scale fixed for the call ln(shape/scale) is taken once.
struct Dweibull {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;
  double A = 0;

  Dweibull(const Arg* a, Scalar scalar) : f(scalar) {
    const double shape = element<double>(a[1], 0), scale = element<double>(a[2], 0);
    const double r = shape / scale;
    if (a[1].constant && a[2].constant && weibull_parameters(shape, scale) && r >= cxmath::EPS &&
        r <= cxmath::DBL_MAX_) {
      fixed = true;
      A = cxmath::log_core(r);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), shape = load<V>(a[1], i), scale = load<V>(a[2], i);
    ordinary = (x > 0.0) & (x <= cxmath::DBL_MAX_) & weibull_parameters(shape, scale);
    V y = x / scale, r = shape / scale;
    ordinary = ordinary & (y >= cxmath::EPS) & (y <= cxmath::DBL_MAX_) & (r >= cxmath::EPS) & (r <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      y = select(ordinary, y, V(1.5));
      r = select(ordinary, r, V(1.5));
      shape = select(ordinary, shape, V(1.5));
    }
    const V ly = log_core(y);
    const V B = select(shape == 1.0, V(0.0), ly * (shape - 1.0));
    const V C = exp(shape * ly);
    ordinary = ordinary & (shape * (1.0 + C) <= detail::WEIBULL_ROUNDING);
    const V Av = fixed ? V(A) : log_core(r);
    return log_density_in_scale(a[3], i, detail::dweibull_log_formula(Av, B, C), ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// pweibull(x, shape, scale, log).  Ordinary lanes: finite x >= EPS, y =
// x/scale in [EPS, DBL_MAX] and shape (1 + w) within WEIBULL_ROUNDING,
// w = y^shape = e^(shape log_core(y)) (the guards and the region), then
// the probability rule of the keep step.
struct Pweibull {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  Pweibull(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    const V x = load<V>(a[0], i);
    V shape = load<V>(a[1], i), scale = load<V>(a[2], i);
    V y = x / scale;
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & weibull_parameters(shape, scale) &
               (y >= cxmath::EPS) & (y <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      y = select(ordinary, y, V(0.5));
      shape = select(ordinary, shape, V(1.5));
    }
    const V w = exp(shape * log_core(y));
    ordinary = ordinary & (shape * (1.0 + w) <= detail::WEIBULL_ROUNDING);
    return probability_in_scale(a[3], i, detail::pweibull_formula(w), ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// qweibull(p, shape, scale).  Ordinary lanes: p in (0, 1), shape in
// [EPS, QWEIBULL_SHAPE], finite scale >= EPS, m = -log1p(-p) at least EPS
// and a value in [QWEIBULL_SMALL, QWEIBULL_LARGE] (the guards and the
// region); there the power m^(1/shape) is e^((1/shape) log_core(m)).
struct Qweibull {
  using Scalar = double (*)(double, double, double);
  static constexpr int arity = 3;

  Scalar f;
  Qweibull(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V p = load<V>(a[0], i), shape = load<V>(a[1], i);
    const V scale = load<V>(a[2], i);
    ordinary = (p > 0.0) & (p < 1.0) & weibull_parameters(shape, scale) & (shape <= detail::QWEIBULL_SHAPE);
    if (!all(ordinary)) {
      p = select(ordinary, p, V(0.5));
      shape = select(ordinary, shape, V(1.5));
    }
    const V L = log1p(-p);
    const V m = -L;
    ordinary = ordinary & !(L > 0.0) & (m >= cxmath::EPS);
    const V q = exp((1.0 / shape) * log_core(select(ordinary, m, V(0.5)))) * scale;
    ordinary = ordinary & (q >= detail::QWEIBULL_SMALL) & (q <= detail::QWEIBULL_LARGE);
    return q;
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
