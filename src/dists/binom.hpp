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
// Above 1/2 the top-down sum carries an absolute error of a few ulps of 1
// plus the relative error of the masses themselves (their ln Gamma terms
// are good to a few ulps of n ln n: 4e-12 relative at n = 2400), which is
// a growing part of the complement 1 - F as F approaches 1; near 1 the sum
// can even end above 1.  Where the sum exceeds 1/2 the CDF is therefore
// checked against the complement summed directly, U = d(x+1) + d(x+2) + ...
// (in extended precision, from the largest term outwards until the terms
// no longer count), whose error is that relative error of the masses on U
// alone; the sum is kept only when it agrees with 1 - U by the rule of
// cxmath/agreement.hpp, and a sum above 1 never does.  The quantile does
// the same above p = 1/2 (see qbinom).
#pragma once

#include <cstdint>

#include <vector>

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "dists/counts.hpp"
#include "dists/dpq.hpp"
#include "dists/interrupt.hpp"
#include "dists/norm.hpp"

namespace distmill {

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
    return dpq::value(v, give_log);
  }
  double h;
  if (x == 0) {
    h = log(1 - prob) * static_cast<double>(n);
  } else if (x == n) {
    h = log(prob) * static_cast<double>(x);
  } else {
    const double A = lgamma(detail::plus_one(n));
    const double B = lgamma(static_cast<double>(x + 1));
    const double C = lgamma((static_cast<double>(n) - static_cast<double>(x)) + 1);
    h = ((A - (C + B)) + log(prob) * static_cast<double>(x)) +
        log(1 - prob) * static_cast<double>(n - x);
  }
  return dpq::from_log(h, give_log);
}

namespace detail {

// d(x) + d(x-1) + ... + d(0), accumulated from the top (n >= 2, 0 <= x < n).
// The literal loop: the reference every faster sum must match bit for bit.
constexpr double binom_sum_plain(std::int64_t x, std::int64_t n, double prob) {
  double s = dbinom(x, n, prob, false);
  for (std::int64_t k = x - 1; k >= 0; --k) s = s + dbinom(k, n, prob, false);
  return s;
}

// A mass in both forms: hh = dbinom(k, n, prob, true) and d = exp(hh),
// which is exactly dbinom(k, n, prob, false).
struct BinomMass {
  double h;
  double d;
};

constexpr BinomMass binom_mass(std::int64_t k, std::int64_t n, double prob) {
  const double h = dbinom(k, n, prob, true);
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
  if (i == 0) return dbinom(0, n, prob, false);
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

// U(x) = d(x+1) + d(x+2) + ... + d(n) in extended precision (0 for x >= n).
// Once past the mode the masses fall off at least geometrically; the sum
// stops when a term is below 2^-66 of it.
constexpr cxmath::ext binom_upper_sum(std::int64_t x, std::int64_t n, double prob,
                                      InterruptPoll& poll) {
  const double mode = (static_cast<double>(n) + 1) * prob;
  cxmath::ext U = 0;
  // k runs from x + 1 to n, counted so that it never steps past n (which
  // may be the largest int64).
  for (std::int64_t k = x; k < n;) {
    ++k;
    poll.tick();
    const cxmath::ext d = dbinom(k, n, prob, false);
    U = U + d;
    if (static_cast<double>(k) > mode && d <= U * 0x1p-66_x) break;
  }
  return U;
}

// 1 - U(x), rounded once (x < n).
constexpr double binom_complement_sum(std::int64_t x, std::int64_t n, double prob,
                                      InterruptPoll& poll) {
  const double F = static_cast<double>(1 - binom_upper_sum(x, n, prob, poll));
  return F < 0 ? 0.0 : F;
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
  double P;
  if (n == 1) {
    P = 1 - prob;
  } else {
    InterruptPoll poll;
    P = binom_sum_down(x, n, prob, poll);
  }
  // Above 1/2 the complement summed directly decides; its logarithm is
  // log1p of minus the upper sum.  At or below 1/2 the top-down sum is the
  // converged value itself, in extended precision for its logarithm.
  return keep_probability<Checked>(P, give_log_p, P > 0.5, [&](bool lg) -> double {
    if (lg && !(P > 0.5)) return static_cast<double>(xp::log(static_cast<ext>(P)));
    InterruptPoll poll;
    if (lg) return static_cast<double>(xp::log1p(-binom_upper_sum(x, n, prob, poll)));
    return binom_complement_sum(x, n, prob, poll);
  });
}

// The quantile: the first i with p <= F(i) on the top-down sums.  Above
// 1/2 (where the top-down sums are checked in pbinom) the answer i is
// confirmed on the complements summed directly: F(i) >= p and
// F(i - 1) < p, as U(i) <= 1 - p < U(i - 1).  Otherwise the smallest i
// with U(i) <= 1 - p is searched: steps doubling from the fixed-depth
// answer, then bisection.  Each U costs the masses from i + 1 to where they
// stop counting, so the search stays in the upper tail.
template <bool Checked>
constexpr double qbinom(double p, std::int64_t n_trials, double prob) {
  using namespace cxmath;
  const std::int64_t n = n_trials;
  if (!isfinite(prob) || n < 0 || prob < 0 || prob > 1 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return static_cast<double>(n);
  if (n <= 1) return qbinom_plain(p, n, prob);
  // Smallest i with p <= F(i): F is non-decreasing and F(n) = 1 >= p, so
  // the answer lies in [0, n].  Start from the normal approximation.
  const double nd = static_cast<double>(n);
  const double g0 = nd * prob + distmill::qnorm(p, 0, 1) * sqrt((nd * prob) * (1 - prob));
  const std::int64_t g = !(g0 > 0) ? 0 : !(g0 < nd - 1) ? n - 1 : static_cast<std::int64_t>(g0);
  const BinomSkip b = binom_skip(n, prob);
  BinomMassCache cache(n, prob, g);
  InterruptPoll poll;
  auto F = [&](std::int64_t i) {
    poll.tick();
    return binom_search_cdf(i, n, prob, [&](std::int64_t x) { return binom_sum_skip(x, b, cache, poll); });
  };
  const Int64Counts counts{n};
  const std::int64_t i = first_count(counts, g, 1, [&](std::int64_t k) { return p <= F(k); });
  const double q = 1 - p;
  InterruptPoll upper_poll;
  const auto tails = [&](std::int64_t k) {
    const double U = k >= n ? 0.0 : static_cast<double>(binom_upper_sum(k, n, prob, upper_poll));
    return Tails{1 - static_cast<ext>(U), U};
  };
  const std::int64_t kept = keep_count<Checked>(i, p, q, false, p > 0.5, tails, [&] {
    return first_count(counts, i, 1, [&](std::int64_t k) { return count_reaches(tails(k), p, q, false); });
  });
  return static_cast<double>(kept);
}

}  // namespace detail

constexpr double pbinom(std::int64_t x, std::int64_t n_trials, double prob, bool give_log_p) {
  return detail::pbinom<true>(x, n_trials, prob, give_log_p);
}
constexpr double qbinom(double p, std::int64_t n_trials, double prob) { return detail::qbinom<true>(p, n_trials, prob); }

}  // namespace distmill
