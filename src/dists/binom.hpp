// Binomial distribution: the number of successes in n = n_trials
// independent trials with success probability prob.
//
// Mass: C(n, x) prob^x (1 - prob)^(n - x), formed in log form,
//   h = (ln n! - (ln (n-x)! + ln x!)) + x ln prob + (n - x) ln(1 - prob),
// with the log-factorials from lgamma; the two ends x = 0 and x = n keep
// only their power term, so prob = 0 or 1 gives exact 0s and 1s there.
// CDF: the masses d(x), d(x-1), ..., d(0) added from the top, in that
// order (the rounding of the sum depends on it).
// Quantile: the smallest i with p <= F(i), where F(i) is that top-down sum.
//
// Speed without changing a bit.  The masses are the cost (three lgamma and
// an exp each); the sums below return exactly the bits of the literal
// top-down loop (kept as binom_sum_plain / qbinom_plain), and skip only
// terms that provably leave the running sum as it is:
//  - Error bound.  For n < 2^53 the computed log-mass hh(k) is within
//    delta of the true log-mass h(k) (exact prob), where
//      delta = 2^-44 M + 2^-50 n + 2^-40,
//      M = ln n! + n (|ln prob| + |ln(1 - prob)|) + 1
//    bounds every magnitude in the formula: each of the handful of
//    roundings and each lgamma/log error is a few units of 2^-53 M, far
//    below 2^-44 M; 2^-50 n covers the rounding of 1 - prob (an absolute
//    2^-53 on ln(1 - prob), times n - x).  Skipping is used only when
//    delta <= 8.
//  - Unimodality.  d(k-1) <= d(k) exactly when k <= (n+1) prob, so below
//    m_lo (an integer surely <= (n+1) prob) every lower true mass is at
//    most d(k), and above m_hi (surely >= (n+1) prob) every higher one is.
//    For computed masses this becomes hh(j) <= hh(k) + 2 delta.
//  - Exact zeros.  cxmath::exp(y) is exactly 0 for every y <= -784 (e^y is
//    below half the smallest subnormal there).  A k past the mode (either
//    side) with hh(k) < -800 - 2 delta therefore has exact zeros on its
//    whole far side.  Adding +0 to a sum >= +0 leaves it unchanged, and a
//    sum that starts with +0s is +0 until the first nonzero term, so a head
//    of exact zeros above x (found by bisection between m_hi and x; only
//    the verified end point is used) and a tail of exact zeros are dropped.
//  - Absorbed tail.  Below m_lo, every later term d(j) is at most
//    U = (d(k) + 2^-1070) 2^27: cxmath::exp has a relative error far
//    below 2^-40 for normal results and an absolute one of at most
//    2^-1074 for subnormal ones, and e^(2 delta) * 2 < 2^27.  If s + U
//    rounds to s, so does s + d(j) for every 0 <= d(j) <= U (rounding is
//    monotone), s never changes again, and the rest of the sum is skipped.
// The computed F is non-decreasing in i: F(i+1) = G(fl(d(i+1) + d(i)))
// and F(i) = G(d(i)) for the same chain G of additions s -> fl(s + d(j)),
// each monotone in s.  So qbinom finds the first i with p <= F(i) by
// galloping from a normal-approximation guess and bisecting, with each
// F(i) summed exactly as the plain loop sums it, instead of walking i
// from 0.  Its masses are cached (a std::vector, the only allocation of
// these functions) so that each is evaluated once per call.
//
// At counts in the millions and beyond even the skipping sums take a
// while (and the literal ones seconds to years), so every mass evaluation
// of the sums and of the search ticks an InterruptPoll (one shared by all
// the sums of a quantile search), and the host can stop the call.
//
// Checked results.  The literal values above are the first answer; where
// they can miss the rule of cxmath/agreement.hpp they are compared with
// converged ones and replaced when the two disagree:
//  - the mass, where its log-terms are large (BINOM_MASS_MAGNITUDE: their
//    rounding, a few units of 2^-53 of ln n! + x (|ln prob| + 1) +
//    (n - x)(|ln(1 - prob)| + 1), is the relative error of the mass; the
//    1s stand for the rounding of 1 - prob and the logarithm's cut-off
//    within 2^-52 of 1, an absolute 2^-53 each), and where a logarithm of
//    prob or 1 - prob below EPS is -inf although the mass is not 0.  The
//    converged mass is the saddle-point form of cxmath/saddle_point.hpp.
//  - the CDF: where the sum exceeds 1/2 (its absolute error of a few ulps
//    of 1 is a growing part of the complement), where it is tiny
//    (BINOM_SMALL_CDF: subnormal masses), where its masses are checked.  The
//    converged CDF is the incomplete beta relation
//      F(x) = I_{1-prob}(n - x, x + 1),
//    evaluated with the shapes exact in extended precision (n up to the
//    int64 range) and the front factor of the fraction taken from the
//    saddle-point mass: F(x) = Bin(x) prob R, R the continued fraction of
//    the incomplete beta on its convergent side (the other tail as the
//    complement), or, for both shapes above 1e11 near the mean, the
//    uniform asymptotic expansion.  Below the mean ln F(x) = ln Bin(x) +
//    ln prob + ln R is finite wherever the mass's logarithm is.
//  - where the sum would need more than BINOM_SUM_BUDGET masses (a million
//    trials and beyond near the mean, where the masses are far outside the
//    rule anyway), the literal sum is not formed at all: the CDF and the
//    quantile come from the converged CDF, in bounded time for every n.
// The quantile keeps the literal search's answer where the converged CDF
// confirms it (F(i) >= p > F(i - 1), each comparison in the tail of the
// smaller of p and 1 - p) wherever that search can go wrong: p above 1/2
// or tiny, the masses in their checked region, prob or 1 - prob below EPS.
// Otherwise the first count the converged CDF reaches is searched.
#pragma once

