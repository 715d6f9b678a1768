#include "probe.hpp"
#include "dists/bern.hpp"
#include "dists/binom.hpp"
#include "dists/pois.hpp"

namespace dd = distmill::detail;

// The factorial table of the Poisson series, j = 0 .. 170.
PROBE(k_pois_factorial, "d:i") double k_pois_factorial(std::int64_t j) {
  return distmill::detail::POIS_FACT.v[j];
}

// The literal masses and the Bernoulli functions, without their checks.
PROBE(kf_dbinom, "d:iidb") double kf_dbinom(std::int64_t x, std::int64_t n, double prob, bool lg) {
  return dd::dbinom<false>(x, n, prob, lg);
}
PROBE(kf_dpois, "d:idb") double kf_dpois(std::int64_t x, double rate, bool lg) {
  return dd::dpois<false>(x, rate, lg);
}
PROBE(kf_dbern, "d:idb") double kf_dbern(std::int64_t x, double prob, bool lg) { return dd::dbern<false>(x, prob, lg); }
PROBE(kf_pbern, "d:idb") double kf_pbern(std::int64_t x, double prob, bool lg) { return dd::pbern<false>(x, prob, lg); }
PROBE(kf_qbern, "d:dd") double kf_qbern(double p, double prob) { return dd::qbern<false>(p, prob); }

// The saddle-point log-masses, rounded to double.
PROBE(ks_binom_log_mass, "d:iid") double ks_binom_log_mass(std::int64_t x, std::int64_t n, double prob) {
  return static_cast<double>(cxmath::binomial_log_mass(x, n, prob));
}
PROBE(ks_pois_log_mass, "d:id") double ks_pois_log_mass(std::int64_t x, double rate) {
  return static_cast<double>(cxmath::poisson_log_mass(x, rate));
}
// n p - k as formed for the masses, as an exact pair hi + lo of doubles.
PROBE(ks_count_mean_minus_hi, "d:idi") double ks_count_mean_minus_hi(std::int64_t n, double p, std::int64_t k) {
  return static_cast<double>(cxmath::count_mean_minus(n, p, k));
}
PROBE(ks_count_mean_minus_lo, "d:idi") double ks_count_mean_minus_lo(std::int64_t n, double p, std::int64_t k) {
  const cxmath::ext v = cxmath::count_mean_minus(n, p, k);
  return static_cast<double>(v - static_cast<double>(v));
}
