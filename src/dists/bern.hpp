// Bernoulli distribution with success probability prob on {0, 1}:
//   mass      P(X = 1) = prob, P(X = 0) = 1 - prob, 0 elsewhere;
//   CDF       0 below 0, 1 - prob on [0, 1), 1 from 1 on;
//   quantile  1 when p exceeds the mass at 0 (1 - prob < p), else 0.
// The flag of the mass and CDF is applied as the logarithm of the finished
// value.  Checked: a logarithm of a value below EPS (-inf there) is the
// extended logarithm of the exact value; a log-CDF close to 0 is
// log1p(-prob), which keeps the small complement that 1 - prob rounds
// away; the quantile compares 1 - p < prob from p = 1/2 on, where 1 - p is
// exact and 1 - prob (for prob below 1/2) is not.
#pragma once

#include <cstdint>

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"
#include "dists/dpq.hpp"

namespace distmill {

namespace detail {

template <bool Checked>
constexpr double dbern(std::int64_t x, double prob, bool give_log) {
  using namespace cxmath;
  if (!isfinite(prob) || prob < 0 || prob > 1) return NaN;
  double v = 0.0;
  if (x == 1)
    v = prob;
  else if (x == 0)
    v = 1 - prob;
  return keep_density<Checked>(dpq::value(v, give_log), give_log, false, [&] {
    // Only a logarithm of -inf is checked: v below EPS, exact there.
    return static_cast<double>(xp::log(static_cast<ext>(v)));
  });
}

template <bool Checked>
constexpr double pbern(std::int64_t x, double prob, bool give_log_p) {
  using namespace cxmath;
  if (!isfinite(prob) || prob < 0 || prob > 1) return NaN;
  // Below 0 and from 1 on the CDF is exactly 0 or 1: nothing to check.
  if (x < 0) return dpq::zero(give_log_p);
  if (x != 0) return dpq::one(give_log_p);
  const double P = 1 - prob;
  return keep_probability<Checked>(P, give_log_p, false,
                                   [&] { return Tails{1 - static_cast<ext>(prob), prob}; });
}

template <bool Checked>
constexpr double qbern(double p, double prob) {
  using namespace cxmath;
  if (!isfinite(prob) || prob < 0 || prob > 1 || dpq::not_a_probability(p)) return NaN;
  // p equal to the mass at 0 still answers 0: the quantile is the smallest
  // x with F(x) >= p.
  // Both comparisons, then a selection: p is data, and a branch on it
  // would be mispredicted half the time over an array.
  const bool lower = (1 - prob) < p;
  const bool upper = (1 - p) < prob;
  const bool high = Checked && p >= 0.5;
  return static_cast<double>((high & upper) | (!high & lower));
}

}  // namespace detail

constexpr double dbern(std::int64_t x, double prob, bool give_log) { return detail::dbern<true>(x, prob, give_log); }
constexpr double pbern(std::int64_t x, double prob, bool give_log_p) {
  return detail::pbern<true>(x, prob, give_log_p);
}
constexpr double qbern(double p, double prob) { return detail::qbern<true>(p, prob); }

}  // namespace distmill
