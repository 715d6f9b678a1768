// The guarded logarithm and exponential on packs: every lane the value of
// cxmath::log, cxmath::log_core or cxmath::exp in every bit.
//
// The ordinary lanes run the kernels' bodies (detail::log_ordinary,
// detail::exp_ordinary) in lock step; a lane the guards of the scalar
// kernel decide (NaN, infinities, tiny or huge arguments) is computed by
// the scalar kernel itself, after the pack has run with a harmless value
// (one of the ordinary domain) in its place.  Those lanes are rare in the arrays the packs are for, and
// the guards keep one definition.
#pragma once

#include "cxmath/elementary.hpp"
#include "cxmath/lanes/pack.hpp"

namespace cxmath::lanes {

// The scalar lane type: the kernels themselves.
DISTMILL_LANE_INLINE constexpr double log_core(double x) { return cxmath::log_core(x); }
DISTMILL_LANE_INLINE constexpr double log(double x) { return cxmath::log(x); }
DISTMILL_LANE_INLINE constexpr double exp(double x) { return cxmath::exp(x); }

// cxmath::log_core(x) lane by lane (x >= EPS or +inf).
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> log_core(const Pack<W, K>& x) {
  const auto ordinary = (x >= EPS) & (x <= DBL_MAX_) & (fabs(x - 1.0) >= EPS);
  if (all(ordinary)) return detail::log_ordinary(x);
  const Pack<W, K> v = detail::log_ordinary(select(ordinary, x, Pack<W, K>(2.0)));
  return map_where(!ordinary, x, v, [](double a, double) { return cxmath::log_core(a); });
}

// cxmath::log(x) lane by lane.
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> log(const Pack<W, K>& x) {
  const auto ordinary = (x >= EPS) & (x <= DBL_MAX_) & (fabs(x - 1.0) >= EPS);
  if (all(ordinary)) return detail::log_ordinary(x);
  const Pack<W, K> v = detail::log_ordinary(select(ordinary, x, Pack<W, K>(2.0)));
  return map_where(!ordinary, x, v, [](double a, double) { return cxmath::log(a); });
}

// cxmath::exp(x) lane by lane.  The pack splits x = n + r through 32-bit
// integers, so arguments of 2^31 and more (whose exponential is 0 or +inf
// anyway) take the scalar kernel.
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> exp(const Pack<W, K>& x) {
  const auto ordinary = (fabs(x) >= EPS) & (fabs(x) < 0x1p31);
  if (all(ordinary)) return detail::exp_ordinary(x);
  const Pack<W, K> v = detail::exp_ordinary(select(ordinary, x, Pack<W, K>(1.0)));
  return map_where(!ordinary, x, v, [](double a, double) { return cxmath::exp(a); });
}

}  // namespace cxmath::lanes
