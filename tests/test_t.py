"""Student's t distribution: guards, closed forms for one and two degrees
of freedom, the normal limit, the two CDF branches and the two quantile
branches."""
import math

import mpmath as mp
import pytest

import distmill as dm
from support import references as ref
from support.equality import same_value_or_both_nan
from support.metrics import log_density_error, rel_err

INF = math.inf
NAN = math.nan


def ref_quantile(p, n):
    # (started from qt's own answer, when it has one)
    return ref.quantile("t", p, n, start=dm.qt(p, n))


# ---- density ------------------------------------------------------------

@pytest.mark.parametrize("x, n, log, want", [
    (INF, 3, False, 0.0), (-INF, 3, False, 0.0), (INF, 3, True, -INF),
    (1, 0, False, NAN), (1, 1e-17, False, NAN), (1, -2, False, NAN),
    (NAN, 3, False, NAN), (1, NAN, False, NAN), (NAN, 3, True, NAN),
])
def test_dt_values(x, n, log, want):
    assert same_value_or_both_nan(dm.dt(x, n, log=log), want)


@pytest.mark.parametrize("x", [0.0, 1.5, -3.0])
def test_dt_infinite_dof_is_normal(x):
    assert dm.dt(x, INF) == dm.dnorm(x, 0, 1)
    assert dm.dt(x, INF, log=True) == dm.dnorm(x, 0, 1, log=True)


@pytest.mark.parametrize("x, n", [(0, 1), (2.5, 1), (0.7, 2), (-1.3, 3), (4, 7.5), (-0.2, 0.6),
                                  (30, 4), (1, 150), (-1e5, 2.2)])
def test_dt_against_mpmath(x, n):
    assert rel_err(dm.dt(x, n), ref.density("t", x, n)) < 1e-13
    assert log_density_error(dm.dt(x, n, log=True), ref.log_density("t", x, n)) < 1e-13


# ---- CDF ----------------------------------------------------------------

@pytest.mark.parametrize("x, n, log_p, want", [
    (INF, 3, True, 0.0), (INF, 3, False, 1.0), (-INF, 3, False, 0.0), (-INF, 3, True, -INF),
    (0, 1, False, 0.5), (1e-17, 1, False, 0.5), (-1e-17, 1, False, 0.5),
    (0, 2, False, 0.5), (0, 5, False, 0.5),
    (NAN, 3, False, NAN), (1, NAN, False, NAN), (1, 0, False, NAN), (1, -1, True, NAN),
])
def test_pt_values(x, n, log_p, want):
    assert same_value_or_both_nan(dm.pt(x, n, log_p=log_p), want)


@pytest.mark.parametrize("x", [-2.0, 0.0, 0.3, 4.0])
def test_pt_infinite_dof_is_normal(x):
    assert dm.pt(x, INF) == dm.pnorm(x, 0, 1)
    assert dm.pt(x, INF, log_p=True) == dm.pnorm(x, 0, 1, log_p=True)


@pytest.mark.parametrize("x, want", [
    (1.0, 0.75), (-1.0, 0.25), (math.sqrt(3), 5 / 6), (-1 / math.sqrt(3), 1 / 3),
    (1e-10, 0.5 + 1e-10 / math.pi),
])
def test_pt_one_dof_is_cauchy(x, want):
    assert abs(dm.pt(x, 1) - want) < 2e-16


@pytest.mark.parametrize("x", [-1.0, -0.1, 0.4, 3.0, 50.0])
def test_pt_two_dof_closed_form(x):
    # (Far in the lower tail the sum x/(2s) + 1/2 cancels; not tested here.)
    want = 0.5 + x / (2 * math.sqrt(x * x + 2))
    assert rel_err(dm.pt(x, 2), want) < 4e-16


@pytest.mark.parametrize("x, n", [
    # x^2 < dof: through I_{x^2/(n+x^2)}(1/2, n/2)
    (0.5, 3), (-0.5, 3), (1.2, 7.5), (-2.9, 10), (0.01, 0.8),
    # x^2 >= dof: through I_{n/(n+x^2)}(n/2, 1/2)
    (2, 3), (-2, 3), (2, 4), (-2, 4), (-10, 3), (40, 5.5), (-3, 0.6), (-1e4, 2.5),
])
def test_pt_against_mpmath(x, n):
    assert rel_err(dm.pt(x, n), ref.cdf("t", x, n)) < 2e-14


@pytest.mark.parametrize("x, n", [(0.5, 3), (2.9, 10), (2, 4), (10, 3), (1e4, 2.5), (7, 0.6)])
def test_pt_halves_are_complements(x, n):
    # Both branches form F(x) = 1 - F(-x) with the same rounding.
    assert dm.pt(x, n) == 1 - dm.pt(-x, n)


def test_pt_log():
    assert abs(dm.pt(-2, 3, log_p=True) - mp.log(ref.cdf("t", -2, 3))) < 1e-14


# ---- quantile -----------------------------------------------------------

