// Fast against plain refinement loops of the three inverse kernels, over
// many generated inputs: tails, parameter extremes, special values and
// inputs whose iterations run into NaN.  k_recurrence_run compares the two
// forms bit for bit and also classifies each input by how its plain
// iteration settles, so that the tests can see every branch of the fast
// path exercised; k_recurrence_count reads the classes of the last run.
#include <cstdint>
#include <cstring>
#include <vector>

#include "probe.hpp"
#include "cxmath/erf.hpp"
#include "cxmath/incomplete_beta.hpp"
#include "cxmath/incomplete_gamma.hpp"

namespace {

using namespace cxmath;

// splitmix64: a fixed, platform-independent stream of test inputs.
struct Rng {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }  // [0, 1)
  double sign() { return (next() & 1) ? 1.0 : -1.0; }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
};

double pow10(double e) { return __builtin_exp(e * 2.302585092994046); }

// Probabilities: the bulk, both tails down to the guards, and special values.
double gen_p(Rng& r) {
  static const double special[] = {0.0, -0.0, -0.1, 1.0, 1.1, NaN, INF, EPS, EPS * 1.5, EPS * 0.5,
                                   1 - 0x1p-53, 1 - 0x1p-52, 1 - 0x1p-51, 0.5, 1e-300, 4.9e-324};
  switch (r.below(6)) {
    case 0:
    case 1:
      return r.unit();
    case 2:
      return pow10(-300 * r.unit());
    case 3:
      return 1 - pow10(-17 * r.unit());
    case 4:
      return pow10(-16 * r.unit());
    default:
      return special[r.below(sizeof special / sizeof *special)];
  }
}

// Shapes: small, moderate and large (both incomplete-gamma branches),
// around 1 and 10, and extremes.
double gen_shape(Rng& r) {
  static const double special[] = {0.0, -1.0, NaN, INF, 1e-300, EPS, EPS * 0.5, 1e-15, 1.0,
                                   1 + EPS, 1 - EPS, 10.0, 10 - 0x1p-49, 1e10, 1e300, 4.9e-324};
  switch (r.below(7)) {
    case 0:
    case 1:
      return pow10(-3 + 4 * r.unit());
    case 2:
      return pow10(1 + 4 * r.unit());
    case 3:
      return 1 + r.sign() * pow10(-16 * r.unit());
    case 4:
      return 10 + r.sign() * pow10(-14 * r.unit());
    case 5:
      return pow10(-20 + 19 * r.unit());
    default:
      return special[r.below(sizeof special / sizeof *special)];
  }
}

double gen_y(Rng& r) {
  static const double special[] = {NaN, 0.0, -0.0, 1.0, -1.0, 1 - 0x1p-53, -(1 - 0x1p-53), 1 - 0x1p-52,
                                   -(1 - 0x1p-52), 1.5, -2.0, 4.9e-324, -4.9e-324, EPS, INF, -INF};
  switch (r.below(6)) {
    case 0:
    case 1:
      return 2 * r.unit() - 1;
    case 2:
      return r.sign() * (1 - pow10(-17 * r.unit()));
    case 3:
      return r.sign() * pow10(-320 * r.unit());
    case 4:
      return r.sign() * (1 - static_cast<double>(1 + r.below(64)) * 0x1p-53);
    default:
      return special[r.below(sizeof special / sizeof *special)];
  }
}

bool same_bits(double u, double v) { return std::memcmp(&u, &v, sizeof u) == 0; }

