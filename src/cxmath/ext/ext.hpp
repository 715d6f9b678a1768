// The extended type `ext`: a 64-bit significand, a 15-bit exponent with
// denormals, every operation rounded to nearest even (the x87 format).
//
// Chosen when the project is compiled:
//  - the native `long double` where it is that format and the unit rounds
//    to 64 bits: GCC and clang on x86 outside Windows;
//  - otherwise the software model `soft_ext` (soft.hpp), which gives the
//    same bits: aarch64 (binary128 long double), Apple silicon and MSVC
//    (binary64), and Windows on x86, where a process may run with the x87
//    precision control at 53 bits (the MSVC runtime's default), which the
//    module could only work around by switching it on every call;
//  - the software model everywhere when DISTMILL_SOFT_EXT is defined (the
//    CMake option of that name), so that it can be checked against the
//    unit on one machine.
//
// The kernels see one interface whichever type is chosen:
//  - arithmetic (+ - * /, unary minus, compound assignment) and comparisons
//    between ext values, doubles and integers; doubles and integers convert
//    to ext exactly (implicitly), ext converts to double and to integers
//    only explicitly (static_cast<double>(v) rounds once, static_cast to an
//    integer truncates toward zero);
//  - fabs(v) and isnan(v) (here for long double, soft.hpp for the model);
//  - constants written as hex-float text with the suffix _x,
//    0x1.921fb54442d1846ap+0_x, or as decimal integers, 3_x: the text must
//    be exactly representable (no rounding is done), so the constant is the
//    same value in both types;
//  - ext_from_bits / ext_sign_exp / ext_significand for the encoding.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>
#include <limits>

#include "cxmath/ext/soft.hpp"

#if defined(DISTMILL_SOFT_EXT)
#define DISTMILL_EXT_SOFT 1
#elif (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32) && LDBL_MANT_DIG == 64 && \
    LDBL_MAX_EXP == 16384 && LDBL_MIN_EXP == -16381
#define DISTMILL_EXT_SOFT 0
#else
#define DISTMILL_EXT_SOFT 1
#endif

namespace cxmath {

#if LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384
namespace ext_detail {
// The x87 layout of a long double in memory: significand, then sign and
// exponent, padded.  (Also where the software format is forced: the checks
// that compare it with the unit read the unit's results through it.)
struct Layout {
  std::uint64_t sig;
  std::uint16_t sign_exp;
  unsigned char pad[sizeof(long double) - 10];
};
static_assert(sizeof(Layout) == sizeof(long double));
}  // namespace ext_detail
#endif

#if DISTMILL_EXT_SOFT
using ext = soft_ext;
inline constexpr bool EXT_NATIVE = false;

constexpr ext ext_from_bits(std::uint16_t sign_exp, std::uint64_t sig) { return soft_ext::from_bits(sign_exp, sig); }
constexpr std::uint16_t ext_sign_exp(ext v) { return v.sign_exp(); }
constexpr std::uint64_t ext_significand(ext v) { return v.significand(); }
constexpr ext ext_infinity() { return soft_ext::infinity(); }
constexpr ext ext_quiet_nan() { return soft_ext::quiet_nan(); }
#else
using ext = long double;
inline constexpr bool EXT_NATIVE = true;

constexpr ext ext_from_bits(std::uint16_t sign_exp, std::uint64_t sig) {
  return std::bit_cast<long double>(ext_detail::Layout{sig, sign_exp, {}});
}
constexpr std::uint16_t ext_sign_exp(ext v) { return std::bit_cast<ext_detail::Layout>(v).sign_exp; }
constexpr std::uint64_t ext_significand(ext v) { return std::bit_cast<ext_detail::Layout>(v).sig; }
constexpr ext ext_infinity() { return std::numeric_limits<long double>::infinity(); }
constexpr ext ext_quiet_nan() { return std::numeric_limits<long double>::quiet_NaN(); }
constexpr ext fabs(ext v) { return __builtin_fabsl(v); }
constexpr bool isnan(ext v) { return v != v; }
#endif

namespace ext_detail {

// Parses the text of a literal, "0x1.8p-3" or "12", into the encoding of
// its value; a text that is not exactly representable does not compile.
consteval ext parse_literal(const char* s) {
  using u64 = std::uint64_t;
  // The digits as a 128-bit integer N (hi:lo), value = N * 2^e2.
  u64 hi = 0, lo = 0;
  int e2 = 0;
  const bool hex = s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  const unsigned radix_bits = 4;
  const char* p = hex ? s + 2 : s;
  bool point = false;
  for (;; ++p) {
    const char c = *p;
    if (c == '\'') continue;
    if (c == '.') {
      if (!hex || point) throw "only hex-float text may have a point";
      point = true;
      continue;
    }
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      break;
    }
    if (hex) {
      if (hi >> 60) throw "too many hex digits";
      hi = (hi << radix_bits) | (lo >> 60);
      lo = (lo << radix_bits) | digit;
      if (point) e2 -= 4;
    } else {
      // N = 10 N + digit, within 64 bits.
      if (lo > (~u64(0) - digit) / 10) throw "decimal literal beyond 64 bits";
      lo = lo * 10 + digit;
    }
  }
  if (hex) {
    if (*p != 'p' && *p != 'P') throw "a hex-float literal needs its p exponent";
    ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = *p++ == '-';
    int x = 0;
    if (!(*p >= '0' && *p <= '9')) throw "missing exponent digits";
    for (; *p >= '0' && *p <= '9'; ++p) {
      x = x * 10 + (*p - '0');
      if (x > 100000) throw "exponent out of range";
    }
    e2 += neg ? -x : x;
  }
  if (*p != '\0') throw "unexpected character in literal";
  if (hi == 0 && lo == 0) return ext_from_bits(0, 0);
  // Drop trailing zero bits, then require at most 64 significant bits.
  while ((lo & 1) == 0) {
    lo = (lo >> 1) | (hi << 63);
    hi >>= 1;
    ++e2;
  }
  if (hi != 0) throw "more than 64 significant bits: the value is not exact in the format";
  const int z = std::countl_zero(lo);
  const u64 m = lo << z;
  // value = m * 2^(e2 - z) with the integer bit of m at 2^63.
  const int biased = e2 - z + 63 + 16383;
  if (biased >= 0x7fff) throw "beyond the extended range";
  if (biased >= 1) return ext_from_bits(static_cast<std::uint16_t>(biased), m);
  const int shift = 1 - biased;
  if (shift >= 64 || (m & ((u64(1) << shift) - 1)) != 0) throw "below the extended denormals' resolution";
  return ext_from_bits(0, m >> shift);
}

}  // namespace ext_detail

inline namespace ext_literals {
consteval ext operator""_x(const char* text) { return ext_detail::parse_literal(text); }
}  // namespace ext_literals

}  // namespace cxmath

namespace distmill {
using namespace cxmath::ext_literals;
}  // namespace distmill
