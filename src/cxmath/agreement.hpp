// When is a fixed-depth result kept?
//
// The fixed-depth methods (continued fractions, quadratures and Halley
// refinements of fixed depth) are the first answer everywhere.  In the
// regions where they can fail, a converged evaluation is computed as well,
// and the fixed-depth value is kept whenever it agrees with it:
//
//   probabilities:  |P_fixed - P_conv| <= max(1e-10 * min(P_conv, 1 - P_conv),
//                                             4 ulp(P_conv)),
//   quantiles:      the converged CDF at the fixed-depth quantile agrees with
//                   p by the same rule.
//
// Measuring against min(P, 1 - P) makes the rule demand relative accuracy
// in whichever tail the probability lies; the floor of a few units in the
// last place accepts values that differ only by rounding.  A NaN, or a
// probability outside [0, 1], never agrees.
#pragma once

#include <bit>
#include <cstdint>

#include "cxmath/common.hpp"

namespace cxmath {

inline constexpr double AGREE_REL = 1e-10;

// Unit in the last place of a finite double v: 2^(e - 52) for v in the
// binade [2^e, 2^(e+1)), the smallest subnormal for subnormals and zero.
constexpr double ulp(double v) {
  const std::uint64_t biased = std::bit_cast<std::uint64_t>(fabs(v)) >> 52;
  if (biased == 0) return 0x1p-1074;
  if (biased <= 52) return std::bit_cast<double>(std::uint64_t(1) << (biased - 1));
  return std::bit_cast<double>((biased - 52) << 52);
}

constexpr bool probability_agrees(double fixed, double converged) {
  if (isnan(fixed) || isnan(converged)) return false;
  if (fixed < 0 || fixed > 1) return false;
  const double scale = fmin(converged, 1 - converged);
  double tol = AGREE_REL * scale;
  const double floor = 4 * ulp(converged);
  if (tol < floor) tol = floor;
  return fabs(fixed - converged) <= tol;
}

}  // namespace cxmath
