// Full-precision views of the extended kernels.  A Python float holds a
// double only, so each extended result is split into two doubles:
// part 0 is the value rounded to double, part 1 the exact remainder (a
// 64-bit significand always fits in hi + lo).  Arguments are likewise taken
// as an exact sum hi + lo, so extended points such as the extended pi/2 can
// be reached.
#include "probe.hpp"
#include <array>

#include "cxmath/elementary.hpp"
#include "cxmath/ext_pair.hpp"
#include "cxmath/incomplete_beta_converged.hpp"
#include "cxmath/incomplete_gamma_converged.hpp"

namespace {

double part_of(cxmath::ext v, std::int64_t part) {
  const double hi = static_cast<double>(v);
  if (part == 0) return hi;
  // An infinite or NaN value has no remainder.
  if (!(hi - hi == 0)) return 0.0;
  return static_cast<double>(v - hi);
}

cxmath::ext ext_arg(double hi, double lo) {
  return cxmath::ext(hi) + lo;
}

}  // namespace

PROBE(k_tan_part, "d:ddi")
double k_tan_part(double hi, double lo, std::int64_t part) {
  return part_of(cxmath::tan(ext_arg(hi, lo)), part);
}

PROBE(k_exp_ext_part, "d:ddi")
double k_exp_ext_part(double hi, double lo, std::int64_t part) {
  return part_of(cxmath::exp_ext(ext_arg(hi, lo)), part);
}

// ln x to twice the extended precision: parts 0 and 1 split the pair's
// head, 2 and 3 its tail.
PROBE(k_log_pair_part, "d:di")
double k_log_pair_part(double x, std::int64_t part) {
  const cxmath::xp::ext_pair L = cxmath::xp::log_pair(x);
  return part_of(part < 2 ? L.hi : L.lo, part % 2);
}

PROBE(k_exp_integer_part, "d:ii")
double k_exp_integer_part(std::int64_t n, std::int64_t part) {
  return part_of(cxmath::exp_integer(n), part);
}

// Compile-time and run-time evaluation must give the same bits: the
// kernels are evaluated once as constant expressions and once on arguments
// the compiler cannot see through.  Returns the number of disagreements.
namespace {

template <std::size_t N, class F>
constexpr std::array<cxmath::ext, N> fold(const std::array<double, N>& args, F f) {
  std::array<cxmath::ext, N> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = f(args[i]);
  return out;
}

template <std::size_t N, class F>
int disagreements(const std::array<double, N>& args, const std::array<cxmath::ext, N>& folded, F f) {
  int bad = 0;
  for (std::size_t i = 0; i < N; ++i) {
    volatile double v = args[i];
    const cxmath::ext run = f(v);
    const cxmath::ext c = folded[i];
    if (!(run == c || (run != run && c != c))) ++bad;
  }
  return bad;
}

// Arguments chosen inside every path of each kernel and away from overflow
// (which the compiler does not fold).
#define AGREE(F, ...)                                                   \
  [] {                                                                  \
    constexpr auto f = F;                                               \
    static constexpr std::array a{__VA_ARGS__};                         \
    static constexpr auto c = fold(a, f);                               \
    return disagreements(a, c, f);                                      \
  }()

}  // namespace

PROBE(k_compile_time_disagreements, "i:")
std::int64_t k_compile_time_disagreements() {
  using L = cxmath::ext;
  return AGREE([](double x) -> L { return cxmath::log(x); },
               1e-300, 0x1p-52, 0.3, 0.5, 0.999, 1.5, 2.5, 7.25, 1e10, 1e300) +
         AGREE([](double x) -> L { return cxmath::exp(x); },
               -700.0, -2.3, -1.9, -0.5, 1e-17, 0.7, 1.99, 2.5, 40.3, 700.0) +
         AGREE([](double x) -> L { return cxmath::exp_ext(x); },
               -700.0, -2.3, -0.5, 0.7, 2.5, 40.3, 700.0) +
         AGREE([](double x) -> L { return cxmath::exp_integer(static_cast<std::int64_t>(x)); },
               -700.0, -5.0, 4.0, 63.0, 700.0) +
         AGREE([](double x) -> L { return cxmath::pow(x, 0.37); }, 1e-10, 0.3, 2.5, 1e300) +
         AGREE([](double x) -> L { return cxmath::expm1(x); }, -3.0, -1e-4, 2e-5, 0.3, 5.0) +
         AGREE([](double x) -> L { return cxmath::log1p(x); }, -0.5, -1e-4, 2e-5, 0.3, 5.0) +
         AGREE([](double x) -> L { return cxmath::sqrt(x); }, 1e-10, 0.3, 2.0, 17.0, 1e300) +
         AGREE([](double x) -> L { return cxmath::tan(x); },
               -10.0, -1.0, 0.3, 1.2, 1.5, 1.57, 1.59, 3.0, 10.0, 1e6) +
         AGREE([](double x) -> L { return cxmath::atan(x); },
               -1e10, -2.0, 0.3, 0.7, 1.2, 1.7, 2.2, 2.5, 3.5, 30.0, 1e5, 1e50) +
         AGREE([](double x) -> L { return cxmath::tanh_cf(x); }, -3.0, 0.5, 20.0, 1e4) +
         AGREE([](double x) -> L { return cxmath::ipow(7, x); }, -3.0, 0.5, 1.1, 20.0);
}

// The remembered shape terms of the converged forms against the same terms
// computed afresh, over n calls whose arguments come from a small pool (so
// that they repeat, alternate between more sets than are remembered, differ
// in one argument only, and include 0, -0 and NaN): the number of calls
// whose bits differ.
PROBE(k_remembered_mismatches, "i:ii")
std::int64_t k_remembered_mismatches(std::int64_t n, std::int64_t seed) {
  using cxmath::ext;
  namespace cd = cxmath::detail;
  constexpr double pool[] = {2.5, 0.5, 3.5, 0.0, -0.0, 1e-300, 7.0, 2.5000000000000004, 11.9, __builtin_nan("")};
  constexpr int P = sizeof pool / sizeof pool[0];
  const auto same = [](ext x, ext y) {
    const double a[2] = {part_of(x, 0), part_of(x, 1)}, b[2] = {part_of(y, 0), part_of(y, 1)};
    return __builtin_memcmp(a, b, sizeof a) == 0;
  };
  std::uint64_t r = static_cast<std::uint64_t>(seed) * 0x9e3779b97f4a7c15u + 1;
  const auto pick = [&] {
    r = r * 6364136223846793005u + 1442695040888963407u;
    return pool[(r >> 33) % (r >> 62 == 0 ? P : 3)];  // mostly the first three
  };
  std::int64_t bad = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    const double a = pick(), b = pick();
    bad += !same(cd::lgamma1p(a), cd::lgamma1p_direct(a));
    bad += !same(cxmath::xp::remembered<cd::beta_front_shapes_direct>(ext(a), ext(b)),
                 cd::beta_front_shapes_direct(ext(a), ext(b)));
    if (a > 0 && b > 0 && i % 16 == 0)
      bad += !same(cxmath::xp::remembered<cd::beta_half_lower_direct>(a, b), cd::beta_half_lower_direct(a, b));
  }
  return bad;
}
