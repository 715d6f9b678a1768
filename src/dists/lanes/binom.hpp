// The binomial mass on lanes: one scalar evaluation per distinct count of a
// call with a fixed number of trials and probability (dists/lanes/counts.hpp).
#pragma once

#include <cstdint>
#include <vector>

#include "dists/binom.hpp"
#include "dists/lanes/counts.hpp"

namespace distmill::lanes {

struct Dbinom : CountMass<std::int64_t, double> {
  using CountMass::CountMass;
};

// The CDF in the same way: one scalar evaluation per distinct count.
struct Pbinom : CountMass<std::int64_t, double> {
  using CountMass::CountMass;
};

// The quantile over an array of probabilities p with the number of trials n
// (2 <= n < COUNT_TABLE) and the probability fixed for the call.  Its
// literal answer is the first count i whose top-down sum of masses F(i)
// reaches p; each F(i), each mass in it, the converged tails the keep step
// compares with and the masses' region test depend on the count alone, so
// the call computes each once, at the first element that asks for it, and
// F is non-decreasing (dists/binom.hpp), so bisection over [0, n] finds the
// answer the scalar function's galloping search finds.  The scalar
// function's keep step (qbinom_keep) then decides the element, its search
// on the converged CDF, where it runs, reading the same table.  Every p
// outside (0, 1), and every element of a call with parameters per element
// or more trials, is the scalar function's.
struct Qbinom {
  using Scalar = double (*)(double, std::int64_t, double);
  static constexpr int arity = 3;

  struct Count {
    detail::BinomMass mass{};
    double F = 0;
    cxmath::Tails tails{};
    bool have_mass = false, have_F = false, have_tails = false;
    signed char masses_checked = -1;  // unknown yet
  };

  Scalar f;
  bool tabled = false;
  std::int64_t n = 0;
  double prob = 0;
  detail::BinomSkip skip;
  mutable std::vector<Count> counts;  // 0 .. n
  mutable InterruptPoll poll;

  Qbinom(const Arg* a, Scalar scalar) : f(scalar) {
    n = element<std::int64_t>(a[1], 0);
    prob = element<double>(a[2], 0);
    tabled = a[1].constant && a[2].constant && n >= 2 && n < COUNT_TABLE && cxmath::isfinite(prob) && prob >= 0 &&
             prob <= 1;
    if (!tabled) return;
    skip = detail::binom_skip(n, prob);
    counts.resize(static_cast<std::size_t>(n + 1));
  }

  Count& at(std::int64_t k) const { return counts[static_cast<std::size_t>(k)]; }

  detail::BinomMass mass(std::int64_t k) const {
    Count& c = at(k);
    if (!c.have_mass) {
      c.mass = detail::binom_mass(k, n, prob);
      c.have_mass = true;
    }
    return c.mass;
  }

  // F(k) of the literal search, 0 <= k < n.
  double F(std::int64_t k) const {
    Count& c = at(k);
    if (!c.have_F) {
      poll.tick();
      c.F = detail::binom_search_cdf(k, n, prob, [&](std::int64_t x) {
        return detail::binom_sum_skip(x, skip, [&](std::int64_t j) { return mass(j); }, poll);
      });
      c.have_F = true;
    }
    return c.F;
  }

  cxmath::Tails tails(std::int64_t k) const {
    Count& c = at(k);
    if (!c.have_tails) {
      c.tails = detail::as_tails(detail::binom_tails_converged(k, n, prob));
      c.have_tails = true;
    }
    return c.tails;
  }

  bool masses_checked(std::int64_t k) const {
    Count& c = at(k);
    if (c.masses_checked < 0) c.masses_checked = detail::binom_magnitude(k, n, prob) > detail::BINOM_MASS_MAGNITUDE;
    return c.masses_checked > 0;
  }

  // The quantile of p, or false where the scalar function decides it.
  bool quantile(double p, double& v) const {
    if (!(p > 0 && p < 1)) return false;
    // F(lo) < p <= F(hi); F(n) = 1 is never asked.
    std::int64_t lo = -1, hi = n;
    while (hi - lo > 1) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      if (p <= F(mid))
        hi = mid;
      else
        lo = mid;
    }
    const auto tails_at = [&](std::int64_t k) { return tails(k); };
    const std::int64_t kept = detail::qbinom_keep<true>(
        hi, p, prob, [&] { return masses_checked(hi); }, tails_at,
        [&](std::int64_t start) { return detail::qbinom_converged_search(start, p, 1 - p, n, tails_at); });
    v = static_cast<double>(kept);
    return true;
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    return per_element<V>(ordinary,
                          [&](int l, double& v) { return tabled && quantile(element<double>(a[0], i + l), v); });
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
