// A software model of the x87 80-bit extended format, for platforms whose
// `long double` is something else (binary128 on aarch64 Linux, binary64 on
// Apple silicon and MSVC).
//
// The value is held in the x87 layout itself: a 64-bit significand with an
// explicit integer bit and a 16-bit sign-and-exponent field (exponent bias
// 16383).  Only the canonical encodings occur: exponent 0 holds zeros and
// denormals (integer bit clear), exponents 1..32766 normal numbers (integer
// bit set), exponent 32767 infinities (significand 2^63) and NaNs.
//
// Every operation returns what the x87 unit returns with precision control
// at 64 bits and rounding to nearest even: the exact result rounded once to
// the representable set (gradual underflow into the denormals included),
// overflow to infinity.  NaNs are modelled bit for bit as well:
//  - an invalid operation (inf - inf, 0 * inf, 0/0, inf/inf) gives the x87
//    "indefinite", the quiet NaN with the sign bit set;
//  - a NaN operand is passed on quieted (bit 62 set); of two NaN operands
//    the one with the larger significand wins, the positive one when the
//    significands are equal;
//  - conversion to double keeps the sign and the top 52 significand bits,
//    with the quiet bit set.
// Matching the unit in NaNs too means that a program computes the same
// bits, NaN results included, with either format, so the software format
// can be compared with the x87 unit exhaustively rather than up to NaNs.
//
// Everything is constexpr: kernels evaluated at compile time give the same
// bits as at run time.  Conversion from `long double` is refused, so that a
// stray long double (or an L literal) in a kernel is a compile error rather
// than a silent use of another format.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

namespace cxmath {

namespace soft_detail {

using u64 = std::uint64_t;

// 64 x 64 -> 128-bit product and 128 / 64-bit division (quotient known to
// fit in 64 bits), with a portable form for compilers without a 128-bit
// integer type.
struct u128 {
  u64 hi, lo;
};

constexpr u128 mul64(u64 a, u64 b) {
#if defined(__SIZEOF_INT128__)
  const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  return {static_cast<u64>(p >> 64), static_cast<u64>(p)};
#else
  const u64 a0 = a & 0xffffffffu, a1 = a >> 32, b0 = b & 0xffffffffu, b1 = b >> 32;
  const u64 p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const u64 mid = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | (p00 & 0xffffffffu)};
#endif
}

// (hi:lo) / d with hi < d: quotient and remainder.
constexpr void div128(u64 hi, u64 lo, u64 d, u64& q, u64& r) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  // At run time the processor's own 128 / 64-bit division, whose quotient
  // fits because hi < d (the library routine behind a 128-bit integer
  // division tests for the general case first and is not inlined).
  if (!std::is_constant_evaluated()) {
    __asm__("divq %[d]" : "=a"(q), "=d"(r) : [d] "rm"(d), "a"(lo), "d"(hi) : "cc");
    return;
  }
#endif
#if defined(__SIZEOF_INT128__)
  const unsigned __int128 n = (static_cast<unsigned __int128>(hi) << 64) | lo;
  q = static_cast<u64>(n / d);
  r = lo - q * d;
#else
  // Restoring division, one quotient bit per step.
  u64 rem = hi, quo = 0;
  for (int i = 63; i >= 0; --i) {
    const bool top = rem >> 63;
    rem = (rem << 1) | ((lo >> i) & 1);
    quo <<= 1;
    if (top || rem >= d) {
      rem -= d;
      quo |= 1;
    }
  }
  q = quo;
  r = rem;
#endif
}

// Every operation is a short common path (finite nonzero operands, a
// normal result) and rarer ones (infinities, NaNs, zeros, denormals): the
// common path is inlined into the kernels' chains, the rare ones are kept
// out of line so that they do not crowd it.
#if defined(__GNUC__) || defined(__clang__)
#define DISTMILL_SOFT_HOT [[gnu::always_inline]] inline
#define DISTMILL_SOFT_COLD [[gnu::noinline, gnu::cold]]
#else
#define DISTMILL_SOFT_HOT inline
#define DISTMILL_SOFT_COLD
#endif

