// The beta and F quantiles on lanes: the incomplete beta inverse's damped
// Halley steps batched across elements (refine.hpp), for shapes fixed for
// the call.
#pragma once

#include "cxmath/incomplete_beta.hpp"
#include "dists/beta.hpp"
#include "dists/f.hpp"
#include "dists/lanes/beta_cdf.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/refine.hpp"

namespace distmill::lanes {

// The refinement of z with I_z(a, b) = p (cxmath::detail::incomplete_beta_refine)
// for shapes fixed for the call, with ln B of both orders taken once: the
// evaluation gives the beta density at z (the next D) and I_z(a, b), each
// lane on its own side of the mean-like point; a vanishing D ends the
// element with its current iterate.  Iterates within EPS of an end, outside
// [0, 1] or NaN are evaluated by the scalar kernels lane by lane, while the
// pack runs the fraction at EPS, where it ends within a few levels.
// I_z(a, b) as incomplete_beta_sides takes it for shapes fixed for the call,
// given ln z and ln(1 - z).  A lane on the lower side runs the fraction at
// (a, b, z), whose front factor takes both logarithms as they are; one on
// the upper side runs it at (b, a, 1 - z), whose front factor takes
// ln(1 - z) and ln(1 - (1 - z)): that is ln z itself wherever 1 - (1 - z)
// rounds back to z (always for z >= 1/2), and is taken afresh elsewhere.
template <class V>
DISTMILL_LANE_INLINE V incomplete_beta_sides_logs(const V& a, const V& b, const V& z, const V& L_ab,
                                                  const V& L_ba, const V& ln_z, const V& ln_1mz) {
  using namespace cxmath::lanes;
  using cxmath::detail::incomplete_beta_front;
  using cxmath::detail::incomplete_beta_levels;
  const mask_t<V> upper = !(z < (a + 1.0) / ((a + b) + 2.0));
  if (none(upper)) return incomplete_beta_levels(a, b, z, incomplete_beta_front(a, b, ln_z, ln_1mz, L_ab));
  const V A = select(upper, b, a), B = select(upper, a, b);
  const V Z = select(upper, 1.0 - z, z);
  const V W = 1.0 - Z;
  V ln_W = select(upper, ln_z, ln_1mz);
  const mask_t<V> fresh = upper & (W != z);
  if (any(fresh)) ln_W = select(fresh, cxmath::lanes::log(W), ln_W);
  const V I = incomplete_beta_levels(A, B, Z, incomplete_beta_front(A, B, select(upper, ln_1mz, ln_z), ln_W,
                                                                    select(upper, L_ba, L_ab)));
  return select(upper, 1.0 - I, I);
}

struct BetaInvSteps {
  static constexpr int steps = cxmath::detail::BETA_INV_STEPS;
  double a = 1, b = 1, L_ab = 0, L_ba = 0;
  cxmath::detail::BetaInvStart start;  // the start's terms of the shapes

