#include "probe.hpp"
#include "dists/binom.hpp"
#include "dists/pois.hpp"

namespace dd = distmill::detail;

// Binomial top-down sum d(x) + ... + d(0): the literal loop and the one
// that skips inert terms (n >= 2, 0 <= x < n).
PROBE(k_binom_sum_plain, "d:iid") double k_binom_sum_plain(std::int64_t x, std::int64_t n, double prob) {
  return dd::binom_sum_plain(x, n, prob);
}
PROBE(k_binom_sum, "d:iid") double k_binom_sum(std::int64_t x, std::int64_t n, double prob) {
  distmill::InterruptPoll poll;
  return dd::binom_sum_down(x, n, prob, poll);
}
// Number of masses the skipping sum evaluates (x + 1 for the plain loop).
PROBE(k_binom_sum_masses, "i:iid") std::int64_t k_binom_sum_masses(std::int64_t x, std::int64_t n, double prob) {
  std::int64_t count = 0;
  const dd::BinomSkip b = dd::binom_skip(n, prob);
  distmill::InterruptPoll poll;
  dd::binom_sum_skip(
      x, b,
      [&](std::int64_t k) {
        ++count;
        return dd::binom_mass(k, n, prob);
      },
      poll);
  return count;
}
// The error bound delta of the log-masses used for the skips (-1: none).
PROBE(k_binom_delta, "d:id") double k_binom_delta(std::int64_t n, double prob) {
  const dd::BinomSkip b = dd::binom_skip(n, prob);
  return b.kind == 1 ? (-800 - b.zero_h) / 2 : -1.0;
}
PROBE(k_qbinom_plain, "d:did") double k_qbinom_plain(double p, std::int64_t n, double prob) {
  return dd::qbinom_plain(p, n, prob);
}
PROBE(k_qbinom, "d:did") double k_qbinom(double p, std::int64_t n, double prob) {
  return dd::qbinom<false>(p, n, prob);
}

// Poisson walk from 0 for rates up to 10: terms from a table, and afresh.
PROBE(k_pois_walk, "d:dd") double k_pois_walk(double p, double lambda) {
  return dd::pois_walk_up(0, p, lambda, dd::pois_quantile_cap(lambda));
}
PROBE(k_pois_walk_plain, "d:dd") double k_pois_walk_plain(double p, double lambda) {
  return dd::pois_walk_up_plain(0, p, lambda, dd::pois_quantile_cap(lambda));
}
