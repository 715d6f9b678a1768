"""The regularized incomplete gamma kernel and its inverse: guards, the
branch switch at shape 10, the quadrature window, and accuracy against
mpmath where the fixed-depth methods are meant to hold."""
import math

import mpmath
import pytest

from support.equality import same_value_or_both_nan
from support.references import gamma_root, gamma_tails

INF = math.inf
NAN = math.nan
EPS = 2.0**-52
BELOW_10 = math.nextafter(10.0, 0.0)


def P(a, z):
    return gamma_tails(a, z)[0]


@pytest.mark.parametrize(
    "a, z, expected",
    [
        (2, -1, 0.0),  # every negative z gives 0
        (2, -INF, 0.0),
        (0, 5, 1.0),
        (EPS / 2, 5, 1.0),  # a below EPS counts as 0
        (0, -1, 0.0),  # z < EPS is tested before a < EPS
        (-1, 5, NAN),
        (-1, -5, NAN),  # a < 0 is tested before z < EPS
        (NAN, 1, NAN),
        (1, NAN, NAN),
        (3, 1e-17, 0.0),
        (3, EPS / 2, 0.0),
        (5, INF, NAN),  # front factor exp(inf - inf)
        (0, INF, 1.0),
    ],
)
def test_guards(kernels, a, z, expected):
    assert same_value_or_both_nan(kernels.k_incomplete_gamma(a, z), expected)


@pytest.mark.parametrize(
    "a, z, tol",
    [
        # Continued fraction, up to about twice the shape.  Small shapes
        # inherit the error of Gamma(a) near 0; small z the conditioning of
        # exp(a ln z - z).
        (EPS, 1.0, 1e-14), (1e-3, 0.5, 1e-12), (0.5, 0.01, 1e-15), (0.5, 1.0, 1e-15),
        (1.0, 1e-10, 5e-15), (1.0, 2.0, 1e-15), (2.5, 0.1, 2e-15), (2.5, 5.0, 2e-15),
        (7.0, 3.0, 2e-15), (9.5, 9.5, 2e-15), (9.5, 19.0, 1e-13), (BELOW_10, 1.0, 4e-15),
        # Quadrature inside the window; the integrand's exponent carries the
        # absolute error of ln Gamma(a), a few ulps of a ln a.
        (10.0, 10.0, 4e-15), (10.0, 3.0, 1e-14), (25.0, 20.0, 2e-14), (35.0, 40.0, 2e-14),
        (60.0, 50.0, 5e-14), (150.0, 160.0, 1e-13), (1000.0, 990.0, 1e-12),
        (1e4, 9900.0, 1e-11),
    ],
)
def test_accuracy(kernels, a, z, tol):
    ref = P(a, z)
    assert abs(kernels.k_incomplete_gamma(a, z) - ref) / ref < tol


@pytest.mark.parametrize("z", [3.0, 8.0, 10.0, 15.0])
def test_branch_switch_agreement(kernels, z):
    # Just below 10 the fraction, at 10 the quadrature: the two methods
    # agree to their accuracy (not bit for bit).
    cf = kernels.k_incomplete_gamma(BELOW_10, z)
    gl = kernels.k_incomplete_gamma(10.0, z)
    assert abs(cf - gl) / gl < 1e-14


def test_shape_10_is_quadrature(kernels):
    # Far past the window the quadrature returns the integral over
    # [0, 10 + 4 sqrt 10] (the lower end clamped at 0); the fraction would not.
    window = P(10, 10 + 4 * mpmath.sqrt(10))
    assert abs(kernels.k_incomplete_gamma(10.0, 1e6) - window) < 1e-14


# Window multipliers (k_lo, k_hi) by shape, on both sides of each threshold.
WINDOW_ROWS = [
    (10.0, 4, 4), (30.0, 4, 4), (30.5, 5, 4), (40.0, 5, 4), (40.5, 6, 5),
    (50.0, 6, 5), (50.5, 7, 6), (70.0, 7, 6), (70.5, 8, 7), (90.0, 8, 7),
    (90.5, 9, 8), (300.0, 9, 8), (300.5, 10, 9), (800.0, 10, 9), (800.5, 11, 10),
]


