// Shared constants and tiny helpers of the cxmath kernels.
//
// Every kernel is a pure constexpr function of doubles (or of `ext`, the
// x87 extended format, "extended": a 64-bit significand; ext/ext.hpp).  A value v with
// |v| < EPS (EPS_EXT for extended kernels) counts as zero; both tests are
// strict.  Helpers here are constexpr replacements for <cmath> functions
// that the language does not let us evaluate at compile time.
#pragma once

#include <cstdint>
#include <limits>

#include "cxmath/ext/ext.hpp"  // ext: the x87 long double, or its software model

namespace cxmath {

inline constexpr double EPS = 0x1p-52;        // 2.220446049250313e-16
inline constexpr ext EPS_EXT = 0x1p-63_x;      // 1.0842021724855044e-19
inline constexpr double DBL_MAX_ = std::numeric_limits<double>::max();
inline constexpr double INF = std::numeric_limits<double>::infinity();
inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();  // 0x7ff8000000000000
inline constexpr ext INF_EXT = ext_infinity();
inline constexpr ext NaN_EXT = ext_quiet_nan();

inline constexpr std::int64_t INT64_MAX_ = std::numeric_limits<std::int64_t>::max();
inline constexpr std::int64_t INT64_MIN_ = std::numeric_limits<std::int64_t>::min();

// The constants, in one block.  An extended constant is the mathematical
// constant rounded to nearest in the 64-bit significand (the 20-digit
// decimals are not always enough, so they are written in hexadecimal); a
// double one is the constant rounded to nearest in double.
inline constexpr ext E_EXT = 0x1.5bf0a8b145769536p+1_x;            // e
inline constexpr ext E2_EXT = 0x1.d8e64b8d4ddadcc4p+2_x;           // e^2
inline constexpr ext E3_EXT = 0x1.415e5bf6fb105f2ep+4_x;           // e^3
inline constexpr ext PI_EXT = 0x1.921fb54442d1846ap+1_x;           // pi (the x87 fldpi value)
inline constexpr ext PI_2_EXT = 0x1.921fb54442d1846ap+0_x;         // pi/2
inline constexpr ext PI_4_EXT = 0x1.921fb54442d1846ap-1_x;         // pi/4
inline constexpr ext TAN_PI_8_EXT = 0x1.a827999fcef32422p-2_x;     // tan(pi/8) = sqrt(2) - 1
inline constexpr ext SQRT2_EXT = 0x1.6a09e667f3bcc908p+0_x;        // sqrt(2)
inline constexpr ext SQRT1_2_EXT = 0x1.6a09e667f3bcc908p-1_x;      // sqrt(1/2)
inline constexpr ext SQRTPI_EXT = 0x1.c5bf891b4ef6aa7ap+0_x;       // sqrt(pi)
inline constexpr ext INV_SQRTPI_EXT = 0x1.20dd750429b6d11ap-1_x;   // 1/sqrt(pi)
inline constexpr ext TWO_SQRTPI_EXT = 0x1.20dd750429b6d11ap+0_x;   // 2/sqrt(pi)
inline constexpr ext SQRT_PI_2_EXT = 0x1.40d931ff62705966p+0_x;    // sqrt(pi/2)
inline constexpr ext INV_SQRT_2PI_EXT = 0x1.9884533d436508d0p-2_x; // 1/sqrt(2 pi)
inline constexpr ext LN_SQRT_2PI_EXT = 0x1.d67f1c864beb4a6ap-1_x;  // ln sqrt(2 pi)
inline constexpr ext LN2_EXT = 0x1.62e42fefa39ef358p-1_x;          // ln 2
// ln 2 as a 40-bit head (e * LN2_HI_EXT is exact for every exponent e of
// the extended range) and the rest rounded to 64 bits.
inline constexpr ext LN2_HI_EXT = 0x1.62e42fefa2000000p-1_x;
inline constexpr ext LN2_LO_EXT = 0x1.9ef35793c7673008p-41_x;
inline constexpr ext EULER_GAMMA_EXT = 0x1.2788cfc6fb618f4ap-1_x;  // Euler's constant

inline constexpr double PI_DOUBLE = 3.141592653589793;
inline constexpr double E_DOUBLE = 2.718281828459045;
inline constexpr double SQRT2_DOUBLE = 1.4142135623730951;
inline constexpr double SQRTPI_DOUBLE = 1.772453850905516;
inline constexpr double LN2_DOUBLE = 0.6931471805599453;
inline constexpr double LN10_DOUBLE = 2.302585092994046;
inline constexpr double LN_PI_DOUBLE = 1.1447298858494002;
inline constexpr double LN_SQRT_2PI_DOUBLE = 0.9189385332046728;  // ln sqrt(2 pi)
inline constexpr double ONE_MINUS_INV_E = 0.6321205588285577;     // 1 - 1/e
inline constexpr double THIRD_DOUBLE = 0.3333333333333333;         // 1/3

constexpr bool isnan(double v) { return v != v; }
constexpr bool isinf(double v) { return v == INF || v == -INF; }
constexpr bool isfinite(double v) { return v == v && v != INF && v != -INF; }
constexpr double fabs(double v) { return __builtin_fabs(v); }
constexpr double fmin(double a, double b) { return b < a ? b : a; }

// True when v is zero or its magnitude is below the tiny threshold.
constexpr bool tiny(double v) { return v == 0 || fabs(v) < EPS; }
constexpr bool tiny_ext(ext v) { return v == 0 || fabs(v) < EPS_EXT; }

}  // namespace cxmath

// The distribution functions (namespace distmill) call the kernels
// unqualified; these declarations make them win over the C library's
// global functions of the same names, whatever was included first.
namespace distmill {
using cxmath::isnan;
using cxmath::isinf;
using cxmath::isfinite;
using cxmath::fabs;
using cxmath::fmin;
using cxmath::tiny;
using cxmath::tiny_ext;
}  // namespace distmill
