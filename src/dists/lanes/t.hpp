// Student's t density on lanes.
#pragma once

#include "dists/lanes/block.hpp"
#include "dists/lanes/quantile_norm.hpp"
#include "dists/lanes/refine.hpp"
#include "dists/t.hpp"

namespace distmill::lanes {

// dt(x, dof, log).  Ordinary lanes: finite x, dof in [DT_SMALL_DOF,
// DT_LARGE_DOF] and x (x/dof) at most DT_LARGE_RATIO, the complement of the
// scalar function's checked region (dt_region); there the log-density is
// finite and the keep step takes it as it is.  Every other lane (NaN,
// infinities, an infinite dof, tiny and huge dof) is the scalar function's.
// The log-gammas stay scalar steps per lane; for a dof fixed for the call
// they, and the dof's whole part of the log-density, are taken once.
struct Dt {
  using Scalar = double (*)(double, double, bool);
  static constexpr int arity = 3;

  Scalar f;
  bool fixed = false;  // the dof is one ordinary value for the call
  double r = 0, c = 0;  // then (n + 1)/2 and the part of the dof alone

  Dt(const Arg* a, Scalar scalar) : f(scalar) {
    const double n = element<double>(a[1], 0);
    if (a[1].constant && n >= detail::DT_SMALL_DOF && n <= detail::DT_LARGE_DOF) {
      fixed = true;
      const double h = 0.5 * n;
      r = 0.5 + h;
      c = detail::dt_log_norm(cxmath::lgamma(r), cxmath::log(n), cxmath::lgamma(h));
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), n = load<V>(a[1], i);
    ordinary = finite(x) & (n >= detail::DT_SMALL_DOF) & (n <= detail::DT_LARGE_DOF);
    if (none(ordinary)) return V(0.0);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.0));
      n = select(ordinary, n, V(1.0));
    }
    const V s = detail::dt_ratio(x, n);
    ordinary = ordinary & (s <= detail::DT_LARGE_RATIO);
    V rv, cv;
    if (fixed) {
      rv = V(r);
      cv = V(c);
    } else {
      const V h = 0.5 * n;
      rv = 0.5 + h;
      const V lg_r = map_where(ordinary, rv, rv, [](double v, double) { return cxmath::lgamma(v); });
      const V lg_h = map_where(ordinary, h, h, [](double v, double) { return cxmath::lgamma(v); });
      cv = detail::dt_log_norm(lg_r, cxmath::lanes::log(n), lg_h);
    }
    return from_log(a[2], i, detail::dt_log_formula(rv, cxmath::lanes::log(s + 1.0), cv));
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// qt(p, dof) for a dof fixed for the call (finite, at least EPS, neither 1
// nor 2, with a positive factor d of the start): the elements whose start
// takes the asymptotic branch get the normal quantile X of P/2 it expands
// about from the inverse error function's refinement batched across the
// block (the fixed-depth qnorm(P/2, 0, 1) step by step), and leave through
// the scalar function's own keep step (qt_keep), which checks them where it
// must.  The dof's terms of the start are taken once.  Every other element
// (p not inside (0, 1), the small-tail branch, P/2 so small that the
// inverse's guard decides it) is the scalar function's.
struct Qt {
  using Scalar = double (*)(double, double);
  static constexpr int arity = 2;

  Scalar f;
  bool fixed = false;
  double dof = 0, two_over_dof = 0;
  detail::QtTerms s{};

  Qt(const Arg* a, Scalar scalar) : f(scalar) {
    const double n = element<double>(a[1], 0);
    if (a[1].constant && n >= cxmath::EPS && n < cxmath::INF && n != 1 && n != 2) {
      s = detail::qt_terms(n);
      fixed = s.D > 0;
      dof = n;
      two_over_dof = 2 / n;
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE void block(const Arg* a, double* out, std::size_t n) const {
    if (!fixed) {
      for (std::size_t k = 0; k < n; ++k) out[k] = scalar_at(f, a, k);
      return;
    }
    const auto enter = [&](std::size_t k, double& y, double& x) {
      const double p = element<double>(a[0], k);
      if (p > 0 && p < 1) {
        const double P = detail::qt_two_tailed_probability(p);
        if (cxmath::pow(P * s.D, two_over_dof) > 0.05 + s.A) {
          // qnorm(P/2, 0, 1): erf_inv((P/2 + P/2) - 1), unless its guard
          // decides (an infinite X).
          const double ph = 0.5 * P;
          const double yk = (ph + ph) - 1;
          double guarded = 0;
          if (!cxmath::detail::erf_inv_guard(yk, guarded)) {
            y = yk;
            x = cxmath::detail::erf_inv_guess(yk);
            return true;
          }
        }
      }
      out[k] = scalar_at(f, a, k);
      return false;
    };
    const auto leave = [&](std::size_t k, double v) {
      const double p = element<double>(a[0], k);
      const double X = v * (1.0 * cxmath::SQRT2_DOUBLE) + 0.0;
      out[k] = cxmath::unify_nan(detail::qt_keep<true>(p, dof, detail::qt_signed(p, detail::qt_asymptotic(s, dof, X))));
    };
    refine_block<ErfInvSteps, V>(ErfInvSteps{}, n, enter, leave);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
