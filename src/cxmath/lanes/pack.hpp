// Lane types: the kernels written once for one value or for many at a time.
//
// A kernel templated on its lane type V runs on
//  - `double`: one value, the plain scalar kernel (constexpr, branches);
//  - `Pack<W, K>`: W x K values in lock step, K registers of W doubles
//    (W = 2 for SSE2, 4 for AVX2, 8 for AVX-512), interleaved so that the
//    long chains of dependent divisions of the continued fractions keep
//    the divider busy: while one register waits on its quotient, the
//    divisions of the others start.
//
// IEEE addition, subtraction, multiplication, division and square root
// are correctly rounded in every lane of a vector instruction, so each lane
// of a pack gets the bits the scalar kernel gets from the same operations
// in the same order.  Nothing here may change that:
//  - no fused multiply-add: the packs are GCC vector types whose element
//    operations the compiler keeps separate under -ffp-contract=off, and
//    no intrinsic is used (none could fuse by itself either);
//  - no reassociation, no reciprocal for a division (no fast-math);
//  - a branch of the scalar kernel is a mask and a `select` here: both
//    sides are computed in every lane and each lane keeps its own side.
// Where two NaN operands meet, the NaN a vector instruction returns may
// differ from the scalar one's in sign (the compiler may commute the
// operands of either); the callers hand every lane that meets a NaN to the
// scalar function.
//
// The packs use only GCC's generic vector extension (also in clang), never
// instruction-set intrinsics, so one definition serves every instruction
// set: a function compiled for the baseline lowers a 4-lane division to two
// SSE2 ones, a function with the AVX2 target to one.  The callers that
// instantiate kernels on packs for a wider instruction set are functions
// with that target attribute (cxmath/lanes/isa.hpp); every function that
// takes or returns a pack is forced inline (DISTMILL_LANE_INLINE), so its
// body is compiled for the caller's instruction set, and any out-of-line
// copy the compiler emits of anything else is compiled for the baseline:
// no wider instruction leaks into code that runs on every processor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "cxmath/common.hpp"

// Forced inlining of everything that computes on lanes: the kernels'
// bodies then take the instruction set of the function they are called
// from (GCC's flatten would do it too; clang's flattens one level only).
#define DISTMILL_LANE_INLINE [[gnu::always_inline]] inline

namespace cxmath::lanes {

// The vector types of W lanes.
template <int W>
struct native {
  typedef double f64 __attribute__((vector_size(8 * W)));
  typedef std::int64_t i64 __attribute__((vector_size(8 * W)));
  typedef std::int32_t i32 __attribute__((vector_size(4 * W)));
};

template <int W, int K>
struct Mask;

// W x K doubles; lane l is element l % W of register l / W.
template <int W, int K>
struct Pack {
  using reg = typename native<W>::f64;
  using ireg = typename native<W>::i64;
  static constexpr int width = W;
  static constexpr int registers = K;
  static constexpr int size = W * K;

  reg r[K];

  Pack() = default;
  // Every lane d (a constant of the formula, a parameter fixed for a call).
  [[gnu::always_inline]] Pack(double d) : Pack(d, std::make_index_sequence<W>()) {}

  [[gnu::always_inline]] static Pack load(const double* p) {
    Pack v;
    for (int j = 0; j < K; ++j) __builtin_memcpy(&v.r[j], p + j * W, sizeof(reg));
    return v;
  }
  [[gnu::always_inline]] void store(double* p) const {
    for (int j = 0; j < K; ++j) __builtin_memcpy(p + j * W, &r[j], sizeof(reg));
  }
  [[gnu::always_inline]] double lane(int l) const { return r[l / W][l % W]; }
  [[gnu::always_inline]] void set_lane(int l, double d) { r[l / W][l % W] = d; }

#define DISTMILL_PACK_BINARY(op)                        \
  [[gnu::always_inline]] friend Pack operator op(Pack a, const Pack& b) { \
    for (int j = 0; j < K; ++j) a.r[j] = a.r[j] op b.r[j]; \
    return a;                                           \
  }
  DISTMILL_PACK_BINARY(+)
  DISTMILL_PACK_BINARY(-)
  DISTMILL_PACK_BINARY(*)
  DISTMILL_PACK_BINARY(/)
#undef DISTMILL_PACK_BINARY

  [[gnu::always_inline]] friend Pack operator-(Pack a) {
    for (int j = 0; j < K; ++j) a.r[j] = -a.r[j];
    return a;
  }

