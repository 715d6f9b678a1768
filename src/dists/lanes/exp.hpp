// The exponential density on lanes.
#pragma once

#include "dists/exp.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/keep.hpp"

namespace distmill::lanes {

// dexp(x, rate, log).  Ordinary lanes: finite x >= 0 and rate in
// [EPS, DBL_MAX] (the scalar function's guards and its region; rate 0,
// whose logarithm is -inf, is left to it); there ln rate - rate x has no
// NaN (at most -inf, when rate x overflows).
struct Dexp {
  using Scalar = double (*)(double, double, bool);
  static constexpr int arity = 3;

  Scalar f;
  bool fixed_rate = false;  // rate is one ordinary value for the call
  double ln_rate = 0;       // then its logarithm

  Dexp(const Arg* a, Scalar scalar) : f(scalar) {
    const double rate = element<double>(a[1], 0);
    if (a[1].constant && rate >= cxmath::EPS && rate <= cxmath::DBL_MAX_) {
      fixed_rate = true;
      ln_rate = cxmath::log_core(rate);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), rate = load<V>(a[1], i);
    ordinary = (x >= 0.0) & (x <= cxmath::DBL_MAX_) & (rate >= cxmath::EPS) & (rate <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.0));
      rate = select(ordinary, rate, V(1.0));
    }
    const V lr = fixed_rate ? V(ln_rate) : log_core(rate);
    return from_log(a[2], i, detail::dexp_log_formula(x, rate, lr));
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// pexp(x, rate, log).  Ordinary lanes: finite x > 0 and finite rate >= 0
// (the guards; the CDF has no region), then the probability rule of the
// keep step.
struct Pexp {
  using Scalar = double (*)(double, double, bool);
  static constexpr int arity = 3;

  Scalar f;
  Pexp(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), rate = load<V>(a[1], i);
    ordinary = (x > 0.0) & (x <= cxmath::DBL_MAX_) & (rate >= 0.0) & (rate <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      rate = select(ordinary, rate, V(1.0));
    }
    return probability_in_scale(a[2], i, detail::pexp_formula(x, rate), ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// qexp(p, rate).  Ordinary lanes: p in [ROUNDED_TAIL, 1) with 1 - p at
// least EPS, finite rate > 0 and a finite value (the guards and the
// region).
struct Qexp {
  using Scalar = double (*)(double, double);
  static constexpr int arity = 2;

  Scalar f;
  Qexp(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V p = load<V>(a[0], i), rate = load<V>(a[1], i);
    ordinary = (p >= cxmath::ROUNDED_TAIL) & (p < 1.0) & (1.0 - p >= cxmath::EPS) & (rate > 0.0) &
               (rate <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      p = select(ordinary, p, V(0.5));
      rate = select(ordinary, rate, V(1.0));
    }
    const V q = detail::qexp_formula(log_core(1.0 - p), rate);
    ordinary = ordinary & (q <= cxmath::DBL_MAX_);
    return q;
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
