// The agreement rule of agreement.hpp in the two further forms the
// distribution functions need.
//
// Quantiles: the fixed-depth quantile q is kept when the converged CDF at q
// agrees with p.  The comparison is made on the side of the smaller
// probability: below 1/2 the lower probability P(q) against p, above it
// the upper probability Q(q) = 1 - P(q), computed directly, against 1 - p,
// which is exact in double for p >= 1/2.  So the rule measures the tail the
// quantile lies in, and p and 1 - p are judged alike (a probability near 1
// rounded to double would otherwise hide the tail below its last place).
//
// Densities: a density has no complement, so the rule is plain relative
// agreement of the density (with the same floor of a few ulps), and for a
// log-density absolute agreement of the logarithm to AGREE_REL, widened to
// AGREE_REL relative for large logarithms (where the density itself under-
// or overflows).  Equal values, infinities included, agree.
#pragma once

#include "cxmath/agreement.hpp"

namespace cxmath {

constexpr bool quantile_agrees(ext lower, ext upper, double p) {
  if (p <= 0.5) return probability_agrees(static_cast<double>(lower), p);
  return probability_agrees(static_cast<double>(upper), 1 - p);
}

constexpr bool density_agrees(double fixed, double converged) {
  if (isnan(fixed) || isnan(converged)) return false;
  if (fixed == converged) return true;
  if (isinf(fixed) || isinf(converged)) return false;
  double tol = AGREE_REL * fabs(converged);
  const double floor = 4 * ulp(converged);
  if (tol < floor) tol = floor;
  return fabs(fixed - converged) <= tol;
}

constexpr bool log_density_agrees(double fixed, double converged) {
  if (isnan(fixed) || isnan(converged)) return false;
  if (fixed == converged) return true;
  if (isinf(fixed) || isinf(converged)) return false;
  const double scale = fabs(converged) > 1 ? fabs(converged) : 1.0;
  return fabs(fixed - converged) <= AGREE_REL * scale;
}

}  // namespace cxmath
