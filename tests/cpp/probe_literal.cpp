// The literal fixed-depth method of every d, p and q function: the form
// `detail::X<false>`, whose keep steps return the fixed-depth value as it
// is.  The accuracy sweep (tools/accuracy/promise.py) measures these beside
// the module's checked functions: lit_<name>(x, parameters, flag) for d and
// p, lit_<name>(p, parameters) for q.
#include <cstdint>
#include <ctime>

#include "probe.hpp"
#include "dists/bern.hpp"
#include "dists/beta.hpp"
#include "dists/binom.hpp"
#include "dists/cauchy.hpp"
#include "dists/chisq.hpp"
#include "dists/exp.hpp"
#include "dists/f.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/laplace.hpp"
#include "dists/lnorm.hpp"
#include "dists/logis.hpp"
#include "dists/norm.hpp"
#include "dists/pois.hpp"
#include "dists/t.hpp"
#include "dists/unif.hpp"
#include "dists/weibull.hpp"

// A family whose function is not (yet) a template on Checked has no
// literal form apart from the function itself.  These fallbacks stand in for
// it: their first parameter needs a conversion, so a family's own
// `template <bool Checked>` overload wins whenever it exists.
namespace distmill::detail {
template <class T>
struct Loose {
  T v;
  constexpr Loose(T value) : v(value) {}
};
template <bool Checked>
constexpr double dbern(Loose<std::int64_t> x, double prob, bool lg) { return distmill::dbern(x.v, prob, lg); }
template <bool Checked>
constexpr double pbern(Loose<std::int64_t> x, double prob, bool lg) { return distmill::pbern(x.v, prob, lg); }
template <bool Checked>
constexpr double qbern(Loose<double> p, double prob) { return distmill::qbern(p.v, prob); }
template <bool Checked>
constexpr double dbinom(Loose<std::int64_t> x, std::int64_t n, double prob, bool lg) {
  return distmill::dbinom(x.v, n, prob, lg);
}
template <bool Checked>
constexpr double dpois(Loose<std::int64_t> x, double rate, bool lg) { return distmill::dpois(x.v, rate, lg); }
}  // namespace distmill::detail

namespace dd = distmill::detail;

// A limit on the processor time of one call: the summing loops of the
// discrete families tick the interrupt hook, which here gives up once the
// call has used its time; the call then returns NaN and lit_expired()
// reports it.
namespace {
std::clock_t limit = 0;
std::clock_t deadline = 0;
bool expired = false;
struct Expired {};
void check_deadline() {
  if (std::clock() > deadline) throw Expired{};
}
template <class F>
double limited(F f) {
  expired = false;
  deadline = std::clock() + limit;
  try {
    return f();
  } catch (const Expired&) {
    expired = true;
    return cxmath::NaN;
  }
}
}  // namespace

// Processor seconds each later call may take (0: no limit).
PROBE(lit_set_limit, "b:d") bool lit_set_limit(double seconds) {
  limit = static_cast<std::clock_t>(seconds * CLOCKS_PER_SEC);
  distmill::interrupt_hook = seconds > 0 ? check_deadline : nullptr;
  return true;
}
// Whether the last call ran out of time.
PROBE(lit_expired, "b:") bool lit_expired() { return expired; }

