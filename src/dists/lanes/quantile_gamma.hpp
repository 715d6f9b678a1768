// The gamma, chi-squared and inverse-gamma quantiles on lanes: the inverse
// incomplete gamma function's damped Halley steps batched across elements
// (refine.hpp), for a shape fixed for the call in the range where P(a, x)
// is the continued fraction; each refined inverse then takes the scalar
// function's keep step.
#pragma once

#include <type_traits>

#include "cxmath/incomplete_gamma.hpp"
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/refine.hpp"

namespace distmill::lanes {

// The refinement of cxmath::detail::incomplete_gamma_refine for the shape
// a: e the density factor exp((a - 1) ln x - x - ln Gamma(a)), f = P(a, x),
// ln x serving both, and the damped Halley step.  P is 0 below EPS and NaN
// at a NaN iterate, as incomplete_gamma_given has it; the fraction runs on
// a harmless argument in those lanes.
struct GammaInvSteps {
  static constexpr int steps = cxmath::detail::GAMMA_INV_STEPS;
  double a = 1, am1 = 0, lg = 0, ga = 1;

  template <class V>
  DISTMILL_LANE_INLINE void eval(const V& x, V& e, V& f) const {
    using namespace cxmath::lanes;
    const V lx = log(x);
    e = exp(((lx * V(am1)) - x) - V(lg));
    const mask_t<V> inside = x >= cxmath::EPS;
    if (all(inside)) {
      f = cxmath::detail::incomplete_gamma_cf(V(a), x, lx, V(ga));
      return;
    }
    const V P = cxmath::detail::incomplete_gamma_cf(V(a), select(inside, x, V(1.0)), select(inside, lx, V(0.0)),
                                                    V(ga));
    f = select(inside, P, select(x == x, V(0.0), V(cxmath::NaN)));
  }
  template <class V>
  DISTMILL_LANE_INLINE V step(const V& y, const V& x, const V& D, const V& f) const {
    return cxmath::detail::incomplete_gamma_inv_step(y, V(am1), x, D, f);
  }
};

// Which quantile: qgamma (x = scale P^-1(shape, p)), qchisq (2 P^-1(dof/2,
// p)) or qinvgamma (scale / P^-1(shape, 1 - p)).
enum class GammaLaw { gamma, chisq, invgamma };

template <GammaLaw Law>
struct GammaQuantileBlocks {
  static constexpr bool chisq = Law == GammaLaw::chisq;
  using Scalar = std::conditional_t<chisq, double (*)(double, double), double (*)(double, double, double)>;
  static constexpr int arity = chisq ? 2 : 3;

  Scalar f;
  // Lanes only for a shape the whole call shares, from EPS up to 10, where
  // P is the fraction; from 10 on, P is the quadrature, already batched
  // across its nodes within an element.
  bool fixed = false;
  GammaInvSteps r;
  double m = 0, s3 = 0;  // the start's terms of a shape above 1

  GammaQuantileBlocks(const Arg* a, Scalar scalar) : f(scalar) {
    const double shape = chisq ? element<double>(a[1], 0) * 0.5 : element<double>(a[1], 0);
    if (a[1].constant && shape >= cxmath::EPS && shape < 10) {
      fixed = true;
      r.a = shape;
      r.am1 = shape - 1;
      r.lg = cxmath::lgamma(shape);
      r.ga = cxmath::tgamma(shape);
      m = 1 - 1 / (9 * shape);
      s3 = cxmath::sqrt(shape) * 3;
    }
  }

  // The elements none of the scalar function's guards decides enter a
  // lane: the target t (p, or 1 - p for the inverse gamma) at least EPS and
  // 1 - t beyond EPS, a finite scale above the guards' bounds.  The refined
  // inverse leaves through the scalar function's own keep step
  // (*_from_inverse), which checks it where it must.
  template <class V>
  DISTMILL_LANE_INLINE void block(const Arg* a, double* out, std::size_t n) const {
    if (!fixed) {
      for (std::size_t k = 0; k < n; ++k) out[k] = scalar_at(f, a, k);
      return;
    }
    // The target of element k, and its start on packs for shapes above 1.
    const auto target = [&](std::size_t k) {
      const double p = element<double>(a[0], k);
      return Law == GammaLaw::invgamma ? 1 - p : p;
    };
    PackGuesses<V> guesses;
    if (r.a > 1)
      guesses.fill(
          n, target, [](double t) { return t > 0 && t < 1; },
          [&](const V& t) __attribute__((always_inline)) {
            return cxmath::detail::incomplete_gamma_inv_guess_normal(r.a, m, s3, t);
          });
    const auto enter = [&](std::size_t k, double& y, double& x) {
      const double p = element<double>(a[0], k);
      bool ordinary = p >= cxmath::EPS && p < 1;
      if constexpr (Law == GammaLaw::gamma) {
        const double scale = element<double>(a[2], k);
        ordinary = ordinary && scale >= cxmath::EPS && scale <= cxmath::DBL_MAX_;
      } else if constexpr (Law == GammaLaw::invgamma) {
        const double scale = element<double>(a[2], k);
        ordinary = ordinary && scale > 0 && scale <= cxmath::DBL_MAX_;
      }
      const double t = target(k);
      if (!(ordinary && t >= cxmath::EPS && cxmath::fabs(1 - t) >= cxmath::EPS)) {
        out[k] = scalar_at(f, a, k);
        return false;
      }
      y = t;
      x = k < guesses.count ? guesses.x[k] : cxmath::detail::incomplete_gamma_inv_guess(r.a, t);
      return true;
    };
    const auto leave = [&](std::size_t k, double v) {
      const double p = element<double>(a[0], k);
      double q;
      if constexpr (Law == GammaLaw::gamma)
        q = detail::qgamma_from_inverse<true>(p, r.a, element<double>(a[2], k), v);
      else if constexpr (Law == GammaLaw::chisq)
        q = detail::qchisq_from_inverse<true>(p, r.a, v);
      else
        q = detail::qinvgamma_from_inverse<true>(p, r.a, element<double>(a[2], k), v);
      out[k] = cxmath::unify_nan(q);
    };
    refine_block<GammaInvSteps, V>(r, n, enter, leave);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};
using Qgamma = GammaQuantileBlocks<GammaLaw::gamma>;
using Qchisq = GammaQuantileBlocks<GammaLaw::chisq>;
using Qinvgamma = GammaQuantileBlocks<GammaLaw::invgamma>;

}  // namespace distmill::lanes