#include <cstdint>

#include <vector>

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_beta_converged.hpp"
#include "cxmath/saddle_point.hpp"
#include "dists/counts.hpp"
#include "dists/dpq.hpp"
#include "dists/interrupt.hpp"
#include "dists/norm.hpp"

namespace distmill {

namespace detail {

// Log-terms of a mass beyond which its rounding (a few units of 2^-53 of
// this magnitude, relatively) can reach the rule: from 1e4 the error is
// ~1e-12 (failures measured from ~2e5, see docs/accuracy/regions.md).
inline constexpr double BINOM_MASS_MAGNITUDE = 1e4;

// The magnitude of the log-terms of the masses at counts up to x (x >= 0):
//   ln n! + x (|ln prob| + 1) + n (|ln(1 - prob)| + 1),
// +inf where ln prob (x >= 1) or ln(1 - prob) is -inf.
constexpr double binom_magnitude(std::int64_t x, std::int64_t n, double prob) {
  using namespace cxmath;
  const double l1 = x == 0 ? 0.0 : static_cast<double>(x) * (1 - log(prob));
  return (lgamma(plus_one(n)) + l1) + static_cast<double>(n) * (1 - log(1 - prob));
}

template <bool Checked>
constexpr double dbinom(std::int64_t x, std::int64_t n_trials, double prob, bool give_log) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob)) return NaN;
  if (n < 0) return NaN;
  if (prob < 0) return NaN;
  if (prob > 1) return NaN;
  if (x < 0 || x > n) return dpq::zero(give_log);
  if (n == 0) return dpq::value(1.0, give_log);
  if (n == 1) {
    const double v = x == 1 ? prob : 1 - prob;
    // Only a logarithm of v below EPS (-inf) is checked: v is exact there.
    return keep_density<Checked>(dpq::value(v, give_log), give_log, false, [&] {
      const ext e = x == 1 ? ext(prob) : 1 - ext(prob);
      return static_cast<double>(xp::log(e));
    });
  }
  double h;
  double magnitude;  // of the log-terms (BINOM_MASS_MAGNITUDE)
  if (x == 0) {
    const double l0 = log(1 - prob);
    h = l0 * static_cast<double>(n);
    magnitude = static_cast<double>(n) * (1 - l0);
  } else if (x == n) {
    const double l1 = log(prob);
    h = l1 * static_cast<double>(x);
    magnitude = static_cast<double>(x) * (1 - l1);
  } else {
    const double A = lgamma(plus_one(n));
    const double B = lgamma(static_cast<double>(x + 1));
    const double C = lgamma((static_cast<double>(n) - static_cast<double>(x)) + 1);
    const double l1 = log(prob);
    const double l0 = log(1 - prob);
    const double nx = static_cast<double>(n - x);
    h = ((A - (C + B)) + l1 * static_cast<double>(x)) + l0 * nx;
    magnitude = (A + static_cast<double>(x) * (1 - l1)) + nx * (1 - l0);
  }
  return keep_log_density<Checked>(h, give_log, !(magnitude <= BINOM_MASS_MAGNITUDE * log_mass_scale(h, give_log)),
                                   [&] { return static_cast<double>(binomial_log_mass(x, n, prob)); });
}

}  // namespace detail

