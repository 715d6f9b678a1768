// The beta-side CDFs on lanes: pbeta, pt and pf, each an incomplete beta
// I_z(a, b) at a point and shapes of its own per element.
#pragma once

#include "cxmath/incomplete_beta.hpp"
#include "dists/beta.hpp"
#include "dists/f.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/keep.hpp"
#include "dists/t.hpp"

namespace distmill::lanes {

// Shapes whose incomplete beta the scalar functions take unchecked: the
// shape part of incomplete_beta_region lane by lane (both at least
// BETA_SMALL_SHAPE, and the error scale M max(1, ln M)/min(1, m) within
// BETA_SHAPE_BOUND, formed as beta_shape_error_scale forms it).  A NaN or
// an infinite shape fails it.
template <class V>
DISTMILL_LANE_INLINE mask_t<V> beta_cdf_shapes(const V& a, const V& b) {
  using namespace cxmath::lanes;
  mask_t<V> ok = (a >= cxmath::BETA_SMALL_SHAPE) & (b >= cxmath::BETA_SMALL_SHAPE) & finite(a) & finite(b);
  if (none(ok)) return ok;
  const V M = select(a > b, a, b);
  const V m = select(a > b, b, a);
  const V w = select(m < 1.0, m, V(1.0));
  const mask_t<V> quick = (M * select(M > cxmath::E_DOUBLE, M, V(1.0))) / w <= cxmath::BETA_SHAPE_BOUND;
  if (all(quick | !ok)) return ok & (M / w <= cxmath::BETA_SHAPE_BOUND);
  const mask_t<V> big = M > cxmath::E_DOUBLE;
  const V lnM = select(big, cxmath::lanes::log(select(big & ok, M, V(2.0))), V(1.0));
  return ok & (select(quick, M / w, (M * lnM) / w) <= cxmath::BETA_SHAPE_BOUND);
}

// The shape part of the region for shapes fixed for a call.
inline bool beta_cdf_shapes_fixed(double a, double b) {
  return a >= cxmath::BETA_SMALL_SHAPE && b >= cxmath::BETA_SMALL_SHAPE && a <= cxmath::DBL_MAX_ &&
         b <= cxmath::DBL_MAX_ && !cxmath::incomplete_beta_region(a, b, 0.5);
}

// ln B(a, b) of one order of the shapes and of the other, taken once for a
// call whose shapes are fixed.
struct BetaLogs {
  double ab = 0, ba = 0;
};

// I_z(a, b) as incomplete_beta takes it, for lanes with z in [EPS, 1 - EPS]
// and ordinary shapes: each lane chooses its side of the mean-like point
// (a + 1)/(a + b + 2) and runs the fraction with its own (a, b, z), or
// (b, a, 1 - z) and the complement.  ln B of the order each lane uses comes
// from `fixed` (ln B(a, b), ln B(b, a) for all lanes) or, without it, from a
// scalar step per ordinary lane.
template <class V>
DISTMILL_LANE_INLINE V incomplete_beta_sides(const V& a, const V& b, const V& z, const V* L_ab, const V* L_ba,
                                             const mask_t<V>& ordinary) {
  using namespace cxmath::lanes;
  const mask_t<V> upper = !(z < (a + 1.0) / ((a + b) + 2.0));
  V A = a, B = b, Z = z, L;
  if (none(upper)) {
    L = L_ab ? *L_ab : map_where(ordinary, A, B, [](double p, double q) { return cxmath::lbeta(p, q); });
    return cxmath::detail::incomplete_beta_fraction(A, B, Z, L);
  }
  A = select(upper, b, a);
  B = select(upper, a, b);
  Z = select(upper, 1.0 - z, z);
  L = L_ab ? select(upper, *L_ba, *L_ab) : map_where(ordinary, A, B, [](double p, double q) { return cxmath::lbeta(p, q); });
  const V I = cxmath::detail::incomplete_beta_fraction(A, B, Z, L);
  return select(upper, 1.0 - I, I);
}

// z at least EPS from both ends, as incomplete_beta_region asks (a NaN
// fails it).
template <class V>
DISTMILL_LANE_INLINE mask_t<V> beta_cdf_inside(const V& z) {
  return (z >= cxmath::EPS) & ((1.0 - z) >= cxmath::EPS);
}

// pbeta(x, a, b, log).  Ordinary lanes: x in [EPS, 1 - EPS] and finite
// shapes outside the checked region (beta_cdf_shapes), then the probability
// where the keep step takes it as it is (probability_in_scale).  For shapes
// fixed for the call the region and both ln B are taken once.
struct Pbeta {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;
  BetaLogs lb;