// How the plain iteration settles: the period of its first recurring state
// (0 if none), from states recorded along the plain loop.
int period(const std::vector<double>& xs, const std::vector<double>& Ds) {
  for (std::size_t i = 1; i < xs.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (same_bits(xs[i], xs[j]) && same_bits(Ds[i], Ds[j])) return static_cast<int>(i - j);
  return 0;
}

// Counts of the last run: 0 mismatches, 1..3 first recurrence with period
// 1, 2, >= 3, 4 no recurrence, 5 NaN results, 6 decided by a guard before
// the loop, 7 ended by a vanishing density (beta only).
std::int64_t counts[8];

void classify(int per) { ++counts[per == 0 ? 4 : per >= 3 ? 3 : per]; }

void run_erf(Rng& r) {
  const double y = gen_y(r);
  const double fast = erf_inv(y), full = erf_inv_full(y);
  if (!same_bits(fast, full)) ++counts[0];
  if (fast != fast) ++counts[5];
  double out = 0;
  if (detail::erf_inv_guard(y, out)) {
    ++counts[6];
    return;
  }
  double x = detail::erf_inv_guess(y), D = exp((-x) * x);
  std::vector<double> xs, Ds;
  for (int i = 0; i < detail::ERF_INV_STEPS; ++i) {
    xs.push_back(x);
    Ds.push_back(D);
    const double s = detail::erf_inv_step(y, x, D, erf(x));
    D = exp((-x) * x);
    x = x - s;
  }
  classify(period(xs, Ds));
}

void run_gamma(Rng& r) {
  const double a = gen_shape(r), p = gen_p(r);
  const double fast = incomplete_gamma_inv(a, p), full = incomplete_gamma_inv_full(a, p);
  if (!same_bits(fast, full)) ++counts[0];
  if (fast != fast) ++counts[5];
  double out = 0, x = 0, lg = 0;
  if (detail::incomplete_gamma_inv_start(a, p, out, x, lg)) {
    ++counts[6];
    return;
  }
  const double am1 = a - 1;
  double D = exp(((log(x) * am1) - x) - lg);
  std::vector<double> xs, Ds;
  for (int k = 0; k < detail::GAMMA_INV_STEPS; ++k) {
    xs.push_back(x);
    Ds.push_back(D);
    const double delta = detail::incomplete_gamma_inv_step(p, am1, x, D, incomplete_gamma(a, x));
    D = exp(((log(x) * am1) - x) - lg);
    x = x - delta;
  }
  classify(period(xs, Ds));
}

void run_beta(Rng& r) {
  const double a = gen_shape(r), b = gen_shape(r), p = gen_p(r);
  const double fast = incomplete_beta_inv(a, b, p), full = incomplete_beta_inv_full(a, b, p);
  if (!same_bits(fast, full)) ++counts[0];
  if (fast != fast) ++counts[5];
  double out = 0, z = 0, L = 0;
  if (detail::incomplete_beta_inv_start(a, b, p, out, z, L)) {
    ++counts[6];
    return;
  }
  double prev = z;
  std::vector<double> zs, Ds;
  for (int k = 0; k < detail::BETA_INV_STEPS; ++k) {
    const double D = detail::incomplete_beta_density(a, b, L, prev);
    if (tiny(D)) {
      ++counts[7];
      return;
    }
    zs.push_back(z);
    Ds.push_back(D);
    const double delta = detail::incomplete_beta_inv_step(a, b, p, z, D, incomplete_beta(a, b, z));
    prev = z;
    z = z - delta;
  }
  classify(period(zs, Ds));
}

}  // namespace

// kernel: 0 erf_inv, 1 incomplete_gamma_inv, 2 incomplete_beta_inv.
// Returns the number of inputs on which the two forms differ in any bit.
PROBE(k_recurrence_run, "i:iii")
std::int64_t k_recurrence_run(std::int64_t kernel, std::int64_t n, std::int64_t seed) {
  std::memset(counts, 0, sizeof counts);
  Rng r{static_cast<std::uint64_t>(seed)};
  for (std::int64_t i = 0; i < n; ++i) {
    if (kernel == 0)
      run_erf(r);
    else if (kernel == 1)
      run_gamma(r);
    else
      run_beta(r);
  }
  return counts[0];
}

PROBE(k_recurrence_count, "i:i") std::int64_t k_recurrence_count(std::int64_t what) { return counts[what]; }
