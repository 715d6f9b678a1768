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
// evaluations for pbinom, O(i^2) for qbinom.
//
// Above 1/2 the top-down sum carries an absolute error of a few ulps of 1
// plus the relative error of the masses themselves (their ln Gamma terms
// are good to a few ulps of n ln n: 4e-12 relative at n = 2400), which is
// a growing part of the complement 1 - F as F approaches 1; near 1 the sum
// can even end above 1.  Where the sum exceeds 1/2 the CDF is therefore
// checked against the complement summed directly, U = d(x+1) + d(x+2) + ...
// (in extended precision, from the largest term outwards until the terms
// no longer count), whose error is that relative error of the masses on U
// alone; the sum is kept only when it agrees with 1 - U by the rule of
// cxmath/agreement.hpp, and a sum above 1 never does.
#pragma once

#include <cstdint>

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "dists/counts.hpp"

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
constexpr double binom_sum_down(std::int64_t x, std::int64_t n, double prob) {
  double s = dbinom(x, n, prob, false);
  for (std::int64_t k = x - 1; k >= 0; --k) s = s + dbinom(k, n, prob, false);
  return s;
}

// 1 - (d(x+1) + d(x+2) + ... + d(n)) for n >= 2, 0 <= x < n.  Once past the
// mode the masses fall off at least geometrically; the sum stops when a
// term is below 2^-66 of it.
constexpr double binom_complement_sum(std::int64_t x, std::int64_t n, double prob) {
  const double mode = (static_cast<double>(n) + 1) * prob;
  cxmath::ext U = 0;
  for (std::int64_t k = x + 1; k <= n; ++k) {
    const cxmath::ext d = dbinom(k, n, prob, false);
    U = U + d;
    if (static_cast<double>(k) > mode && d <= U * 0x1p-66L) break;
  }
  const double F = static_cast<double>(1 - U);
  return F < 0 ? 0.0 : F;
}

}  // namespace detail

namespace detail {

constexpr double pbinom_impl(std::int64_t x, std::int64_t n_trials, double prob, bool log_p,
                             bool checked) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob)) return NaN;
  if (n < 0) return NaN;
  if (prob < 0) return NaN;
  if (prob > 1) return NaN;
  if (x < 0) return log_p ? -INF : 0.0;
  if (x >= n) return log_p ? 0.0 : 1.0;
  double P;
  if (n == 1)
    P = 1 - prob;
  else
    P = binom_sum_down(x, n, prob);
  if (checked && !(P <= 0.5)) {
    const double converged = binom_complement_sum(x, n, prob);
    if (!probability_agrees(P, converged)) P = converged;
  }
  return log_p ? cxmath::log(P) : P;
}

// The fixed-depth method alone.
constexpr double pbinom_fixed(std::int64_t x, std::int64_t n_trials, double prob, bool log_p) {
  return pbinom_impl(x, n_trials, prob, log_p, false);
}

}  // namespace detail

constexpr double pbinom(std::int64_t x, std::int64_t n_trials, double prob, bool log_p) {
  return detail::pbinom_impl(x, n_trials, prob, log_p, true);
}

constexpr double qbinom(double p, std::int64_t n_trials, double prob) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob) || n < 0 || prob < 0 || prob > 1 || isnan(p) || p < 0 || p > 1) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return static_cast<double>(n);
  // Smallest i with p <= F(i).  F(n) is 1, so the walk ends at n at the
  // latest, whatever the rounding of the sums below it.
  for (std::int64_t i = 0;; ++i) {
    double F;
    if (i >= n)
      F = 1.0;
    else if (n == 1 && i == 0)
      F = 1 - prob;
    else if (i == 0)
      F = dbinom(0, n, prob, false);
    else
      F = detail::binom_sum_down(i, n, prob);
    if (p <= F) return static_cast<double>(i);
  }
}

}  // namespace distmill
