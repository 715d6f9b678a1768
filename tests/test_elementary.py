"""The elementary kernels through the probe library: guard values that the
compiler cannot fold (overflow, 0 * inf), branch switches, truncation depths
made visible where the truncated fraction differs from the function, and
bounded error against mpmath on sampled arguments.

Error bounds are those the fixed-depth methods meet (see
docs/accuracy/closed_forms.md); they are tight enough that a wrong
coefficient, level or branch pushes a sample far over them."""
import math
import random

import mpmath as mp
import pytest

from support.equality import same_value_and_sign
from support.metrics import ulps

INF, NAN = math.inf, math.nan
EPS = 2.0 ** -52


def ext(kernel_part, *args):
    """Full 64-bit value of an extended kernel from its two double parts."""
    return mp.mpf(kernel_part(*args, 0)) + mp.mpf(kernel_part(*args, 1))


def logu(rng, lo, hi):
    return math.exp(rng.uniform(math.log(lo), math.log(hi)))


RNG_SEED = 20240611


def sample(n, gen):
    """n arguments from a fixed-seed generator."""
    rng = random.Random(RNG_SEED)
    return [gen(rng) for _ in range(n)]


# ---------------------------------------------------------------- guards ----

@pytest.mark.parametrize("name, args, expected", [
    # The documented edge values, at run time (tests/cpp/static_elementary.cpp
    # holds them and more as compile-time checks).
    ("k_log", (1e-300, ), -INF),
    ("k_log", (-0.0, ), -INF),
    ("k_log", (-1.0, ), NAN),
    ("k_log", (1.0, ), 0.0),
    ("k_log", (INF, ), INF),
    ("k_log", (10.0, ), float(mp.log(10))),       # correctly rounded
    ("k_exp", (1e-17, ), 1.0),
    ("k_exp", (1.0, ), float(mp.e)),
    ("k_exp", (1e19, ), INF),
    ("k_exp", (-1e19, ), 0.0),
    ("k_pow", (1e-17, 2.0), 0.0),
    ("k_pow", (1e-17, -1.0), INF),
    ("k_pow", (1.0, 5.0), 1.0),
    ("k_sqrt", (1e-20, ), 0.0),
    ("k_sqrt", (16.0, ), 4.0),
    ("k_sqrt", (INF, ), INF),
    ("k_sqrt", (-1.0, ), NAN),
    ("k_expm1", (0.0, ), 0.0),
    # Cases the compile-time checks cannot reach: overflow and 0 * inf.
    ("k_pow", (0.0, 0.0), NAN),            # exp(0 * -inf)
    ("k_pow", (1e-17, 0.0), NAN),
    ("k_pow", (0.0, -1.0), INF),
    ("k_pow", (-0.0, 2.0), 0.0),
    ("k_pow", (-8.0, 3.0), NAN),           # negative base, even for integer b
    ("k_pow", (2.0, 2000.0), INF),
    ("k_exp", (710.0, ), INF),
    ("k_exp", (-800.0, ), 0.0),
    ("k_exp", (9.3e18, ), INF),            # beyond the integer split
    ("k_exp", (-9.3e18, ), 0.0),
    ("k_ipow", (2000, 2.0), INF),
    ("k_ipow", (-2000, 2.0), 0.0),
    ("k_ipow", (2**63 - 1, 1.0), INF),     # the largest n is +inf by rule
    ("k_ipow", (-2**63, 1.0), 0.0),
    ("k_expm1", (800.0, ), INF),
    ("k_log", (1.7976931348623157e308, ), float(mp.log(1.7976931348623157e308))),
    ("k_sqrt", (1.7976931348623157e308, ), float(mp.sqrt(1.7976931348623157e308))),
    ("k_sqrt", (float.fromhex("0x1.fffffffffffffp-53"), ), 0.0),   # below EPS
])
def test_guard_values(kernels, name, args, expected):
    assert same_value_and_sign(getattr(kernels, name)(*args), expected)


@pytest.mark.parametrize("n, expected", [(20000, INF), (-20000, 0.0)])
def test_exp_integer_overflow(kernels, n, expected):
    assert kernels.k_exp_integer_part(n, 0) == expected


def test_log_at_the_tiny_threshold(kernels):
    assert kernels.k_log(2.0 ** -52) == pytest.approx(-36.04365338911715, abs=1e-13)
    assert kernels.k_log(math.nextafter(2.0 ** -52, 0)) == -INF


# ------------------------------------------------------- branch switches ----

