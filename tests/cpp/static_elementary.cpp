// Exact values of the elementary kernels, checked at compile time.  Every
// kernel must be a constant expression; the compiler refuses only operations
// that overflow or form 0 * inf, so those arguments are checked at run time.
// The values hold by the definitions (table entries, exact guards, exactly
// representable results) rather than by any particular rounding.
#include "cxmath/elementary.hpp"

namespace {

using namespace cxmath;
constexpr bool is_nan(double v) { return v != v; }
constexpr bool is_neg_zero(double v) { return v == 0 && __builtin_signbit(v); }
constexpr bool is_pos_zero(double v) { return v == 0 && !__builtin_signbit(v); }

// ---- logarithm: guards, the tiny threshold and the table -------------------
static_assert(is_nan(cxmath::log(-1.0)));
static_assert(is_nan(cxmath::log(NaN)));
static_assert(cxmath::log(-0.0) == -INF);
static_assert(cxmath::log(0.0) == -INF);
static_assert(cxmath::log(1e-300) == -INF);
static_assert(cxmath::log(0x1.fffffffffffffp-53) == -INF);  // just below 2^-52
static_assert(cxmath::log(0x1p-52) > -36.05 && cxmath::log(0x1p-52) < -36.04);
static_assert(is_pos_zero(cxmath::log(1.0)));
// |x - 1| below EPS counts as 1: the double just below 1 has log +0, the
// double just above (x - 1 = 2^-52, not below EPS) does not.
static_assert(is_pos_zero(cxmath::log(1 - 0x1p-53)));
static_assert(cxmath::log(1 + 0x1p-52) > 0);
static_assert(cxmath::log(INF) == INF);
// Powers of ten and table points land on exact table sums: the fraction of
// ln(m) vanishes for m = 1.
static_assert(cxmath::log(2.0) == 0.6931471805599453);
static_assert(cxmath::log(3.0) == 1.0986122886681098);
static_assert(cxmath::log(4.0) == 1.3862943611198906);
static_assert(cxmath::log(5.0) == 1.6094379124341003);
static_assert(cxmath::log(6.0) == 1.791759469228055);
static_assert(cxmath::log(7.0) == 1.9459101490553132);
static_assert(cxmath::log(8.0) == 2.0794415416798357);
static_assert(cxmath::log(9.0) == 2.1972245773362196);
static_assert(cxmath::log(10.0) == 2.302585092994046);
static_assert(cxmath::log(100.0) == 2.302585092994046 * 1 + 2.302585092994046);
static_assert(cxmath::log(0.3) == 2.302585092994046 * -1 + 1.0986122886681098);

// ---- exponential --------------------------------------------------------
static_assert(is_nan(cxmath::exp(NaN)));
static_assert(is_pos_zero(cxmath::exp(-INF)));
static_assert(cxmath::exp(INF) == INF);
static_assert(cxmath::exp(0.0) == 1.0 && cxmath::exp(-0.0) == 1.0);
static_assert(cxmath::exp(1e-17) == 1.0 && cxmath::exp(-1e-17) == 1.0);
static_assert(cxmath::exp(0x1.fffffffffffffp-53) == 1.0);
static_assert(cxmath::exp(1.0) == 2.718281828459045);
static_assert(cxmath::exp(710.0) == INF);
static_assert(cxmath::exp(-800.0) == 0.0);
static_assert(cxmath::exp(1e19) == INF && cxmath::exp(-1e19) == 0.0);
static_assert(cxmath::exp(0x1p63) == INF && cxmath::exp(-0x1p63) == 0.0);
// Integer arguments of 2 and more: e^n from the table of e, e^2, e^3 times
// E(0) = 1, rounded once.
static_assert(cxmath::exp(2.0) == static_cast<double>(E2_EXT));
static_assert(cxmath::exp(3.0) == static_cast<double>(E3_EXT));
static_assert(cxmath::exp(-3.0) == static_cast<double>(1 / E3_EXT));

// ---- e^n in extended: the table and the ends of the integer range --------
static_assert(exp_integer(0) == ext(1.0));
static_assert(exp_integer(1) == E_EXT && exp_integer(2) == E2_EXT && exp_integer(3) == E3_EXT);
static_assert(exp_integer(-1) == 1 / E_EXT);
static_assert(exp_integer(INT64_MAX_) == INF_EXT);
static_assert(exp_integer(INT64_MIN_) == ext(0.0));

// ---- exp_ext: no guards in front, but NaN and huge arguments stay defined --
static_assert(exp_ext(ext(0.0)) == ext(1.0));
static_assert(exp_ext(ext(2.0)) == E2_EXT);
static_assert(exp_ext(0x1p63_x) == INF_EXT && exp_ext(-0x1p63_x) == ext(0.0));
static_assert(exp_ext(INF_EXT) == INF_EXT && exp_ext(-INF_EXT) == ext(0.0));
static_assert(isnan(exp_ext(NaN_EXT)));

// ---- pow ----------------------------------------------------------------
static_assert(is_nan(cxmath::pow(-8.0, 3.0)));
static_assert(is_nan(cxmath::pow(NaN, 0.0)));
static_assert(cxmath::pow(1e-17, 2.0) == 0.0);
static_assert(cxmath::pow(1e-17, -1.0) == INF);
static_assert(cxmath::pow(1.0, 5.0) == 1.0);
static_assert(cxmath::pow(10.0, 1.0) == cxmath::exp(2.302585092994046));

// ---- expm1 and log1p ----------------------------------------------------
static_assert(is_pos_zero(cxmath::expm1(0.0)) && is_neg_zero(cxmath::expm1(-0.0)));
static_assert(is_nan(cxmath::expm1(NaN)) && is_nan(cxmath::log1p(NaN)));
static_assert(cxmath::expm1(-INF) == -1.0 && cxmath::expm1(INF) == INF);
static_assert(is_pos_zero(cxmath::log1p(0.0)));
static_assert(cxmath::log1p(-1.0) == -INF);
static_assert(is_nan(cxmath::log1p(-2.0)));
// Above the 1e-4 threshold the general formulas are used literally.
static_assert(cxmath::expm1(0.5) == cxmath::exp(0.5) - 1);
static_assert(cxmath::log1p(0.5) == cxmath::log(1.5));

// ---- sqrt ---------------------------------------------------------------
static_assert(is_nan(cxmath::sqrt(-1.0)) && is_nan(cxmath::sqrt(NaN)));
static_assert(cxmath::sqrt(INF) == INF);
static_assert(cxmath::sqrt(0.0) == 0.0 && cxmath::sqrt(1e-20) == 0.0);
static_assert(cxmath::sqrt(1.0) == 1.0 && cxmath::sqrt(1 + 0x1p-53) == 1 + 0x1p-53);
static_assert(cxmath::sqrt(4.0) == 2.0);
static_assert(cxmath::sqrt(16.0) == 4.0);
static_assert(cxmath::sqrt(0x1p200) == 0x1p100);
static_assert(cxmath::sqrt(0.25) == 0.5);

// ---- tangent --------------------------------------------------------------
static_assert(cxmath::tan(ext(0.0)) == ext(0.0));
static_assert(isnan(cxmath::tan(NaN_EXT)));
// At the extended pi/2 the pole value is returned.
static_assert(cxmath::tan(PI_2_EXT) == ext(1.633124e16));
// One extended ulp (2^-63) above it the distance is no longer below
// EPS_EXT and the Laurent series gives -1/y with y = 2^-63 exactly.
static_assert(cxmath::tan(PI_2_EXT + EPS_EXT) == -0x1p63_x);
static_assert(cxmath::tan(PI_2_EXT - EPS_EXT) == 0x1p63_x);
// Arguments too large for an integer multiple of pi have no reduction.
static_assert(isnan(cxmath::tan(0x1.93e5939a08ce9dbep+99_x)));  // 1e30
static_assert(isnan(cxmath::tan(INF_EXT)));
// pi reduces to exactly 0 only if the argument is the extended pi plus a
// multiple: 2 pi_ext is exact in extended.
static_assert(cxmath::tan(PI_EXT + PI_EXT) == ext(0.0));

// ---- arc-tangent ----------------------------------------------------------
static_assert(cxmath::atan(0.0) == 0.0 && is_neg_zero(cxmath::atan(-0.0)));
static_assert(is_nan(cxmath::atan(NaN)));
static_assert(cxmath::atan(INF) == static_cast<double>(PI_2_EXT));
static_assert(cxmath::atan(-INF) == -static_cast<double>(PI_2_EXT));
static_assert(cxmath::atan(-0.3) == -cxmath::atan(0.3));
static_assert(cxmath::atan(-2.5) == -cxmath::atan(2.5));
static_assert(cxmath::atan(-1e10) == -cxmath::atan(1e10));

// ---- tanh continued fraction: D(0) = 1, so tanh z = z/D ---------------------
static_assert(cxmath::tanh_cf(0.0) == 1.0);
static_assert(cxmath::tanh_cf(-1.5) == cxmath::tanh_cf(1.5));

// ---- integer powers ---------------------------------------------------------
static_assert(ipow(0, NaN) == 1.0);
static_assert(ipow(1, 3.5) == 3.5);
static_assert(ipow(2, 3.0) == 9.0 && ipow(3, 3.0) == 27.0);
static_assert(ipow(10, 2.0) == 1024.0 && ipow(62, 2.0) == 0x1p62);
static_assert(ipow(-2, 2.0) == 0.25 && ipow(-10, 2.0) == 1.0 / 1024);
static_assert(ipow(INT64_MAX_, 0.5) == INF && ipow(INT64_MIN_, 2.0) == 0.0);
static_assert(ipow(7, -1.0) == -1.0 && ipow(8, -1.0) == 1.0);

}  // namespace