  // Comparisons as IEEE defines them: false for a NaN operand, but !=.
#define DISTMILL_PACK_COMPARE(op)                                       \
  [[gnu::always_inline]] friend Mask<W, K> operator op(const Pack& a, const Pack& b) { \
    Mask<W, K> m;                                                       \
    for (int j = 0; j < K; ++j) m.m[j] = (ireg)(a.r[j] op b.r[j]);      \
    return m;                                                           \
  }
  DISTMILL_PACK_COMPARE(<)
  DISTMILL_PACK_COMPARE(<=)
  DISTMILL_PACK_COMPARE(>)
  DISTMILL_PACK_COMPARE(>=)
  DISTMILL_PACK_COMPARE(==)
  DISTMILL_PACK_COMPARE(!=)
#undef DISTMILL_PACK_COMPARE

 private:
  template <std::size_t... I>
  [[gnu::always_inline]] Pack(double d, std::index_sequence<I...>) {
    for (int j = 0; j < K; ++j) r[j] = reg{(static_cast<void>(I), d)...};
  }
};

// One truth value per lane: all bits set or none.
template <int W, int K>
struct Mask {
  using ireg = typename native<W>::i64;
  ireg m[K];

  Mask() = default;
  [[gnu::always_inline]] explicit Mask(bool b) {
    for (int j = 0; j < K; ++j) m[j] = ireg{} - static_cast<std::int64_t>(b);
  }
  // The lanes from `count` bools (at most W x K; the rest false).
  [[gnu::always_inline]] static Mask load(const bool* p, int count = W * K) {
    Mask v(false);
    for (int l = 0; l < count; ++l) v.m[l / W][l % W] = -static_cast<std::int64_t>(p[l]);
    return v;
  }
  [[gnu::always_inline]] bool lane(int l) const { return m[l / W][l % W] != 0; }

