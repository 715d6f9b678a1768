// The uniform density, CDF and quantile on lanes.
#pragma once

#include "dists/lanes/keep.hpp"
#include "dists/unif.hpp"

namespace distmill::lanes {

// Ordinary lanes of all three: finite bounds a < b whose width b - a is
// finite (the scalar functions' guards and the first half of their
// regions); the rest of each region below.
template <class V>
DISTMILL_LANE_INLINE mask_t<V> unif_bounds(const V& a, const V& b) {
  using namespace cxmath::lanes;
  return finite(a) & finite(b) & (a < b) & ((b - a) < cxmath::INF);
}

// dunif(x, a, b, log): 1/(b - a), or -ln(b - a) with the flag, for x in
// [a, b]; with the flag a width below EPS is checked.  For bounds fixed
// for the call both values are taken once.
struct Dunif {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false, fixed_log = false;
  double plain = 0, logged = 0;

  Dunif(const Arg* a, Scalar scalar) : f(scalar) {
    const double lo = element<double>(a[1], 0), hi = element<double>(a[2], 0);
    if (a[1].constant && a[2].constant && unif_bounds(lo, hi)) {
      const double w = hi - lo;
      fixed = true;
      plain = 1 / w;
      if (w >= cxmath::EPS) {
        fixed_log = true;
        logged = -cxmath::log_core(w);
      }
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    const V x = load<V>(a[0], i), lo = load<V>(a[1], i), hi = load<V>(a[2], i);
    ordinary = unif_bounds(lo, hi) & (x >= lo) & (x <= hi);
    const mask_t<V> give_log = flag_lanes<V>(a[3], i);
    if (fixed) {
      if (!fixed_log) ordinary = ordinary & !give_log;
      return select(give_log, V(logged), V(plain));
    }
    const V w = select(ordinary, hi - lo, V(2.0));
    const V d = 1.0 / w;
    if (none(give_log)) return d;
    ordinary = ordinary & (!give_log | (w >= cxmath::EPS));
    return select(give_log, -log_core(select(ordinary, w, V(2.0))), d);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// punif(x, a, b, log): (x - a)/(b - a) for x strictly inside, where x - a
// is finite (the region), then the keep step's probability rule.
struct Punif {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  Punif(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), lo = load<V>(a[1], i), hi = load<V>(a[2], i);
    ordinary = unif_bounds(lo, hi) & (x > lo) & (x < hi) & ((x - lo) < cxmath::INF);
    const V P = detail::punif_formula(x, lo, hi);
    return probability_in_scale(a[3], i, P, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// qunif(p, a, b): (b - a) p + a for p strictly inside (0, 1), where the
// rounding of the sum, EPS max(|a|, |b|), is within QUNIF_RESOLUTION of the
// distance w tail(p) of the quantile from its end (the region).
struct Qunif {
  using Scalar = double (*)(double, double, double);
  static constexpr int arity = 3;

  Scalar f;
  Qunif(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    const V p = load<V>(a[0], i), lo = load<V>(a[1], i), hi = load<V>(a[2], i);
    const V w = hi - lo, alo = fabs(lo), ahi = fabs(hi);
    const V m = select(alo > ahi, alo, ahi);
    const V tail = select(p < 0.5, p, 1.0 - p);
    const V q = detail::qunif_formula(p, lo, hi);
    ordinary = unif_bounds(lo, hi) & (p > 0.0) & (p < 1.0) &
               (m * cxmath::EPS <= detail::QUNIF_RESOLUTION * (w * tail)) & (q == q);
    return q;
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
