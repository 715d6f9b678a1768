#include "probe.hpp"
#include "cxmath/incomplete_beta.hpp"

PROBE(k_incomplete_beta, "d:ddd") double k_incomplete_beta(double a, double b, double z) {
  return cxmath::incomplete_beta(a, b, z);
}
PROBE(k_incomplete_beta_inv, "d:ddd") double k_incomplete_beta_inv(double a, double b, double p) {
  return cxmath::incomplete_beta_inv(a, b, p);
}
PROBE(k_incomplete_beta_inv_full, "d:ddd") double k_incomplete_beta_inv_full(double a, double b, double p) {
  return cxmath::incomplete_beta_inv_full(a, b, p);
}
// The continued-fraction core alone, B(a, b, z) = z^a (1-z)^b / (a B(a, b))
// times the fraction, without the choice of tail.
PROBE(k_incomplete_beta_cf, "d:ddd") double k_incomplete_beta_cf(double a, double b, double z) {
  return cxmath::detail::incomplete_beta_cf(a, b, z);
}
