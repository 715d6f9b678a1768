// Operand-by-operand comparison of the software extended format with the
// x87 unit: the same operation on the same encodings must give the same
// encoding (NaN payloads and signs of zeros included), the same double, the
// same integer or the same truth values.
//
// Shared by the quick check of the test suite (tests/cpp/probe_ext_format.cpp)
// and the long run (tools/check/ext_check.cpp).  Operands come from
// splitmix64 in families that reach every path of the model: random
// encodings over the whole range, nearby exponents (alignment, carries),
// significands with few bits (exact ties), cancellation, the denormal and
// overflow boundaries, special values and values that came from doubles.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "cxmath/ext/soft.hpp"

#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
#define EXT_CHECK_HAVE_X87 1
#else
#define EXT_CHECK_HAVE_X87 0
#endif

namespace ext_check {

using cxmath::soft_ext;
using u64 = std::uint64_t;

enum Op : int {
  ADD, SUB, MUL, DIV, COMPARE, NEGATE_FABS,
  FROM_DOUBLE, TO_DOUBLE, FROM_INT64, FROM_UINT64, FROM_INT32, TO_INT64, TO_INT32,
  N_OPS
};
inline constexpr const char* OP_NAMES[N_OPS] = {
    "add", "sub", "mul", "div", "compare", "negate_fabs",
    "from_double", "to_double", "from_int64", "from_uint64", "from_int32", "to_int64", "to_int32"};

struct Rng {
  u64 s;
  constexpr u64 next() {
    u64 z = (s += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
  }
  constexpr int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<u64>(hi - lo + 1)); }
};

constexpr u64 TOP = u64(1) << 63;

// A canonical encoding with the given fields (exponent clamped).
constexpr soft_ext canon(bool neg, int e, u64 sig) {
  if (e < 0) e = 0;
  if (e > 0x7fff) e = 0x7fff;
  if (e == 0)
    sig &= ~TOP;
  else
    sig |= TOP;
  return soft_ext::from_bits(static_cast<std::uint16_t>((neg ? 0x8000 : 0) | e), sig);
}

inline constexpr struct {
  std::uint16_t se;
  u64 sig;
} SPECIALS[] = {
    {0, 0},                                 // +0
    {0x8000, 0},                            // -0
    {0, 1},                                 // smallest denormal
    {0, TOP - 1},                           // largest denormal
    {1, TOP},                               // smallest normal
    {1, ~u64(0)},
    {0x3fff, TOP},                          // 1
    {0x3fff, TOP | 1},                      // 1 + 2^-63
    {0x3ffe, ~u64(0)},                      // 1 - 2^-64
    {0x3ffe, TOP},                          // 0.5
    {0x403e, TOP},                          // 2^63
    {0x403d, ~u64(0)},                      // 2^63 - 1
    {0x403f, TOP},                          // 2^64
    {0x401e, TOP},                          // 2^31
    {0x7ffe, ~u64(0)},                      // largest finite
    {0x7ffe, TOP},
    {0x7fff, TOP},                          // infinity
    {0x7fff, TOP | (u64(1) << 62)},         // quiet NaN
    {0xffff, TOP | (u64(1) << 62)},         // the indefinite
    {0x7fff, TOP | (u64(1) << 62) | 0x123}, // quiet NaN with a payload
    {0x7fff, TOP | 1},                      // signalling NaNs
    {0x7fff, TOP | (u64(1) << 61)},
    {0x43fe, 0xfffffffffffff800u},          // largest finite double
    {0x43ff, TOP},                          // 2^1024: overflows a double
    {0x43fe, 0xfffffffffffffc00u},          // halfway to 2^1024
    {0x3c01, TOP},                          // smallest normal double
    {0x3bcd, TOP},                          // smallest subnormal double
    {0x3bcc, TOP},                          // half of it
    {0x3bcc, TOP | 1},                      // just above half
    {0x3fff, TOP | 0x400},                  // ties at the double rounding
    {0x3fff, TOP | 0xc00},
    {0x3fff, TOP | 0x3ff},
};
inline constexpr int N_SPECIALS = sizeof(SPECIALS) / sizeof(SPECIALS[0]);

