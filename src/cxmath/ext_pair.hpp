// Unevaluated sums of two extended values, hi + lo with |lo| at most half
// an ulp of hi: about 128 significant bits, for the few converged values
// that lose more than the extended format holds.
//
// The one such value is the logarithm of a double followed by a
// cancellation: ln x - mu for a location mu close to ln x (the log-normal
// law at a small sigma, where (ln x - mu)/sigma is needed to 2^-64 of
// itself), or ln x - ln s (the Weibull law at a huge shape, where the
// shape multiplies that difference).  log_pair(x) is ln x to about 2^-124
// of itself, so such a difference keeps its relative accuracy unless it is
// below about 2^-60 of the logarithms it is made of.
//
// The exact sum and product of two extended values are Knuth's two-sum and
// Dekker's product, whose splitting constant 2^32 + 1 halves the 64-bit
// significand; both rest on every operation being rounded to nearest, as
// it is in the extended type.  No intermediate here comes near the ends of
// the range.
// References: Dekker (1971), A floating-point technique for extending the
// available precision; Knuth, TAOCP vol. 2, 4.2.2.
#pragma once

#include "cxmath/common.hpp"
#include "cxmath/extended.hpp"

namespace cxmath::xp {

struct ext_pair {
  ext hi;
  ext lo;
};

// a + b exactly, as a pair.
constexpr ext_pair two_sum(ext a, ext b) {
  const ext s = a + b;
  const ext bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly for |a| >= |b| (or a = 0).
constexpr ext_pair quick_two_sum(ext a, ext b) {
  const ext s = a + b;
  return {s, b - (s - a)};
}

// a = hi + lo with 32 significant bits in each part.
constexpr ext_pair split_half(ext a) {
  const ext c = a * 0x1.00000001p+32_x;  // 2^32 + 1
  const ext hi = c - (c - a);
  return {hi, a - hi};
}

// a b exactly, as a pair.
constexpr ext_pair two_prod(ext a, ext b) {
  const ext p = a * b;
  const ext_pair A = split_half(a);
  const ext_pair B = split_half(b);
  return {p, ((A.hi * B.hi - p) + A.hi * B.lo + A.lo * B.hi) + A.lo * B.lo};
}

constexpr ext_pair pair_add(ext_pair a, ext_pair b) {
  ext_pair s = two_sum(a.hi, b.hi);
  const ext_pair t = two_sum(a.lo, b.lo);
  s = quick_two_sum(s.hi, s.lo + t.hi);
  return quick_two_sum(s.hi, s.lo + t.lo);
}

constexpr ext_pair pair_mul(ext_pair a, ext_pair b) {
  const ext_pair p = two_prod(a.hi, b.hi);
  return quick_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// n/d as a pair, for d != 0: the quotient and the quotient of its exact
// remainder.
constexpr ext_pair pair_div(ext n, ext d) {
  const ext q = n / d;
  const ext_pair p = two_prod(q, d);
  return quick_two_sum(q, ((n - p.hi) - p.lo) / d);
}

// ln 2 beyond LN2_HI_EXT + LN2_LO_EXT (a 40-bit head, whose product with
// any exponent is exact, and the next 64 bits), to 64 more bits.
inline constexpr ext LN2_PAIR_LO = -0x1.a12a17e1979b31acp-109_x;

// ln x for a finite double x > 0, to about 2^-124 relative.  With
// x = m 2^e, m in [sqrt(1/2), sqrt(2)] (exact), and s = (m - 1)/(m + 1)
// (numerator and denominator exact, the quotient as a pair),
//   ln x = e ln 2 + 2 s (1 + s^2/3 + s^4/5 + ...),
// |s| <= 0.1716: 27 terms leave out less than 2^-130.  The terms from
// s^26 on are below 2^-66 of the sum and are summed in the extended format.
constexpr ext_pair log_pair(double x) {
  int e = 0;
  const ext m = split_binary(ext(x), e);
  const ext_pair s = pair_div(m - 1, m + 1);
  const ext_pair s2 = pair_mul(s, s);
  ext tail = ext(1.0) / 53;
  for (int k = 25; k >= 13; --k) tail = tail * s2.hi + ext(1.0) / static_cast<ext>(2 * k + 1);
  ext_pair t = {tail, 0};
  for (int k = 12; k >= 0; --k) t = pair_add(pair_mul(t, s2), pair_div(1, static_cast<ext>(2 * k + 1)));
  const ext_pair lnm = pair_mul(t, {s.hi + s.hi, s.lo + s.lo});
  const ext E = static_cast<ext>(e);
  const ext_pair mid = two_prod(E, LN2_LO_EXT);
  const ext_pair eln2 = pair_add({E * LN2_HI_EXT, 0}, {mid.hi, mid.lo + E * LN2_PAIR_LO});
  return pair_add(eln2, lnm);
}

// ln x - c for a finite double x > 0 and a finite c, rounded once to the
// extended format.
constexpr ext log_minus(double x, ext c) {
  const ext_pair L = log_pair(x);
  const ext_pair d = two_sum(L.hi, -c);
  return d.hi + (d.lo + L.lo);
}

// ln(x/s) for finite doubles x, s > 0, rounded once to the extended format.
constexpr ext log_ratio(double x, double s) {
  const ext_pair L = log_pair(x);
  const ext_pair S = log_pair(s);
  const ext_pair d = pair_add(L, {-S.hi, -S.lo});
  return d.hi + d.lo;
}

}  // namespace cxmath::xp
