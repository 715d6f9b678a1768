// Probes of the engine primitives.  A scripted generator replays given raw
// outputs so that the conversions and the polar method's rejections can be
// checked on chosen values, and reports how many outputs were taken.
#include <cstdint>

#include "probe.hpp"
#include "random/engine.hpp"

namespace {

struct Scripted {
  using result_type = std::uint64_t;
  std::uint64_t out[4];
  int n;
  int used = 0;
  // Past the script: 2^62, i.e. -0.5 on the polar square, so a normal draw
  // always ends (s = 0.5) and the overrun shows in the count.
  std::uint64_t operator()() { return used < n ? out[used++] : (++used, std::uint64_t{1} << 62); }
};

int last_used = 0;

}  // namespace

PROBE(r_canonical, "d:u") double r_canonical(std::uint64_t x) { return distmill::canonical_from_bits(x); }

PROBE(r_uniform_open, "d:ddu") double r_uniform_open(double a, double b, std::uint64_t x) {
  Scripted g{{x}, 1};
  return distmill::uniform_open(a, b, g);
}

// k-th raw output (1-based) of an engine seeded like a Python Engine(seed).
PROBE(r_mt_output, "u:ii") std::uint64_t r_mt_output(std::int64_t seed, std::int64_t k) {
  auto e = distmill::make_engine(static_cast<std::int32_t>(seed));
  e.discard(static_cast<unsigned long long>(k - 1));
  return e();
}

PROBE(r_normal_scripted, "d:uuuu")
double r_normal_scripted(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
  Scripted g{{a, b, c, d}, 4};
  const double z = distmill::standard_normal(g);
  last_used = g.used;
  return z;
}

// Outputs taken by the last r_normal_scripted call.
PROBE(r_normal_used, "i:") std::int64_t r_normal_used() { return last_used; }
