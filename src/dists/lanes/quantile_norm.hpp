// The normal and log-normal quantiles on lanes: the inverse error function's
// damped Halley steps batched across elements (refine.hpp).
#pragma once

#include "cxmath/erf.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/refine.hpp"
#include "dists/lnorm.hpp"
#include "dists/norm.hpp"

namespace distmill::lanes {

// erf(x) given e = exp((-x) * x), lane by lane as detail::erf_given_exp.
// The iterates of the ordinary quantiles stay below the branch switch, so
// the large branch is evaluated only when some lane has crossed it; lanes
// at 0, below EPS in size, infinite or NaN take the scalar function.
template <class V>
DISTMILL_LANE_INLINE V erf_given_exp_lanes(const V& x, const V& e) {
  using namespace cxmath::lanes;
  if constexpr (is_scalar_v<V>) {
    return cxmath::detail::erf_given_exp(x, e);
  } else {
    const V z = fabs(x);
    const mask_t<V> plain = (z >= cxmath::EPS) & (z <= cxmath::DBL_MAX_);
    const mask_t<V> large = z > cxmath::detail::ERF_SWITCH;
    const V zs = select(plain & !large, z, V(1.0));
    V r = cxmath::detail::erf_small_branch(zs, e);
    if (any(plain & large)) {
      const V zl = select(plain & large, z, V(3.0));
      r = select(large, cxmath::detail::erf_large_branch(zl, e), r);
    }
    r = select(x < 0.0, -r, r);
    if (!all(plain))
      for (int l = 0; l < size_v<V>; ++l)
        if (!lane(plain, l)) r.set_lane(l, cxmath::detail::erf_given_exp(x.lane(l), e.lane(l)));
    return r;
  }
}

// The inverse error function's refinement (cxmath::detail::erf_inv_refine):
// e = e^(-x^2), f = erf x, and the damped Halley step.
struct ErfInvSteps {
  static constexpr int steps = cxmath::detail::ERF_INV_STEPS;
  template <class V>
  DISTMILL_LANE_INLINE static void eval(const V& x, V& e, V& f) {
    e = cxmath::lanes::exp((-x) * x);
    f = erf_given_exp_lanes(x, e);
  }
  template <class V>
  DISTMILL_LANE_INLINE static V step(const V& y, const V& x, const V& D, const V& f) {
    return cxmath::detail::erf_inv_step(y, x, D, f);
  }
};

// Elements of qnorm(p, mu, sigma) and qlnorm(p, mu, sigma) whose fixed-depth
// value the scalar function returns as it is: a tail of p of at least
// QNORM_TAIL (so p is a probability strictly inside (0, 1) and 2p - 1 needs
// none of the inverse's guards), finite mu with |mu| <= LOCATION_RESOLUTION
// sigma, sigma at least the least normal double and sigma sqrt 2 finite.
// The value itself must then come out finite (checked on leaving).
DISTMILL_LANE_INLINE bool qnorm_ordinary(double p, double mu, double sigma) {
  return cxmath::isfinite(mu) && sigma >= detail::QNORM_SMALL_SCALE && !detail::qnorm_region(p, mu, sigma, 0.0);
}

// The whole block of qnorm (Log false) or qlnorm (Log true).
template <bool Log, class V>
DISTMILL_LANE_INLINE void qnorm_block(double (*f)(double, double, double), const Arg* a, double* out,
                                      std::size_t n) {
  const auto scalar = [&](std::size_t k) { out[k] = scalar_at(f, a, k); };
  const auto enter = [&](std::size_t k, double& y, double& x) {
    const double p = element<double>(a[0], k);
    if (!qnorm_ordinary(p, element<double>(a[1], k), element<double>(a[2], k))) {
      scalar(k);
      return false;
    }
    y = (p + p) - 1;
    x = cxmath::detail::erf_inv_guess(y);
    return true;
  };
  const auto leave = [&](std::size_t k, double v) {
    const double mu = element<double>(a[1], k), sigma = element<double>(a[2], k);
    const double qn = v * (sigma * cxmath::SQRT2_DOUBLE) + mu;
    if (!(cxmath::fabs(qn) < cxmath::INF)) return scalar(k);
    if constexpr (Log) {
      const double q = cxmath::exp(qn);
      if (!(q > 0 && q < cxmath::INF)) return scalar(k);
      out[k] = q;
    } else {
      out[k] = qn;
    }
  };
  refine_block<ErfInvSteps, V>(ErfInvSteps{}, n, enter, leave);
}

// qnorm(p, mu, sigma) (LogNormal false) and qlnorm(p, mu, sigma) (true), a
// block at a time.
template <bool LogNormal>
struct QnormBlocks {
  using Scalar = double (*)(double, double, double);
  static constexpr int arity = 3;

  Scalar f;
  QnormBlocks(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE void block(const Arg* a, double* out, std::size_t n) const {
    qnorm_block<LogNormal, V>(f, a, out, n);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};
using Qnorm = QnormBlocks<false>;
using Qlnorm = QnormBlocks<true>;

}  // namespace distmill::lanes
