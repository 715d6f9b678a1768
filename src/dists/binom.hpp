// Binomial distribution: the number of successes in n = n_trials
// independent trials with success probability prob.
//
// Mass: C(n, x) prob^x (1 - prob)^(n - x), formed in log form,
//   h = (ln n! - (ln (n-x)! + ln x!)) + x ln prob + (n - x) ln(1 - prob),
// with the log-factorials from lgamma; the two ends x = 0 and x = n keep
// only their power term, so prob = 0 or 1 gives exact 0s and 1s there.
// CDF: the masses d(x), d(x-1), ..., d(0) added from the top, in that
// order (the rounding of the sum depends on it).
// Quantile: the smallest i with p <= F(i), each F(i) summed afresh.
//
// Every sum walks all terms below x, so the cost grows with x: O(x) mass
// evaluations for pbinom, O(i^2) for qbinom.  At counts in the millions
// and beyond that is seconds to years, so every mass evaluation of the sums
// ticks an InterruptPoll (one shared by all the sums of a quantile search),
// and the host can stop the call.
#pragma once

#include <cstdint>

#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "dists/counts.hpp"
#include "dists/interrupt.hpp"

namespace distmill {

constexpr double dbinom(std::int64_t x, std::int64_t n_trials, double prob, bool log) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob)) return NaN;
  if (n < 0) return NaN;
  if (prob < 0) return NaN;
  if (prob > 1) return NaN;
  if (x < 0 || x > n) return log ? -INF : 0.0;
  if (n == 0) return log ? cxmath::log(1.0) : 1.0;
  if (n == 1) {
    const double v = x == 1 ? prob : 1 - prob;
    return log ? cxmath::log(v) : v;
  }
  double h;
  if (x == 0) {
    h = cxmath::log(1 - prob) * static_cast<double>(n);
  } else if (x == n) {
    h = cxmath::log(prob) * static_cast<double>(x);
  } else {
    const double A = lgamma(detail::plus_one(n));
    const double B = lgamma(static_cast<double>(x + 1));
    const double C = lgamma((static_cast<double>(n) - static_cast<double>(x)) + 1);
    h = ((A - (C + B)) + cxmath::log(prob) * static_cast<double>(x)) +
        cxmath::log(1 - prob) * static_cast<double>(n - x);
  }
  return log ? h : cxmath::exp(h);
}

namespace detail {

// d(x) + d(x-1) + ... + d(0), accumulated from the top (n >= 2, 0 <= x < n).
constexpr double binom_sum_down(std::int64_t x, std::int64_t n, double prob, InterruptPoll& poll) {
  double s = dbinom(x, n, prob, false);
  for (std::int64_t k = x - 1; k >= 0; --k) {
    poll.tick();
    s = s + dbinom(k, n, prob, false);
  }
  return s;
}

}  // namespace detail

constexpr double pbinom(std::int64_t x, std::int64_t n_trials, double prob, bool log_p) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob)) return NaN;
  if (n < 0) return NaN;
  if (prob < 0) return NaN;
  if (prob > 1) return NaN;
  if (x < 0) return log_p ? -INF : 0.0;
  if (x >= n) return log_p ? 0.0 : 1.0;
  double P;
  if (n == 1) {
    P = 1 - prob;
  } else {
    InterruptPoll poll;
    P = detail::binom_sum_down(x, n, prob, poll);
  }
  return log_p ? cxmath::log(P) : P;
}

constexpr double qbinom(double p, std::int64_t n_trials, double prob) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob) || n < 0 || prob < 0 || prob > 1 || isnan(p) || p < 0 || p > 1) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return static_cast<double>(n);
  // Smallest i with p <= F(i).  F(n) is 1, so the walk ends at n at the
  // latest, whatever the rounding of the sums below it.
  InterruptPoll poll;
  for (std::int64_t i = 0;; ++i) {
    poll.tick();
    double F;
    if (i >= n)
      F = 1.0;
    else if (n == 1 && i == 0)
      F = 1 - prob;
    else if (i == 0)
      F = dbinom(0, n, prob, false);
    else
      F = detail::binom_sum_down(i, n, prob, poll);
    if (p <= F) return static_cast<double>(i);
  }
}

}  // namespace distmill
