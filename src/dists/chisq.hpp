// Chi-squared distribution with nu degrees of freedom: the gamma law with
// shape nu/2 and scale 2.
//   density  x^(nu/2-1) e^(-x/2) / (Gamma(nu/2) 2^(nu/2)),
//   CDF      P(nu/2, x/2),
//   quantile 2 P^-1(nu/2, p).
// The CDF and quantile keep the fixed-depth kernels' result wherever it is
// accurate and take the converged one elsewhere (the regions beside the
// kernel, cxmath/incomplete_gamma.hpp).
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_converged.hpp"
#include "dists/dpq.hpp"

namespace distmill {

namespace detail {

template <bool Checked>
constexpr double dchisq(double x, double dof, bool give_log) {
  using namespace cxmath;
  if (isnan(dof)) return NaN;
  if (isnan(x)) return NaN;
  if (dof < 0) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (x == 0) return dpq::value(dof < 2 ? INF : dof == 2 ? 0.5 : 0.0, give_log);
  if (dof == INF || x == INF) return dpq::zero(give_log);
  const double h = dof * 0.5;
  const double ld = (((h - 1) * log(x)) + ((-lgamma(h)) - (LN2_DOUBLE * h))) - (x * 0.5);
  // Where that is not a number: g(x/2)/2, g the unit gamma density.
  return keep_gamma_density<Checked>(ld, give_log, [&] {
    return gamma_log_density_converged(h, static_cast<ext>(x) * ext(0.5)) - xp::log(ext(2.0));
  });
}

template <bool Checked>
constexpr double pchisq(double x, double dof, bool give_log_p) {
  using namespace cxmath;
  if (isnan(dof)) return NaN;
  if (isnan(x)) return NaN;
  if (dof < 0) return NaN;
  if (x < EPS) return dpq::zero(give_log_p);
  if (dof == 0) return dpq::one(give_log_p);
  if (x == INF) return dpq::one(give_log_p);
  if (dof == INF) return dpq::zero(give_log_p);
  // Just above EPS, x/2 is below EPS: the fixed-depth kernel gives 0 there.
  const double h = dof * 0.5, z = x * 0.5;
  const double P = incomplete_gamma(h, z);
  return keep_probability<Checked>(P, give_log_p, incomplete_gamma_region(h, z, P),
                                   [&] { return incomplete_gamma_converged(h, z).P; });
}

template <bool Checked>
constexpr double qchisq(double p, double dof) {
  using namespace cxmath;
  if (isnan(dof) || dof < 0 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  // An infinite dof moves all mass beyond every x (pchisq is 0 there): the
  // quantile is +inf.
  if (Checked && dof == INF) return INF;
  const double h = dof * 0.5;
  double r = incomplete_gamma_inv(h, p);
  // dof = 0 is answered by the kernel's zero-shape rule.
  if (h > 0)
    r = keep_quantile<Checked>(r, p, 1 - p, incomplete_gamma_inv_region(h, r),
                               [&](double v) { return incomplete_gamma_tails(h, v); },
                               [&] { return incomplete_gamma_inv_converged(h, p, 1 - p, r); });
  return r + r;
}

}  // namespace detail

constexpr double dchisq(double x, double dof, bool give_log) { return detail::dchisq<true>(x, dof, give_log); }
constexpr double pchisq(double x, double dof, bool give_log_p) { return detail::pchisq<true>(x, dof, give_log_p); }
constexpr double qchisq(double p, double dof) { return detail::qchisq<true>(p, dof); }

}  // namespace distmill
