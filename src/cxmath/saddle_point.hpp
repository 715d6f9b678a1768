// Binomial and Poisson masses whose relative error does not grow with the
// counts, and the ratios that carry their lower tails in log space.
//
// The masses in their literal form, ln n! - ln x! - ln (n-x)! + x ln p +
// (n-x) ln(1-p), are differences of terms of size n ln n: their rounding
// (a few units of 2^-53 n ln n) is the relative error of the mass, 1e-9 at
// a million trials and garbage beyond 1e15.  The saddle-point form has no
// such terms.  With Stirling's remainder
//   delta(z) = ln Gamma(z) - ((z - 1/2) ln z - z + ln sqrt(2 pi))
// and the deviance term of a count k against a mean m
//   D(k, m) = k ln(k/m) + m - k >= 0,
// the masses are
//   ln Pois(x; lambda) = -delta(x) - D(x, lambda) - ln sqrt(2 pi x),
//   ln Bin(x; n, p)    = delta(n) - delta(x) - delta(n - x)
//                        - D(x, n p) - D(n - x, n (1 - p))
//                        + ln sqrt(n / (2 pi x (n - x))),
// (for x >= 1, resp. 1 <= x <= n - 1; the ends have their power alone).
// Every term is small near the mode and keeps its relative accuracy in the
// tails: D(k, m) = k g(r) with r = (m - k)/k and g(r) = r - ln(1 + r),
// taken from r itself near 0 (xp::log1p_deficit), so it never cancels.
// The one quantity that must be formed with care is the difference m - k:
// n p - x for the binomial, rounded as a product it carries 2^-64 n p,
// which at n = 2^62 is worth 1e-9 of the mass; it is formed from exact
// partial products instead (count_mean_minus).
//
// Lower tails in log space.  Below the mean the CDFs are a mass times a
// ratio of moderate size given by a continued fraction that converges in a
// few dozen levels once the count is a few standard deviations below the
// mean (Poisson: F(x) = Pois(x) lambda h(x + 1, lambda), h the fraction of
// Q(a, lambda); binomial: F(x) = Bin(x) p R, R the fraction of the
// incomplete beta I_{1-p}(n - x, x + 1)), so their logarithms are finite
// wherever the masses' are, far beyond the range of any floating type.
// References: DLMF 5.11 (Stirling's series), 8.7, 8.17.22; C. Loader,
// "Fast and accurate computation of binomial probabilities" (2000).
#pragma once

#include <bit>
#include <cstdint>

#include "cxmath/common.hpp"
#include "cxmath/extended.hpp"

namespace cxmath {

// D(k, m) = k ln(k/m) + m - k for k > 0 and m >= 0, given the difference
// diff = m - k as accurately as the caller has it: k g(diff/k), with the
// ratio m/k supplied so that g is not formed from a rounded 1 + r.  m = 0
// gives +inf (a mass of 0).
constexpr ext deviance(ext k, ext m, ext diff) { return k * xp::log1p_deficit(diff / k, m / k); }

// n p - k for counts 0 <= k, n < 2^63 and 0 <= p <= 1, rounded once.  The
// product n p is split into four exact partial products: n into its upper
// 31 and lower 32 bits, p into its leading 26 and trailing 27 significand
// bits (each partial product has at most 59 bits).  Near the mean the
// first difference cancels exactly and every later sum fits the 64-bit
// significand (their lowest bits lie above ulp(p) and their size is that
// of the result), so only the last addition rounds: the error is 2^-64
// |n p - k|, not 2^-64 n p.
constexpr ext count_mean_minus(std::int64_t n, double p, std::int64_t k) {
  const std::uint64_t un = static_cast<std::uint64_t>(n);
  const ext nh = static_cast<std::int64_t>(un & ~std::uint64_t{0xffffffff});
  const ext nl = static_cast<std::int64_t>(un & std::uint64_t{0xffffffff});
  const double ph = std::bit_cast<double>(std::bit_cast<std::uint64_t>(p) & ~((std::uint64_t{1} << 27) - 1));
  const double pl = p - ph;  // exact: the trailing bits of p
  return (((nh * ph - k) + nh * pl) + nl * ph) + nl * pl;
}

// ln Gamma(k + 1) - ((k + 1/2) ln k - k + ln sqrt(2 pi)) = delta(k), for a
// count k >= 1 (xp::stirling_delta: the series from 15 on, the recurrence
// below).
constexpr ext count_stirling_remainder(ext k) { return xp::stirling_delta(k); }

// ln of the Poisson mass e^-lambda lambda^k / k! for a whole count k >= 0
// (held in extended precision: the quantile searches pass counts beyond
// the int64 range) and 0 < lambda < inf.
constexpr ext poisson_log_mass(ext k, double lambda) {
  const ext L = lambda;
  if (k == 0) return -L;
  const ext D = deviance(k, L, L - k);
  return (-count_stirling_remainder(k) - D) - (ext(0.5) * xp::log(k) + LN_SQRT_2PI_EXT);
}

// ln of the binomial mass C(n, k) p^k (1 - p)^(n - k) for 0 <= k <= n,
// n >= 1 and 0 <= p <= 1.
constexpr ext binomial_log_mass(std::int64_t k, std::int64_t n, double p) {
  const ext N = n, P = p;
  if (p == 0) return k == 0 ? ext(0) : -INF_EXT;
  if (p == 1) return k == n ? ext(0) : -INF_EXT;
  if (k == 0) return N * xp::log1p(-P);
  if (k == n) return N * xp::log(P);
  const ext K = k, M = n - k;
  const ext d = count_mean_minus(n, p, k);  // n p - k = -(n (1 - p) - (n - k))
  const ext D = deviance(K, N * P, d) + deviance(M, N * (1 - P), -d);
  const ext Delta = (count_stirling_remainder(N) - count_stirling_remainder(K)) - count_stirling_remainder(M);
  return (Delta - D) + (ext(0.5) * xp::log(N / (K * M)) - LN_SQRT_2PI_EXT);
}

}  // namespace cxmath
