// Element-wise calls on lanes: the loop that hands an array call's
// elements to a family's kernel a pack at a time, and to the scalar
// function wherever the kernel cannot decide them.
//
// A family's kernel (dists/lanes/<family>.hpp) is a class with
//   - `Scalar`, the scalar function's type, and `arity`, its argument count;
//   - a constructor from the call's arguments and the scalar function,
//     which evaluates once what the arguments held fixed for the whole call
//     allow (the logarithm of a scale, the log-gamma of a shape);
//   - `group<V>(args, i, ordinary)`, the values of elements i .. i + size - 1
//     on the lane type V, with `ordinary` the lanes it has decided: those
//     the scalar function takes through the same formula with nothing left
//     to check (no NaN, infinity, overflow or checked region on the way);
//   - `scalar(args, i)`, the scalar function at element i.
// Every other lane is computed by the scalar function itself, called
// through the pointer the module calls it by element by element, so edge
// cases keep one definition and their exact bits.  The formula the ordinary
// lanes run is the family's own templated helper, also used by its scalar
// function (dists/<family>.hpp): the same operations in the same order, so
// the same bits in every lane.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>

#include "cxmath/lanes/elementary.hpp"
#include "cxmath/lanes/pack.hpp"

namespace distmill::lanes {

using cxmath::lanes::mask_t;
using cxmath::lanes::size_v;

// One argument of an element-wise call over a block of n elements: n
// values from p on (element size `bytes`), or the one value at p for all of
// them (`constant`: a scalar argument, or an array broadcast along the
// block).
struct Arg {
  const void* p;
  bool constant;
  std::size_t bytes;
};

// The blocks of one call, in order: next() points `args` and `out` at the
// next block and returns its length, or 0 after the last block.  Between
// blocks it may poll for an interrupt, which leaves by an exception.
class Blocks {
 public:
  virtual std::size_t next(Arg* args, double*& out) = 0;

 protected:
  ~Blocks() = default;
};

// The value of argument a at element i.
template <class T>
DISTMILL_LANE_INLINE T element(const Arg& a, std::size_t i) {
  return static_cast<const T*>(a.p)[a.constant ? 0 : i];
}

// The lanes of a double argument from element i on.
template <class V>
DISTMILL_LANE_INLINE V load(const Arg& a, std::size_t i) {
  const double* p = static_cast<const double*>(a.p);
  if (a.constant) return V(p[0]);
  if constexpr (cxmath::lanes::is_scalar_v<V>)
    return p[i];
  else
    return V::load(p + i);
}

// The lanes of a bool argument (a flag) from element i on.
template <class V>
DISTMILL_LANE_INLINE mask_t<V> load_flag(const Arg& a, std::size_t i) {
  const bool* p = static_cast<const bool*>(a.p);
  if (a.constant) return mask_t<V>(p[0]);
  if constexpr (cxmath::lanes::is_scalar_v<V>)
    return p[i];
  else
    return mask_t<V>::load(p + i);
}

template <class V>
DISTMILL_LANE_INLINE void store(const V& v, double* p) {
  if constexpr (cxmath::lanes::is_scalar_v<V>)
    *p = v;
  else
    v.store(p);
}

// A value formed as its logarithm L, in the scale of the flag argument
// (dpq::from_log): L where the flag is set, e^L where it is not.
template <class V>
DISTMILL_LANE_INLINE V from_log(const Arg& flag, std::size_t i, const V& L) {
  if (flag.constant) return element<bool>(flag, 0) ? L : cxmath::lanes::exp(L);
  const mask_t<V> give_log = load_flag<V>(flag, i);
  if (cxmath::lanes::all(give_log)) return L;
  return cxmath::lanes::select(give_log, L, cxmath::lanes::exp(L));
}

// The scalar function f at element i of the arguments a, every NaN as the
// one quiet NaN (the element-wise loop's form of the value).
template <class R, class... A, std::size_t... I>
DISTMILL_LANE_INLINE double scalar_at(R (*f)(A...), const Arg* a, std::size_t i, std::index_sequence<I...>) {
  return cxmath::unify_nan(f(element<A>(a[I], i)...));
}
template <class R, class... A>
DISTMILL_LANE_INLINE double scalar_at(R (*f)(A...), const Arg* a, std::size_t i) {
  return scalar_at(f, a, i, std::index_sequence_for<A...>());
}

// One block of n elements: whole packs, then the last few elements padded
// to a pack with copies of the last one (whose results are not stored).
template <class Kernel, class V>
DISTMILL_LANE_INLINE void run_block(const Kernel& k, const Arg* a, double* out, std::size_t n) {
  constexpr int N = size_v<V>;
  std::size_t i = 0;
  for (; i + N <= n; i += N) {
    mask_t<V> ordinary;
    const V v = k.template group<V>(a, i, ordinary);
    store(v, out + i);
    if (!cxmath::lanes::all(ordinary))
      for (int l = 0; l < N; ++l)
        if (!cxmath::lanes::lane(ordinary, l)) out[i + l] = k.scalar(a, i + l);
  }
  if (i == n) return;
  const std::size_t rest = n - i;
  alignas(64) unsigned char pad[Kernel::arity][N * 8];
  Arg t[Kernel::arity];
  for (int j = 0; j < Kernel::arity; ++j) {
    t[j] = a[j];
    if (a[j].constant) continue;
    const unsigned char* from = static_cast<const unsigned char*>(a[j].p) + i * a[j].bytes;
    std::memcpy(pad[j], from, rest * a[j].bytes);
    for (std::size_t l = rest; l < static_cast<std::size_t>(N); ++l)
      std::memcpy(pad[j] + l * a[j].bytes, from + (rest - 1) * a[j].bytes, a[j].bytes);
    t[j].p = pad[j];
  }
  mask_t<V> ordinary;
  double v[N];
  store(k.template group<V>(t, 0, ordinary), v);
  for (std::size_t l = 0; l < rest; ++l)
    out[i + l] = cxmath::lanes::lane(ordinary, static_cast<int>(l)) ? v[l] : k.scalar(t, l);
}

// A kernel whose elements take different amounts of work (an iterative
// quantile, whose lanes each run their own refinement) takes a whole block
// at once: `block<V>(args, out, n)` writes out[0 .. n - 1] itself, handing
// to the scalar function what it cannot decide, as run_block does.
template <class Kernel, class V>
concept takes_whole_blocks = requires(const Kernel& k, const Arg* a, double* out, std::size_t n) {
  k.template block<V>(a, out, n);
};

// Every block of a call on the lane type V.  The kernel is made once, from
// the first block's arguments: the constant ones are the same in all.
template <class Kernel, class V>
DISTMILL_LANE_INLINE void run(Blocks& blocks, typename Kernel::Scalar f) {
  Arg a[Kernel::arity];
  double* out = nullptr;
  std::size_t n = blocks.next(a, out);
  if (n == 0) return;
  const Kernel k(a, f);
  do {
    if constexpr (takes_whole_blocks<Kernel, V>)
      k.template block<V>(a, out, n);
    else
      run_block<Kernel, V>(k, a, out, n);
  } while ((n = blocks.next(a, out)) != 0);
}

}  // namespace distmill::lanes
