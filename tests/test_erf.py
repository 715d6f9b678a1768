"""Error-function kernels: erf, erf_ext, erf_inv (reached through probes)."""
import math

import mpmath as mp
import numpy as np
import pytest

from support import references as ref
from support.equality import same_value_and_sign
from support.metrics import rel_err

ULP = 2.0 ** -53
ULP_EXT = 2.0 ** -64
SWITCH = 2.1
ABOVE_SWITCH = math.nextafter(2.1, 3.0)  # 2.1000000000000005


def erf_ext(kernels, z):
    # hi + lo is exactly the extended result
    return mp.mpf(kernels.k_erf_ext_hi(z)) + mp.mpf(kernels.k_erf_ext_lo(z))


# ---------------------------------------------------------------- erf


@pytest.mark.parametrize("x, expected", [
    (math.nan, math.nan),
    (math.inf, 1.0),
    (-math.inf, -1.0),
    (0.0, 0.0),
    (1e-17, 0.0),          # below 2^-52 counts as zero
    (-1e-17, 0.0),
    (2.0 ** -53, 0.0),
    (1e300, 1.0),
    (-1e300, -1.0),
    (30.0, 1.0),
])
def test_erf_special_values(kernels, x, expected):
    assert same_value_and_sign(kernels.k_erf(x), expected)


def test_erf_smallest_nonzero_argument(kernels):
    # 2^-52 is not below the threshold: erf(x) = 2x/sqrt(pi) there
    x = 2.0 ** -52
    assert rel_err(kernels.k_erf(x), mp.erf(x)) <= 2 * ULP


@pytest.mark.parametrize("x", [2.0 ** -52, 1e-10, 0.3, 1.0, 1.7, 2.0, 2.1, ABOVE_SWITCH, 3.0, 5.5, 6.0, 27.0])
def test_erf_exactly_odd(kernels, x):
    assert same_value_and_sign(kernels.k_erf(-x), -kernels.k_erf(x))


# Per region: (lo, hi, bound on the relative error).  The small branch
# cancels badly just below the switch (its terms (2k-1) - 2z^2 are negative
# and large against the result), about 3e-13 at 2.1 and 2e-14 at 2;
# the large branch is correctly rounded or nearly so.
ERF_REGIONS = [
    (1e-3, 1.0, 16 * ULP),
    (1.0, 1.4, 100 * ULP),
    (1.4, 1.8, 1500 * ULP),
    (1.8, SWITCH, 1.5e-12),
    (ABOVE_SWITCH, 3.0, 2 * ULP),
    (3.0, 6.0, 2 * ULP),
]


@pytest.mark.parametrize("lo, hi, bound", ERF_REGIONS)
def test_erf_accuracy(kernels, lo, hi, bound):
    for x in np.linspace(lo, hi, 120):
        x = float(x)
        assert rel_err(kernels.k_erf(x), mp.erf(x)) <= bound, x


@pytest.mark.parametrize("lo, hi, bound", ERF_REGIONS)
def test_erf_ext_accuracy(kernels, lo, hi, bound):
    # the same shapes in extended precision: the same relative behaviour in
    # units of the 64-bit significand
    bound = bound / ULP * ULP_EXT
    for z in np.linspace(lo, hi, 120):
        z = float(z)
        assert rel_err(erf_ext(kernels, z), mp.erf(z)) <= bound, z


def erf_model(kernels, x):
    """The two continued fractions in double, innermost level first."""
    z = abs(x)
    E1 = kernels.k_exp((-z) * z) / 1.772453850905516
    o = z * z
    r = o + o
    if z > SWITCH:
        t = z + z
        d = 118 / t + t
        for k in range(58, 0, -1):
            d = (2 * k) / d + t
        v = 1 - (E1 + E1) / d
    else:
        d = (o * 236) / (119 - r) + (117 - r)
        for k in range(58, 0, -1):
            d = (o * (4 * k)) / d + ((2 * k - 1) - r)
        v = ((z + z) * E1) / d
    return v if x > 0 else -v


def test_erf_bits(kernels):
    # the results are reproducible to the bit from the recipe (depths,
    # grouping and order of every operation)
    xs = np.concatenate([np.random.default_rng(9).uniform(-6.5, 6.5, 300), [SWITCH, -SWITCH, ABOVE_SWITCH]])
    assert [kernels.k_erf(x) for x in xs.tolist()] == [erf_model(kernels, x) for x in xs.tolist()]


