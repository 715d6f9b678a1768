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

// Registers interleaved per pack, by instruction set.  A continued
// fraction's levels form one dependent chain (each level divides by the
// one before: ~13 cycles of latency, then the level's subtraction), while
// the divider accepts a new 2- or 4-lane division every ~4 cycles.  With
// the 16 registers of SSE2 and AVX2, four independent chains keep it busy
// where two left it idle half the time: the logarithm, whose fraction has
// no independent division beside the chain, runs 1.6 times faster, the
// densities and CDFs built on it 10-35% (the exponential's fraction, with
// a second division per level off the chain, was already bound by the
// divider).  AVX-512's 8-lane division is accepted half as often, and two
// chains already fill it (four are slower there).
inline constexpr int interleave(Isa I) { return I == Isa::avx512 ? 2 : 4; }

// The pack type of each instruction set.
template <Isa I, int K = interleave(I)>
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
template <Isa I, int K = interleave(I)>
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
