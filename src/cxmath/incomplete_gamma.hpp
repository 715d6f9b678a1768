// Regularized lower incomplete gamma function P(a, z) = gamma(a, z)/Gamma(a)
// and its inverse in z.
//
// Below shape 10, P is the front factor z^a e^-z / Gamma(a) over the
// continued fraction
//
//   gamma(a, z) = z^a e^-z / (a - a z/(a+1 + z/(a+2 - (a+1) z/(a+3 + 2z/(...)))))
//
// cut at a fixed depth of 55 levels.  The fraction converges well up to
// about the mode and loses accuracy far past it (it can even turn
// negative there).
//
// From shape 10 on, P is the integral of the gamma density over a window
// around the mode, [max(0, min(z, a) - k_lo sqrt a), min(z, a + k_hi sqrt a)],
// by the 50-point Gauss-Legendre rule.  Mass beyond a + k_hi sqrt(a) is not
// counted, so even P(a, +inf) is the integral over the window, close to but
// not forced to 1.
//
// The inverse starts from the Wilson-Hilferty approximation (a > 1) or a
// small-shape estimate (a <= 1) and takes exactly 36 damped Halley steps.
// References: DLMF 8.9, 3.5(v); Wilson and Hilferty (1931); Abramowitz-Stegun 26.2.23.
#pragma once

#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/gl50.hpp"
#include "cxmath/lanes/elementary.hpp"
#include "cxmath/recurrence.hpp"

