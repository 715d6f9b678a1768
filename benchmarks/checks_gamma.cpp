// Cost of the checked incomplete gamma kernels: the fixed-depth kernels
// alone against the checked ones (which add the region test, and in the
// regions where the fixed-depth methods can fail one converged evaluation)
// and the converged evaluation alone, per region.  Compiled and run by
// benchmarks/checks.py.  Each figure is the best of 15 runs of a loop over
// 2000 prepared arguments, in nanoseconds per call.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>
#include "dists/gamma.hpp"
#include "dists/pois.hpp"

using Clock = std::chrono::steady_clock;
volatile double sink;

template <class F>
double once_ns(F f, const std::vector<double>& a, const std::vector<double>& b) {
  const auto t0 = Clock::now();
  double s = 0;
  for (std::size_t i = 0; i < a.size(); ++i) s += f(a[i], b[i]);
  sink = s;
  return std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / a.size();
}

template <class F>
double best_ns(F f, const std::vector<double>& a, const std::vector<double>& b) {
  double best = 1e300;
  for (int rep = 0; rep < 15; ++rep) best = std::min(best, once_ns(f, a, b));
  return best;
}

struct Args { std::vector<double> a, b; };

template <class G>
Args make(G g) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  Args r;
  for (int i = 0; i < 2000; ++i) {
    double x, y;
    g(u(rng), u(rng), x, y);
    r.a.push_back(x);
    r.b.push_back(y);
  }
  return r;
}

double P_fixed(double a, double z) { return cxmath::incomplete_gamma(a, z); }
double P_checked(double a, double z) { return distmill::pgamma(z, a, 1.0, false); }
double P_sound(double a, double z) { return cxmath::incomplete_gamma_converged(a, z).P; }
double I_fixed(double a, double p) { return cxmath::incomplete_gamma_inv(a, p); }
double I_checked(double a, double p) { return distmill::qgamma(p, a, 1.0); }
double I_sound(double a, double p) { return cxmath::incomplete_gamma_inv_converged(a, p, 1 - p, -1); }
double Qp_fixed(double p, double l) { return distmill::detail::qpois<false>(p, l); }
double Qp(double p, double l) { return distmill::qpois(p, l); }

// The three functions are timed in turn, 15 rounds, best of each: the
// rounds spread the load of a shared machine evenly over them.
void row(const char* label, const Args& x, double (*f)(double, double), double (*c)(double, double),
         double (*s)(double, double)) {
  double bf = 1e300, bc = 1e300, bs = 1e300;
  for (int rep = 0; rep < 15; ++rep) {
    bf = std::min(bf, once_ns(f, x.a, x.b));
    bc = std::min(bc, once_ns(c, x.a, x.b));
    bs = std::min(bs, once_ns(s, x.a, x.b));
  }
  std::printf("| %s | %.0f | %.0f | %.0f |\n", label, bf, bc, bs);
}

int main() {
  std::printf("| forward P(a, z) | fixed-depth | checked | converged alone |\n|---|---:|---:|---:|\n");
  row("a in [0.5, 10), z in [0.1a, 1.5a] (not checked)",
      make([](double u, double v, double& a, double& z) { a = 0.5 + 9.5 * u; z = a * (0.1 + 1.4 * v); }),
      P_fixed, P_checked, P_sound);
  row("a in [10, 300], z within 1.5 sd below the mode (not checked)",
      make([](double u, double v, double& a, double& z) { a = 31 + 269 * u; z = a - 1.5 * v * cxmath::sqrt(a); }),
      P_fixed, P_checked, P_sound);
  row("a in [0.5, 10), z in [2a + 3, 20a + 30] (checked: series/fraction)",
      make([](double u, double v, double& a, double& z) { a = 0.5 + 9.5 * u; z = 2 * a + 3 + (18 * a + 27) * v; }),
      P_fixed, P_checked, P_sound);
  row("a in [1e-3, 0.05), z in [1e-3, 1.5] (checked: small-shape form)",
      make([](double u, double v, double& a, double& z) { a = 1e-3 + 0.049 * u; z = 1e-3 + 1.5 * v; }),
      P_fixed, P_checked, P_sound);
  row("a in [12, 2000], z 2 to 6 sd above (checked: expansion)",
      make([](double u, double v, double& a, double& z) { a = 12 + 1988 * u; z = a + (2 + 4 * v) * cxmath::sqrt(a); }),
      P_fixed, P_checked, P_sound);
  row("a in [1e5, 1e12], z within 5 sd (checked: expansion)",
      make([](double u, double v, double& a, double& z) { a = 1e5 * cxmath::exp(u * 16.1); z = a + (10 * v - 5) * cxmath::sqrt(a); }),
      P_fixed, P_checked, P_sound);
  std::printf("\n| inverse x(a, p) | fixed-depth | checked | converged alone |\n|---|---:|---:|---:|\n");
  row("a in [1.5, 10), p in [0.1, 0.9] (not checked)",
      make([](double u, double v, double& a, double& p) { a = 1.5 + 8.5 * u; p = 0.1 + 0.8 * v; }),
      I_fixed, I_checked, I_sound);
  row("a in [1.5, 10), 1 - p in [1e-12, 1e-3] (checked)",
      make([](double u, double v, double& a, double& p) { a = 1.5 + 8.5 * u; p = 1 - cxmath::exp(-6.9 - 20.7 * v); }),
      I_fixed, I_checked, I_sound);
  row("a in [0.05, 1], p in [1e-200, 1e-5] (checked)",
      make([](double u, double v, double& a, double& p) { a = 0.05 + 0.95 * u; p = cxmath::exp(-11.5 - 449 * v); }),
      I_fixed, I_checked, I_sound);
  std::printf("\n| qpois(p, rate) | fixed-depth search | checked | |\n|---|---:|---:|---:|\n");
  const Args pm = make([](double u, double v, double& p, double& l) { p = 0.1 + 0.8 * u; l = 11 + 989 * v; });
  std::printf("| rate in [11, 1000], p in [0.1, 0.9] | %.0f | %.0f | |\n", best_ns(Qp_fixed, pm.a, pm.b), best_ns(Qp, pm.a, pm.b));
  const Args pt = make([](double u, double v, double& p, double& l) { p = 1 - 1e-3 * u; l = 11 + 989 * v; });
  std::printf("| rate in [11, 1000], p in [1 - 1e-3, 1] | %.0f | %.0f | |\n", best_ns(Qp_fixed, pt.a, pt.b), best_ns(Qp, pt.a, pt.b));
  const Args ph = make([](double u, double v, double& p, double& l) { p = u; l = 1e8 * cxmath::exp(v * 690); });
  std::printf("| rate in [1e8, 1e308], p in (0, 1) (converged search only) | - | %.0f | |\n", best_ns(Qp, ph.a, ph.b));
  return 0;
}
