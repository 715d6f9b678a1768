// The checked incomplete gamma kernels and the fixed-depth distribution
// functions they replace, for comparisons with the module's results.
#include "probe.hpp"
#include "cxmath/incomplete_gamma_checked.hpp"
#include "dists/binom.hpp"
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/pois.hpp"

PROBE(kc_incomplete_gamma, "d:dd") double kc_incomplete_gamma(double a, double z) {
  return cxmath::incomplete_gamma_checked(a, z);
}
PROBE(kc_incomplete_gamma_upper, "d:dd") double kc_incomplete_gamma_upper(double a, double z) {
  return cxmath::incomplete_gamma_upper_checked(a, z);
}
PROBE(kc_incomplete_gamma_inv, "d:dd") double kc_incomplete_gamma_inv(double a, double p) {
  return cxmath::incomplete_gamma_inv_checked(a, p);
}
PROBE(kc_may_fail, "b:dd") bool kc_may_fail(double a, double z) {
  return cxmath::incomplete_gamma_may_fail(a, z);
}

PROBE(kf_pgamma, "d:dddb") double kf_pgamma(double x, double k, double s, bool lg) {
  return distmill::detail::pgamma_fixed(x, k, s, lg);
}
PROBE(kf_qgamma, "d:ddd") double kf_qgamma(double p, double k, double s) {
  return distmill::detail::qgamma_fixed(p, k, s);
}
PROBE(kf_pchisq, "d:ddb") double kf_pchisq(double x, double nu, bool lg) {
  return distmill::detail::pchisq_fixed(x, nu, lg);
}
PROBE(kf_qchisq, "d:dd") double kf_qchisq(double p, double nu) {
  return distmill::detail::qchisq_fixed(p, nu);
}
PROBE(kf_pinvgamma, "d:dddb") double kf_pinvgamma(double x, double k, double s, bool lg) {
  return distmill::detail::pinvgamma_fixed(x, k, s, lg);
}
PROBE(kf_qinvgamma, "d:ddd") double kf_qinvgamma(double p, double k, double s) {
  return distmill::detail::qinvgamma_fixed(p, k, s);
}
PROBE(kf_ppois, "d:idb") double kf_ppois(std::int64_t x, double rate, bool lg) {
  return distmill::detail::ppois_fixed(x, rate, lg);
}
PROBE(kf_qpois, "d:dd") double kf_qpois(double p, double rate) {
  return distmill::detail::qpois_fixed(p, rate);
}
PROBE(kf_pbinom, "d:iidb") double kf_pbinom(std::int64_t x, std::int64_t n, double prob, bool lg) {
  return distmill::detail::pbinom_fixed(x, n, prob, lg);
}
// The infinite-df F branches as the fixed-depth methods form them.
PROBE(kf_pf_inf_df1, "d:dd") double kf_pf_inf_df1(double x, double df2) {
  return 1 - distmill::detail::pchisq_fixed(df2 / x, df2, false);
}
PROBE(kf_qf_inf_df1, "d:dd") double kf_qf_inf_df1(double p, double df2) {
  return df2 / distmill::detail::qchisq_fixed(1 - p, df2);
}
