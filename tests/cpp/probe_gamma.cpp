#include <cstring>

#include "probe.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/gl50.hpp"
#include "cxmath/incomplete_gamma.hpp"

PROBE(k_lgamma, "d:d") double k_lgamma(double x) { return cxmath::lgamma(x); }
PROBE(k_tgamma, "d:d") double k_tgamma(double x) { return cxmath::tgamma(x); }
PROBE(k_lbeta, "d:dd") double k_lbeta(double a, double b) { return cxmath::lbeta(a, b); }
PROBE(k_incomplete_gamma, "d:dd") double k_incomplete_gamma(double a, double z) {
  return cxmath::incomplete_gamma(a, z);
}
PROBE(k_incomplete_gamma_inv, "d:dd") double k_incomplete_gamma_inv(double a, double p) {
  return cxmath::incomplete_gamma_inv(a, p);
}
PROBE(k_incomplete_gamma_inv_full, "d:dd") double k_incomplete_gamma_inv_full(double a, double p) {
  return cxmath::incomplete_gamma_inv_full(a, p);
}

// The stored 80-bit table entries, bit for bit (a Python float would round
// them): part 0 is the 64-bit significand, part 1 the sign and biased
// exponent.  table 0 = nodes, 1 = weights.
PROBE(k_gl50_bits, "u:iii")
std::uint64_t k_gl50_bits(std::int64_t table, std::int64_t i, std::int64_t part) {
  const cxmath::ext v = table == 0 ? cxmath::gl50_nodes[i] : cxmath::gl50_weights[i];
  return part == 0 ? cxmath::ext_significand(v) : cxmath::ext_sign_exp(v);
}

// Compile-time and run-time evaluation must give the same bits (the
// extended steps included).  Returns the number of disagreements.
namespace {
template <double (*F)(double, double), double A, double Z>
int differs() {
  constexpr double at_compile_time = F(A, Z);
  volatile double a = A, z = Z;
  const double at_run_time = F(a, z);
  return std::memcmp(&at_compile_time, &at_run_time, sizeof(double)) != 0;
}
constexpr double lgamma2(double x, double) { return cxmath::lgamma(x); }
constexpr double tgamma2(double x, double) { return cxmath::tgamma(x); }
}  // namespace

PROBE(k_gamma_constexpr_mismatches, "i:") std::int64_t k_gamma_constexpr_mismatches() {
  return differs<lgamma2, 0.3, 0.0>() + differs<lgamma2, 1234.5, 0.0>() +
         differs<tgamma2, -2.75, 0.0>() + differs<tgamma2, 33.3, 0.0>() +
         differs<cxmath::lbeta, 0.7, 41.0>() +
         differs<cxmath::incomplete_gamma, 3.5, 2.0>() +
         differs<cxmath::incomplete_gamma, 47.0, 52.5>() +
         differs<cxmath::incomplete_gamma_inv, 0.4, 0.3>() +
         differs<cxmath::incomplete_gamma_inv, 2.5, 0.9>() +
         differs<cxmath::incomplete_gamma_inv, 120.0, 0.05>();
}