@pytest.mark.parametrize("a, k_lo, k_hi", WINDOW_ROWS)
def test_window_cuts_upper_tail(kernels, a, k_lo, k_hi):
    # For z beyond a + k_hi sqrt(a), including +inf, the result is the
    # integral over the window, not forced to 1.
    s = mpmath.sqrt(a)
    lower, upper = max(0, a - k_lo * s), a + k_hi * s
    truncated = P(a, upper) - P(a, lower)
    values = {kernels.k_incomplete_gamma(a, z) for z in (INF, 1e300, float(2 * upper))}
    assert len(values) == 1
    v = values.pop()
    # Tolerance: the quadrature's own error plus a few ulps of ln Gamma(a).
    assert abs(v - truncated) < 1e-14 + 4 * EPS * float(mpmath.loggamma(a))
    if a <= 90:  # there the cut-off mass is visible in double precision
        assert v < 1 - 1e-12


@pytest.mark.parametrize("a, k_lo", [(20.0, 4), (35.0, 5), (45.0, 6)])
def test_window_lower_bound_below_mode(kernels, a, k_lo):
    # Below the mode the window starts k_lo standard deviations below z.
    z = a - 1.0
    lower = z - k_lo * mpmath.sqrt(a)
    assert abs(kernels.k_incomplete_gamma(a, z) - (P(a, z) - P(a, lower))) < 1e-14


# --- the inverse -----------------------------------------------------------

@pytest.mark.parametrize(
    "a, p, expected",
    [
        (2, 0.0, 0.0),
        (2, -0.5, 0.0),  # p < EPS precedes p > 1
        (2, EPS / 2, 0.0),
        (2, 1.0, INF),
        (2, 0.9999999999999999, INF),  # 1 - p = 2^-53 < EPS
        (2, 1.5, NAN),
        (0, 0.5, 0.0),
        (-2, 0.5, 0.0),  # negative shape: 0, not NaN
        (-2, 1.5, NAN),  # p > 1 precedes the shape test
        (0, 1.0, INF),  # p = 1 precedes the shape test
        (NAN, 0.5, NAN),
        (NAN, -0.5, NAN),  # NaN precedes p < EPS
        (2, NAN, NAN),
    ],
)
def test_inverse_guards(kernels, a, p, expected):
    assert same_value_or_both_nan(kernels.k_incomplete_gamma_inv(a, p), expected)


@pytest.mark.parametrize(
    "a, p",
    [
        (0.5, 0.01), (0.5, 0.5), (0.5, 0.9), (1.0, 1e-10), (1.0, 0.5), (1.5, 1e-10),
        (1.5, 0.5), (2.5, 0.01), (2.5, 0.9), (9.5, 0.5), (BELOW_10, 0.3), (10.0, 0.3),
        (10.0, 0.9), (50.0, 1e-10), (50.0, 0.5), (1000.0, 0.01), (1000.0, 0.9),
    ],
)
def test_inverse_accuracy(kernels, a, p):
    v = kernels.k_incomplete_gamma_inv(a, p)
    ref = gamma_root(a, p, start=v)
    assert abs(v - ref) / ref < 1e-13


@pytest.mark.parametrize("p", [0.001, 0.5, 0.999])
def test_inverse_unit_shape_is_exponential(kernels, p):
    # a = 1 (small-shape start): P(1, x) = 1 - e^-x.
    ref = -mpmath.log1p(-p)
    assert abs(kernels.k_incomplete_gamma_inv(1.0, p) - ref) / ref < 1e-11


def test_inverse_start_floor(kernels):
    # For a = 2 and p = 1e-15 the Wilson-Hilferty start is negative; the
    # floor at 1e-4 lets the Halley steps reach the root near 4.5e-8.
    v = kernels.k_incomplete_gamma_inv(2.0, 1e-15)
    assert abs(v - gamma_root(2, 1e-15, start=4.5e-8)) / v < 1e-13
