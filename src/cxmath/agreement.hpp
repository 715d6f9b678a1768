// When is a fixed-depth value kept?
//
// The fixed-depth methods (continued fractions, quadratures and Halley
// refinements of fixed depth) are the first answer everywhere.  In the
// regions where they can fail, a converged evaluation is computed as well,
// and the fixed-depth value is kept whenever it agrees with it; the rule is
// the accuracy promise of every d, p and q function:
//
//   probabilities:  |P_fixed - P_conv| <= max(1e-10 * min(P_conv, 1 - P_conv),
//                                             4 ulp(P_conv)),
//   densities:      |d_fixed - d_conv| <= max(1e-10 * d_conv, 4 ulp(d_conv)),
//   log-CDFs:       |L_fixed - L_conv| <= max(1e-10 * |L_conv|, 4 ulp(L_conv)),
//   log-densities:  |L_fixed - L_conv| <= max(1e-10 * |L_conv|,
//                                             4 ulp(max(|L_conv|, 1))),
//   quantiles:      the converged CDF at the fixed-depth quantile agrees with
//                   p by the probability rule, in the tail of the smaller of
//                   p and 1 - p (below 1/2 the lower probability against p,
//                   above it the upper one, computed directly, against
//                   1 - p, which is exact in double for p >= 1/2); a
//                   subnormal target relative to itself, without floor.
//
// Measuring against min(P, 1 - P) makes the rule demand relative accuracy
// in whichever tail the probability lies; the floor of a few units in the
// last place accepts values that differ only by rounding (for subnormal
// values a few subnormal units).  A log-CDF is judged relative to its own
// magnitude down to its last bits, so that close to 0 it carries the small
// complement 1 - P; a log-density's floor is a few ulps of the density it
// stands for (its logarithm's absolute error), since a logarithm that
// crosses 0 cannot be relatively accurate there.  A NaN, or a probability
// outside [0, 1], never agrees.
//
// Every checked function applies the rule through keep_probability,
// keep_density, keep_log_density, keep_quantile or keep_count below, with
// its region predicate (true where the fixed-depth method can miss the
// rule) and a callable for the converged value, which runs only when it is
// needed.  A function is written once as a template on `Checked`: with
// false the keep steps return the fixed-depth value untouched (the
// fixed-depth method alone, for tests and measurements).
#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>

#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"

