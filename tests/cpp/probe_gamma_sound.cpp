// The converged incomplete gamma evaluation and its inverse, and the
// checked kernels that choose between them and the fixed-depth ones.
#include "probe.hpp"
#include "cxmath/incomplete_gamma_sound.hpp"

PROBE(ks_gamma_p, "d:dd") double ks_gamma_p(double a, double x) {
  return cxmath::incomplete_gamma_sound(a, x).P;
}
PROBE(ks_gamma_q, "d:dd") double ks_gamma_q(double a, double x) {
  return cxmath::incomplete_gamma_sound(a, x).Q;
}
PROBE(ks_gamma_xg, "d:dd") double ks_gamma_xg(double a, double x) {
  return cxmath::incomplete_gamma_sound(a, x).xg;
}
PROBE(ks_gamma_inv, "d:dddd") double ks_gamma_inv(double a, double p, double q, double start) {
  return cxmath::incomplete_gamma_inv_sound(a, p, q, start);
}
PROBE(ks_gamma_count_q, "d:dd") double ks_gamma_count_q(double n, double x) {
  return cxmath::incomplete_gamma_sound_count(n, x).Q;
}
