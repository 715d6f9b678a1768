// The gamma density on lanes.
#pragma once

#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/lanes/block.hpp"

namespace distmill::lanes {

// The lanes whose log-density ld the keep step of the gamma side leaves
// alone (gamma_density_region with the lane's log flag): ld finite and the
// magnitudes of its terms at most DENSITY_TERMS_BOUND times the tolerance's
// scale, |ld| for a log-density beyond 1 in magnitude with the flag, else 1.
template <class V>
DISTMILL_LANE_INLINE mask_t<V> gamma_density_kept(const Arg& flag, std::size_t i, const V& ld, const V& terms) {
  using namespace cxmath::lanes;
  const V mag = fabs(ld);
  V bound = V(cxmath::DENSITY_TERMS_BOUND);
  if (flag.constant) {
    if (element<bool>(flag, 0)) bound = select(mag > 1.0, V(cxmath::DENSITY_TERMS_BOUND) * mag, bound);
  } else {
    bound = select(load_flag<V>(flag, i) & (mag > 1.0), V(cxmath::DENSITY_TERMS_BOUND) * mag, bound);
  }
  return finite(ld) & (terms <= bound);
}

// ln Gamma of every lane's shape, a scalar step per lane (its sum is
// extended).
template <class V>
DISTMILL_LANE_INLINE V lgamma_lanes(const V& shape) {
  return cxmath::lanes::map_where(mask_t<V>(true), shape, shape, [](double s, double) { return cxmath::lgamma(s); });
}

// dgamma(x, shape, scale, log).  Ordinary lanes: x in [EPS, DBL_MAX] (below
// EPS the logarithm of x is -inf and the value is checked), shape in
// [DENSITY_SMALL_SHAPE, DBL_MAX] and scale in [EPS, DBL_MAX], where the
// log-density is finite and the scalar function's keep step would not
// check it: the magnitudes of its terms add up to at most
// DENSITY_TERMS_BOUND times the tolerance's scale (gamma_density_region,
// with the log flag of the lane).  Every other lane is the scalar
// function's.  ln Gamma(shape) stays a scalar step per lane (its sum is
// extended); for a shape and scale fixed for the call it is taken once, as
// are ln(scale) shape and the parameters' part of the log-density.
struct Dgamma {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed_shape = false, fixed_scale = false;
  double lgamma_shape = 0, ln_scale = 0;
  double t_s = 0, c = 0;  // when both are fixed