constexpr double dbinom(std::int64_t x, std::int64_t n_trials, double prob, bool give_log) {
  return detail::dbinom<true>(x, n_trials, prob, give_log);
}

namespace detail {

// d(x) + d(x-1) + ... + d(0), accumulated from the top (n >= 2, 0 <= x < n).
// The literal loop: the reference every faster sum must match bit for bit.
constexpr double binom_sum_plain(std::int64_t x, std::int64_t n, double prob) {
  double s = dbinom<false>(x, n, prob, false);
  for (std::int64_t k = x - 1; k >= 0; --k) s = s + dbinom<false>(k, n, prob, false);
  return s;
}

// A mass in both forms: hh = dbinom(k, n, prob, true) and d = exp(hh),
// which is exactly dbinom(k, n, prob, false) (the literal masses).
struct BinomMass {
  double h;
  double d;
};

constexpr BinomMass binom_mass(std::int64_t k, std::int64_t n, double prob) {
  const double h = dbinom<false>(k, n, prob, true);
  return {h, exp(h)};
}

// What the sums may skip for given n >= 2 and prob (see the top comment).
struct BinomSkip {
  int kind = 0;  // 0: nothing skipped; 1: bounds valid; 2: d(k) = 0 for
                 // k >= 1 (ln prob = -inf); 3: d(k) = 0 for k < n
                 // (ln(1 - prob) = -inf)
  double zero_h = 0;         // hh(k) below this: exact zeros beyond k
  std::int64_t m_lo = -1;    // <= (n+1) prob
  std::int64_t m_hi = 0;     // >= (n+1) prob
};

inline constexpr double BINOM_ABSORB = 0x1p27;   // e^(2 delta) * 2 < 2^27
inline constexpr double BINOM_FLOOR = 0x1p-1070;  // absolute slack of exp

constexpr BinomSkip binom_skip(std::int64_t n, double prob) {
  using namespace cxmath;
  BinomSkip b;
  const double l1 = log(prob);
  const double l0 = log(1 - prob);
  // -inf * k is -inf for k >= 1 and the other terms are finite, so every
  // mass with a positive power of the vanishing factor is exactly exp(-inf)
  // = 0.
  if (l1 == -INF) {
    b.kind = 2;
    return b;
  }
  if (l0 == -INF) {
    b.kind = 3;
    return b;
  }
  if (!(n < 0x20000000000000)) return b;
  const double nd = static_cast<double>(n);
  const double M = lgamma(plus_one(n)) + nd * ((-l1) + (-l0)) + 1;
  const double delta = (M * 0x1p-44 + nd * 0x1p-50) + 0x1p-40;
  if (!(delta <= 8)) return b;
  b.zero_h = -800 - 2 * delta;
  // (n + 1) prob, within a relative 2^-51 of its computed value.
  const double q = (nd + 1) * prob;
  const double qlo = q * (1 - 0x1p-50);
  const double qhi = q * (1 + 0x1p-50);
  b.m_lo = static_cast<std::int64_t>(qlo) - 1;  // truncation <= qlo
  b.m_hi = static_cast<std::int64_t>(qhi) + 2;  // > qhi
  b.kind = 1;
  return b;
}

// The top-down sum d(x) + ... + d(0) with the skips of b, bit for bit the
// plain sum.  mass(k) gives binom_mass(k, n, prob) (perhaps from a cache).
template <class Mass>
constexpr double binom_sum_skip(std::int64_t x, const BinomSkip& b, Mass&& mass, InterruptPoll& poll) {
  if (b.kind == 2) return mass(0).d;  // +0 + ... + +0 + d(0)
  if (b.kind == 3) return 0.0;        // all +0
  std::int64_t top = x;
  if (b.kind == 1 && x > b.m_hi && mass(x).h < b.zero_h) {
    // hh(hi) < zero_h with hi >= m_hi: d(hi .. x) are exact zeros.
    std::int64_t lo = b.m_hi, hi = x;
    while (hi - lo > 1) {
      poll.tick();
      const std::int64_t mid = lo + (hi - lo) / 2;
      if (mass(mid).h < b.zero_h)
        hi = mid;
      else
        lo = mid;
    }
    top = hi;
  }
  double s = mass(top).d;
  for (std::int64_t k = top - 1; k >= 0; --k) {
    poll.tick();
    const BinomMass m = mass(k);
    if (b.kind == 1 && k <= b.m_lo) {
      if (m.h < b.zero_h) break;                                 // zeros from k down
      if (s + (m.d + BINOM_FLOOR) * BINOM_ABSORB == s) break;  // absorbed from k down
    }
    s = s + m.d;
  }
  return s;
}

constexpr double binom_sum_down(std::int64_t x, std::int64_t n, double prob, InterruptPoll& poll) {
  const BinomSkip b = binom_skip(n, prob);
  return binom_sum_skip(x, b, [&](std::int64_t k) { return binom_mass(k, n, prob); }, poll);
}

// F(i) of the quantile search as defined for every i >= 0.
template <class Sum>
constexpr double binom_search_cdf(std::int64_t i, std::int64_t n, double prob, Sum&& sum) {
  if (i >= n) return 1.0;
  if (n == 1 && i == 0) return 1 - prob;
  if (i == 0) return dbinom<false>(0, n, prob, false);
  return sum(i);
}

// The quantile as a walk i = 0, 1, 2, ... with every F(i) summed afresh.
constexpr double qbinom_plain(double p, std::int64_t n, double prob) {
  for (std::int64_t i = 0;; ++i) {
    const double F = binom_search_cdf(i, n, prob, [&](std::int64_t x) { return binom_sum_plain(x, n, prob); });
    if (p <= F) return static_cast<double>(i);
  }
}

// Masses of one quantile search, each evaluated once: a window of at most
// 2^20 counts around the first guess (16 MB at most); masses outside it are
// evaluated directly.
struct BinomMassCache {
  std::int64_t n;
  double prob;
  std::int64_t base;
  std::vector<BinomMass> v;
  std::vector<bool> have;
  constexpr BinomMassCache(std::int64_t n_, double prob_, std::int64_t centre)
      : n(n_), prob(prob_), base(0) {
    constexpr std::int64_t W = std::int64_t{1} << 19;
    base = centre > W ? centre - W : 0;
    std::int64_t top = centre < n - W ? centre + W : n;
    v.resize(static_cast<std::size_t>(top - base + 1));
    have.resize(v.size());
  }
  constexpr BinomMass operator()(std::int64_t k) {
    const std::int64_t j = k - base;
    if (j < 0 || j >= static_cast<std::int64_t>(v.size())) return binom_mass(k, n, prob);
    const auto u = static_cast<std::size_t>(j);
    if (!have[u]) {
      v[u] = binom_mass(k, n, prob);
      have[u] = true;
    }
    return v[u];
  }
};

// Masses the skipping sum evaluates for F(x), estimated: from x (or from
// the last mass above the mode that is not an exact zero, about 40
// standard deviations up) down to where the terms are absorbed, about 12
// standard deviations below the mode, or, for x below the mode, about
// 60/(1 - r) counts below x, r = d(x - 1)/d(x) < 1 the ratio of the
// neighbouring masses there (the masses fall at least that fast below x).
constexpr double binom_sum_cost(std::int64_t x, std::int64_t n, double prob, const BinomSkip& b) {
  using namespace cxmath;
  const double terms = static_cast<double>(x) + 1;
  if (b.kind == 2 || b.kind == 3) return 1;
  if (b.kind == 0) return terms;
  const double nd = static_cast<double>(n);
  const double xd = static_cast<double>(x);
  const double mode = (nd + 1) * prob;
  const double sd = sqrt((nd * prob) * (1 - prob));
  double c;
  if (xd >= mode) {
    c = fmin(xd - mode, 40 * sd) + 12 * sd;
  } else {
    const double r = (xd * (1 - prob)) / (((nd - xd) + 1) * prob);
    c = fmin(60 / (1 - r), 12 * sd);
  }
  return fmin(c + 60, terms);
}

// Sums that would need more masses than this (a few tens of milliseconds)
// are not formed: from there on (a million trials and more near the mean)
// the masses are far outside the rule, and the converged CDF answers.
inline constexpr double BINOM_SUM_BUDGET = 32768;

// A literal CDF below this is made of subnormal masses, each rounded to a
// whole number of the smallest subnormal, or is 0 where the true value is
// not: checked.
inline constexpr double BINOM_SMALL_CDF = 0x1p-1000;

// Both shapes above this, near the mean: the uniform asymptotic expansion
// (as in the converged incomplete beta); beyond the deviance
// BINOM_ASYMPTOTIC_DEVIANCE (some 70 standard deviations from the mean) the
// fraction needs only a few levels, and keeps the logarithm of a tail that
// leaves the extended range.
inline constexpr double BINOM_ASYMPTOTIC_SHAPE = 1e11;
inline constexpr double BINOM_ASYMPTOTIC_DEVIANCE = 5000;

// Converged tails of the binomial law at the count x (any int64), for
// n >= 1 and 0 <= prob <= 1:
//   F(x) = I_q(a, b),  a = n - x, b = x + 1, q = 1 - prob,
// and 1 - F(x) = I_prob(b, a).  Whichever of the two lies on the side of
// the beta mean-like point where the continued fraction converges is
// computed from its front factor q^a prob^b / (a B(a, b)) = Bin(x) prob
// (resp. that times a/b for the mirrored form), in log form, times the
// fraction; the other is its complement.
constexpr CountTails binom_tails_converged(std::int64_t x, std::int64_t n, double prob) {
  using namespace cxmath;
  if (x < 0) return {0, 1, -INF_EXT};
  if (x >= n || prob == 0) return {1, 0, 0};
  if (prob == 1) return {0, 1, -INF_EXT};
  const ext P = prob, Q = 1 - P;
  if (n == 1) return {Q, P, xp::log1p(-P)};  // x = 0
  const ext a = n - x, b = ext(x) + 1, N = a + b;
  const ext lnfront = binomial_log_mass(x, n, prob) + xp::log(P);
  if (a > BINOM_ASYMPTOTIC_SHAPE && b > BINOM_ASYMPTOTIC_SHAPE) {
    // N prob - b = (n prob - x) - q, exact but for the last rounding.
    const ext e = count_mean_minus(n, prob, x) - Q;
    const ext D = deviance(b, N * P, e) + deviance(a, N * Q, -e);
    if (D < BINOM_ASYMPTOTIC_DEVIANCE) {
      const cxmath::detail::BetaTail t = cxmath::detail::beta_uniform_asymptotic(a, b, Q, P, cxmath::detail::FrontLog{lnfront, D});
      return {t.P, t.Q, t.P <= ext(0.5) ? xp::log(t.P) : xp::log1p(-t.Q)};
    }
  }
  if (Q < (a + 1) / (N + 2)) {
    const ext lnF = lnfront + xp::log(cxmath::detail::beta_cf_converged(a, b, Q, P, 1));
    const ext F = xp::exp(lnF);
    return {F, 1 - F, lnF};
  }
  const ext lnU = (lnfront + xp::log(a / b)) + xp::log(cxmath::detail::beta_cf_converged(b, a, P, Q, 1));
  const ext U = xp::exp(lnU);
  return {1 - U, U, xp::log1p(-U)};
}

// Where the literal CDF P at x can miss the rule (see the top comment).
constexpr bool pbinom_region(std::int64_t x, std::int64_t n, double prob, double P) {
  return !(P <= 0.5 && P >= BINOM_SMALL_CDF) || binom_magnitude(x, n, prob) > BINOM_MASS_MAGNITUDE;
}

template <bool Checked>
constexpr double pbinom(std::int64_t x, std::int64_t n_trials, double prob, bool give_log_p) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob)) return NaN;
  if (n < 0) return NaN;
  if (prob < 0) return NaN;
  if (prob > 1) return NaN;
  if (x < 0) return dpq::zero(give_log_p);
  if (x >= n) return dpq::one(give_log_p);
  const auto converged = [&](bool lg) { return in_scale(binom_tails_converged(x, n, prob), lg); };
  if (n == 1) return keep_probability<Checked>(1 - prob, give_log_p, false, converged);
  const BinomSkip b = binom_skip(n, prob);
  if (Checked && binom_sum_cost(x, n, prob, b) > BINOM_SUM_BUDGET) return converged(give_log_p);
  InterruptPoll poll;
  const double P = binom_sum_skip(x, b, [&](std::int64_t k) { return binom_mass(k, n, prob); }, poll);
  return keep_probability<Checked>(P, give_log_p, pbinom_region(x, n, prob, P), converged);
}

