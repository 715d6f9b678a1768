// Each family kernel's element loop compiled once per instruction set, and
// the choice among them when the module loads (lanes.hpp).
#include "module/lanes.hpp"

#include <cstdlib>
#include <cstring>

#include "dists/lanes/exp.hpp"
#include "dists/lanes/gamma.hpp"
#include "dists/lanes/lnorm.hpp"
#include "dists/lanes/norm.hpp"
#include "dists/lanes/beta.hpp"
#include "dists/lanes/t.hpp"
#include "dists/lanes/f.hpp"
#include "dists/lanes/pois.hpp"
#include "dists/lanes/binom.hpp"
#include "dists/lanes/bern.hpp"

namespace distmill::lanes {

namespace {

using cxmath::lanes::Isa;
using cxmath::lanes::pack_t;

struct Mode {
  bool on;
  Isa isa;
};

// DISTMILL_LANES, read once.
Mode chosen() {
  static const Mode mode = [] {
    const Isa widest = cxmath::lanes::widest_supported();
    const char* want = std::getenv("DISTMILL_LANES");
    if (want == nullptr || *want == '\0') return Mode{true, widest};
    if (std::strcmp(want, "off") == 0) return Mode{false, widest};
    for (int i = 0; i <= static_cast<int>(widest); ++i)
      if (std::strcmp(want, cxmath::lanes::ISA_NAMES[i]) == 0) return Mode{true, static_cast<Isa>(i)};
    return Mode{true, widest};
  }();
  return mode;
}

// The loops, one function per instruction set.  Those for AVX2 and AVX-512
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

}  // namespace

bool enabled() { return chosen().on; }
Isa isa() { return chosen().isa; }
const char* mode_name() { return chosen().on ? cxmath::lanes::ISA_NAMES[static_cast<int>(isa())] : "off"; }

template <class Kernel>
Runner<typename Kernel::Scalar> runner() {
  if (!enabled()) return {};
  switch (isa()) {
#if DISTMILL_LANES_X86
    case Isa::sse2:
      return {run_sse2<Kernel>};
    case Isa::avx2:
      return {run_avx2<Kernel>};
    case Isa::avx512:
      return {run_avx512<Kernel>};
#endif
    default:
      return {run_scalar<Kernel>};
  }
}

template Runner<Dnorm::Scalar> runner<Dnorm>();
template Runner<Dexp::Scalar> runner<Dexp>();
template Runner<Dgamma::Scalar> runner<Dgamma>();
template Runner<Dlnorm::Scalar> runner<Dlnorm>();
template Runner<Dbeta::Scalar> runner<Dbeta>();
template Runner<Dt::Scalar> runner<Dt>();
template Runner<Df::Scalar> runner<Df>();
template Runner<Dpois::Scalar> runner<Dpois>();
template Runner<Dbinom::Scalar> runner<Dbinom>();
template Runner<Dbern::Scalar> runner<Dbern>();

}  // namespace distmill::lanes