  [[gnu::always_inline]] friend Mask operator&(Mask a, const Mask& b) {
    for (int j = 0; j < K; ++j) a.m[j] = a.m[j] & b.m[j];
    return a;
  }
  [[gnu::always_inline]] friend Mask operator|(Mask a, const Mask& b) {
    for (int j = 0; j < K; ++j) a.m[j] = a.m[j] | b.m[j];
    return a;
  }
  [[gnu::always_inline]] friend Mask operator!(Mask a) {
    for (int j = 0; j < K; ++j) a.m[j] = ~a.m[j];
    return a;
  }
};

// 64-bit integers per lane, for work on the encoding of doubles.
template <int W, int K>
struct IPack {
  using ireg = typename native<W>::i64;
  ireg r[K];

#define DISTMILL_IPACK_BINARY(op)                          \
  [[gnu::always_inline]] friend IPack operator op(IPack a, const IPack& b) { \
    for (int j = 0; j < K; ++j) a.r[j] = a.r[j] op b.r[j]; \
    return a;                                              \
  }
  DISTMILL_IPACK_BINARY(+)
  DISTMILL_IPACK_BINARY(-)
  DISTMILL_IPACK_BINARY(&)
  DISTMILL_IPACK_BINARY(|)
#undef DISTMILL_IPACK_BINARY
  [[gnu::always_inline]] friend IPack operator>>(IPack a, int s) {
    for (int j = 0; j < K; ++j) a.r[j] = a.r[j] >> s;
    return a;
  }
  [[gnu::always_inline]] friend IPack operator<<(IPack a, int s) {
    for (int j = 0; j < K; ++j) a.r[j] = a.r[j] << s;
    return a;
  }
  [[gnu::always_inline]] friend Mask<W, K> operator==(const IPack& a, const IPack& b) {
    Mask<W, K> m;
    for (int j = 0; j < K; ++j) m.m[j] = (ireg)(a.r[j] == b.r[j]);
    return m;
  }
};

// ---- the lane type's traits and the operations besides the operators ----

// A scalar (double, or ext where a kernel shares a step with its extended
// form) is one lane whose mask is a bool.
template <class V>
struct traits {
  using mask = bool;
  static constexpr int size = 1;
  static constexpr bool scalar = true;
};

template <int W, int K>
struct traits<Pack<W, K>> {
  using mask = Mask<W, K>;
  static constexpr int size = W * K;
  static constexpr bool scalar = false;
};

template <class V>
using mask_t = typename traits<V>::mask;
template <class V>
inline constexpr int size_v = traits<V>::size;
template <class V>
inline constexpr bool is_scalar_v = traits<V>::scalar;

// Truth of all, any or none of the lanes.
DISTMILL_LANE_INLINE constexpr bool all(bool m) { return m; }
DISTMILL_LANE_INLINE constexpr bool any(bool m) { return m; }
DISTMILL_LANE_INLINE constexpr bool none(bool m) { return !m; }

template <int W, int K>
DISTMILL_LANE_INLINE bool any(const Mask<W, K>& a) {
  typename native<W>::i64 o = a.m[0];
  for (int j = 1; j < K; ++j) o = o | a.m[j];
  std::int64_t r = 0;
  for (int l = 0; l < W; ++l) r |= o[l];
  return r != 0;
}
template <int W, int K>
DISTMILL_LANE_INLINE bool all(const Mask<W, K>& a) {
  return !any(!a);
}
template <int W, int K>
DISTMILL_LANE_INLINE bool none(const Mask<W, K>& a) {
  return !any(a);
}

// Per lane: a where m holds, else b.
template <class T>
DISTMILL_LANE_INLINE constexpr T select(bool m, T a, T b) {
  return m ? a : b;
}

template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> select(const Mask<W, K>& m, const Pack<W, K>& a, const Pack<W, K>& b) {
  using ireg = typename native<W>::i64;
  using reg = typename native<W>::f64;
  Pack<W, K> v;
  for (int j = 0; j < K; ++j) v.r[j] = (reg)((m.m[j] & (ireg)a.r[j]) | (~m.m[j] & (ireg)b.r[j]));
  return v;
}

// |v|: the sign bit cleared (NaN payloads kept, as fabs does).
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> fabs(Pack<W, K> a) {
  using ireg = typename native<W>::i64;
  using reg = typename native<W>::f64;
  for (int j = 0; j < K; ++j) a.r[j] = (reg)((ireg)a.r[j] & INT64_MAX_);
  return a;
}

// Neither NaN nor infinite.
DISTMILL_LANE_INLINE constexpr bool finite(double v) { return cxmath::fabs(v) <= DBL_MAX_; }
template <int W, int K>
DISTMILL_LANE_INLINE Mask<W, K> finite(const Pack<W, K>& v) {
  return fabs(v) <= DBL_MAX_;
}

// Correctly rounded square root, lane by lane (the IEEE operation, not the
// Newton kernel cxmath::sqrt).
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> sqrt_ieee(Pack<W, K> a) {
  for (int l = 0; l < W * K; ++l) a.set_lane(l, __builtin_sqrt(a.lane(l)));
  return a;
}

// The encoding of each lane and back.
template <int W, int K>
DISTMILL_LANE_INLINE IPack<W, K> to_bits(const Pack<W, K>& a) {
  IPack<W, K> v;
  for (int j = 0; j < K; ++j) v.r[j] = (typename native<W>::i64)a.r[j];
  return v;
}
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> from_bits(const IPack<W, K>& a) {
  Pack<W, K> v;
  for (int j = 0; j < K; ++j) v.r[j] = (typename native<W>::f64)a.r[j];
  return v;
}

// The integer part of v (truncated toward zero) as a double.  For a double
// any |v| < 2^63; for a pack |v| < 2^31, through 32-bit integers (the
// packed conversion SSE2 and AVX2 have).
DISTMILL_LANE_INLINE constexpr double truncate(double v) { return static_cast<double>(static_cast<std::int64_t>(v)); }
DISTMILL_LANE_INLINE constexpr ext truncate(ext v) { return static_cast<ext>(static_cast<std::int64_t>(v)); }

template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> truncate(Pack<W, K> a) {
  using i32 = typename native<W>::i32;
  using reg = typename native<W>::f64;
  for (int j = 0; j < K; ++j) a.r[j] = __builtin_convertvector(__builtin_convertvector(a.r[j], i32), reg);
  return a;
}

// Lane access that also serves the scalar type.
DISTMILL_LANE_INLINE constexpr double lane(double v, int) { return v; }
template <int W, int K>
DISTMILL_LANE_INLINE double lane(const Pack<W, K>& v, int l) {
  return v.lane(l);
}
DISTMILL_LANE_INLINE constexpr bool lane(bool m, int) { return m; }
template <int W, int K>
DISTMILL_LANE_INLINE bool lane(const Mask<W, K>& m, int l) {
  return m.lane(l);
}

// table[k] for each lane's integer value k (a small non-negative integer).
DISTMILL_LANE_INLINE constexpr double lookup(const double* table, double k) { return table[static_cast<int>(k)]; }
template <int W, int K>
DISTMILL_LANE_INLINE Pack<W, K> lookup(const double* table, const Pack<W, K>& k) {
  Pack<W, K> v;
  for (int l = 0; l < W * K; ++l) v.set_lane(l, table[static_cast<int>(k.lane(l))]);
  return v;
}

// f(a_l, b_l) in every lane where m holds, b_l elsewhere: the steps of a
// kernel that stay scalar per lane (the extended-precision ones).
template <class F>
DISTMILL_LANE_INLINE constexpr double map_where(bool m, double a, double b, F&& f) {
  return m ? f(a, b) : b;
}
template <int W, int K, class F>
DISTMILL_LANE_INLINE Pack<W, K> map_where(const Mask<W, K>& m, const Pack<W, K>& a, Pack<W, K> b, F&& f) {
  for (int l = 0; l < W * K; ++l)
    if (m.lane(l)) b.set_lane(l, f(a.lane(l), b.lane(l)));
  return b;
}

}  // namespace cxmath::lanes
