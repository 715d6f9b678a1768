// Student's t density on lanes.
#pragma once

#include "dists/lanes/block.hpp"
#include "dists/t.hpp"

namespace distmill::lanes {

// dt(x, dof, log).  Ordinary lanes: finite x, dof in [DT_SMALL_DOF,
// DT_LARGE_DOF] and x (x/dof) at most DT_LARGE_RATIO, the complement of the
// scalar function's checked region (dt_region); there the log-density is
// finite and the keep step takes it as it is.  Every other lane (NaN,
// infinities, an infinite dof, tiny and huge dof) is the scalar function's.
// The log-gammas stay scalar steps per lane; for a dof fixed for the call
// they, and the dof's whole part of the log-density, are taken once.
struct Dt {
  using Scalar = double (*)(double, double, bool);
  static constexpr int arity = 3;

  Scalar f;
  bool fixed = false;  // the dof is one ordinary value for the call
  double r = 0, c = 0;  // then (n + 1)/2 and the part of the dof alone

  Dt(const Arg* a, Scalar scalar) : f(scalar) {
    const double n = element<double>(a[1], 0);
    if (a[1].constant && n >= detail::DT_SMALL_DOF && n <= detail::DT_LARGE_DOF) {
      fixed = true;
      const double h = 0.5 * n;
      r = 0.5 + h;
      c = detail::dt_log_norm(cxmath::lgamma(r), cxmath::log(n), cxmath::lgamma(h));
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), n = load<V>(a[1], i);
    ordinary = finite(x) & (n >= detail::DT_SMALL_DOF) & (n <= detail::DT_LARGE_DOF);
    if (none(ordinary)) return V(0.0);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.0));
      n = select(ordinary, n, V(1.0));
    }
    const V s = detail::dt_ratio(x, n);
    ordinary = ordinary & (s <= detail::DT_LARGE_RATIO);
    V rv, cv;
    if (fixed) {
      rv = V(r);
      cv = V(c);
    } else {
      const V h = 0.5 * n;
      rv = 0.5 + h;
      const V lg_r = map_where(ordinary, rv, rv, [](double v, double) { return cxmath::lgamma(v); });
      const V lg_h = map_where(ordinary, h, h, [](double v, double) { return cxmath::lgamma(v); });
      cv = detail::dt_log_norm(lg_r, cxmath::lanes::log(n), lg_h);
    }
    return from_log(a[2], i, detail::dt_log_formula(rv, cxmath::lanes::log(s + 1.0), cv));
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
