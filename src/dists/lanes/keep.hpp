// The keep steps on lanes, outside a family's checked region: which lanes
// the scalar function's keep step would pass through unchanged, and their
// value in the scale of the log flag.  Every lane these leave out is the
// scalar function's (the loop in block.hpp).
#pragma once

#include "cxmath/agreement.hpp"
#include "dists/lanes/block.hpp"

namespace distmill::lanes {

// The log flag of elements i .. i + size - 1.
template <class V>
DISTMILL_LANE_INLINE mask_t<V> flag_lanes(const Arg& flag, std::size_t i) {
  return flag.constant ? mask_t<V>(element<bool>(flag, 0)) : load_flag<V>(flag, i);
}

// Per lane: a where m holds, else b.
template <class M>
DISTMILL_LANE_INLINE M select_mask(const M& m, const M& a, const M& b) {
  return (m & a) | (!m & b);
}

// A probability P outside the family's region (keep_probability): kept as
// it is in [0, 1] without the flag; with it, its logarithm is checked
// unless P lies in [EPS, 1 - LOG_NEAR_ONE], where it is log_core(P).
// `ordinary` loses the lanes the keep step would check.
template <class V>
DISTMILL_LANE_INLINE V probability_in_scale(const Arg& flag, std::size_t i, const V& P, mask_t<V>& ordinary) {
  using namespace cxmath::lanes;
  const mask_t<V> give_log = flag_lanes<V>(flag, i);
  const mask_t<V> plain = (P >= 0.0) & (P <= 1.0);
  if (none(give_log)) {
    ordinary = ordinary & plain;
    return P;
  }
  const mask_t<V> logged = (P >= cxmath::EPS) & (P <= 1 - cxmath::LOG_NEAR_ONE);
  ordinary = ordinary & select_mask(give_log, logged, plain);
  const V L = log_core(select(ordinary & give_log, P, V(0.5)));
  return select(give_log, L, P);
}

// The lanes `settled` of r through settle(l), the scalar function's keep
// step at the lane's own fixed-depth value (so that value is not formed a
// second time), every NaN the quiet NaN; they join `ordinary`.
template <class V, class Settle>
DISTMILL_LANE_INLINE V settle_lanes(const V& r, const mask_t<V>& settled, mask_t<V>& ordinary, Settle&& settle) {
  if (cxmath::lanes::none(settled)) return r;
  constexpr int L = size_v<V>;
  alignas(64) double rd[L];
  store(r, rd);
  for (int l = 0; l < L; ++l)
    if (cxmath::lanes::lane(settled, l)) rd[l] = cxmath::unify_nan(settle(l));
  ordinary = ordinary | settled;
  if constexpr (cxmath::lanes::is_scalar_v<V>)
    return rd[0];
  else
    return V::load(rd);
}

// A log-density L outside the family's region (keep_log_density): checked
// only where it is NaN; in the scale of the flag.
template <class V>
DISTMILL_LANE_INLINE V log_density_in_scale(const Arg& flag, std::size_t i, const V& L, mask_t<V>& ordinary) {
  ordinary = ordinary & (L == L);
  return from_log(flag, i, L);
}

}  // namespace distmill::lanes