constexpr soft_ext special(Rng& g) {
  const auto& s = SPECIALS[g.next() % N_SPECIALS];
  return soft_ext::from_bits(static_cast<std::uint16_t>(s.se ^ ((g.next() & 1) ? 0x8000 : 0)), s.sig);
}

// A significand with few set bits (the rest zero), so that sums, products
// and quotients are often exact or exactly halfway.
constexpr u64 sparse(Rng& g) {
  const int keep = g.range(1, 64);
  const u64 mask = keep == 64 ? ~u64(0) : ~(~u64(0) >> keep);
  u64 m = g.next() & mask;
  if (g.next() & 1) m |= 1;  // and sometimes a lowest bit
  return m;
}

// A significand for the boundary families: random, few bits, or one of the
// patterns whose products and quotients sit next to a power of two.
constexpr u64 boundary_sig(Rng& g) {
  switch (g.next() % 6) {
    case 0: return TOP;
    case 1: return ~u64(0);
    case 2: return TOP | (g.next() >> g.range(40, 63));
    case 3: return ~u64(0) << g.range(0, 8);
    case 4: return sparse(g);
    default: return g.next();
  }
}

constexpr soft_ext from_double_bits(u64 b) { return soft_ext(std::bit_cast<double>(b)); }

// A double: random bit patterns (subnormals, infinities and NaNs included)
// or, mostly, ordinary magnitudes.
constexpr double any_double(Rng& g) {
  const u64 r = g.next();
  switch (g.next() % 4) {
    case 0: return std::bit_cast<double>(r);
    case 1: return std::bit_cast<double>(r & 0x800fffffffffffffu);  // subnormals and zeros
    default: {
      const u64 e = static_cast<u64>(g.range(1023 - 80, 1023 + 80));
      return std::bit_cast<double>((r & 0x800fffffffffffffu) | (e << 52));
    }
  }
}

// One operand pair for a binary operation, from family `f`.
constexpr void operands(Op op, int f, Rng& g, soft_ext& a, soft_ext& b) {
  const bool na = g.next() & 1, nb = g.next() & 1;
  switch (f) {
    case 0: {  // any encodings
      a = canon(na, static_cast<int>(g.next() & 0x7fff), g.next());
      b = canon(nb, static_cast<int>(g.next() & 0x7fff), g.next());
      return;
    }
    case 1: {  // nearby exponents
      const int ea = g.range(16383 - 200, 16383 + 200);
      a = canon(na, ea, g.next());
      b = canon(nb, ea + g.range(-140, 140), g.next());
      return;
    }
    case 2: {  // few significant bits
      const int ea = g.range(16383 - 100, 16383 + 100);
      a = canon(na, ea, sparse(g));
      b = canon(nb, ea + g.range(-70, 70), sparse(g));
      return;
    }
    case 3: {  // cancellation
      const int ea = g.range(16383 - 100, 16383 + 100);
      const u64 m = g.next();
      a = canon(na, ea, m);
      const u64 d = g.next() % 8;
      b = canon(op == ADD ? !na : na, ea + g.range(-1, 1), (g.next() & 1) ? m + d : m - d);
      return;
    }
    case 4: {  // the denormal boundary
      if (op == MUL) {
        const int ea = g.range(1, 16383 + 100), t = (g.next() & 1) ? g.range(-140, 70) : g.range(-66, -60);
        a = canon(na, ea, boundary_sig(g));
        b = canon(nb, t - ea + 16383, boundary_sig(g));
      } else if (op == DIV) {
        const int ea = g.range(0, 16383), t = (g.next() & 1) ? g.range(-140, 70) : g.range(-66, -60);
        a = canon(na, ea, boundary_sig(g));
        b = canon(nb, ea - t + 16383, boundary_sig(g));
      } else {
        a = canon(na, g.range(0, 70), boundary_sig(g));
        b = canon(nb, g.range(0, 70), boundary_sig(g));
      }
      return;
    }
    case 5: {  // the overflow boundary
      const int t = g.range(0x7ffe - 3, 0x7ffe + 2);
      if (op == MUL) {
        const int ea = g.range(16383, 0x7ffe);
        a = canon(na, ea, g.next() | (g.next() & 1 ? ~u64(0) : 0));
        b = canon(nb, t - ea + 16383, g.next() | (g.next() & 1 ? ~u64(0) : 0));
      } else if (op == DIV) {
        const int ea = g.range(0x7ffe - 200, 0x7ffe);
        a = canon(na, ea, g.next() | (g.next() & 1 ? ~u64(0) : 0));
        b = canon(nb, ea - t + 16383, g.next());
      } else {
        a = canon(na, g.range(0x7ffe - 70, 0x7ffe), g.next() | (g.next() & 1 ? ~u64(0) : 0));
        b = canon(nb, g.range(0x7ffe - 70, 0x7ffe), g.next() | (g.next() & 1 ? ~u64(0) : 0));
      }
      return;
    }
    case 6: {  // special values against anything
      a = special(g);
      b = (g.next() & 1) ? special(g) : canon(nb, g.range(16383 - 70, 16383 + 70), g.next());
      if (g.next() & 1) std::swap(a, b);
      return;
    }
    case 7: {  // a power of two against a far smaller operand (the
               // borrow below the leading bit, and sticky bits far out)
      const int ea = g.range(16383 - 100, 16383 + 100);
      a = canon(na, ea, TOP);
      b = canon(g.next() & 1 ? na : !na, ea - ((g.next() & 1) ? g.range(62, 70) : g.range(60, 135)), boundary_sig(g));
      if (g.next() & 1) std::swap(a, b);
      return;
    }
    default: {  // values that came from doubles, and their exact products
      a = soft_ext(any_double(g));
      b = soft_ext(any_double(g));
      if (g.next() & 1) a = a * soft_ext(any_double(g));
      return;
    }
  }
}
inline constexpr int N_FAMILIES = 9;