  Pbeta(const Arg* a, Scalar scalar) : f(scalar) {
    const double sa = element<double>(a[1], 0), sb = element<double>(a[2], 0);
    if (a[1].constant && a[2].constant && beta_cdf_shapes_fixed(sa, sb)) {
      fixed = true;
      lb = {cxmath::lbeta(sa, sb), cxmath::lbeta(sb, sa)};
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), sa = load<V>(a[1], i), sb = load<V>(a[2], i);
    ordinary = fixed ? beta_cdf_inside(x) : beta_cdf_inside(x) & beta_cdf_shapes(sa, sb);
    if (none(ordinary)) return V(0.0);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.5));
      sa = select(ordinary, sa, V(2.0));
      sb = select(ordinary, sb, V(2.0));
    }
    const V L_ab(lb.ab), L_ba(lb.ba);
    const V P = incomplete_beta_sides(sa, sb, x, fixed ? &L_ab : nullptr, fixed ? &L_ba : nullptr, ordinary);
    return probability_in_scale(a[3], i, P, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// pt(x, dof, log) through the beta law (pt_beta): I at x^2/(n + x^2) with
// shapes (1/2, n/2) where n > x^2, else at 1/(x (x/n) + 1) with shapes
// (n/2, 1/2), and the t CDF formed from it.  Ordinary lanes: finite x, a
// finite dof of at least EPS other than 1 and 2 (the closed forms), the
// beta point and shapes outside the beta region, and a CDF the keep step
// takes as it is (not a lower tail below PT_LOWER_TAIL, pt_region).  For a
// dof fixed for the call the region and the ln B of both orders are taken
// once.
struct Pt {
  using Scalar = double (*)(double, double, bool);
  static constexpr int arity = 3;

  Scalar f;
  bool fixed = false;
  BetaLogs lb;  // ln B(1/2, n/2) and ln B(n/2, 1/2)

  Pt(const Arg* a, Scalar scalar) : f(scalar) {
    const double n = element<double>(a[1], 0);
    if (a[1].constant && n >= cxmath::EPS && n <= cxmath::DBL_MAX_ && n != 1 && n != 2 &&
        beta_cdf_shapes_fixed(0.5, n * 0.5)) {
      fixed = true;
      lb = {cxmath::lbeta(0.5, n * 0.5), cxmath::lbeta(n * 0.5, 0.5)};
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), n = load<V>(a[1], i);
    ordinary = finite(x);
    if (!fixed) ordinary = ordinary & (n >= cxmath::EPS) & (n <= cxmath::DBL_MAX_) & (n != 1.0) & (n != 2.0);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      n = select(ordinary, n, V(3.0));
    }
    const V s = x * x;
    const V h = n * 0.5;
    const mask_t<V> low = n > s;
    V z;
    if (all(low))
      z = s / (n + s);
    else if (none(low))
      z = 1.0 / ((x / n) * x + 1.0);
    else
      z = select(low, s / (n + s), 1.0 / ((x / n) * x + 1.0));
    V A = select(low, V(0.5), h), B = select(low, h, V(0.5));
    ordinary = ordinary & beta_cdf_inside(z);
    if (!fixed) ordinary = ordinary & beta_cdf_shapes(A, B);
    if (none(ordinary)) return V(0.0);
    if (!all(ordinary)) {
      // Lanes left to the scalar function run the fraction on a harmless
      // point, so they cannot hold the pack to the last level.
      z = select(ordinary, z, V(0.25));
      A = select(ordinary, A, V(2.0));
      B = select(ordinary, B, V(2.0));
    }
    const V L_sh(lb.ab), L_hs(lb.ba);
    const V L_ab = select(low, L_sh, L_hs), L_ba = select(low, L_hs, L_sh);
    const V I = incomplete_beta_sides(A, B, z, fixed ? &L_ab : nullptr, fixed ? &L_ba : nullptr, ordinary);
    const mask_t<V> positive = x > 0.0;
    const V half = I * 0.5;
    const V F = select(low, select(positive, 1.0 - (0.5 - half), 0.5 - half),
                       select(positive, 1.0 - half, half));
    ordinary = ordinary & ((x >= 0.0) | (F >= detail::PT_LOWER_TAIL));
    return probability_in_scale(a[2], i, F, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// pf(x, df1, df2, log): I_z(df1/2, df2/2) at z = r/(1 + r), r = x df1/df2.
// Ordinary lanes: finite x of at least EPS and finite degrees of freedom of
// at least EPS (the scalar function's guards and limits), outside its
// checked region (pf_region: df2/2 (1 + r) at most PF_UPPER_TAIL_BOUND, z
// and the shapes outside the beta region), then a probability the keep step
// takes as it is.  For degrees of freedom fixed for the call the shape
// region and the ln B of both orders are taken once.
struct Pf {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;
  BetaLogs lb;  // ln B(h1, h2) and ln B(h2, h1)

  Pf(const Arg* a, Scalar scalar) : f(scalar) {
    const double d1 = element<double>(a[1], 0), d2 = element<double>(a[2], 0);
    if (a[1].constant && a[2].constant && d1 >= cxmath::EPS && d1 <= cxmath::DBL_MAX_ && d2 >= cxmath::EPS &&
        d2 <= cxmath::DBL_MAX_ && beta_cdf_shapes_fixed(0.5 * d1, d2 * 0.5)) {
      fixed = true;
      lb = {cxmath::lbeta(0.5 * d1, d2 * 0.5), cxmath::lbeta(d2 * 0.5, 0.5 * d1)};
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), d1 = load<V>(a[1], i), d2 = load<V>(a[2], i);
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_);
    if (!fixed)
      ordinary = ordinary & (d1 >= cxmath::EPS) & (d1 <= cxmath::DBL_MAX_) & (d2 >= cxmath::EPS) &
                 (d2 <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      d1 = select(ordinary, d1, V(4.0));
      d2 = select(ordinary, d2, V(4.0));
    }
    const V r = (x * d1) / d2;
    V z = r / (1.0 + r);
    V h1 = 0.5 * d1;
    V h2 = d2 * 0.5;
    ordinary = ordinary & (h2 * (1.0 + r) <= detail::PF_UPPER_TAIL_BOUND) & beta_cdf_inside(z);
    if (!fixed) ordinary = ordinary & beta_cdf_shapes(h1, h2);
    if (none(ordinary)) return V(0.0);
    if (!all(ordinary)) {
      z = select(ordinary, z, V(0.25));
      h1 = select(ordinary, h1, V(2.0));
      h2 = select(ordinary, h2, V(2.0));
    }
    const V L_ab(lb.ab), L_ba(lb.ba);
    const V P = incomplete_beta_sides(h1, h2, z, fixed ? &L_ab : nullptr, fixed ? &L_ba : nullptr, ordinary);
    return probability_in_scale(a[3], i, P, ordinary);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
