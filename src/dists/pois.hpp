// Poisson distribution with rate lambda on the counts 0, 1, 2, ...
//
// Mass: e^-lambda lambda^x / x!, in log form
//   L = (x ln lambda - lambda) - ln x!,
// with ln x! from lgamma; x ln lambda is 0 at x = 0 even when ln lambda is
// -inf (a rate below EPS).
//
// CDF F(k), by two methods split at lambda = 10:
//  - lambda > 10: F(k) = 1 - P(k + 1, lambda), the regularized lower
//    incomplete gamma, since P(X <= k) = Q(k + 1, lambda).
//  - lambda <= 10: F(k) = e^-lambda S(k), S(k) = 1 + sum_{j=1..k} t(j),
//    t(j) = lambda^j / j!, the terms added from the top (t(k) first) so that
//    the small ones accumulate before they meet the large ones.  The
//    factorials are exact: a table up to 16!, the int64 products 17!..20!,
//    and beyond 20 the product 20! * 21 * ... * j in double.
//    From j = 171 on, j! is beyond the double range (and lambda^j too, for
//    j past about 308 / log10 lambda), while the true term lambda^j / j! is
//    below 10^-140 of the sum; in double the quotient is exactly 0 whenever
//    lambda^j is finite.  Those terms are therefore taken as 0: the sum
//    keeps exactly its bits for every count, and for counts beyond 170 it
//    is the sum at 170 rather than the NaN of inf/inf.
//
// Quantile: the smallest k with F(k) > p (strictly), each F(k) summed
// afresh (for the series from a table of its terms, each evaluated once).  Below lambda = 11 the walk starts at 0; from 11 on it starts 3
// below the normal approximation lambda + sqrt(lambda) z_p, and steps back
// by one (without checking lower) when F is already above p there.
// The walk never passes
//   k_cap = lambda + 25 + 9 sqrt(lambda),
// a bound on the true quantile of every p <= 1 - 2^-53: by the Bernstein
// bound P(X >= lambda + t) <= exp(-t^2 / (2 (lambda + t/3))), and
// t = 25 + 9 sqrt(lambda) gives t^2 >= 2 (lambda + t/3) * 54 ln 2, so the
// upper tail beyond k_cap is below 2^-54.  Where the computed F falls short
// of p up to k_cap (F saturated a few ulps below 1, or F ruined by
// rounding at huge rates) the answer is k_cap.
// A normal start of 2^53 or more is not walked: neighbouring counts are no
// longer distinct doubles there, so k + 1 cannot be handed to the
// incomplete gamma exactly, and the rounding of its log-density terms
// (about a ln(a) 2^-53, tens of units in the exponent) leaves F without
// meaning; the walk then wanders for minutes.  The answer is the normal
// quantile itself, m + 3 (a whole number at that size).  This also keeps
// every start beyond the int64 range (rates near 9.2e18 and above) from
// being converted to an integer.
//
// Checked results.  The fixed-depth CDF above is the first answer; where it
// can be wrong it is compared with the converged F(k) = Q(k + 1, lambda),
// the regularized upper incomplete gamma computed directly (never as a
// complement), and replaced when the two disagree by the rule of
// cxmath/agreement.hpp:
//  - lambda > 10: the regions where P(k + 1, lambda) itself can fail, and
//    every F below 0.1 (the complement 1 - P cancels);
//  - lambda <= 10: every F above 1 - 1e-3 (the series, rounded at a few
//    ulps of 1, can end above 1; its disagreements, measured, all lie
//    below 1 - F = 1.1e-5).
// The quantile keeps the fixed-depth search's answer k when the converged
// CDF confirms it, F(k) > p >= F(k - 1) up to the rule's tolerance (each
// comparison made in the tail of the smaller of p and 1 - p), wherever that
// search can go wrong: p in either tail (below 0.1 or above 1 - 1e-3), or a
// count whose CDF lies in a region where the fixed-depth CDF can fail.
// Otherwise, and for every rate above 1e7 (where the fixed-depth search is
// both wrong and, for p near 1, slow: its walk grows like sqrt(lambda)),
// the answer is the converged search: the counts are held as doubles, a
// bracket is grown from a start by doubling steps and then bisected until
// its ends are adjacent counts (adjacent doubles beyond 2^53).  It takes at
// most a few hundred CDF evaluations for any rate and never converts a
// count to an integer type.
#pragma once

