// The normal and log-normal CDFs on lanes.
//
// Their work is erf in extended precision (one long chain of divisions per
// element), which has no SIMD lanes: the standardised u = (x - mu)/sigma is
// formed on the double lanes, then the erf of the group's elements runs
// EXT_INTERLEAVE elements at a time (cxmath/ext/pack.hpp), those below and
// those above the switch of its two continued fractions in separate groups.
#pragma once

#include "cxmath/erf.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/keep.hpp"
#include "dists/lanes/lnorm.hpp"
#include "dists/lnorm.hpp"
#include "dists/norm.hpp"

namespace distmill::lanes {

// The lanes pnorm_core takes through erf_ext's ordinary path: |u| at least
// 2^-30 (then e = -u^2/2 is not negligible, nor z below EPS_EXT) and u at
// most 64 (Phi is 1 from about 9 on; the bound only keeps the exponential's
// split far inside its range, and overflowed u out).  Below, the CDF's
// checked region.
inline constexpr double PNORM_LANES_TINY = 0x1p-30;
inline constexpr double PNORM_LANES_HIGH = 64;

// pnorm_core(u) of every lane where `ordinary` holds and u lies in the range
// above and outside the region (u > PNORM_LOWER_U); `ordinary` loses the
// others.  The same operations as the scalar core, element by element.
template <class V>
DISTMILL_LANE_INLINE V normal_cdf_core(const V& u, mask_t<V>& ordinary) {
  using cxmath::ext;
  using cxmath::fabs;
  using cxmath::lanes::fabs;
  namespace cl = cxmath::lanes;
  constexpr int L = size_v<V>;
  ordinary = ordinary & (u > detail::PNORM_LOWER_U) & (fabs(u) >= PNORM_LANES_TINY) & (u <= PNORM_LANES_HIGH);
  alignas(64) double ud[L], pd[L];
  store(u, ud);
  ext below[L], above[L], erf_below[L], erf_above[L];
  int lane_below[L], lane_above[L], n_below = 0, n_above = 0;
  bool upper[L];
  for (int l = 0; l < L; ++l) {
    pd[l] = 0.5;
    if (!cl::lane(ordinary, l)) continue;
    const ext z = static_cast<ext>(ud[l]) / cxmath::SQRT2_EXT;
    upper[l] = z > 0;
    const ext a = upper[l] ? z : -z;
    if (a > static_cast<ext>(cxmath::detail::ERF_SWITCH)) {
      above[n_above] = a;
      lane_above[n_above++] = l;
    } else {
      below[n_below] = a;
      lane_below[n_below++] = l;
    }
  }
  cxmath::detail::erf_ext_many(below, erf_below, n_below, false);
  cxmath::detail::erf_ext_many(above, erf_above, n_above, true);
  for (int j = 0; j < n_below; ++j)
    pd[lane_below[j]] = static_cast<double>(detail::pnorm_of_erf(upper[lane_below[j]], erf_below[j]));
  for (int j = 0; j < n_above; ++j)
    pd[lane_above[j]] = static_cast<double>(detail::pnorm_of_erf(upper[lane_above[j]], erf_above[j]));
  if constexpr (cxmath::lanes::is_scalar_v<V>)
    return pd[0];
  else
    return V::load(pd);
}

// pnorm(x, mu, sigma, log).  Ordinary lanes: finite x and mu, sigma in
// (0, DBL_MAX], x - mu finite, u = (x - mu)/sigma above the checked lower
// tail (pnorm_region) and in the core's range, then the keep step's
// conditions on the probability (probability_in_scale).
struct Pnorm {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;

  Pnorm(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    ordinary = finite(x) & finite(mu) & (sigma > 0.0) & (sigma <= cxmath::DBL_MAX_) & finite(x - mu);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.0));
      mu = select(ordinary, mu, V(0.0));
      sigma = select(ordinary, sigma, V(1.0));
    }
    const V P = normal_cdf_core((x - mu) / sigma, ordinary);
    return probability_in_scale(a[3], i, P, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// plnorm(x, mu, sigma, log): pnorm at lx = ln x.  Ordinary lanes: x in
// [EPS, DBL_MAX], finite mu, sigma in (0, DBL_MAX], outside the log-normal
// checked region (lx not taken as 0 away from x = 1, its rounding within
// the bound), lx - mu finite, then as pnorm's.
struct Plnorm {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;

  Plnorm(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & finite(mu) & (sigma > 0.0) &
               (sigma <= cxmath::DBL_MAX_);
    const V lx = lnorm_log_x(x, mu, sigma, ordinary);
    const V P = normal_cdf_core((lx - mu) / sigma, ordinary);
    return probability_in_scale(a[3], i, P, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
