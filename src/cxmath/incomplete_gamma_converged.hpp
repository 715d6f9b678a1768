// Converged regularized incomplete gamma functions P(a, x), Q(a, x) and the
// inverse in x, for the places where the fixed-depth kernels of
// incomplete_gamma.hpp break down.
//
// Everything is computed in extended precision and rounded once; every loop
// either has a fixed length or stops at convergence with a fixed cap that
// the regions below never reach, so the work per call is bounded for all
// arguments (a and x up to the largest double).
//
// Regions (both P and Q come out of one evaluation; the smaller of the two
// is always computed directly, the larger as its complement):
//
//  a < 12:
//   * a < 1/2 and x <= 3/2: the small-shape form.  With u = a ln x - ln Gamma(1 + a)
//     and T = sum_{n>=1} (-x)^n / (n! (a + n)),
//        P = e^u (1 + a T),   Q = -expm1(u) - e^u a T.
//     Q is of order a here, and 1 - P would lose all of it for tiny a.
//   * x < a + 1: the series P = D sum_{n>=0} x^n / ((a+1)...(a+n)), Q = 1 - P.
//   * otherwise the continued fraction
//        Q = a D / (x+1-a - 1(1-a)/(x+3-a - 2(2-a)/(x+5-a - ...))),
//     by the modified Lentz method, P = 1 - Q.
//   Here D = x^a e^-x / Gamma(a + 1) = exp(a ln x - x - ln Gamma(1 + a)).
//
//  a >= 12, with lambda = x/a and phi = lambda - 1 - ln lambda >= 0:
//   * a phi > 750: the smaller of P and Q is below half the smallest
//     subnormal (both are at most e^(-a phi) there), so it is 0.
//   * 1/4 <= lambda <= 3: the uniform asymptotic expansion
//        Q = erfc(y)/2 + e^(-y^2)/sqrt(2 pi a) sum_{k=0}^{14} c_k(eta) a^-k,
//     eta = sign(lambda - 1) sqrt(2 phi), y = eta sqrt(a/2), with c_k as
//     Taylor polynomials of degree 40 in eta (incomplete_gamma_tables.hpp).
//     The truncation error is below 1e-17 relative to min(P, Q) for
//     a >= 12 in this band (measured against mpmath): fixed work for any a.
//   * lambda < 1/4: the series;  lambda > 3: the continued fraction.  Both
//     converge geometrically there (ratio below 1/4, resp. a few dozen
//     levels), and a phi <= 750 bounds a by about 1200.
//   D is formed as e^(-a phi) / (sqrt(2 pi a) e^S(a)), S the Stirling series
//   of ln Gamma(a), so that no term of size a ln a is ever cancelled: phi
//   comes from u = (x - a)/a (x - a exact in extended precision) through
//   ln(1 + u) - u, which keeps its relative accuracy near lambda = 1.
// References: DLMF 8.7, 8.9, 8.12 (Temme's uniform expansion), 5.7.3, 5.11.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "cxmath/agreement.hpp"
#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"
#include "cxmath/incomplete_gamma_tables.hpp"

