// The gamma density on lanes.
#pragma once

#include "dists/gamma.hpp"
#include "dists/lanes/block.hpp"

namespace distmill::lanes {

// dgamma(x, shape, scale, log).  Ordinary lanes: x in [EPS, DBL_MAX] (below
// EPS the logarithm of x is -inf), shape in (0, DBL_MAX] and scale in
// [EPS, DBL_MAX], whose log-density is finite; a log-density that is not
// (NaN or infinite at extreme arguments) is the scalar function's, which
// checks it.  ln Gamma(shape) stays a scalar step per lane (its sum is
// extended); for a shape and scale fixed for the call it is taken once.
struct Dgamma {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed_shape = false, fixed_scale = false;
  double lgamma_shape = 0, ln_scale = 0, c = 0;  // c when both are fixed

  Dgamma(const Arg* a, Scalar scalar) : f(scalar) {
    const double shape = element<double>(a[1], 0), scale = element<double>(a[2], 0);
    if (a[1].constant && shape > 0 && shape <= cxmath::DBL_MAX_) {
      fixed_shape = true;
      lgamma_shape = cxmath::lgamma(shape);
    }
    if (a[2].constant && scale >= cxmath::EPS && scale <= cxmath::DBL_MAX_) {
      fixed_scale = true;
      ln_scale = cxmath::log_core(scale);
    }
    if (fixed_shape && fixed_scale) c = detail::dgamma_log_norm(shape, lgamma_shape, ln_scale);
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), shape = load<V>(a[1], i), scale = load<V>(a[2], i);
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & (shape > 0.0) & (shape <= cxmath::DBL_MAX_) &
               (scale >= cxmath::EPS) & (scale <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      shape = select(ordinary, shape, V(1.0));
      scale = select(ordinary, scale, V(1.0));
    }
    V cv;
    if (fixed_shape && fixed_scale) {
      cv = V(c);
    } else {
      const V lg = fixed_shape ? V(lgamma_shape)
                               : map_where(mask_t<V>(true), shape, shape, [](double s, double) {
                                   return cxmath::lgamma(s);
                                 });
      const V ls = fixed_scale ? V(ln_scale) : log_core(scale);
      cv = detail::dgamma_log_norm(shape, lg, ls);
    }
    const V ld = detail::dgamma_log_formula(x, log_core(x), shape, scale, cv);
    ordinary = ordinary & finite(ld);
    return from_log(a[3], i, ld);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