  template <class V>
  DISTMILL_LANE_INLINE void eval(const V& x, V& e, V& f) const {
    using namespace cxmath::lanes;
    if constexpr (is_scalar_v<V>) {
      e = cxmath::detail::incomplete_beta_density(a, b, L_ab, x);
      f = cxmath::detail::incomplete_beta_given(a, b, x, L_ab, L_ba);
    } else {
      const mask_t<V> inside = beta_cdf_inside(x);
      const V z = select(inside, x, V(cxmath::EPS));
      const V A(a), B(b), Lab(L_ab), Lba(L_ba);
      const V ln_z = cxmath::lanes::log(z), ln_1mz = cxmath::lanes::log(1.0 - z);
      e = cxmath::detail::incomplete_beta_density_logs(A, B, Lab, ln_z, ln_1mz);
      f = incomplete_beta_sides_logs(A, B, z, Lab, Lba, ln_z, ln_1mz);
      if (!all(inside))
        for (int l = 0; l < size_v<V>; ++l) {
          if (lane(inside, l)) continue;
          f.set_lane(l, cxmath::detail::incomplete_beta_given(a, b, x.lane(l), L_ab, L_ba));
          e.set_lane(l, cxmath::detail::incomplete_beta_density(a, b, L_ab, x.lane(l)));
        }
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V step(const V& y, const V& x, const V& D, const V& f) const {
    return cxmath::detail::incomplete_beta_inv_step(V(a), V(b), y, x, D, f);
  }

  template <class V>
  DISTMILL_LANE_INLINE mask_t<V> ends(const V& D) const {
    if constexpr (cxmath::lanes::is_scalar_v<V>)
      return cxmath::tiny(D);
    else
      return (D == 0.0) | (cxmath::lanes::fabs(D) < cxmath::EPS);
  }
};

// Shapes fixed for a call that the lanes take: finite, and outside the
// shape part of the inverse's checked region (p = 1/2 meets none of its
// tail rules), where the keep step would check every element.
inline bool beta_inv_shapes_fixed(double a, double b) {
  return a > 0 && b > 0 && a <= cxmath::DBL_MAX_ && b <= cxmath::DBL_MAX_ &&
         !cxmath::incomplete_beta_inv_region(a, b, 0.5);
}

inline BetaInvSteps beta_inv_steps(double a, double b) {
  return {a, b, cxmath::lbeta(a, b), cxmath::lbeta(b, a), cxmath::detail::incomplete_beta_inv_shapes(a, b)};
}

// An element p the lanes refine: one that neither the scalar function's
// guards nor the inverse's own ends (p below EPS, 1 - p within EPS of 0)
// decide (NaN fails).  Its tails too: the keep step checks those where it
// leaves the lanes.
DISTMILL_LANE_INLINE bool beta_inv_ordinary(double p) {
  return p >= cxmath::EPS && p <= 1 && !cxmath::tiny(1 - p);
}

// The starts of a block's elements where both shapes exceed 1: the normal
// approximation on packs of p (its logarithm, square roots and
// exponential).
template <class V>
struct BetaInvGuesses {
  PackGuesses<V> g;

  template <class P>
  DISTMILL_LANE_INLINE BetaInvGuesses(const BetaInvSteps& r, std::size_t n, P&& p_at) {
    if (!r.start.normal) return;
    g.fill(n, p_at, beta_inv_ordinary,
           [&](const V& p) __attribute__((always_inline)) {
             return cxmath::detail::incomplete_beta_inv_guess_normal(r.start, p);
           });
  }

  // Element k's target y = p and start x; false for an element the lanes do
  // not refine.
  DISTMILL_LANE_INLINE bool enter(const BetaInvSteps& r, std::size_t k, double p, double& y, double& z) const {
    if (!beta_inv_ordinary(p)) return false;
    y = p;
    z = k < g.count ? g.x[k] : cxmath::detail::incomplete_beta_inv_guess(r.start, p);
    return true;
  }
};

// The whole block of a quantile refined by the beta inverse (qbeta, qf):
// the elements the start admits run on the lanes, and each refined beta
// quantile leaves through k.from_inverse(p, z), the scalar function's own
// keep step (which checks it where it must); every other element is the
// scalar function's.
template <class V, class Kernel>
DISTMILL_LANE_INLINE void beta_inv_block(const BetaInvSteps& r, double (*f)(double, double, double), const Arg* a,
                                         double* out, std::size_t n, const Kernel& k) {
  const auto scalar = [&](std::size_t i) { out[i] = scalar_at(f, a, i); };
  const auto p_at = [&](std::size_t i) { return element<double>(a[0], i); };
  const BetaInvGuesses<V> guesses(r, n, p_at);
  const auto enter = [&](std::size_t i, double& y, double& x) {
    if (guesses.enter(r, i, p_at(i), y, x)) return true;
    scalar(i);
    return false;
  };
  const auto leave = [&](std::size_t i, double z) { out[i] = cxmath::unify_nan(k.from_inverse(p_at(i), z)); };
  refine_block<BetaInvSteps, V>(r, n, enter, leave);
}

// qbeta(p, a, b).  The lanes take shapes fixed for the call outside the
// checked region.
struct Qbeta {
  using Scalar = double (*)(double, double, double);
  static constexpr int arity = 3;

  Scalar f;
  bool fixed = false;
  BetaInvSteps r;

  Qbeta(const Arg* a, Scalar scalar) : f(scalar) {
    const double sa = element<double>(a[1], 0), sb = element<double>(a[2], 0);
    if (a[1].constant && a[2].constant && beta_inv_shapes_fixed(sa, sb)) {
      fixed = true;
      r = beta_inv_steps(sa, sb);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE void block(const Arg* a, double* out, std::size_t n) const {
    if (fixed)
      beta_inv_block<V>(r, f, a, out, n, *this);
    else
      for (std::size_t k = 0; k < n; ++k) out[k] = scalar_at(f, a, k);
  }

  // The quantile of an element from its beta quantile z.  (Doubles only:
  // one function for every lane type.)
  double from_inverse(double p, double z) const { return detail::qbeta_from_inverse<true>(p, r.a, r.b, z); }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// qf(p, df1, df2): the beta quantile d of shapes (df1/2, df2/2), then
// d / ((h1/h2)(1 - d)).  The lanes take finite degrees of freedom fixed for
// the call whose shapes are outside the inverse's checked region.
struct Qf {
  using Scalar = double (*)(double, double, double);
  static constexpr int arity = 3;

  Scalar f;
  bool fixed = false;
  double df1 = 0, df2 = 0;
  BetaInvSteps r;

  Qf(const Arg* a, Scalar scalar) : f(scalar) {
    const double d1 = element<double>(a[1], 0), d2 = element<double>(a[2], 0);
    if (a[1].constant && a[2].constant && d1 >= cxmath::EPS && d2 >= cxmath::EPS && d1 <= cxmath::DBL_MAX_ &&
        d2 <= cxmath::DBL_MAX_ && beta_inv_shapes_fixed(d1 * 0.5, d2 * 0.5)) {
      fixed = true;
      df1 = d1;
      df2 = d2;
      r = beta_inv_steps(d1 * 0.5, d2 * 0.5);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE void block(const Arg* a, double* out, std::size_t n) const {
    if (fixed)
      beta_inv_block<V>(r, f, a, out, n, *this);
    else
      for (std::size_t i = 0; i < n; ++i) out[i] = scalar_at(f, a, i);
  }

  // The quantile of an element from its beta quantile d.  (Doubles only:
  // one function for every lane type.)
  double from_inverse(double p, double d) const { return detail::qf_from_inverse<true>(p, df1, df2, d); }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
