// The extended-precision toolbox of the converged forms: logarithm, log1p,
// r - ln(1 + r), e^x and e^x - 1, square root, arc-tangent, binary
// scaling, Stirling's remainder, ln B(a, b) without cancellation, erfc.
// References: DLMF 4.6 (log), 4.24 (atan), 5.11 (Stirling), 7.6 and 7.9 (erfc).
//
// The fixed-depth kernels are the first answer everywhere; these helpers
// serve the evaluations that check and, where needed, replace them.  They
// work in the x87 extended format (64-bit significand) with series and
// fractions taken to convergence, so their results are accurate to a few
// units of 2^-64 relative over the whole double range and beyond (an
// argument of the extended range, e.g. a product of two doubles, is
// accepted as it is).  Every loop has a fixed length or a convergence test
// with a fixed cap, and no intermediate leaves the extended range, so each
// function is a constant expression.
#pragma once

#include <array>
#include <cstddef>
#include <type_traits>

#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"

namespace cxmath::xp {

// F(a...) for a pure function F, remembered for the last two sets of
// arguments this thread asked for.  The converged forms evaluate terms of
// the shapes alone at every call, and again at every step of an inverse,
// while an array call or an inverse asks for the same shapes time after time
// (an inverse in two orders: the shapes as given, and exchanged for the
// upper end); the value returned is the one F computes for those
// arguments.  Arguments count as the same when they compare equal and are
// not zero (so 0 and -0, which may give different bits, and NaN are always
// computed afresh).  During constant evaluation F is simply called.
template <class T>
constexpr bool same_argument(T x, T y) {
  return x == y && x != 0;
}

template <auto F, class... A>
ext remembered_at_run_time(A... a) {
  using Args = std::array<ext, sizeof...(A)>;
  struct Entry {
    Args args;
    ext value;
    bool known;
  };
  struct Last {
    Entry entry[2];
    int older;
  };
  thread_local Last last{};
  const Args now{static_cast<ext>(a)...};
  for (const Entry& e : last.entry) {
    bool same = e.known;
    for (std::size_t j = 0; j < now.size() && same; ++j) same = same_argument(now[j], e.args[j]);
    if (same) return e.value;
  }
  Entry& e = last.entry[last.older];
  e.value = F(a...);
  e.args = now;
  e.known = true;
  last.older = 1 - last.older;
  return e.value;
}

template <auto F, class... A>
constexpr ext remembered(A... a) {
  if (std::is_constant_evaluated()) return F(a...);
  return remembered_at_run_time<F>(a...);
}

// The modified Lentz method's replacement for a vanishing denominator.
inline constexpr ext LENTZ_TINY = 0x1p-16000_x;

// Powers 2^512, 2^256, ..., 2^1 for exact binary scaling.
inline constexpr ext POW2[10] = {0x1p512_x, 0x1p256_x, 0x1p128_x, 0x1p64_x, 0x1p32_x,
                                 0x1p16_x,  0x1p8_x,   0x1p4_x,   0x1p2_x,  0x1p1_x};
inline constexpr ext POW2_NEG[10] = {0x1p-512_x, 0x1p-256_x, 0x1p-128_x, 0x1p-64_x, 0x1p-32_x,
                                     0x1p-16_x,  0x1p-8_x,   0x1p-4_x,   0x1p-2_x,  0x1p-1_x};

// 1/(2k + 1) for k = 0..29, each rounded once, as the coefficients of the
// odd series below.  The table is filled when the module is compiled, with
// the very divisions the series would make (so the same values); the x87
// build folds those divisions by itself, the software format would
// otherwise repeat them at every call.
inline constexpr auto INV_ODD = [] {
  std::array<ext, 30> t{};
  for (int k = 0; k < 30; ++k) t[k] = ext(1.0) / static_cast<ext>(2 * k + 1);
  return t;
}();

// x = m 2^e with m in [sqrt(1/2), sqrt(2)], for finite x > 0 (subnormals
// included).  Every operation is an exact scaling by a power of two.
constexpr ext split_binary(ext x, int& e) {
  e = 0;
  while (x >= 0x1p1024_x) {
    x = x * 0x1p-1024_x;
    e += 1024;
  }
  while (x < 0x1p-1024_x) {
    x = x * 0x1p1024_x;
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
  if (x > SQRT2_EXT) {
    x = x * ext(0.5);
    e += 1;
  } else if (x < SQRT1_2_EXT) {
    x = x * 2;
    e -= 1;
  }
  return x;
}

// x 2^n, exact unless the result leaves the range.
constexpr ext scale2(ext x, int n) {
  while (n >= 1024) {
    x = x * 0x1p1024_x;
    n -= 1024;
  }
  while (n <= -1024) {
    x = x * 0x1p-1024_x;
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
  ext s = INV_ODD[16];
  for (int k = 15; k >= 1; --k) s = s * u2 + INV_ODD[k];
  s = s * u2 + 1;
  return (u + u) * s;
}

// Natural logarithm: -inf at 0, NaN below 0.  ln x = e ln 2 + 2 atanh(s)
// with x = m 2^e, s = (m - 1)/(m + 1); e times the 40-bit head of ln 2 is
// exact for every exponent of the extended range.
constexpr ext log(ext x) {
  if (isnan(x) || x < 0) return NaN_EXT;
  if (x == 0) return -INF_EXT;
  if (x == INF_EXT) return INF_EXT;
  int e = 0;
  const ext m = split_binary(x, e);
  const ext L = two_atanh_small((m - 1) / (m + 1));
  const ext ee = static_cast<ext>(e);
  return ee * LN2_HI_EXT + (ee * LN2_LO_EXT + L);
}

// r - ln(1 + r) >= 0 for r > -1, with ratio = 1 + r supplied by the caller
// (formed without the rounding of 1 + r).  For |r| <= 1/2, with
// z = r/(2 + r), ln(1 + r) = 2 atanh z and 2z - r = -r z, so
//   r - ln(1 + r) = -z (2 sum_{k>=1} z^(2k)/(2k + 1) - r),
// where both parts have the same sign for r < 0 and cancel only mildly
// (by about z/3) for r > 0.
constexpr ext log1p_deficit(ext r, ext ratio) {
  if (fabs(r) <= ext(0.5)) {
    const ext z = r / (2 + r);
    const ext z2 = z * z;
    ext t = INV_ODD[23];
    for (int k = 22; k >= 1; --k) t = t * z2 + INV_ODD[k];
    return -(z * ((2 * z2) * t - r));
  }
  return r - log(ratio);
}

// ln(1 + r) for r > -1: 2 atanh(r/(2 + r)) near 0, the logarithm beyond.
constexpr ext log1p(ext r) {
  if (fabs(r) < ext(0.25)) return two_atanh_small(r / (2 + r));
  return log(1 + r);
}

// e^x for any x.  Beyond the extended range the exponential is 0 or +inf,
// decided here, before exp_ext, whose integer split and products would
// otherwise leave the range (from x = 11356.5 up; e^x itself overflows at
// 11356.52 and rounds to 0 below -11399.5).
constexpr ext exp(ext x) {
  if (isnan(x)) return NaN_EXT;
  if (x < -11450) return 0;
  if (x >= ext(11356.5)) return INF_EXT;
  return exp_ext(x);
}

// e^x - 1: the Taylor series for |x| < 1/2 (terms to x^26/26!, by
// Horner's rule), e^x - 1 beyond.
constexpr ext expm1(ext x) {
  if (isnan(x)) return NaN_EXT;
  if (fabs(x) < ext(0.5)) {
    ext t = 1;
    for (int n = 26; n >= 2; --n) t = 1 + t * x / static_cast<ext>(n);
    return x * t;
  }
  return exp(x) - 1;
}

// Square root by Newton's method on the mantissa (seven steps from
// (m + 1)/2, quadratic from an error of a quarter).
constexpr ext sqrt(ext x) {
  if (isnan(x) || x < 0) return NaN_EXT;
  if (x == 0 || x == INF_EXT) return x;
  int e = 0;
  ext m = split_binary(x, e);
  if (e % 2 != 0) {
    m = m * 2;
    e -= 1;
  }
  ext y = (m + 1) * ext(0.5);
  for (int i = 0; i < 7; ++i) y = (y + m / y) * ext(0.5);
  return scale2(y, e / 2);
}

// Stirling's remainder delta(z) = ln Gamma(z) - ((z - 1/2) ln z - z +
// ln sqrt(2 pi)) for z > 0.  From z = 12 on, the asymptotic series in 1/z
// with the coefficients B_2k/(2k (2k - 1)), k = 1..10 (the first omitted
// term is below 3e-22 there); below 15 delta_lifted uses the recurrence
// Gamma(z) = Gamma(z + k)/(z (z + 1) ... (z + k - 1)) to reach it.
constexpr ext stirling_main(ext z) { return (z - ext(0.5)) * log(z) - z + LN_SQRT_2PI_EXT; }

constexpr ext stirling_series(ext z) {
  constexpr ext c[10] = {ext(1.0) / 12,           -ext(1.0) / 360,         ext(1.0) / 1260,
                         -ext(1.0) / 1680,        ext(1.0) / 1188,         -ext(691.0) / 360360,
                         ext(1.0) / 156,          -ext(3617.0) / 122400,   ext(43867.0) / 244188,
                         -ext(174611.0) / 125400};
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

// Arc-tangent: atan z = pi/2 - atan(1/z) above 1, pi/4 + atan((z-1)/(z+1))
// above tan(pi/8), then the odd series (|w| <= 0.4143, 30 terms).
constexpr ext atan(ext z) {
  if (isnan(z)) return NaN_EXT;
  if (z < 0) return -atan(-z);
  if (z == INF_EXT) return PI_2_EXT;
  if (z > 1) return PI_2_EXT - atan(1 / z);
  ext base = 0, w = z;
  if (z > TAN_PI_8_EXT) {
    base = PI_4_EXT;
    w = (z - 1) / (z + 1);
  }
  const ext w2 = w * w;
  ext s = INV_ODD[29];
  for (int k = 28; k >= 0; --k) s = s * (-w2) + INV_ODD[k];
  return base + w * s;
}

// The continued fraction u + (1/2)/(u + 1/(u + (3/2)/(...))) of erfc for
// u >= 1, erfc(u) = e^(-u^2)/sqrt(pi) / f, by the modified Lentz method to
// convergence (f lies between u and u + 1/(2u)).
constexpr ext erfc_fraction(ext u) {
  ext f = u, C = u, D = 0;
  for (int n = 1; n <= 100000; ++n) {
    const ext an = static_cast<ext>(n) * ext(0.5);
    D = u + an * D;
    if (fabs(D) < LENTZ_TINY) D = LENTZ_TINY;
    D = 1 / D;
    C = u + an / C;
    if (fabs(C) < LENTZ_TINY) C = LENTZ_TINY;
    const ext delta = C * D;
    f = f * delta;
    if (fabs(delta - 1) < 2 * EPS_EXT) break;
  }
  return f;
}

// erfc with relative accuracy in both tails: below 1 as 1 - erf with erf
// from the positive series (2/sqrt(pi)) e^(-u^2) sum 2^n u^(2n+1)/(1 3 ...
// (2n+1)); from 1 on the continued fraction; 2 - erfc(-u) for u < 0.
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
      if (t < s * 0x1.2e3b40a0e9b4f7dep-70_x) break;  // 1e-21
    }
    return 1 - (2 * E / SQRTPI_EXT) * s;
  }
  return (E / SQRTPI_EXT) / erfc_fraction(u);
}

// ln erfc(u), finite for every finite u, also where erfc underflows the
// extended range (from u ~ 106): from 1 on -u^2 - ln sqrt(pi) - ln f with
// the continued fraction f, every term negative (u^2 stays in the range
// for any u of the double range, or a quotient of two such).
constexpr ext log_erfc(ext u) {
  if (isnan(u)) return NaN_EXT;
  if (u == INF_EXT) return -INF_EXT;
  if (u < 1) return log(erfc(u));
  return -(u * u) - (log(SQRTPI_EXT) + log(erfc_fraction(u)));
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
  const ext lp = p0 > ext(0.5) ? log1p(-q0) : log(p0);
  const ext lq = q0 > ext(0.5) ? log1p(-p0) : log(q0);
  const ext Delta = (stirling_delta(a) + stirling_delta(b)) - stirling_delta(N);
  return ((a * lp + b * lq) + (ext(0.5) * log(N / (a * b)) + LN_SQRT_2PI_EXT)) + Delta;
}

}  // namespace cxmath::xp
