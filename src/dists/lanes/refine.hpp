// Fixed-count refinement loops run across the lanes of a pack, each lane
// on its own element.
//
// The inverse kernels refine a guess by a fixed number of steps from a
// state (x, D): x the iterate, D the density factor the step divides by,
// which lags one iterate behind (D of the first step is that of the guess
// itself).  A step needs an expensive evaluation at x (an exponential and a
// continued fraction): that part is evaluated on the whole pack at once.
// The rest is per lane, in the scalar loop's order: the step, the record
// of the state, and the check against the lane's own history, which ends
// the element when its state recurs (the value is then read off the cycle,
// recurrence.hpp) or after the last step.  A lane whose element ends stores
// the result and takes the next element of the block at once, so a pack
// never waits for its slowest member; the pack runs until every lane has
// run out of elements.
//
// Every lane performs the scalar loop's operations on its own state in the
// scalar loop's order, so it ends on the same bits: the scalar loop's
// shortcuts (a state that recurs, an iterate met before whose evaluation
// it reuses) return the values the plain steps would, and the pack simply
// evaluates afresh where the scalar loop reuses.
#pragma once

#include <cstddef>

#include "cxmath/recurrence.hpp"
#include "dists/lanes/block.hpp"

namespace distmill::lanes {

template <class V>
DISTMILL_LANE_INLINE V load_lanes(const double* p) {
  if constexpr (cxmath::lanes::is_scalar_v<V>)
    return *p;
  else
    return V::load(p);
}

// The starts of a block's elements computed on packs of their targets:
// fill() evaluates guess(P) on packs of p_at(k) for the first GUESS_CHUNK
// elements, with a harmless 1/2 in the lanes of elements whose target
// ordinary(p) rejects (the lanes do not refine those, and no value of theirs
// is read).
inline constexpr std::size_t GUESS_CHUNK = 1024;

template <class V>
struct PackGuesses {
  alignas(64) double x[GUESS_CHUNK + 16];
  std::size_t count = 0;  // elements 0 .. count - 1 have their start in x

  template <class P, class Ordinary, class Guess>
  DISTMILL_LANE_INLINE void fill(std::size_t n, P&& p_at, Ordinary&& ordinary, Guess&& guess) {
    constexpr int L = size_v<V>;
    count = n < GUESS_CHUNK ? n : GUESS_CHUNK;
    for (std::size_t i = 0; i < count; i += L) {
      alignas(64) double p[L];
      for (int l = 0; l < L; ++l) {
        const std::size_t k = i + static_cast<std::size_t>(l);
        const double v = k < count ? p_at(k) : 0.5;
        p[l] = ordinary(v) ? v : 0.5;
      }
      store(guess(load_lanes<V>(p)), x + i);
    }
  }
};

// A refinement whose loop ends early on the state's density factor: the
// lanes of r.ends<V>(D) whose D ends their element with the current
// iterate, before the step (a vanishing density, whose quotient the step
// cannot take).
template <class R, class V>
concept ends_on_density = requires(const R& r, const V& D) { r.template ends<V>(D); };

// The elements 0 .. n - 1 of a block through Steps refinement steps.
//   enter(k, y, x): element k enters a lane with target y and guess x; or
//     returns false having decided the element itself.
//   r.eval<V>(x, e, f): the evaluation at the iterates x on the pack: e
//     the density factor at x (the next D), f the function value.
//   r.step<V>(y, x, D, f): the step s, x_next = x - s, on the pack.
//   leave(k, v): element k's refined value v (the iterate after the last
//     step).
//   r.ends<V>(D), where the refinement has it (ends_on_density): the lanes
//     whose element ends with the iterate x before the step from (x, D).
// (r holds what the call fixes for every element, a shape and its
// log-gamma; its members take packs and are forced inline; enter and leave
// take doubles only.)
template <class R, class V, class Enter, class Leave>
DISTMILL_LANE_INLINE void refine_block(const R& r, std::size_t n, Enter&& enter, Leave&& leave) {
  constexpr int Steps = R::steps;
  constexpr int L = size_v<V>;
  alignas(64) double x[L], D[L], y[L], first[L];
  double hx[L][Steps], hD[L][Steps];
  std::size_t elem[L];
  int count[L];
  bool busy[L];
  std::size_t next = 0;
  int active = 0;

  // Lane l takes the next element that enters, or idles on a harmless
  // state (its values are computed and never read).  Inlined like the
  // loop itself, whose instruction set it must share.
  const auto take = [&](int l) __attribute__((always_inline)) {
    while (next < n) {
      const std::size_t k = next++;
      double yk = 0, xk = 0;
      if (!enter(k, yk, xk)) continue;
      elem[l] = k;
      y[l] = yk;
      x[l] = xk;
      D[l] = 1;
      first[l] = 1;
      count[l] = 0;
      busy[l] = true;
      return;
    }
    busy[l] = false;
    x[l] = 0.5;
    y[l] = 0;
    D[l] = 1;
    first[l] = 0;
  };
  for (int l = 0; l < L; ++l) {
    take(l);
    active += busy[l];
  }

  while (active > 0) {
    const V X = load_lanes<V>(x);
    V E, F;
    r.template eval<V>(X, E, F);
    const V Dv = cxmath::lanes::select(load_lanes<V>(first) == 1.0, E, load_lanes<V>(D));
    const V S = r.template step<V>(load_lanes<V>(y), X, Dv, F);
    [[maybe_unused]] mask_t<V> ended{};
    if constexpr (ends_on_density<R, V>) ended = r.template ends<V>(Dv);
    store(Dv, D);
    for (int l = 0; l < L; ++l) {
      if (!busy[l]) continue;
      hx[l][count[l]] = x[l];
      hD[l][count[l]] = D[l];
    }
    store(X - S, x);
    store(E, D);
    for (int l = 0; l < L; ++l) {
      if (!busy[l]) continue;
      if constexpr (ends_on_density<R, V>) {
        // Its D ends the element: the value is the iterate recorded before
        // this step, which the lane does not take.
        if (cxmath::lanes::lane(ended, l)) {
          leave(elem[l], hx[l][count[l]]);
          take(l);
          active -= !busy[l];
          continue;
        }
      }
      first[l] = 0;
      const int i = ++count[l];
      bool done = i == Steps;
      double v = x[l];
      for (int j = 0; j < i && !done; ++j) {
        if (cxmath::detail::same_bits(hx[l][j], x[l]) && cxmath::detail::same_bits(hD[l][j], D[l])) {
          v = hx[l][cxmath::detail::recurrent_index(j, i, Steps)];
          done = true;
        }
      }
      if (!done) continue;
      leave(elem[l], v);
      take(l);
      active -= !busy[l];
    }
  }
}

}  // namespace distmill::lanes
