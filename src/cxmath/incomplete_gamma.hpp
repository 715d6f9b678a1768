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
#pragma once

#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/gamma.hpp"
#include "cxmath/gl50.hpp"

namespace cxmath {

namespace detail {

// Continued-fraction branch, EPS <= a < 10 and z >= EPS.
constexpr double incomplete_gamma_cf(double a, double z) {
  double F = exp((log(z) * a) - z);
  F = F / tgamma(a);
  // Levels k = 55 .. 1 from the bottom up.  Partial numerators:
  // odd k: -(((k+1)/2) + (a-1)) z;  even k: (k/2) z.
  double R = (a + 55) - 1;
  for (int k = 54; k >= 1; --k) {
    double c;
    if (k % 2 == 1)
      c = -((static_cast<double>(k + 1) * 0.5) + (a - 1)) * z;
    else
      c = (static_cast<double>(k) * 0.5) * z;
    R = c / R + ((a + static_cast<double>(k)) - 1);
  }
  return F / R;
}

// Quadrature branch, a >= 10 and z >= EPS.
constexpr double incomplete_gamma_gl(double a, double z) {
  const double lg = lgamma(a);
  const double s = sqrt(a);
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
    t[i] = static_cast<double>(static_cast<ext>(width) * gl50_nodes[i] * 0.5L +
                               static_cast<ext>(mid));
    w[i] = static_cast<double>(static_cast<ext>(width) * gl50_weights[i] * 0.5L);
  }

  // Sum from the last node back to the first.
  double S = 0;
  for (int i = 49; i >= 0; --i) {
    const double f = exp(((log(t[i]) * am1) - t[i]) - lg);
    S = i == 49 ? f * w[i] : f * w[i] + S;
  }
  return S;
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

// x with P(a, x) = p: 0 for p < EPS (tested before p > 1, so negative p
// also gives 0), NaN for p > 1, +inf within EPS of p = 1, 0 for a < EPS.
constexpr double incomplete_gamma_inv(double a, double p) {
  if (isnan(a) || isnan(p)) return NaN;
  if (p < EPS) return 0.0;
  if (p > 1) return NaN;
  if (fabs(1 - p) < EPS) return INF;
  if (a < EPS) return 0.0;

  const double lg = lgamma(a);
  double x;
  if (a > 1) {
    // Wilson-Hilferty: (X/a)^(1/3) is nearly normal with mean 1 - 1/(9a)
    // and variance 1/(9a); the normal quantile v comes from the rational
    // approximation t - (c0 + c1 t + c2 t^2)/(1 + d1 t + d2 t^2 + d3 t^3).
    double t, sigma;
    if (p > 0.5) {
      t = sqrt(log(1 - p) * (-2));
      sigma = -1;
    } else {
      t = sqrt(log(p) * (-2));
      sigma = 1;
    }
    const double num = (0.802853 * t + 2.515517) + (0.010328 * t) * t;
    const double den = ((1.432788 * t + 1) + (0.189269 * t) * t) + ((0.001308 * t) * t) * t;
    const double v = (t - num / den) * sigma;
    const double b = (1 - 1 / (9 * a)) - v / (sqrt(a) * 3);
    x = (b * (b * b)) * a;
    if (1e-4 > x) x = 1e-4;
  } else {
    // Small shapes: P(a, x) ~ t2 (x)^a near 0 and an exponential tail.
    const double t2 = (1 - 0.253 * a) - (0.12 * a) * a;
    if (p < t2)
      x = pow(p / t2, 1 / a);
    else
      x = 1 - log(1 - (p - t2) / (1 - t2));
  }

  // Halley's method on P(a, x) - p with g = P' the gamma density and
  // g'/g = (a - 1)/x - 1.  The density is taken at the previous iterate
  // (at the start for the first two steps); the step's correction factor
  // is clamped to [0.8, 1.2].
  const double am1 = a - 1;
  const auto density = [&](double u) { return exp(((log(u) * am1) - u) - lg); };
  double D = density(x);
  for (int k = 1; k <= 36; ++k) {
    const double r1 = (incomplete_gamma(a, x) - p) / D;
    const double r2 = (((am1 / x) - 1) * D) / D;
    const double h = 1 - (0.5 * r1) * r2;
    double delta;
    if (h > 1.2)
      delta = r1 / 1.2;
    else
      delta = r1 / (0.8 > h ? 0.8 : h);
    D = density(x);
    x = x - delta;
  }
  return x;
}

}  // namespace cxmath

// The distribution functions (namespace distmill) call the kernels
// unqualified; these declarations make them win over the C library's
// global functions of the same names, whatever was included first.
namespace distmill {
using cxmath::incomplete_gamma;
using cxmath::incomplete_gamma_inv;
}  // namespace distmill
