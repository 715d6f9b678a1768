// Probes of the converged beta-side methods and of the fixed-depth
// distribution functions they check, side by side.
#include "probe.hpp"
#include "dists/beta.hpp"
#include "dists/f.hpp"
#include "dists/logis.hpp"
#include "dists/t.hpp"

using cxmath::ext;

// I_x(a, b) and 1 - I_x(a, b) with y = 1 - x formed in extended precision.
PROBE(k_ibeta_sound_p, "d:ddd") double k_ibeta_sound_p(double a, double b, double x) {
  return static_cast<double>(cxmath::incomplete_beta_converged(a, b, x, 1 - static_cast<ext>(x)).P);
}
PROBE(k_ibeta_sound_q, "d:ddd") double k_ibeta_sound_q(double a, double b, double x) {
  return static_cast<double>(cxmath::incomplete_beta_converged(a, b, x, 1 - static_cast<ext>(x)).Q);
}
// 1 - I_x(a, b) at x = 1 - y, for y given exactly.
PROBE(k_ibeta_sound_q_at_y, "d:ddd") double k_ibeta_sound_q_at_y(double a, double b, double y) {
  return static_cast<double>(cxmath::incomplete_beta_converged(a, b, 1 - static_cast<ext>(y), y).Q);
}
// ln I_x(a, b) and ln(1 - I_x(a, b)) in log form, at x = 1 - y for y given
// exactly (the point's smaller end carries the precision).
PROBE(k_ibeta_log_p, "d:ddd") double k_ibeta_log_p(double a, double b, double x) {
  return static_cast<double>(cxmath::incomplete_beta_converged_log(a, b, x, 1 - static_cast<ext>(x)).log_P);
}
PROBE(k_ibeta_log_q_at_y, "d:ddd") double k_ibeta_log_q_at_y(double a, double b, double y) {
  return static_cast<double>(cxmath::incomplete_beta_converged_log(a, b, 1 - static_cast<ext>(y), y).log_Q);
}
// The same at a point of the extended range: x = m 2^e.
PROBE(k_ibeta_log_p_scaled, "d:dddd") double k_ibeta_log_p_scaled(double a, double b, double m, double e) {
  const ext x = cxmath::xp::scale2(m, static_cast<int>(e));
  return static_cast<double>(cxmath::incomplete_beta_converged_log(a, b, x, 1 - x).log_P);
}
// The converged inverse: x and y = 1 - x of the point with I_x(a, b) = p.
PROBE(k_ibeta_inv_sound_x, "d:ddd") double k_ibeta_inv_sound_x(double a, double b, double p) {
  return static_cast<double>(cxmath::incomplete_beta_inv_converged(a, b, p, 1 - static_cast<ext>(p)).x);
}
PROBE(k_ibeta_inv_sound_y, "d:ddd") double k_ibeta_inv_sound_y(double a, double b, double p) {
  return static_cast<double>(cxmath::incomplete_beta_inv_converged(a, b, p, 1 - static_cast<ext>(p)).y);
}

PROBE(k_pbeta_fixed, "d:ddd") double k_pbeta_fixed(double x, double a, double b) {
  return distmill::detail::pbeta<false>(x, a, b, false);
}
PROBE(k_qbeta_fixed, "d:ddd") double k_qbeta_fixed(double p, double a, double b) {
  return distmill::detail::qbeta<false>(p, a, b);
}
PROBE(k_pbeta_converged, "d:ddd") double k_pbeta_converged(double x, double a, double b) {
  return static_cast<double>(distmill::detail::pbeta_tails(x, a, b).lower);
}
PROBE(k_qbeta_converged, "d:ddd") double k_qbeta_converged(double p, double a, double b) {
  return distmill::detail::qbeta_converged(p, a, b, -1);
}
PROBE(k_pbeta_region, "b:ddd") bool k_pbeta_region(double x, double a, double b) {
  return cxmath::incomplete_beta_region(a, b, x);
}
PROBE(k_qbeta_region, "b:ddd") bool k_qbeta_region(double p, double a, double b) {
  return cxmath::incomplete_beta_inv_region(a, b, p);
}

PROBE(k_pf_fixed, "d:ddd") double k_pf_fixed(double x, double d1, double d2) {
  return distmill::detail::pf<false>(x, d1, d2, false);
}
PROBE(k_qf_fixed, "d:ddd") double k_qf_fixed(double p, double d1, double d2) {
  return distmill::detail::qf<false>(p, d1, d2);
}
PROBE(k_pf_converged, "d:ddd") double k_pf_converged(double x, double d1, double d2) {
  return static_cast<double>(distmill::detail::pf_tails(x, d1, d2).lower);
}
PROBE(k_qf_converged, "d:ddd") double k_qf_converged(double p, double d1, double d2) {
  return distmill::detail::qf_converged(p, d1, d2, -1);
}
PROBE(k_pf_region, "b:ddd") bool k_pf_region(double x, double d1, double d2) {
  return distmill::detail::pf_region(x, d1, d2);
}
// The region test needs the fixed-depth beta quantile behind qf.
PROBE(k_qf_region, "b:ddd") bool k_qf_region(double p, double d1, double d2) {
  const double d = distmill::detail::qbeta<false>(p, 0.5 * d1, d2 * 0.5);
  return distmill::detail::qf_region(p, d1, d2, d);
}

