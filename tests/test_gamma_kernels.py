"""lgamma, tgamma and lbeta against mpmath, and their guard values."""
import math

import mpmath
import pytest

from support.equality import same_value_and_sign
from support.metrics import rel_err

INF, NAN = math.inf, math.nan
EPS = 2.0**-52


@pytest.mark.parametrize("kernel, x, expected", [
    ("k_lgamma", 1.0, 0.0),
    ("k_lgamma", 1.0 + 2.0**-53, 0.0),      # within EPS of 1: exactly 0
    ("k_lgamma", 1.0 - 2.0**-53, 0.0),
    ("k_lgamma", 0.0, INF), ("k_lgamma", -0.0, INF),
    ("k_lgamma", -2.5, INF),                # no reflection formula
    ("k_lgamma", 1e-17, INF), ("k_lgamma", EPS / 2, INF), ("k_lgamma", -INF, INF),
    ("k_lgamma", NAN, NAN), ("k_lgamma", INF, NAN),    # +inf: inf - inf
    ("k_tgamma", 1.0, 1.0), ("k_tgamma", 1.0 + 2.0**-53, 1.0),
    ("k_tgamma", 0.0, INF), ("k_tgamma", -0.0, INF), ("k_tgamma", 1e-17, INF), ("k_tgamma", -1e-17, INF),
    ("k_tgamma", 172.0, INF),               # overflow through exp
    # poles, and arguments beyond any reduction (integers, poles, or never
    # reaching a positive argument)
    ("k_tgamma", NAN, NAN), ("k_tgamma", -1.0, NAN), ("k_tgamma", -3.0, NAN), ("k_tgamma", -170.0, NAN),
    ("k_tgamma", -2.0**52, NAN),
    ("k_tgamma", -1.0 + 2.0**-53, NAN),     # less than 2^-52 above the pole at -1
    ("k_tgamma", -2.0**60, NAN), ("k_tgamma", -1e300, NAN), ("k_tgamma", -INF, NAN),
])
def test_guards(kernels, kernel, x, expected):
    assert same_value_and_sign(getattr(kernels, kernel)(x), expected)


def test_lgamma_eps_is_finite(kernels):
    # The tiny test is strict: x = 2^-52 itself goes through the formula.
    assert rel_err(kernels.k_lgamma(EPS), mpmath.loggamma(EPS)) < 1e-6


@pytest.mark.parametrize(
    "x, tol",
    [
        # The result is a difference of terms of size ~x ln x: its error is
        # a few ulps of max(1, |ln Gamma|), so it is measured on that scale.
        (0.5, 4e-15), (0.9, 4e-15), (1.5, 4e-15), (2.0, 4e-15), (3.0, 4e-15),
        (7.25, 4e-15), (10.0, 4e-15), (33.3, 1e-15), (171.5, 1e-15), (1e3, 1e-15),
        (1e6, 1e-15), (1e15, 1e-15), (1e300, 1e-15),
        # Near zero the Lanczos sum loses relative accuracy (about 4e-9 at 1e-10).
        (1e-3, 1e-12), (1e-10, 5e-9),
    ],
)
def test_lgamma_accuracy(kernels, x, tol):
    ref = mpmath.loggamma(x)
    assert abs(kernels.k_lgamma(x) - ref) / max(1, abs(ref)) < tol


@pytest.mark.parametrize(
    "x, tol",
    [
        (0.5, 1e-15), (2.5, 2e-15), (5.0, 1e-14), (20.5, 1e-13), (170.5, 4e-13),
        (-0.5, 1e-15), (-1.5, 1e-15), (-2.25, 1e-15), (-10.3, 1e-14),
        (-1.0000000000000002, 1e-15), (-3.9999999999999996, 1e-11),
    ],
)
def test_tgamma_accuracy(kernels, x, tol):
    # Relative error of exp(ln Gamma) grows with |ln Gamma| (one ulp of the
    # logarithm); negative arguments add one rounding per level.
    assert rel_err(kernels.k_tgamma(x), mpmath.gamma(x)) < tol


def test_tgamma_reduction_order(kernels):
    # Gamma(x) = Gamma(x + 1)/x with the innermost quotient first.
    g = kernels.k_tgamma(0.75)
    assert kernels.k_tgamma(-0.25) == g / -0.25
    assert kernels.k_tgamma(-2.25) == ((g / -0.25) / -1.25) / -2.25


def test_tgamma_deep_negative_underflow(kernels):
    # Deep reductions underflow with the alternating sign of Gamma.
    for x, sign in ((-300.5, -1), (-301.5, 1)):
        v = kernels.k_tgamma(x)
        assert v == 0 and math.copysign(1, v) == sign


@pytest.mark.parametrize(
    "a, b, tol",
    [(0.5, 0.5, 1e-15), (2.0, 3.0, 1e-14), (7.5, 0.25, 1e-14), (100.0, 200.0, 1e-15), (1e4, 3.0, 1e-12)],
)
def test_lbeta_accuracy(kernels, a, b, tol):
    assert rel_err(kernels.k_lbeta(a, b), mpmath.log(mpmath.beta(a, b))) < tol


def test_lbeta_grouping(kernels):
    a, b = 0.3, 1e5
    lg = kernels.k_lgamma
    assert kernels.k_lbeta(a, b) == (lg(a) + lg(b)) - lg(a + b)


def test_compile_time_values_match_run_time(kernels):
    # The kernels are constexpr so exact values can be pinned by
    # static_assert; that is only worth it if both evaluations agree.
    assert kernels.k_gamma_constexpr_mismatches() == 0
