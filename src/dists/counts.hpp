// Helpers shared by the discrete families: counts as int64 (or as doubles
// beyond the int64 range), their converged tails, the checked region of
// their masses and the one search for a count quantile.
#pragma once

#include <cstdint>

#include "cxmath/agreement.hpp"
#include "cxmath/common.hpp"

namespace distmill::detail {

// n + 1 as a double, for every int64 n >= 0.  n + 1 is formed in integers
// (exact), except at the top of the range, where it would overflow and its
// exact value 2^63 is used instead.
constexpr double plus_one(std::int64_t n) {
  return n < cxmath::INT64_MAX_ ? static_cast<double>(n + 1) : 0x1p63;
}

// The converged tails of a discrete law at a count x, in extended
// precision: F(x) = P(X <= x), 1 - F(x), and ln F(x) computed where F(x)
// itself would leave every floating range (far lower tails), else from the
// smaller of the two tails (log1p of minus the upper one above 1/2).
struct CountTails {
  cxmath::ext lower;
  cxmath::ext upper;
  cxmath::ext log_lower;
};

// F(x) or ln F(x), as the log flag asks, rounded once.
constexpr double in_scale(const CountTails& t, bool give_log) {
  return static_cast<double>(give_log ? t.log_lower : t.lower);
}

// The tails as the keep layer takes them.
constexpr cxmath::Tails as_tails(const CountTails& t) { return {t.lower, t.upper}; }

// The masses of the binomial and Poisson laws are checked where the
// magnitude of their log-terms exceeds a bound (their rounding is the
// error); this is the share of that bound left to a mass in the scale of
// the log flag: a log-mass L is judged relative to |L| (below |L| = 1
// down to a floor of a few ulps of 1), so a log-mass close to 0 (a mass
// close to 1) needs its log-terms that much more accurate: their bound
// shrinks with |L|, down to 1e-5 of it.
constexpr double log_mass_scale(double L, bool give_log) {
  const double a = cxmath::fabs(L);
  if (!give_log || !(a < 1)) return 1.0;
  return a < 1e-5 ? 1e-5 : a;
}

// Whole part of a count 0 <= v < inf held as a double.  From 2^52 on every
// double is whole; below, the conversion to int64 is exact and in range.
constexpr double whole(double v) {
  if (v >= 0x1p52) return v;
  return static_cast<double>(static_cast<std::int64_t>(v));
}

// The first count at which `reached` holds (it is false below some count
// and true from there on), found from a first guess `start`: steps that
// double from `step`, away from the start in the direction the answer
// lies, bracket it; bisection then narrows the bracket to adjacent counts.
// The bracket [lo, hi] keeps reached(hi) and not reached(lo) (lo = -1
// stands for "below 0").  How the steps and the middle are formed, and
// where the counts end, is the Counts policy's (below).
template <class Counts, class Reached>
constexpr typename Counts::type first_count(const Counts& counts, typename Counts::type start,
                                            typename Counts::step_type step, Reached&& reached) {
  using Count = typename Counts::type;
  Count lo = -1, hi = counts.top, c = 0;
  if (reached(start)) {
    hi = start;
    while (counts.below(lo, hi, step, c)) {
      if (!reached(c)) {
        lo = c;
        break;
      }
      hi = c;
      step = step + step;
    }
  } else {
    lo = start;
    while (counts.above(lo, hi, step, c)) {
      if (reached(c)) {
        hi = c;
        break;
      }
      lo = c;
      step = step + step;
    }
  }
  while (counts.middle(lo, hi, c)) {
    if (reached(c))
      hi = c;
    else
      lo = c;
  }
  return hi;
}

// Counts 0 .. n as int64, where reached(n) is known to hold and is not
// asked.  Distances are taken in unsigned arithmetic (hi - lo is up to
// 2^63 when lo is -1), so no step or middle overflows for any n.
struct Int64Counts {
  using type = std::int64_t;
  using step_type = std::uint64_t;
  std::int64_t top;  // n
  static constexpr std::uint64_t span(std::int64_t lo, std::int64_t hi) {
    return static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo);
  }
  constexpr bool below(std::int64_t lo, std::int64_t hi, std::uint64_t step, std::int64_t& c) const {
    if (!(step < span(lo, hi))) return false;
    c = static_cast<std::int64_t>(static_cast<std::uint64_t>(hi) - step);
    return true;
  }
  constexpr bool above(std::int64_t lo, std::int64_t hi, std::uint64_t step, std::int64_t& c) const {
    if (!(step < span(lo, hi))) return false;
    c = static_cast<std::int64_t>(static_cast<std::uint64_t>(lo) + step);
    return true;
  }
  constexpr bool middle(std::int64_t lo, std::int64_t hi, std::int64_t& c) const {
    const std::uint64_t w = span(lo, hi);
    if (w <= 1) return false;
    c = static_cast<std::int64_t>(static_cast<std::uint64_t>(lo) + w / 2);
    return true;
  }
};

// Counts as doubles, for rates far beyond the int64 range: steps down stop
// at 0, steps up move at least to the next double, and the counts end at
// the largest double (every quantile of a finite rate is below it plus half
// its ulp, so it rounds to it).  Beyond 2^53 adjacent counts are adjacent
// doubles.
struct DoubleCounts {
  using type = double;
  using step_type = double;
  double top = cxmath::DBL_MAX_;
  constexpr bool below(double, double hi, double step, double& c) const {
    if (!(hi > 0)) return false;
    c = hi - step > 0 ? whole(hi - step) : 0;
    return true;
  }
  constexpr bool above(double lo, double, double step, double& c) const {
    double t = whole(lo + step);
    if (t == lo) t = lo + cxmath::ulp(lo);
    if (!(t < cxmath::INF)) {
      if (lo == cxmath::DBL_MAX_) return false;
      t = cxmath::DBL_MAX_;
    }
    c = t;
    return true;
  }
  constexpr bool middle(double lo, double hi, double& c) const {
    c = lo + whole((hi - lo) * 0.5);
    return c > lo && c < hi;
  }
};

}  // namespace distmill::detail