PROBE(lit_dnorm, "d:dddb") double lit_dnorm(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::dnorm<false>(x, mu, sigma, lg); });
}
PROBE(lit_pnorm, "d:dddb") double lit_pnorm(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::pnorm<false>(x, mu, sigma, lg); });
}
PROBE(lit_qnorm, "d:ddd") double lit_qnorm(double p, double mu, double sigma) {
  return limited([&] { return dd::qnorm<false>(p, mu, sigma); });
}
PROBE(lit_dbern, "d:idb") double lit_dbern(std::int64_t x, double prob, bool lg) {
  return limited([&] { return dd::dbern<false>(x, prob, lg); });
}
PROBE(lit_pbern, "d:idb") double lit_pbern(std::int64_t x, double prob, bool lg) {
  return limited([&] { return dd::pbern<false>(x, prob, lg); });
}
PROBE(lit_qbern, "d:dd") double lit_qbern(double p, double prob) {
  return limited([&] { return dd::qbern<false>(p, prob); });
}
PROBE(lit_dbeta, "d:dddb") double lit_dbeta(double x, double a, double b, bool lg) {
  return limited([&] { return dd::dbeta<false>(x, a, b, lg); });
}
PROBE(lit_pbeta, "d:dddb") double lit_pbeta(double x, double a, double b, bool lg) {
  return limited([&] { return dd::pbeta<false>(x, a, b, lg); });
}
PROBE(lit_qbeta, "d:ddd") double lit_qbeta(double p, double a, double b) {
  return limited([&] { return dd::qbeta<false>(p, a, b); });
}
PROBE(lit_dbinom, "d:iidb") double lit_dbinom(std::int64_t x, std::int64_t n_trials, double prob, bool lg) {
  return limited([&] { return dd::dbinom<false>(x, n_trials, prob, lg); });
}
PROBE(lit_pbinom, "d:iidb") double lit_pbinom(std::int64_t x, std::int64_t n_trials, double prob, bool lg) {
  return limited([&] { return dd::pbinom<false>(x, n_trials, prob, lg); });
}
PROBE(lit_qbinom, "d:did") double lit_qbinom(double p, std::int64_t n_trials, double prob) {
  return limited([&] { return dd::qbinom<false>(p, n_trials, prob); });
}
PROBE(lit_dcauchy, "d:dddb") double lit_dcauchy(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::dcauchy<false>(x, mu, sigma, lg); });
}
PROBE(lit_pcauchy, "d:dddb") double lit_pcauchy(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::pcauchy<false>(x, mu, sigma, lg); });
}
PROBE(lit_qcauchy, "d:ddd") double lit_qcauchy(double p, double mu, double sigma) {
  return limited([&] { return dd::qcauchy<false>(p, mu, sigma); });
}
PROBE(lit_dchisq, "d:ddb") double lit_dchisq(double x, double dof, bool lg) {
  return limited([&] { return dd::dchisq<false>(x, dof, lg); });
}
PROBE(lit_pchisq, "d:ddb") double lit_pchisq(double x, double dof, bool lg) {
  return limited([&] { return dd::pchisq<false>(x, dof, lg); });
}
PROBE(lit_qchisq, "d:dd") double lit_qchisq(double p, double dof) {
  return limited([&] { return dd::qchisq<false>(p, dof); });
}
PROBE(lit_dexp, "d:ddb") double lit_dexp(double x, double rate, bool lg) {
  return limited([&] { return dd::dexp<false>(x, rate, lg); });
}
PROBE(lit_pexp, "d:ddb") double lit_pexp(double x, double rate, bool lg) {
  return limited([&] { return dd::pexp<false>(x, rate, lg); });
}
PROBE(lit_qexp, "d:dd") double lit_qexp(double p, double rate) {
  return limited([&] { return dd::qexp<false>(p, rate); });
}
PROBE(lit_df, "d:dddb") double lit_df(double x, double df1, double df2, bool lg) {
  return limited([&] { return dd::df<false>(x, df1, df2, lg); });
}
PROBE(lit_pf, "d:dddb") double lit_pf(double x, double df1, double df2, bool lg) {
  return limited([&] { return dd::pf<false>(x, df1, df2, lg); });
}
PROBE(lit_qf, "d:ddd") double lit_qf(double p, double df1, double df2) {
  return limited([&] { return dd::qf<false>(p, df1, df2); });
}
PROBE(lit_dgamma, "d:dddb") double lit_dgamma(double x, double shape, double scale, bool lg) {
  return limited([&] { return dd::dgamma<false>(x, shape, scale, lg); });
}
PROBE(lit_pgamma, "d:dddb") double lit_pgamma(double x, double shape, double scale, bool lg) {
  return limited([&] { return dd::pgamma<false>(x, shape, scale, lg); });
}
PROBE(lit_qgamma, "d:ddd") double lit_qgamma(double p, double shape, double scale) {
  return limited([&] { return dd::qgamma<false>(p, shape, scale); });
}
PROBE(lit_dinvgamma, "d:dddb") double lit_dinvgamma(double x, double shape, double scale, bool lg) {
  return limited([&] { return dd::dinvgamma<false>(x, shape, scale, lg); });
}
PROBE(lit_pinvgamma, "d:dddb") double lit_pinvgamma(double x, double shape, double scale, bool lg) {
  return limited([&] { return dd::pinvgamma<false>(x, shape, scale, lg); });
}
PROBE(lit_qinvgamma, "d:ddd") double lit_qinvgamma(double p, double shape, double scale) {
  return limited([&] { return dd::qinvgamma<false>(p, shape, scale); });
}
PROBE(lit_dlaplace, "d:dddb") double lit_dlaplace(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::dlaplace<false>(x, mu, sigma, lg); });
}
PROBE(lit_plaplace, "d:dddb") double lit_plaplace(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::plaplace<false>(x, mu, sigma, lg); });
}
PROBE(lit_qlaplace, "d:ddd") double lit_qlaplace(double p, double mu, double sigma) {
  return limited([&] { return dd::qlaplace<false>(p, mu, sigma); });
}
PROBE(lit_dlnorm, "d:dddb") double lit_dlnorm(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::dlnorm<false>(x, mu, sigma, lg); });
}
PROBE(lit_plnorm, "d:dddb") double lit_plnorm(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::plnorm<false>(x, mu, sigma, lg); });
}
PROBE(lit_qlnorm, "d:ddd") double lit_qlnorm(double p, double mu, double sigma) {
  return limited([&] { return dd::qlnorm<false>(p, mu, sigma); });
}
PROBE(lit_dlogis, "d:dddb") double lit_dlogis(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::dlogis<false>(x, mu, sigma, lg); });
}
PROBE(lit_plogis, "d:dddb") double lit_plogis(double x, double mu, double sigma, bool lg) {
  return limited([&] { return dd::plogis<false>(x, mu, sigma, lg); });
}
PROBE(lit_qlogis, "d:ddd") double lit_qlogis(double p, double mu, double sigma) {
  return limited([&] { return dd::qlogis<false>(p, mu, sigma); });
}
PROBE(lit_dpois, "d:idb") double lit_dpois(std::int64_t x, double rate, bool lg) {
  return limited([&] { return dd::dpois<false>(x, rate, lg); });
}
PROBE(lit_ppois, "d:idb") double lit_ppois(std::int64_t x, double rate, bool lg) {
  return limited([&] { return dd::ppois<false>(x, rate, lg); });
}
PROBE(lit_qpois, "d:dd") double lit_qpois(double p, double rate) {
  return limited([&] { return dd::qpois<false>(p, rate); });
}
PROBE(lit_dt, "d:ddb") double lit_dt(double x, double dof, bool lg) {
  return limited([&] { return dd::dt<false>(x, dof, lg); });
}
PROBE(lit_pt, "d:ddb") double lit_pt(double x, double dof, bool lg) {
  return limited([&] { return dd::pt<false>(x, dof, lg); });
}
PROBE(lit_qt, "d:dd") double lit_qt(double p, double dof) {
  return limited([&] { return dd::qt<false>(p, dof); });
}
PROBE(lit_dunif, "d:dddb") double lit_dunif(double x, double a, double b, bool lg) {
  return limited([&] { return dd::dunif<false>(x, a, b, lg); });
}
PROBE(lit_punif, "d:dddb") double lit_punif(double x, double a, double b, bool lg) {
  return limited([&] { return dd::punif<false>(x, a, b, lg); });
}
PROBE(lit_qunif, "d:ddd") double lit_qunif(double p, double a, double b) {
  return limited([&] { return dd::qunif<false>(p, a, b); });
}
PROBE(lit_dweibull, "d:dddb") double lit_dweibull(double x, double shape, double scale, bool lg) {
  return limited([&] { return dd::dweibull<false>(x, shape, scale, lg); });
}
PROBE(lit_pweibull, "d:dddb") double lit_pweibull(double x, double shape, double scale, bool lg) {
  return limited([&] { return dd::pweibull<false>(x, shape, scale, lg); });
}
PROBE(lit_qweibull, "d:ddd") double lit_qweibull(double p, double shape, double scale) {
  return limited([&] { return dd::qweibull<false>(p, shape, scale); });
}