namespace cxmath {

namespace detail {

// Continued-fraction branch, EPS <= a < 10 and z >= EPS, given lz = log(z)
// and ga = tgamma(a).  Only double operations: on a lane type V
// (cxmath/lanes/pack.hpp) the fractions of several elements run side by
// side, each lane's one dependent chain of divisions in the same order.
template <class V>
DISTMILL_LANE_INLINE constexpr V incomplete_gamma_cf(V a, V z, V lz, V ga) {
  V F = exp((lz * a) - z);
  F = F / ga;
  // Levels k = 55 .. 1 from the bottom up.  Partial numerators:
  // odd k: -(((k+1)/2) + (a-1)) z;  even k: (k/2) z.
  V R = (a + 55.0) - 1.0;
  for (int k = 54; k >= 1; --k) {
    V c;
    if (k % 2 == 1)
      c = -((static_cast<double>(k + 1) * 0.5) + (a - 1.0)) * z;
    else
      c = (static_cast<double>(k) * 0.5) * z;
    R = c / R + ((a + static_cast<double>(k)) - 1.0);
  }
  return F / R;
}

// Quadrature branch, a >= 10 and z >= EPS, given lg = lgamma(a) and
// s = sqrt(a).
constexpr double incomplete_gamma_gl(double a, double z, double lg, double s) {
  const double m = z < a ? z : a;

  // The window widens (in units of sqrt a) as the shape grows and the
  // density's tails, measured in standard deviations, grow heavier.
  double k_lo, k_hi;
  if (a > 800) {
    k_lo = 11; k_hi = 10;
  } else if (a > 300) {
    k_lo = 10; k_hi = 9;
  } else if (a > 90) {
    k_lo = 9; k_hi = 8;
  } else if (a > 70) {
    k_lo = 8; k_hi = 7;
  } else if (a > 50) {
    k_lo = 7; k_hi = 6;
  } else if (a > 40) {
    k_lo = 6; k_hi = 5;
  } else if (a > 30) {
    k_lo = 5; k_hi = 4;
  } else {
    k_lo = 4; k_hi = 4;
  }

  const double top = (s * k_hi) + a;
  const double upper = z < top ? z : top;
  double lower = m - (s * k_lo);
  if (lower < 0) lower = 0;

  const double mid = (lower + upper) * 0.5;
  const double width = upper - lower;
  const double am1 = a - 1;

  // Nodes and weights mapped to [lower, upper] in extended precision from
  // the 80-bit tables, each rounded once to double.
  double t[50] = {};
  double w[50] = {};
  for (int i = 0; i < 50; ++i) {
    t[i] = static_cast<double>(static_cast<ext>(width) * gl50_nodes[i] * ext(0.5) +
                               static_cast<ext>(mid));
    w[i] = static_cast<double>(static_cast<ext>(width) * gl50_weights[i] * ext(0.5));
  }

  // The integrand at all nodes (logarithms and exponentials batched across
  // the nodes, each value exactly the scalar kernel's), then the sum from
  // the last node back to the first.
  double u[50] = {}, f[50] = {};
  log_lanes<50>(t, u);
  for (int i = 0; i < 50; ++i) u[i] = ((u[i] * am1) - t[i]) - lg;
  exp_lanes<50>(u, f);
  double S = 0;
  for (int i = 49; i >= 0; --i) S = i == 49 ? f[i] * w[i] : f[i] * w[i] + S;
  return S;
}

constexpr double incomplete_gamma_cf(double a, double z) {
  return incomplete_gamma_cf(a, z, log(z), tgamma(a));
}

constexpr double incomplete_gamma_gl(double a, double z) {
  return incomplete_gamma_gl(a, z, lgamma(a), sqrt(a));
}

// P(a, z) for a >= EPS (not NaN) with the shape's own values precomputed:
// ga = tgamma(a) when a < 10, lg = lgamma(a) and s = sqrt(a) when a >= 10,
// and lz = log(z).
constexpr double incomplete_gamma_given(double a, double z, double lz, double ga, double lg,
                                        double s) {
  if (isnan(z)) return NaN;
  if (z < EPS) return 0.0;
  if (a < 10) return incomplete_gamma_cf(a, z, lz, ga);
  return incomplete_gamma_gl(a, z, lg, s);
}

}  // namespace detail

// P(a, z): NaN for NaN arguments or a < 0; 0 for z < EPS (negative z
// included); 1 for a < EPS.  No clamping of the result to [0, 1].
constexpr double incomplete_gamma(double a, double z) {
  if (isnan(z)) return NaN;
  if (isnan(a)) return NaN;
  if (a < 0) return NaN;
  if (z < EPS) return 0.0;
  if (a < EPS) return 1.0;
  if (a < 10) return detail::incomplete_gamma_cf(a, z);
  return detail::incomplete_gamma_gl(a, z);
}

namespace detail {

inline constexpr int GAMMA_INV_STEPS = 36;

// One damped Halley step on P(a, x) - p from the state (x, D) with
// P = P(a, x): the step delta with x_next = x - delta.  Written once for
// double and for packs of iterates: the divisor is the clamped h itself, so
// r1 / 1.2 and r1 / 0.8 are the same divisions.
template <class T>
DISTMILL_LANE_INLINE constexpr T incomplete_gamma_inv_step(T p, T am1, T x, T D, T P) {
  using lanes::select;
  const T r1 = (P - p) / D;
  const T r2 = (((am1 / x) - 1.0) * D) / D;
  const T h = 1.0 - (0.5 * r1) * r2;
  // A NaN h fails both comparisons and gives a NaN step.
  return r1 / select(h > 1.2, T(1.2), select(0.8 > h, T(0.8), h));
}

// Halley's method on P(a, x) - p with g = P' the gamma density and
// g'/g = (a - 1)/x - 1, from the start x, every one of the 36 steps taken.
// The density is taken at the previous iterate (at the start for the first
// two steps); the step's correction factor is clamped to [0.8, 1.2].
constexpr double incomplete_gamma_refine_full(double a, double p, double lg, double x) {
  const double am1 = a - 1;
  const auto density = [&](double u) { return exp(((log(u) * am1) - u) - lg); };
  double D = density(x);
  for (int k = 1; k <= GAMMA_INV_STEPS; ++k) {
    const double delta = incomplete_gamma_inv_step(p, am1, x, D, incomplete_gamma(a, x));
    D = density(x);
    x = x - delta;
  }
  return x;
}

// The same 36 steps with the same result, doing no work twice.  The step
// from state (x_k, D_k) gives (x_k - delta, g(x_k)), a function of the
// state alone; a state that recurs ends the loop, the final one being read
// off the cycle (recurrence.hpp).  An iterate met before reuses its P and
// density.  What depends on the shape alone (Gamma(a), or ln Gamma(a) and
// sqrt(a)) is computed once, and ln x serves both P and the density.
constexpr double incomplete_gamma_refine(double a, double p, double lg, double x) {
  constexpr int N = GAMMA_INV_STEPS;
  const double am1 = a - 1;
  const bool cf = a < 10;
  const double ga = cf ? tgamma(a) : 0.0;
  const double sa = cf ? 0.0 : sqrt(a);
  double hx[N] = {}, hD[N] = {}, hP[N] = {}, hg[N] = {};
  double D = 0;
  for (int k = 0; k < N; ++k) {
    double P = 0, g = 0;
    bool known = false;
    for (int j = 0; j < k; ++j) {
      if (!same_bits(hx[j], x)) continue;
      if (same_bits(hD[j], D)) return hx[recurrent_index(j, k, N)];
      P = hP[j];
      g = hg[j];
      known = true;
    }
    if (!known) {
      const double lx = log(x);
      P = incomplete_gamma_given(a, x, lx, ga, lg, sa);
      // The density at the last iterate would only feed a step not taken.
      if (k < N - 1) g = exp(((lx * am1) - x) - lg);
    }
    if (k == 0) D = g;
    hx[k] = x;
    hD[k] = D;
    hP[k] = P;
    hg[k] = g;
    const double delta = incomplete_gamma_inv_step(p, am1, x, D, P);
    D = g;
    x = x - delta;
  }
  return x;
}

// The start for shapes above 1, Wilson-Hilferty: (X/a)^(1/3) is nearly
// normal with mean 1 - 1/(9a) and variance 1/(9a); the normal quantile v
// comes from the rational approximation
// t - (c0 + c1 t + c2 t^2)/(1 + d1 t + d2 t^2 + d3 t^3).  The shape's terms
// m = 1 - 1/(9a) and s3 = sqrt(a) 3 are the caller's (once per call for a
// fixed shape).  Written once for one value and for packs of p.
template <class T>
DISTMILL_LANE_INLINE constexpr T incomplete_gamma_inv_guess_normal(double a, double m, double s3, T p) {
  using lanes::select;
  const T t = sqrt(log(select(p > 0.5, 1.0 - p, p)) * (-2.0));
  const T sigma = select(p > 0.5, T(-1.0), T(1.0));
  const T num = (0.802853 * t + 2.515517) + (0.010328 * t) * t;
  const T den = ((1.432788 * t + 1.0) + (0.189269 * t) * t) + ((0.001308 * t) * t) * t;
  const T v = (t - num / den) * sigma;
  const T b = m - v / s3;
  const T x = (b * (b * b)) * a;
  return select(x < 1e-4, T(1e-4), x);
}

// The start of the refinement for EPS <= p, 1 - p beyond EPS and a >= EPS.
constexpr double incomplete_gamma_inv_guess(double a, double p) {
  double x = 0;
  if (a > 1) {
    x = incomplete_gamma_inv_guess_normal(a, 1 - 1 / (9 * a), sqrt(a) * 3, p);
  } else {
    // Small shapes: P(a, x) ~ t2 (x)^a near 0 and an exponential tail.
    const double t2 = (1 - 0.253 * a) - (0.12 * a) * a;
    if (p < t2)
      x = pow(p / t2, 1 / a);
    else
      x = 1 - log(1 - (p - t2) / (1 - t2));
  }
  return x;
}

// Guards and the initial value, shared by both forms.  Returns true with
// the answer in `out` when a guard decides it; otherwise the start in `x`
// and lgamma(a) in `lg`.
constexpr bool incomplete_gamma_inv_start(double a, double p, double& out, double& x, double& lg) {
  if (isnan(a) || isnan(p)) {
    out = NaN;
    return true;
  }
  if (p < EPS) {
    out = 0.0;
    return true;
  }
  if (p > 1) {
    out = NaN;
    return true;
  }
  if (fabs(1 - p) < EPS) {
    out = INF;
    return true;
  }
  if (a < EPS) {
    out = 0.0;
    return true;
  }

  lg = lgamma(a);
  x = incomplete_gamma_inv_guess(a, p);
  return false;
}

}  // namespace detail

// The plain loop of 36 steps (the form below gives the same bits).
constexpr double incomplete_gamma_inv_full(double a, double p) {
  double out = 0, x = 0, lg = 0;
  if (detail::incomplete_gamma_inv_start(a, p, out, x, lg)) return out;
  return detail::incomplete_gamma_refine_full(a, p, lg, x);
}

// x with P(a, x) = p: 0 for p < EPS (tested before p > 1, so negative p
// also gives 0), NaN for p > 1, +inf within EPS of p = 1, 0 for a < EPS.
// Otherwise the result of exactly 36 Halley steps from the start (found
// without repeating steps once the iteration has settled into a cycle).
constexpr double incomplete_gamma_inv(double a, double p) {
  double out = 0, x = 0, lg = 0;
  if (detail::incomplete_gamma_inv_start(a, p, out, x, lg)) return out;
  return detail::incomplete_gamma_refine(a, p, lg, x);
}

// ---- where the fixed-depth methods can miss the agreement rule ----
//
// Measured against the converged values over shapes 1e-6 .. 1e8 and
// arguments across both tails; outside these regions no disagreement was
// found and the largest deviation seen was a quarter of the tolerance:
//  * the guards: z below EPS (P is not 0 for small shapes: z^a/Gamma(1+a))
//    and a below EPS (P is not exactly 1 when z is small); and z up to
//    SMALL_Z, where quadrature nodes below EPS drop out;
//  * results below SMALL_RESULT, rounded in subnormal arithmetic (decided
//    on the fixed-depth value itself);
//  * shapes below 0.05: Gamma(a) near its pole carries a relative error
//    up to 1e-5 into the front factor, so P near 1 is off in its
//    complement at any z;
//  * shapes below 10 and z > 1.5 a + 2: the 55-level fraction stops
//    converging past the mode;
//  * shapes from 10: z > a + 1.5 sqrt(a), where the window's upper cut drops
//    tail mass and P close to 1 has to be right to a few ulps; shapes in
//    (15, 31] and z > a - 2 sqrt(a), where the window's lower end
//    a - 4 sqrt(a) drops up to 2e-9 of mass below it; shapes above 300 and
//    z < a - 10 sqrt(a), where 50 nodes over a window 11 sqrt(a) wide no
//    longer resolve an integrand that decays within a few units of z; and
//    every z for shapes above 2000, where the absolute error of
//    ln Gamma(a), a few ulps of a ln a, reaches the tolerance.
// The inverse can fail only where its result is not a finite positive
// number or lies in one of these regions.
inline constexpr double SMALL_Z = 0x1p-46;
inline constexpr double SMALL_RESULT = 0x1p-1000;

// The fraction's part of it, EPS <= a < 10 and z >= SMALL_Z (also on lanes).
template <class V>
DISTMILL_LANE_INLINE constexpr auto incomplete_gamma_cf_region(V a, V z) {
  return (a < 0.05) | (z > 1.5 * a + 2.0);
}

// a >= 0 and z not NaN.
constexpr bool incomplete_gamma_region(double a, double z) {
  if (z < SMALL_Z || a < EPS) return true;
  if (a < 10) return incomplete_gamma_cf_region(a, z);
  if (a > 2000) return true;
  const double s = sqrt(a);
  if (z > a + 1.5 * s) return true;
  if (a > 15 && a <= 31 && z > a - 2 * s) return true;
  if (a > 300 && z < a - 10 * s) return true;
  return false;
}

// The same for a fixed-depth value `value` of P(a, z), or of Q(a, z)
// formed as 1 - P.
constexpr bool incomplete_gamma_region(double a, double z, double value) {
  return incomplete_gamma_region(a, z) || value < SMALL_RESULT;
}

// A fixed-depth quantile x of shape a.
constexpr bool incomplete_gamma_inv_region(double a, double x) {
  return !(x > 0 && x < INF) || incomplete_gamma_region(a, x);
}

}  // namespace cxmath

// The distribution functions (namespace distmill) call the kernels
// unqualified; these declarations make them win over the C library's
// global functions of the same names, whatever was included first.
namespace distmill {
using cxmath::incomplete_gamma;
using cxmath::incomplete_gamma_inv;
}  // namespace distmill
