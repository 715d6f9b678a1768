"""Gamma, inverse-gamma and chi-squared: guards, limit values, log flags,
registration, and accuracy against mpmath on ordinary arguments."""
import math

import mpmath
import numpy as np
import pytest

import distmill as dm
from support import references as ref
from support.equality import same_value_and_sign
from support.metrics import rel_err

INF = math.inf
NAN = math.nan
EPS = 2.0**-52


LIMITS = [
    # dgamma
    (dm.dgamma, (0, 1, 2), 0.5),
    (dm.dgamma, (0, 1, 1, True), 0.0),
    (dm.dgamma, (0, 1, INF), 0.0),  # 1/scale
    (dm.dgamma, (0, 0.5, 1), INF),
    (dm.dgamma, (0, 3, 1), 0.0),
    (dm.dgamma, (0, 3, 1, True), -INF),
    (dm.dgamma, (0, 0, 1), INF),
    (dm.dgamma, (1, 0, 1), 0.0),
    (dm.dgamma, (INF, 0, 1), 0.0),
    (dm.dgamma, (1, 2, 0), NAN),  # scale below EPS
    (dm.dgamma, (1, 2, EPS / 2), NAN),
    (dm.dgamma, (-1, 2, 1, True), -INF),
    (dm.dgamma, (-1, -2, 1), NAN),  # shape check precedes support
    (dm.dgamma, (INF, 2, 1), 0.0),
    (dm.dgamma, (1, INF, 1, True), -INF),
    (dm.dgamma, (1, 2, INF), 0.0),
    (dm.dgamma, (NAN, 2, 1, True), NAN),  # NaN is not logged
    # pgamma
    (dm.pgamma, (-3, 2, 1, True), -INF),
    (dm.pgamma, (INF, 2, 1), 1.0),
    (dm.pgamma, (INF, 2, 1, True), 0.0),
    (dm.pgamma, (INF, 2, INF), NAN),
    (dm.pgamma, (INF, 0, INF), NAN),
    (dm.pgamma, (5, INF, 1), 0.0),
    (dm.pgamma, (INF, INF, 1), 1.0),
    (dm.pgamma, (5, 2, INF), 0.0),
    (dm.pgamma, (5, 0, 1), 1.0),
    (dm.pgamma, (INF, 0, 1), 1.0),
    (dm.pgamma, (5, 0, INF), 0.0),
    (dm.pgamma, (5, 0, INF, True), -INF),
    (dm.pgamma, (-1, 2, 1e-17), NAN),  # scale check precedes support
    # qgamma
    (dm.qgamma, (0, 2, 1), 0.0),
    (dm.qgamma, (1, 2, 1), INF),
    (dm.qgamma, (0.5, 0, 1), 0.0),
    (dm.qgamma, (0.5, INF, 1), NAN),
    (dm.qgamma, (0.5, 2, INF), NAN),
    (dm.qgamma, (1, INF, 1), INF),  # p = 1 answered first
    (dm.qgamma, (0.5, 2, 0), NAN),
    (dm.qgamma, (1.5, 2, 1), NAN),
    (dm.qgamma, (-0.5, 2, 1), NAN),
    # dinvgamma
    (dm.dinvgamma, (1, 0, 1), INF),
    (dm.dinvgamma, (0, 0, 1), 0.0),
    (dm.dinvgamma, (0, 0, 1, True), -INF),
    (dm.dinvgamma, (0, 2, 0), INF),
    (dm.dinvgamma, (0, 2, 1), 0.0),
    (dm.dinvgamma, (1, 2, 0), 0.0),
    (dm.dinvgamma, (1, 2, 0, True), -INF),
    (dm.dinvgamma, (1, 2, -1), NAN),
    (dm.dinvgamma, (-1, 2, 1), 0.0),
    (dm.dinvgamma, (INF, 2, 1), 0.0),
    # pinvgamma
    (dm.pinvgamma, (0, 2, 1), 0.0),
    (dm.pinvgamma, (-1, 2, 1, True), -INF),
    (dm.pinvgamma, (INF, 2, 1), 1.0),
    (dm.pinvgamma, (0, 2, 0), NAN),  # u = r = +inf
    (dm.pinvgamma, (1, 2, 0), 1.0),  # r = +inf: gamma CDF 0
    (dm.pinvgamma, (1, 0, 1), 0.0),  # shape 0: gamma CDF 1
    (dm.pinvgamma, (1, 0, 1, True), -INF),
    (dm.pinvgamma, (1, 2, -1), NAN),
    # qinvgamma
    (dm.qinvgamma, (0.5, 2, 0), 0.0),
    (dm.qinvgamma, (0.5, INF, 0), 0.0),
    (dm.qinvgamma, (0.5, 0, 0), NAN),
    (dm.qinvgamma, (0.5, 0, 1), NAN),
    (dm.qinvgamma, (0.5, 2, INF), NAN),
    (dm.qinvgamma, (0, 0, 1), 0.0),  # p = 0 answered first
    (dm.qinvgamma, (1, 2, 1), INF),
    (dm.qinvgamma, (0.5, 2, -1), NAN),
    # dchisq
    (dm.dchisq, (0, 1), INF),
    (dm.dchisq, (0, 0), INF),
    (dm.dchisq, (0, 2), 0.5),
    (dm.dchisq, (0, 3), 0.0),
    (dm.dchisq, (0, 3, True), -INF),
    (dm.dchisq, (-1, 3), 0.0),
    (dm.dchisq, (1, INF), 0.0),
    (dm.dchisq, (INF, 3, True), -INF),
    (dm.dchisq, (1, -1), NAN),
    (dm.dchisq, (1, 0), 0.0),  # ln Gamma(0) = +inf
    # pchisq
    (dm.pchisq, (3, 0), 1.0),
    (dm.pchisq, (3, 0, True), 0.0),
    (dm.pchisq, (INF, 4), 1.0),
    (dm.pchisq, (INF, INF), 1.0),  # x = +inf precedes dof = +inf
    (dm.pchisq, (3, INF), 0.0),
    (dm.pchisq, (0, 4, True), -INF),
    (dm.pchisq, (0, 0), 0.0),  # x < EPS precedes dof = 0
    (dm.pchisq, (3, -1), NAN),
    # qchisq
    (dm.qchisq, (0.5, 0), 0.0),
    (dm.qchisq, (0, 3), 0.0),
    (dm.qchisq, (1, 3), INF),
    (dm.qchisq, (0.5, -1), NAN),
    (dm.qchisq, (1.5, 3), NAN),
]