inline constexpr u64 TOP = u64(1) << 63;
inline constexpr u64 QUIET = u64(1) << 62;
inline constexpr int BIAS = 16383;
inline constexpr int EMAX = 0x7fff;  // the exponent of infinities and NaNs

}  // namespace soft_detail

class soft_ext {
  using u64 = soft_detail::u64;

 public:
  // +0.
  constexpr soft_ext() = default;

  // Exact conversions (a double and any 64-bit integer fit the format).
  constexpr soft_ext(double v) : soft_ext(from_double(v)) {}
  template <std::integral I>
  constexpr soft_ext(I v) : soft_ext(from_integer(v)) {}
  // A long double is another format on the platforms that use this type:
  // its constants must be written for the extended format (operator""_x).
  soft_ext(long double) = delete;

  // The encoding: sign and biased exponent, and the 64-bit significand.
  static constexpr soft_ext from_bits(std::uint16_t sign_exp, u64 sig) {
    soft_ext r;
    r.se_ = sign_exp;
    r.m_ = sig;
    return r;
  }
  constexpr std::uint16_t sign_exp() const { return se_; }
  constexpr u64 significand() const { return m_; }

  static constexpr soft_ext infinity() { return from_bits(soft_detail::EMAX, soft_detail::TOP); }
  // The positive quiet NaN (the indefinite of the x87 is its negative).
  static constexpr soft_ext quiet_nan() {
    return from_bits(soft_detail::EMAX, soft_detail::TOP | soft_detail::QUIET);
  }

  // Rounded once, to nearest even, to double (subnormal doubles included).
  explicit constexpr operator double() const { return to_double(); }
  // Truncation toward zero; NaN and values beyond the integer's range give
  // its smallest value, as the x87 store does.
  template <std::integral I>
  explicit constexpr operator I() const {
    const std::int64_t v = to_int64();
    if constexpr (std::is_same_v<I, bool>) {
      return !is_zero();
    } else if constexpr (sizeof(I) >= sizeof(std::int64_t)) {
      return static_cast<I>(v);
    } else {
      if (v < std::numeric_limits<I>::min() || v > std::numeric_limits<I>::max())
        return std::numeric_limits<I>::min();
      return static_cast<I>(v);
    }
  }

  DISTMILL_SOFT_HOT friend constexpr soft_ext operator+(soft_ext a, soft_ext b) { return add(a, b, false); }
  DISTMILL_SOFT_HOT friend constexpr soft_ext operator-(soft_ext a, soft_ext b) { return add(a, b, true); }
  DISTMILL_SOFT_HOT friend constexpr soft_ext operator*(soft_ext a, soft_ext b) { return mul(a, b); }
  DISTMILL_SOFT_HOT friend constexpr soft_ext operator/(soft_ext a, soft_ext b) { return div(a, b); }
  constexpr soft_ext operator-() const { return from_bits(se_ ^ 0x8000, m_); }
  constexpr soft_ext operator+() const { return *this; }
  constexpr soft_ext& operator+=(soft_ext b) { return *this = *this + b; }
  constexpr soft_ext& operator-=(soft_ext b) { return *this = *this - b; }
  constexpr soft_ext& operator*=(soft_ext b) { return *this = *this * b; }
  constexpr soft_ext& operator/=(soft_ext b) { return *this = *this / b; }

  friend constexpr bool operator==(soft_ext a, soft_ext b) {
    if (a.is_nan() || b.is_nan()) return false;
    if (a.is_zero() && b.is_zero()) return true;
    return a.se_ == b.se_ && a.m_ == b.m_;
  }
  friend constexpr bool operator<(soft_ext a, soft_ext b) { return less(a, b); }
  friend constexpr bool operator>(soft_ext a, soft_ext b) { return less(b, a); }
  friend constexpr bool operator<=(soft_ext a, soft_ext b) { return less(a, b) || a == b; }
  friend constexpr bool operator>=(soft_ext a, soft_ext b) { return less(b, a) || a == b; }

  constexpr bool is_nan() const { return exp() == soft_detail::EMAX && m_ != soft_detail::TOP; }

