// The long comparison of the software extended format with the x87 unit,
// and a timing of each operation in both.
//
//   g++ -std=c++20 -O2 -ffp-contract=off -Isrc tools/check/ext_check.cpp -o ext_check
//   ./ext_check [trials per operation, default 10000000] [seed, default 1]
//
// Prints one line per operation: trials, disagreements with the unit, the
// SHA-256 of the model's results (the same on every machine: compare it
// with a run on a machine without the unit) and the first disagreement.
// Exits with 1 if any operation disagreed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "digest/sha256.hpp"
#include "ext_compare.hpp"

namespace {

using ext_check::soft_ext;

#if EXT_CHECK_HAVE_X87
// Nanoseconds per operation over arrays of ordinary operands: a dependent
// chain (latency, as in a continued fraction) and independent operations
// (throughput).
template <class T, class F>
double chain_ns(const std::vector<T>& a, F f, int reps) {
  const auto t0 = std::chrono::steady_clock::now();
  T acc = a[0];
  for (int r = 0; r < reps; ++r)
    for (std::size_t i = 1; i < a.size(); ++i) acc = f(acc, a[i]);
  const auto t1 = std::chrono::steady_clock::now();
  volatile double sink = static_cast<double>(acc);
  (void)sink;
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / (double(reps) * (a.size() - 1));
}

void timing() {
  ext_check::Rng g{99};
  const std::size_t n = 4096;
  std::vector<soft_ext> s(n);
  std::vector<long double> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    // Magnitudes near 1 so that chains stay finite and normal.
    s[i] = ext_check::canon(g.next() & 1, ext_check::Rng{g.next()}.range(16383 - 2, 16383 + 2), g.next());
    x[i] = ext_check::to_x87(s[i]);
  }
  const int reps = 2000;
  std::printf("\n%-10s %12s %12s %8s   (ns per operation, dependent chain)\n", "operation", "x87", "software",
              "ratio");
  auto row = [&](const char* name, auto fs, auto fx) {
    const double ts = chain_ns(s, fs, reps), tx = chain_ns(x, fx, reps);
    std::printf("%-10s %12.2f %12.2f %8.2f\n", name, tx, ts, ts / tx);
  };
  // The chains alternate the operand's role so that they stay near 1.
  row("add", [](soft_ext a, soft_ext b) { return (a + b) * soft_ext(0.5); },
      [](long double a, long double b) { return (a + b) * 0.5L; });
  row("mul", [](soft_ext a, soft_ext b) { return a * b * soft_ext(0.75); },
      [](long double a, long double b) { return a * b * 0.75L; });
  row("div", [](soft_ext a, soft_ext b) { return b / a; }, [](long double a, long double b) { return b / a; });
  row("cf level", [](soft_ext a, soft_ext b) { return soft_ext(3) - b / (soft_ext(5) + a); },
      [](long double a, long double b) { return 3 - b / (5 + a); });
  row("to double", [](soft_ext a, soft_ext b) { return soft_ext(static_cast<double>(a + b)) * soft_ext(0.5); },
      [](long double a, long double b) { return static_cast<long double>(static_cast<double>(a + b)) * 0.5L; });
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const long long n = argc > 1 ? std::atoll(argv[1]) : 10000000;
  const unsigned long long seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  int failed = 0;
  std::printf("%-12s %10s %9s %7s %-16s %s\n", "operation", "trials", "disagree", "seconds", "results sha256",
              "first disagreement");
  for (int op = 0; op < ext_check::N_OPS; ++op) {
    char first[64] = "";
    digest::Sha256 h;
    const ext_check::Sink sink{[](void* ctx, std::uint64_t w) { static_cast<digest::Sha256*>(ctx)->update_u64(w); },
                               &h};
    const auto t0 = std::chrono::steady_clock::now();
    const long long bad = ext_check::mismatches(static_cast<ext_check::Op>(op), n, seed, first, sink);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    char count[24] = "no-unit";
    if (bad >= 0) std::snprintf(count, sizeof count, "%lld", bad);
    std::printf("%-12s %10lld %9s %7.2f %.16s %s\n", ext_check::OP_NAMES[op], n, count, secs, h.hex().c_str(), first);
    failed |= bad > 0;
  }
#if EXT_CHECK_HAVE_X87
  timing();
#endif
  return failed;
}