namespace cxmath {

inline constexpr double AGREE_REL = 1e-10;

// Thresholds that several families' region predicates share (the failures
// measured behind every threshold: docs/accuracy/regions.md).
// Tail probabilities below which p - 1/2 or 1 - p, rounded in double, is
// magnified into a quantile that misses the rule (failures from ~1e-6).
inline constexpr double ROUNDED_TAIL = 1e-4;
// |mu|/sigma beyond which the rounding of mu + sigma t to double alone
// misses the rule in the tail probability (from ~1e6).
inline constexpr double LOCATION_RESOLUTION = 1e5;

// Unit in the last place of a finite double v: 2^(e - 52) for v in the
// binade [2^e, 2^(e+1)), the smallest subnormal for subnormals and zero.
constexpr double ulp(double v) {
  const std::uint64_t biased = std::bit_cast<std::uint64_t>(fabs(v)) >> 52;
  if (biased == 0) return 0x1p-1074;
  if (biased <= 52) return std::bit_cast<double>(std::uint64_t(1) << (biased - 1));
  return std::bit_cast<double>((biased - 52) << 52);
}

// The lower and upper probability of a point, P(X <= x) and P(X > x),
// each computed directly in extended precision, so that the smaller one
// keeps its relative accuracy.
struct Tails {
  ext lower;
  ext upper;
};

// The tails at a point where the CDF has no value: they never agree.
inline constexpr Tails NO_TAILS = {NaN_EXT, NaN_EXT};

constexpr bool probability_agrees(double fixed, double converged) {
  if (isnan(fixed) || isnan(converged)) return false;
  if (fixed < 0 || fixed > 1) return false;
  const double scale = fmin(converged, 1 - converged);
  double tol = AGREE_REL * scale;
  const double floor = 4 * ulp(converged);
  if (tol < floor) tol = floor;
  return fabs(fixed - converged) <= tol;
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

// A logarithm L of a probability or density against the converged one:
// relative to |L|, with a floor of 4 ulps of `floor_of`.
constexpr bool log_agrees(double fixed, double converged, double floor_of) {
  if (isnan(fixed) || isnan(converged)) return false;
  if (fixed == converged) return true;
  if (isinf(fixed) || isinf(converged)) return false;
  double tol = AGREE_REL * fabs(converged);
  const double floor = 4 * ulp(floor_of);
  if (tol < floor) tol = floor;
  return fabs(fixed - converged) <= tol;
}

constexpr bool log_probability_agrees(double fixed, double converged) {
  return log_agrees(fixed, converged, converged);
}

constexpr bool log_density_agrees(double fixed, double converged) {
  return log_agrees(fixed, converged, fabs(converged) > 1 ? converged : 1.0);
}

// A tail of the CDF at a quantile against its target: by the probability
// rule, except for a subnormal target, which is judged relative to itself
// in extended precision.  The floor of a few subnormal units that a
// probability value may be off by is no resolution for the point where the
// CDF reaches the target: it would accept 0 as the quantile of 5e-324
// (its CDF, 0, is one unit away), or any point whose CDF lies within 2e-323
// of a target of 1e-320.
constexpr bool tail_agrees(ext tail, double target) {
  if (!(target < 0x1p-1022)) return probability_agrees(static_cast<double>(tail), target);
  if (isnan(tail)) return false;
  return fabs(tail - target) <= AGREE_REL * static_cast<ext>(target);
}

// Do the converged tails t at a quantile agree with the target p?  q is
// 1 - p as the caller holds it (exact for p >= 1/2 when formed in double;
// some callers hold it exactly where p itself is rounded).
constexpr bool quantile_agrees(const Tails& t, double p, double q) {
  if (p > 0.5) return tail_agrees(t.upper, q);
  return tail_agrees(t.lower, p);
}

// Log-CDFs outside a family's region: the logarithm of the fixed-depth
// probability is -inf below EPS (where the logarithm kernel takes its
// argument as 0), and above 1 - LOG_NEAR_ONE a probability accurate to a few
// ulps of 1 no longer holds the complement that log P ~ -(1 - P) is made of
// to the relative accuracy of the rule (its ulps are 1e-10 of 1 - P from
// 1 - P ~ 4e-6 on).
inline constexpr double LOG_NEAR_ONE = 1e-5;

constexpr bool log_probability_region(double P) { return !(P >= EPS && P <= 1 - LOG_NEAR_ONE); }

// A converged probability callable is one of
//   converged() -> Tails: the two tails in extended precision; ln P is the
//     logarithm of the lower tail up to 1/2 and log1p of minus the upper
//     one above (so that close to 1 it keeps the small complement);
//   converged(give_log) -> P or ln P in the flag's scale, computed in log
//     space where P under- or overflows the tails it is made of;
//   converged() -> P: its logarithm is the extended logarithm of the double
//     P (right wherever P is a normal double and not close to 1).
template <class Converged>
constexpr double converged_in_scale(Converged& converged, bool give_log) {
  if constexpr (requires { converged(give_log); }) {
    return converged(give_log);
  } else if constexpr (std::is_same_v<std::remove_cvref_t<decltype(converged())>, Tails>) {
    const Tails t = converged();
    if (!give_log) return static_cast<double>(t.lower);
    if (isnan(t.lower) || isnan(t.upper)) return NaN;
    return static_cast<double>(t.lower <= ext(0.5) ? xp::log(t.lower) : xp::log1p(-t.upper));
  } else {
    const double P = converged();
    if (!give_log) return P;
    if (isnan(P) || P < 0) return NaN;
    return static_cast<double>(xp::log(static_cast<ext>(P)));
  }
}

// The probability `fixed`, or the converged one where the rule replaces
// it, in the scale of the log flag.  With the flag the rule judges the
// logarithm itself (the log-CDF rule), also where the family's region does
// not ask for it but the logarithm of the fixed-depth value cannot be right.
template <bool Checked, class Converged>
constexpr double keep_probability(double fixed, bool give_log, bool in_region, Converged&& converged) {
  if constexpr (Checked) {
    if (!give_log) {
      if (in_region || !(fixed >= 0 && fixed <= 1)) {
        const double c = converged_in_scale(converged, false);
        if (!probability_agrees(fixed, c)) return c;
      }
      return fixed;
    }
    const double L = log(fixed);
    if (in_region || log_probability_region(fixed)) {
      const double c = converged_in_scale(converged, true);
      if (!(fixed >= 0 && fixed <= 1) || !log_probability_agrees(L, c)) return c;
    }
    return L;
  }
  return give_log ? log(fixed) : fixed;
}

// A density formed as its logarithm L, returned in the scale of the log
// flag: with the flag the log-density rule judges L, without it the density
// rule judges e^L.
template <bool Checked, class Converged>
constexpr double keep_log_density(double L, bool give_log, bool in_region, Converged&& converged) {
  if constexpr (Checked) {
    if (in_region || isnan(L)) {
      const double c = converged();
      if (give_log) return log_density_agrees(L, c) ? L : c;
      const double d = exp(L), dc = exp(c);
      return density_agrees(d, dc) ? d : dc;
    }
  }
  return give_log ? L : exp(L);
}

// A density already in the scale of the log flag; `converged` gives the
// converged value in the same scale.  With the flag, a fixed-depth density
// below EPS, whose logarithm is -inf, is checked too.
template <bool Checked, class Converged>
constexpr double keep_density(double fixed, bool give_log, bool in_region, Converged&& converged) {
  if constexpr (Checked) {
    if (in_region || isnan(fixed) || (give_log && fixed == -INF)) {
      const double c = converged();
      if (!(give_log ? log_density_agrees(fixed, c) : density_agrees(fixed, c))) return c;
    }
  }
  return fixed;
}

// The next double after the finite v, upwards or downwards.
constexpr double neighbour(double v, bool up) {
  if (v == 0) return up ? 0x1p-1074 : -0x1p-1074;
  const std::uint64_t b = std::bit_cast<std::uint64_t>(v);
  return std::bit_cast<double>((v > 0) == up ? b + 1 : b - 1);
}

// Does the root of the CDF at the target (p, q) lie between the finite,
// nonzero point v, whose converged tails are t, and its neighbouring double
// on the side of the root?  Where the doubles are spaced more coarsely than
// the probability rule can resolve (near a bound far from 0, at a tiny
// scale) no double meets the rule, and either double beside the root is the
// quantile to the grid's resolution.  Not at 0: beside a root between 0 and
// the least subnormal, whether the quantile is 0 or 5e-324 is a relative
// difference of 100%, left to the converged value.
template <class TailsAt>
constexpr bool root_beside(double v, const Tails& t, double p, double q, TailsAt&& tails_at) {
  if (!(fabs(v) < INF) || v == 0) return false;
  const bool upper = p > 0.5;
  const ext target = upper ? ext(q) : ext(p);
  const ext here = (upper ? t.upper : t.lower) - target;
  if (!(here != 0)) return false;
  // The lower tail rises with x, the upper one falls.
  const bool above = upper ? here > 0 : here < 0;
  const Tails n = tails_at(neighbour(v, above));
  const ext there = (upper ? n.upper : n.lower) - target;
  return there == 0 || (there < 0) != (here < 0);
}

// The quantile `fixed` of the target (p, q = 1 - p), or the converged one
// where the rule replaces it: kept where its converged CDF agrees with the
// target, or where the root lies between it and a neighbouring double.
// tails_at(v) gives the converged tails at v (NO_TAILS where the CDF has no
// value at v).
template <bool Checked, class TailsAt, class Converged>
constexpr double keep_quantile(double fixed, double p, double q, bool in_region, TailsAt&& tails_at,
                               Converged&& converged) {
  if constexpr (Checked) {
    if (in_region || isnan(fixed)) {
      if (isnan(fixed)) return converged();
      const Tails t = tails_at(fixed);
      if (!quantile_agrees(t, p, q) && !root_beside(fixed, t, p, q, tails_at)) return converged();
    }
  }
  return fixed;
}

// Does the converged CDF at a count, given as its tails t there, reach the
// target (p, q)?  A discrete quantile is the first count where it does:
// F >= p, or F > p when `strict`; compared in the tail of the smaller of p
// and q, like quantile_agrees.  The tails are compared in extended
// precision as they are: rounded to double first, a tail near a subnormal
// target (p = 5e-324) would meet it a dozen counts early.
constexpr bool count_reaches(const Tails& t, double p, double q, bool strict) {
  if (p > 0.5) return strict ? t.upper < ext(q) : t.upper <= ext(q);
  return strict ? t.lower > ext(p) : t.lower >= ext(p);
}

// The count quantile `fixed` of the target (p, q = 1 - p), kept when the
// converged CDF confirms it: it reaches the target at the count and not at
// the one before, each comparison holding or failing only within the
// rule's tolerance.  Counts are whole numbers of type Count (int64, or
// double beyond the int64 range); tails_at(k) gives the converged tails at
// the count k, converged() searches for the quantile.
template <bool Checked, class Count, class TailsAt, class Converged>
constexpr Count keep_count(Count fixed, double p, double q, bool strict, bool in_region, TailsAt&& tails_at,
                           Converged&& converged) {
  if constexpr (Checked) {
    if (in_region) {
      const auto confirmed = [&] {
        if (!(fixed >= 0 && fixed < INF)) return false;
        const Tails at = tails_at(fixed);
        if (!count_reaches(at, p, q, strict) && !quantile_agrees(at, p, q)) return false;
        if (fixed == 0) return true;
        const Tails below = tails_at(fixed - 1);
        return !count_reaches(below, p, q, strict) || quantile_agrees(below, p, q);
      };
      if (!confirmed()) return converged();
    }
  }
  return fixed;
}

}  // namespace cxmath

namespace distmill {
using cxmath::keep_count;
using cxmath::keep_density;
using cxmath::keep_log_density;
using cxmath::keep_probability;
using cxmath::keep_quantile;
using cxmath::NO_TAILS;
using cxmath::Tails;
}  // namespace distmill
