// Cost of the checks: ns per call of the fixed-depth functions and of the
// checked ones the module exposes, on ordinary arguments (outside every
// region: the check is the region test alone), on arguments inside a region
// where the fixed-depth value agrees (one converged evaluation more), and on
// arguments where it is replaced.  Compiled and run by benchmarks/checks.py.
// The distribution headers come first: they call the cxmath kernels
// unqualified under a using-directive, which the C library's global math
// functions (pulled in by <random>) would make ambiguous.
#include "dists/beta.hpp"
#include "dists/f.hpp"
#include "dists/logis.hpp"
#include "dists/t.hpp"

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace d = distmill::detail;

struct Args {
  double u, a, b;
};

// The least of five timed passes (the machine is shared: the minimum is the
// least disturbed measurement).
template <class F>
double time_ns(const std::vector<Args>& v, F f) {
  volatile double sink = 0;
  double best = 1e300;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
    for (const Args& x : v) sink = sink + f(x);
    const auto t1 = std::chrono::steady_clock::now();
    const double ns = std::chrono::duration<double, std::nano>(t1 - t0).count() / v.size();
    if (ns < best) best = ns;
  }
  return best;
}

int main() {
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> U(0, 1);
  const int n = 4000;
  auto make = [&](auto fn) {
    std::vector<Args> v(n);
    for (auto& x : v) x = fn();
    return v;
  };
  // ordinary: shapes 1..50, points in (0.05, 0.95)
  const auto ord = make([&] { return Args{0.05 + 0.9 * U(gen), 1 + 49 * U(gen), 1 + 49 * U(gen)}; });
  // inside the beta region where the fixed-depth value agrees: shapes 1e3..3e3
  const auto big = make([&] {
    const double a = 1e3 + 2e3 * U(gen), b = 1e3 + 2e3 * U(gen);
    return Args{a / (a + b) + (U(gen) - 0.5) * 0.02, a, b};
  });
  // replaced: arguments below 2^-52 with a shape below 1
  const auto tiny = make([&] { return Args{1e-20 * (1 + U(gen)), 0.05 + 0.5 * U(gen), 2 + 5 * U(gen)}; });

  std::printf("| call | arguments | fixed-depth ns | checked ns |\n|---|---|---|---|\n");
  auto row = [](const char* call, const char* what, double f, double c) {
    std::printf("| %s | %s | %.0f | %.0f |\n", call, what, f, c);
  };
  row("pbeta", "ordinary", time_ns(ord, [](const Args& x) { return d::pbeta<false>(x.u, x.a, x.b, false); }),
      time_ns(ord, [](const Args& x) { return distmill::pbeta(x.u, x.a, x.b, false); }));
  row("pbeta", "shapes 1e3-3e3 near the mean (checked, kept)",
      time_ns(big, [](const Args& x) { return d::pbeta<false>(x.u, x.a, x.b, false); }),
      time_ns(big, [](const Args& x) { return distmill::pbeta(x.u, x.a, x.b, false); }));
  row("pbeta", "x below 2^-52 (replaced)",
      time_ns(tiny, [](const Args& x) { return d::pbeta<false>(x.u, x.a, x.b, false); }),
      time_ns(tiny, [](const Args& x) { return distmill::pbeta(x.u, x.a, x.b, false); }));
  row("qbeta", "ordinary (shapes 2..50)",
      time_ns(ord, [](const Args& x) { return d::qbeta<false>(x.u, x.a + 1, x.b + 1); }),
      time_ns(ord, [](const Args& x) { return distmill::qbeta(x.u, x.a + 1, x.b + 1); }));
  row("qbeta", "p below 1e-5 (checked or replaced)",
      time_ns(ord, [](const Args& x) { return d::qbeta<false>(x.u * 1e-6, x.a + 1, x.b + 1); }),
      time_ns(ord, [](const Args& x) { return distmill::qbeta(x.u * 1e-6, x.a + 1, x.b + 1); }));
  row("pf", "ordinary", time_ns(ord, [](const Args& x) { return d::pf<false>(4 * x.u, x.a, x.b, false); }),
      time_ns(ord, [](const Args& x) { return distmill::pf(4 * x.u, x.a, x.b, false); }));
  row("pt", "ordinary (|x| < 3.6)",
      time_ns(ord, [](const Args& x) { return d::pt<false>((x.u - 0.5) * 8, x.a, false); }),
      time_ns(ord, [](const Args& x) { return distmill::pt((x.u - 0.5) * 8, x.a, false); }));
  row("qt", "dof 1..50 (always checked)", time_ns(ord, [](const Args& x) { return d::qt<false>(x.u, x.a); }),
      time_ns(ord, [](const Args& x) { return distmill::qt(x.u, x.a); }));
  row("qt", "dof 2e3..5e4, tails >= 0.05 (exempt)",
      time_ns(ord, [](const Args& x) { return d::qt<false>(x.u, x.a * 1e3); }),
      time_ns(ord, [](const Args& x) { return distmill::qt(x.u, x.a * 1e3); }));
  row("plogis", "ordinary", time_ns(ord, [](const Args& x) { return d::plogis<false>((x.u - 0.5) * 8, 0, 1, false); }),
      time_ns(ord, [](const Args& x) { return distmill::plogis((x.u - 0.5) * 8, 0, 1, false); }));
  row("dbeta", "ordinary", time_ns(ord, [](const Args& x) { return d::dbeta<false>(x.u, x.a, x.b, false); }),
      time_ns(ord, [](const Args& x) { return distmill::dbeta(x.u, x.a, x.b, false); }));
  return 0;
}
