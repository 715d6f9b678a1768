// Each family kernel's element loop compiled once per instruction set, and
// the choice among them when the module loads (lanes.hpp).
#include "module/lanes.hpp"

#include <cstdlib>
#include <cstring>

#include "dists/lanes/exp.hpp"
#include "dists/lanes/gamma.hpp"
#include "dists/lanes/gamma_cdf.hpp"
#include "dists/lanes/lnorm.hpp"
#include "dists/lanes/norm.hpp"
#include "dists/lanes/unif.hpp"
#include "dists/lanes/laplace.hpp"
#include "dists/lanes/logis.hpp"
#include "dists/lanes/weibull.hpp"
#include "dists/lanes/beta.hpp"
#include "dists/lanes/t.hpp"
#include "dists/lanes/f.hpp"
#include "dists/lanes/pois.hpp"
#include "dists/lanes/binom.hpp"
#include "dists/lanes/bern.hpp"
#include "dists/lanes/beta_cdf.hpp"

namespace distmill::lanes {

namespace {

using cxmath::lanes::Isa;
using cxmath::lanes::pack_t;

struct Mode {
  bool on;
  Isa isa;
};

// DISTMILL_LANES, read once.  Without it: AVX2 where the processor has it.
// AVX-512 is used only when asked for: the kernels are bound by division,
// whose throughput per element is no better in 512-bit registers (measured
// 20% slower than AVX2 on an AMD EPYC, where 512-bit operations are split
// in two), and the elements handed to the scalar function cost more in
// wider groups.  A name the processor lacks, or no name, gives the default.
Mode chosen() {
  static const Mode mode = [] {
    const Isa widest = cxmath::lanes::widest_supported();
    const Isa fallback = widest > Isa::avx2 ? Isa::avx2 : widest;
    const char* want = std::getenv("DISTMILL_LANES");
    if (want == nullptr || *want == '\0') return Mode{true, fallback};
    if (std::strcmp(want, "off") == 0) return Mode{false, fallback};
    for (int i = 0; i <= static_cast<int>(widest); ++i)
      if (std::strcmp(want, cxmath::lanes::ISA_NAMES[i]) == 0) return Mode{true, static_cast<Isa>(i)};
    return Mode{true, fallback};
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
template Runner<Dunif::Scalar> runner<Dunif>();
template Runner<Punif::Scalar> runner<Punif>();
template Runner<Qunif::Scalar> runner<Qunif>();
template Runner<Dlaplace::Scalar> runner<Dlaplace>();
template Runner<Plaplace::Scalar> runner<Plaplace>();
template Runner<Qlaplace::Scalar> runner<Qlaplace>();
template Runner<Dlogis::Scalar> runner<Dlogis>();
template Runner<Plogis::Scalar> runner<Plogis>();
template Runner<Qlogis::Scalar> runner<Qlogis>();
template Runner<Pexp::Scalar> runner<Pexp>();
template Runner<Qexp::Scalar> runner<Qexp>();
template Runner<Dweibull::Scalar> runner<Dweibull>();
template Runner<Pweibull::Scalar> runner<Pweibull>();
template Runner<Qweibull::Scalar> runner<Qweibull>();
template Runner<Dchisq::Scalar> runner<Dchisq>();
template Runner<Dinvgamma::Scalar> runner<Dinvgamma>();
template Runner<Pgamma::Scalar> runner<Pgamma>();
template Runner<Pchisq::Scalar> runner<Pchisq>();
template Runner<Dbeta::Scalar> runner<Dbeta>();
template Runner<Dt::Scalar> runner<Dt>();
template Runner<Df::Scalar> runner<Df>();
template Runner<Dpois::Scalar> runner<Dpois>();
template Runner<Dbinom::Scalar> runner<Dbinom>();
template Runner<Dbern::Scalar> runner<Dbern>();
template Runner<Pbeta::Scalar> runner<Pbeta>();
template Runner<Pt::Scalar> runner<Pt>();
template Runner<Pf::Scalar> runner<Pf>();
template Runner<Ppois::Scalar> runner<Ppois>();
template Runner<Pbinom::Scalar> runner<Pbinom>();
template Runner<Pbern::Scalar> runner<Pbern>();

}  // namespace distmill::lanes
