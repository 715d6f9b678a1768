// The checked incomplete gamma functions and the fixed-depth distribution
// functions they replace, for comparisons with the module's results.
#include "probe.hpp"
#include "cxmath/agreement.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_converged.hpp"
#include "dists/binom.hpp"
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/pois.hpp"

// P(a, z), Q(a, z) = 1 - P and the inverse through the agreement rule
// (a >= 0, z and p not NaN).
PROBE(kc_incomplete_gamma, "d:dd") double kc_incomplete_gamma(double a, double z) {
  const double P = cxmath::incomplete_gamma(a, z);
  return cxmath::keep_probability<true>(P, false, cxmath::incomplete_gamma_region(a, z, P),
                                        [&] { return cxmath::incomplete_gamma_converged(a, z).P; });
}
PROBE(kc_incomplete_gamma_upper, "d:dd") double kc_incomplete_gamma_upper(double a, double z) {
  const double P = cxmath::incomplete_gamma(a, z);
  return cxmath::keep_probability<true>(1 - P, false, P > 0.9 || cxmath::incomplete_gamma_region(a, z, 1 - P),
                                        [&] { return cxmath::incomplete_gamma_converged(a, z).Q; });
}
PROBE(kc_incomplete_gamma_inv, "d:dd") double kc_incomplete_gamma_inv(double a, double p) {
  const double x = cxmath::incomplete_gamma_inv(a, p);
  if (!(p > 0 && p < 1) || !(a > 0 && a < cxmath::INF)) return x;
  return cxmath::keep_quantile<true>(x, p, 1 - p, cxmath::incomplete_gamma_inv_region(a, x),
                                     [&](double v) { return cxmath::incomplete_gamma_tails(a, v); },
                                     [&] { return cxmath::incomplete_gamma_inv_converged(a, p, 1 - p, x); });
}
PROBE(kc_may_fail, "b:dd") bool kc_may_fail(double a, double z) { return cxmath::incomplete_gamma_region(a, z); }

PROBE(kf_pgamma, "d:dddb") double kf_pgamma(double x, double k, double s, bool lg) {
  return distmill::detail::pgamma<false>(x, k, s, lg);
}
PROBE(kf_qgamma, "d:ddd") double kf_qgamma(double p, double k, double s) {
  return distmill::detail::qgamma<false>(p, k, s);
}
PROBE(kf_pchisq, "d:ddb") double kf_pchisq(double x, double nu, bool lg) {
  return distmill::detail::pchisq<false>(x, nu, lg);
}
PROBE(kf_qchisq, "d:dd") double kf_qchisq(double p, double nu) {
  return distmill::detail::qchisq<false>(p, nu);
}
PROBE(kf_pinvgamma, "d:dddb") double kf_pinvgamma(double x, double k, double s, bool lg) {
  return distmill::detail::pinvgamma<false>(x, k, s, lg);
}
PROBE(kf_qinvgamma, "d:ddd") double kf_qinvgamma(double p, double k, double s) {
  return distmill::detail::qinvgamma<false>(p, k, s);
}
PROBE(kf_ppois, "d:idb") double kf_ppois(std::int64_t x, double rate, bool lg) {
  return distmill::detail::ppois<false>(x, rate, lg);
}
PROBE(kf_qpois, "d:dd") double kf_qpois(double p, double rate) {
  return distmill::detail::qpois<false>(p, rate);
}
PROBE(kf_pbinom, "d:iidb") double kf_pbinom(std::int64_t x, std::int64_t n, double prob, bool lg) {
  return distmill::detail::pbinom<false>(x, n, prob, lg);
}
// The infinite-df F branches as the fixed-depth methods form them.
PROBE(kf_pf_inf_df1, "d:dd") double kf_pf_inf_df1(double x, double df2) {
  return 1 - distmill::detail::pchisq<false>(df2 / x, df2, false);
}
PROBE(kf_qf_inf_df1, "d:dd") double kf_qf_inf_df1(double p, double df2) {
  return df2 / distmill::detail::qchisq<false>(1 - p, df2);
}
PROBE(kf_dgamma, "d:dddb") double kf_dgamma(double x, double k, double s, bool lg) {
  return distmill::detail::dgamma<false>(x, k, s, lg);
}
PROBE(kf_dinvgamma, "d:dddb") double kf_dinvgamma(double x, double k, double s, bool lg) {
  return distmill::detail::dinvgamma<false>(x, k, s, lg);
}
PROBE(kf_dchisq, "d:ddb") double kf_dchisq(double x, double nu, bool lg) {
  return distmill::detail::dchisq<false>(x, nu, lg);
}
