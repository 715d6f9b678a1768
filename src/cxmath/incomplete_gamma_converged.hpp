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
constexpr ext lgamma1p_direct(double a) {
  const int m = static_cast<int>(a + 0.5);
  const ext f = static_cast<ext>(a) - m;
  if (m == 0) return lgamma1p_small(f);
  ext prod = 1;
  for (int j = 0; j < m; ++j) prod = prod * (static_cast<ext>(a) - j);
  return xp::log(prod) + lgamma1p_small(f);
}

// The same, remembered for the last shape (a third of an evaluation's time
// at moderate shapes, the same for every element of an array call and
// every step of an inverse).
constexpr ext lgamma1p(double a) { return xp::remembered<lgamma1p_direct>(a); }

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

// A probability in extended precision clamped to [0, 1].
constexpr ext clamp_probability(ext v) {
  if (!(v > 0)) return 0;
  if (v >= 1) return 1;
  return v;
}

constexpr double to_probability(ext v) { return static_cast<double>(clamp_probability(v)); }

}  // namespace detail

// One converged evaluation: both tails and x times the density
// (x^a e^-x / Gamma(a)) in extended precision, and, when asked for, their
// logarithms, which stay finite where the values themselves leave even the
// extended range (NaN when not asked for).
struct GammaEval {
  ext P;
  ext Q;
  ext xg;
  ext lnP = NaN_EXT;
  ext lnQ = NaN_EXT;
  ext lnxg = NaN_EXT;
};

