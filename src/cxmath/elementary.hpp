// Elementary kernels: logarithm, exponential, power, expm1, log1p, square
// root, tangent, arc-tangent, the tanh continued fraction and integer powers.
// References: DLMF 4.9 (log, exp), 4.24 and 4.25 (tan, atan), 4.39 (tanh).
//
// Each is a fixed-depth continued fraction or series, evaluated from the
// innermost level outwards, so the operation order (and so every bit of the
// result) is fixed.  There is never an early exit once a fraction has
// converged: the depth is part of the result.
#pragma once

#include <type_traits>

#include "cxmath/common.hpp"
#include "cxmath/lanes/pack.hpp"

namespace cxmath {

namespace detail {

// Natural logarithms of 2..10, indexed by k (entries 0 and 1 add nothing).
inline constexpr double LN_TABLE[11] = {
    0.0, 0.0, 0.6931471805599453, 1.0986122886681098, 1.3862943611198906,
    1.6094379124341003, 1.791759469228055, 1.9459101490553132,
    2.0794415416798357, 2.1972245773362196, 2.302585092994046};

// ln((1 + z)/(1 - z)) = 2z / (1 - d/(3 - 4d/(5 - 9d/(... - 576d/49)))),
// d = z^2, truncated after the partial denominator 49.  V is the lane type
// (cxmath/lanes/pack.hpp): double, or a pack of doubles in lock step.
template <class V>
DISTMILL_LANE_INLINE constexpr V log_cf(V z) {
  const V d = z * z;
  V t = V(49.0);
  for (int k = 24; k >= 1; --k)
    t = static_cast<double>(2 * k - 1) - (static_cast<double>(k * k) * d) / t;
  return (z + z) / t;
}

// e^r = 1/(1 - r/(1 + r - (r/2)/(1 + r/2 - (r/3)/(...(1 + r/23) - r/24)))).
// Level j needs r/j and r/(j + 1); the latter is the former of the level
// before, carried over rather than divided again (the same expression, so
// the same value).
template <class T>
DISTMILL_LANE_INLINE constexpr T exp_cf(T r) {
  T next = r / T(23);
  T t = (T(1) + next) - r / T(24);
  for (int j = 22; j >= 1; --j) {
    // r/2 and r/4 are formed as 0.5*r and 0.25*r (the same values).
    const T rj = j == 2 ? T(0.5) * r : j == 4 ? T(0.25) * r : j == 1 ? r : r / T(j);
    t = (T(1) + rj) - next / t;
    next = rj;
  }
  return T(1) / (T(1) - r / t);
}

// The logarithm of finite x >= EPS with |x - 1| >= EPS, lane by lane.
// Outside [0.5, 1.5] the argument is scaled by powers of ten into [1, 10],
// split as k*m with k = trunc(b), and ln x = n ln 10 + ln k + ln m; inside,
// ln x = ln((1 + z)/(1 - z)) with z = (x - 1)/(x + 1).
template <class V>
DISTMILL_LANE_INLINE constexpr V log_ordinary(V x) {
  const V a = x - 1.0;
  const lanes::mask_t<V> outside = (x < 0.5) | (x > 1.5);
  if (lanes::none(outside)) return log_cf(a / (x + 1.0));
  // The decades: b = x 10^-n in [1, 10], each step rounded as it is taken
  // (lanes inside [0.5, 1.5] start at 1 and take none).
  V b = lanes::select(outside, x, V(1.0));
  V n = V(0.0);
  if constexpr (lanes::is_scalar_v<V>) {
    int e = 0;
    while (b < 1 || b > 10) {
      if (b < 1) {
        b = b * 10;
        --e;
      } else {
        b = b / 10;
        ++e;
      }
    }
    n = e;
  } else {
    for (;;) {
      const lanes::mask_t<V> up = b < 1.0, down = b > 10.0;
      if (lanes::none(up | down)) break;
      b = lanes::select(up, b * 10.0, lanes::select(down, b / 10.0, b));
      n = n + lanes::select(up, V(-1.0), lanes::select(down, V(1.0), V(0.0)));
    }
  }
  const V k = lanes::truncate(b);
  const V m = b / k;
  V z = (m - 1.0) / (m + 1.0);
  if (!lanes::all(outside)) z = lanes::select(outside, z, a / (x + 1.0));
  const V c = log_cf(z);
  V L = c;
  L = L + lanes::lookup(LN_TABLE, k);
  const V r = LN10_DOUBLE * n + L;
  if (lanes::all(outside)) return r;
  return lanes::select(outside, r, c);
}

}  // namespace detail

// Logarithm for x >= EPS (callers have excluded NaN, negatives and tiny x).
constexpr double log_core(double x) {
  const double a = x - 1;
  if (a == 0 || fabs(a) < EPS) return 0.0;
  if (x > DBL_MAX_) return INF;
  return detail::log_ordinary(x);
}

// Guarded natural logarithm: NaN below 0, -inf below EPS (zeros included).
constexpr double log(double x) {
  if (isnan(x) || x < 0) return NaN;
  if (x < EPS) return -INF;
  return log_core(x);
}

namespace detail {

// e^n for integer n by square-and-multiply in extended precision.
constexpr ext exp_integer_sqmul(std::int64_t n) {
  if (n == 0) return ext(1.0);
  if (n == 1) return E_EXT;
  if (n == 2) return E2_EXT;
  if (n == 3) return E3_EXT;
  if (n == INT64_MAX_) return INF_EXT;
  if (n == INT64_MIN_) return ext(0.0);
  if (n < 0) return ext(1.0) / exp_integer_sqmul(-n);
  ext f = ext(1.0), g = E_EXT;
  while (n > 1) {
    if (n & 1) f = f * g;
    g = g * g;
    n >>= 1;
  }
  return f * g;
}

// The values of exp_integer_sqmul for |n| <= 128, computed by the compiler
// with the same operations (constant evaluation of extended arithmetic
// rounds as the x87 unit does at run time; the tests check every entry).
inline constexpr int EXP_INTEGER_TABULATED = 128;

struct ExpIntegerTable {
  ext v[2 * EXP_INTEGER_TABULATED + 1];
};

constexpr ExpIntegerTable make_exp_integer_table() {
  ExpIntegerTable t{};
  for (int n = -EXP_INTEGER_TABULATED; n <= EXP_INTEGER_TABULATED; ++n)
    t.v[n + EXP_INTEGER_TABULATED] = exp_integer_sqmul(n);
  return t;
}

inline constexpr ExpIntegerTable EXP_INTEGER_TABLE = make_exp_integer_table();

}  // namespace detail

// e^n for integer n: square-and-multiply in extended precision, read from
// a table of the same values for the common exponents.
constexpr ext exp_integer(std::int64_t n) {
  if (n >= -detail::EXP_INTEGER_TABULATED && n <= detail::EXP_INTEGER_TABULATED)
    return detail::EXP_INTEGER_TABLE.v[n + detail::EXP_INTEGER_TABULATED];
  return detail::exp_integer_sqmul(n);
}

namespace detail {

// Split x = n + r with integer n for the exponential: n rounds x to nearest
// for positive x; for negative x the remainder r lies in [0, 0.5) or
// [1.5, 2).  n is held in T (every value involved is an exact integer).
// Requires |x| < 2^63 (a pack: |x| < 2^31, lanes::truncate).
template <class T>
DISTMILL_LANE_INLINE constexpr void exp_split(T x, T& n, T& r) {
  T fl = lanes::truncate(x);
  fl = lanes::select(fl > x, fl - T(1), fl);
  const T f = x - fl;
  const T s = lanes::select(x > T(0), T(1), T(-1));
  const lanes::mask_t<T> up = (f != T(0)) & (f >= T(0.5));
  n = lanes::select(up, fl + s, fl);
  r = lanes::select(up, f - s, f);
}

// e^x for EPS <= |x| < 2^63 (a pack: < 2^31), lane by lane: the continued
// fraction for |x| < 2, otherwise e^n * e^r with e^n by exact squaring in
// extended precision, rounded once to double (the one step taken lane by
// lane in extended precision).
template <class V>
DISTMILL_LANE_INLINE constexpr V exp_ordinary(V x) {
  const lanes::mask_t<V> small = fabs(x) < 2.0;
  if (lanes::all(small)) return exp_cf<V>(x);
  V n = V(0.0), r = V(0.0);
  exp_split(x, n, r);
  if (lanes::any(small)) {
    n = lanes::select(small, V(0.0), n);
    r = lanes::select(small, x, r);
  }
  const V c = exp_cf<V>(r);
  return lanes::map_where(!small, n, c, [](double e, double f) {
    return static_cast<double>(exp_integer(static_cast<std::int64_t>(e)) * static_cast<ext>(f));
  });
}

}  // namespace detail

// e^x: a 24-level continued fraction for |x| < 2, otherwise e^n * e^r with
// e^n by exact squaring in extended precision, rounded once to double.
constexpr double exp(double x) {
  if (isnan(x)) return NaN;
  if (x == -INF) return 0.0;
  if (x == 0) return 1.0;
  if (fabs(x) < EPS) return 1.0;
  if (x == INF) return INF;
  if (fabs(x) >= 0x1p63) return x > 0 ? INF : 0.0;
  return detail::exp_ordinary(x);
}

// e^x entirely in extended precision (used by the normal CDF).
constexpr ext exp_ext(ext x) {
  if (x == 0 || fabs(x) < 2) return detail::exp_cf<ext>(x);
  // A NaN would reach the integer split below, where converting it to an
  // integer is undefined; it has no exponential, so it is passed on.
  if (isnan(x)) return x;
  if (fabs(x) >= 0x1p63_x) return x > 0 ? INF_EXT : ext(0.0);
  ext n = 0, r = 0;
  detail::exp_split<ext>(x, n, r);
  return exp_integer(static_cast<std::int64_t>(n)) * detail::exp_cf<ext>(r);
}

namespace detail {

// Batched forms of log and exp: for L arguments at once, lane by lane the
// same operations in the same order as the scalar kernels, so every lane's
// value is bit for bit the scalar one.  The argument reductions and guards
// run lane by lane; the continued fractions, the bulk of the work, run
// level by level across all lanes, so that their divisions (each level's
// divides on the one before) overlap across lanes instead of waiting on
// one another, and the compiler may pack them into vector instructions
// (element-wise IEEE operations, exact like the scalar ones).

template <int L>
constexpr void log_cf_lanes(const double (&z)[L], double (&out)[L]) {
  double d[L] = {}, t[L] = {};
  for (int l = 0; l < L; ++l) {
    d[l] = z[l] * z[l];
    t[l] = 49.0;
  }
  for (int k = 24; k >= 1; --k) {
    const double odd = static_cast<double>(2 * k - 1), kk = static_cast<double>(k * k);
    for (int l = 0; l < L; ++l) t[l] = odd - (kk * d[l]) / t[l];
  }
  for (int l = 0; l < L; ++l) out[l] = (z[l] + z[l]) / t[l];
}

// exp_cf<double> lane by lane.  Level j needs r/j and r/(j + 1); the latter
// is the former of the level before, carried over rather than divided
// again (the same expression, so the same value).
template <int L>
constexpr void exp_cf_lanes(const double (&r)[L], double (&out)[L]) {
  double t[L] = {}, next[L] = {};
  for (int l = 0; l < L; ++l) {
    next[l] = r[l] / 23.0;
    t[l] = (1.0 + next[l]) - r[l] / 24.0;
  }
  for (int j = 22; j >= 1; --j) {
    for (int l = 0; l < L; ++l) {
      const double rj = j == 2 ? 0.5 * r[l] : j == 4 ? 0.25 * r[l] : j == 1 ? r[l] : r[l] / static_cast<double>(j);
      t[l] = (1.0 + rj) - next[l] / t[l];
      next[l] = rj;
    }
  }
  for (int l = 0; l < L; ++l) out[l] = 1.0 / (1.0 - r[l] / t[l]);
}

// The two fractions for 50 lanes at run time, compiled twice: for the
// x86-64 baseline and for AVX2, chosen once by the processor the module
// runs on.  Only the width of the packed divisions, additions and
// multiplications differs: each lane sees the same IEEE operations on the
// same operands (finite ones: guarded lanes carry 0), and AVX2 without FMA
// leaves no instruction that could fuse or reassociate them.
//
// The choice is made by the dynamic loader (an ifunc), which exists only
// for ELF objects, and AVX2 only on x86: elsewhere the baseline
// compilation alone is built.
// clang refuses flatten beside multiversioning (it inlines the fractions
// into both compilations unasked), and its target_clones emits the chooser
// as a strong symbol in every translation unit: it gets the two versions
// spelt out with target attributes, which it merges across units.
#if defined(__ELF__) && (defined(__x86_64__) || defined(__i386__))
#define DISTMILL_LANES_AVX2 1
#else
#define DISTMILL_LANES_AVX2 0
#endif
#if DISTMILL_LANES_AVX2 && defined(__clang__)
[[gnu::target("avx2")]] inline void log_cf_lanes_50(const double (&z)[50], double (&out)[50]) {
  log_cf_lanes<50>(z, out);
}
[[gnu::target("default")]] inline void log_cf_lanes_50(const double (&z)[50], double (&out)[50]) {
  log_cf_lanes<50>(z, out);
}
[[gnu::target("avx2")]] inline void exp_cf_lanes_50(const double (&r)[50], double (&out)[50]) {
  exp_cf_lanes<50>(r, out);
}
[[gnu::target("default")]] inline void exp_cf_lanes_50(const double (&r)[50], double (&out)[50]) {
  exp_cf_lanes<50>(r, out);
}
#else
#if DISTMILL_LANES_AVX2
[[gnu::target_clones("avx2", "default"), gnu::flatten]]
#else
[[gnu::flatten]]
#endif
inline void log_cf_lanes_50(const double (&z)[50], double (&out)[50]) {
  log_cf_lanes<50>(z, out);
}
#if DISTMILL_LANES_AVX2
[[gnu::target_clones("avx2", "default"), gnu::flatten]]
#else
[[gnu::flatten]]
#endif
inline void exp_cf_lanes_50(const double (&r)[50], double (&out)[50]) {
  exp_cf_lanes<50>(r, out);
}
#endif

template <int L>
constexpr void log_cf_lanes_any(const double (&z)[L], double (&out)[L]) {
  if constexpr (L == 50) {
    if (!std::is_constant_evaluated()) return log_cf_lanes_50(z, out);
  }
  log_cf_lanes<L>(z, out);
}

template <int L>
constexpr void exp_cf_lanes_any(const double (&r)[L], double (&out)[L]) {
  if constexpr (L == 50) {
    if (!std::is_constant_evaluated()) return exp_cf_lanes_50(r, out);
  }
  exp_cf_lanes<L>(r, out);
}

}  // namespace detail

// log(x[l]) for every lane (the guarded log).
template <int L>
constexpr void log_lanes(const double (&x)[L], double (&out)[L]) {
  // Per lane: 0 decided by a guard (value in out), 1 the fraction alone,
  // 2 the fraction after scaling by 10^n and splitting off k.
  int how[L] = {}, k[L] = {}, n[L] = {};
  double z[L] = {};
  for (int l = 0; l < L; ++l) {
    const double v = x[l];
    if (isnan(v) || v < 0) {
      out[l] = NaN;
      continue;
    }
    if (v < EPS) {
      out[l] = -INF;
      continue;
    }
    const double a = v - 1;
    if (a == 0 || fabs(a) < EPS) {
      out[l] = 0.0;
      continue;
    }
    if (v > DBL_MAX_) {
      out[l] = INF;
      continue;
    }
    if (v < 0.5 || v > 1.5) {
      double b = v;
      int e = 0;
      while (b < 1 || b > 10) {
        if (b < 1) {
          b = b * 10;
          --e;
        } else {
          b = b / 10;
          ++e;
        }
      }
      k[l] = static_cast<int>(b);
      n[l] = e;
      const double m = b / k[l];
      z[l] = (m - 1) / (m + 1);
      how[l] = 2;
    } else {
      z[l] = a / (v + 1);
      how[l] = 1;
    }
  }
  double c[L] = {};
  detail::log_cf_lanes_any<L>(z, c);
  for (int l = 0; l < L; ++l) {
    if (how[l] == 1) {
      out[l] = c[l];
    } else if (how[l] == 2) {
      const double v = c[l] + detail::LN_TABLE[k[l]];
      out[l] = LN10_DOUBLE * n[l] + v;
    }
  }
}

// exp(x[l]) for every lane.
template <int L>
constexpr void exp_lanes(const double (&x)[L], double (&out)[L]) {
  // Per lane: 0 decided by a guard, 1 the fraction alone, 2 e^n times the
  // fraction of the remainder.
  int how[L] = {};
  std::int64_t n[L] = {};
  double r[L] = {};
  for (int l = 0; l < L; ++l) {
    const double v = x[l];
    if (isnan(v)) {
      out[l] = NaN;
    } else if (v == -INF) {
      out[l] = 0.0;
    } else if (v == 0 || fabs(v) < EPS) {
      out[l] = 1.0;
    } else if (v == INF) {
      out[l] = INF;
    } else if (fabs(v) < 2) {
      r[l] = v;
      how[l] = 1;
    } else if (fabs(v) >= 0x1p63) {
      out[l] = v > 0 ? INF : 0.0;
    } else {
      double e = 0;
      detail::exp_split<double>(v, e, r[l]);
      n[l] = static_cast<std::int64_t>(e);
      how[l] = 2;
    }
  }
  double c[L] = {};
  detail::exp_cf_lanes_any<L>(r, c);
  for (int l = 0; l < L; ++l) {
    if (how[l] == 1)
      out[l] = c[l];
    else if (how[l] == 2)
      out[l] = static_cast<double>(exp_integer(n[l]) * static_cast<ext>(c[l]));
  }
}

// a^b = e^(b ln a); NaN for negative or NaN a, and for 0^0.
constexpr double pow(double a, double b) {
  if (isnan(a) || a < 0) return exp(b * NaN);
  if (a < EPS) return exp(b * -INF);
  return exp(b * log_core(a));
}

namespace detail {

// The five-term series of expm1 and log1p for |x| <= 1e-4, lane by lane.
template <class V>
DISTMILL_LANE_INLINE constexpr V expm1_series(V x) {
  return x + ((((x * x) / 120.0 + x / 24.0) * x + x / 6.0) * x + 0.5 * x) * x;
}
template <class V>
DISTMILL_LANE_INLINE constexpr V log1p_series(V x) {
  return ((((x * x / 5.0 - 0.25 * x) * x + x / 3.0) * x - 0.5 * x) * x) + x;
}

}  // namespace detail

// e^x - 1, with a five-term series for |x| <= 1e-4.
constexpr double expm1(double x) {
  if (isnan(x)) return NaN;
  if (x != 0 && fabs(x) > 1e-4) return exp(x) - 1;
  return detail::expm1_series(x);
}

// ln(1 + x), with a five-term series for |x| <= 1e-4.
constexpr double log1p(double x) {
  if (x != 0 && fabs(x) > 1e-4) return log(1 + x);
  return detail::log1p_series(x);
}

// Square root by Newton's iteration after scaling large arguments by 1/4.
// Arguments below 1 are not scaled and the stopping test is absolute for
// small roots, so small roots carry a lower relative accuracy.
constexpr double sqrt(double x) {
  if (isnan(x) || x < 0) return NaN;
  if (x == INF) return INF;
  if (x == 0 || x < EPS) return 0.0;
  double m = 1;
  for (;;) {
    if (tiny(1 - x)) return x;
    if (x > 4) {
      x = 0.25 * x;
      m = m + m;
    } else {
      break;
    }
  }
  double y = 0.5 * x;
  for (int i = 0; i < 100; ++i) {
    const double q = x / y;
    const double e = fabs(y - q);
    if (e / (y + 1) < EPS) break;
    y = (y + q) * 0.5;
  }
  return y * m;
}

namespace detail {

// x^n by square-and-multiply (n >= 1).
template <class T>
constexpr T pow_sqmul(std::int64_t n, T x) {
  T f = T(1), g = x;
  while (n > 1) {
    if (n & 1) f = f * g;
    g = g * g;
    n >>= 1;
  }
  return f * g;
}

}  // namespace detail

namespace detail {

// Lambert's continued fraction of tan x at depth N, from the innermost
// level out: on one extended value, or on a group of them (ext/pack.hpp)
// that share N.
template <class T>
DISTMILL_LANE_INLINE constexpr T tan_cf(T x, int N) {
  const T s = x * x;
  T t = static_cast<T>(2 * N - 1);
  for (int k = N - 1; k >= 1; --k) t = static_cast<T>(2 * k - 1) - s / t;
  return x / t;
}
constexpr int tan_depth(ext x) { return x > ext(1.4) ? 45 : x > 1 ? 35 : 25; }

}  // namespace detail

// Tangent in extended precision.  Arguments above pi are reduced by whole
// multiples of pi (at most twice); near pi/2 the Laurent series of -cot about
// the pole is used; elsewhere Lambert's continued fraction of depth 25, 35 or
// 45 by the size of x.
constexpr ext tan(ext x) {
  if (x > PI_EXT) {
    for (int pass = 0; pass < 2 && x > PI_EXT; ++pass) {
      const ext q = x / PI_EXT;
      // A quotient beyond the 64-bit range cannot be reduced: both passes
      // then leave x above pi.
      if (!(q < 0x1p63_x)) return NaN_EXT;
      x = x - static_cast<ext>(static_cast<std::int64_t>(q)) * PI_EXT;
    }
    if (x > PI_EXT) return NaN_EXT;
  }
  if (x > ext(1.55) && x < ext(1.6)) {
    const ext y = x - PI_2_EXT;
    if (y == 0 || fabs(y) < EPS_EXT) return ext(1.633124e16);
    const ext y5 = detail::pow_sqmul<ext>(5, y);
    const ext y7 = detail::pow_sqmul<ext>(7, y);
    return ((((y5 + y5) / 945 + y7 / 4725) + (y * y) * y / 45) + y / 3) + (-1 / y);
  }
  return detail::tan_cf<ext>(x, detail::tan_depth(x));
}

// Arc-tangent: a continued fraction of depth 15..52 up to 2.5, the
// asymptotic series pi/2 - 1/x + 1/(3x^3) - 1/(5x^5) + ... beyond.  The
// pieces are written once for one value and for packs, where each lane has
// its own depth (held as a double) and the pack runs to its deepest lane:
// a lane keeps its value through the levels beyond its own depth.
namespace detail {

constexpr int atan_depth(double x) { return x < 0.5 ? 15 : x < 1 ? 25 : x < 1.5 ? 35 : x < 2 ? 45 : 52; }

constexpr int atan_terms(double x) {
  return x < 3 ? 10 : x < 4 ? 9 : x < 5 ? 8 : x < 7 ? 7 : x < 11 ? 6 : x < 25 ? 5 : x < 100 ? 4 : x < 1000 ? 3 : 2;
}

// x/t for |x| <= 2.5, t = 2N-1 + (N-1)^2 s/(2N-3 + ... + 1 s/1), s = x^2,
// summed from the innermost level (a negative x gives -atan|x| exactly).
template <class V>
DISTMILL_LANE_INLINE constexpr V atan_near(V x, V N, int deepest) {
  const V s = x * x;
  V t = ((N - 1.0) * (N - 1.0)) * s / (N * 2.0 - 1.0) + (N * 2.0 - 3.0);
  for (int k = deepest - 2; k >= 1; --k) {
    const V next = static_cast<double>(k * k) * s / t + static_cast<double>(2 * k - 1);
    if constexpr (lanes::is_scalar_v<V>)
      t = next;
    else
      t = lanes::select(N - 2.0 >= static_cast<double>(k), next, t);
  }
  return x / t;
}

// The series' part beyond pi/2 - 1/x for x > 2.5 with P terms:
// 1/(3x^3) - 1/(5x^5), plus for P > 2 the levels j = 3..P,
// S(j) = (1/((4j-5)y) - 1/((4j-3)y b)) + S(j+1), y = x^(4j-5), b = x^2,
// summed from the innermost outwards.
template <class V>
DISTMILL_LANE_INLINE constexpr V atan_far_sum(V x, V P, int most) {
  const V b = x * x;
  const V x3 = x * b;
  V acc = 1.0 / (x3 * 3.0) - 1.0 / ((x3 * 5.0) * b);
  if (most > 2) {
    V y[11] = {};
    y[3] = (x3 * b) * b;
    for (int j = 4; j <= most; ++j) y[j] = (y[j - 1] * b) * b;
    V S(0.0);
    for (int j = most; j >= 3; --j) {
      const V term = 1.0 / (static_cast<double>(4 * j - 5) * y[j]) - 1.0 / ((static_cast<double>(4 * j - 3) * y[j]) * b);
      if constexpr (lanes::is_scalar_v<V>)
        S = j == most ? term : term + S;
      else
        S = lanes::select(P == static_cast<double>(j), term, lanes::select(P > static_cast<double>(j), term + S, S));
    }
    if constexpr (lanes::is_scalar_v<V>)
      acc = S + acc;
    else
      acc = lanes::select(P > 2.0, S + acc, acc);
  }
  return acc;
}

// pi/2 - 1/x + acc, in extended precision, rounded once.
constexpr double atan_far_end(double x, double acc) {
  return static_cast<double>((PI_2_EXT - ext(1.0) / static_cast<ext>(x)) + static_cast<ext>(acc));
}

}  // namespace detail

constexpr double atan(double x) {
  if (x < 0) return -atan(-x);
  if (!(x > 2.5)) {
    const int N = detail::atan_depth(x);
    return detail::atan_near(x, static_cast<double>(N), N);
  }
  const int P = detail::atan_terms(x);
  return detail::atan_far_end(x, detail::atan_far_sum(x, static_cast<double>(P), P));
}

// Denominator D of tanh z = z/D from Lambert's continued fraction
// D = 1 + s/(3 + s/(5 + ... + s/(67 + s/69))), s = z^2.  No range
// reduction: accuracy falls for large |z|.
namespace detail {

template <class V>
DISTMILL_LANE_INLINE constexpr V tanh_cf(V z) {
  const V s = z * z;
  V t = s / 69.0 + 67.0;
  for (int k = 33; k >= 1; --k) t = s / t + static_cast<double>(2 * k - 1);
  return t;
}

}  // namespace detail

constexpr double tanh_cf(double z) { return detail::tanh_cf(z); }

// x^n by square-and-multiply in double.
constexpr double ipow(std::int64_t n, double x) {
  if (n == 0) return 1.0;
  if (n == 1) return x;
  if (n == 2) return x * x;
  if (n == 3) return (x * x) * x;
  if (n == INT64_MAX_) return INF;
  if (n == INT64_MIN_) return 0.0;
  if (n < 0) return 1 / ipow(-n, x);
  return detail::pow_sqmul<double>(n, x);
}

}  // namespace cxmath

// The distribution functions (namespace distmill) call the kernels
// unqualified; these declarations make them win over the C library's
// global functions of the same names, whatever was included first.
namespace distmill {
using cxmath::log;
using cxmath::log_core;
using cxmath::exp;
using cxmath::exp_ext;
using cxmath::exp_integer;
using cxmath::pow;
using cxmath::expm1;
using cxmath::log1p;
using cxmath::sqrt;
using cxmath::tan;
using cxmath::atan;
using cxmath::tanh_cf;
using cxmath::ipow;
}  // namespace distmill
