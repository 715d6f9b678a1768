// The element loop of a family kernel compiled once per instruction set,
// and runner<Kernel>(), which picks the one in use (lanes.hpp).  Included
// by the files that instantiate the loops of the density, CDF and quantile
// kernels (lanes_density.cpp, lanes_cdf.cpp, lanes_quantile.cpp), so that
// the three compile side by side.
#pragma once

#include "module/lanes.hpp"

namespace distmill::lanes {

namespace loops {

using cxmath::lanes::Isa;
using cxmath::lanes::pack_t;

// One function per instruction set.  Those for AVX2 and AVX-512
// carry the target attribute; the kernels are inlined into them.
template <class Kernel>
void run_scalar(Blocks& b, typename Kernel::Scalar f) {
  run<Kernel, double>(b, f);
}

#if DISTMILL_LANES_X86
template <class Kernel>
void run_sse2(Blocks& b, typename Kernel::Scalar f) {
  run<Kernel, pack_t<Isa::sse2>>(b, f);
}
template <class Kernel>
DISTMILL_TARGET_AVX2 void run_avx2(Blocks& b, typename Kernel::Scalar f) {
  run<Kernel, pack_t<Isa::avx2>>(b, f);
}
template <class Kernel>
DISTMILL_TARGET_AVX512 void run_avx512(Blocks& b, typename Kernel::Scalar f) {
  run<Kernel, pack_t<Isa::avx512>>(b, f);
}
#endif

}  // namespace loops

template <class Kernel>
Runner<typename Kernel::Scalar> runner() {
  using cxmath::lanes::Isa;
  if (!enabled()) return {};
  switch (isa()) {
#if DISTMILL_LANES_X86
    case Isa::sse2:
      return {loops::run_sse2<Kernel>};
    case Isa::avx2:
      return {loops::run_avx2<Kernel>};
    case Isa::avx512:
      return {loops::run_avx512<Kernel>};
#endif
    default:
      return {loops::run_scalar<Kernel>};
  }
}

}  // namespace distmill::lanes