@pytest.mark.parametrize("fn", ["double", "extended"])
def test_erf_branch_switch_at_2_1(kernels, fn):
    # 2.1 itself still takes the small branch, with its known error of
    # about 3e-13 (some 2000 ulps in either precision); the next double is
    # in the large branch, good to an ulp.
    if fn == "double":
        at, above, unit = kernels.k_erf(SWITCH), kernels.k_erf(ABOVE_SWITCH), ULP
    else:
        at, above, unit = erf_ext(kernels, SWITCH), erf_ext(kernels, ABOVE_SWITCH), ULP_EXT
    assert 300 * unit < rel_err(at, mp.erf(SWITCH)) < 1e4 * unit
    assert rel_err(above, mp.erf(ABOVE_SWITCH)) <= 1.5 * unit


@pytest.mark.parametrize("z", [1e-25, 2.0 ** -64, 1e-19])
def test_erf_ext_negligible_exponent(kernels, z):
    # e = -z^2 below 2^-63: the factor is the extended 1/sqrt(pi) itself,
    # and erf z = 2z/sqrt(pi) to within the few roundings of the fraction
    # (a double constant would be off by some 1e-17)
    assert rel_err(erf_ext(kernels, z), mp.erf(z)) <= 3 * ULP_EXT


def test_erf_ext_large_argument(kernels):
    # erfc(7) = 4e-23 is below half an extended ulp of 1
    assert erf_ext(kernels, 7.0) == 1
    assert erf_ext(kernels, 1e300) == 1


@pytest.mark.parametrize("z", [3.0, 4.0, 5.0, 6.0])
def test_erf_ext_tail_complement(kernels, z):
    # 1 - erf_ext(z) (the lower tail of the normal CDF) carries an absolute
    # error of about one extended ulp of 1, no more
    c = mp.mpf(kernels.k_erfc_ext_hi(z)) + mp.mpf(kernels.k_erfc_ext_lo(z))
    assert abs(c - mp.erfc(z)) <= 2 * ULP_EXT


@pytest.mark.parametrize("u", [0.3, 1.0, 2.5, 27.0, 106.5, 1e3, 1e5, 1e150, 1.3e154])
def test_log_erfc_is_finite_and_accurate_over_the_double_range(kernels, u):
    # erfc underflows the extended range from u ~ 106; its logarithm does
    # not (erfc(u) = 2 Phi(-u sqrt 2), from the normal tails' reference)
    got = mp.mpf(kernels.k_log_erfc_hi(u)) + mp.mpf(kernels.k_log_erfc_lo(u))
    want = mp.log(2 * ref.tails("norm", -mp.sqrt(2) * u, 0, 1)[0])
    assert rel_err(got, want) <= 8 * ULP_EXT


# ---------------------------------------------------------------- erf_inv


@pytest.mark.parametrize("y, expected", [
    (math.nan, math.nan),
    (0.0, 0.0),
    (1.0, math.inf),
    (-1.0, -math.inf),
    (1 - 2.0 ** -53, math.inf),          # within 2^-52 of 1
    (-(1 - 2.0 ** -53), -math.inf),
    (1.5, math.nan),
    (-1.5, math.nan),
    (math.nextafter(1.0, 2.0), math.nan),
    (math.inf, math.nan),
])
def test_erf_inv_special_values(kernels, y, expected):
    assert same_value_and_sign(kernels.k_erf_inv(y), expected)


def test_erf_inv_just_inside_the_ends(kernels):
    # 1 - 2^-52 is exactly at the threshold, not below it: finite
    y = 1 - 2.0 ** -52
    v = kernels.k_erf_inv(y)
    assert math.isfinite(v) and abs(v - float(mp.erfinv(y))) < 0.05
    assert same_value_and_sign(kernels.k_erf_inv(-y), -v)


# The inverse inherits the error of the double erf, amplified by
# erf(x)/(x erf'(x)): a few ulps for small y, growing where the small branch
# of erf is weak (x in [1.4, 2.1], y in [0.95, 0.997]).
ERF_INV_REGIONS = [
    (1e-15, 1e-5, 4 * ULP, "log"),
    (1e-5, 0.9, 64 * ULP, "lin"),
    (0.9, 0.99, 2e-12, "lin"),
    # near 1 the double erf is a staircase of step 2^-53 whose slope is
    # small, so the inverse resolves only about that much of 1 - y
    (1e-6, 1e-2, 1e-10, "one-minus"),
]


