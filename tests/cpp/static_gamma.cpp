// Compile-time checks of the gamma kernels: exact values that follow from
// the guards, and proof that the full algorithms (series, continued
// fraction, quadrature, Halley steps) and the family functions built on
// them are constant-evaluable.  The families' limit tables are tested
// through the module.
#include "cxmath/gamma.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"

namespace {

using cxmath::INF;
using cxmath::NaN;
constexpr bool is_nan(double v) { return v != v; }
constexpr bool is_pos_zero(double v) { return v == 0 && !__builtin_signbit(v); }

// ln Gamma: exact zero within EPS of 1, +inf below EPS, NaN at +inf.
static_assert(is_pos_zero(cxmath::lgamma(1.0)));
static_assert(is_pos_zero(cxmath::lgamma(1.0 + 0x1p-53)));
static_assert(cxmath::lgamma(1.0 + 0x1p-52) != 0);
static_assert(cxmath::lgamma(0.0) == INF);
static_assert(cxmath::lgamma(-2.5) == INF);
static_assert(cxmath::lgamma(1e-17) == INF);
static_assert(is_nan(cxmath::lgamma(NaN)));
static_assert(cxmath::lgamma(0.5) > 0.5723649429247 && cxmath::lgamma(0.5) < 0.5723649429248);

// Gamma: poles and the negative-argument reduction.
static_assert(cxmath::tgamma(1.0) == 1.0);
static_assert(cxmath::tgamma(0.0) == INF);
static_assert(cxmath::tgamma(-1e-17) == INF);
static_assert(is_nan(cxmath::tgamma(-3.0)));
static_assert(is_nan(cxmath::tgamma(-1.0 + 0x1p-53)));  // less than 2^-52 above a pole
static_assert(!is_nan(cxmath::tgamma(-3.0 + 0x1p-51)));
static_assert(cxmath::tgamma(172.0) == INF);
static_assert(is_nan(cxmath::tgamma(-INF)));
static_assert(is_nan(cxmath::tgamma(-0x1p53)));
static_assert(cxmath::tgamma(-0.5) == cxmath::tgamma(0.5) / -0.5);
static_assert(cxmath::tgamma(-1.5) == (cxmath::tgamma(0.5) / -0.5) / -1.5);

// Incomplete gamma guards.
static_assert(cxmath::incomplete_gamma(2, -1) == 0);
static_assert(cxmath::incomplete_gamma(0, 5) == 1);
static_assert(is_nan(cxmath::incomplete_gamma(-1, 5)));
static_assert(is_nan(cxmath::incomplete_gamma(NaN, 1)));
static_assert(is_nan(cxmath::incomplete_gamma(1, NaN)));
static_assert(is_nan(cxmath::incomplete_gamma(-1, NaN)));
static_assert(cxmath::incomplete_gamma(3, 1e-17) == 0);
// Both branches evaluate at compile time.
static_assert(cxmath::incomplete_gamma(1, 1) > 0.6321205588 && cxmath::incomplete_gamma(1, 1) < 0.6321205589);
static_assert(cxmath::incomplete_gamma(10, 10) > 0.5420702855 && cxmath::incomplete_gamma(10, 10) < 0.5420702856);

// Inverse guards, in order: p < EPS before p > 1.
static_assert(cxmath::incomplete_gamma_inv(2, 0) == 0);
static_assert(cxmath::incomplete_gamma_inv(2, -0.5) == 0);
static_assert(cxmath::incomplete_gamma_inv(2, 1) == INF);
static_assert(cxmath::incomplete_gamma_inv(2, 0.9999999999999999) == INF);
static_assert(is_nan(cxmath::incomplete_gamma_inv(2, 1.5)));
static_assert(cxmath::incomplete_gamma_inv(0, 0.5) == 0);
static_assert(cxmath::incomplete_gamma_inv(-2, 0.5) == 0);
static_assert(is_nan(cxmath::incomplete_gamma_inv(NaN, 0.5)));
static_assert(is_nan(cxmath::incomplete_gamma_inv(NaN, -0.5)));
static_assert(cxmath::incomplete_gamma_inv(1, 0.5) > 0.6931471805 && cxmath::incomplete_gamma_inv(1, 0.5) < 0.6931471806);

// The family functions are constant-evaluable too.
static_assert(distmill::dgamma(0, 1, 2, false) == 0.5);
static_assert(distmill::pgamma(5, 0, INF, false) == 0);
static_assert(distmill::qgamma(0.3, 2, 1) > 0 && distmill::qinvgamma(0.3, 2, 1) > 0);
static_assert(distmill::dinvgamma(1, 2, 1, false) > 0 && distmill::pinvgamma(1, 2, 1, false) > 0);
static_assert(distmill::dchisq(1, 3, false) > 0 && distmill::pchisq(1, 3, false) > 0);
static_assert(distmill::qchisq(0.5, 0) == 0);

}  // namespace
