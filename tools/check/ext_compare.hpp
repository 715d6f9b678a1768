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
    case 2: {
      const u64 r = g.next();
      return TOP | (r >> g.range(40, 63));
    }
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

// Every draw from the generator is its own statement: the order in which a
// compiler evaluates function arguments is unspecified (GCC differs between
// x86-64 and aarch64), and the operands must be the same on every machine.

// A significand: random, or with all low bits set (sums that carry).
constexpr u64 full_sig(Rng& g) {
  const u64 m = g.next();
  return (g.next() & 1) ? m | ~u64(0) : m;
}

// One operand pair for a binary operation, from family `f`.
constexpr void operands(Op op, int f, Rng& g, soft_ext& a, soft_ext& b) {
  const bool na = g.next() & 1;
  const bool nb = g.next() & 1;
  int ea = 0, eb = 0;
  u64 ma = 0, mb = 0;
  switch (f) {
    case 0: {  // any encodings
      ea = static_cast<int>(g.next() & 0x7fff);
      ma = g.next();
      eb = static_cast<int>(g.next() & 0x7fff);
      mb = g.next();
      break;
    }
    case 1: {  // nearby exponents
      ea = g.range(16383 - 200, 16383 + 200);
      ma = g.next();
      eb = ea + g.range(-140, 140);
      mb = g.next();
      break;
    }
    case 2: {  // few significant bits
      ea = g.range(16383 - 100, 16383 + 100);
      ma = sparse(g);
      eb = ea + g.range(-70, 70);
      mb = sparse(g);
      break;
    }
    case 3: {  // cancellation
      ea = g.range(16383 - 100, 16383 + 100);
      ma = g.next();
      const u64 d = g.next() % 8;
      eb = ea + g.range(-1, 1);
      mb = (g.next() & 1) ? ma + d : ma - d;
      a = canon(na, ea, ma);
      b = canon(op == ADD ? !na : na, eb, mb);
      return;
    }
    case 4: {  // the denormal boundary
      const int t = (g.next() & 1) ? g.range(-140, 70) : g.range(-66, -60);
      if (op == MUL) {
        ea = g.range(1, 16383 + 100);
        eb = t - ea + 16383;
      } else if (op == DIV) {
        ea = g.range(0, 16383);
        eb = ea - t + 16383;
      } else {
        ea = g.range(0, 70);
        eb = g.range(0, 70);
      }
      ma = boundary_sig(g);
      mb = boundary_sig(g);
      break;
    }
    case 5: {  // the overflow boundary
      const int t = g.range(0x7ffe - 3, 0x7ffe + 2);
      if (op == MUL) {
        ea = g.range(16383, 0x7ffe);
        eb = t - ea + 16383;
      } else if (op == DIV) {
        ea = g.range(0x7ffe - 200, 0x7ffe);
        eb = ea - t + 16383;
      } else {
        ea = g.range(0x7ffe - 70, 0x7ffe);
        eb = g.range(0x7ffe - 70, 0x7ffe);
      }
      ma = full_sig(g);
      mb = full_sig(g);
      break;
    }
    case 6: {  // special values against anything
      a = special(g);
      if (g.next() & 1) {
        b = special(g);
      } else {
        eb = g.range(16383 - 70, 16383 + 70);
        b = canon(nb, eb, g.next());
      }
      if (g.next() & 1) std::swap(a, b);
      return;
    }
    case 7: {  // a power of two against a far smaller operand (the
               // borrow below the leading bit, and sticky bits far out)
      ea = g.range(16383 - 100, 16383 + 100);
      const bool nb2 = (g.next() & 1) ? na : !na;
      eb = ea - ((g.next() & 1) ? g.range(62, 70) : g.range(60, 135));
      a = canon(na, ea, TOP);
      b = canon(nb2, eb, boundary_sig(g));
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
  a = canon(na, ea, ma);
  b = canon(nb, eb, mb);
}
inline constexpr int N_FAMILIES = 9;

// One operand for a conversion to double or an integer.
constexpr soft_ext unary_operand(Op op, Rng& g) {
  const bool n = g.next() & 1;
  const int f = static_cast<int>(g.next() % 6);
  if (f == 0) return special(g);
  if (f == 1) {
    const int e = static_cast<int>(g.next() & 0x7fff);
    return canon(n, e, g.next());
  }
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
      const u64 above = g.next() % 3 == 0 ? 1 : 0;
      m = (m & ~low) | half | above;
    }
    return canon(n, e, m);
  }
  // Integer conversions: magnitudes around 2^0 .. 2^64.
  const int e = g.range(16383 - 3, 16383 + 65);
  return canon(n, e, (g.next() & 1) ? g.next() : sparse(g));
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
#endif
inline unsigned compare_bits(bool lt, bool le, bool eq, bool ne, bool ge, bool gt) {
  return lt | le << 1 | eq << 2 | ne << 3 | ge << 4 | gt << 5;
}
// The runs are kept opaque to the optimiser so that each operation is done
// at run time.
template <class T>
inline T opaque(T v) {
  asm volatile("" : "+m"(v));
  return v;
}

// Receives every result of the model (as 64-bit words), so that two
// machines can compare the model's results without a unit on either.
struct Sink {
  void (*put)(void* ctx, u64 word) = nullptr;
  void* ctx = nullptr;
  void operator()(u64 w) const {
    if (put) put(ctx, w);
  }
  void operator()(soft_ext v) const {
    if (put) {
      put(ctx, v.sign_exp());
      put(ctx, v.significand());
    }
  }
};

// Number of operands (pairs) on which the model and the unit disagree in
// n trials of `op`, or -1 where there is no x87 unit to compare with (the
// model's results still go to `sink`).  The first disagreement is described
// in `first` (64 bytes).
inline long long mismatches(Op op, long long n, u64 seed, char* first = nullptr, Sink sink = {}) {
  Rng g{seed * 0x100000001b3u + static_cast<u64>(op)};
  long long bad = 0;
  [[maybe_unused]] auto note = [&](u64 x, u64 y) {
    if (bad++ == 0 && first) std::snprintf(first, 64, "%016llx %016llx", (unsigned long long)x, (unsigned long long)y);
  };
#if EXT_CHECK_HAVE_X87
#define UNIT(...) __VA_ARGS__
#else
#define UNIT(...)
#endif
  for (long long i = 0; i < n; ++i) {
    switch (op) {
      case ADD: case SUB: case MUL: case DIV: {
        soft_ext a, b;
        operands(op, static_cast<int>(i % N_FAMILIES), g, a, b);
        const soft_ext s = op == ADD ? a + b : op == SUB ? a - b : op == MUL ? a * b : a / b;
        sink(s);
        UNIT(const long double xa = opaque(to_x87(a)), xb = opaque(to_x87(b));
             const long double x = op == ADD ? xa + xb : op == SUB ? xa - xb : op == MUL ? xa * xb : xa / xb;
             if (!same(s, opaque(x))) note(a.significand() ^ (u64(a.sign_exp()) << 48), b.significand());)
        break;
      }
      case COMPARE: {
        soft_ext a, b;
        operands(ADD, static_cast<int>(i % N_FAMILIES), g, a, b);
        if (i % 5 == 0) b = (i % 10 == 0) ? a : -a;  // equal values, and zeros of both signs
        const unsigned c = compare_bits(a < b, a <= b, a == b, a != b, a >= b, a > b);
        sink(u64(c));
        UNIT(const long double xa = opaque(to_x87(a)), xb = opaque(to_x87(b));
             if (c != compare_bits(xa < xb, xa <= xb, xa == xb, xa != xb, xa >= xb, xa > xb))
               note(a.significand(), b.significand());)
        break;
      }
      case NEGATE_FABS: {
        soft_ext a, b;
        operands(ADD, static_cast<int>(i % N_FAMILIES), g, a, b);
        sink(-a);
        sink(fabs(a));
        UNIT(const long double xa = opaque(to_x87(a));
             if (!same(-a, opaque(-xa)) || !same(fabs(a), opaque(__builtin_fabsl(xa)))) note(a.significand(), 0);)
        break;
      }
      case FROM_DOUBLE: {
        const double d = opaque(any_double(g));
        sink(soft_ext(d));
        UNIT(if (!same(soft_ext(d), opaque(static_cast<long double>(d)))) note(std::bit_cast<u64>(d), 0);)
        break;
      }
      case TO_DOUBLE: {
        const soft_ext a = unary_operand(op, g);
        const double s = static_cast<double>(a);
        sink(std::bit_cast<u64>(s));
        UNIT(const double x = opaque(static_cast<double>(opaque(to_x87(a))));
             if (std::bit_cast<u64>(s) != std::bit_cast<u64>(x)) note(a.significand(), a.sign_exp());)
        break;
      }
      case FROM_INT64: case FROM_UINT64: case FROM_INT32: {
        const int len = g.range(0, 64);
        u64 r = len == 64 ? g.next() : g.next() & ((u64(1) << len) - 1);
        if (i % 7 == 0) r = (i % 14 == 0) ? TOP : ~u64(0);
        if (op == FROM_INT64) {
          const std::int64_t v = opaque(static_cast<std::int64_t>(r));
          sink(soft_ext(v));
          UNIT(if (!same(soft_ext(v), opaque(static_cast<long double>(v)))) note(r, 0);)
        } else if (op == FROM_UINT64) {
          const u64 v = opaque(r);
          sink(soft_ext(v));
          UNIT(if (!same(soft_ext(v), opaque(static_cast<long double>(v)))) note(r, 0);)
        } else {
          const std::int32_t v = opaque(static_cast<std::int32_t>(r));
          sink(soft_ext(v));
          UNIT(if (!same(soft_ext(v), opaque(static_cast<long double>(v)))) note(r, 0);)
        }
        break;
      }
      case TO_INT64: case TO_INT32: {
        const soft_ext a = unary_operand(op, g);
        if (op == TO_INT64) {
          const std::int64_t s = static_cast<std::int64_t>(a);
          sink(static_cast<u64>(s));
          UNIT(if (s != opaque(static_cast<std::int64_t>(opaque(to_x87(a))))) note(a.significand(), a.sign_exp());)
        } else {
          const std::int32_t s = static_cast<std::int32_t>(a);
          sink(static_cast<u64>(static_cast<std::int64_t>(s)));
          UNIT(if (s != opaque(static_cast<std::int32_t>(opaque(to_x87(a))))) note(a.significand(), a.sign_exp());)
        }
        break;
      }
      default: return -2;
    }
  }
#undef UNIT
  return EXT_CHECK_HAVE_X87 ? bad : -1;
}

}  // namespace ext_check