// One operand for a conversion to double or an integer.
constexpr soft_ext unary_operand(Op op, Rng& g) {
  const bool n = g.next() & 1;
  const int f = static_cast<int>(g.next() % 6);
  if (f == 0) return special(g);
  if (f == 1) return canon(n, static_cast<int>(g.next() & 0x7fff), g.next());
  if (op == TO_DOUBLE) {
    // Around the double range and its subnormals, with halfway patterns
    // at the bits a double drops.
    const int e = f == 2 ? g.range(0x3c00 - 70, 0x3c00 + 5) : f == 3 ? g.range(0x43fe - 3, 0x43ff)
                                                                     : g.range(16383 - 200, 16383 + 200);
    u64 m = g.next();
    if (g.next() & 1) {
      const int drop = g.range(1, 64);
      const u64 low = drop == 64 ? ~u64(0) : (u64(1) << drop) - 1;
      const u64 half = u64(1) << (drop - 1);
      m = (m & ~low) | half | (g.next() % 3 == 0 ? 1 : 0);
    }
    return canon(n, e, m);
  }
  // Integer conversions: magnitudes around 2^0 .. 2^64.
  return canon(n, g.range(16383 - 3, 16383 + 65), (g.next() & 1) ? g.next() : sparse(g));
}

#if EXT_CHECK_HAVE_X87
inline long double to_x87(soft_ext v) {
  long double r = 0;
  const u64 m = v.significand();
  const std::uint16_t se = v.sign_exp();
  std::memcpy(&r, &m, 8);
  std::memcpy(reinterpret_cast<char*>(&r) + 8, &se, 2);
  return r;
}
inline bool same(soft_ext s, long double x) {
  u64 m = 0;
  std::uint16_t se = 0;
  std::memcpy(&m, &x, 8);
  std::memcpy(&se, reinterpret_cast<const char*>(&x) + 8, 2);
  return s.significand() == m && s.sign_exp() == se;
}
inline unsigned compare_bits(bool lt, bool le, bool eq, bool ne, bool ge, bool gt) {
  return lt | le << 1 | eq << 2 | ne << 3 | ge << 4 | gt << 5;
}
// The runs are kept opaque to the optimiser so that each operation is done
// by the unit at run time.
template <class T>
inline T opaque(T v) {
  asm volatile("" : "+m"(v));
  return v;
}
#endif

