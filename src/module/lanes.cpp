// The choice of the lanes when the module loads (lanes.hpp); the loops
// themselves are compiled in lanes_density.cpp, lanes_cdf.cpp and
// lanes_quantile.cpp.
#include "module/lanes.hpp"

#include <cstdlib>
#include <cstring>

namespace distmill::lanes {

namespace {

using cxmath::lanes::Isa;

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

}  // namespace

bool enabled() { return chosen().on; }
Isa isa() { return chosen().isa; }
const char* mode_name() { return chosen().on ? cxmath::lanes::ISA_NAMES[static_cast<int>(isa())] : "off"; }

}  // namespace distmill::lanes