// The first count whose converged tails (tails(k), any 0 <= k < n) reach
// p, q = 1 - p: steps doubling away from `start`, then bisection.
template <class TailsAt>
constexpr std::int64_t qbinom_converged_search(std::int64_t start, double p, double q, std::int64_t n,
                                               TailsAt&& tails) {
  return first_count(Int64Counts{n}, start, 1, [&](std::int64_t k) { return count_reaches(tails(k), p, q, false); });
}

// The keep step of the quantile, after the literal search found i, the
// first count whose top-down sum reaches p.  The literal answer can be
// wrong where p is above 1/2 (F near 1 carries the absolute error of the
// sums) or below BINOM_SMALL_CDF, where the masses at i are in their
// checked region (masses_checked(), asked only when the rest does not
// decide), or where a logarithm of prob or 1 - prob is below EPS (the
// masses with a power of it are 0); there it is kept when the converged
// tails (tails(k)) confirm it, else search(start) finds the first count
// they reach.  Below the normal range the rule's floor of a few ulps of p
// is no longer small against p: there the answer is searched (from i) with
// exact comparisons, not confirmed within that tolerance.
template <bool Checked, class MassesChecked, class TailsAt, class Search>
constexpr std::int64_t qbinom_keep(std::int64_t i, double p, double prob, MassesChecked&& masses_checked,
                                   TailsAt&& tails, Search&& search) {
  using cxmath::EPS;
  if (Checked && p < BINOM_SMALL_CDF) return search(i);
  const bool region =
      Checked && (!(p <= 0.5 && p >= BINOM_SMALL_CDF) || prob < EPS || 1 - prob < EPS || masses_checked());
  return keep_count<Checked>(i, p, 1 - p, false, region, tails, [&] { return search(i); });
}

