// The converged incomplete gamma evaluation and its inverse, and the
// checked kernels that choose between them and the fixed-depth ones.
#include "probe.hpp"
#include "cxmath/incomplete_gamma_converged.hpp"

PROBE(ks_gamma_p, "d:dd") double ks_gamma_p(double a, double x) {
  return cxmath::incomplete_gamma_converged(a, x).P;
}
PROBE(ks_gamma_q, "d:dd") double ks_gamma_q(double a, double x) {
  return cxmath::incomplete_gamma_converged(a, x).Q;
}
PROBE(ks_gamma_xg, "d:dd") double ks_gamma_xg(double a, double x) {
  return cxmath::incomplete_gamma_converged(a, x).xg;
}
PROBE(ks_gamma_inv, "d:dddd") double ks_gamma_inv(double a, double p, double q, double start) {
  return cxmath::incomplete_gamma_inv_converged(a, p, q, start);
}
PROBE(ks_gamma_count_q, "d:dd") double ks_gamma_count_q(double n, double x) {
  return cxmath::incomplete_gamma_converged_count(n, x).Q;
}
PROBE(ks_gamma_lnp, "d:dd") double ks_gamma_lnp(double a, double x) {
  return cxmath::incomplete_gamma_converged_log(a, x).lnP;
}
PROBE(ks_gamma_lnq, "d:dd") double ks_gamma_lnq(double a, double x) {
  return cxmath::incomplete_gamma_converged_log(a, x).lnQ;
}
PROBE(ks_gamma_count_lnq, "d:dd") double ks_gamma_count_lnq(double n, double x) {
  return cxmath::incomplete_gamma_converged_count_log(n, x).lnQ;
}
// The quantile of the gamma law of scale s (reciprocal: the inverse gamma
// law) solved in log space, from no start.
PROBE(ks_law_quantile_log, "d:ddddb") double ks_law_quantile_log(double a, double p, double q, double s, bool reciprocal) {
  return cxmath::gamma_quantile_log_space(a, p, q, cxmath::GammaScale{s, reciprocal}, -1.0);
}

// Compile-time and run-time evaluation give the same bits.  Returns the
// number of disagreements.
#include <cstring>
namespace {
template <double (*F)(double, double), double A, double Z>
int differs_converged() {
  constexpr double at_compile_time = F(A, Z);
  volatile double a = A, z = Z;
  const double at_run_time = F(a, z);
  return std::memcmp(&at_compile_time, &at_run_time, sizeof(double)) != 0;
}
constexpr double sp(double a, double x) { return cxmath::incomplete_gamma_converged(a, x).P; }
constexpr double sq(double a, double x) { return cxmath::incomplete_gamma_converged(a, x).Q; }
constexpr double si(double a, double p) { return cxmath::incomplete_gamma_inv_converged(a, p, 1 - p, -1); }
}  // namespace

PROBE(ks_constexpr_mismatches, "i:") std::int64_t ks_constexpr_mismatches() {
  return differs_converged<sp, 0.01, 0.7>() + differs_converged<sq, 3.5, 40.0>() +
         differs_converged<sp, 5.0, 2.0>() + differs_converged<sq, 150.0, 180.0>() +
         differs_converged<sp, 1e9, 1e9 - 1e5>() + differs_converged<sq, 20.0, 75.0>() +
         differs_converged<si, 2.24, 7e-8>() + differs_converged<si, 10.0, 0.999>();
}
