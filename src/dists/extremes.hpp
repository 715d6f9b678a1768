// Values at the extremes, shared by the closed-form families.
//
// Logarithms of tails beyond the extended range.  A converged tail is taken
// in the extended format as long as it lies well inside its range; its
// logarithm is then ln P up to 1/2 and log1p(-(1 - P)) above (the smaller
// tail keeps its digits either way).  Further out (a normal tail beyond
// u ~ -140, a Laplace or logistic one beyond 11000 scales) the tail
// underflows, and each family forms ln P in log space instead.
//
// Quantiles on a grid of doubles coarser than the rule.  Where a
// quantile's neighbouring doubles lie further apart (measured in the
// probability) than the rule's 1e-10 - a subnormal scale, a huge Weibull
// shape - no double meets the probability rule, and the promise asks for a
// double within one of the true quantile instead.  A quantile function
// then checks its fixed-depth value only where it is not: the target
// between the converged tails at the value and at a neighbouring double
// means the true quantile lies between them.
#pragma once

#include <bit>
#include <cstdint>

#include "cxmath/agreement.hpp"
#include "cxmath/extended.hpp"

namespace distmill::detail {

// Tails at or above this lower tail are inside the extended range with
// their full precision (e^-11298; the range ends near e^-11355).
inline constexpr cxmath::ext TAIL_LOG_FLOOR = 0x1p-16300_x;

// ln P from the converged tails t, for t.lower >= TAIL_LOG_FLOOR.
constexpr double log_of_tails(const Tails& t) {
  using cxmath::ext;
  return static_cast<double>(t.lower <= ext(0.5) ? cxmath::xp::log(t.lower) : cxmath::xp::log1p(-t.upper));
}

// The double next to a finite v, upwards or downwards.
constexpr double next_double(double v, bool up) {
  if (v == 0) return up ? 0x1p-1074 : -0x1p-1074;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  return std::bit_cast<double>((v > 0) == up ? bits + 1 : bits - 1);
}

// Is the finite v within one double of the quantile of the target
// (p, q = 1 - p)?  tails_at(v) gives the converged tails at v; the tail
// of the smaller of p and q is compared with it in the extended format, by
// sign (NO_TAILS, a NaN, brackets nothing).
template <class TailsAt>
constexpr bool within_one_double(double v, double p, double q, TailsAt&& tails_at) {
  using cxmath::ext;
  if (!(cxmath::fabs(v) < cxmath::INF)) return false;
  const auto miss = [&](double at) -> ext {
    const Tails t = tails_at(at);
    return p > 0.5 ? t.upper - q : t.lower - p;
  };
  const ext here = miss(v);
  for (const bool up : {false, true}) {
    const ext there = miss(next_double(v, up));
    if ((here <= 0 && there >= 0) || (here >= 0 && there <= 0)) return true;
  }
  return false;
}

}  // namespace distmill::detail