@pytest.mark.parametrize("lo, hi, bound, kind", ERF_INV_REGIONS)
def test_erf_inv_accuracy(kernels, lo, hi, bound, kind):
    if kind == "log":
        ys = np.logspace(math.log10(lo), math.log10(hi), 40)
    elif kind == "lin":
        ys = np.linspace(lo, hi, 40)
    else:
        ys = 1 - np.logspace(math.log10(lo), math.log10(hi), 40)
    for y in ys:
        y = float(y)
        assert rel_err(kernels.k_erf_inv(y), mp.erfinv(y)) <= bound, y


@pytest.mark.parametrize("y", [1e-15, 0.2, 0.75, 0.999, 0.9966253323094465, 1 - 1e-12])
def test_erf_inv_exactly_odd(kernels, y):
    assert same_value_and_sign(kernels.k_erf_inv(-y), -kernels.k_erf_inv(y))


CENTRAL = [2.81022636e-8, 3.43273939e-7, -3.5233877e-6, -4.39150654e-6, 0.00021858087,
           -0.00125372503, -0.00417768164, 0.246640727, 1.50140941]
TAIL = [-0.000200214257, 0.000100950558, 0.00134934322, -0.00367342844, 0.00573950773,
        -0.0076224613, 0.00943887047, 1.00167406, 2.83297682]


def horner(c, u):
    p = c[0]
    for ci in c[1:]:
        p = p * u + ci
    return p


# ln((1 - y)(1 + y)) crosses -5 between these two doubles (no double gives
# exactly -5): the first is the last central one, the second the first tail.
LAST_CENTRAL = 0.9966253323094464
FIRST_TAIL = 0.9966253323094465


@pytest.mark.parametrize("y, branch", [
    (LAST_CENTRAL, "central"), (FIRST_TAIL, "tail"),
    (-LAST_CENTRAL, "central"), (-FIRST_TAIL, "tail"),
    (0.5, "central"), (0.999, "tail"),
])
def test_erf_inv_guess_switches_at_w_5(kernels, y, branch):
    lw = kernels.k_log((1 - y) * (1 + y))
    assert (lw > -5) == (branch == "central")
    w = -lw
    P = horner(CENTRAL, w - 2.5) if branch == "central" else horner(TAIL, kernels.k_sqrt(w) - 3)
    assert kernels.k_erf_inv_guess(y) == P * y


@pytest.mark.parametrize("ys", [np.linspace(-0.9966, 0.9966, 101), 1 - np.logspace(-13.5, -2.5, 40)])
def test_erf_inv_guess_accuracy(kernels, ys):
    # catches a mistyped coefficient: the fit is good to ~1e-7
    # (the tail polynomial degrades beyond w ~ 14, i.e. 1 - y < 1e-6)
    for y in ys:
        y = float(y)
        if y == 0:
            continue
        bound = 2e-7 if 1 - abs(y) >= 1e-6 else 0.05
        assert rel_err(kernels.k_erf_inv_guess(y), mp.erfinv(y)) <= bound, y


def refine_model(kernels, y, steps=55, lag=True):
    """The refinement as designed: damped Halley steps whose density factor
    lags one step behind the iterate, performed exactly `steps` times."""
    x = kernels.k_erf_inv_guess(y)
    D = kernels.k_exp((-x) * x)
    for i in range(1, steps + 1):
        if not lag:
            D = kernels.k_exp((-x) * x)
        g2 = ((-2 * x) * D) / D
        h = (kernels.k_erf(x) - y) / D
        q = 1 - g2 * (0.5 * h)
        s = h / 1.2 if q > 1.2 else h / 0.8 if q < 0.8 else h / q
        if i == steps:
            return x - s
        if lag:
            D = kernels.k_exp((-x) * x)
        x = x - s


def test_erf_inv_refinement_bits(kernels):
    # The iteration does not settle on one double: it keeps moving by an
    # ulp or so, so the step count and the lag of D show in the last bits.
    ys = [float(y) for y in np.random.default_rng(7).uniform(-1, 1, 60)] + [1 - 1e-9, -(1 - 1e-14)]
    got = [kernels.k_erf_inv(y) for y in ys]
    assert got == [refine_model(kernels, y) for y in ys]
    # the model itself discriminates: a variant differs somewhere
    assert got != [refine_model(kernels, y, steps=54) for y in ys]
    assert got != [refine_model(kernels, y, lag=False) for y in ys]


def test_compile_time_evaluation_agrees(kernels):
    # constant-folded kernels (extended arithmetic included) give the same
    # bits as the run-time x87/SSE code
    assert kernels.k_constexpr_agrees()