namespace detail {

// The logarithms of an evaluation whose lower tail has the logarithm lnP
// (computed from the log of the front factor, so that it is finite where P
// underflows): ln Q is log1p(-P) for P up to 1/2, else ln of the directly
// computed Q.
constexpr void lower_logs(GammaEval& e, ext lnP, ext lnxg) {
  e.lnP = lnP;
  e.lnQ = e.P <= ext(0.5) ? xp::log1p(-e.P) : xp::log(e.Q);
  e.lnxg = lnxg;
}

// The same with the upper tail's logarithm lnQ given.
constexpr void upper_logs(GammaEval& e, ext lnQ, ext lnxg) {
  e.lnQ = lnQ;
  e.lnP = e.Q <= ext(0.5) ? xp::log1p(-e.Q) : xp::log(e.P);
  e.lnxg = lnxg;
}

// a < 12.
constexpr GammaEval gamma_moderate_shape(double a, ext X, bool logs) {
  const ext A = a;
  const ext lg = lgamma1p(a);
  const ext lx = xp::log(X);
  if (a < GAMMA_SMALL_SHAPE && X <= GAMMA_SMALL_SHAPE_X) {
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
    GammaEval e{P, Q, A * D};
    // Neither tail nor e^u leaves the extended range here (u >= -728 for
    // x down to 2^-2100, below every quotient of doubles): the logarithms
    // of the values themselves.
    if (logs) {
      e.lnP = P <= ext(0.5) ? xp::log(P) : xp::log1p(-Q);
      e.lnQ = Q <= ext(0.5) ? xp::log(Q) : xp::log1p(-P);
      e.lnxg = (xp::log(A) + u) - X;
    }
    return e;
  }
  const ext lnD = (A * lx - X) - lg;
  const ext D = xp::exp(lnD);
  if (X < A + 1) {
    const ext s = gamma_lower_series(A, X);
    const ext P = D * s;
    GammaEval e{P, 1 - P, A * D};
    if (logs) lower_logs(e, lnD + xp::log(s), xp::log(A) + lnD);
    return e;
  }
  const ext h = gamma_upper_fraction(A, X);
  const ext Q = A * D * h;
  GammaEval e{1 - Q, Q, A * D};
  if (logs) upper_logs(e, (xp::log(A) + lnD) + xp::log(h), xp::log(A) + lnD);
  return e;
}

// a >= 12.  The shape is taken in extended precision (the Poisson CDF
// passes a count plus one).
// `diff` is x - a, formed by the caller as exactly as it can be: for doubles
// x and a it is exact in extended precision whenever x/a is within
// [2^-11, 2^11] (beyond that phi is large and a relative error of 2^-64 in
// u is harmless).
//
// The logarithms: ln D = -a phi - ln sqrt(2 pi a) - S(a) is finite for
// every argument, and so are ln D plus the logarithm of the series or the
// fraction.  In the band of the expansion, once y >= 2, both of its terms
// carry the factor e^(-y^2) = e^(-a phi) (half_erfc is E times a fraction
// there), which is taken out: the smaller tail is e^(-a phi) times a
// number of moderate size.
constexpr GammaEval gamma_large_shape(ext A, ext X, ext diff, bool logs) {
  const ext u = diff / A;  // lambda - 1
  const ext phi = xp::log1p_deficit(u, X / A);
  const ext aphi = A * phi;
  if (!logs && aphi > GAMMA_UNDERFLOW_EXPONENT) {
    if (X < A) return GammaEval{0, 1, 0};
    return GammaEval{1, 0, 0};
  }
  const ext E = xp::exp(-aphi);
  const ext sqrt_a = xp::sqrt(A);
  // D = x^a e^-x / Gamma(a + 1) = e^(-a phi) / (sqrt(2 pi a) e^S(a)).
  const ext D = E * INV_SQRT_2PI_EXT / (sqrt_a * exp_ext(xp::stirling_series(A)));
  const ext lnD = logs ? (-aphi - (LN_SQRT_2PI_EXT + ext(0.5) * xp::log(A))) - xp::stirling_series(A) : 0;
  const ext lnxg = logs ? xp::log(A) + lnD : 0;
  const ext lambda = X / A;
  if (lambda < TEMME_LOW) {
    const ext s = gamma_lower_series(A, X);
    const ext P = D * s;
    GammaEval e{P, 1 - P, A * D};
    if (logs) lower_logs(e, lnD + xp::log(s), lnxg);
    return e;
  }
  if (lambda > TEMME_HIGH) {
    const ext h = gamma_upper_fraction(A, X);
    const ext Q = A * D * h;
    GammaEval e{1 - Q, Q, A * D};
    if (logs) upper_logs(e, (xp::log(A) + lnD) + xp::log(h), lnxg);
    return e;
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
  // e^(a phi) times the smaller tail, for y >= 2.
  const auto scaled = [&](ext sign) { return half_erfc(y, 1) + sign * (INV_SQRT_2PI_EXT / sqrt_a * S); };
  if (u >= 0) {
    const ext Q = half_erfc(y, E) + R;
    GammaEval e{1 - Q, Q, A * D};
    if (logs) upper_logs(e, y >= 2 ? xp::log(scaled(1)) - aphi : xp::log(Q), lnxg);
    return e;
  }
  const ext P = half_erfc(y, E) - R;
  GammaEval e{P, 1 - P, A * D};
  if (logs) lower_logs(e, y >= 2 ? xp::log(scaled(-1)) - aphi : xp::log(P), lnxg);
  return e;
}

constexpr double rounded_probability(ext v) { return isnan(v) ? NaN : to_probability(v); }

constexpr GammaPQ rounded(const GammaEval& e) {
  return GammaPQ{rounded_probability(e.P), rounded_probability(e.Q), static_cast<double>(e.xg)};
}

// The evaluation at a limit: P = lower, Q = 1 - lower (0 or 1, or NaN).
constexpr GammaEval gamma_limit(ext lower) {
  if (isnan(lower)) return GammaEval{NaN_EXT, NaN_EXT, NaN_EXT, NaN_EXT, NaN_EXT, NaN_EXT};
  const ext upper = 1 - lower;
  return GammaEval{lower, upper, 0, xp::log(lower), xp::log(upper), -INF_EXT};
}

}  // namespace detail

// An argument x of the incomplete gamma function with its difference from
// the shape, x - a, which large shapes depend on most (formed by the
// caller as exactly as it can be: for a quotient of doubles see
// gamma_point below).
struct GammaPoint {
  ext x;
  ext diff;
};

// P(a, x) and Q(a, x) at the point, as incomplete_gamma_eval below.
constexpr GammaEval incomplete_gamma_eval(double a, const GammaPoint& pt, bool logs) {
  const ext x = pt.x;
  if (isnan(a) || isnan(x) || a < 0) return detail::gamma_limit(NaN_EXT);
  if (x <= 0) return detail::gamma_limit(0);
  if (a == 0) return detail::gamma_limit(1);
  if (x == INF_EXT) return detail::gamma_limit(a == INF ? NaN_EXT : ext(1));
  if (a == INF) return detail::gamma_limit(0);
  if (a < detail::TEMME_MIN_SHAPE) return detail::gamma_moderate_shape(a, x, logs);
  return detail::gamma_large_shape(a, x, pt.diff, logs);
}

// P(a, x) and Q(a, x), converged, for a >= 0 and any x >= 0 in extended
// precision (so that a quotient of doubles such as x/scale neither
// overflows nor underflows before it gets here); with `logs` their
// logarithms too.  NaN arguments or a negative shape give NaN; x <= 0
// gives P = 0; a = 0 (all mass at 0) and x = +inf give P = 1; a = +inf
// with finite x gives P = 0.
constexpr GammaEval incomplete_gamma_eval(double a, ext x, bool logs) {
  return incomplete_gamma_eval(a, GammaPoint{x, x - static_cast<ext>(a)}, logs);
}

// P(a, x) and Q(a, x), converged, each rounded once.
constexpr GammaPQ incomplete_gamma_converged(double a, double x) {
  return detail::rounded(incomplete_gamma_eval(a, x, false));
}

// ln P(a, x) and ln Q(a, x), each rounded once.
struct GammaLogPQ {
  double lnP;
  double lnQ;
};

// ln P(a, x) and ln Q(a, x), converged, for a >= 0 and x >= 0 (NaN
// arguments or a negative shape give NaN).  Both are computed in log space:
// the front factor x^a e^-x / Gamma(a) enters as its logarithm, so they are
// finite wherever the true value is a finite double, far beyond the range
// where P or Q underflow even the extended format (ln P(1e6, 1) = -1.28e7,
// ln Q(2, 1e300) = -1e300).  The one close to 0 is log1p of minus the
// other tail, which keeps the small complement.  x <= 0 gives (-inf, 0),
// a = 0 and x = +inf give (0, -inf).
constexpr GammaLogPQ incomplete_gamma_converged_log(double a, double x) {
  const GammaEval e = incomplete_gamma_eval(a, x, true);
  return GammaLogPQ{static_cast<double>(e.lnP), static_cast<double>(e.lnQ)};
}

namespace detail {

constexpr GammaEval gamma_count_eval(double n, double x, bool logs) {
  if (isnan(n) || isnan(x)) return gamma_limit(NaN_EXT);
  if (n < 0x1p53) return incomplete_gamma_eval(n + 1, x, logs);
  if (n == INF) return incomplete_gamma_eval(n, x, logs);
  if (x <= 0) return gamma_limit(0);
  if (x == INF) return gamma_limit(1);
  return gamma_large_shape(static_cast<ext>(n) + 1, x, (static_cast<ext>(x) - static_cast<ext>(n)) - 1, logs);
}

}  // namespace detail

// P(a, x) and Q(a, x) for the shape a = n + 1 (n >= 0 a whole number,
// x >= 0 finite or +inf): the Poisson CDF F(n) = Q(n + 1, x) at counts
// beyond 2^53, where n + 1 is no longer a double.  The difference x - a,
// on which the result depends most, is formed as (x - n) - 1, exact in
// extended precision for the counts that matter (|x - n| below 2^63); the
// shape itself, n + 1 in extended precision, enters only through terms
// where a relative error of 2^-64 is harmless.
constexpr GammaPQ incomplete_gamma_converged_count(double n, double x) {
  return detail::rounded(detail::gamma_count_eval(n, x, false));
}

// ln P(n + 1, x) and ln Q(n + 1, x) in log space, as
// incomplete_gamma_converged_log, for every whole n >= 0 (the Poisson log-CDF
// ln F(n) = ln Q(n + 1, x), also beyond 2^53).
constexpr GammaLogPQ incomplete_gamma_converged_count_log(double n, double x) {
  const GammaEval e = detail::gamma_count_eval(n, x, true);
  return GammaLogPQ{static_cast<double>(e.lnP), static_cast<double>(e.lnQ)};
}

// The lower (or upper) function at an extended argument, converged, in the
// scale of the log flag: the probability rounded once, or its logarithm.
// The logarithm is that of the rounded probability wherever this is
// accurate (a normal double up to 1 - LOG_NEAR_ONE: its rounding moves the
// logarithm by at most 2^-53, 1e-10 of its magnitude there), so that the
// log form is the logarithm of the probability the plain form returns; the
// one computed in log space elsewhere (below the normal range, and close
// to 1, where it is log1p of minus the other tail).
constexpr double incomplete_gamma_in_scale(double a, const GammaPoint& x, bool upper, bool give_log) {
  const GammaEval e = incomplete_gamma_eval(a, x, give_log);
  const double v = detail::rounded_probability(upper ? e.Q : e.P);
  if (!give_log) return v;
  if (v >= 0x1p-1022 && v <= 1 - LOG_NEAR_ONE) return static_cast<double>(xp::log(static_cast<ext>(v)));
  return static_cast<double>(upper ? e.lnQ : e.lnP);
}

constexpr double incomplete_gamma_in_scale(double a, ext x, bool upper, bool give_log) {
  return incomplete_gamma_in_scale(a, GammaPoint{x, x - static_cast<ext>(a)}, upper, give_log);
}

// ln of the unit-scale gamma density, ln(z^(a-1) e^-z / Gamma(a)), for
// 0 <= a < inf and 0 < z < inf (z in extended precision, so that quotients
// of doubles such as x/scale neither overflow nor underflow).  For a >= 12
// it is ln(a D / z) with D = e^(-a phi)/(sqrt(2 pi a) e^S(a)) as above;
// below, (a - 1) ln z - z - (ln Gamma(1 + a) - ln a).
constexpr ext gamma_log_density_converged(double a, const GammaPoint& pt) {
  using namespace detail;
  const ext A = a, z = pt.x;
  if (!(a > 0)) return -INF_EXT;  // shape 0: all mass at 0
  if (a < TEMME_MIN_SHAPE) return ((A - 1) * xp::log(z) - z) - (lgamma1p(a) - xp::log(A));
  const ext u = pt.diff / A;
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

constexpr ext gamma_log_density_converged(double a, ext z) {
  return gamma_log_density_converged(a, GammaPoint{z, z - static_cast<ext>(a)});
}

// Where the fixed-depth log-density of the gamma side, a sum of terms whose
// magnitudes add up to `terms`, can miss the rule:
//  * shapes below DENSITY_SMALL_SHAPE, where ln Gamma(a) carries an
//    absolute error from 2e-12 (a = 1e-5) to 4e-7 (1e-11);
//  * `terms` above DENSITY_TERMS_BOUND times the tolerance's scale (1, or
//    |ld| for the log-density above 1): the absolute error of ld is a few
//    ulps of the largest terms (ln Gamma's two ulps included), and that is
//    the density's relative error (measured: at most 3.3 2^-53 terms).
// (Arguments below EPS, whose logarithm the kernel takes as -inf, are the
// caller's.)
inline constexpr double DENSITY_SMALL_SHAPE = 1e-4;
inline constexpr double DENSITY_TERMS_BOUND = 1e4;

constexpr bool gamma_density_region(double shape, double terms, double ld, bool give_log) {
  if (shape < DENSITY_SMALL_SHAPE) return true;
  const double scale = give_log && fabs(ld) > 1 ? fabs(ld) : 1.0;
  return !(terms <= DENSITY_TERMS_BOUND * scale);
}

// A density of the gamma side from its fixed-depth log-density `ld`,
// checked in its region (and wherever it is not a number: 0 * inf or
// inf - inf at extreme arguments) against the log-density l() evaluated in
// extended precision.  Returned in the flag's scale.
template <bool Checked, class LogDensity>
constexpr double keep_gamma_density(double ld, bool give_log, bool in_region, LogDensity&& l) {
  return keep_density<Checked>(give_log ? ld : exp(ld), give_log, in_region, [&] {
    const ext v = l();
    return give_log ? static_cast<double>(v) : static_cast<double>(xp::exp(v));
  });
}

// The same checked only where ld is not a number.
template <bool Checked, class LogDensity>
constexpr double keep_gamma_density(double ld, bool give_log, LogDensity&& l) {
  return keep_gamma_density<Checked>(ld, give_log, false, l);
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


// ---- the laws of the gamma side ------------------------------------------

// Up to this shape the functions at a quotient x/scale rounded to double
// differ from those at the exact quotient by less than 1e-11 of the smaller
// tail (their sensitivity to ln z is at most about sqrt(1500 a) where that
// tail is a normal double); beyond it the point is formed exactly.
inline constexpr double GAMMA_ROUNDED_POINT_SHAPE = 1e6;

// A law of the gamma side by the argument z of the incomplete gamma function
// at its variable v: z = v/s for the gamma law of scale s (CDF P(a, v/s)),
// z = s/v for the inverse gamma law of scale s (CDF Q(a, s/v)).
// 0 < s < inf.
struct GammaScale {
  double s;
  bool reciprocal;
};

namespace detail {

// Targets below this are solved in log space: the probabilities at the
// iterates would be subnormal doubles, whose relative resolution is gone.
inline constexpr double GAMMA_SMALL_TARGET = 0x1p-1000;

// The top 32 bits of the significand of v, the rest cleared (v finite).
constexpr ext high_half(ext v) {
  return ext_from_bits(ext_sign_exp(v), ext_significand(v) & 0xffffffff00000000u);
}

// x - a y for finite x, a, y, each with at most 64 significant bits.  a and
// y are split into halves of at most 32 bits, whose four products are exact,
// and these are taken from x largest first.  Where a y is within a factor
// of two of x the first difference is exact, and so is each following one
// (the partial sums span fewer than 64 bits), so the result is x - a y
// rounded once, however much of x it cancels.
constexpr ext difference_of_product(ext x, ext a, ext y) {
  const ext ah = high_half(a), yh = high_half(y);
  const ext al = a - ah, yl = y - yh;
  return (((x - ah * yh) - ah * yl) - al * yh) - al * yl;
}

}  // namespace detail

// The point of the incomplete gamma function at the variable v of the law
// (v >= 0, or +inf): z = v/s or s/v, and z - a as (v - a s)/s or
// (s - a v)/v, the product of doubles taken exactly.  For huge shapes the
// functions turn on the last bits of z - a: P(1e300, z) runs from 0 to 1
// while z moves by 1e-135 of itself, so z - a formed from a rounded
// quotient would carry an error of 2^-64 z, ruinous beyond shapes of
// about 1e15.
constexpr GammaPoint gamma_point(double a, const GammaScale& m, ext v) {
  if (v == INF_EXT) return m.reciprocal ? GammaPoint{0, -static_cast<ext>(a)} : GammaPoint{INF_EXT, INF_EXT};
  if (m.reciprocal) {
    if (v == 0) return GammaPoint{INF_EXT, INF_EXT};
    const ext s = m.s;
    return GammaPoint{s / v, detail::difference_of_product(s, a, v) / v};
  }
  const ext s = m.s;
  return GammaPoint{v / s, detail::difference_of_product(v, a, s) / s};
}

namespace detail {

// ln F(v), ln(1 - F(v)) and ln(v F'(v)) of the law.
struct LawLogs {
  ext lnF;
  ext lnG;
  ext lnvf;
};

constexpr LawLogs law_logs(double a, const GammaScale& m, ext v) {
  const GammaEval e = incomplete_gamma_eval(a, gamma_point(a, m, v), true);
  if (m.reciprocal) return LawLogs{e.lnQ, e.lnP, e.lnxg};
  return LawLogs{e.lnP, e.lnQ, e.lnxg};
}

// ln Gamma(1 + a) for a > 0.
constexpr ext lgamma1p_any(double a) {
  if (a < 13) return lgamma1p(a);
  const ext z = static_cast<ext>(a) + 1;
  return xp::stirling_main(z) + xp::stirling_delta(z);
}

constexpr double next_up(double v) { return std::bit_cast<double>(bits(v) + 1); }
constexpr double next_down(double v) { return std::bit_cast<double>(bits(v) - 1); }

}  // namespace detail

// The converged tails of the law at v (none below 0 or at NaN), each
// clamped to [0, 1] in extended precision.
constexpr Tails gamma_law_tails(double a, const GammaScale& m, double v) {
  if (!(v >= 0)) return NO_TAILS;
  const GammaEval e = incomplete_gamma_eval(a, gamma_point(a, m, v), false);
  const ext P = detail::clamp_probability(e.P), Q = detail::clamp_probability(e.Q);
  return m.reciprocal ? Tails{Q, P} : Tails{P, Q};
}

// The double nearest to the quantile v of the law with F(v) = p (or
// 1 - F(v) = q when p > 1/2), for 0 < a < inf and 0 < p, q < 1, solved in
// log space: the residual r(v) = ln F(v) - ln p (ln q - ln(1 - F(v)) above
// 1/2) is computed from the logarithms of the tails, which are finite and
// accurate to a few units of 2^-64 however small the tails are, so the
// root is resolved to its nearest double for targets down to the least
// subnormal and for roots anywhere in (and beyond) the double range.
//
// Newton steps in ln v (dr/d ln v = v F'(v) divided by the tail), kept in a
// bracket [lo, hi] that starts as [0, +inf]; a point outside it, or after
// a step that failed to halve |r|, gives way to the bisection of the bit
// patterns; once Newton stands still, the neighbouring double toward the
// root closes the bracket.  The adjacent ends are decided by the sign of r
// at their midpoint in extended precision: the nearer double to the root
// (0 when the root lies below half the least subnormal, +inf when it lies
// beyond the largest double by half an ulp).  At most 300 evaluations.
constexpr double gamma_quantile_log_space(double a, double p, double q, const GammaScale& m, double start) {
  using namespace detail;
  const bool upper = p > 0.5;
  const ext target = xp::log(static_cast<ext>(upper ? q : p));
  const auto residual = [&](const LawLogs& l) { return upper ? target - l.lnG : l.lnF - target; };
  double v = start;
  if (!(v > 0 && v < INF)) {
    // The leading behaviour of the gamma tail solved for: P(a, z) ~ z^a /
    // Gamma(1 + a) as z -> 0, ln Q(a, z) ~ a - z for z well above a.
    const bool tail_is_P = upper == m.reciprocal;
    const ext z = tail_is_P ? xp::exp((target + lgamma1p_any(a)) / a) : a - target;
    const ext w = m.reciprocal ? (z > 0 ? static_cast<ext>(m.s) / z : INF_EXT) : z * m.s;
    v = w < ext(DBL_MAX_) ? static_cast<double>(w) : DBL_MAX_;
    if (!(v > 0)) v = 0x1p-1074;
  }
  double lo = 0, hi = INF;
  ext last_r = INF_EXT;
  bool last_newton = false;
  for (int iter = 0; iter < 300; ++iter) {
    const LawLogs l = law_logs(a, m, v);
    const ext r = residual(l);
    if (r == 0) return v;
    if (r > 0)
      hi = v;
    else
      lo = v;  // a NaN residual counts as below the root
    if (bits(hi) - bits(lo) <= 1) break;
    const ext slope = xp::exp(l.lnvf - (upper ? l.lnG : l.lnF));
    double next = NaN;
    if (slope > 0 && slope < INF_EXT) next = static_cast<double>(static_cast<ext>(v) * xp::exp(-r / slope));
    const bool stalled = last_newton && !(fabs(r) <= ext(0.5) * last_r);
    last_r = fabs(r);
    last_newton = false;
    if (next == v) {
      const double toward = r > 0 ? next_down(v) : next_up(v);
      next = toward > lo && toward < hi ? toward : bit_middle(lo, hi);
    } else if (stalled || !(next > lo && next < hi)) {
      next = bit_middle(lo, hi);
    } else {
      last_newton = true;
    }
    v = next;
  }
  const ext mid = hi == INF ? static_cast<ext>(lo) + ext(0.5) * ulp(lo)
                            : (static_cast<ext>(lo) + static_cast<ext>(hi)) * ext(0.5);
  return residual(law_logs(a, m, mid)) > 0 ? lo : hi;
}

// The quantile of the law for p and q = 1 - p as the caller holds them,
// converged; `start` is the fixed-depth root of the unit-scale inverse
// (P(a, x) = p for the gamma law, P(a, x) = q for the inverse gamma law,
// whose quantile is s/x).  Where the target is at least GAMMA_SMALL_TARGET
// and the unit-scale root a normal double, that root by
// incomplete_gamma_inv_converged, mapped to v (a rounding, no more); the
// rest in log space on v itself (tiny targets, and roots that are
// subnormal, zero or beyond the double range at unit scale, where the map
// would carry too few bits or none).
constexpr double gamma_quantile_converged(double a, double p, double q, const GammaScale& m, double start) {
  const double up = m.reciprocal ? q : p, uq = m.reciprocal ? p : q;
  if (fmin(p, q) >= detail::GAMMA_SMALL_TARGET) {
    const double x = incomplete_gamma_inv_converged(a, up, uq, start);
    const double v = m.reciprocal ? m.s / x : x * m.s;
    if (x >= 0x1p-1022 && x < INF && v >= 0x1p-1022 && v < INF) return v;
  }
  const double v = m.reciprocal ? (start > 0 ? m.s / start : INF) : start * m.s;
  return gamma_quantile_log_space(a, p, q, m, v);
}

}  // namespace cxmath
