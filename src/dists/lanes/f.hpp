// The F density on lanes.
#pragma once

#include "dists/f.hpp"
#include "dists/lanes/beta.hpp"
#include "dists/lanes/block.hpp"

namespace distmill::lanes {

// df(x, df1, df2, log): the beta log-density at z = r/(1 + r), r = x df1/df2,
// with shapes h1 = df1/2 and h2 = df2/2, and the Jacobian J.  Ordinary
// lanes: finite x > 0 and finite degrees of freedom (the scalar function's
// guards and its limits), outside its checked region (df_region): r at most
// DF_RATIO_BOUND, J at least DF_SMALL_JACOBIAN, z at least EPS from both
// ends and shapes outside the beta density's region; there the value is
// finite (at most 0 without the flag) and the keep step takes it as it is.
// Every other lane is the scalar function's.  For degrees of freedom fixed
// for the call h1/h2 and ln B(h1, h2) are taken once.
struct Df {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;  // both are constants of the call, with ordinary shapes
  double h1 = 0, h2 = 0, k = 0, lb = 0;

  Df(const Arg* a, Scalar scalar) : f(scalar) {
    const double d1 = element<double>(a[1], 0), d2 = element<double>(a[2], 0);
    if (a[1].constant && a[2].constant && d1 >= cxmath::EPS && d1 <= cxmath::DBL_MAX_ && d2 >= cxmath::EPS &&
        d2 <= cxmath::DBL_MAX_) {
      h1 = 0.5 * d1;
      h2 = d2 * 0.5;
      if (beta_density_shapes(h1, h2)) {
        fixed = true;
        k = h1 / h2;
        lb = cxmath::lbeta(h1, h2);
      }
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), d1 = load<V>(a[1], i), d2 = load<V>(a[2], i);
    ordinary = (x > 0.0) & (x <= cxmath::DBL_MAX_) & (d1 >= cxmath::EPS) & (d1 <= cxmath::DBL_MAX_) &
               (d2 >= cxmath::EPS) & (d2 <= cxmath::DBL_MAX_);
    V s1, s2;
    if (fixed) {
      s1 = V(h1);
      s2 = V(h2);
    } else {
      s1 = 0.5 * d1;
      s2 = d2 * 0.5;
      ordinary = ordinary & beta_density_shapes(s1, s2);
    }
    if (none(ordinary)) return V(0.0);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      d1 = select(ordinary, d1, V(4.0));
      d2 = select(ordinary, d2, V(4.0));
      s1 = select(ordinary, s1, V(2.0));
      s2 = select(ordinary, s2, V(2.0));
    }
    const detail::FPoint<V> pt = detail::df_point(x, d1, d2, fixed ? V(k) : s1 / s2);
    ordinary = ordinary & (pt.r <= detail::DF_RATIO_BOUND) & (pt.J >= detail::DF_SMALL_JACOBIAN) &
               beta_density_inside(pt.z);
    const V lb_v = fixed ? V(lb) : lbeta_where(ordinary, s1, s2);
    const V ld = detail::dbeta_log_formula(cxmath::lanes::log(pt.z), cxmath::lanes::log(1.0 - pt.z), s1, s2, lb_v);
    V v;
    if (a[3].constant) {
      v = element<bool>(a[3], 0) ? cxmath::lanes::log(pt.J) + ld : cxmath::lanes::exp(ld) * pt.J;
    } else {
      const mask_t<V> give_log = load_flag<V>(a[3], i);
      v = select(give_log, cxmath::lanes::log(pt.J) + ld, cxmath::lanes::exp(ld) * pt.J);
    }
    // The keep step checks a NaN, and -inf with the flag.
    ordinary = ordinary & (v == v) & (v != -cxmath::INF);
    return v;
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