// The quantile: the first i with p <= F(i) on the top-down sums, kept
// where the converged CDF confirms it; otherwise, and where the sums
// would cost more than BINOM_SUM_BUDGET masses, the first count whose
// converged CDF reaches p (compared in the tail of the smaller of p and
// 1 - p): steps doubling from a first answer, then bisection, a few dozen
// converged CDFs for any n.
template <bool Checked>
constexpr double qbinom(double p, std::int64_t n_trials, double prob) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob) || n < 0 || prob < 0 || prob > 1 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return static_cast<double>(n);
  const double q = 1 - p;
  const auto tails = [&](std::int64_t k) { return as_tails(binom_tails_converged(k, n, prob)); };
  const Int64Counts counts{n};
  const auto search = [&](std::int64_t start) { return qbinom_converged_search(start, p, q, n, tails); };
  if (n <= 1) {
    // The Bernoulli quantile: F(0) = 1 - prob is rounded for prob below
    // 1/2, which matters only for p from 1/2 on, where the exact test
    // p <= 1 - prob, i.e. prob <= 1 - p, is at hand.
    if (Checked && n == 1 && p >= 0.5) return (1 - p) < prob ? 1.0 : 0.0;
    return qbinom_plain(p, n, prob);
  }
  // Smallest i with p <= F(i): F is non-decreasing and F(n) = 1 >= p, so
  // the answer lies in [0, n].  Start from the normal approximation.
  const double nd = static_cast<double>(n);
  const double g0 = nd * prob + distmill::qnorm(p, 0, 1) * sqrt((nd * prob) * (1 - prob));
  const std::int64_t g = !(g0 > 0) ? 0 : !(g0 < nd - 1) ? n - 1 : static_cast<std::int64_t>(g0);
  const BinomSkip b = binom_skip(n, prob);
  if (Checked && binom_sum_cost(g, n, prob, b) > BINOM_SUM_BUDGET) return static_cast<double>(search(g));
  BinomMassCache cache(n, prob, g);
  InterruptPoll poll;
  auto F = [&](std::int64_t i) {
    poll.tick();
    return binom_search_cdf(i, n, prob, [&](std::int64_t x) { return binom_sum_skip(x, b, cache, poll); });
  };
  const std::int64_t i = first_count(counts, g, 1, [&](std::int64_t k) { return p <= F(k); });
  const std::int64_t kept = qbinom_keep<Checked>(
      i, p, prob, [&] { return binom_magnitude(i, n, prob) > BINOM_MASS_MAGNITUDE; }, tails, search);
  return static_cast<double>(kept);
}

}  // namespace detail

constexpr double pbinom(std::int64_t x, std::int64_t n_trials, double prob, bool give_log_p) {
  return detail::pbinom<true>(x, n_trials, prob, give_log_p);
}
constexpr double qbinom(double p, std::int64_t n_trials, double prob) { return detail::qbinom<true>(p, n_trials, prob); }

}  // namespace distmill
