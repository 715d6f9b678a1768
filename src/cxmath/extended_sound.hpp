// Extended-precision helpers of the converged methods: logarithm, log1p,
// r - ln(1 + r), e^x and e^x - 1, square root, arc-tangent, binary
// scaling, Stirling's remainder, ln B(a, b) without cancellation, erfc.
//
// The fixed-depth kernels are the first answer everywhere; these helpers
// serve the evaluations that check and, where needed, replace them.  They
// work in the x87 extended format (64-bit significand) with series and
// fractions taken to convergence, so their results are accurate to a few
// units of 2^-64 relative over the whole double range and beyond (an
// argument of the extended range, e.g. a product of two doubles, is
// accepted as it is).
#pragma once

#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/erf.hpp"

namespace cxmath {

namespace xb {

inline constexpr ext LN2_HI = 0xb17217f7d1p-40L;               // 40 bits: e * LN2_HI is exact
inline constexpr ext LN2_LO = 7.37100256516779890183404013e-13L;
inline constexpr ext LN_SQRT_2PI = 0.918938533204672741780329736406L;
inline constexpr ext INV_SQRT_2PI = 0.398942280401432677939946059934L;
inline constexpr ext TINY = 0x1p-16000L;
inline constexpr ext EPS_X = 0x1p-63L;

// Powers 2^512, 2^256, ..., 2^1 for exact binary scaling.
inline constexpr ext POW2[10] = {0x1p512L, 0x1p256L, 0x1p128L, 0x1p64L, 0x1p32L,
                                 0x1p16L,  0x1p8L,   0x1p4L,   0x1p2L,  0x1p1L};
inline constexpr ext POW2_NEG[10] = {0x1p-512L, 0x1p-256L, 0x1p-128L, 0x1p-64L, 0x1p-32L,
                                     0x1p-16L,  0x1p-8L,   0x1p-4L,   0x1p-2L,  0x1p-1L};

// x = m 2^e with m in [sqrt(1/2), sqrt(2)), for finite x > 0 (subnormals
// included).  Every operation is an exact scaling by a power of two.
constexpr ext split_binary(ext x, int& e) {
  e = 0;
  while (x >= 0x1p1024L) {
    x = x * 0x1p-1024L;
    e += 1024;
  }
  while (x < 0x1p-1024L) {
    x = x * 0x1p1024L;
    e -= 1024;
  }
  for (int i = 0, k = 512; i < 10; ++i, k /= 2) {
    if (x >= POW2[i]) {
      x = x * POW2_NEG[i];
      e += k;
    }
    if (x < POW2_NEG[i]) {
      x = x * POW2[i];
      e -= k;
    }
  }
  if (x > 1.41421356237309504880L) {
    x = x * 0.5L;
    e += 1;
  } else if (x < 0.70710678118654752440L) {
    x = x * 2;
    e -= 1;
  }
  return x;
}

// x 2^n, exact unless the result leaves the range.
constexpr ext scale2(ext x, int n) {
  while (n >= 1024) {
    x = x * 0x1p1024L;
    n -= 1024;
  }
  while (n <= -1024) {
    x = x * 0x1p-1024L;
    n += 1024;
  }
  for (int i = 0, k = 512; i < 10; ++i, k /= 2) {
    if (n >= k) {
      x = x * POW2[i];
      n -= k;
    } else if (n <= -k) {
      x = x * POW2_NEG[i];
      n += k;
    }
  }
  return x;
}

// 2 atanh(u) = ln((1 + u)/(1 - u)) for |u| <= 0.18: the odd series
// 2u (1 + u^2/3 + u^4/5 + ...), 16 terms (u^32 < 1e-23).
constexpr ext two_atanh_small(ext u) {
  const ext u2 = u * u;
  ext s = 1.0L / 33;
  for (int k = 15; k >= 1; --k) s = s * u2 + 1.0L / static_cast<ext>(2 * k + 1);
  s = s * u2 + 1;
  return (u + u) * s;
}

// Natural logarithm in extended precision: -inf at 0, NaN below 0.
constexpr ext log(ext x) {
  if (isnan(x) || x < 0) return NaN_EXT;
  if (x == 0) return -INF_EXT;
  if (x == INF_EXT) return INF_EXT;
  int e = 0;
  const ext m = split_binary(x, e);
  const ext L = two_atanh_small((m - 1) / (m + 1));
  const ext ee = static_cast<ext>(e);
  return ee * LN2_HI + (ee * LN2_LO + L);
}

// g(r) = r - ln(1 + r) >= 0 for r > -1, with ratio = 1 + r supplied by the
// caller (formed without the rounding of 1 + r).  Near r = 0 it is
// r u - 2 (u^3/3 + u^5/5 + ...) with u = r/(2 + r), free of cancellation.
constexpr ext log1pmx_neg(ext r, ext ratio) {
  if (fabs(r) < 0.25L) {
    const ext u = r / (2 + r);
    const ext u2 = u * u;
    ext s = 1.0L / 31;
    for (int k = 14; k >= 1; --k) s = s * u2 + 1.0L / static_cast<ext>(2 * k + 1);
    return r * u - ((u + u) * u2) * s;
  }
  return r - log(ratio);
}

// ln(1 + r) for r > -1: 2 atanh(r/(2 + r)) near 0, the logarithm beyond.
constexpr ext log1p(ext r) {
  if (fabs(r) < 0.25L) return two_atanh_small(r / (2 + r));
  return log(1 + r);
}

// Square root in extended precision by Newton's method on the mantissa.
constexpr ext sqrt(ext x) {
  if (isnan(x) || x < 0) return NaN_EXT;
  if (x == 0 || x == INF_EXT) return x;
  int e = 0;
  ext m = split_binary(x, e);
  if (e % 2 != 0) {
    m = m * 2;
    e -= 1;
  }
  ext y = (m + 1) * 0.5L;
  for (int i = 0; i < 7; ++i) y = (y + m / y) * 0.5L;
  return scale2(y, e / 2);
}

// Stirling's remainder delta(z) = ln Gamma(z) - ((z - 1/2) ln z - z +
// ln sqrt(2 pi)) for z > 0.  From z = 15 on, the asymptotic series in 1/z
// with the Bernoulli coefficients B_2k/(2k (2k - 1)), k = 1..10 (the
// first omitted term is below 1e-22 there); below 15 the recurrence
// Gamma(z) = Gamma(z + k)/(z (z + 1) ... (z + k - 1)) lifts the argument.
constexpr ext stirling_main(ext z) { return (z - 0.5L) * log(z) - z + LN_SQRT_2PI; }

constexpr ext stirling_series(ext z) {
  constexpr ext c[10] = {1.0L / 12,           -1.0L / 360,         1.0L / 1260,
                         -1.0L / 1680,        1.0L / 1188,         -691.0L / 360360,
                         1.0L / 156,          -3617.0L / 122400,   43867.0L / 244188,
                         -174611.0L / 125400};
  const ext w = 1 / z;
  const ext w2 = w * w;
  ext s = c[9];
  for (int k = 8; k >= 0; --k) s = s * w2 + c[k];
  return s * w;
}

constexpr ext stirling_delta(ext z) {
  if (z >= 15) return stirling_series(z);
  ext prod = 1;
  ext zk = z;
  while (zk < 15) {
    prod = prod * zk;
    zk = zk + 1;
  }
  return ((stirling_main(zk) - stirling_main(z)) - log(prod)) + stirling_series(zk);
}

// e^x in extended precision.  Beyond +-12000 the value over- or
// underflows the extended range anyway, and is settled before exp_ext,
// whose integer split overflows for arguments just inside -2^63.
constexpr ext exp(ext x) {
  if (isnan(x)) return NaN_EXT;
  if (x > 12000) return INF_EXT;
  if (x < -12000) return 0;
  return exp_ext(x);
}

// e^x - 1: the Taylor series below 1/2 in magnitude (terms to x^27/27!),
// e^x - 1 beyond.
constexpr ext expm1(ext x) {
  if (isnan(x)) return NaN_EXT;
  if (fabs(x) < 0.5L) {
    ext t = x, s = x;
    for (int n = 2; n <= 27; ++n) {
      t = t * x / n;
      s = s + t;
    }
    return s;
  }
  return exp(x) - 1;
}


// Arc-tangent: atan z = pi/2 - atan(1/z) above 1, pi/4 + atan((z-1)/(z+1))
// above tan(pi/8), then the odd series (|w| <= 0.4143, 30 terms).
inline constexpr ext PI_4_EXT = 0.785398163397448309615660845819875721L;

constexpr ext atan(ext z) {
  if (isnan(z)) return NaN_EXT;
  if (z < 0) return -atan(-z);
  if (z == INF_EXT) return PI_2_EXT;
  if (z > 1) return PI_2_EXT - atan(1 / z);
  ext base = 0, w = z;
  if (z > 0.41421356237309504880L) {
    base = PI_4_EXT;
    w = (z - 1) / (z + 1);
  }
  const ext w2 = w * w;
  ext s = 1.0L / 59;
  for (int k = 28; k >= 0; --k) s = s * (-w2) + 1.0L / static_cast<ext>(2 * k + 1);
  return base + w * s;
}

// erfc in extended precision with relative accuracy in both tails:
// below 1 as 1 - erf with erf from the positive series
// (2/sqrt(pi)) e^(-u^2) sum 2^n u^(2n+1)/(1 3 ... (2n+1)); from 1 on the
// continued fraction e^(-u^2)/sqrt(pi) / (u + (1/2)/(u + 1/(u + (3/2)/(...)))),
// evaluated by the modified Lentz method to convergence; 2 - erfc(-u) for
// u < 0.
constexpr ext erfc(ext u) {
  if (isnan(u)) return NaN_EXT;
  if (u < 0) return 2 - erfc(-u);
  if (u == INF_EXT) return 0;
  const ext E = exp(-(u * u));
  if (u < 1) {
    const ext u2 = u * u;
    ext t = u, s = u;
    for (int n = 1; n < 60; ++n) {
      t = t * (2 * u2) / (2 * n + 1);
      s = s + t;
      if (t < s * 1e-21L) break;
    }
    return 1 - (2 * E / SQRTPI_EXT) * s;
  }
  ext f = u, C = u, D = 0;
  for (int n = 1; n <= 100000; ++n) {
    const ext an = static_cast<ext>(n) * 0.5L;
    D = u + an * D;
    if (fabs(D) < TINY) D = TINY;
    D = 1 / D;
    C = u + an / C;
    if (fabs(C) < TINY) C = TINY;
    const ext delta = C * D;
    f = f * delta;
    if (fabs(delta - 1) < 2 * EPS_X) break;
  }
  return (E / SQRTPI_EXT) / f;
}

// ln B(a, b) for a, b > 0 from Stirling's formula,
//   ln B = a ln p0 + b ln q0 + ln sqrt(2 pi N/(a b)) + Delta,
// p0 = a/N, q0 = b/N, N = a + b, with the logarithm of the larger of p0,
// q0 taken as log1p of minus the smaller: no term of size a ln a appears,
// so the value keeps its precision for any shapes.
constexpr ext lbeta(ext a, ext b) {
  const ext N = a + b;
  const ext p0 = a / N;
  const ext q0 = b / N;
  const ext lp = p0 > 0.5L ? log1p(-q0) : log(p0);
  const ext lq = q0 > 0.5L ? log1p(-p0) : log(q0);
  const ext Delta = (stirling_delta(a) + stirling_delta(b)) - stirling_delta(N);
  return ((a * lp + b * lq) + (0.5L * log(N / (a * b)) + LN_SQRT_2PI)) + Delta;
}

}  // namespace xb

}  // namespace cxmath
