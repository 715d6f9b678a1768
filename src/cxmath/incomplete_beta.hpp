// Regularized incomplete beta function I_z(a, b) and its inverse in z.
//
// I_z(a, b) = z^a (1-z)^b / (a B(a, b)) * 1/(1 + d1/(1 + d2/(1 + ...))),
//
//   d_{2m+1} = -(a + m)(a + b + m) z / ((a + 2m)(a + 2m + 1)),
//   d_{2m}   =  m (b - m) z / ((a + 2m - 1)(a + 2m)),
//
// evaluated forwards by the modified Lentz method.  The fraction converges
// quickly below the mean-like point (a + 1)/(a + b + 2); above it the
// symmetry I_z(a, b) = 1 - I_{1-z}(b, a) is used instead, so the complement
// carries an absolute (not relative) accuracy of about 1e-16 there.  The
// iteration stops at a relative change below 1e-15 or after level 205.
// There is no substitution for a vanishing denominator: a level where
// 1 + e_j d_{j-1} is exactly zero makes the value infinite or NaN.
//
// The inverse starts from a normal approximation of the beta quantile
// (both shapes above 1) or from the power-law behaviour of the two tails
// (either shape at most 1), then takes up to 36 damped Halley steps.  As in
// the incomplete gamma inverse, each step uses the density at the previous
// iterate; when that density vanishes (an iterate within EPS of 0 or 1, or
// deep in a tail) the current iterate is returned.
// References: DLMF 8.17.22; Abramowitz-Stegun 26.5.22, 26.2.23 (the inverse's start).
#pragma once

#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/lanes/elementary.hpp"
#include "cxmath/recurrence.hpp"

