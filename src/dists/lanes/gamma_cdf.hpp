// The gamma and chi-squared CDFs on lanes.
#pragma once

#include "cxmath/incomplete_gamma.hpp"
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/keep.hpp"

namespace distmill::lanes {

// P(a, z) by the continued fraction, on the lanes of its range: shapes in
// [EPS, 10) and z from SMALL_Z on, where the scalar kernel's P is this
// fraction.  `ordinary` comes in as the lanes whose arguments are finite
// and outside the functions' guards.  Of the fraction's lanes, those where
// the CDFs' keep step leaves the fixed-depth value alone leave as
// `ordinary` with P or ln P in the flag's scale: shapes from 0.05 and z up
// to 1.5 a + 2 (incomplete_gamma_region), P in [SMALL_RESULT, 1], and with
// the lane's log flag P in [EPS, 1 - LOG_NEAR_ONE] (log_probability_region).
// The others take `settle(l, P)`, the scalar function's keep step at the
// lane's own fixed-depth P (*_from_value), so P is not formed twice, and
// are ordinary too.  ga is Gamma(a) of every lane, or 0 to have it computed
// per lane (a scalar step).
template <class V, class Settle>
DISTMILL_LANE_INLINE V lower_gamma_fraction(V a, V z, const V* ga, const Arg& flag, std::size_t i,
                                             mask_t<V>& ordinary, Settle&& settle) {
  using namespace cxmath::lanes;
  const mask_t<V> fraction = ordinary & (a >= cxmath::EPS) & (a < 10.0) & (z >= cxmath::SMALL_Z);
  if (!all(fraction)) {
    a = select(fraction, a, V(1.0));
    z = select(fraction, z, V(1.0));
  }
  const V g = ga ? *ga : map_where(mask_t<V>(true), a, a, [](double s, double) { return cxmath::tgamma(s); });
  const V P = cxmath::detail::incomplete_gamma_cf(a, z, log_core(z), g);
  ordinary = fraction & !cxmath::incomplete_gamma_cf_region(a, z) & (P >= cxmath::SMALL_RESULT) & (P <= 1.0);
  const V near = V(1.0) - cxmath::LOG_NEAR_ONE;
  V r;
  if (flag.constant && !element<bool>(flag, 0)) {
    r = P;
  } else if (flag.constant) {
    ordinary = ordinary & (P >= cxmath::EPS) & (P <= near);
    r = log(select(ordinary, P, V(0.5)));
  } else {
    const mask_t<V> give_log = load_flag<V>(flag, i);
    ordinary = ordinary & (!give_log | ((P >= cxmath::EPS) & (P <= near)));
    r = none(give_log) ? P : select(give_log, log(select(ordinary, P, V(0.5))), P);
  }
  const mask_t<V> settled = fraction & !ordinary;
  if (none(settled)) return r;
  alignas(64) double Pd[size_v<V>];
  store(P, Pd);
  return settle_lanes(r, settled, ordinary, [&](int l) { return settle(l, Pd[l]); });
}

// Gamma(shape) once for a call whose shape is fixed in the fraction's range.
inline bool fraction_shape(const Arg& a, double shape, double& ga) {
  if (!(a.constant && shape >= cxmath::EPS && shape < 10)) return false;
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
    return lower_gamma_fraction(shape, x / scale, fixed ? &g : nullptr, a[3], i, ordinary, [&](int l, double P) {
      const std::size_t k = i + l;
      const double xk = element<double>(a[0], k), sk = element<double>(a[2], k);
      return detail::pgamma_from_value<true>(xk, element<double>(a[1], k), sk, xk / sk, P, element<bool>(a[3], k));
    });
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
    return lower_gamma_fraction(dof * 0.5, x * 0.5, fixed ? &g : nullptr, a[2], i, ordinary, [&](int l, double P) {
      const std::size_t k = i + l;
      const double xk = element<double>(a[0], k);
      return detail::pchisq_from_value<true>(xk, element<double>(a[1], k) * 0.5, xk * 0.5, P, element<bool>(a[2], k));
    });
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