 private:
  u64 m_ = 0;
  std::uint16_t se_ = 0;

  static constexpr std::int64_t INT64_MIN_ = std::numeric_limits<std::int64_t>::min();

  constexpr int exp() const { return se_ & 0x7fff; }
  constexpr bool neg() const { return se_ >> 15; }
  constexpr bool is_zero() const { return m_ == 0; }

  static constexpr soft_ext make(bool neg, int e, u64 m) {
    return from_bits(static_cast<std::uint16_t>((neg ? 0x8000 : 0) | e), m);
  }
  static constexpr soft_ext zero(bool neg) { return make(neg, 0, 0); }
  static constexpr soft_ext inf(bool neg) { return make(neg, soft_detail::EMAX, soft_detail::TOP); }
  // The x87 indefinite: the answer to an invalid operation.
  static constexpr soft_ext indefinite() { return make(true, soft_detail::EMAX, soft_detail::TOP | soft_detail::QUIET); }

  // The NaN an operation with at least one NaN operand returns.
  static constexpr soft_ext propagate(soft_ext a, soft_ext b) {
    soft_ext r;
    if (!b.is_nan()) {
      r = a;
    } else if (!a.is_nan()) {
      r = b;
    } else if (a.m_ != b.m_) {
      r = a.m_ > b.m_ ? a : b;
    } else {
      r = a.neg() ? b : a;
    }
    r.m_ |= soft_detail::QUIET;
    return r;
  }

  // Rounds (-1)^neg * (hi + lo 2^-64) * 2^(e - 16383 - 63) to the format,
  // where hi has its top bit set and lo holds the bits below (its lowest
  // bit may carry a sticky "something nonzero below" bit).  e may lie
  // outside the exponent range: above it the result overflows to infinity,
  // below it the value is shifted into the denormals and rounded there.
  DISTMILL_SOFT_HOT static constexpr soft_ext round_pack(bool neg, int e, u64 hi, u64 lo) {
    if (e >= 1) [[likely]] {
      if (lo > soft_detail::TOP || (lo == soft_detail::TOP && (hi & 1))) {
        if (++hi == 0) {
          hi = soft_detail::TOP;
          ++e;
        }
      }
      if (e >= soft_detail::EMAX) [[unlikely]] return inf(neg);
      return make(neg, e, hi);
    }
    return round_pack_denormal(neg, e, hi, lo);
  }

  // round_pack below the normal range.
  DISTMILL_SOFT_COLD static constexpr soft_ext round_pack_denormal(bool neg, int e, u64 hi, u64 lo) {
    const int s = 1 - e;  // right shift into the denormal position
    u64 h = 0, l = 0;
    if (s < 64) {
      h = hi >> s;
      l = (hi << (64 - s)) | (lo >> s) | ((lo << (64 - s)) != 0);
    } else if (s == 64) {
      l = hi | (lo != 0);
    } else if (s < 128) {
      l = (hi >> (s - 64)) | ((hi << (128 - s)) != 0) | (lo != 0);
    } else {
      l = (hi | lo) != 0;
    }
    if (l > soft_detail::TOP || (l == soft_detail::TOP && (h & 1))) ++h;
    // Rounding up the largest denormal gives the smallest normal number.
    return make(neg, (h & soft_detail::TOP) ? 1 : 0, h);
  }

  // Shifts (hi:lo) left until the top bit of hi is set; returns the shift.
  static constexpr int normalize(u64& hi, u64& lo) {
    if (hi == 0) {
      const int z = std::countl_zero(lo);
      hi = lo << z;
      lo = 0;
      return 64 + z;
    }
    const int z = std::countl_zero(hi);
    if (z != 0) {
      hi = (hi << z) | (lo >> (64 - z));
      lo <<= z;
    }
    return z;
  }

  // a + b, or a - b: b with its sign flipped when `subtract`.
  DISTMILL_SOFT_HOT static constexpr soft_ext add(soft_ext a, soft_ext b, bool subtract) {
    const bool na = a.neg(), nb = b.neg() != subtract;
    if (!a.is_normal() || !b.is_normal()) [[unlikely]] return add_rare(a, b, na, nb);
    return add_core(na, a.exp(), a.m_, nb, b.exp(), b.m_);
  }

