// The log-normal density on lanes.
#pragma once

#include "dists/lanes/block.hpp"
#include "dists/lnorm.hpp"

namespace distmill::lanes {

// ln x of the log-normal lanes, given `ordinary` = the lanes whose
// arguments passed the function's own guards: harmless values (1, 0, 1) in
// the other lanes first, then `ordinary` narrowed to the lanes where ln x
// is usable as the scalar functions use it: not taken as 0 away from
// x = 1, ln x - mu finite, and its rounding within the bound
// (lnorm_log_precise).
template <class V>
DISTMILL_LANE_INLINE V lnorm_log_x(V& x, V& mu, V& sigma, mask_t<V>& ordinary) {
  using namespace cxmath::lanes;
  if (!all(ordinary)) {
    x = select(ordinary, x, V(1.0));
    mu = select(ordinary, mu, V(0.0));
    sigma = select(ordinary, sigma, V(1.0));
  }
  const V lx = log_core(x);
  ordinary = ordinary & !((lx == 0.0) & (x != 1.0)) & finite(lx - mu) & detail::lnorm_log_precise(lx, mu, sigma);
  return lx;
}

// dlnorm(x, mu, sigma, log): the normal log-density L at lx = ln x, then
// L - lx with the flag and e^L / x without.  Ordinary lanes: x in
// [EPS, DBL_MAX], finite mu, sigma in [EPS, DBL_MAX], lx - mu finite, and
// outside the scalar function's checked regions: lx not taken as 0 away
// from x = 1, its rounding within the bound (lnorm_log_precise), and
// without the flag no density e^L below the least normal double at x < 1
// (which the division would bring back into the normal range).  Every
// other lane is the scalar function's.  For a sigma fixed for the call the
// normalising term is taken once.
struct Dlnorm {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed_k = false;  // sigma is one ordinary value for the call
  double k = 0;          // then k = -ln sqrt(2 pi) - ln sigma

  Dlnorm(const Arg* a, Scalar scalar) : f(scalar) {
    const double sigma = element<double>(a[2], 0);
    if (a[2].constant && sigma >= cxmath::EPS && sigma <= cxmath::DBL_MAX_) {
      fixed_k = true;
      k = detail::dnorm_log_scale(cxmath::log_core(sigma));
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    ordinary = (x >= cxmath::EPS) & (x <= cxmath::DBL_MAX_) & finite(mu) & (sigma >= cxmath::EPS) &
               (sigma <= cxmath::DBL_MAX_);
    const V lx = lnorm_log_x(x, mu, sigma, ordinary);
    const V kv = fixed_k ? V(k) : detail::dnorm_log_scale(log_core(sigma));
    const V L = detail::dnorm_log_formula(lx, mu, sigma, kv);
    const mask_t<V> give_log = a[3].constant ? mask_t<V>(element<bool>(a[3], 0)) : load_flag<V>(a[3], i);
    if (all(give_log)) return L - lx;
    const V d = exp(L);
    ordinary = ordinary & (give_log | !((d < detail::DLNORM_SMALL_DENSITY) & (x < 1.0)));
    if (none(give_log)) return d / x;
    return select(give_log, L - lx, d / x);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
