// Student's t distribution with n = dof degrees of freedom (any positive
// real; +inf is the standard normal).
//
// Density  Gamma((n+1)/2) / (sqrt(n pi) Gamma(n/2)) (1 + x^2/n)^(-(n+1)/2),
//          formed in log form.
// CDF      through the beta law of x^2/(n + x^2) (or of its complement
//          n/(n + x^2) when x^2 >= n, to keep the incomplete beta's
//          argument small): P(|T| <= |x|) = I_{x^2/(n+x^2)}(1/2, n/2) and
//          P(|T| > |x|) = I_{n/(n+x^2)}(n/2, 1/2).  Closed forms for n = 1
//          (Cauchy: 1/2 + atan(x)/pi) and n = 2 (1/2 + x/(2 sqrt(x^2 + 2))).
// Quantile closed forms for n = 1 (tan(pi (p - 1/2))) and n = 2; otherwise
//          Hill's method on the two-tailed probability P = 2 min(p, 1-p):
//          an asymptotic expansion of t about the normal quantile when the
//          start Y = (P d)^(2/n) is large (returned as it is), or an
//          expansion for small tail probabilities followed by six
//          second-order Newton steps on the CDF.
//
// Reference: Hill (1970), Algorithm 396, Comm. ACM 13, 617-619.
//
// The start fails for small n: below n = 1/2 the term sqrt(1/(n - 1/2)) is
// NaN, and up to about n = 0.75 the factor d is negative; the fixed-depth
// quantile is then NaN.
//
// Every function takes the fixed-depth value first; where its region
// predicate says it can miss the agreement rule, the converged value
// (through the converged incomplete beta at the point (n/(n + x^2),
// x^2/(n + x^2)) formed in extended precision) is computed as well and the
// fixed-depth value is kept exactly when it agrees with it.
#pragma once

#include "cxmath/agreement.hpp"
#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_beta_converged.hpp"
#include "dists/beta.hpp"
#include "dists/dpq.hpp"
#include "dists/norm.hpp"

