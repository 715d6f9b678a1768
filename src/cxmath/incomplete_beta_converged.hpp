// Converged evaluation of the regularized incomplete beta function and of
// its inverse, for the places where the fixed-depth methods of
// incomplete_beta.hpp break down (arguments below EPS, shapes so large that
// 206 levels of the fraction do not suffice, tails whose complement cancels,
// starts that the damped Halley steps cannot recover from).
//
// Everything here works in extended precision and returns the lower and the
// upper probability P = I_x(a, b) and Q = 1 - I_x(a, b) separately, each
// with a relative accuracy of about 1e-16 or better, and takes the point as
// the pair (x, y) with x + y = 1 so that callers that know 1 - x better
// than by subtraction (the F and t distributions) can pass it directly.
//
// Forward method.  With N = a + b, p0 = a/N and q0 = b/N,
//
//   x^a y^b / (a B(a, b)) = sqrt(b/(2 pi a N)) e^(-D - Delta),
//   D = a g(x/p0 - 1) + b g(y/q0 - 1),   g(r) = r - ln(1 + r) >= 0,
//   Delta = delta(a) + delta(b) - delta(N),
//
// where delta is the remainder of Stirling's formula, ln Gamma(z) =
// (z - 1/2) ln z - z + ln sqrt(2 pi) + delta(z).  This form of the front
// factor has no cancellation between terms of size a ln a, so it stays
// accurate for shapes far beyond those where ln B(a, b) as a difference of
// log-gammas loses its digits.  The continued fraction is that of the
// fixed-depth kernel, evaluated by the modified Lentz method with tiny
// denominators replaced by a tiny number, until two consecutive convergents
// agree to the working precision (the number of levels grows like the
// square root of the smaller shape near the mean).  It is always taken on
// the side of the mean-like point (a + 1)/(N + 2) where it converges fast;
// the other probability is the complement.
//
// Where the side the fraction evaluates lies near 1 (only a tiny first
// shape a makes it so: its complement is of the order of a), that
// complement comes from the power series
//
//   I_x(a, b) = x^a/(a B(a, b)) (1 + a sum_{j>=1} (1-b)_j x^j/(j! (a + j))),
//
// in logarithms: ln I = a ln x - ln(a B(a, b)) + ln(1 + a S), each term of
// the order of a and computed with relative precision (ln(a B(a, b)) =
// ln Gamma(1 + a) + ln Gamma(b) - ln Gamma(a + b) from increments of
// ln Gamma), so that 1 - I = -expm1(ln I) keeps its digits however small a
// is.  Below the mean point b x < a + 1, so the series converges fast.
//
// For both shapes above ASYMPTOTIC_SHAPE the leading terms of the uniform
// asymptotic expansion in 1/N are used instead (error of relative order 1/N,
// below 1e-11 there):
//
//   I_x(a, b) = erfc(-eta sqrt(N/2))/2
//               - e^(-N eta^2/2)/sqrt(2 pi N) (sqrt(p0 q0)/(x - p0) - 1/eta),
//   eta^2/2 = D/N, eta with the sign of x - p0.
//
// Log form.  incomplete_beta_converged_log gives ln P and ln Q, finite
// wherever P and Q are positive, even far below the extended range (a CDF
// of e^-10^6 has the logarithm -10^6): the front factor is kept as its
// logarithm and multiplied by the fraction in logarithms; in the asymptotic
// expansion the factor e^(-D) of the smaller tail is taken out of erfc.
//
// Inverse.  A Newton iteration on ln P (or ln Q, whichever target is the
// smaller) as a function of ln x, kept inside a bracket that every
// evaluation narrows: a step that leaves the bracket is replaced by a
// geometric bisection (or squaring of the upper end while the lower end is
// still 0), so the iteration cannot diverge.  The unknown is always the end
// nearer to 0 (x when the quantile is at most 1/2, otherwise y = 1 - x with
// the shapes exchanged), so tiny quantiles and quantiles just below 1 both
// come out with full relative precision in the variable that carries them.
// References: DLMF 8.17.22, 8.18, 5.11; Thompson and Barnett (1986) (Lentz's method).
#pragma once

#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/extended.hpp"