  // Sums with an infinite, NaN, zero or denormal operand.
  DISTMILL_SOFT_COLD static constexpr soft_ext add_rare(soft_ext a, soft_ext b, bool na, bool nb) {
    const int ea = a.exp(), eb = b.exp();
    if (ea == soft_detail::EMAX || eb == soft_detail::EMAX) {
      if (a.is_nan() || b.is_nan()) return propagate(a, b);
      if (ea == soft_detail::EMAX && eb == soft_detail::EMAX && na != nb) return indefinite();
      return ea == soft_detail::EMAX ? inf(na) : inf(nb);
    }
    if (a.m_ == 0 || b.m_ == 0) {
      if (b.m_ != 0) return make(nb, eb, b.m_);
      if (a.m_ != 0) return a;
      return zero(na && nb);  // +0 unless both are -0
    }
    // Denormals carry the exponent of the smallest normal numbers.
    return add_core(na, ea == 0 ? 1 : ea, a.m_, nb, eb == 0 ? 1 : eb, b.m_);
  }

  // The sum of two finite nonzero values given as sign, exponent (at
  // least 1) and significand.
  DISTMILL_SOFT_HOT static constexpr soft_ext add_core(bool na, int ea, u64 ma, bool nb, int eb, u64 mb) {
    bool n = na;
    if (ea < eb || (ea == eb && ma < mb)) {
      std::swap(ea, eb);
      std::swap(ma, mb);
      n = nb;
    }
    // Align the smaller operand: (mb:0) >> d, the bits shifted out kept as
    // a sticky lowest bit.
    const int d = ea - eb;
    u64 bh = mb, bl = 0;
    if (d != 0) {
      if (d < 64) {
        bl = mb << (64 - d);
        bh = mb >> d;
      } else if (d == 64) {
        bl = mb;
        bh = 0;
      } else if (d < 128) {
        bl = (mb >> (d - 64)) | ((mb << (128 - d)) != 0);
        bh = 0;
      } else {
        bl = 1;
        bh = 0;
      }
    }
    u64 hi, lo;
    int e = ea;
    if (na == nb) {
      lo = bl;
      hi = ma + bh;
      if (hi < ma) {  // carry out of the top
        lo = (lo >> 1) | (hi << 63) | (lo & 1);
        hi = (hi >> 1) | soft_detail::TOP;
        ++e;
      } else if (!(hi & soft_detail::TOP)) [[unlikely]] {
        e -= normalize(hi, lo);  // two denormals
      }
    } else {
      lo = 0 - bl;
      hi = ma - bh - (bl != 0);
      if (hi == 0 && lo == 0) return zero(false);
      if (!(hi & soft_detail::TOP)) e -= normalize(hi, lo);
    }
    return round_pack(n, e, hi, lo);
  }

  // True for a normal number (neither zero, denormal, infinite nor NaN).
  constexpr bool is_normal() const { return static_cast<unsigned>(exp() - 1) < soft_detail::EMAX - 1; }

  // The significand of a finite nonzero value shifted until its integer bit
  // is set, and the exponent that goes with it (below 1 for denormals).
  static constexpr void unpack(soft_ext a, int& e, u64& m) {
    e = a.exp();
    m = a.m_;
    if (e == 0) {
      const int z = std::countl_zero(m);
      m <<= z;
      e = 1 - z;
    }
  }

  DISTMILL_SOFT_HOT static constexpr soft_ext mul(soft_ext a, soft_ext b) {
    if (!a.is_normal() || !b.is_normal()) [[unlikely]] return mul_rare(a, b);
    return mul_core(a.neg() != b.neg(), a.exp(), a.m_, b.exp(), b.m_);
  }