namespace cxmath {

namespace detail {

inline constexpr double INCBETA_TOL = 1e-15;
inline constexpr int INCBETA_LAST_LEVEL = 205;

// Coefficient e_j of level j of the continued fraction (e_j is d_{j+1}
// above), with m held as a double and 2m + a formed as 2m plus a.  The
// level is the same in every lane of a pack (the lanes run in lock step).
template <class V>
DISTMILL_LANE_INLINE constexpr V incomplete_beta_level(V a, V b, V z, int j) {
  if (j % 2 == 0) {
    const double m = static_cast<double>(j / 2);
    const V am = (m + m) + a;
    return (((a + b) + m) * ((m + a) * (-z))) / (am * (am + 1.0));
  }
  const double m = static_cast<double>((j + 1) / 2);
  const V am = (m + m) + a;
  return ((m * z) * (b - m)) / (am * (am - 1.0));
}

// The continued-fraction core: z^a (1-z)^b / (a B(a, b)) times the fraction,
// given L = lbeta(a, b).  Written once for one value and for packs: on a
// pack every lane runs the levels of its own (a, b, z), and a lane that has
// met the stopping test keeps the value it had at that level (the value the
// one-value loop returns there) while the others go on; the pack leaves
// when all have stopped or after the last level.
//
// The front factor z^a (1-z)^b / (a B(a, b)) from ln z and ln(1 - z), so that
// a caller holding those logarithms already (the inverse, whose density at
// the same point needs them) takes them once.
template <class V>
DISTMILL_LANE_INLINE constexpr V incomplete_beta_front(V a, V b, V ln_z, V ln_1mz, V L) {
  const V E = exp(((ln_1mz * b) + (ln_z * a)) - L);
  return E / a;
}

// The fraction's levels times the front factor E.
template <class V>
DISTMILL_LANE_INLINE constexpr V incomplete_beta_levels(V a, V b, V z, V E) {
  V c = 1.0;
  V d = 1.0 / (incomplete_beta_level(a, b, z, 0) + 1.0);
  V f = d;
  [[maybe_unused]] lanes::mask_t<V> running(true);
  for (int j = 1; j <= INCBETA_LAST_LEVEL; ++j) {
    const V e = incomplete_beta_level(a, b, z, j);
    c = e / c + 1.0;
    d = 1.0 / (e * d + 1.0);
    const V g = (f * c) * d;
    const V delta = c * d - 1.0;
    if constexpr (lanes::is_scalar_v<V>) {
      f = g;
      if (delta == 0 || fabs(delta) < INCBETA_TOL) break;
    } else {
      f = select(running, g, f);
      running = running & !((delta == 0.0) | (fabs(delta) < INCBETA_TOL));
      if (none(running)) break;
    }
  }
  return f * E;
}

template <class V>
DISTMILL_LANE_INLINE constexpr V incomplete_beta_fraction(V a, V b, V z, V L) {
  return incomplete_beta_levels(a, b, z, incomplete_beta_front(a, b, log(z), log(1.0 - z), L));
}

// The scalar kernel: the fraction at one value, a function of its own (as
// the compiler chooses to inline it or not, like any scalar kernel).
constexpr double incomplete_beta_cf(double a, double b, double z, double L) {
  return incomplete_beta_fraction(a, b, z, L);
}

constexpr double incomplete_beta_cf(double a, double b, double z) {
  return incomplete_beta_cf(a, b, z, lbeta(a, b));
}

// I_z(a, b) given L_ab = lbeta(a, b) and L_ba = lbeta(b, a).
constexpr double incomplete_beta_given(double a, double b, double z, double L_ab, double L_ba) {
  if (isnan(a) || isnan(b) || isnan(z)) return NaN;
  if (z < EPS) return 0.0;
  if (z < (a + 1) / ((a + b) + 2)) return incomplete_beta_cf(a, b, z, L_ab);
  return 1 - incomplete_beta_cf(b, a, 1 - z, L_ba);
}

}  // namespace detail

// I_z(a, b).  NaN for any NaN argument; 0 for z < EPS.  Callers settle
// a <= 0, b <= 0 and z >= 1 themselves.
constexpr double incomplete_beta(double a, double b, double z) {
  if (isnan(a) || isnan(b) || isnan(z)) return NaN;
  if (z < EPS) return 0.0;
  if (z < (a + 1) / ((a + b) + 2)) return detail::incomplete_beta_cf(a, b, z);
  return 1 - detail::incomplete_beta_cf(b, a, 1 - z);
}

namespace detail {

inline constexpr int BETA_INV_STEPS = 36;

// The beta density x^(a-1) (1-x)^(b-1) / B(a, b) with L = lbeta(a, b), for
// x at least EPS from both ends.  Written once for one value and for packs
// of iterates (two logarithms and one exponential per value).
template <class T>
DISTMILL_LANE_INLINE constexpr T incomplete_beta_density_logs(T a, T b, T L, T ln_x, T ln_1mx) {
  return exp(((ln_1mx * (b - 1.0)) + (ln_x * (a - 1.0))) - L);
}

template <class T>
DISTMILL_LANE_INLINE constexpr T incomplete_beta_density_inside(T a, T b, T L, T x) {
  return incomplete_beta_density_logs(a, b, L, log(x), log(1.0 - x));
}

// The beta density with L = lbeta(a, b), taken as 0 within EPS of 0 and 1.
constexpr double incomplete_beta_density(double a, double b, double L, double x) {
  if (tiny(x) || tiny(1 - x)) return 0.0;
  return incomplete_beta_density_inside(a, b, L, x);
}

// One damped Halley step on I_z - p from the state (z, D) with I = I_z(a, b):
// the step delta with z_next = z - delta.  Written once for one value and
// for packs of iterates: the divisor is the clamped q itself, so r1 / 1.2
// and r1 / 0.8 are the same divisions.
template <class T>
DISTMILL_LANE_INLINE constexpr T incomplete_beta_inv_step(T a, T b, T p, T z, T D, T I) {
  using lanes::select;
  const T r1 = (I - p) / D;
  const T r2 = ((((a - 1.0) / z) - ((b - 1.0) / (1.0 - z))) * D) / D;
  const T q = 1.0 - (0.5 * r1) * r2;
  // A NaN q fails both comparisons and gives a NaN step.
  return r1 / select(q > 1.2, T(1.2), select(0.8 > q, T(0.8), q));
}

// Halley's method on I_z - p with the beta density g = I' and
// g'/g = (a - 1)/z - (b - 1)/(1 - z), from the start z, by the plain loop.
// The density of step k is taken at the iterate before z_k (at the start
// for the first step); the step's correction factor is clamped to
// [0.8, 1.2].  A vanishing density ends the loop with the current iterate.
constexpr double incomplete_beta_refine_full(double a, double b, double p, double L, double z) {
  double prev = z;
  for (int k = 1; k <= BETA_INV_STEPS; ++k) {
    const double D = incomplete_beta_density(a, b, L, prev);
    if (tiny(D)) return z;
    const double delta = incomplete_beta_inv_step(a, b, p, z, D, incomplete_beta(a, b, z));
    prev = z;
    z = z - delta;
  }
  return z;
}

// The same steps with the same result, doing no work twice.  The step from
// state (z_k, D_k) gives (z_k - delta, g(z_k)), a function of the state
// alone, and a vanishing D_k ends the loop.  A state that recurs has passed
// that test already, so no later step can end the loop early: the final
// state is read off the cycle (recurrence.hpp).  An iterate met before
// reuses its I and density; lbeta is computed once for both orders of the
// shapes.
constexpr double incomplete_beta_refine(double a, double b, double p, double L, double z) {
  constexpr int N = BETA_INV_STEPS;
  const double L_ba = lbeta(b, a);
  double hz[N] = {}, hD[N] = {}, hI[N] = {}, hg[N] = {};
  double D = incomplete_beta_density(a, b, L, z);
  for (int k = 0; k < N; ++k) {
    if (tiny(D)) return z;
    double I = 0, g = 0;
    bool known = false;
    for (int j = 0; j < k; ++j) {
      if (!same_bits(hz[j], z)) continue;
      if (same_bits(hD[j], D)) return hz[recurrent_index(j, k, N)];
      I = hI[j];
      g = hg[j];
      known = true;
    }
    if (!known) {
      I = incomplete_beta_given(a, b, z, L, L_ba);
      // At the start the density is D itself; at the last iterate it would
      // only feed a step not taken.
      g = k == 0 ? D : k < N - 1 ? incomplete_beta_density(a, b, L, z) : 0.0;
    }
    hz[k] = z;
    hD[k] = D;
    hI[k] = I;
    hg[k] = g;
    const double delta = incomplete_beta_inv_step(a, b, p, z, D, I);
    D = g;
    z = z - delta;
  }
  return z;
}

// The terms of the initial value that only the shapes fix, taken once for
// a call whose shapes are fixed (the start below spells out how they enter).
struct BetaInvStart {
  double a = 0, b = 0;
  bool normal = false;
  double M = 0, N = 0, h = 0, h3 = 0, NM = 0;           // both shapes above 1
  double sa = 0, sb = 0, S = 0, saS = 0, sbS = 0, ia = 0, ib = 0;  // either at most 1
};

constexpr BetaInvStart incomplete_beta_inv_shapes(double a, double b) {
  BetaInvStart s;
  s.a = a;
  s.b = b;
  s.normal = a > 1 && b > 1;
  if (s.normal) {
    s.M = 1 / ((a + a) - 1);
    s.N = 1 / ((b + b) - 1);
    s.h = 2 / (s.M + s.N);
    s.h3 = 2 / (s.h * 3);
    s.NM = s.N - s.M;
  } else {
    s.sa = pow(a / (a + b), a) / a;
    s.sb = pow(b / (a + b), b) / b;
    s.S = s.sa + s.sb;
    s.saS = s.sa / s.S;
    s.sbS = s.sb / s.S;
    s.ia = 1 / a;
    s.ib = 1 / b;
  }
  return s;
}

// The start of both shapes above 1, the normal approximation: with y the
// upper normal quantile of p (from the rational approximation
// t - (c0 + c1 t + c2 t^2)/(1 + d1 t + d2 t^2 + d3 t^3)), z = a / (a + b e^(2w))
// where w corrects y for the skewness of the beta law through the harmonic
// mean h of 2a - 1 and 2b - 1 (M = 1/(2a - 1), N = 1/(2b - 1), h = 2/(M + N)).
// Written once for one value and for packs of p.
template <class T>
DISTMILL_LANE_INLINE constexpr T incomplete_beta_inv_guess_normal(const BetaInvStart& s, T p) {
  using lanes::select;
  const T t = sqrt(log(select(p > 0.5, 1.0 - p, p)) * (-2.0));
  const T sigma = select(p < 0.5, T(1.0), T(-1.0));
  const T num = (2.515517 + 0.802853 * t) + (0.010328 * t) * t;
  const T den = ((1.432788 * t + 1.0) + (0.189269 * t) * t) + ((0.001308 * t) * t) * t;
  const T y = (t - num / den) * sigma;
  const T h(s.h);
  const T lambda = ((y * y) - 3.0) / 6.0;
  const T w = ((sqrt(h + lambda) * y) / h) - (((lambda + 0.8333333333333334) - s.h3) * s.NM);
  return s.a / (exp(w + w) * s.b + s.a);
}

// The initial value for p in [EPS, 1 - EPS] (no guards), from the terms of
// the shapes: a call whose shapes are fixed takes them and lbeta(a, b) once.
constexpr double incomplete_beta_inv_guess(const BetaInvStart& s, double p) {
  const double a = s.a, b = s.b;
  double z = 0;
  if (s.normal) {
    z = incomplete_beta_inv_guess_normal(s, p);
  } else {
    // Near 0, I_z ~ z^a / (a B); near 1, 1 - I_z ~ (1-z)^b / (b B).  The
    // two leading terms s_a = (a/(a + b))^a / a, s_b = (b/(a + b))^b / b
    // (with B replaced by their sum S) split the probability between the
    // two ends; invert the term of the end p belongs to.  A negative power
    // base gives NaN through pow.
    if (p > 0.5) {
      const double g = (1 - p) * s.S;
      if ((1 - p) <= s.sbS)
        z = 1 - pow(g * b, s.ib);
      else
        z = 1 - (1 - pow(g * a, s.ia));
    } else {
      const double g = p * s.S;
      if (p <= s.saS)
        z = pow(g * a, s.ia);
      else
        z = 1 - pow(g * b, s.ib);
    }
  }
  return z;
}

constexpr double incomplete_beta_inv_guess(double a, double b, double p) {
  return incomplete_beta_inv_guess(incomplete_beta_inv_shapes(a, b), p);
}

// Guards and the initial value, shared by both forms.  Returns true with
// the answer in `out` when a guard decides it; otherwise the start in `z`
// and lbeta(a, b) in `L`.
constexpr bool incomplete_beta_inv_start(double a, double b, double p, double& out, double& z,
                                         double& L) {
  if (isnan(b) || isnan(p) || isnan(a)) {
    out = NaN;
    return true;
  }
  if (p < EPS) {
    out = 0.0;
    return true;
  }
  if (tiny(1 - p)) {
    out = 1.0;
    return true;
  }
  L = lbeta(a, b);
  z = incomplete_beta_inv_guess(a, b, p);
  return false;
}

}  // namespace detail

// The plain loop of up to 36 steps (the form below gives the same bits).
constexpr double incomplete_beta_inv_full(double a, double b, double p) {
  double out = 0, z = 0, L = 0;
  if (detail::incomplete_beta_inv_start(a, b, p, out, z, L)) return out;
  return detail::incomplete_beta_refine_full(a, b, p, L, z);
}

// z with I_z(a, b) = p, for a, b > 0.  0 for p < EPS, 1 for p within EPS
// of 1.  Neither the start nor the iterates are clamped to [0, 1].  The
// result is that of up to 36 Halley steps from the start (found without
// repeating steps once the iteration has settled into a cycle).
constexpr double incomplete_beta_inv(double a, double b, double p) {
  double out = 0, z = 0, L = 0;
  if (detail::incomplete_beta_inv_start(a, b, p, out, z, L)) return out;
  return detail::incomplete_beta_refine(a, b, p, L, z);
}

// ---- where the fixed-depth methods can miss the agreement rule ----
//
// I_z(a, b): the kernel treats z below EPS (and, through 1 - z, z above
// 1 - EPS) as the end itself.  Otherwise its error is that of the front
// factor exp(a ln z + b ln(1 - z) - ln B(a, b)): ln B is a difference of
// log-gammas of size up to M ln M (M the larger shape), so the factor
// carries a relative error of a few M ln M 2^-53; where the side the
// fraction evaluates lies near 1 (a shape m below 1, the probability
// 1 - I ~ m), the rule measures that error against 1 - I, which multiplies
// it by ~1/m.  The log-gamma of a small shape adds an absolute error that
// grows like 1/m, so against 1 - I ~ m the error grows like 1/m^2.  The
// fraction itself is cut at level 205, which only matters for shapes in
// the thousands, already covered.
inline constexpr double BETA_SHAPE_BOUND = 5000;
inline constexpr double BETA_SMALL_SHAPE = 0.01;

// M max(1, ln M)/min(1, m) for the larger shape M and the smaller m.
constexpr double beta_shape_error_scale(double a, double b) {
  const double M = a > b ? a : b;
  const double m = a > b ? b : a;
  const double w = m < 1 ? m : 1.0;
  // ln M < M: when M^2/w is within the bound the logarithm is not needed
  // (the common case, which so costs a few comparisons).
  if (M * (M > E_DOUBLE ? M : 1.0) / w <= BETA_SHAPE_BOUND) return M / w;
  const double lnM = M > E_DOUBLE ? log(M) : 1.0;
  return (M * lnM) / w;
}

constexpr bool incomplete_beta_region(double a, double b, double z) {
  if (z < EPS || 1 - z < EPS) return true;
  if (a < BETA_SMALL_SHAPE || b < BETA_SMALL_SHAPE) return true;
  return !(beta_shape_error_scale(a, b) <= BETA_SHAPE_BOUND);
}

// The inverse: wherever the forward function it inverts can (the shapes
// above), and where its start or its damped Halley steps fail.  With a
// shape below 0.3 the tail start rounds to an end or below EPS for most p;
// with a shape below 2 the normal start is poor enough that the steps can
// overshoot out of [0, 1] (NaN) already for p near 0.01 when the other
// shape is large; with both shapes at least 2 the steps overshoot only for
// p below ~4e-7, and above 1 - 3e-7 the iteration, which works on I - p
// with an absolute accuracy of ~1e-16, no longer resolves the upper tail
// 1 - p.
inline constexpr double BETA_INV_SMALL_SHAPE = 0.3;
inline constexpr double BETA_INV_NEAR_ONE_SHAPE = 2;
inline constexpr double BETA_INV_TAIL = 1e-5;
inline constexpr double BETA_INV_NEAR_ONE_TAIL = 0.1;

constexpr bool incomplete_beta_inv_region(double a, double b, double p) {
  const double m = a < b ? a : b;
  const double tail = p < 0.5 ? p : 1 - p;
  if (m < BETA_INV_SMALL_SHAPE || tail < BETA_INV_TAIL) return true;
  if (m < BETA_INV_NEAR_ONE_SHAPE && tail < BETA_INV_NEAR_ONE_TAIL) return true;
  return !(beta_shape_error_scale(a, b) <= BETA_SHAPE_BOUND);
}

// The log-density (a - 1) ln x + (b - 1) ln(1 - x) - ln B(a, b): x within
// EPS of an end (the logarithm counts it as the end itself), and shapes
// for which ln B, a difference of log-gammas of size up to M ln M, loses
// its digits (an absolute error ~M ln M 2^-53), or whose log-gamma is
// taken as +inf (below EPS) or loses accuracy (below ~1e-5).
inline constexpr double BETA_DENSITY_SHAPE_BOUND = 1e4;
inline constexpr double BETA_DENSITY_SMALL_SHAPE = 1e-5;

constexpr bool beta_log_density_region(double a, double b, double x) {
  if (x < EPS || 1 - x < EPS) return true;
  if (a < BETA_DENSITY_SMALL_SHAPE || b < BETA_DENSITY_SMALL_SHAPE) return true;
  const double M = a > b ? a : b;
  const double lnM = M > E_DOUBLE ? log(M) : 1.0;
  return !(M * lnM <= BETA_DENSITY_SHAPE_BOUND);
}

}  // namespace cxmath

// The distribution functions (namespace distmill) call the kernels
// unqualified; these declarations make them win over the C library's
// global functions of the same names, whatever was included first.
namespace distmill {
using cxmath::incomplete_beta;
using cxmath::incomplete_beta_inv;
}  // namespace distmill