@pytest.mark.parametrize("x", [
    # continued-fraction depths switch at 0.5, 1, 1.5, 2; the series at 2.5
    0.5, 1.0, 1.5, 2.0, 2.5,
    # term-pair counts of the series switch at 3, 4, 5, 7, 11, 25, 100, 1000
    3.0, 4.0, 5.0, 7.0, 11.0, 25.0, 100.0, 1000.0,
])
@pytest.mark.parametrize("side", [-1, 0, 1])
def test_atan_accurate_on_both_sides_of_each_switch(kernels, x, side):
    # A depth one switch too low costs 3 to 4000 ulps just below the switch.
    v = x if side == 0 else math.nextafter(x, side * INF)
    for s in (v, -v):
        assert ulps(kernels.k_atan(s), mp.atan(s)) <= 1.5


def test_atan_odd_bit_for_bit(kernels):
    rng = random.Random(3)
    for _ in range(200):
        x = logu(rng, 1e-6, 1e6)
        assert kernels.k_atan(-x) == -kernels.k_atan(x)


def hexld(digits, exp):
    """The extended value 0x1.<digits>p<exp> (16 hex digits) exactly."""
    return mp.mpf(int("1" + digits, 16)) * mp.mpf(2) ** (exp - 64)


PI_EXT = hexld("921fb54442d1846a", 1)
PI_2_EXT = hexld("921fb54442d1846a", 0)
E3_EXT = hexld("415e5bf6fb105f2e", 4)


def tan_bound(x):
    """Relative error the tangent kernel meets at a double x outside the
    Laurent band: a few extended ulps times the condition number
    |x tan'(x)/tan(x)| (the rounding of s = x*x and of the fraction), plus,
    for reduced arguments, the error of the m multiples of the extended pi
    subtracted."""
    t = mp.tan(x)
    growth = (1 + t * t) / abs(t)
    m = int(x / math.pi) if x > math.pi else 0
    return 2.0 ** -64 * (4 + 2 * abs(x) * growth) + m * (abs(PI_EXT - mp.pi) + 4 * 2.0 ** -64) * growth


@pytest.mark.parametrize("x", [
    1.0, math.nextafter(1.0, 2), 1.4, math.nextafter(1.4, 2), 1.55, 1.6,
    math.nextafter(1.6, 2), -1.5, -0.5, 0.3, 3.0, 4.0, 4.5, 10.0, 30.0,
])
def test_tan_lambert_and_reduction(kernels, x):
    got = ext(kernels.k_tan_part, x, 0.0)
    assert abs(got / mp.tan(x) - 1) <= tan_bound(x)


def test_tan_sampled(kernels):
    for x in sample(300, lambda r: r.choice([r.uniform(-1.5, 1.55), r.uniform(1.6, 1.7),
                                             r.uniform(3.2, 40)])):
        if abs(x) > 1e-3 and not 1.55 < x % math.pi < 1.6:
            got = ext(kernels.k_tan_part, x, 0.0)
            assert abs(got / mp.tan(x) - 1) <= tan_bound(x)


@pytest.mark.parametrize("x", [
    math.nextafter(1.55, 2), 1.56, 1.5707963267948966, 1.5707963267948968, 1.58,
    math.nextafter(1.6, 0), 4.7,  # 4.7 - pi lies in the band
])
def test_tan_laurent_band(kernels, x):
    # In (1.55, 1.6) the result is the Laurent series of -cot(y) at
    # y = x - pi/2 (extended pi/2, an exact subtraction): it must match
    # -cot(y) itself to a few extended ulps.
    xr = mp.mpf(x)
    if x > math.pi:
        with mp.workprec(64):  # x - trunc(q) pi, each step rounded to 64 bits
            xr = xr - int(x / math.pi) * PI_EXT
    got = ext(kernels.k_tan_part, x, 0.0)
    assert ulps(got, -mp.cot(xr - PI_2_EXT), bits=64) <= 4


def test_tan_laurent_band_sampled(kernels):
    for x in sample(300, lambda r: r.uniform(1.55, 1.6)):
        got = ext(kernels.k_tan_part, x, 0.0)
        assert ulps(got, -mp.cot(mp.mpf(x) - PI_2_EXT), bits=64) <= 4


def test_tan_pole_and_laurent_next_to_it(kernels):
    # The extended pi/2 as an exact sum of two doubles.
    hi = 1.5707963267948966
    lo = float(PI_2_EXT - hi)
    assert ext(kernels.k_tan_part, hi, lo) == mp.mpf("1.633124e16")
    # 2^-63 above it: -1/y with y = 2^-63 exactly.
    assert ext(kernels.k_tan_part, hi, lo + 2.0 ** -63) == -mp.mpf(2) ** 63


