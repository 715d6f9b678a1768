// The instruction sets the packs are compiled for, and which of them the
// processor has.
//
// Every x86-64 processor has SSE2 (the baseline the module is compiled
// for); AVX2 and AVX-512 are used where the processor and the operating
// system support them.  Each instruction set gets its own functions: those
// that call kernels on packs carry the instruction set's target attribute
// (DISTMILL_TARGET_AVX2, DISTMILL_TARGET_AVX512) and take the pack type of
// its width (pack_of); the kernels are inlined into them
// (DISTMILL_LANE_INLINE), so each is a complete compilation for its
// instruction set, chosen at run time through a function pointer.
// Neither target enables fused multiply-add, and the floating-point flags
// (-ffp-contract=off, no fast-math) hold for them as for everything else:
// every width gives the same bits.
//
// Elsewhere (other processors, other compilers) only the scalar lane type
// exists: the kernels run one value at a time.
#pragma once

#include "cxmath/lanes/pack.hpp"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define DISTMILL_LANES_X86 1
#define DISTMILL_TARGET_AVX2 [[gnu::target("avx2")]]
// AVX-512 as every processor with it since 2017 has it: the foundation,
// 64-bit integer and mask conversions (DQ), the 128/256-bit forms (VL)
// and byte/word operations (BW).
#define DISTMILL_TARGET_AVX512 [[gnu::target("avx512f,avx512dq,avx512vl,avx512bw")]]
#else
#define DISTMILL_LANES_X86 0
#endif

namespace cxmath::lanes {

// In increasing width; `scalar` is the lane type double.
enum class Isa { scalar = 0, sse2 = 1, avx2 = 2, avx512 = 3 };

inline constexpr const char* ISA_NAMES[] = {"scalar", "sse2", "avx2", "avx512"};

// Registers interleaved per pack: two independent chains of divisions per
// lane group keep the divider fed (measured: benchmarks/run.py --lanes).
inline constexpr int INTERLEAVE = 2;

// The pack type of each instruction set.
template <Isa I, int K = INTERLEAVE>
struct pack_of {
  using type = double;
};
template <int K>
struct pack_of<Isa::sse2, K> {
  using type = Pack<2, K>;
};
template <int K>
struct pack_of<Isa::avx2, K> {
  using type = Pack<4, K>;
};
template <int K>
struct pack_of<Isa::avx512, K> {
  using type = Pack<8, K>;
};
template <Isa I, int K = INTERLEAVE>
using pack_t = typename pack_of<I, K>::type;

// Can this processor (and its operating system, which must save the wider
// registers) run code compiled for I?
inline bool supported(Isa I) {
#if DISTMILL_LANES_X86
  __builtin_cpu_init();
  switch (I) {
    case Isa::scalar:
    case Isa::sse2:
      return true;
    case Isa::avx2:
      return __builtin_cpu_supports("avx2");
    case Isa::avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
  }
  return false;
#else
  return I == Isa::scalar;
#endif
}

// The widest instruction set this processor runs.
inline Isa widest_supported() {
  for (Isa I : {Isa::avx512, Isa::avx2, Isa::sse2})
    if (supported(I)) return I;
  return Isa::scalar;
}

}  // namespace cxmath::lanes
