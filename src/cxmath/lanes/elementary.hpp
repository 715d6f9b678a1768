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
DISTMILL_LANE_INLINE constexpr double expm1(double x) { return cxmath::expm1(x); }
DISTMILL_LANE_INLINE constexpr double log1p(double x) { return cxmath::log1p(x); }
DISTMILL_LANE_INLINE constexpr double tanh_cf(double z) { return cxmath::tanh_cf(z); }
DISTMILL_LANE_INLINE constexpr double sqrt(double x) { return cxmath::sqrt(x); }

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

// cxmath::sqrt(x) lane by lane: the scaling by 1/4 while x > 4 (a lane
// scaled once no longer lies within EPS of 1, so the scalar kernel's test
// for that only answers before the first scaling) and Newton's iteration,
// each lane leaving it at the step where the scalar loop breaks.  Lanes at
// or within EPS of 1, below EPS, infinite or NaN take the scalar kernel.
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> sqrt(const Pack<W, K>& v) {
  using P = Pack<W, K>;
  const auto ordinary = (v >= EPS) & (v <= DBL_MAX_) & (fabs(1.0 - v) >= EPS);
  P x = select(ordinary, v, P(2.0));
  P m(1.0);
  for (;;) {
    const auto big = x > 4.0;
    if (none(big)) break;
    x = select(big, 0.25 * x, x);
    m = select(big, m + m, m);
  }
  P y = 0.5 * x;
  Mask<W, K> running(true);
  for (int i = 0; i < 100; ++i) {
    const P q = x / y;
    const P e = fabs(y - q);
    running = running & !(e / (y + 1.0) < EPS);
    if (none(running)) break;
    y = select(running, (y + q) * 0.5, y);
  }
  const P r = y * m;
  if (all(ordinary)) return r;
  return map_where(!ordinary, v, r, [](double a, double) { return cxmath::sqrt(a); });
}

// cxmath::expm1(x) lane by lane: e^x - 1 beyond 1e-4 in magnitude, the
// series within (both computed where the lanes hold both kinds); a NaN lane
// takes the scalar kernel (its one quiet NaN).
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> expm1(const Pack<W, K>& x) {
  const auto large = (x != 0.0) & (fabs(x) > 1e-4);
  Pack<W, K> v;
  if (all(large))
    v = exp(x) - 1.0;
  else if (none(large))
    v = cxmath::detail::expm1_series(x);
  else
    v = select(large, exp(select(large, x, Pack<W, K>(1.0))) - 1.0, cxmath::detail::expm1_series(x));
  const auto nan = x != x;
  if (any(nan)) v = map_where(nan, x, v, [](double a, double) { return cxmath::expm1(a); });
  return v;
}

// cxmath::log1p(x) lane by lane: the guarded logarithm of 1 + x beyond 1e-4
// in magnitude, the series within; a NaN lane takes the scalar kernel.
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> log1p(const Pack<W, K>& x) {
  const auto large = (x != 0.0) & (fabs(x) > 1e-4);
  Pack<W, K> v;
  if (all(large))
    v = log(1.0 + x);
  else if (none(large))
    v = cxmath::detail::log1p_series(x);
  else
    v = select(large, log(1.0 + select(large, x, Pack<W, K>(1.0))), cxmath::detail::log1p_series(x));
  const auto nan = x != x;
  if (any(nan)) v = map_where(nan, x, v, [](double a, double) { return cxmath::log1p(a); });
  return v;
}

// The denominator of Lambert's fraction for tanh, lane by lane (no guard:
// the same operations for every argument).
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> tanh_cf(const Pack<W, K>& z) {
  return cxmath::detail::tanh_cf(z);
}

}  // namespace cxmath::lanes
