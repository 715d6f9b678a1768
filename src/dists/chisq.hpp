// Chi-squared distribution with nu degrees of freedom: the gamma law with
// shape nu/2 and scale 2.
//   density  x^(nu/2-1) e^(-x/2) / (Gamma(nu/2) 2^(nu/2)),
//   CDF      P(nu/2, x/2),
//   quantile 2 P^-1(nu/2, p).
// The CDF and quantile keep the fixed-depth kernels' result wherever it is
// accurate and take the converged one elsewhere
// (cxmath/incomplete_gamma_checked.hpp); the detail::*_fixed functions are
// the fixed-depth methods alone.
#pragma once

#include "dists/dpq.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/incomplete_gamma_checked.hpp"
#include "cxmath/incomplete_gamma_sound.hpp"

namespace distmill {

constexpr double dchisq(double x, double dof, bool give_log) {
  using namespace cxmath;
  if (isnan(dof)) return NaN;
  if (isnan(x)) return NaN;
  if (dof < 0) return NaN;
  if (x < 0) return dpq::zero(give_log);
  if (x == 0) {
    const double v = dof < 2 ? INF : dof == 2 ? 0.5 : 0.0;
    return dpq::value(v, give_log);
  }
  if (dof == INF || x == INF) return dpq::zero(give_log);
  const double h = dof * 0.5;
  const double ld = (((h - 1) * log(x)) +
                     ((-lgamma(h)) - (0.6931471805599453 * h))) -  // ln 2
                    (x * 0.5);
  if (isnan(ld)) {
    // 0 * inf or inf - inf at extreme arguments (x below EPS with dof = 2,
    // tiny or huge dof): g(x/2)/2 in extended precision, g the unit gamma
    // density with shape dof/2.
    const ext l = gamma_log_density_sound(h, static_cast<ext>(x) * 0.5L) -
                  gamma_sound::log_ext(2.0L);
    return give_log ? static_cast<double>(l) : static_cast<double>(gamma_sound::exp_range(l));
  }
  return dpq::from_log(ld, give_log);
}

namespace detail {

constexpr double pchisq_impl(double x, double dof, bool give_log_p, bool checked) {
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
  const double P = checked ? incomplete_gamma_checked(h, z) : incomplete_gamma(h, z);
  return dpq::value(P, give_log_p);
}

constexpr double qchisq_impl(double p, double dof, bool checked) {
  using namespace cxmath;
  if (isnan(dof) || dof < 0 || dpq::not_a_probability(p)) return NaN;
  if (p == 0) return 0.0;
  if (p == 1) return INF;
  // dof = 0 gives 0 through the kernel's zero-shape rule.  An infinite dof
  // moves all mass beyond every x (pchisq is 0 there): the quantile is +inf.
  if (checked && dof == INF) return INF;
  const double h = dof * 0.5;
  const double r = checked ? incomplete_gamma_inv_checked(h, p) : incomplete_gamma_inv(h, p);
  return r + r;
}

constexpr double pchisq_fixed(double x, double dof, bool give_log_p) {
  return pchisq_impl(x, dof, give_log_p, false);
}

constexpr double qchisq_fixed(double p, double dof) { return qchisq_impl(p, dof, false); }

}  // namespace detail

constexpr double pchisq(double x, double dof, bool give_log_p) {
  return detail::pchisq_impl(x, dof, give_log_p, true);
}

constexpr double qchisq(double p, double dof) { return detail::qchisq_impl(p, dof, true); }

}  // namespace distmill
