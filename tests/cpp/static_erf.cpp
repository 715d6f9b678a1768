// Compile-time checks of the error-function kernels and the normal family:
// everything here is evaluated by the compiler, so the kernels must stay
// constant expressions.  Expected values are exact special values or
// mathematical values (from mpmath) with stated tolerances.
#include "cxmath/erf.hpp"
#include "dists/lnorm.hpp"

namespace {
using namespace cxmath;
constexpr bool within(double got, double exact, double rel) { return fabs(got - exact) <= rel * fabs(exact); }
constexpr bool is_nan(double v) { return v != v; }

// erf: special values, the tiny threshold, exact oddness, both branches
static_assert(erf(INF) == 1 && erf(-INF) == -1 && erf(0.0) == 0 && is_nan(erf(NaN)));
static_assert(erf(1e-17) == 0 && erf(-1e-17) == 0);
static_assert(erf(-3.0) == -erf(3.0) && erf(-1.25) == -erf(1.25));
static_assert(within(erf(0.5), 0.52049987781304653768274665389196, 0x1p-52));
static_assert(within(erf(3.0), 0.99997790950300141455862722387042, 0x1p-52));
static_assert(!within(erf(2.1), 0.99702053334366701571430941755782, 1e-14));  // small-branch error

// erf_ext: negligible exponent and saturation
static_assert(erf_ext(ext(7.0)) == ext(1.0));
static_assert(fabs(erf_ext(0x1p-70_x) - 0x1p-69_x * INV_SQRTPI_EXT) <= 0x1p-131_x);

// erf_inv: ends, domain, centre, 55 steps to a double value
static_assert(erf_inv(0.0) == 0 && erf_inv(1.0) == INF && erf_inv(-1.0) == -INF);
static_assert(erf_inv(1 - 0x1p-53) == INF && is_nan(erf_inv(1.5)) && is_nan(erf_inv(NaN)));
static_assert(within(erf_inv(0.5), 0.47693627620446987338141835364313, 0x1p-51));
static_assert(erf_inv(-0.5) == -erf_inv(0.5));

// normal and log-normal
static_assert(distmill::dnorm(0.0, 0, 1, true) == -0.9189385332046728);
static_assert(distmill::pnorm(0.0, 0, 1, false) == 0.5 && distmill::pnorm(-40.0, 0, 1, false) == 0);
static_assert(within(distmill::pnorm(-8.3, 0, 1, true), -37.494217423748250386, 1e-12));
static_assert(within(distmill::pnorm(1.0, 0, 1, false), 0.84134474606854294858523254563, 0x1p-52));
static_assert(within(distmill::pnorm(-5.0, 0, 1, false), 2.8665157187919391167375233287464e-7, 1e-12));
static_assert(distmill::qnorm(0.5, 0, 1) == 0 && distmill::qnorm(0.975, 0, 1) == 1.95996398454007);
static_assert(distmill::detail::qnorm<false>(1e-17, 0, 1) == -INF && is_nan(distmill::qnorm(0.3, 0, INF)));
static_assert(distmill::qlnorm(0.4, 1, 0) == exp(1.0) && distmill::qlnorm(0.0, 0, 1) == 0);
static_assert(distmill::plnorm(1.0, 0, 1, false) == 0.5 && distmill::dlnorm(0.0, 0, 1, false) == 0);
}  // namespace
