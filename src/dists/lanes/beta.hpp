// The beta density on lanes.
#pragma once

#include "dists/beta.hpp"
#include "dists/lanes/block.hpp"

namespace distmill::lanes {

// Shapes whose log-density the scalar function takes through the formula
// unchecked: both at least BETA_DENSITY_SMALL_SHAPE, and M ln M at most
// BETA_DENSITY_SHAPE_BOUND for the larger shape M (ln M counted as 1 up to
// e), the shape part of beta_log_density_region lane by lane.  A NaN or an
// infinite shape fails it.
template <class V>
DISTMILL_LANE_INLINE mask_t<V> beta_density_shapes(const V& a, const V& b) {
  using namespace cxmath::lanes;
  const V M = select(a > b, a, b);
  const V lnM = select(M > cxmath::E_DOUBLE, cxmath::lanes::log(M), V(1.0));
  const mask_t<V> small = (a >= cxmath::BETA_DENSITY_SMALL_SHAPE) & (b >= cxmath::BETA_DENSITY_SMALL_SHAPE);
  return small & (M * lnM <= cxmath::BETA_DENSITY_SHAPE_BOUND);
}

// The argument part of the region: x at least EPS from both ends (the
// logarithm takes anything closer as the end itself).  A NaN fails it, and
// so does every x outside (0, 1).
template <class V>
DISTMILL_LANE_INLINE mask_t<V> beta_density_inside(const V& x) {
  return (x >= cxmath::EPS) & ((1.0 - x) >= cxmath::EPS);
}

// ln B(a, b) lane by lane where m holds: a scalar step per lane (a sum of
// log-gammas).
template <class V>
DISTMILL_LANE_INLINE V lbeta_where(const mask_t<V>& m, const V& a, const V& b) {
  return cxmath::lanes::map_where(m, a, b, [](double p, double q) { return cxmath::lbeta(p, q); });
}

// dbeta(x, a, b, log).  Ordinary lanes: x in [EPS, 1 - EPS] and shapes
// outside the scalar function's checked region (beta_density_shapes), where
// the log-density is finite and the keep step takes it as it is.  Every
// other lane is the scalar function's.  ln B(a, b) of shapes fixed for the
// call is taken once.
struct Dbeta {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;  // both shapes are constants of the call, ordinary ones
  double lb = 0;       // then ln B(a, b)

  Dbeta(const Arg* a, Scalar scalar) : f(scalar) {
    const double sa = element<double>(a[1], 0), sb = element<double>(a[2], 0);
    if (a[1].constant && a[2].constant && beta_density_shapes(sa, sb)) {
      fixed = true;
      lb = cxmath::lbeta(sa, sb);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), sa = load<V>(a[1], i), sb = load<V>(a[2], i);
    ordinary = fixed ? beta_density_inside(x) : beta_density_inside(x) & beta_density_shapes(sa, sb);
    if (none(ordinary)) return V(0.0);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.5));
      sa = select(ordinary, sa, V(2.0));
      sb = select(ordinary, sb, V(2.0));
    }
    const V lb_v = fixed ? V(lb) : lbeta_where(ordinary, sa, sb);
    return from_log(a[3], i, detail::dbeta_log_formula(cxmath::lanes::log(x), cxmath::lanes::log(1.0 - x), sa, sb, lb_v));
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