def lambert_tan(x, depth):
    x = mp.mpf(x)
    s = x * x
    t = mp.mpf(2 * depth - 1)
    for k in range(depth - 1, 0, -1):
        t = (2 * k - 1) - s / t
    return x / t


@pytest.mark.parametrize("x", [-10.0, -12.0, -20.0])
def test_tan_negative_arguments_unreduced_depth_25(kernels, x):
    # Negative arguments are neither reduced nor given a deeper fraction: the
    # 25-level fraction is visibly short of tan here.
    truncated = lambert_tan(x, 25)
    assert abs(truncated / mp.tan(x) - 1) > 1e-15
    got = ext(kernels.k_tan_part, x, 0.0)
    assert abs(got / truncated - 1) < 1e-16


def test_tan_reduction_limits(kernels):
    # A quotient x/pi beyond the 64-bit range cannot be reduced.
    assert math.isnan(kernels.k_tan_part(1e19 * math.pi, 0.0, 0))
    assert not math.isnan(kernels.k_tan_part(1e18, 0.0, 0))


def lambert_tanh_denominator(z):
    z = mp.mpf(z)
    s = z * z
    t = s / 69 + 67
    for k in range(33, 0, -1):
        t = s / t + (2 * k - 1)
    return t


@pytest.mark.parametrize("z", [0.5, 3.0, 20.0, 60.0, 500.0, 1e4, 1e8])
def test_tanh_cf_is_the_34_level_fraction(kernels, z):
    # Beyond |z| of about 15 the truncated fraction departs from z/tanh z; its
    # value there is fixed by the depth.
    got = kernels.k_tanh_cf(z)
    assert abs(got / lambert_tanh_denominator(z) - 1) < 2e-14
    assert kernels.k_tanh_cf(-z) == got


def test_exp_split_rounds_to_nearest_integer(kernels):
    # exp(2.5) = e^3 * E(-0.5): the extended product of e^3 and the double
    # exp(-0.5) rounded to 64 bits, then to double.
    with mp.workprec(64):
        prod = E3_EXT * mp.mpf(kernels.k_exp(-0.5))
    assert kernels.k_exp(2.5) == float(prod)


@pytest.mark.parametrize("k", range(2, 40))
def test_exp_split_half_integers_round_up(kernels, k):
    # A fraction of exactly one half rounds up: x = k + 1/2 is e^(k+1) E(-1/2),
    # never e^k E(1/2) (the two differ in the last bit for some k).
    with mp.workprec(64):
        prod = ext(kernels.k_exp_integer_part, k + 1) * mp.mpf(kernels.k_exp(-0.5))
    assert kernels.k_exp(k + 0.5) == float(prod)


@pytest.mark.parametrize("x", [1e-4, -1e-4, 5e-5, -3e-7, 1e-300])
def test_expm1_log1p_series_at_and_below_threshold(kernels, x):
    # exp(x) - 1 and log(1 + x) would lose about 40 bits here.
    assert ulps(kernels.k_expm1(x), mp.expm1(x)) <= 1
    assert ulps(kernels.k_log1p(x), mp.log1p(x)) <= 1


@pytest.mark.parametrize("x", [1e-4, -1e-4, 0.3, -0.3])
def test_expm1_log1p_general_formula_above_threshold(kernels, x):
    v = math.nextafter(x, math.copysign(INF, x))
    assert kernels.k_expm1(v) == kernels.k_exp(v) - 1
    assert kernels.k_log1p(v) == kernels.k_log(1 + v)


@pytest.mark.parametrize("x", [0.5, math.nextafter(0.5, 0), 1.5, math.nextafter(1.5, 2),
                               2.0 ** -52, 0.1, 10.0, 1e300, 5e-16])
def test_log_at_path_boundaries(kernels, x):
    assert ulps(kernels.k_log(x), mp.log(x)) <= 4


# ------------------------------------------------- sampled accuracy ----