@pytest.mark.parametrize("p, n, want", [
    (0, 5, -INF), (1, 5, INF), (0.5, 1, 0.0), (0.5, 10, 0.0), (0.5, 2, 0.0),
    (0.3, INF, None),
    (-0.1, 5, NAN), (1.1, 5, NAN), (NAN, 5, NAN), (0.3, NAN, NAN), (0.3, 0, NAN), (0.3, 1e-17, NAN),
])
def test_qt_values(p, n, want):
    if want is None:
        assert dm.qt(p, n) == dm.qnorm(p, 0, 1)
    else:
        assert same_value_or_both_nan(dm.qt(p, n), want)


def test_qt_one_and_two_dof():
    assert abs(dm.qt(0.75, 1) - 1) < 3e-16
    assert rel_err(dm.qt(0.75, 2), 0.5 / math.sqrt(0.375)) < 3e-16
    with mp.workdps(30):
        for p in (1e-3, 0.01, 0.3, 0.49, 0.6, 0.999):
            # p - 1/2 is rounded in double, an error of up to 2^-54 that the
            # pole of tan magnifies by 1/min(p, 1 - p).
            tol = 2e-15 + 2 ** -54 / min(p, 1 - p)
            assert rel_err(dm.qt(p, 1), float(mp.tan(mp.pi * (mp.mpf(p) - 0.5)))) < tol
            assert rel_err(dm.qt(p, 2), float((2 * mp.mpf(p) - 1) / mp.sqrt(2 * p * (1 - mp.mpf(p))))) < 1e-15


@pytest.mark.parametrize("q", [0.5000001, 0.6, 0.75, 0.9, 0.975, 0.999, 1 - 1e-9])
@pytest.mark.parametrize("n", [1.5, 3, 10, 1e6])
def test_qt_antisymmetric(q, n):
    # qt(q) evaluates T(2 (1 - q)) and qt(1 - q) evaluates -T((1 - q) + (1 - q)),
    # the same two-tailed probability.
    assert dm.qt(q, n) == -dm.qt(1 - q, n)
    p = 1 - q
    if 1 - (1 - p) == p:          # e.g. p = 0.25 (q = 0.75)
        assert dm.qt(1 - p, n) == -dm.qt(p, n)


@pytest.mark.parametrize("n", [0.4, 0.45, 0.5, 0.6, 0.7])
@pytest.mark.parametrize("p", [0.05, 0.3, 0.7])
def test_qt_start_breaks_down_for_small_dof(kernels, n, p):
    # Below 1/2 degrees of freedom sqrt(1/(n - 1/2)) is NaN; up to about
    # 0.75 the factor D of the start is negative.  Either way the
    # fixed-depth method gives NaN, and qt returns the converged quantile.
    assert math.isnan(kernels.k_qt_fixed(p, n))
    assert rel_err(dm.qt(p, n), ref_quantile(p, n)) < 1e-12


def start_branch(P, n):
    """Which branch the start takes for two-tailed probability P."""
    A = 1 / (n - 0.5)
    B = 48 / (A * A)
    C = ((((20700 * A) / B - 98) * A - 16) * A) + 96.36
    D = math.sqrt(math.pi / 2) * math.sqrt(A) * n * (((94.5 / (B + C)) - 3) / B + 1)
    Y = (P * D) ** (2 / n)
    return "asymptotic" if Y > 0.05 + A else "small-tail"


@pytest.mark.parametrize("p, n", [(0.3, 3), (0.2, 4), (0.1, 7.5), (0.975, 10)])
def test_qt_asymptotic_branch_is_not_refined(kernels, p, n):
    # Moderate p and n >= 3: the fixed-depth method returns the expansion
    # about the normal quantile as it is, good to some 1e-7 but clearly not
    # to the last digits; qt replaces it by the converged quantile.
    assert start_branch(2 * min(p, 1 - p), n) == "asymptotic"
    e = rel_err(kernels.k_qt_fixed(p, n), ref_quantile(p, n))
    assert 1e-11 < e < 1e-6
    assert rel_err(dm.qt(p, n), ref_quantile(p, n)) < 1e-13


@pytest.mark.parametrize("p, n", [(1e-6, 2.5), (1e-4, 4), (0.01, 1.5), (1e-3, 3), (1e-5, 1.2),
                                  (0.05, 1.3), (0.3, 0.9), (0.01, 0.85), (0.95, 1.3)])
def test_qt_small_tail_branch_is_refined(p, n):
    # Small n and tail probabilities: the start is refined by six Newton
    # steps with a second-order correction, to near double precision (the
    # refinement works on 1 - F, which limits it to about 2^-52/p).
    assert start_branch(2 * min(p, 1 - p), n) == "small-tail"
    assert rel_err(dm.qt(p, n), ref_quantile(p, n)) < 1e-15 / min(p, 1 - p) + 1e-14


@pytest.mark.parametrize("p, n", [(0.3, 1e4), (0.01, 1e7)])
def test_qt_large_dof_is_accurate(p, n):
    assert rel_err(dm.qt(p, n), ref_quantile(p, n)) < 5e-13