  Dgamma(const Arg* a, Scalar scalar) : f(scalar) {
    const double shape = element<double>(a[1], 0), scale = element<double>(a[2], 0);
    if (a[1].constant && shape >= cxmath::DENSITY_SMALL_SHAPE && shape <= cxmath::DBL_MAX_) {
      fixed_shape = true;
      lgamma_shape = cxmath::lgamma(shape);
    }
    if (a[2].constant && scale >= cxmath::EPS && scale <= cxmath::DBL_MAX_) {
      fixed_scale = true;
      ln_scale = cxmath::log_core(scale);
    }
    if (fixed_shape && fixed_scale) {
      t_s = ln_scale * shape;
      c = detail::dgamma_log_norm(lgamma_shape, t_s);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), shape = load<V>(a[1], i), scale = load<V>(a[2], i);
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & (shape >= cxmath::DENSITY_SMALL_SHAPE) &
               (shape <= cxmath::DBL_MAX_) & (scale >= cxmath::EPS) & (scale <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      shape = select(ordinary, shape, V(1.0));
      scale = select(ordinary, scale, V(1.0));
    }
    V lg, ts, cv;
    if (fixed_shape && fixed_scale) {
      lg = V(lgamma_shape);
      ts = V(t_s);
      cv = V(c);
    } else {
      lg = fixed_shape ? V(lgamma_shape) : lgamma_lanes(shape);
      ts = (fixed_scale ? V(ln_scale) : log_core(scale)) * shape;
      cv = detail::dgamma_log_norm(lg, ts);
    }
    const V tx = (shape - 1.0) * log_core(x), te = x / scale;
    const V ld = detail::dgamma_log_formula(tx, cv, te);
    // The scalar function's region, lane by lane: the tolerance's scale is
    // |ld| for a log-density beyond 1 in magnitude, else 1.
    ordinary = ordinary & gamma_density_kept(a[3], i, ld, detail::dgamma_terms(tx, lg, ts, te));
    return from_log(a[3], i, ld);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// dchisq(x, dof, log): the gamma density of shape h = dof/2 and scale 2.
// Ordinary lanes: x in [EPS, DBL_MAX], h at least DENSITY_SMALL_SHAPE and
// dof finite, and the log-density outside the keep step's region
// (gamma_density_kept).  For a dof fixed for the call ln Gamma(h), ln(2) h
// and the parameters' part are taken once.
struct Dchisq {
  using Scalar = double (*)(double, double, bool);
  static constexpr int arity = 3;

  Scalar f;
  bool fixed = false;
  double lg = 0, t_2 = 0, c = 0;

  Dchisq(const Arg* a, Scalar scalar) : f(scalar) {
    const double dof = element<double>(a[1], 0), h = dof * 0.5;
    if (a[1].constant && h >= cxmath::DENSITY_SMALL_SHAPE && dof <= cxmath::DBL_MAX_) {
      fixed = true;
      lg = cxmath::lgamma(h);
      t_2 = cxmath::LN2_DOUBLE * h;
      c = detail::dgamma_log_norm(lg, t_2);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), dof = load<V>(a[1], i);
    V h = dof * 0.5;
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & (h >= cxmath::DENSITY_SMALL_SHAPE) &
               (dof <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      h = select(ordinary, h, V(1.0));
    }
    V lgv, t2, cv;
    if (fixed) {
      lgv = V(lg);
      t2 = V(t_2);
      cv = V(c);
    } else {
      lgv = lgamma_lanes(h);
      t2 = V(cxmath::LN2_DOUBLE) * h;
      cv = detail::dgamma_log_norm(lgv, t2);
    }
    const V tx = (h - 1.0) * log_core(x), te = x * 0.5;
    const V ld = detail::dgamma_log_formula(tx, cv, te);
    ordinary = ordinary & gamma_density_kept(a[2], i, ld, detail::dgamma_terms(tx, lgv, t2, te));
    return from_log(a[2], i, ld);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// dinvgamma(x, shape, scale, log).  Ordinary lanes: x and scale in
// [EPS, DBL_MAX] (below EPS their logarithms are -inf and the value is
// checked), shape in [DENSITY_SMALL_SHAPE, DBL_MAX], and the log-density
// outside the keep step's region (gamma_density_kept).  ln Gamma(shape) and
// ln(scale) are taken once when fixed for the call, and with both fixed
// ln(scale) shape and the parameters' part.
struct Dinvgamma {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed_shape = false, fixed_scale = false;
  double lgamma_shape = 0, ln_scale = 0;
  double t_s = 0, c = 0;  // when both are fixed

  Dinvgamma(const Arg* a, Scalar scalar) : f(scalar) {
    const double shape = element<double>(a[1], 0), scale = element<double>(a[2], 0);
    if (a[1].constant && shape >= cxmath::DENSITY_SMALL_SHAPE && shape <= cxmath::DBL_MAX_) {
      fixed_shape = true;
      lgamma_shape = cxmath::lgamma(shape);
    }
    if (a[2].constant && scale >= cxmath::EPS && scale <= cxmath::DBL_MAX_) {
      fixed_scale = true;
      ln_scale = cxmath::log_core(scale);
    }
    if (fixed_shape && fixed_scale) {
      t_s = ln_scale * shape;
      c = detail::dinvgamma_log_norm(lgamma_shape, t_s);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), shape = load<V>(a[1], i), scale = load<V>(a[2], i);
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & (shape >= cxmath::DENSITY_SMALL_SHAPE) &
               (shape <= cxmath::DBL_MAX_) & (scale >= cxmath::EPS) & (scale <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(1.0));
      shape = select(ordinary, shape, V(1.0));
      scale = select(ordinary, scale, V(1.0));
    }
    V lg, ts, cv;
    if (fixed_shape && fixed_scale) {
      lg = V(lgamma_shape);
      ts = V(t_s);
      cv = V(c);
    } else {
      lg = fixed_shape ? V(lgamma_shape) : lgamma_lanes(shape);
      ts = (fixed_scale ? V(ln_scale) : log_core(scale)) * shape;
      cv = detail::dinvgamma_log_norm(lg, ts);
    }
    const V tx = ((-shape) - 1.0) * log_core(x), te = scale / x;
    const V ld = detail::dgamma_log_formula(tx, cv, te);
    ordinary = ordinary & gamma_density_kept(a[3], i, ld, detail::dinvgamma_terms(tx, lg, ts, te));
    return from_log(a[3], i, ld);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
