// The Poisson mass on lanes: one scalar evaluation per distinct count of a
// call with a fixed rate (dists/lanes/counts.hpp).
#pragma once

#include <cstdint>
#include <vector>

#include "dists/lanes/counts.hpp"
#include "dists/lanes/quantile_norm.hpp"
#include "dists/pois.hpp"

namespace distmill::lanes {

struct Dpois : CountMass<double> {
  using CountMass::CountMass;
};

// The CDF in the same way: one scalar evaluation per distinct count.
struct Ppois : CountMass<double> {
  using CountMass::CountMass;
};

// The quantile over an array of probabilities p with the rate fixed for the
// call (from EPS to where the search's cap, rate + 25 + 9 sqrt(rate), stays
// below COUNT_TABLE).  The literal answer is the first count whose
// fixed-depth CDF F(k) exceeds p, walked up to from 0 (rates below 11) or
// from a normal start; each F(k) and the converged tails the keep step
// compares with depend on the count alone, so the call computes each once,
// at the first element that asks for it, and each element walks the table
// from its start (qpois_fixed) and leaves through the scalar function's own
// keep step (qpois_keep), whose converged search reads the same tails.
// From rate 11 on the start is the normal quantile qnorm(p, rate,
// sqrt(rate)), taken for the whole block by the normal quantile's lanes.
// Every p outside (0, 1), and every element of a call with rates per
// element or outside that range, is the scalar function's.
struct Qpois {
  using Scalar = double (*)(double, double);
  static constexpr int arity = 2;

  struct Count {
    double F = 0;
    cxmath::Tails tails{};
    bool have_F = false, have_tails = false;
  };

  Scalar f;
  bool tabled = false;
  double rate = 0, sigma = 0;
  std::int64_t cap = 0;
  mutable std::vector<Count> counts;  // 0 .. cap
  mutable std::vector<double> normal;  // the block's normal starts (rates from 11)

  Qpois(const Arg* a, Scalar scalar) : f(scalar) {
    rate = element<double>(a[1], 0);
    if (!(a[1].constant && rate >= cxmath::EPS && rate <= detail::POIS_FIXED_QUANTILE_MAX_RATE)) return;
    sigma = cxmath::sqrt(rate);
    cap = detail::pois_quantile_cap(rate);
    tabled = cap < COUNT_TABLE;
    if (tabled) counts.resize(static_cast<std::size_t>(cap + 1));
  }

  // F(k) of the literal walk, from the table for 0 <= k <= cap.
  double F(std::int64_t k) const {
    if (!(k >= 0 && k <= cap)) return detail::pois_cdf(k, rate);
    Count& c = counts[static_cast<std::size_t>(k)];
    if (!c.have_F) {
      c.F = detail::pois_cdf(k, rate);
      c.have_F = true;
    }
    return c.F;
  }

  // The converged tails at a count (a whole number; the searches pass
  // doubles), from the table inside it.
  cxmath::Tails tails(double j) const {
    if (!(j >= 0 && j <= static_cast<double>(cap))) return detail::pois_tails(j, rate);
    Count& c = counts[static_cast<std::size_t>(j)];
    if (!c.have_tails) {
      c.tails = detail::pois_tails(j, rate);
      c.have_tails = true;
    }
    return c.tails;
  }

  // The quantile of p with the normal start qn (read from rate 11 on), or
  // false where the scalar function decides it.
  bool quantile(double p, double qn, double& v) const {
    if (!(p > 0 && p < 1)) return false;
    const auto walk_up = [&](std::int64_t k0) {
      for (std::int64_t j = k0;; ++j) {
        if (F(j) > p) return static_cast<double>(j);
        if (j >= cap) return static_cast<double>(cap);
      }
    };
    const double k = detail::qpois_fixed(p, rate, [&] { return qn; }, [&](std::int64_t j) { return F(j); }, walk_up);
    const auto tails_at = [&](double j) { return tails(j); };
    v = detail::qpois_keep<true>(k, p, rate, tails_at,
                                 [&](double start) { return detail::pois_quantile_search(p, rate, start, tails_at); });
    return true;
  }

  template <class V>
  DISTMILL_LANE_INLINE void block(const Arg* a, double* out, std::size_t n) const {
    if (tabled && rate >= 11) {
      // qnorm(p, rate, sigma) of every element, as the normal quantile's
      // array call computes it.
      normal.resize(n);
      const Arg start[3] = {a[0], {&rate, true, sizeof(double)}, {&sigma, true, sizeof(double)}};
      qnorm_block<false, V>(distmill::qnorm, start, normal.data(), n);
    }
    for (std::size_t k = 0; k < n; ++k) {
      double v = 0;
      const double p = element<double>(a[0], k);
      out[k] = tabled && quantile(p, rate >= 11 ? normal[k] : 0.0, v) ? v : scalar_at(f, a, k);
    }
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