namespace distmill {

namespace detail {


// The log-density -r ln(1 + x^2/n) + c with r = (n + 1)/2 and the part of
// the dof alone c = ln Gamma(r) - ln sqrt(n pi) - ln Gamma(n/2), from
// s = x (x/n) (dt_ratio, also the region's measure), lu = ln(s + 1) and c
// (dt_log_norm, from ln Gamma(r), ln n and ln Gamma(n/2)).  Written once for
// the scalar function and the lanes (dists/lanes/), where c of a dof fixed
// for the call is taken once.
template <class V>
DISTMILL_LANE_INLINE constexpr V dt_ratio(V x, V n) {
  return x * (x / n);
}
template <class V>
DISTMILL_LANE_INLINE constexpr V dt_log_norm(V lg_r, V ln_n, V lg_h) {
  return (lg_r - ((ln_n + cxmath::LN_PI_DOUBLE) * 0.5)) - lg_h;
}
template <class V>
DISTMILL_LANE_INLINE constexpr V dt_log_formula(V r, V lu, V c) {
  return ((-r) * lu) + c;
}

// Log-density for finite x and finite n >= EPS.
constexpr double dt_log(double x, double n) {
  using namespace cxmath;
  const double h = 0.5 * n;
  const double r = 0.5 + h;
  return dt_log_formula(r, log(dt_ratio(x, n) + 1), dt_log_norm(lgamma(r), log(n), lgamma(h)));
}

// CDF through the incomplete beta, for finite x and finite n >= EPS.
constexpr double pt_beta(double x, double n) {
  const double s = x * x;
  const double h = n * 0.5;
  if (n > s) {
    const double I = pbeta<false>(s / (n + s), 0.5, h, false);
    return x > 0 ? 1 - (0.5 - I * 0.5) : 0.5 - I * 0.5;
  }
  const double I = pbeta<false>(1 / ((x / n) * x + 1), h, 0.5, false);
  return x > 0 ? 1 - I * 0.5 : I * 0.5;
}

// T(P, n), the positive t whose upper tail is P/2 (P in (0, 1]), in
// pieces: the terms of the dof alone (qt_terms), the start Y = (P d)^(2/n)
// that picks the branch, the asymptotic branch from the normal quantile X
// of P/2 (qt_asymptotic) and the small-tail branch (qt_small_tail).  The
// lanes (dists/lanes/) take the terms once for a dof fixed for the call and
// X for a block of elements at once.
struct QtTerms {
  double A, B, C, D;
};

constexpr QtTerms qt_terms(double n) {
  using namespace cxmath;
  const double A = 1 / (n - 0.5);
  const double B = 48 / (A * A);
  const double C = ((((20700 * A) / B - 98) * A - 16) * A) + 96.36;
  const double bracket = ((94.5 / (B + C)) - 3) / B + 1;
  const double D = static_cast<double>(
      (SQRT_PI_2_EXT * static_cast<ext>(sqrt(A) * n)) * static_cast<ext>(bracket));
  return {A, B, C, D};
}

// The asymptotic branch (taken where Y > 0.05 + A): an inversion of the
// Cornish-Fisher type about the normal quantile X of P/2.
constexpr double qt_asymptotic(const QtTerms& s, double n, double X) {
  using namespace cxmath;
  const double X2 = X * X;
  const double Lp = ((0.4 * X2 + 6.3) * X2 + 36) * X2 + 94.5;
  const double Cn = n < 5 ? ((((n - 4.5) * 0.3) * (X + 0.6)) + s.C) + s.B : s.B + s.C;
  const double Cc = ((((0.05 * X) * s.D - 5) * X - 7) * X - 2) * X + Cn;
  const double Y3 = ((((Lp / Cc) - X2) - 3) / s.B + 1) * X;
  const double Y4 = Y3 * (s.A * Y3);
  // t^2/n = e^(Y4) - 1, with the series of e^y - 1 for small Y4.
  const double Y5 = Y4 > 0.1 ? exp(Y4) - 1 : Y4 + ((((4 + Y4) * Y4) + 12) * (Y4 * Y4)) / 24;
  return sqrt(Y5 * n);
}

// The small-tail branch: a series for t^2/n in powers of Y, then six
// Newton steps on 1 - F(q) = P/2 with a second-order Taylor correction
// (f'/f = -(n + 1) q/(n + q^2)).
constexpr double qt_small_tail(const QtTerms& s, double n, double P, double Y) {
  using namespace cxmath;
  const double ph = 0.5 * P;
  const double u = ((((6 + n) / (n * Y)) - s.D * 0.089) - 0.822) * (n + 2);
  const double v = 1 / (3 * u) + 0.5 / (4 + n);
  const double Y2 = ((((v * Y) - 1) * (n + 1)) / (n + 2)) + 1 / Y;
  double q = sqrt(Y2 * n);
  for (int step = 0; step < 6; ++step) {
    double F, f;
    if (q == INF) {
      F = 1;
      f = 0;
    } else if (q == -INF) {
      F = 0;
      f = 0;
    } else {
      F = pt_beta(q, n);
      f = exp(dt_log(q, n));
    }
    const double hq = (1 - F) - ph;
    const double t = hq / f;
    q = ((((q * t) * (n + 1)) / ((q * q + n) * 2)) + 1) * t + q;
  }
  return q;
}

constexpr double qt_two_tailed(double P, double n) {
  using namespace cxmath;
  const QtTerms s = qt_terms(n);
  if (P * s.D < 0) return NaN;
  const double Y = pow(P * s.D, 2 / n);
  if (Y > 0.05 + s.A) return qt_asymptotic(s, n, qnorm<false>(0.5 * P, 0, 1));
  return qt_small_tail(s, n, P, Y);
}

// The two-tailed probability P = 2 min(p, 1 - p) of the quantile of p
// (1 - p is exact for p >= 1/2), and the quantile from T(P, n).
constexpr double qt_two_tailed_probability(double p) { return p < 0.5 ? p + p : 2 * (1 - p); }
constexpr double qt_signed(double p, double T) { return p < 0.5 ? -T : T; }

// Converged log-density for finite x and finite dof n >= EPS:
//   ln f = -((n + 1)/2) ln(1 + x^2/n) - ln sqrt(n) - ln B(n/2, 1/2),
// in extended precision (x^2 cannot overflow there), with ln B from the
// cancellation-free Stirling form.
constexpr double dt_log_converged(double x, double n) {
  using cxmath::ext;
  const ext N = n;
  const ext u = (static_cast<ext>(x) * x) / N;
  const ext L = ((N + 1) * ext(0.5)) * cxmath::xp::log1p(u);
  return static_cast<double>(-(L + (ext(0.5) * cxmath::xp::log(N) + cxmath::xp::lbeta(N * ext(0.5), ext(0.5)))));
}

// Where the fixed-depth t log-density can miss the rule: small dof (the
// log-gamma of a small argument carries an absolute error ~1e-17/n: 1e-10
// near n = 1e-7, checked below 1e-4; below 2^-51 ln Gamma(n/2) is taken
// as +inf), large dof
// (ln Gamma((n + 1)/2) - ln Gamma(n/2) cancels, and (n + 1)/2 ln(1 + x^2/n)
// multiplies the rounding of 1 + x^2/n by n: an absolute error ~n 2^-53,
// checked from n = 1e4), and x^2/n beyond ~1e300 (overflow to +inf).
inline constexpr double DT_LARGE_DOF = 1e4;
inline constexpr double DT_SMALL_DOF = 1e-4;
inline constexpr double DT_LARGE_RATIO = 1e300;

constexpr bool dt_region(double x, double n) {
  if (n < DT_SMALL_DOF || !(n <= DT_LARGE_DOF)) return true;
  return !(dt_ratio(x, n) <= DT_LARGE_RATIO);
}

// The fixed-depth quantile for finite dof and 0 < p < 1.
constexpr double qt_fixed_general(double p, double dof) {
  using namespace cxmath;
  if (dof == 1) {
    // tan(pi (p - 1/2)), the angle formed in extended precision.
    const ext w = static_cast<ext>(p - 0.5) * PI_EXT;
    if (tiny_ext(w)) return 0.0;
    if (w < 0) return static_cast<double>(-tan(-w));
    return static_cast<double>(tan(w));
  }
  if (dof == 2) return ((p + p) - 1) / sqrt((1 - p) * (p + p));
  return qt_signed(p, qt_two_tailed(qt_two_tailed_probability(p), dof));
}

// Converged t CDF for finite x and finite dof n >= EPS.  The tail beyond
// |x| is I_w(n/2, 1/2)/2 with w = n/(n + x^2) and 1 - w = x^2/(n + x^2),
// both formed in extended precision (x^2 cannot overflow there); the lower
// tail is that value itself, so it keeps its relative precision.
constexpr Tails pt_tails(double x, double n) {
  using cxmath::ext;
  if (x == 0) return {ext(0.5), ext(0.5)};
  if (x == cxmath::INF) return {1, 0};
  if (x == -cxmath::INF) return {0, 1};
  const ext s = static_cast<ext>(x) * x;
  const ext d = n + s;
  const ext tail = cxmath::incomplete_beta_converged(n * 0.5, 0.5, n / d, s / d).P * ext(0.5);
  if (x < 0) return {tail, 1 - tail};
  return {1 - tail, tail};
}

// The converged CDF for finite x and finite dof n >= EPS in the scale of
// the log flag.  With the flag the tail beyond |x|, I_w(n/2, 1/2)/2, comes
// as its logarithm from the log form of the incomplete beta (finite however
// far out x lies); the CDF at x > 0 is 1 minus that tail, whose logarithm
// is log1p of minus the tail.
constexpr double pt_converged(double x, double n, bool give_log) {
  using cxmath::ext;
  if (!give_log) return static_cast<double>(pt_tails(x, n).lower);
  if (x == 0) return static_cast<double>(-cxmath::LN2_EXT);
  const ext s = static_cast<ext>(x) * x;
  const ext d = n + s;
  const ext ln_tail = cxmath::incomplete_beta_converged_log(n * 0.5, 0.5, n / d, s / d).log_P - cxmath::LN2_EXT;
  return static_cast<double>(x < 0 ? ln_tail : cxmath::xp::log1p(-cxmath::xp::exp(ln_tail)));
}

// Converged quantile for finite dof n and 0 < p < 1: the beta point
// (w, 1 - w) with I_w(n/2, 1/2) = 2 min(p, 1 - p), then
// |t| = sqrt(n (1 - w)/w), with each end of the point at full precision.
constexpr double qt_converged(double p, double n, double guess) {
  using cxmath::ext;
  if (p == 0.5) return 0.0;
  const double tail = dpq::tail(p);  // 1 - p is exact for p >= 1/2
  const ext P2 = static_cast<ext>(tail) * 2;
  // The fixed-depth value seeds the iteration through its own beta point.
  const ext g = static_cast<ext>(guess) * guess;
  const ext wg = n / (n + g);
  const auto w = cxmath::incomplete_beta_inv_converged(n * 0.5, 0.5, P2, 1 - P2,
                                                   cxmath::isnan(wg) ? -1 : wg);
  const ext t = w.x == 0 ? cxmath::INF_EXT : cxmath::xp::sqrt(n * (w.y / w.x));
  return static_cast<double>(p < 0.5 ? -t : t);
}

// Where the fixed-depth t CDF can miss the rule, given its value F:
// - the lower tail 1/2 - I/2 (and 1/2 + atan(x)/pi, 1/2 + x/(2 sqrt(x^2 + 2))
//   for one and two degrees of freedom) cancels, with an absolute error of
//   ~1e-17: failures from F ~ 3e-7 down, so every F below 1e-5 is checked;
// - two degrees of freedom: x^2 + 2 overflows beyond |x| ~ 1.3e154 and the
//   value collapses to 1/2;
// - otherwise wherever the beta CDF behind it can, at the point it uses:
//   above all large dof (the log-gamma differences, from dof ~ 1e3 with
//   the margin of the beta region) and x^2 so large that n/(n + x^2) is
//   below EPS (|x| above ~6.7e7 sqrt(n)), where the kernel answers 0.
inline constexpr double PT_LOWER_TAIL = 1e-5;

constexpr bool pt_region(double x, double n, double F) {
  if (x < 0 && !(F >= PT_LOWER_TAIL)) return true;
  if (n == 1) return false;
  if (n == 2) return !(x * x < cxmath::DBL_MAX_);
  const double s = x * x;
  if (n > s) return cxmath::incomplete_beta_region(0.5, n * 0.5, s / (n + s));
  return cxmath::incomplete_beta_region(n * 0.5, 0.5, 1 / ((x / n) * x + 1));
}
// Where the fixed-depth t quantile can miss the rule.  It is accurate to
// the rule only in a few places: the closed forms for one degree of freedom
// (until p - 1/2, rounded in double, magnifies through the pole of the
// tangent: failures below tail probabilities ~1e-6) and two (below ~1e-11),
// and large dof with tail probabilities of at least a few percent.  For
// other dof the start breaks down below dof ~0.84 (NaN, divergence), the
// asymptotic branch is returned without refinement (errors 1e-9 to a few
// percent in the tail probability, ~5e-10 still near dof 300), and the
// refined small-tail branch works on 1 - F with an absolute error ~1e-16
// (relative 2^-52/p) and fails outright below p ~ 1e-17; with dof >= 1e3
// tails between ~1e-3 and ~3e-3 still miss by ~1e-10.  So every other call
// is checked.  Measured errors inside the exempt set: below 6e-12 (dof >= 1e3,
// tail >= 0.02).
inline constexpr double QT_ONE_DOF_TAIL = 1e-5;
inline constexpr double QT_TWO_DOF_TAIL = 1e-9;
inline constexpr double QT_LARGE_DOF = 1e3;
inline constexpr double QT_LARGE_DOF_TAIL = 0.02;

constexpr bool qt_region(double p, double n) {
  const double tail = dpq::tail(p);
  if (n == 1) return !(tail >= QT_ONE_DOF_TAIL);
  if (n == 2) return !(tail >= QT_TWO_DOF_TAIL);
  return !(n >= QT_LARGE_DOF && tail >= QT_LARGE_DOF_TAIL);
}

// The keep step of the fixed-depth quantile t of p, for finite dof and
// 0 < p < 1 (the lanes leave through it too).
template <bool Checked>
constexpr double qt_keep(double p, double dof, double t) {
  return keep_quantile<Checked>(t, p, 1 - p, qt_region(p, dof), [&](double v) { return pt_tails(v, dof); },
                                [&] { return qt_converged(p, dof, t); });
}

template <bool Checked>
constexpr double dt(double x, double dof, bool give_log) {
  using namespace cxmath;
  if (isnan(dof)) return NaN;
  if (isnan(x)) return NaN;
  if (dof < EPS) return NaN;
  if (x == INF || x == -INF) return dpq::zero(give_log);
  if (dof == INF) return dnorm<Checked>(x, 0, 1, give_log);
  return keep_log_density<Checked>(dt_log(x, dof), give_log, dt_region(x, dof),
                                   [&] { return dt_log_converged(x, dof); });
}

template <bool Checked>
constexpr double pt(double x, double dof, bool give_log_p) {
  using namespace cxmath;
  if (isnan(x)) return NaN;
  if (isnan(dof)) return NaN;
  if (dof < EPS) return NaN;
  if (x == INF) return dpq::one(give_log_p);
  if (x == -INF) return dpq::zero(give_log_p);
  if (dof == INF) return pnorm<Checked>(x, 0, 1, give_log_p);
  double F;
  if (dof == 1) {
    F = tiny(x) ? 0.5 : atan(x) / PI_DOUBLE + 0.5;
  } else if (dof == 2) {
    const double s = sqrt(x * x + 2);
    F = x / (s + s) + 0.5;
  } else {
    F = pt_beta(x, dof);
  }
  return keep_probability<Checked>(F, give_log_p, pt_region(x, dof, F),
                                   [&](bool give_log) { return pt_converged(x, dof, give_log); });
}

template <bool Checked>
constexpr double qt(double p, double dof) {
  using namespace cxmath;
  if (isnan(dof)) return NaN;
  if (dof < EPS) return NaN;
  if (dpq::not_a_probability(p)) return NaN;
  if (p == 0) return -INF;
  if (p == 1) return INF;
  if (dof == INF) return qnorm<Checked>(p, 0, 1);
  return qt_keep<Checked>(p, dof, qt_fixed_general(p, dof));
}

}  // namespace detail

// Density, CDF and quantile: the fixed-depth value, replaced by the
// converged one where it fails the agreement rule.
constexpr double dt(double x, double dof, bool give_log) { return detail::dt<true>(x, dof, give_log); }
constexpr double pt(double x, double dof, bool give_log_p) { return detail::pt<true>(x, dof, give_log_p); }
constexpr double qt(double p, double dof) { return detail::qt<true>(p, dof); }

}  // namespace distmill