// Number of operands (pairs) on which the model and the unit disagree in
// n trials of `op`, or -1 where there is no x87 unit to compare with.
// The first disagreement is described in `first` (64 bytes).
inline long long mismatches(Op op, long long n, u64 seed, char* first = nullptr) {
#if !EXT_CHECK_HAVE_X87
  (void)op, (void)n, (void)seed, (void)first;
  return -1;
#else
  Rng g{seed * 0x100000001b3u + static_cast<u64>(op)};
  long long bad = 0;
  auto note = [&](u64 x, u64 y) {
    if (bad++ == 0 && first) std::snprintf(first, 64, "%016llx %016llx", (unsigned long long)x, (unsigned long long)y);
  };
  for (long long i = 0; i < n; ++i) {
    switch (op) {
      case ADD: case SUB: case MUL: case DIV: {
        soft_ext a, b;
        operands(op, static_cast<int>(i % N_FAMILIES), g, a, b);
        const long double xa = opaque(to_x87(a)), xb = opaque(to_x87(b));
        const soft_ext s = op == ADD ? a + b : op == SUB ? a - b : op == MUL ? a * b : a / b;
        const long double x = op == ADD ? xa + xb : op == SUB ? xa - xb : op == MUL ? xa * xb : xa / xb;
        if (!same(s, opaque(x))) note(a.significand() ^ (u64(a.sign_exp()) << 48), b.significand());
        break;
      }
      case COMPARE: {
        soft_ext a, b;
        operands(ADD, static_cast<int>(i % N_FAMILIES), g, a, b);
        if (i % 5 == 0) b = (i % 10 == 0) ? a : -a;  // equal values, and zeros of both signs
        const long double xa = opaque(to_x87(a)), xb = opaque(to_x87(b));
        if (compare_bits(a < b, a <= b, a == b, a != b, a >= b, a > b) !=
            compare_bits(xa < xb, xa <= xb, xa == xb, xa != xb, xa >= xb, xa > xb))
          note(a.significand(), b.significand());
        break;
      }
      case NEGATE_FABS: {
        soft_ext a, b;
        operands(ADD, static_cast<int>(i % N_FAMILIES), g, a, b);
        const long double xa = opaque(to_x87(a));
        if (!same(-a, opaque(-xa)) || !same(fabs(a), opaque(__builtin_fabsl(xa)))) note(a.significand(), 0);
        break;
      }
      case FROM_DOUBLE: {
        const double d = opaque(any_double(g));
        if (!same(soft_ext(d), opaque(static_cast<long double>(d)))) note(std::bit_cast<u64>(d), 0);
        break;
      }
      case TO_DOUBLE: {
        const soft_ext a = unary_operand(op, g);
        const double s = static_cast<double>(a), x = opaque(static_cast<double>(opaque(to_x87(a))));
        if (std::bit_cast<u64>(s) != std::bit_cast<u64>(x)) note(a.significand(), a.sign_exp());
        break;
      }
      case FROM_INT64: case FROM_UINT64: case FROM_INT32: {
        const int len = g.range(0, 64);
        u64 r = len == 64 ? g.next() : g.next() & ((u64(1) << len) - 1);
        if (i % 7 == 0) r = (i % 14 == 0) ? TOP : ~u64(0);
        bool ok;
        if (op == FROM_INT64) {
          const std::int64_t v = opaque(static_cast<std::int64_t>(r));
          ok = same(soft_ext(v), opaque(static_cast<long double>(v)));
        } else if (op == FROM_UINT64) {
          const u64 v = opaque(r);
          ok = same(soft_ext(v), opaque(static_cast<long double>(v)));
        } else {
          const std::int32_t v = opaque(static_cast<std::int32_t>(r));
          ok = same(soft_ext(v), opaque(static_cast<long double>(v)));
        }
        if (!ok) note(r, 0);
        break;
      }
      case TO_INT64: case TO_INT32: {
        const soft_ext a = unary_operand(op, g);
        const long double x = opaque(to_x87(a));
        bool ok;
        if (op == TO_INT64)
          ok = static_cast<std::int64_t>(a) == opaque(static_cast<std::int64_t>(x));
        else
          ok = static_cast<std::int32_t>(a) == opaque(static_cast<std::int32_t>(x));
        if (!ok) note(a.significand(), a.sign_exp());
        break;
      }
      default: return -2;
    }
  }
  return bad;
#endif
}

}  // namespace ext_check
