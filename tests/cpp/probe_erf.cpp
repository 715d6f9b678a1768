#include "probe.hpp"
#include "cxmath/erf.hpp"
#include "cxmath/extended.hpp"
#include "dists/lnorm.hpp"

namespace {
// An extended value split into two doubles whose sum is exactly the value
// (a 64-bit significand fits in two 53-bit ones).
double hi(cxmath::ext v) { return static_cast<double>(v); }
double lo(cxmath::ext v) { return static_cast<double>(v - hi(v)); }
}  // namespace

PROBE(k_erf, "d:d") double k_erf(double x) { return cxmath::erf(x); }
PROBE(k_erf_ext_hi, "d:d") double k_erf_ext_hi(double z) { return hi(cxmath::erf_ext(z)); }
PROBE(k_erf_ext_lo, "d:d") double k_erf_ext_lo(double z) { return lo(cxmath::erf_ext(z)); }
// ln erfc of the converged toolbox (finite where erfc underflows).
PROBE(k_log_erfc_hi, "d:d") double k_log_erfc_hi(double u) { return hi(cxmath::xp::log_erfc(u)); }
PROBE(k_log_erfc_lo, "d:d") double k_log_erfc_lo(double u) { return lo(cxmath::xp::log_erfc(u)); }
// 1 - erf_ext(z) in extended, as the lower tail of the normal CDF forms it.
PROBE(k_erfc_ext_hi, "d:d") double k_erfc_ext_hi(double z) { return hi(1 - cxmath::erf_ext(z)); }
PROBE(k_erfc_ext_lo, "d:d") double k_erfc_ext_lo(double z) { return lo(1 - cxmath::erf_ext(z)); }
// The same for an extended argument passed as hi + lo.
PROBE(k_erf_ext2_hi, "d:dd") double k_erf_ext2_hi(double zh, double zl) {
  return hi(cxmath::erf_ext(cxmath::ext(zh) + zl));
}
PROBE(k_erf_ext2_lo, "d:dd") double k_erf_ext2_lo(double zh, double zl) {
  return lo(cxmath::erf_ext(cxmath::ext(zh) + zl));
}
PROBE(k_erf_inv, "d:d") double k_erf_inv(double y) { return cxmath::erf_inv(y); }
PROBE(k_erf_inv_full, "d:d") double k_erf_inv_full(double y) { return cxmath::erf_inv_full(y); }
PROBE(k_erf_inv_guess, "d:d") double k_erf_inv_guess(double y) { return cxmath::detail::erf_inv_guess(y); }

// Compile-time and run-time evaluation must agree to the bit: the constant
// folding of the extended arithmetic and the x87 unit at run time.
namespace {
bool same_bits(double a, double b) {
  return (a == b && __builtin_signbit(a) == __builtin_signbit(b)) || (a != a && b != b);
}
volatile double v_half = 0.5, v_2p5 = 2.5, v_03 = 0.3, v_m7 = -7.0, v_m1p3 = -1.3, v_0999 = 0.999;
}  // namespace

PROBE(k_constexpr_agrees, "b:") bool k_constexpr_agrees() {
  constexpr double c1 = cxmath::erf(0.5), c2 = cxmath::erf(2.5), c3 = cxmath::erf_inv(0.3);
  constexpr double c4 = distmill::pnorm(-7.0, 0, 1, false), c5 = distmill::pnorm(-1.3, 0, 1, true);
  constexpr double c6 = distmill::qnorm(0.999, 0, 1), c7 = static_cast<double>(cxmath::erf_ext(cxmath::ext(2.5)));
  return same_bits(c1, cxmath::erf(v_half)) && same_bits(c2, cxmath::erf(v_2p5)) &&
         same_bits(c3, cxmath::erf_inv(v_03)) &&
         same_bits(c4, distmill::pnorm(v_m7, 0, 1, false)) &&
         same_bits(c5, distmill::pnorm(v_m1p3, 0, 1, true)) &&
         same_bits(c6, distmill::qnorm(v_0999, 0, 1)) &&
         same_bits(c7, static_cast<double>(cxmath::erf_ext(cxmath::ext(v_2p5))));
}
