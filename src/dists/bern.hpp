// Bernoulli distribution with success probability prob on {0, 1}:
//   mass      P(X = 1) = prob, P(X = 0) = 1 - prob, 0 elsewhere;
//   CDF       0 below 0, 1 - prob on [0, 1), 1 from 1 on;
//   quantile  1 when p exceeds the mass at 0 (1 - prob < p), else 0.
// The flag of the mass and CDF is applied as the logarithm of the finished
// value, so a value below EPS gives -inf.
#pragma once

#include <cstdint>

#include "dists/dpq.hpp"
#include "cxmath/elementary.hpp"

namespace distmill {

constexpr double dbern(std::int64_t x, double prob, bool give_log) {
  using namespace cxmath;
  if (!isfinite(prob) || prob < 0 || prob > 1) return NaN;
  double v = 0.0;
  if (x == 1)
    v = prob;
  else if (x == 0)
    v = 1 - prob;
  return dpq::value(v, give_log);
}

constexpr double pbern(std::int64_t x, double prob, bool give_log_p) {
  using namespace cxmath;
  if (!isfinite(prob) || prob < 0 || prob > 1) return NaN;
  double P;
  if (x < 0)
    P = 0.0;
  else if (x == 0)
    P = 1 - prob;
  else
    P = 1.0;
  return dpq::value(P, give_log_p);
}

constexpr double qbern(double p, double prob) {
  using namespace cxmath;
  if (!isfinite(prob) || prob < 0 || prob > 1 || dpq::not_a_probability(p)) return NaN;
  // p equal to the mass at 0 still answers 0: the quantile is the smallest
  // x with F(x) >= p.
  return (1 - prob) < p ? 1.0 : 0.0;
}

}  // namespace distmill