  // Products with an infinite, NaN, zero or denormal operand.
  DISTMILL_SOFT_COLD static constexpr soft_ext mul_rare(soft_ext a, soft_ext b) {
    const bool n = a.neg() != b.neg();
    if (a.exp() == soft_detail::EMAX || b.exp() == soft_detail::EMAX) {
      if (a.is_nan() || b.is_nan()) return propagate(a, b);
      if (a.m_ == 0 || b.m_ == 0) return indefinite();  // inf * 0
      return inf(n);
    }
    if (a.m_ == 0 || b.m_ == 0) return zero(n);
    int ea = 0, eb = 0;
    u64 ma = 0, mb = 0;
    unpack(a, ea, ma);
    unpack(b, eb, mb);
    return mul_core(n, ea, ma, eb, mb);
  }

  // The product of two significands with their integer bits set.
  DISTMILL_SOFT_HOT static constexpr soft_ext mul_core(bool n, int ea, u64 ma, int eb, u64 mb) {
    soft_detail::u128 p = soft_detail::mul64(ma, mb);
    int e = ea + eb - soft_detail::BIAS + 1;
    if (!(p.hi & soft_detail::TOP)) {
      p.hi = (p.hi << 1) | (p.lo >> 63);
      p.lo <<= 1;
      --e;
    }
    return round_pack(n, e, p.hi, p.lo);
  }

  DISTMILL_SOFT_HOT static constexpr soft_ext div(soft_ext a, soft_ext b) {
    if (!a.is_normal() || !b.is_normal()) [[unlikely]] return div_rare(a, b);
    return div_core(a.neg() != b.neg(), a.exp(), a.m_, b.exp(), b.m_);
  }

  // Quotients with an infinite, NaN, zero or denormal operand.
  DISTMILL_SOFT_COLD static constexpr soft_ext div_rare(soft_ext a, soft_ext b) {
    const bool n = a.neg() != b.neg();
    const int ea = a.exp(), eb = b.exp();
    if (ea == soft_detail::EMAX || eb == soft_detail::EMAX) {
      if (a.is_nan() || b.is_nan()) return propagate(a, b);
      if (ea == eb) return indefinite();  // inf / inf
      return ea == soft_detail::EMAX ? inf(n) : zero(n);
    }
    if (b.m_ == 0) return a.m_ == 0 ? indefinite() : inf(n);
    if (a.m_ == 0) return zero(n);
    int xa = 0, xb = 0;
    u64 ma = 0, mb = 0;
    unpack(a, xa, ma);
    unpack(b, xb, mb);
    return div_core(n, xa, ma, xb, mb);
  }

  // The quotient of two significands with their integer bits set.
  DISTMILL_SOFT_HOT static constexpr soft_ext div_core(bool n, int ea, u64 ma, int eb, u64 mb) {
    // The dividend ma 2^(64 - s), s = 1 when ma >= mb, else 0, so that the
    // quotient q has its top bit set (ma / mb lies in [1/2, 2)); then the
    // next quotient bit and a sticky bit for the remainder.  No branch on
    // s: in a chain of divisions it is as good as random.
    const u64 s = ma >= mb;
    u64 q, r;
    soft_detail::div128(ma >> s, (ma << 63) & (0 - s), mb, q, r);
    const bool bit = r >= mb - r;  // the next quotient bit: 2r >= mb
    const u64 r2 = bit ? r - (mb - r) : r + r;
    const u64 lo = (static_cast<u64>(bit) << 63) | (r2 != 0);
    return round_pack(n, ea - eb + soft_detail::BIAS - 1 + static_cast<int>(s), q, lo);
  }

  static constexpr bool less(soft_ext a, soft_ext b) {
    if (a.is_nan() || b.is_nan()) return false;
    if (a.is_zero() && b.is_zero()) return false;
    if (a.neg() != b.neg()) return a.neg();
    const bool mag_less = a.exp() < b.exp() || (a.exp() == b.exp() && a.m_ < b.m_);
    const bool mag_greater = a.exp() > b.exp() || (a.exp() == b.exp() && a.m_ > b.m_);
    return a.neg() ? mag_greater : mag_less;
  }

