// The gamma and chi-squared CDFs on lanes.
#pragma once

#include "cxmath/incomplete_gamma.hpp"
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/lanes/block.hpp"

namespace distmill::lanes {

// The continued-fraction range of P(a, z) where the CDFs' keep step leaves
// the fixed-depth value alone: shapes in [0.05, 10) and z from SMALL_Z up to
// 1.5 a + 2 (incomplete_gamma_region), then P at least SMALL_RESULT and at
// most 1, and with the lane's log flag P in [EPS, 1 - LOG_NEAR_ONE]
// (log_probability_region).  `ordinary` comes in as the lanes whose
// arguments are finite and outside the functions' guards, and leaves as the
// lanes decided here; the value is P or ln P in the flag's scale.  ga is
// Gamma(a) of every lane, or 0 to have it computed per lane (a scalar step).
template <class V>
DISTMILL_LANE_INLINE V lower_gamma_fraction(V a, V z, const V* ga, const Arg& flag, std::size_t i,
                                             mask_t<V>& ordinary) {
  using namespace cxmath::lanes;
  ordinary = ordinary & (a >= 0.05) & (a < 10.0) & (z >= cxmath::SMALL_Z) &
             !cxmath::incomplete_gamma_cf_region(a, z);
  if (!all(ordinary)) {
    a = select(ordinary, a, V(1.0));
    z = select(ordinary, z, V(1.0));
  }
  const V g = ga ? *ga : map_where(mask_t<V>(true), a, a, [](double s, double) { return cxmath::tgamma(s); });
  const V P = cxmath::detail::incomplete_gamma_cf(a, z, log_core(z), g);
  ordinary = ordinary & (P >= cxmath::SMALL_RESULT) & (P <= 1.0);
  const V near = V(1.0) - cxmath::LOG_NEAR_ONE;
  if (flag.constant) {
    if (!element<bool>(flag, 0)) return P;
    ordinary = ordinary & (P >= cxmath::EPS) & (P <= near);
    return log(select(ordinary, P, V(0.5)));
  }
  const mask_t<V> give_log = load_flag<V>(flag, i);
  ordinary = ordinary & (!give_log | ((P >= cxmath::EPS) & (P <= near)));
  if (none(give_log)) return P;
  return select(give_log, log(select(ordinary, P, V(0.5))), P);
}

// Gamma(shape) once for a call whose shape is fixed in the fraction's range.
inline bool fraction_shape(const Arg& a, double shape, double& ga) {
  if (!(a.constant && shape >= 0.05 && shape < 10)) return false;
  ga = cxmath::tgamma(shape);
  return true;
}

// pgamma(x, shape, scale, log).  Ordinary lanes: x and scale in
// [EPS, DBL_MAX], then P(shape, x/scale) by the fraction where the keep
// step would not check it (lower_gamma_fraction).
struct Pgamma {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;
  double ga = 0;

  Pgamma(const Arg* a, Scalar scalar) : f(scalar) { fixed = fraction_shape(a[1], element<double>(a[1], 0), ga); }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), scale = load<V>(a[2], i);
    const V shape = load<V>(a[1], i);
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & (scale >= cxmath::EPS) & (scale <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      scale = select(ordinary, scale, V(1.0));
    }
    const V g(ga);
    return lower_gamma_fraction(shape, x / scale, fixed ? &g : nullptr, a[3], i, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// pchisq(x, dof, log): P(dof/2, x/2).  Ordinary lanes: x in [EPS, DBL_MAX]
// and dof finite, then as pgamma's.
struct Pchisq {
  using Scalar = double (*)(double, double, bool);
  static constexpr int arity = 3;

  Scalar f;
  bool fixed = false;
  double ga = 0;

  Pchisq(const Arg* a, Scalar scalar) : f(scalar) { fixed = fraction_shape(a[1], element<double>(a[1], 0) * 0.5, ga); }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    const V x = load<V>(a[0], i), dof = load<V>(a[1], i);
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & (dof <= cxmath::DBL_MAX_);
    const V g(ga);
    return lower_gamma_fraction(dof * 0.5, x * 0.5, fixed ? &g : nullptr, a[2], i, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