@pytest.mark.parametrize("fn, args, expected", LIMITS, ids=lambda v: getattr(v, "__name__", None))
def test_limits_and_guards(fn, args, expected):
    assert same_value_and_sign(fn(*args), expected)


@pytest.mark.parametrize(
    "x, k, theta",
    [(0.5, 0.5, 1.0), (2.0, 2.0, 1.5), (30.0, 9.5, 3.0), (7.0, 12.0, 0.5), (1e3, 800.0, 1.25)],
)
def test_gamma_density(x, k, theta):
    want = ref.log_density("gamma", x, k, theta)
    # The log-density is a sum of terms: its absolute error is a few ulps
    # of their size, and that is the density's relative error.
    size = abs((k - 1) * math.log(x)) + math.lgamma(k) + abs(k * math.log(theta)) + x / theta
    tol = 8 * EPS * size
    assert abs(dm.dgamma(x, k, theta, log=True) - want) < tol
    assert rel_err(dm.dgamma(x, k, theta), mpmath.exp(want)) < tol + 1e-15


def test_log_density_is_formed_directly():
    # e^-993 underflows; the log-density does not.
    want = ref.log_density("gamma", 1000.0, 2.0, 1.0)
    assert dm.dgamma(1000.0, 2.0, 1.0) == 0.0
    assert abs(dm.dgamma(1000.0, 2.0, 1.0, True) - want) < 1e-12
    assert abs(dm.dchisq(2000.0, 4.0, True) - (want - math.log(2))) < 1e-12


@pytest.mark.parametrize(
    "x, k, theta",
    [(0.3, 0.5, 1.0), (3.0, 2.0, 1.5), (40.0, 9.5, 3.0), (6.0, 12.0, 0.5), (1000.0, 800.0, 1.25)],
)
def test_gamma_cdf_and_quantile(x, k, theta):
    P = ref.cdf("gamma", x, k, theta)
    assert rel_err(dm.pgamma(x, k, theta), P) < 1e-12
    assert rel_err(dm.pgamma(x, k, theta, log_p=True), mpmath.log(P)) < 1e-12
    assert rel_err(dm.qgamma(float(P), k, theta), x) < 1e-12


@pytest.mark.parametrize(
    "x, a, b",
    [(0.5, 0.5, 1.0), (1.0, 3.0, 2.0), (0.2, 12.0, 3.0), (4.0, 20.0, 60.0)],
)
def test_invgamma(x, a, b):
    assert rel_err(dm.dinvgamma(x, a, b), ref.density("invgamma", x, a, b)) < 1e-12
    cdf = ref.cdf("invgamma", x, a, b)  # Q(a, b/x)
    assert abs(dm.pinvgamma(x, a, b) - cdf) < 1e-14
    assert rel_err(dm.qinvgamma(float(cdf), a, b), x) < 1e-11


@pytest.mark.parametrize("x, nu", [(0.1, 1.0), (3.84, 1.0), (2.0, 2.0), (15.0, 7.0), (25.0, 20.0), (120.0, 100.0)])
def test_chisq(x, nu):
    assert rel_err(dm.dchisq(x, nu), ref.density("chisq", x, nu)) < 1e-12
    cdf = ref.cdf("chisq", x, nu)
    assert rel_err(dm.pchisq(x, nu), cdf) < 1e-12
    assert rel_err(dm.qchisq(float(cdf), nu), x) < 1e-12


def test_chisq_is_gamma_with_scale_two():
    # Same kernel arguments, so the same bits.
    x = np.array([0.5, 3.0, 11.0, 40.0])
    nu = np.array([1.0, 5.0, 19.0, 30.0])
    assert np.array_equal(dm.pchisq(x, nu), dm.pgamma(x, nu / 2, 2.0))
    p = np.array([0.01, 0.3, 0.7, 0.99])
    assert np.array_equal(dm.qchisq(p, nu), dm.qgamma(p, nu / 2, 2.0))

