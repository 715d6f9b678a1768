// Masses and CDFs of the discrete families over arrays of counts with the
// law's parameters fixed for the call: the counts of such an array repeat (a
// million draws of a binomial with 40 trials hold 41 distinct counts), so
// the value at each distinct count is the scalar function's, computed the
// first time the count appears and read from a table afterwards.  The
// table holds exactly what the scalar function returned, keep step
// included, so every element has its bits whatever the family's checked
// regions are.  Counts outside the table, and every element of a call whose
// parameters vary by element, are the scalar function's directly.
#pragma once

#include <cstdint>
#include <memory>

#include "dists/lanes/block.hpp"

namespace distmill::lanes {

// The lanes of a pack whose elements are each decided one at a time:
// at(l, v) gives lane l its value v and returns true, or returns false for
// a lane left to the scalar function.
template <class V, class At>
DISTMILL_LANE_INLINE V per_element(mask_t<V>& ordinary, At&& at) {
  constexpr int N = size_v<V>;
  alignas(64) double v[N];
  alignas(64) bool ok[N];
  for (int l = 0; l < N; ++l) {
    v[l] = 0.0;
    ok[l] = at(l, v[l]);
  }
  if constexpr (cxmath::lanes::is_scalar_v<V>) {
    ordinary = ok[0];
    return v[0];
  } else {
    ordinary = mask_t<V>::load(ok);
    return V::load(v);
  }
}

// Counts 0 .. COUNT_TABLE - 1 are kept, for each setting of the log flag.
inline constexpr std::int64_t COUNT_TABLE = 4096;

// The kernel of a mass function or CDF f(count, P..., log) (P the
// parameters).
template <class... P>
struct CountMass {
  using Scalar = double (*)(std::int64_t, P..., bool);
  static constexpr int arity = sizeof...(P) + 2;

  Scalar f;
  bool tabled = true;  // every parameter a constant of the call
  // The masses found so far, at flag * COUNT_TABLE + count, and whether each
  // is there yet; made at the first count the call meets.
  mutable std::unique_ptr<double[]> mass;
  mutable std::unique_ptr<bool[]> known;

  CountMass(const Arg* a, Scalar scalar) : f(scalar) {
    for (int j = 1; j < arity - 1; ++j) tabled = tabled && a[j].constant;
  }

  // The mass at element i from the table, computed there first if needed;
  // false for a count outside it.
  bool tabled_at(const Arg* a, std::size_t i, double& v) const {
    const std::int64_t x = element<std::int64_t>(a[0], i);
    if (x < 0 || x >= COUNT_TABLE) return false;
    const std::int64_t at = (element<bool>(a[arity - 1], i) ? COUNT_TABLE : 0) + x;
    if (!known) {
      mass.reset(new double[2 * COUNT_TABLE]);
      known.reset(new bool[2 * COUNT_TABLE]());
    }
    if (!known[at]) {
      mass[at] = scalar_at(f, a, i);
      known[at] = true;
    }
    v = mass[at];
    return true;
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    return per_element<V>(ordinary, [&](int l, double& v) { return tabled && tabled_at(a, i + l, v); });
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