namespace cxmath {

// P, Q and x times the density (x^a e^-x / Gamma(a)), each rounded once.
struct GammaPQ {
  double P;
  double Q;
  double xg;
};

namespace detail {

inline constexpr ext GAMMA_CONV = 0x1p-66_x;  // convergence test of the series and fractions
inline constexpr double GAMMA_SMALL_SHAPE = 0.5;
inline constexpr double GAMMA_SMALL_SHAPE_X = 1.5;
inline constexpr double TEMME_MIN_SHAPE = 12;
inline constexpr double TEMME_LOW = 0.25;
inline constexpr double TEMME_HIGH = 3;
inline constexpr ext GAMMA_UNDERFLOW_EXPONENT = 750;
inline constexpr int GAMMA_MAX_TERMS = 500;

// The coefficients (-1)^k (zeta(k) - 1)/k of the series below, k = 2..40,
// each one division as the series writes it, made when compiling.
inline constexpr auto LGAMMA1P_COEF = [] {
  std::array<ext, 41> c{};
  for (int k = 2; k <= 40; ++k) c[k] = (k % 2 == 0 ? ZETA_M1[k] : -ZETA_M1[k]) / static_cast<ext>(k);
  return c;
}();

// ln Gamma(1 + f) for |f| <= 1/2:
//   -gamma f - (ln(1 + f) - f) + sum_{k>=2} (-1)^k (zeta(k) - 1) f^k / k,
// the terms of the sum falling like (f/2)^k.
constexpr ext lgamma1p_small(ext f) {
  ext t = 0;
  for (int k = 40; k >= 2; --k) t = t * f + LGAMMA1P_COEF[k];
  return (-EULER_GAMMA_EXT * f + xp::log1p_deficit(f, 1 + f)) + (f * f) * t;
}

// ln Gamma(1 + a) for 0 <= a < 13: Gamma(1 + a) = a (a-1) ... (a-m+1) Gamma(1 + f)
// with m the nearest integer to a and f = a - m (exact).
constexpr ext lgamma1p(double a) {
  const int m = static_cast<int>(a + 0.5);
  const ext f = static_cast<ext>(a) - m;
  if (m == 0) return lgamma1p_small(f);
  ext prod = 1;
  for (int j = 0; j < m; ++j) prod = prod * (static_cast<ext>(a) - j);
  return xp::log(prod) + lgamma1p_small(f);
}

// erfc(y)/2 for y >= 0, given E = e^(-y^2).  Below 2 through the series
// erf y = 2 y e^(-y^2)/sqrt(pi) sum_n (2y^2)^n / (1 3 5 ... (2n+1)) (positive
// terms); from 2 on the continued fraction
//   erfc y = 2 e^(-y^2)/sqrt(pi) / (2y + 2/(2y + 4/(2y + ...))), 80 levels.
constexpr ext half_erfc(ext y, ext E) {
  if (y < 2) {
    const ext w = 2 * y * y;
    ext term = 1, sum = 1;
    for (int n = 1; n <= 80; ++n) {
      term = term * w / static_cast<ext>(2 * n + 1);
      sum = sum + term;
      if (term < sum * GAMMA_CONV) break;
    }
    const ext erf_y = 2 * y * E * INV_SQRTPI_EXT * sum;
    return ext(0.5) - ext(0.5) * erf_y;
  }
  const ext t = y + y;
  ext d = static_cast<ext>(160) / t + t;
  for (int k = 79; k >= 1; --k) d = static_cast<ext>(2 * k) / d + t;
  return E * INV_SQRTPI_EXT / d;
}

// sum_{n>=0} x^n / ((a+1) ... (a+n)).
constexpr ext gamma_lower_series(ext a, ext x) {
  ext term = 1, sum = 1;
  for (int n = 1; n <= GAMMA_MAX_TERMS; ++n) {
    term = term * x / (a + n);
    sum = sum + term;
    if (term < sum * GAMMA_CONV) break;
  }
  return sum;
}

// 1/(x+1-a - 1(1-a)/(x+3-a - 2(2-a)/(x+5-a - ...))) by modified Lentz.
constexpr ext gamma_upper_fraction(ext a, ext x) {
  ext b = x + 1 - a;
  ext C = 1 / xp::LENTZ_TINY;
  ext D = 1 / b;
  ext h = D;
  for (int n = 1; n <= GAMMA_MAX_TERMS; ++n) {
    const ext an = -static_cast<ext>(n) * (static_cast<ext>(n) - a);
    b = b + 2;
    D = an * D + b;
    if (D == 0) D = xp::LENTZ_TINY;
    C = b + an / C;
    if (C == 0) C = xp::LENTZ_TINY;
    D = 1 / D;
    const ext delta = C * D;
    h = h * delta;
    if (fabs(delta - 1) < GAMMA_CONV) break;
  }
  return h;
}

constexpr double to_probability(ext v) {
  if (!(v > 0)) return 0.0;
  if (v >= 1) return 1.0;
  return static_cast<double>(v);
}

constexpr GammaPQ gamma_pq(ext P, ext Q, ext xg) {
  return GammaPQ{to_probability(P), to_probability(Q), static_cast<double>(xg)};
}

// a < 12.
constexpr GammaPQ gamma_moderate_shape(double a, double x) {
  const ext A = a, X = x;
  const ext lg = lgamma1p(a);
  const ext lx = xp::log(X);
  if (a < GAMMA_SMALL_SHAPE && x <= GAMMA_SMALL_SHAPE_X) {
    // T = sum_{n>=1} (-x)^n / (n! (a + n)); x <= 3/2 keeps its
    // cancellation below a factor of about 5.
    ext pw = 1, T = 0;
    for (int n = 1; n <= 60; ++n) {
      pw = pw * (-X) / static_cast<ext>(n);
      const ext term = pw / (A + n);
      T = T + term;
      if (fabs(term) < fabs(T) * GAMMA_CONV) break;
    }
    const ext u = A * lx - lg;
    const ext xa = xp::exp(u);  // x^a / Gamma(1 + a)
    const ext P = xa * (1 + A * T);
    const ext Q = -xp::expm1(u) - xa * (A * T);
    const ext D = xa * xp::exp(-X);
    return gamma_pq(P, Q, A * D);
  }
  const ext D = xp::exp((A * lx - X) - lg);
  if (X < A + 1) {
    const ext P = D * gamma_lower_series(A, X);
    return gamma_pq(P, 1 - P, A * D);
  }
  const ext Q = A * D * gamma_upper_fraction(A, X);
  return gamma_pq(1 - Q, Q, A * D);
}

// a >= 12.  The shape is taken in extended precision (the Poisson CDF
// passes a count plus one).
// `diff` is x - a, formed by the caller as exactly as it can be: for doubles
// x and a it is exact in extended precision whenever x/a is within
// [2^-11, 2^11] (beyond that phi is large and a relative error of 2^-64 in
// u is harmless).
constexpr GammaPQ gamma_large_shape(ext A, double x, ext diff) {
  const ext X = x;
  const ext u = diff / A;  // lambda - 1
  const ext phi = xp::log1p_deficit(u, X / A);
  const ext aphi = A * phi;
  if (aphi > GAMMA_UNDERFLOW_EXPONENT) {
    if (X < A) return GammaPQ{0.0, 1.0, 0.0};
    return GammaPQ{1.0, 0.0, 0.0};
  }
  const ext E = xp::exp(-aphi);
  const ext sqrt_a = xp::sqrt(A);
  // D = x^a e^-x / Gamma(a + 1) = e^(-a phi) / (sqrt(2 pi a) e^S(a)).
  const ext D = E * INV_SQRT_2PI_EXT / (sqrt_a * exp_ext(xp::stirling_series(A)));
  const ext lambda = X / A;
  if (lambda < TEMME_LOW) {
    const ext P = D * gamma_lower_series(A, X);
    return gamma_pq(P, 1 - P, A * D);
  }
  if (lambda > TEMME_HIGH) {
    const ext Q = A * D * gamma_upper_fraction(A, X);
    return gamma_pq(1 - Q, Q, A * D);
  }
  const ext eta_abs = xp::sqrt(phi + phi);
  const ext eta = u < 0 ? -eta_abs : eta_abs;
  const ext y = xp::sqrt(aphi);
  const ext r = 1 / A;
  ext S = 0;
  for (int k = TEMME_K; k >= 0; --k) {
    ext c = TEMME[k][TEMME_N];
    for (int n = TEMME_N - 1; n >= 0; --n) c = c * eta + TEMME[k][n];
    S = S * r + c;
  }
  const ext R = E * INV_SQRT_2PI_EXT / sqrt_a * S;
  if (u >= 0) {
    const ext Q = half_erfc(y, E) + R;
    return gamma_pq(1 - Q, Q, A * D);
  }
  const ext P = half_erfc(y, E) - R;
  return gamma_pq(P, 1 - P, A * D);
}

}  // namespace detail

// P(a, x) and Q(a, x), converged, for a >= 0 and any x (NaN arguments or a
// negative shape give NaN).  x <= 0 gives P = 0; a = 0 (all mass at 0) and
// x = +inf give P = 1; a = +inf with finite x gives P = 0.
constexpr GammaPQ incomplete_gamma_converged(double a, double x) {
  if (isnan(a) || isnan(x) || a < 0) return GammaPQ{NaN, NaN, NaN};
  if (x <= 0) return GammaPQ{0.0, 1.0, 0.0};
  if (a == 0) return GammaPQ{1.0, 0.0, 0.0};
  if (x == INF) return GammaPQ{a == INF ? NaN : 1.0, a == INF ? NaN : 0.0, 0.0};
  if (a == INF) return GammaPQ{0.0, 1.0, 0.0};
  if (a < detail::TEMME_MIN_SHAPE) return detail::gamma_moderate_shape(a, x);
  return detail::gamma_large_shape(a, x, static_cast<ext>(x) - static_cast<ext>(a));
}

// P(a, x) and Q(a, x) for the shape a = n + 1 (n >= 0 a whole number,
// x >= 0 finite or +inf): the Poisson CDF F(n) = Q(n + 1, x) at counts
// beyond 2^53, where n + 1 is no longer a double.  The difference x - a,
// on which the result depends most, is formed as (x - n) - 1, exact in
// extended precision for the counts that matter (|x - n| below 2^63); the
// shape itself, n + 1 in extended precision, enters only through terms
// where a relative error of 2^-64 is harmless.
constexpr GammaPQ incomplete_gamma_converged_count(double n, double x) {
  if (isnan(n) || isnan(x)) return GammaPQ{NaN, NaN, NaN};
  if (n < 0x1p53) return incomplete_gamma_converged(n + 1, x);
  if (n == INF) return incomplete_gamma_converged(n, x);
  if (x <= 0) return GammaPQ{0.0, 1.0, 0.0};
  if (x == INF) return GammaPQ{1.0, 0.0, 0.0};
  return detail::gamma_large_shape(static_cast<ext>(n) + 1, x,
                                 (static_cast<ext>(x) - static_cast<ext>(n)) - 1);
}

// ln of the unit-scale gamma density, ln(z^(a-1) e^-z / Gamma(a)), for
// 0 <= a < inf and 0 < z < inf (z in extended precision, so that quotients
// of doubles such as x/scale neither overflow nor underflow).  For a >= 12
// it is ln(a D / z) with D = e^(-a phi)/(sqrt(2 pi a) e^S(a)) as above;
// below, (a - 1) ln z - z - (ln Gamma(1 + a) - ln a).
constexpr ext gamma_log_density_converged(double a, ext z) {
  using namespace detail;
  const ext A = a;
  if (!(a > 0)) return -INF_EXT;  // shape 0: all mass at 0
  if (a < TEMME_MIN_SHAPE) return ((A - 1) * xp::log(z) - z) - (lgamma1p(a) - xp::log(A));
  const ext u = (z - A) / A;
  const ext phi = xp::log1p_deficit(u, z / A);
  const ext lnD = -A * phi - (LN_SQRT_2PI_EXT + ext(0.5) * xp::log(A)) - xp::stirling_series(A);
  return (lnD + xp::log(A)) - xp::log(z);
}

// The converged tails P(a, x) and Q(a, x) at a quantile x (none below 0).
constexpr Tails incomplete_gamma_tails(double a, double x) {
  if (x < 0) return NO_TAILS;
  const GammaPQ v = incomplete_gamma_converged(a, x);
  return {v.P, v.Q};
}

// A density of the gamma side whose fixed-depth log-density `ld` is trusted
// wherever it is a number.  It meets 0 * inf or inf - inf at extreme
// arguments (an argument or a shape below EPS, where the guarded logarithms
// and ln Gamma give infinities; huge shapes): there the log-density l()
// evaluated in extended precision answers.  Returned in the flag's scale.
template <bool Checked, class LogDensity>
constexpr double keep_gamma_density(double ld, bool give_log, LogDensity&& l) {
  return keep_density<Checked>(give_log ? ld : exp(ld), give_log, false, [&] {
    const ext v = l();
    return give_log ? static_cast<double>(v) : static_cast<double>(xp::exp(v));
  });
}

namespace detail {

constexpr std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// The double halfway between 0 <= lo < hi <= +inf in the ordering of the
// bit patterns: bisecting there needs at most 64 steps for any bracket.
constexpr double bit_middle(double lo, double hi) {
  return std::bit_cast<double>(bits(lo) + (bits(hi) - bits(lo)) / 2);
}

}  // namespace detail

// The x >= 0 with P(a, x) = p, converged, given p and q = 1 - p (whichever
// of them the caller holds exactly; the smaller one is solved for: Q(a, x) =
// q when p > 1/2, so that quantiles near 1 keep their relative accuracy).
// Requires 0 < a < inf and 0 < p, q < 1.  `start` is a first estimate (any
// value; a non-finite or non-positive one is ignored).
//
// Safeguarded Newton iteration on a bracket [lo, hi] that starts as
// [0, +inf]: in the lower tail on f = ln(P/p) against ln x (ln P(a, e^s) is
// concave in s, the log-gamma density being log-concave), in the upper tail
// on f = ln(Q/q) against x (nearly linear: Q ~ x^(a-1) e^-x / Gamma(a)).
// A Newton point outside the bracket, or after a Newton step that failed to
// halve |f|, gives way to a bisection of the bit patterns of the bracket,
// which needs at most 64 steps for any bracket of doubles; the iteration
// ends when a Newton step moves by at most one ulp or the bracket's ends
// are adjacent doubles, after at most 400 evaluations whatever happens (in
// practice 5 to 15).
constexpr double incomplete_gamma_inv_converged(double a, double p, double q, double start) {
  using detail::bit_middle;
  using detail::bits;
  const bool upper = p > 0.5;
  double lo = 0, hi = INF;
  double r_lo = -p, r_hi = q;  // residuals at 0 and +inf (positive: x too large)
  double x = start > 0 && start < INF ? start : bit_middle(lo, hi);
  ext last_f = INF_EXT;     // |Newton function| at the previous point
  bool last_newton = false;  // was that point a Newton point?
  for (int iter = 0; iter < 400; ++iter) {
    const GammaPQ v = incomplete_gamma_converged(a, x);
    const double r = upper ? q - v.Q : v.P - p;
    if (r == 0) return x;
    if (r > 0) {
      hi = x;
      r_hi = r;
    } else {
      lo = x;
      r_lo = r;
    }
    if (bits(hi) - bits(lo) <= 1) break;
    // Newton point, on f = ln(Q/q) against x or f = ln(P/p) against ln x.
    double next = NaN;
    ext f = INF_EXT;
    if (v.xg > 0 && (upper ? v.Q > 0 : v.P > 0)) {
      if (upper) {
        // d ln Q / dx = -xg / (x Q).
        f = xp::log(static_cast<ext>(v.Q) / static_cast<ext>(q));
        next = static_cast<double>(static_cast<ext>(x) +
                                   f * static_cast<ext>(x) * static_cast<ext>(v.Q) /
                                       static_cast<ext>(v.xg));
      } else {
        // d ln P / d ln x = xg / P.
        f = xp::log(static_cast<ext>(v.P) / static_cast<ext>(p));
        const ext step = -f * static_cast<ext>(v.P) / static_cast<ext>(v.xg);
        next = static_cast<double>(static_cast<ext>(x) * xp::exp(step));
      }
    }
    // A Newton point that underflows: is the root below the smallest
    // subnormal?  Then it rounds to 0 when it lies below half of it, where
    // P, proportional to x^a there, is P(TINY) 2^-a.
    if (next == 0 && lo == 0) {
      constexpr double TINY = 0x1p-1074;
      const double P_tiny = incomplete_gamma_converged(a, TINY).P;
      if (P_tiny >= p) {
        const ext P_half = static_cast<ext>(P_tiny) * xp::exp(-a * LN2_EXT);
        return P_half >= p ? 0.0 : TINY;
      }
      lo = TINY;
      r_lo = P_tiny - p;
    }
    // Newton has converged: a step of a few ulps is at the level of the
    // rounding of P and Q themselves.
    if (fabs(next - x) <= 4 * ulp(x)) return next >= lo && next <= hi ? next : x;
    // A Newton step that did not halve |f| counts as stalled.
    const bool stalled = last_newton && !(fabs(f) <= ext(0.5) * last_f);
    last_f = fabs(f);
    if (stalled || !(next > lo && next < hi)) {
      next = bit_middle(lo, hi);
      last_newton = false;
    } else {
      last_newton = true;
    }
    x = next;
  }
  // Adjacent bracket: the end whose probability is closer to the target.
  if (hi == INF) return lo;
  return -r_lo <= r_hi ? lo : hi;
}

}  // namespace cxmath
