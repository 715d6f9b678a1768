// A fixed group of M extended values with element-wise arithmetic, for
// running one extended-precision kernel on M arguments at once.
//
// The extended unit (x87) has no SIMD lanes, but its divider is partly
// pipelined: a kernel that is one long dependent chain of divisions (the
// error function's continued fraction) leaves it idle while each division
// waits for the one before.  Written over `xpack<M>`, the kernel performs
// every operation M times in a row on independent values, so M chains are
// in flight together.  Each element sees exactly the operations the kernel
// performs on a single `ext`, in the same order, each rounded once: the
// same bits.  (Values the compiler cannot keep in the eight x87 registers
// are stored as full 80-bit values, which changes no bit either.)
//
// With the software format the elements are `soft_ext` values and the
// group is a plain loop over them, with the same results.
#pragma once

#include "cxmath/elementary.hpp"

namespace cxmath {

// How many independent extended chains the array kernels run together.
// Measured on erf's and the tangent's continued fractions (AMD EPYC, CPU
// time per element against one chain): 2 gains 0-25%, 3 and 4 about
// 25-35%, 6 and 8 less again.  From 3 on the loop-invariant values of a
// level no longer fit the eight x87 registers with the chains' states,
// and every 80-bit reload costs several cycles.
inline constexpr int EXT_INTERLEAVE = 4;

template <int M>
struct xpack {
  static_assert(M >= 1);
  static constexpr int size = M;
  ext v[M];

  constexpr xpack() : v{} {}
  // A value for every element; ints and doubles convert to ext exactly.
  DISTMILL_LANE_INLINE constexpr xpack(ext s) : v{} {
    for (int l = 0; l < M; ++l) v[l] = s;
  }
  DISTMILL_LANE_INLINE constexpr xpack(double s) : xpack(static_cast<ext>(s)) {}
  DISTMILL_LANE_INLINE constexpr xpack(int s) : xpack(static_cast<ext>(s)) {}

  DISTMILL_LANE_INLINE static constexpr xpack load(const ext* p) {
    xpack r;
    for (int l = 0; l < M; ++l) r.v[l] = p[l];
    return r;
  }
  DISTMILL_LANE_INLINE constexpr void store(ext* p) const {
    for (int l = 0; l < M; ++l) p[l] = v[l];
  }
  DISTMILL_LANE_INLINE constexpr ext operator[](int l) const { return v[l]; }
  DISTMILL_LANE_INLINE constexpr ext& operator[](int l) { return v[l]; }

#define DISTMILL_XPACK_OP(op)                                                       \
  DISTMILL_LANE_INLINE friend constexpr xpack operator op(xpack a, const xpack& b) { \
    for (int l = 0; l < M; ++l) a.v[l] = a.v[l] op b.v[l];                          \
    return a;                                                                       \
  }
  DISTMILL_XPACK_OP(+)
  DISTMILL_XPACK_OP(-)
  DISTMILL_XPACK_OP(*)
  DISTMILL_XPACK_OP(/)
#undef DISTMILL_XPACK_OP

  DISTMILL_LANE_INLINE constexpr xpack operator-() const {
    xpack r;
    for (int l = 0; l < M; ++l) r.v[l] = -v[l];
    return r;
  }
};

// out[j] = f(in[j]) for j < n, with f a kernel written over ext that is
// also instantiated at xpack (a generic callable): run on groups of
// EXT_INTERLEAVE values, the last few on one smaller group.
template <class F>
DISTMILL_LANE_INLINE constexpr void ext_groups(const ext* in, ext* out, int n, F&& f) {
  constexpr int W = EXT_INTERLEAVE;
  static_assert(W >= 1 && W <= 4, "the last group below holds at most 3 values");
  int i = 0;
  for (; i + W <= n; i += W) f(xpack<W>::load(in + i)).store(out + i);
  switch (n - i) {
    case 3:
      if constexpr (W > 3) f(xpack<3>::load(in + i)).store(out + i);
      break;
    case 2:
      if constexpr (W > 2) f(xpack<2>::load(in + i)).store(out + i);
      break;
    case 1:
      if constexpr (W > 1) f(xpack<1>::load(in + i)).store(out + i);
      break;
    default:
      break;
  }
}

}  // namespace cxmath