#include <cstdint>

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_converged.hpp"
#include "cxmath/saddle_point.hpp"
#include "dists/counts.hpp"
#include "dists/dpq.hpp"
#include "dists/interrupt.hpp"
#include "dists/norm.hpp"

namespace distmill {

namespace detail {

// Largest j whose factorial is a finite double.
inline constexpr std::int64_t POIS_LAST_TERM = 170;

struct PoisFactorials {
  double v[POIS_LAST_TERM + 1];
};

constexpr PoisFactorials make_pois_factorials() {
  PoisFactorials t{};
  constexpr double small[17] = {1.0,
                                1.0,
                                2.0,
                                6.0,
                                24.0,
                                120.0,
                                720.0,
                                5040.0,
                                40320.0,
                                362880.0,
                                3628800.0,
                                39916800.0,
                                479001600.0,
                                6227020800.0,
                                87178291200.0,
                                1307674368000.0,
                                20922789888000.0};
  for (int j = 0; j <= 16; ++j) t.v[j] = small[j];
  // 17! .. 20! as exact int64 products, each converted once.
  std::int64_t f = 20922789888000;
  for (std::int64_t j = 17; j <= 20; ++j) {
    f = f * j;
    t.v[j] = static_cast<double>(f);
  }
  // Beyond 20 in double: 20! * 21 * ... * j.
  double d = t.v[20];
  for (std::int64_t j = 21; j <= POIS_LAST_TERM; ++j) {
    d = d * static_cast<double>(j);
    t.v[j] = d;
  }
  return t;
}

inline constexpr PoisFactorials POIS_FACT = make_pois_factorials();

// t(j) = lambda^j / j! for j >= 1 and 0 <= lambda <= 10.
constexpr double pois_term(std::int64_t j, double lambda) {
  if (j > POIS_LAST_TERM) return 0.0;
  return cxmath::ipow(j, lambda) / POIS_FACT.v[j];
}

// e^-lambda S(k) with S(k) = 1 + t(1) + ... + t(k), the terms added from
// the top; term(j) gives t(j) (evaluated afresh, or from a table).
template <class Term>
constexpr double pois_series_sum(std::int64_t k, double lambda, Term&& term) {
  const double E = exp(-lambda);
  double S;
  if (k == 0) {
    S = 1.0;
  } else if (k == 1) {
    S = 1 + lambda;
  } else {
    // Terms above POIS_LAST_TERM are 0 and leave the sum unchanged.
    const std::int64_t top = k < POIS_LAST_TERM ? k : POIS_LAST_TERM;
    double T = term(top);
    for (std::int64_t j = top - 1; j >= 1; --j) T = T + term(j);
    S = T + 1;
  }
  return E * S;
}

constexpr double pois_series_cdf(std::int64_t k, double lambda) {
  return pois_series_sum(k, lambda, [&](std::int64_t j) { return pois_term(j, lambda); });
}

// The terms of one quantile walk, each evaluated once when the walk first
// needs it (a fixed table: the series has at most POIS_LAST_TERM terms).
struct PoisTermTable {
  double lambda;
  std::int64_t filled = 0;  // t(1) .. t(filled) are set
  double t[POIS_LAST_TERM + 1] = {};
  constexpr double operator()(std::int64_t j) {
    while (filled < j) {
      ++filled;
      t[filled] = pois_term(filled, lambda);
    }
    return t[j];
  }
};

// F(k) for k >= 0 and a finite rate lambda >= 0.
constexpr double pois_cdf(std::int64_t k, double lambda) {
  if (lambda > 10) return 1 - cxmath::incomplete_gamma(plus_one(k), lambda);
  return pois_series_cdf(k, lambda);
}

// lambda + 25 + 9 sqrt(lambda), truncated, within the int64 range.
constexpr std::int64_t pois_quantile_cap(double lambda) {
  const double c = (lambda + 25) + 9 * cxmath::sqrt(lambda);
  return c < 0x1p63 ? static_cast<std::int64_t>(c) : cxmath::INT64_MAX_;
}

// First k = k0, k0 + 1, ... with F(k) > p, ending at k_cap.  Each F(k) is
// summed afresh from the top, as the plain walk does; for rates up to 10
// the series terms come from a table filled as k grows, so each is
// evaluated once per walk (the sums, and so the bits, are the same).
// At huge rates the walk up to k_cap can be hundreds of millions of steps
// (when F stalls below p): every step ticks an InterruptPoll so that the
// host can stop it.
constexpr double pois_walk_up(std::int64_t k0, double p, double lambda, std::int64_t k_cap) {
  PoisTermTable table{lambda};
  InterruptPoll poll;
  for (std::int64_t k = k0;; ++k) {
    poll.tick();
    const double F = lambda > 10 ? pois_cdf(k, lambda) : pois_series_sum(k, lambda, table);
    if (F > p) return static_cast<double>(k);
    if (k >= k_cap) return static_cast<double>(k_cap);
  }
}

// The same walk with every term evaluated afresh at every step.
constexpr double pois_walk_up_plain(std::int64_t k0, double p, double lambda, std::int64_t k_cap) {
  for (std::int64_t k = k0;; ++k) {
    if (pois_cdf(k, lambda) > p) return static_cast<double>(k);
    if (k >= k_cap) return static_cast<double>(k_cap);
  }
}

// Below this the converged F(k) = Q(k + 1, lambda), rounded to double, is
// no longer a normal double: F and its logarithm are then taken in log
// space (the count lies some 37 standard deviations below the mean there,
// where the fraction needs only a few levels).
inline constexpr double POIS_LOG_SPACE_CDF = 0x1p-1000;

// Converged tails at the whole count k >= 0 (an int64 count, or a double
// one in the quantile searches), for 0 <= lambda < inf: F(k) = Q(k + 1,
// lambda) and 1 - F(k) = P(k + 1, lambda).  Beyond 2^53 the shape k + 1 is
// formed in extended precision, where it is exact.  Where F(k) leaves the
// double range,
//   ln F(k) = ln Pois(k; lambda) + ln(lambda h),
// h = 1/(lambda + 1 - a - 1(1 - a)/(lambda + 3 - a - ...)) the fraction of
// Q(a, lambda), a = k + 1 (Q(a, lambda) = lambda^a e^-lambda h / Gamma(a)),
// with the saddle-point mass.
constexpr CountTails pois_tails_converged(cxmath::ext k, double lambda) {
  using namespace cxmath;
  if (!(lambda > 0)) return {1, 0, 0};
  const GammaPQ v = k < 0x1p53_x ? incomplete_gamma_converged(static_cast<double>(k) + 1, lambda)
                                 : cxmath::detail::rounded(cxmath::detail::gamma_large_shape(k + 1, lambda, (ext(lambda) - k) - 1, false));
  if (v.Q >= POIS_LOG_SPACE_CDF) {
    const ext F = v.Q, U = v.P;
    return {F, U, F <= ext(0.5) ? xp::log(F) : xp::log1p(-U)};
  }
  const ext lnF = poisson_log_mass(k, lambda) + xp::log(lambda * cxmath::detail::gamma_upper_fraction(k + 1, lambda));
  const ext F = xp::exp(lnF);
  return {F, 1 - F, lnF};
}

constexpr Tails pois_tails(double k, double lambda) { return as_tails(pois_tails_converged(k, lambda)); }

// Smallest count k >= 0 with F(k) > p by the converged CDF, for finite
// lambda >= EPS and 0 < p < 1; `start` is a first guess (any value).
// The bracket is grown from the start by steps that double from
// sqrt(lambda), then bisected (first_count).  The upper tail of every
// finite rate is finite, so an upper end is found; F(k) > p holds beyond
// lambda + 40 sqrt(lambda) + 750 for every p <= 1 - 2^-53, well within the
// doubling steps.
// The comparisons are made on F rounded to double: from rates of about
// 1e32 on, F at neighbouring doubles differs by less than its own rounding
// near 1/2, and where p is that close to F(k) the answer can be the next
// double (a relative difference of 2^-52).
// tails(k) gives the converged tails at a count (pois_tails, or a table of
// its values); F(k) > p is compared in the tail of the smaller of p and
// q = 1 - p: F(k) > p  <=>  1 - F(k) < q.
template <class TailsAt>
constexpr double pois_quantile_search(double p, double lambda, double start, TailsAt&& tails) {
  const double q = 1 - p;
  double k = whole(lambda);
  if (!(start >= 0)) k = 0;  // below the support (NaN also lands here)
  else if (start < lambda * 4 + 1000) k = whole(start);
  double step = whole(cxmath::sqrt(lambda));
  if (step < 1) step = 1;
  return first_count(DoubleCounts{}, k, step, [&](double j) { return cxmath::count_reaches(tails(j), p, q, true); });
}

constexpr double pois_quantile_converged(double p, double lambda, double start) {
  return pois_quantile_search(p, lambda, start, [&](double j) { return pois_tails(j, lambda); });
}

// Rates above which the fixed-depth quantile search is not run.
inline constexpr double POIS_FIXED_QUANTILE_MAX_RATE = 1e7;

// Where the fixed-depth F(k) can miss the rule (lambda > 0): for
// lambda > 10 the regions where P(k + 1, lambda) itself can fail, and every
// F below 0.1 (the complement 1 - P cancels); for lambda <= 10 every F
// above 1 - 1e-3 (the series, rounded at a few ulps of 1, can end above 1;
// its disagreements, measured, all lie below 1 - F = 1.1e-5).
inline constexpr double POIS_SMALL_CDF = 0.1;
inline constexpr double POIS_SERIES_NEAR_ONE = 1e-3;

constexpr bool ppois_region(double a, double lambda, double F) {
  if (!(lambda > 0)) return false;
  if (lambda > 10) return !(F >= POIS_SMALL_CDF) || cxmath::incomplete_gamma_region(a, lambda, F);
  return !(F <= 1 - POIS_SERIES_NEAR_ONE);
}

// Where the fixed-depth quantile k can be wrong: p in either tail (below
// 0.1 or above 1 - 1e-3), or a count whose CDF lies in a region where the
// fixed-depth CDF can fail.
constexpr bool qpois_region(double p, double lambda, double k) {
  if (p < POIS_SMALL_CDF || p > 1 - POIS_SERIES_NEAR_ONE) return true;
  // k <= rate + 25 + 9 sqrt(rate) here: the conversion is in range.
  const std::int64_t ki = static_cast<std::int64_t>(k);
  return lambda > 10 && (cxmath::incomplete_gamma_region(plus_one(ki), lambda) ||
                         cxmath::incomplete_gamma_region(static_cast<double>(ki), lambda));
}

template <bool Checked>
constexpr double ppois(std::int64_t x, double rate, bool give_log_p) {
  using namespace cxmath;
  if (isnan(rate) || rate < 0) return NaN;
  if (x < 0 || rate == INF) return dpq::zero(give_log_p);
  const double F = pois_cdf(x, rate);
  const double a = plus_one(x);
  return keep_probability<Checked>(F, give_log_p, ppois_region(a, rate, F), [&](bool lg) {
    return in_scale(pois_tails_converged(x, rate), lg);
  });
}

// The fixed-depth search's answer for 0 < p < 1 and EPS <= rate <= 1e7:
// the first count with F(k) > p by the walk from 0 for rates below 11;
// from 11 on, by the walk from k0 = qnorm(p, rate, sqrt(rate)) - 3 (or k0 - 1
// where F(k0) already exceeds p).  F(k) is the fixed-depth CDF at a count
// (pois_cdf), walk_up(k0) the walk from k0 (pois_walk_up), normal() the
// quantile qnorm(p, rate, sqrt(rate)): the array calls' lanes read F and the
// walk from a table of F, and take the normal quantiles of a block at once.
template <class Normal, class CDF, class WalkUp>
constexpr double qpois_fixed(double p, double rate, Normal&& normal, CDF&& F, WalkUp&& walk_up) {
  if (rate < 11) return walk_up(0);
  const double qn = normal();
  const double m = qn - 3;
  if (!(m < 0x1p53)) return qn;
  const std::int64_t k0 = m < 0 ? 0 : static_cast<std::int64_t>(m);
  if (F(k0) > p) return k0 == 0 ? 0.0 : static_cast<double>(k0 - 1);
  return walk_up(k0);
}

// The keep step of the search's answer k: confirmed by the converged tails
// (tails(j)) where the search can be wrong, else search(start) finds the
// first count they exceed p at.  Below the normal range the rule's floor of
// a few ulps of p is no longer small against p: there the answer is
// searched (from k) with exact comparisons, not confirmed within that
// tolerance.
template <bool Checked, class TailsAt, class Search>
constexpr double qpois_keep(double k, double p, double rate, TailsAt&& tails, Search&& search) {
  if (Checked && p < POIS_LOG_SPACE_CDF) return search(k);
  return keep_count<Checked>(k, p, 1 - p, true, Checked && qpois_region(p, rate, k), tails, [&] { return search(k); });
}

// The quantile: the first count with F(k) > p by the fixed-depth walk,
// confirmed by the converged CDF where that can be wrong; otherwise, and
// for every rate above 1e7 (where the fixed-depth search is both wrong
// and, for p near 1, slow: its walk grows like sqrt(lambda)), the
// converged search answers.
template <bool Checked>
constexpr double qpois(double p, double rate) {
  using namespace cxmath;
  if (isnan(rate) || rate < 0 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (rate < EPS) {
    // F(0) = e^-rate exceeds every p <= 1 - 2^-53 once the rate is below
    // 2^-53; between 2^-53 and EPS it can fall short of p, and a positive
    // rate has no last count for p = 1.
    if (!Checked || rate == 0) return 0.0;
    if (p == 1) return INF;
    return keep_count<true>(0.0, p, 1 - p, true, p > 0.5, [&](double j) { return pois_tails(j, rate); },
                            [&] { return pois_quantile_converged(p, rate, 0); });
  }
  if (p == 1) return INF;
  // An infinite rate moves all mass beyond every count.
  if (rate == INF) return INF;
  if (Checked && rate > POIS_FIXED_QUANTILE_MAX_RATE) {
    // Normal start with the skewness term: lambda + sqrt(lambda) z + (z^2 - 1)/6.
    const double z = distmill::qnorm(p, 0, 1);
    const double start = isfinite(z) ? (rate + sqrt(rate) * z) + (z * z - 1) / 6 : rate;
    return pois_quantile_converged(p, rate, start);
  }
  const std::int64_t k_cap = pois_quantile_cap(rate);
  const double k = qpois_fixed(
      p, rate, [&] { return distmill::qnorm(p, rate, sqrt(rate)); }, [&](std::int64_t j) { return pois_cdf(j, rate); },
      [&](std::int64_t k0) { return pois_walk_up(k0, p, rate, k_cap); });
  const auto tails = [&](double j) { return pois_tails(j, rate); };
  return qpois_keep<Checked>(k, p, rate, tails, [&](double start) { return pois_quantile_search(p, rate, start, tails); });
}

}  // namespace detail

namespace detail {

// Log-terms of a mass beyond which their rounding (a few units of 2^-53 of
// x (|ln lambda| + 1) + lambda + ln x!, the 1 for the logarithm's cut-off
// within 2^-52 of 1) can reach the rule, as for the binomial.
inline constexpr double POIS_MASS_MAGNITUDE = 1e4;

template <bool Checked>
constexpr double dpois(std::int64_t x, double rate, bool give_log) {
  using namespace cxmath;
  if (isnan(rate) || rate < 0) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (rate == 0) {
    if (x == 0) return dpq::one(give_log);
    return dpq::zero(give_log);
  }
  if (rate == INF) return dpq::zero(give_log);
  const double xlr = x == 0 ? 0.0 : log(rate) * static_cast<double>(x);
  const double G = lgamma(plus_one(x));
  const double L = (xlr - rate) - G;
  // A rate below EPS makes x ln(rate) -inf, and the magnitude with it.
  const double magnitude = ((fabs(xlr) + static_cast<double>(x)) + rate) + G;
  return keep_log_density<Checked>(L, give_log, !(magnitude <= POIS_MASS_MAGNITUDE * log_mass_scale(L, give_log)),
                                   [&] { return static_cast<double>(poisson_log_mass(x, rate)); });
}

}  // namespace detail

constexpr double dpois(std::int64_t x, double rate, bool give_log) { return detail::dpois<true>(x, rate, give_log); }

constexpr double ppois(std::int64_t x, double rate, bool give_log_p) { return detail::ppois<true>(x, rate, give_log_p); }
constexpr double qpois(double p, double rate) { return detail::qpois<true>(p, rate); }

}  // namespace distmill