  static constexpr soft_ext from_double(double v) {
    const u64 bits = std::bit_cast<u64>(v);
    const bool n = bits >> 63;
    const int e = static_cast<int>((bits >> 52) & 0x7ff);
    const u64 f = bits & ((u64(1) << 52) - 1);
    if (e == 0x7ff) {
      if (f == 0) return inf(n);
      return make(n, soft_detail::EMAX, soft_detail::TOP | soft_detail::QUIET | (f << 11));
    }
    if (e == 0) {
      if (f == 0) return zero(n);
      const int z = std::countl_zero(f);  // >= 12
      return make(n, 1 - 1023 + soft_detail::BIAS - (z - 11), f << z);
    }
    return make(n, e - 1023 + soft_detail::BIAS, soft_detail::TOP | (f << 11));
  }

  template <std::integral I>
  static constexpr soft_ext from_integer(I v) {
    bool n = false;
    u64 mag;
    if constexpr (std::is_signed_v<I>) {
      n = v < 0;
      mag = n ? u64(0) - static_cast<u64>(v) : static_cast<u64>(v);
    } else {
      mag = static_cast<u64>(v);
    }
    if (mag == 0) return zero(false);
    const int z = std::countl_zero(mag);
    return make(n, soft_detail::BIAS + 63 - z, mag << z);
  }

  constexpr double to_double() const {
    const u64 sign = static_cast<u64>(neg()) << 63;
    const int e = exp();
    if (e == soft_detail::EMAX) {
      if (m_ == soft_detail::TOP) return std::bit_cast<double>(sign | 0x7ff0000000000000u);
      return std::bit_cast<double>(sign | 0x7ff8000000000000u | ((m_ >> 11) & ((u64(1) << 52) - 1)));
    }
    if (m_ == 0) return std::bit_cast<double>(sign);
    // Unbiased exponent of the integer bit; denormals normalised first.
    u64 m = m_;
    int E = e - soft_detail::BIAS;
    if (e == 0) {
      const int z = std::countl_zero(m);
      m <<= z;
      E = 1 - soft_detail::BIAS - z;
    }
    if (E > 1023) return std::bit_cast<double>(sign | 0x7ff0000000000000u);
    // Keep 53 bits (fewer for a subnormal double): drop `s` low bits.
    const int s = E >= -1022 ? 11 : 11 + (-1022 - E);
    u64 q, rest, half;
    if (s < 64) {
      q = m >> s;
      rest = m & ((u64(1) << s) - 1);
      half = u64(1) << (s - 1);
    } else if (s == 64) {
      q = 0;
      rest = m;
      half = soft_detail::TOP;
    } else {
      return std::bit_cast<double>(sign);  // below half the smallest subnormal
    }
    if (rest > half || (rest == half && (q & 1))) ++q;
    if (E >= -1022) {
      // q holds the integer bit at 2^52; a carry to 2^53 raises the exponent.
      int be = E + 1023;
      if (q >> 53) {
        q >>= 1;
        ++be;
      }
      if (be >= 0x7ff) return std::bit_cast<double>(sign | 0x7ff0000000000000u);
      return std::bit_cast<double>(sign | (static_cast<u64>(be) << 52) | (q & ((u64(1) << 52) - 1)));
    }
    // Subnormal: q is the significand field; a carry into 2^52 gives the
    // smallest normal number, which is exactly that encoding.
    return std::bit_cast<double>(sign | q);
  }

  constexpr std::int64_t to_int64() const {
    const int e = exp();
    if (e == soft_detail::EMAX) return INT64_MIN_;
    if (e < soft_detail::BIAS) return 0;  // |v| < 1, zeros and denormals included
    const int E = e - soft_detail::BIAS;
    if (E >= 63) return INT64_MIN_;  // out of range (or exactly -2^63)
    const u64 mag = m_ >> (63 - E);
    return neg() ? -static_cast<std::int64_t>(mag) : static_cast<std::int64_t>(mag);
  }
};

// Namespace functions rather than hidden friends, so that the kernels'
// qualified calls (cxmath::fabs) find them too.
constexpr soft_ext fabs(soft_ext a) { return soft_ext::from_bits(a.sign_exp() & 0x7fff, a.significand()); }
constexpr bool isnan(soft_ext a) { return a.is_nan(); }

}  // namespace cxmath
