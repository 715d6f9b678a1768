// The lanes of the module's array calls: which instruction set they use,
// chosen once when the module loads, and each family kernel's loop
// compiled for every instruction set (lanes_loops.hpp, instantiated in
// lanes_density.cpp, lanes_cdf.cpp and lanes_quantile.cpp).
//
// The choice is AVX2 where the processor has it, else the SSE2 every x86-64
// processor has (elsewhere the scalar lane type), unless the environment
// variable DISTMILL_LANES names another when the module is imported:
//   off     every element through the scalar function, one call each (the
//           element-wise loop of the functions without lanes);
//   scalar  the lane kernels one element at a time (the lane type double);
//   sse2, avx2, avx512
//           that instruction set's packs, where the processor has it (one
//           it lacks, or an unknown name, gives the default).
// Every choice gives the same bits; the module's attribute __lanes__ names
// the one in use.
#pragma once

#include "cxmath/lanes/isa.hpp"
#include "dists/lanes/block.hpp"

namespace distmill::lanes {

// The element loop of a scalar function with signature S on lanes.
template <class S>
struct Runner {
  void (*run)(Blocks&, S) = nullptr;
};

// The lanes in use: false when DISTMILL_LANES=off.
bool enabled();
// The instruction set in use (when enabled).
cxmath::lanes::Isa isa();
// "off", "scalar", "sse2", "avx2" or "avx512".
const char* mode_name();

// The loop of the kernel for the instruction set in use (none when off).
template <class Kernel>
Runner<typename Kernel::Scalar> runner();

}  // namespace distmill::lanes
