// The random engine and the primitive draws every sampler is built from.
//
// The engine is the standard 64-bit Mersenne Twister, std::mt19937_64,
// seeded from a signed 32-bit seed.  On top of its raw 64-bit outputs sit
// three primitives, each with a fixed consumption of outputs so that a given
// seed and sequence of calls always yields the same values:
//   canonical_double   [0, 1)                       one output
//   uniform_open       (a, b], lower end moved in    one output
//   standard_normal    N(0, 1), polar method         an even number, >= 2
// Unlike the distribution kernels, these use the platform's log, sqrt and
// nextafter (sqrt and nextafter are exact; log must round like glibc's for
// normal draws to repeat bit for bit across platforms).
//
// The primitives are templates over the generator so that tests can feed
// them scripted outputs; the samplers themselves take std::mt19937_64.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

namespace distmill {

using Engine = std::mt19937_64;

// The seed is a signed 32-bit value, widened by sign extension: seed -1
// becomes the 64-bit seed with every bit set.  The standard seeding then
// fills the 312 state words and leaves the index at 312, so the first
// output performs a full twist.
inline Engine make_engine(std::int32_t seed) {
  return Engine(static_cast<std::uint64_t>(static_cast<std::int64_t>(seed)));
}

// Maps one raw 64-bit output to [0, 1).  The conversion to double rounds
// to nearest-even using all 64 bits; the scaling by 2^-64 is exact.  Outputs
// of 2^64 - 1024 and above round up to 2^64, i.e. to 1.0, which is replaced
// by the largest double below 1, 1 - 2^-53.
inline double canonical_from_bits(std::uint64_t x) {
  const double u = static_cast<double>(x) * 0x1p-64;
  if (u >= 1.0) return std::nextafter(1.0, 0.0);
  return u;
}

// A double in [0, 1), a multiple of 2^-64 rounded to 53 bits; one output.
template <class Gen>
inline double canonical_double(Gen& engine) {
  return canonical_from_bits(static_cast<std::uint64_t>(engine()));
}

// Uniform on the interval from a to b with the lower end moved one double
// inward, a' = nextafter(a, b): (b - a') U + a'.  For (0, 1) a' is 2^-1074,
// and 1 - a' rounds to 1, so the result is U itself unless U = 0, which
// becomes 2^-1074: the open unit uniform is never 0 and never 1.
template <class Gen>
inline double uniform_open(double a, double b, Gen& engine) {
  const double lo = std::nextafter(a, b);
  const double u = canonical_double(engine);
  return (b - lo) * u + lo;
}

// Marsaglia's polar method.  Each attempt draws a fresh pair (U1 first),
// maps it to the square [-1, 1)^2 and accepts it when the point lies in the
// closed unit disc minus the origin.  Only the y coordinate's variate is
// returned; its partner is discarded, never cached, so every call consumes
// an even number of outputs and depends on nothing but the engine.
template <class Gen>
inline double standard_normal(Gen& engine) {
  double x, y, s;
  do {
    const double u1 = canonical_double(engine);
    const double u2 = canonical_double(engine);
    x = (u1 + u1) - 1.0;
    y = (u2 + u2) - 1.0;
    s = x * x + y * y;
  } while (s > 1.0 || s == 0.0);
  return y * std::sqrt(std::log(s) * (-2.0) / s);
}

}  // namespace distmill
