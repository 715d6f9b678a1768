// Probes of the fixed-depth forms of the closed-form families (uniform,
// exponential, Cauchy, Laplace, logistic, Weibull, normal, log-normal),
// which the module itself now checks against converged values: density
// (with the log flag), CDF and quantile.
#include "probe.hpp"
#include "dists/cauchy.hpp"
#include "dists/exp.hpp"
#include "dists/laplace.hpp"
#include "dists/lnorm.hpp"
#include "dists/logis.hpp"
#include "dists/norm.hpp"
#include "dists/unif.hpp"
#include "dists/weibull.hpp"

namespace dd = distmill::detail;

PROBE(k_dunif_fixed, "d:dddb") double k_dunif_fixed(double x, double u, double v, bool lg) {
  return dd::dunif<false>(x, u, v, lg);
}
PROBE(k_punif_fixed, "d:ddd") double k_punif_fixed(double x, double u, double v) {
  return dd::punif<false>(x, u, v, false);
}
PROBE(k_qunif_fixed, "d:ddd") double k_qunif_fixed(double p, double u, double v) { return dd::qunif<false>(p, u, v); }
PROBE(k_dcauchy_fixed, "d:dddb") double k_dcauchy_fixed(double x, double u, double v, bool lg) {
  return dd::dcauchy<false>(x, u, v, lg);
}
PROBE(k_pcauchy_fixed, "d:ddd") double k_pcauchy_fixed(double x, double u, double v) {
  return dd::pcauchy<false>(x, u, v, false);
}
PROBE(k_qcauchy_fixed, "d:ddd") double k_qcauchy_fixed(double p, double u, double v) { return dd::qcauchy<false>(p, u, v); }
PROBE(k_dlaplace_fixed, "d:dddb") double k_dlaplace_fixed(double x, double u, double v, bool lg) {
  return dd::dlaplace<false>(x, u, v, lg);
}
PROBE(k_plaplace_fixed, "d:ddd") double k_plaplace_fixed(double x, double u, double v) {
  return dd::plaplace<false>(x, u, v, false);
}
PROBE(k_qlaplace_fixed, "d:ddd") double k_qlaplace_fixed(double p, double u, double v) { return dd::qlaplace<false>(p, u, v); }
PROBE(k_dweibull_fixed, "d:dddb") double k_dweibull_fixed(double x, double u, double v, bool lg) {
  return dd::dweibull<false>(x, u, v, lg);
}
PROBE(k_pweibull_fixed, "d:ddd") double k_pweibull_fixed(double x, double u, double v) {
  return dd::pweibull<false>(x, u, v, false);
}
PROBE(k_qweibull_fixed, "d:ddd") double k_qweibull_fixed(double p, double u, double v) { return dd::qweibull<false>(p, u, v); }
PROBE(k_dnorm_fixed, "d:dddb") double k_dnorm_fixed(double x, double u, double v, bool lg) {
  return dd::dnorm<false>(x, u, v, lg);
}
PROBE(k_pnorm_fixed, "d:ddd") double k_pnorm_fixed(double x, double u, double v) {
  return dd::pnorm<false>(x, u, v, false);
}
PROBE(k_qnorm_fixed, "d:ddd") double k_qnorm_fixed(double p, double u, double v) { return dd::qnorm<false>(p, u, v); }
PROBE(k_dlnorm_fixed, "d:dddb") double k_dlnorm_fixed(double x, double u, double v, bool lg) {
  return dd::dlnorm<false>(x, u, v, lg);
}
PROBE(k_plnorm_fixed, "d:ddd") double k_plnorm_fixed(double x, double u, double v) {
  return dd::plnorm<false>(x, u, v, false);
}
PROBE(k_qlnorm_fixed, "d:ddd") double k_qlnorm_fixed(double p, double u, double v) { return dd::qlnorm<false>(p, u, v); }
PROBE(k_dlogis_fixed, "d:dddb") double k_dlogis_fixed(double x, double u, double v, bool lg) {
  return dd::dlogis<false>(x, u, v, lg);
}
PROBE(k_dexp_fixed, "d:ddb") double k_dexp_fixed(double x, double rate, bool lg) { return dd::dexp<false>(x, rate, lg); }
PROBE(k_pexp_fixed, "d:dd") double k_pexp_fixed(double x, double rate) { return dd::pexp<false>(x, rate, false); }
PROBE(k_qexp_fixed, "d:dd") double k_qexp_fixed(double p, double rate) { return dd::qexp<false>(p, rate); }

// The region flags: true where the fixed-depth value is checked against a
// converged one (the quantile flags take the fixed-depth value as it is).
PROBE(k_pcauchy_region, "b:ddd") bool k_pcauchy_region(double x, double mu, double s) {
  return dd::pcauchy_region(x, mu, s);
}
PROBE(k_qcauchy_region, "b:ddd") bool k_qcauchy_region(double p, double mu, double s) {
  return dd::qcauchy_region(p, mu, s, dd::qcauchy<false>(p, mu, s));
}
PROBE(k_plaplace_region, "b:ddd") bool k_plaplace_region(double x, double mu, double s) {
  return dd::plaplace_region(x, mu, s);
}
PROBE(k_qlaplace_region, "b:ddd") bool k_qlaplace_region(double p, double mu, double s) {
  return dd::qlaplace_region(p, mu, s, dd::qlaplace<false>(p, mu, s));
}
PROBE(k_pnorm_region, "b:ddd") bool k_pnorm_region(double x, double mu, double s) {
  return dd::pnorm_region(x, mu, s);
}
PROBE(k_qnorm_region, "b:ddd") bool k_qnorm_region(double p, double mu, double s) {
  return dd::qnorm_region(p, mu, s, dd::qnorm<false>(p, mu, s));
}
PROBE(k_plnorm_region, "b:ddd") bool k_plnorm_region(double x, double mu, double s) {
  return x > 0 && dd::plnorm_region(x, mu, s);
}
PROBE(k_qlnorm_region, "b:ddd") bool k_qlnorm_region(double p, double mu, double s) {
  const double qn = dd::qnorm<false>(p, mu, s);
  const double q = cxmath::exp(qn);
  return dd::qnorm_region(p, mu, s, qn) || !(q > 0 && q < cxmath::INF);
}
PROBE(k_pweibull_region, "b:ddd") bool k_pweibull_region(double x, double k, double s) {
  return x < cxmath::EPS ? dd::pweibull_region(x, s) : dd::pweibull_region(x, k, s, cxmath::pow(x / s, k));
}
PROBE(k_qweibull_region, "b:ddd") bool k_qweibull_region(double p, double k, double s) {
  return dd::qweibull_region(dd::qweibull<false>(p, k, s)) || k > dd::QWEIBULL_SHAPE;
}
PROBE(k_punif_region, "b:ddd") bool k_punif_region(double x, double a, double b) {
  return dd::punif_region(x, a, b);
}
PROBE(k_qunif_region, "b:ddd") bool k_qunif_region(double p, double a, double b) {
  return dd::qunif_region(p, a, b);
}
PROBE(k_qexp_region, "b:dd") bool k_qexp_region(double p, double rate) {
  return dd::qexp_region(p, rate, dd::qexp<false>(p, rate));
}
