// The inverse-gamma CDF on lanes: the upper function Q(shape, scale/x) as
// 1 - P(shape, z) with z = (1/x)/(1/scale), P by the gamma CDF's fraction
// on the lanes (dists/lanes/gamma_cdf.hpp), Gamma(shape) once for a shape
// fixed for the call.
#pragma once

#include "cxmath/incomplete_gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/gamma_cdf.hpp"
#include "dists/lanes/keep.hpp"

namespace distmill::lanes {

// pinvgamma(x, shape, scale, log).  Ordinary lanes: x and scale in
// (0, DBL_MAX] with 1/x and 1/scale finite and at least EPS (the gamma
// CDF's guards, met through the reciprocals), shape in [0.05, 10) and z
// from SMALL_Z on, where the gamma CDF's fixed-depth value G = P(shape, z)
// is the fraction.  Those up to 1.5 shape + 2 (outside the checked region)
// with G at most 0.9 (above, the complement cancels and is checked) and
// 1 - G meeting the keep step's conditions leave with 1 - G; the others
// take the scalar function's keep step at the lane's own G
// (pinvgamma_from_value).
struct Pinvgamma {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;
  double ga = 0;

  Pinvgamma(const Arg* a, Scalar scalar) : f(scalar) { fixed = fraction_shape(a[1], element<double>(a[1], 0), ga); }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), shape = load<V>(a[1], i), scale = load<V>(a[2], i);
    ordinary = (x > 0.0) & (x <= cxmath::DBL_MAX_) & (scale > 0.0) & (scale <= cxmath::DBL_MAX_) &
               (shape >= 0.05) & (shape < 10.0);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      scale = select(ordinary, scale, V(1.0));
      shape = select(ordinary, shape, V(1.0));
    }
    const V u = 1.0 / x, r = 1.0 / scale;
    ordinary = ordinary & (u <= cxmath::DBL_MAX_) & (r <= cxmath::DBL_MAX_) & (u >= cxmath::EPS) & (r >= cxmath::EPS);
    V z = u / r;
    const mask_t<V> fraction = ordinary & (z >= cxmath::SMALL_Z);
    if (!all(fraction)) z = select(fraction, z, V(1.0));
    const V g = fixed ? V(ga) : map_where(mask_t<V>(true), shape, shape, [](double s, double) { return cxmath::tgamma(s); });
    const V G = cxmath::detail::incomplete_gamma_cf(shape, z, log(z), g);
    const V R = 1.0 - G;
    ordinary = fraction & !cxmath::incomplete_gamma_cf_region(shape, z) & (G <= 0.9) & (R >= cxmath::SMALL_RESULT);
    const V v = probability_in_scale(a[3], i, R, ordinary);
    alignas(64) double Gd[size_v<V>];
    store(G, Gd);
    return settle_lanes(v, fraction & !ordinary, ordinary, [&](int l) {
      const std::size_t k = i + l;
      const double xk = element<double>(a[0], k), sk = element<double>(a[2], k);
      return detail::pinvgamma_from_value<true>(xk, element<double>(a[1], k), sk, detail::pinvgamma_recip(xk),
                                                detail::pinvgamma_recip(sk), Gd[l], element<bool>(a[3], k));
    });
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
