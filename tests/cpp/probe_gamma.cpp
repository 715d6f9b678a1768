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

// The stored 80-bit table entries, bit for bit (ctypes would round a long
// double to a Python float): part 0 is the 64-bit significand, part 1 the
// sign and biased exponent.  table 0 = nodes, 1 = weights.
PROBE(k_gl50_bits, "i:iii")
std::int64_t k_gl50_bits(std::int64_t table, std::int64_t i, std::int64_t part) {
  const long double v = table == 0 ? cxmath::gl50_nodes[i] : cxmath::gl50_weights[i];
  unsigned char raw[sizeof(long double)] = {};
  std::memcpy(raw, &v, sizeof v);
  std::int64_t out = 0;
  if (part == 0) {
    std::uint64_t m = 0;
    std::memcpy(&m, raw, 8);
    std::memcpy(&out, &m, 8);
  } else {
    std::uint16_t se = 0;
    std::memcpy(&se, raw + 8, 2);
    out = se;
  }
  return out;
}