namespace cxmath {

namespace detail {

// Both shapes above this use the uniform asymptotic expansion.
inline constexpr double ASYMPTOTIC_SHAPE = 1e11;
// Bound on the levels of the converged fraction (each level of the
// contracted form below is two of the original; near the mean about
// 0.05-0.25 sqrt of the smaller shape are needed, far fewer elsewhere).
inline constexpr int CONVERGED_CF_LEVELS = 1000000;
// A side whose value exceeds 1 - SMALL_COMPLEMENT leaves its complement
// with fewer significant digits than the working precision (a relative
// error ~1e-19/(1 - value)); the complement then comes from the power
// series in logarithms (beta_small_shape_log).
inline constexpr double SMALL_COMPLEMENT = 1e-3;
// Bound on the terms of that series (below the mean point the terms fall
// at least like 1/j!; 60 suffice).
inline constexpr int SMALL_SHAPE_TERMS = 400;
// In the asymptotic expansion, a deviance beyond this leaves e^(-D) close
// to the end of the extended range (e^-11356): the smaller tail is then
// formed in logarithms.
inline constexpr double FAR_DEVIANCE = 10000;

struct BetaTail {
  ext P;     // I_x(a, b)
  ext Q;     // 1 - I_x(a, b)
  ext dens;  // the beta density x^(a-1) y^(b-1) / B(a, b)
};

// ln(x^a y^b / (a B(a, b))) and the deviance D of the decomposition above.
struct FrontLog {
  ext value;
  ext D;
};

// The part the shapes alone fix, ln sqrt(b/(2 pi a N)) - Delta (a third of
// an evaluation's time; remembered, as the same shapes come again and
// again).
constexpr ext beta_front_shapes_direct(ext a, ext b) {
  const ext N = a + b;
  const ext Delta = (xp::stirling_delta(a) + xp::stirling_delta(b)) - xp::stirling_delta(N);
  return (ext(0.5) * xp::log(b / (a * N)) - LN_SQRT_2PI_EXT) - Delta;
}

constexpr FrontLog beta_front_log(ext a, ext b, ext x, ext y) {
  const ext N = a + b;
  const ext p0 = a / N;
  const ext q0 = b / N;
  const ext eps = x <= ext(0.5) ? x - p0 : q0 - y;
  const ext g1 = xp::log1p_deficit(eps / p0, x / p0);
  const ext g2 = xp::log1p_deficit(-eps / q0, y / q0);
  const ext D = a * g1 + b * g2;
  const ext c = xp::remembered<beta_front_shapes_direct>(a, b);
  return {c - D, D};
}

// x^a y^b / (a B(a, b)) times the continued fraction, for x below the
// mean-like point (a + 1)/(a + b + 2).
//
// The fraction 1/(1 + d1/(1 + d2/(1 + ...))) of the fixed-depth kernel,
//   d_{2m+1} = -(a + m)(a + b + m) x / ((a + 2m)(a + 2m + 1)),
//   d_{2m}   =  m (b - m) x / ((a + 2m - 1)(a + 2m)),
// is contracted to its odd part: with U = D_0 + alpha_1/(D_1 + alpha_2/(...)),
//   I = front (1 - d1/U),  D_m = 1 + d_{2m+1} + d_{2m+2},
//   alpha_m = -d_{2m} d_{2m+1}.
// Evaluated as written, 1 + d_{2m+1} cancels when x is near 1 and a is
// large (it is about 1 - x): with x = 1 - y rounded to the working
// precision the value loses a factor ~1/y.  Written with
// lambda = a - (a + b) x = (a + b) y - b, taken from the smaller of x and y,
//   1 + d_{2m+1} = (a (2m + 1) + m (3m + 2) + (a + m)(lambda + m y))
//                  / ((a + 2m)(a + 2m + 1)),
// a sum of positive terms below the mean point (lambda > -1 there), so
// every level keeps its relative precision.
constexpr ext beta_cf_converged(ext a, ext b, ext x, ext y, ext front) {
  const ext N = a + b;
  const ext lambda = x <= ext(0.5) ? a - N * x : N * y - b;
  const auto D = [&](ext m) -> ext {
    const ext am = a + (m + m);
    const ext G = (a * (m + m + 1) + m * (3 * m + 2)) + (a + m) * (lambda + m * y);
    return G / (am * (am + 1)) + (((m + 1) * (b - m - 1)) * x) / ((am + 1) * (am + 2));
  };
  const auto alpha = [&](ext m) -> ext {
    const ext am = a + (m + m);
    return (((m * (b - m)) * ((a + m) * (N + m))) * (x * x)) / (((am - 1) * am) * (am * (am + 1)));
  };
  ext f = D(0);
  if (fabs(f) < xp::LENTZ_TINY) f = xp::LENTZ_TINY;
  ext C = f;
  ext Dl = 0;
  for (int j = 1; j <= CONVERGED_CF_LEVELS; ++j) {
    const ext m = static_cast<ext>(j);
    const ext dm = D(m);
    const ext am = alpha(m);
    Dl = dm + am * Dl;
    if (fabs(Dl) < xp::LENTZ_TINY) Dl = xp::LENTZ_TINY;
    Dl = 1 / Dl;
    C = dm + am / C;
    if (fabs(C) < xp::LENTZ_TINY) C = xp::LENTZ_TINY;
    const ext delta = C * Dl;
    f = f * delta;
    if (fabs(delta - 1) < 2 * EPS_EXT) break;
  }
  return front * (1 + (N * x) / ((a + 1) * f));
}

// ln Gamma(z + h) - ln Gamma(z) for z > 0 and h > 0, with relative
// precision however small h is.  Lifted to z + k >= 15 by
// Gamma(z + 1 + h)/Gamma(z + 1) = (z + h)/z Gamma(z + h)/Gamma(z); there,
// from Stirling's formula,
//   (z - 1/2) ln(1 + h/z) + h (ln(z + h) - 1) + delta(z + h) - delta(z),
// the difference of the remainders summed as (u - v) sum_k c_k
// (u^(2k-2) + u^(2k-3) v + ... + v^(2k-2)) with u = 1/(z + h), v = 1/z and
// u - v = -h u v, so that no term is a difference of nearly equal numbers.
constexpr ext lgamma_increment(ext z, ext h) {
  // The coefficients B_2k/(2k (2k - 1)) of Stirling's series, k = 1..10.
  constexpr ext c[10] = {ext(1.0) / 12,           -ext(1.0) / 360,         ext(1.0) / 1260,
                         -ext(1.0) / 1680,        ext(1.0) / 1188,         -ext(691.0) / 360360,
                         ext(1.0) / 156,          -ext(3617.0) / 122400,   ext(43867.0) / 244188,
                         -ext(174611.0) / 125400};
  ext lift = 0;
  while (z < 15) {
    lift = lift + xp::log1p(h / z);
    z = z + 1;
  }
  const ext u = 1 / (z + h), v = 1 / z;
  // hm = u^m + u^(m-1) v + ... + v^m for m = 0, 1, ..., 18.
  ext hm = 1, vm = 1, sum = c[0];
  for (int m = 1; m <= 18; ++m) {
    vm = vm * v;
    hm = u * hm + vm;
    if (m % 2 == 0) sum = sum + c[m / 2] * hm;
  }
  const ext ddelta = -((h * u) * v) * sum;
  const ext main = (z - ext(0.5)) * xp::log1p(h / z) + h * (xp::log(z + h) - 1);
  return (main + ddelta) - lift;
}

// ln I_x(a, b) by the power series of the header comment, for x below the
// mean-like point (a + 1)/(a + b + 2) (so b x < a + 1).
constexpr ext beta_small_shape_log(ext a, ext b, ext x) {
  ext t = 1, S = 0;
  for (int j = 1; j <= SMALL_SHAPE_TERMS; ++j) {
    const ext J = static_cast<ext>(j);
    t = t * ((J - b) * x) / J;
    const ext term = t / (a + J);
    S = S + term;
    if (fabs(term) <= fabs(S) * EPS_EXT * ext(0.25) && fabs(J - b) * x < J * ext(0.5)) break;
  }
  // ln(a B(a, b)) = ln Gamma(1 + a) + ln Gamma(b) - ln Gamma(a + b)
  const ext ln_aB = lgamma_increment(ext(1), a) - lgamma_increment(b, a);
  return (a * xp::log(x) - ln_aB) + xp::log1p(a * S);
}

// Whether x lies below the mean-like point (a + 1)/(a + b + 2), decided on
// the smaller of x and y = 1 - x (above 1/2, x may have rounded to 1 where
// y still tells the two sides apart: y > (b + 1)/(a + b + 2)).
constexpr bool below_mean_point(ext a, ext b, ext x, ext y) {
  if (x <= ext(0.5)) return x < (a + 1) / ((a + b) + 2);
  return y > (b + 1) / ((a + b) + 2);
}

// Leading terms of the uniform asymptotic expansion (both shapes large).
constexpr BetaTail beta_uniform_asymptotic(ext a, ext b, ext x, ext y, const FrontLog& fl) {
  const ext N = a + b;
  const ext p0 = a / N;
  const ext q0 = b / N;
  const ext eps = x <= ext(0.5) ? x - p0 : q0 - y;
  const ext eta_abs = xp::sqrt((fl.D + fl.D) / N);
  const ext eta = eps < 0 ? -eta_abs : eta_abs;
  const ext u = eta * xp::sqrt(N * ext(0.5));
  const ext s = xp::sqrt(p0 * q0);
  // c0 = s/(x - p0) - 1/eta tends to (p0 - q0)/(3 s) as x -> p0, with a
  // relative correction of the order of r = |x - p0|/min(p0, q0) (eta
  // itself is about (x - p0)/s, far smaller than r when the shapes are
  // very unequal); the difference loses ~1e-19/r of its precision.
  const ext r = fabs(eps) / (p0 < q0 ? p0 : q0);
  const ext c0 = r < 0x1.ad7f29abcaf48578p-24_x ? (p0 - q0) / (3 * s) : s / eps - 1 / eta;  // 1e-7
  const ext R = (xp::exp(-fl.D) * INV_SQRT_2PI_EXT / xp::sqrt(N)) * c0;
  ext P = xp::erfc(-u) * ext(0.5) - R;
  ext Q = xp::erfc(u) * ext(0.5) + R;
  if (P < 0) P = 0;
  if (Q < 0) Q = 0;
  return {P, Q, xp::exp(fl.value) * a / (x * y)};
}

}  // namespace detail

// P = I_x(a, b) and Q = 1 - P for finite a, b > 0 and x + y = 1 (x, y in
// [0, 1]), both with relative accuracy, and the density at x.
constexpr detail::BetaTail incomplete_beta_converged(double a_, double b_, ext x, ext y) {
  const ext a = a_, b = b_;
  if (!(x > 0)) return {0, 1, 0};
  if (!(y > 0)) return {1, 0, 0};
  const detail::FrontLog fl = detail::beta_front_log(a, b, x, y);
  if (a_ > detail::ASYMPTOTIC_SHAPE && b_ > detail::ASYMPTOTIC_SHAPE)
    return detail::beta_uniform_asymptotic(a, b, x, y, fl);
  const ext front = xp::exp(fl.value);
  const ext dens = front * a / (x * y);
  // The mirrored front factor y^b x^a / (b B(b, a)) is a/b times this one.
  const ext front_b = front * (a / b);
  const bool lower = detail::below_mean_point(a, b, x, y);
  const ext V = lower ? detail::beta_cf_converged(a, b, x, y, front)
                      : detail::beta_cf_converged(b, a, y, x, front_b);
  ext W = 1 - V;
  // Only a tiny first shape on the evaluated side gets here (its
  // complement is of the order of that shape).
  if (W < detail::SMALL_COMPLEMENT)
    W = -xp::expm1(lower ? detail::beta_small_shape_log(a, b, x) : detail::beta_small_shape_log(b, a, y));
  const ext Vc = V > 1 ? ext(1) : V < 0 ? ext(0) : V;
  const ext Wc = W > 1 ? ext(1) : W < 0 ? ext(0) : W;
  return lower ? detail::BetaTail{Vc, Wc, dens} : detail::BetaTail{Wc, Vc, dens};
}

// ln P and ln Q, P = I_x(a, b), Q = 1 - P.
struct BetaLogTail {
  ext log_P;
  ext log_Q;
};

namespace detail {

// T(v) - 1, where e^(v^2) erfc(v) = T(v)/(v sqrt(pi)), for v >= 100: the
// asymptotic series sum_{k>=1} (-1)^k (2k - 1)!!/(2 v^2)^k, whose terms
// fall by (2k + 1)/(2 v^2) <= 1e-3 each; eight of them leave less than
// 1e-28 of the first.
constexpr ext erfc_scaled_far_rest(ext v) {
  const ext w = 1 / (2 * (v * v));
  ext term = 1, sum = 0;
  for (int k = 1; k <= 8; ++k) {
    term = -term * (static_cast<ext>(2 * k - 1) * w);
    sum = sum + term;
  }
  return sum;
}

// The logarithms of a pair (P, Q) of tails, each from the smaller one.
constexpr BetaLogTail log_tails(ext P, ext Q) {
  const ext lP = P <= ext(0.5) ? xp::log(P) : xp::log1p(-Q);
  const ext lQ = Q <= ext(0.5) ? xp::log(Q) : xp::log1p(-P);
  return {lP, lQ};
}

// The uniform asymptotic expansion in logarithms.  Up to a deviance of
// FAR_DEVIANCE its tails are in range and their logarithms are taken;
// beyond it the smaller tail is e^(-D) times
//   erfcx(|u|)/2 -+ c0/sqrt(2 pi N) = (s/|x - p0| + (T - 1)/|eta|)/sqrt(2 pi N),
// u^2 = D, s = sqrt(p0 q0), T as in erfc_scaled_far_rest: with
// erfcx(|u|)/2 = T/(|eta| sqrt(2 pi N)) the terms 1/|eta| of both parts
// cancel exactly, which leaves two terms of one sign (or a far smaller
// second one), so the logarithm -D + ln(...) needs no underflowing factor
// and no cancelling difference.
constexpr BetaLogTail beta_uniform_asymptotic_log(ext a, ext b, ext x, ext y, const FrontLog& fl) {
  if (fl.D < FAR_DEVIANCE) {
    const BetaTail t = beta_uniform_asymptotic(a, b, x, y, fl);
    return log_tails(t.P, t.Q);
  }
  const ext N = a + b;
  const ext p0 = a / N;
  const ext q0 = b / N;
  const ext eps = x <= ext(0.5) ? x - p0 : q0 - y;
  const ext eta_abs = xp::sqrt((fl.D + fl.D) / N);
  const ext v = eta_abs * xp::sqrt(N * ext(0.5));
  const ext sum = xp::sqrt(p0 * q0) / fabs(eps) + erfc_scaled_far_rest(v) / eta_abs;
  const ext small = -fl.D + xp::log(sum * (INV_SQRT_2PI_EXT / xp::sqrt(N)));
  const ext large = xp::log1p(-xp::exp(small));
  return eps < 0 ? BetaLogTail{small, large} : BetaLogTail{large, small};
}

}  // namespace detail

// ln I_x(a, b) and ln(1 - I_x(a, b)) for finite a, b > 0 and x + y = 1 (x, y
// in [0, 1]), each with relative accuracy (about 1e-17 of its magnitude,
// or of the complement it stands for when close to 0) and finite wherever
// the probability is positive, however far it lies below the extended
// range: the front factor x^a y^b/(a B(a, b)) enters as its logarithm.
// The shapes are extended numbers, so that counts up to 2^63 (e.g. the
// binomial CDF pbinom(k; n, p) = I_{1-p}(n - k, k + 1)) are passed exactly.
// The same methods as incomplete_beta_converged: the fraction on the side
// below the mean-like point, the power series for the complement of a side
// near 1, the uniform asymptotic expansion for both shapes above 1e11.
constexpr BetaLogTail incomplete_beta_converged_log(ext a, ext b, ext x, ext y) {
  if (!(x > 0)) return {-INF_EXT, 0};
  if (!(y > 0)) return {0, -INF_EXT};
  const detail::FrontLog fl = detail::beta_front_log(a, b, x, y);
  if (a > detail::ASYMPTOTIC_SHAPE && b > detail::ASYMPTOTIC_SHAPE)
    return detail::beta_uniform_asymptotic_log(a, b, x, y, fl);
  const bool lower = detail::below_mean_point(a, b, x, y);
  // ln of the front factor of the evaluated side (the mirrored one is a/b
  // times the other) plus ln of the fraction's factor.
  const ext front_log = lower ? fl.value : fl.value + xp::log(a / b);
  const ext ratio = lower ? detail::beta_cf_converged(a, b, x, y, ext(1))
                          : detail::beta_cf_converged(b, a, y, x, ext(1));
  ext lV = front_log + xp::log(ratio);
  ext lW;
  if (-xp::expm1(lV) < detail::SMALL_COMPLEMENT) {
    lV = lower ? detail::beta_small_shape_log(a, b, x) : detail::beta_small_shape_log(b, a, y);
    if (lV > 0) lV = 0;
    lW = xp::log(-xp::expm1(lV));
  } else {
    lW = xp::log1p(-xp::exp(lV));
  }
  return lower ? BetaLogTail{lV, lW} : BetaLogTail{lW, lV};
}

namespace detail {

struct BetaPoint {
  ext x;  // the quantile
  ext y;  // 1 - x, each carried with relative precision
};

// The x in (0, hi] with I_x(a, b) = p (p + q = 1, I_hi(a, b) >= p),
// matched through ln P when p <= q and through ln Q otherwise.  `guess` is
// used as the start when it lies inside the bracket.
constexpr ext beta_solve_small_side(double a, double b, ext p, ext q, ext hi, ext guess) {
  const bool lower = p <= q;
  const ext target_log = lower ? xp::log(p) : xp::log(q);
  ext lo = 0;
  ext x = guess;
  if (!(x > lo && x < hi)) {
    // Power-law start of the lower end, I_x ~ x^a / (a B(a, b)).
    const FrontLog fh = beta_front_log(a, b, ext(0.5), ext(0.5));
    const ext lnC = fh.value + (static_cast<ext>(a) + b) * xp::log(ext(2.0));
    x = xp::exp((xp::log(p) - lnC) / a);
    if (!(x > lo && x < hi)) x = hi * ext(0.5);
  }
  for (int it = 0; it < 400; ++it) {
    const BetaTail t = incomplete_beta_converged(a, b, x, 1 - x);
    const ext v = lower ? t.P : t.Q;
    // G increases with x and vanishes at the root.
    const ext G = lower ? xp::log(v) - target_log : target_log - xp::log(v);
    if (G == 0) return x;
    if (G < 0)
      lo = x;
    else
      hi = x;
    const ext slope = x * t.dens / v;
    const ext step = -G / slope;
    ext xn = NaN_EXT;
    if (!isnan(step) && fabs(step) < 20000) xn = x * xp::exp(step);
    if (!(xn > lo && xn < hi)) {
      if (lo == 0)
        xn = hi * (hi < ext(0.25) ? hi : ext(0.25));
      else if (hi > lo + lo)
        xn = xp::sqrt(lo) * xp::sqrt(hi);
      else
        xn = lo + (hi - lo) * ext(0.5);
      if (!(xn > lo && xn < hi)) return x;  // the bracket cannot be split further
    }
    if (fabs(xn - x) <= x * (4 * EPS_EXT)) return xn;
    x = xn;
    if (x == 0) return 0;
  }
  return x;
}

// I_{1/2}(a, b), which decides the end an inverse solves for (remembered:
// the same shapes come again and again).
constexpr ext beta_half_lower_direct(double a, double b) {
  return incomplete_beta_converged(a, b, ext(0.5), ext(0.5)).P;
}

}  // namespace detail

// The point (x, 1 - x) with I_x(a, b) = p, for finite a, b > 0 and targets
// p + q = 1 in [0, 1].  `guess` (any value; ignored when outside (0, 1))
// seeds the iteration.
constexpr detail::BetaPoint incomplete_beta_inv_converged(double a, double b, ext p, ext q,
                                                      ext guess = -1) {
  if (!(p > 0)) return {0, 1};
  if (!(q > 0)) return {1, 0};
  if (p <= xp::remembered<detail::beta_half_lower_direct>(a, b)) {
    const ext x = detail::beta_solve_small_side(a, b, p, q, ext(0.5), guess);
    return {x, 1 - x};
  }
  const ext y = detail::beta_solve_small_side(b, a, q, p, ext(0.5), 1 - guess);
  return {1 - y, y};
}

}  // namespace cxmath
