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
#include "dists/gamma.hpp"

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
  const double lg = lgamma(h);
  const double t_x = (h - 1) * log(x), t_2 = LN2_DOUBLE * h, t_e = x * 0.5;
  // The gamma log-density of shape h and scale 2 (t_2 = ln(2) h >= 0 is
  // its own magnitude), on the helpers the lanes use too.
  const double ld = dgamma_log_formula(t_x, dgamma_log_norm(lg, t_2), t_e);
  // Checked below EPS (ln x taken as -inf), at small dof and where the terms
  // are large (gamma_density_region), and where ld is not a number.
  // Converged: g(x/2)/2, g the unit gamma density.
  const bool region = x < EPS || gamma_density_region(h, dgamma_terms(t_x, lg, t_2, t_e), ld, give_log);
  return keep_gamma_density<Checked>(ld, give_log, region, [&] {
    return gamma_log_density_converged(h, static_cast<ext>(x) * ext(0.5)) - xp::log(ext(2.0));
  });
}

// The CDF from the fixed-depth value P = P(h, z), h = dof/2 and z = x/2, for
// finite arguments past the guards (the array calls' lanes, which form P
// themselves, end here too).
template <bool Checked>
constexpr double pchisq_from_value(double x, double h, double z, double P, bool give_log_p) {
  using namespace cxmath;
  return keep_probability<Checked>(P, give_log_p, x < EPS || incomplete_gamma_region(h, z, P), [&](bool give_log) {
    return incomplete_gamma_in_scale(h, static_cast<ext>(x) * ext(0.5), false, give_log);
  });
}

template <bool Checked>
constexpr double pchisq(double x, double dof, bool give_log_p) {
  using namespace cxmath;
  if (isnan(dof)) return NaN;
  if (isnan(x)) return NaN;
  if (dof < 0) return NaN;
  // Below EPS the fixed-depth answer is 0; checked, a positive x goes on
  // (P(h, x/2) ~ (x/2)^h / Gamma(1 + h) is not small for small dof).
  if (x < EPS && !(Checked && x > 0)) return dpq::zero(give_log_p);
  if (dof == 0) return dpq::one(give_log_p);
  if (x == INF) return dpq::one(give_log_p);
  if (dof == INF) return dpq::zero(give_log_p);
  // Just above EPS, x/2 is below EPS: the fixed-depth kernel gives 0 there.
  const double h = dof * 0.5, z = x * 0.5;
  return pchisq_from_value<Checked>(x, h, z, x < EPS ? 0.0 : incomplete_gamma(h, z), give_log_p);
}

// The quantile from the fixed-depth inverse r = P^-1(h, p), h = dof/2, past
// the guards (the array calls' lanes, which refine r themselves, end here
// too).
template <bool Checked>
constexpr double qchisq_from_inverse(double p, double h, double r) {
  using namespace cxmath;
  // dof = 0 is answered by the kernel's zero-shape rule.
  if (!(h > 0)) return r + r;
  const GammaScale law{2.0, false};
  return keep_quantile<Checked>(r + r, p, 1 - p, incomplete_gamma_inv_region(h, r),
                                [&](double v) { return gamma_law_tails(h, law, v); },
                                [&] { return gamma_quantile_converged(h, p, 1 - p, law, r); });
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
  return qchisq_from_inverse<Checked>(p, h, incomplete_gamma_inv(h, p));
}

}  // namespace detail

constexpr double dchisq(double x, double dof, bool give_log) { return detail::dchisq<true>(x, dof, give_log); }
constexpr double pchisq(double x, double dof, bool give_log_p) { return detail::pchisq<true>(x, dof, give_log_p); }
constexpr double qchisq(double p, double dof) { return detail::qchisq<true>(p, dof); }

}  // namespace distmill