PROBE(k_pt_fixed, "d:dd") double k_pt_fixed(double x, double n) { return distmill::detail::pt<false>(x, n, false); }
PROBE(k_qt_fixed, "d:dd") double k_qt_fixed(double p, double n) { return distmill::detail::qt<false>(p, n); }
PROBE(k_pt_converged, "d:dd") double k_pt_converged(double x, double n) {
  return static_cast<double>(distmill::detail::pt_tails(x, n).lower);
}
PROBE(k_qt_converged, "d:dd") double k_qt_converged(double p, double n) {
  return distmill::detail::qt_converged(p, n, cxmath::NaN);
}
PROBE(k_pt_region, "b:dd") bool k_pt_region(double x, double n) {
  return distmill::detail::pt_region(x, n, distmill::detail::pt<false>(x, n, false));
}
PROBE(k_qt_region, "b:dd") bool k_qt_region(double p, double n) { return distmill::detail::qt_region(p, n); }

PROBE(k_probability_agrees, "b:dd") bool k_probability_agrees(double fixed, double converged) {
  return cxmath::probability_agrees(fixed, converged);
}

PROBE(k_plogis_fixed, "d:ddd") double k_plogis_fixed(double x, double mu, double sigma) {
  return distmill::detail::plogis<false>(x, mu, sigma, false);
}
PROBE(k_qlogis_fixed, "d:ddd") double k_qlogis_fixed(double p, double mu, double sigma) {
  return distmill::detail::qlogis<false>(p, mu, sigma);
}
PROBE(k_plogis_converged, "d:ddd") double k_plogis_converged(double x, double mu, double sigma) {
  return static_cast<double>(distmill::detail::plogis_tails(x, mu, sigma).lower);
}
PROBE(k_qlogis_converged, "d:ddd") double k_qlogis_converged(double p, double mu, double sigma) {
  return distmill::detail::qlogis_converged(p, mu, sigma);
}
PROBE(k_plogis_region, "b:ddd") bool k_plogis_region(double x, double mu, double sigma) {
  return distmill::detail::plogis_region(x, mu, sigma);
}
PROBE(k_qlogis_region, "b:ddd") bool k_qlogis_region(double p, double mu, double sigma) {
  return distmill::detail::qlogis_region(p, mu, sigma, distmill::detail::qlogis<false>(p, mu, sigma));
}

// Log-densities: fixed-depth, converged, and the region flag.
PROBE(k_dbeta_log_fixed, "d:ddd") double k_dbeta_log_fixed(double x, double a, double b) {
  return distmill::detail::dbeta<false>(x, a, b, true);
}
PROBE(k_dbeta_log_converged, "d:ddd") double k_dbeta_log_converged(double x, double a, double b) {
  return distmill::detail::dbeta_log_converged(x, a, b);
}
PROBE(k_dbeta_region, "b:ddd") bool k_dbeta_region(double x, double a, double b) {
  return cxmath::beta_log_density_region(a, b, x);
}
PROBE(k_df_log_fixed, "d:ddd") double k_df_log_fixed(double x, double d1, double d2) {
  return distmill::detail::df<false>(x, d1, d2, true);
}
PROBE(k_df_fixed, "d:dddb") double k_df_fixed(double x, double d1, double d2, bool lg) {
  return distmill::detail::df<false>(x, d1, d2, lg);
}
PROBE(k_dbeta_fixed, "d:dddb") double k_dbeta_fixed(double x, double a, double b, bool lg) {
  return distmill::detail::dbeta<false>(x, a, b, lg);
}
PROBE(k_dt_fixed, "d:ddb") double k_dt_fixed(double x, double n, bool lg) { return distmill::detail::dt<false>(x, n, lg); }
PROBE(k_df_log_converged, "d:ddd") double k_df_log_converged(double x, double d1, double d2) {
  return distmill::detail::df_log_converged(x, d1, d2);
}
PROBE(k_df_region, "b:ddd") bool k_df_region(double x, double d1, double d2) {
  return distmill::detail::df_region(x, d1, d2);
}
PROBE(k_dt_log_fixed, "d:dd") double k_dt_log_fixed(double x, double n) { return distmill::detail::dt<false>(x, n, true); }
PROBE(k_dt_log_converged, "d:dd") double k_dt_log_converged(double x, double n) {
  return distmill::detail::dt_log_converged(x, n);
}
PROBE(k_dt_region, "b:dd") bool k_dt_region(double x, double n) { return distmill::detail::dt_region(x, n); }
PROBE(k_log_density_agrees, "b:dd") bool k_log_density_agrees(double fixed, double converged) {
  return cxmath::log_density_agrees(fixed, converged);
}
PROBE(k_density_agrees, "b:dd") bool k_density_agrees(double fixed, double converged) {
  return cxmath::density_agrees(fixed, converged);
}