@pytest.mark.parametrize("name, gen, ref, bound", [
    ("k_log", lambda r: logu(r, 2 ** -52, 1e300), mp.log, 4),
    ("k_log", lambda r: 1 + r.uniform(-0.5, 0.5), mp.log, 4),
    ("k_exp", lambda r: r.uniform(-2, 2), mp.exp, 9),
    ("k_exp", lambda r: r.uniform(2, 709), mp.exp, 2.5),
    # Negative x splits into r in [1.5, 2), where the outermost level of
    # the fraction (its value e^-r) cancels about three bits.
    ("k_exp", lambda r: r.uniform(-708, -2), mp.exp, 12),
    ("k_atan", lambda r: r.choice([-1, 1]) * logu(r, 1e-8, 1e300), mp.atan, 1.5),
    # The series is summed in double but pi/2 - 1/x + acc in extended: the
    # result is within a hair of correct rounding.
    ("k_atan", lambda r: logu(r, 2.5, 1e300), mp.atan, 0.51),
    ("k_sqrt", lambda r: logu(r, 1, 1e300), mp.sqrt, 1.5),
    ("k_expm1", lambda r: r.uniform(-1e-4, 1e-4), mp.expm1, 1),
    ("k_expm1", lambda r: r.uniform(-20, 20), mp.expm1, 9),
    ("k_log1p", lambda r: r.uniform(-1e-4, 1e-4), mp.log1p, 1),
    # log(1 + x): the rounding of 1 + x is magnified by (1 + x)/ln(1 + x).
    ("k_log1p", lambda r: logu(r, 0.1, 1e10), mp.log1p, 8),
])
def test_relative_error_bounds(kernels, name, gen, ref, bound):
    f = getattr(kernels, name)
    worst = max(ulps(f(x), ref(x)) for x in sample(300, gen))
    assert worst <= bound


def test_sqrt_small_arguments_absolute_error(kernels):
    # Below 1 the argument is not scaled and Newton stops on an absolute
    # test, so the guarantee is absolute: about EPS, not a relative ulp.
    for x in sample(300, lambda r: logu(r, 2 ** -52, 1)):
        assert abs(kernels.k_sqrt(x) - mp.sqrt(x)) <= EPS


def test_tanh_cf_moderate_arguments(kernels):
    for z in sample(300, lambda r: r.uniform(-5, 5)):
        assert ulps(z / kernels.k_tanh_cf(z), mp.tanh(z)) <= 3


def test_pow_error_grows_with_the_exponent_product(kernels):
    # pow = exp(b ln a) in double: the error of b ln a (a few ulps of it)
    # passes into the result multiplied by |b ln a|.
    for a, b in sample(300, lambda r: (logu(r, 1e-6, 1e6), r.uniform(-40, 40))):
        t = abs(b * math.log(a))
        if t > 700:
            continue
        rel = abs(kernels.k_pow(a, b) / mp.power(a, b) - 1)
        assert rel <= (16 + 6 * t) * 2.0 ** -53


def test_ipow_error_grows_with_n(kernels):
    # Each squaring doubles the relative error already present.
    for n, x in sample(300, lambda r: (r.randint(-3000, 3000), 1 + r.uniform(-0.2, 0.2))):
        if abs(n * math.log(x)) > 700:
            continue
        rel = abs(kernels.k_ipow(n, x) / mp.power(x, n) - 1)
        assert rel <= (2 + abs(n)) * 2.0 ** -53


@pytest.mark.parametrize("n", [4, 5, 7, 10, 33, 100, -1, -4, -50, 700, -700])
def test_exp_integer_extended(kernels, n):
    got = ext(kernels.k_exp_integer_part, n)
    assert abs(got / mp.exp(n) - 1) <= (8 + abs(n) / 4) * 2.0 ** -64


def test_exp_ext_extended(kernels):
    for x in sample(200, lambda r: r.uniform(-700, 700)):
        got = ext(kernels.k_exp_ext_part, x, 0.0)
        assert abs(got / mp.exp(x) - 1) <= (8 + abs(x) / 4) * 2.0 ** -64
    # Below 2 in magnitude the fraction alone, in extended.
    for x in sample(200, lambda r: r.uniform(-2, 2)):
        got = ext(kernels.k_exp_ext_part, x, 0.0)
        assert ulps(got, mp.exp(x), bits=64) <= 12


def test_compile_time_and_run_time_agree(kernels):
    # The same kernels folded by the compiler and run on the machine (x87
    # extended and SSE double) give identical bits.
    assert kernels.k_compile_time_disagreements() == 0


def test_remembered_shape_terms_equal_fresh_ones(kernels):
    # The converged forms remember terms of the shapes alone between calls;
    # with shapes repeating, alternating among more sets than are kept and
    # differing in one argument only, every call gives the fresh bits.
    assert kernels.k_remembered_mismatches(4000, 3) == 0
