"""Uniform, exponential, Cauchy, Laplace, logistic and Weibull: the special
values and guard order of each d/p/q function, and error bounds against
mpmath on sampled ordinary arguments.

The error bounds are written as the error analysis of each formula gives
them: a few ulps of rounding plus the known magnification of the formula
(cancellation in 1 - e^-t, a log-density of size |L| passed through exp,
1 - p rounded before a logarithm, ...).  A wrong sign, factor or branch
gives errors far beyond them."""
import math
import random

import mpmath as mp
import numpy as np
import pytest

import distmill as dm
from support import references as ref
from support.equality import same_value_or_both_nan, same_value_quiet_nan
from support.families import arguments, ordinary_args
from support.metrics import AGREE_REL, log_density_error, promise_error, rel_err

INF, NAN = math.inf, math.nan
U = 2.0 ** -53          # half an ulp of 1: the unit of the bounds below
EPS = 2.0 ** -52


# ------------------------------------------------------- special values ----

LOG_HALF = dm.plogis(0.0, 0.0, 1.0, log_p=True)  # the kernel log of 1/2

SPECIAL = [
    # uniform
    ("dunif", (0.5, 0, 1), 1.0), ("dunif", (0, 0, 1), 1.0), ("dunif", (1, 0, 1), 1.0),
    ("dunif", (0.5, 0, 4), 0.25), ("dunif", (1.5, 0, 1), 0.0),
    ("dunif", (0, -INF, 1), 0.0), ("dunif", (0, 0, INF), 0.0),
    ("dunif", (5, 1, 1), NAN), ("dunif", (5, 2, 1), NAN),
    ("dunif", (0, -INF, INF), 0.0),
    ("punif", (0.25, 0, 1), 0.25), ("punif", (-1, 0, 1), 0.0), ("punif", (2, 0, 1), 1.0),
    ("punif", (0, -INF, 1), NAN), ("punif", (0, -INF, INF), NAN),
    ("punif", (-INF, -INF, 1), 0.0),  # x <= a decides before inf/inf
    ("punif", (INF, 0, INF), 1.0),
    ("qunif", (0.5, 0, INF), NAN), ("qunif", (0, 0, INF), NAN),
    ("qunif", (0, -2, 3), -2.0), ("qunif", (1, -2, 3), 3.0), ("qunif", (0.25, 0, 8), 2.0),
    ("qunif", (1.5, 0, 1), NAN), ("qunif", (-0.5, 0, 1), NAN), ("qunif", (0.5, 1, 1), NAN),
    # exponential
    ("dexp", (INF, 2), 0.0), ("dexp", (INF, 0), NAN), ("dexp", (-1, 2), 0.0),
    ("dexp", (0, 2), 2.0), ("dexp", (3, 0), 0.0), ("dexp", (1, INF), NAN),
    ("dexp", (-1, INF), NAN),                   # rate = inf is checked before x < 0
    ("dexp", (-1, -1), NAN),
    ("pexp", (0, 1), 0.0), ("pexp", (-1, 1), 0.0), ("pexp", (INF, 2), 1.0),
    ("pexp", (1, INF), 1.0), ("pexp", (0, INF), 0.0),  # x <= 0 before rate = inf
    ("pexp", (5, 0), 0.0), ("pexp", (1, -1), NAN),
    ("pexp", (INF, 0), NAN),                    # inf * 0: the invalid operation's NaN is made quiet
    ("qexp", (1, 2), INF), ("qexp", (0, 2), 0.0), ("qexp", (0, -1), NAN),
    ("qexp", (0.5, 0), INF), ("qexp", (0.5, INF), 0.0), ("qexp", (1.0000001, 1), NAN),
    # Cauchy
    ("dcauchy", (0, 0, 0), NAN), ("dcauchy", (1, 0, 0), NAN),
    ("dcauchy", (INF, 0, 1), 0.0), ("dcauchy", (0, -INF, 1), 0.0),
    ("dcauchy", (INF, INF, 1), NAN), ("dcauchy", (INF, -INF, 1), 0.0),
    ("dcauchy", (0, 0, INF), 0.0), ("dcauchy", (INF, 0, INF), NAN),
    ("dcauchy", (INF, INF, INF), NAN), ("dcauchy", (0, 0, -1), NAN),
    ("pcauchy", (3, 3, 0), NAN), ("pcauchy", (4, 3, 0), 1.0), ("pcauchy", (2, 3, 0), 0.0),
    ("pcauchy", (1e-300, 0, 1), 0.5), ("pcauchy", (0, 0, 1), 0.5),
    ("pcauchy", (INF, 0, 1), 1.0), ("pcauchy", (-INF, 0, 1), 0.0),
    ("pcauchy", (0, INF, 1), 0.0), ("pcauchy", (0, -INF, 1), 1.0),
    ("pcauchy", (INF, INF, 1), NAN), ("pcauchy", (-INF, -INF, 0), NAN),
    ("pcauchy", (INF, -INF, 1), 1.0),
    ("pcauchy", (0, 0, INF), 0.5), ("pcauchy", (INF, 0, INF), NAN),
    ("qcauchy", (0.5, 2, 3), 2.0), ("qcauchy", (0.5, -1e300, 1e300), -1e300),
    ("qcauchy", (0, 0, 1), -INF), ("qcauchy", (0, INF, 1), NAN), ("qcauchy", (0, -INF, 1), -INF),
    ("qcauchy", (1, 0, 1), INF), ("qcauchy", (1, -INF, 1), NAN), ("qcauchy", (1, INF, 1), INF),
    ("qcauchy", (0.3, 5, 0), 5.0), ("qcauchy", (0, 5, 0), 5.0),  # sigma 0 before p = 0
    ("qcauchy", (0.3, 0, INF), NAN), ("qcauchy", (0.3, INF, 1), INF),
    # Laplace
    ("dlaplace", (2, 2, 0), INF), ("dlaplace", (1, 2, 0), 0.0), ("dlaplace", (0, 0, 1), 0.5),
    ("dlaplace", (INF, 0, 1), 0.0), ("dlaplace", (INF, INF, 1), NAN),
    ("dlaplace", (INF, INF, INF), 0.0),   # sigma = inf decides before the same-side rule
    ("dlaplace", (INF, INF, 0), NAN), ("dlaplace", (INF, 0, 0), 0.0),
    ("plaplace", (2, 2, 0), 0.5), ("plaplace", (3, 2, 0), 1.0), ("plaplace", (1, 2, 0), 0.0),
    ("plaplace", (5, 5, 3), 0.5), ("plaplace", (INF, 0, 1), 1.0), ("plaplace", (-INF, 0, 1), 0.0),
    ("plaplace", (0, -INF, 1), 1.0), ("plaplace", (0, INF, 1), 0.0),
    ("plaplace", (INF, INF, 1), NAN), ("plaplace", (0, 0, INF), 0.5),
    ("plaplace", (INF, 0, INF), NAN), ("plaplace", (INF, 0, 0), 1.0), ("plaplace", (-INF, 0, 0), 0.0),
    ("plaplace", (1000, 0, 1), 1.0),
    ("qlaplace", (0.5, 3, 1), 3.0), ("qlaplace", (0, 0, 1), -INF), ("qlaplace", (0, INF, 1), NAN),
    ("qlaplace", (1, 0, 1), INF), ("qlaplace", (1, -INF, 1), NAN), ("qlaplace", (0.2, 4, 0), 4.0),
    ("qlaplace", (0.2, 0, INF), NAN), ("qlaplace", (0.5, INF, 1), INF),
    # logistic
    ("dlogis", (1, 0, 0), NAN), ("dlogis", (0, 0, 0), NAN), ("dlogis", (0, 0, INF), 0.0),
    ("dlogis", (INF, 0, 1), 0.0), ("dlogis", (INF, INF, 1), NAN), ("dlogis", (INF, INF, INF), 0.0),
    ("plogis", (0, 0, 1), 0.5), ("plogis", (3, 3, 7), 0.5),
    ("plogis", (1, 0, 0), 1.0), ("plogis", (0, 0, 0), 0.5), ("plogis", (-1, 0, 0), 0.0),
    ("plogis", (1e-17, 0, 1), 0.5), ("plogis", (-1e-17, 0, 1), 0.5),  # |z| below EPS
    ("plogis", (INF, 0, 1), 1.0), ("plogis", (-INF, 0, 1), 0.0), ("plogis", (0, -INF, 1), 1.0),
    ("plogis", (0, INF, 1), 0.0), ("plogis", (INF, INF, 1), NAN), ("plogis", (0, 0, INF), 0.5),
    ("plogis", (INF, 0, INF), NAN), ("plogis", (INF, 0, 0), 1.0),
    ("qlogis", (0.5, 0, 1), 0.0), ("qlogis", (0, 0, 1), -INF), ("qlogis", (0, INF, 1), NAN),
    ("qlogis", (1, 0, 1), INF), ("qlogis", (1, -INF, 1), NAN), ("qlogis", (0.9, 7, 0), 7.0),
    ("qlogis", (0.9, 0, INF), NAN),
    # Weibull
    ("dweibull", (0, 0.5, 1), INF), ("dweibull", (0, 2, 1), 0.0), ("dweibull", (-1, 2, 1), 0.0),
    ("dweibull", (INF, 2, 1), 0.0), ("dweibull", (1, 1e-17, 1), NAN), ("dweibull", (1, 1, 1e-17), NAN),
    ("dweibull", (-1, 1e-17, 1), NAN),    # parameters before the support
    ("dweibull", (-1, 2, -1), NAN),
    ("pweibull", (-1, 2, 1), 0.0),
    ("pweibull", (1, INF, 1), 0.6321205588285577), ("pweibull", (2, INF, 1), 1.0),
    ("pweibull", (0.5, INF, 1), 0.0), ("pweibull", (INF, 2, INF), NAN), ("pweibull", (INF, 2, 1), 1.0),
    ("pweibull", (5, 2, INF), 0.0), ("pweibull", (1, INF, INF), 0.0), ("pweibull", (1, 2, 1e-17), NAN),
    ("pweibull", (1e-17, 2, 1e-17), NAN),
    ("qweibull", (0, 2, 1), 0.0), ("qweibull", (1, 2, 1), INF), ("qweibull", (0.3, INF, 5), 5.0),
    ("qweibull", (0.3, 1e-17, 1), NAN), ("qweibull", (0.3, 2, 1e-17), NAN), ("qweibull", (0, 1e-17, 1), NAN),
    ("qweibull", (1, INF, 5), INF),       # p = 1 before shape = inf
    ("qweibull", (0.5, 2, INF), INF),
    ("qweibull", (1e-300, 2, INF), NAN),  # -L below EPS: its power is 0, and 0 * inf NaN (made quiet)
]


@pytest.mark.parametrize("name, args, expected", SPECIAL, ids=[f"{n}{a}" for n, a, _ in SPECIAL])
def test_special_values(name, args, expected):
    assert same_value_quiet_nan(getattr(dm, name)(*map(float, args)), expected)


FLAGGED = [
    # The special branches pass 0, 1, 0.5, inf and NaN through the log; the
    # few results written as -inf with the flag are direct.
    ("dunif", (0, -INF, 1), -INF), ("dunif", (2, 0, 1), -INF), ("dunif", (0.5, 0, 1), 0.0),
    ("punif", (-1, 0, 1), -INF), ("punif", (2, 0, 1), 0.0), ("punif", (0, -INF, 1), NAN),
    ("dexp", (INF, 2), -INF), ("dexp", (-1, 2), -INF), ("dexp", (INF, 0), NAN), ("dexp", (3, 0), -INF),
    ("pexp", (0, 1), -INF), ("pexp", (1, INF), 0.0),
    ("dcauchy", (INF, 0, 1), -INF), ("dcauchy", (0, 0, 0), NAN),
    ("pcauchy", (INF, 0, 1), 0.0), ("pcauchy", (-INF, 0, 1), -INF), ("pcauchy", (0, 0, 1), LOG_HALF),
    ("dlaplace", (2, 2, 0), INF), ("dlaplace", (1, 2, 0), -INF), ("dlaplace", (INF, INF, 1), NAN),
    ("plaplace", (2, 2, 0), LOG_HALF), ("plaplace", (3, 2, 0), 0.0),
    ("dlogis", (INF, 0, 1), -INF), ("dlogis", (1, 0, 0), NAN),
    ("plogis", (-INF, 0, 1), -INF), ("plogis", (0, 0, 0), LOG_HALF), ("plogis", (1, 0, 0), 0.0),
    ("dweibull", (0, 0.5, 1), INF),       # the pole is +inf with or without the flag
    ("dweibull", (0, 2, 1), -INF), ("dweibull", (-1, 2, 1), -INF), ("dweibull", (INF, 2, 1), -INF),
    ("pweibull", (0, 2, 1), -INF), ("pweibull", (INF, 2, 1), 0.0),
]


@pytest.mark.parametrize("name, args, expected", FLAGGED, ids=[f"{n}{a}" for n, a, _ in FLAGGED])
def test_special_values_with_flag(name, args, expected):
    assert same_value_quiet_nan(getattr(dm, name)(*map(float, args), True), expected)


# The fixed-depth forms count arguments and scales below EPS as zero; the
# module checks these values against converged ones and replaces them (the
# last column is the true value, for the module).
BELOW_EPS = [
    ("dlaplace", (0, 0, 1e-17), False, INF, 5e16),          # -log(2 sigma) is +inf below EPS
    ("dweibull", (1e-20, 1.5, 1), False, 0.0, 1.5e-10),
    ("dweibull", (1e-20, 0.5, 1), False, INF, 4999999999.5),
    ("pweibull", (1e-17, 2, 1), None, 0.0, 1e-34),
    ("dunif", (5e-301, 0, 1e-300), True, INF, math.log(1e300)),  # -log(w) with w below EPS
]


@pytest.mark.parametrize("name, args, flag, fixed, true", BELOW_EPS, ids=[f"{n}{a}" for n, a, *_ in BELOW_EPS])
def test_below_eps_fixed_depth_and_module(kernels, name, args, flag, fixed, true):
    probe = getattr(kernels, f"k_{name}_fixed")
    got_fixed = probe(*map(float, args)) if flag is None else probe(*map(float, args), flag)
    assert same_value_or_both_nan(got_fixed, fixed)
    got = getattr(dm, name)(*map(float, args)) if flag is None else getattr(dm, name)(*map(float, args), flag)
    assert abs(got - true) <= 1e-13 * abs(true)


def test_log_half_is_the_logarithm_of_one_half():
    assert abs(LOG_HALF - math.log(0.5)) <= 2 * U


@pytest.mark.parametrize("scale", [2.0, 0.5, 4.0, 1.0])
def test_weibull_shape_one_at_zero_matches_exponential_bit_for_bit(scale):
    # Both are exp(log(1/scale)): the (shape - 1) log y term is dropped for
    # shape exactly 1, where log y is -inf.
    for flag in (False, True):
        assert dm.dweibull(0.0, 1.0, scale, flag) == dm.dexp(0.0, 1 / scale, flag)
    assert dm.dweibull(1e-20, 1.0, scale) == dm.dexp(0.0, 1 / scale)


# ------------------------------------------------------- invalid input ----

CLOSED = ["unif", "exp", "cauchy", "laplace", "logis", "weibull"]
DP = [c + d for d in CLOSED for c in "dp"]
Q = ["q" + d for d in CLOSED]
# (function, position) of every parameter that must not be negative
NEGATIVE_SCALE = [(n, i) for n in DP + Q for i, a in enumerate(arguments(n)) if a.kind == "pos"]


@pytest.mark.parametrize("name", DP)
@pytest.mark.parametrize("flag", [False, True])
def test_nan_in_any_argument_gives_plain_nan(name, flag):
    base = ordinary_args(name)
    assert not math.isnan(getattr(dm, name)(*base, flag))
    for i in range(len(base)):
        args = list(base)
        args[i] = NAN
        assert math.isnan(getattr(dm, name)(*args, flag))


@pytest.mark.parametrize("name", Q)
def test_quantile_invalid_p_and_nan(name):
    base = ordinary_args(name)
    for p in [NAN, -1e-300, -0.5, 1 + 2 ** -52, INF, -INF]:
        assert math.isnan(getattr(dm, name)(p, *base[1:]))
    for i in range(1, len(base)):
        args = list(base)
        args[i] = NAN
        assert math.isnan(getattr(dm, name)(*args))


@pytest.mark.parametrize("name, pos", NEGATIVE_SCALE)
def test_negative_scale_gives_nan_even_at_special_points(name, pos):
    base = ordinary_args(name)
    fn = getattr(dm, name)
    flags = [(), ] if name.startswith("q") else [(False,), (True,)]
    for first in [base[0], 0.0, 1.0, -INF, INF]:   # also the support ends and p = 0, 1
        if name.startswith("q") and not 0 <= first <= 1:
            continue
        for flag in flags:
            args = [first, *base[1:]]
            args[pos] = -0.5
            assert math.isnan(fn(*args, *flag)), (first, flag)


@pytest.mark.parametrize("name, base, pos", [
    ("dweibull", (0.7, 1.3, 1.5), 1), ("dweibull", (0.7, 1.3, 1.5), 2),
    ("pweibull", (0.7, 1.3, 1.5), 1), ("pweibull", (0.7, 1.3, 1.5), 2),
    ("qweibull", (0.3, 1.3, 1.5), 1), ("qweibull", (0.3, 1.3, 1.5), 2),
])
def test_weibull_parameters_below_eps_are_invalid(name, base, pos):
    fn = getattr(dm, name)
    for v in [0.0, 1e-17, float.fromhex("0x1.fffffffffffffp-53")]:
        args = list(base)
        args[pos] = v
        assert math.isnan(fn(*args))
    args = list(base)
    args[pos] = EPS
    assert not math.isnan(fn(*args))


# ------------------------------------------------- accuracy vs mpmath ----

mpf = mp.mpf


def logu(rng, lo, hi):
    return math.exp(rng.uniform(math.log(lo), math.log(hi)))


def draws(n, gen, seed=7):
    rng = random.Random(seed)
    return [gen(rng) for _ in range(n)]


def loc_scale(rng, zlo, zhi):
    mu, s = rng.uniform(-5, 5), logu(rng, 0.1, 10)
    return (mu + s * rng.choice([-1, 1]) * logu(rng, zlo, zhi), mu, s)


def exp_cancel(t):
    """e^-t/(1 - e^-t): how much an error in e^-t grows in 1 - e^-t, the form
    expm1 takes above 1e-4 (below, its series has no cancellation)."""
    return mp.exp(-t) / -mp.expm1(-t) if t > 1e-4 else 0


# Each case: function, argument generator, mpmath reference, bound on the
# relative error (in units of 2^-53) as a function of the arguments.  A
# log-density L returned through exp carries an absolute error of a few
# ulps of |L|, hence the 3|L| terms; x - mu rounds relative to the larger of
# the two, hence the |mu/(x - mu)| terms.
def dexp_bound(x, r):
    return 12 + 3 * abs(mp.log(r) - r * x)


def pexp_bound(x, r):
    t = mpf(r) * x
    return 3 + 14 * exp_cancel(t)


def q_one_minus_p_bound(p):
    """Relative error of ln(1 - p) from the rounding of 1 - p."""
    return 6 + 1 / ((1 - mpf(p)) * abs(mp.log1p(-p)))


def dlogis_bound(x, mu, s):
    w = -(mpf(x) - mu) / s
    ell = mp.log1p(mp.exp(w))
    L = w - mp.log(s) - 2 * ell
    return 12 + 2 * abs(L) + 2 * abs(w) + 10 * ell + 2 * abs(mp.log(s))


def weibull_parts(x, k, l):
    y = mpf(x) / l
    return y, mp.log(k / mpf(l)), (k - 1) * mp.log(y), y ** k


def dweibull_bound(x, k, l):
    y, A, B, C = weibull_parts(x, k, l)
    return 16 + 6 * (abs(A) + abs(B) + abs(C)) + 8 * C * abs(k * mp.log(y))


def pweibull_bound(x, k, l):
    y, A, B, C = weibull_parts(x, k, l)
    # The error of pow passes into P = 1 - e^-C scaled by C e^-C/(1 - e^-C).
    sensitivity = C * mp.exp(-C) / -mp.expm1(-C)
    return 2 + 13 * exp_cancel(C) + (16 + 6 * abs(k * mp.log(y))) * sensitivity


def qweibull_bound(p, k, l):
    L = -mp.log1p(-mpf(p))
    series = p <= 1e-4
    inner = 2 if series else 8 + 1 / ((1 - mpf(p)) * L)
    return 20 + 6 * abs(mp.log(L) / k) + inner / k


def weibull_args(rng):
    k, l = logu(rng, 0.3, 6), logu(rng, 0.1, 10)
    return (l * logu(rng, 1e-3, 2.5), k, l)


def unif_args(r):
    a, w = r.uniform(-10, 10), logu(r, 1e-3, 1e3)
    return (a + w * r.random(), a, a + w)


def plap_bound(x, mu, s):
    return 16 + 2 / ref.cdf("laplace", x, mu, s) + 2 * abs(mpf(mu) / (mpf(x) - mu))


def tan_pole(p):
    t = mp.tan(mp.pi * (p - 0.5))
    return mp.pi * (1 + t ** 2) / abs(t)


# Each case: function, argument generator, and the bound on the relative
# error against the mpmath value (support/references.py), in units of
# 2^-53, as a function of the arguments.
ACCURACY = [
    ("dunif", unif_args, lambda *a: 2),
    ("punif", unif_args, lambda x, a, b: 3 + 2 * abs(mpf(a) / (mpf(x) - a))),
    ("dexp", lambda r: (logu(r, 1e-3, 50), logu(r, 1e-2, 1e2)), dexp_bound),
    ("pexp", lambda r: (logu(r, 1e-9, 50), logu(r, 1e-2, 1e2)), pexp_bound),
    ("qexp", lambda r: (r.uniform(1e-6, 1), logu(r, 1e-2, 1e2)), lambda p, r: q_one_minus_p_bound(p)),
    ("dcauchy", lambda r: loc_scale(r, 1e-3, 1e6), lambda x, mu, s: 6 + 2 * abs(mpf(mu) / (mpf(x) - mu))),
    ("pcauchy", lambda r: loc_scale(r, 1e-3, 1e6),
     lambda x, mu, s: 2 + 2 / ref.cdf("cauchy", x, mu, s) + 2 * abs(mpf(mu) / (mpf(x) - mu))),
    ("qcauchy", lambda r: (r.uniform(1e-6, 1 - 1e-6), 0.0, logu(r, 0.1, 10)), lambda p, mu, s: 3 + tan_pole(p)),
    ("dlaplace", lambda r: loc_scale(r, 1e-3, 500),
     lambda x, mu, s: 12 + 3 * abs(mp.log(2 * s) + abs(mpf(x) - mu) / s)),
    ("plaplace", lambda r: loc_scale(r, 1e-3, 30), plap_bound),
    ("qlaplace", lambda r: (r.uniform(1e-6, 1 - 1e-6), 0.0, logu(r, 0.1, 10)),
     lambda p, mu, s: (lambda q: 6 + 2 / (q * abs(mp.log(q))))(1 - 2 * abs(mpf(p) - 0.5))),
    ("dlogis", lambda r: loc_scale(r, 1e-3, 300), dlogis_bound),
    ("plogis", lambda r: loc_scale(r, 1e-3, 20),
     lambda x, mu, s: 8 + 3 * (1 + mp.exp(-(mpf(x) - mu) / s)) + 2 * abs(mpf(mu) / (mpf(x) - mu))),
    ("qlogis", lambda r: (r.uniform(1e-6, 1 - 1e-6), 0.0, logu(r, 0.1, 10)),
     lambda p, mu, s: 8 + 3 / abs(mp.log(mpf(p) / (1 - mpf(p))))),
    ("dweibull", weibull_args, dweibull_bound),
    ("pweibull", weibull_args, pweibull_bound),
    ("qweibull", lambda r: (r.choice([logu(r, 1e-9, 1e-4), r.uniform(1e-4, 1)]), logu(r, 0.3, 6), logu(r, 0.1, 10)),
     qweibull_bound),
]


@pytest.mark.parametrize("name, gen, bound", ACCURACY, ids=[a[0] for a in ACCURACY])
def test_accuracy_against_mpmath(name, gen, bound):
    fn = getattr(dm, name)
    args = draws(250, gen)
    vals = fn(*np.array(args).T)          # one vectorised call per function
    for a, got in zip(args, vals):
        r = ref.value(name, *a)
        if abs(r) < 2.0 ** -1022:         # beyond the normal double range
            continue
        assert rel_err(got, r) <= bound(*a) * U, a


@pytest.mark.parametrize("name", ["dunif", "dexp", "dcauchy", "dlaplace", "dlogis", "dweibull"])
def test_log_density_is_log_of_density(name):
    # With the flag the log form is returned directly; without it the same
    # value goes through exp (or the density goes through log).
    gen = dict((a[0], a[1]) for a in ACCURACY)[name]
    for a in draws(100, gen, seed=11):
        d, ld = getattr(dm, name)(*a), getattr(dm, name)(*a, log=True)
        if d > 1e-300:
            assert log_density_error(ld, mp.log(d)) <= 1e-12


@pytest.mark.parametrize("name", ["punif", "pexp", "pcauchy", "plaplace", "plogis", "pweibull"])
def test_log_cdf_is_kernel_log_of_cdf(name):
    # log_p is the kernel log of the finished P wherever that meets the
    # promise; both are judged on their own.
    gen = dict((a[0], a[1]) for a in ACCURACY)[name]
    for a in draws(100, gen, seed=13):
        lp = getattr(dm, name)(*a, log_p=True)
        assert promise_error(name, a, lp, True) <= AGREE_REL


@pytest.mark.parametrize("p", [1e-5, 3e-5, 1e-4, 5e-8])
def test_qweibull_small_p_uses_the_log1p_series(p):
    # ln(1 - p) through 1 - p would be wrong by up to 1e-16/p here (1e-11
    # at p = 1e-5); what remains is the error of pow.
    got = dm.qweibull(p, 1.0, 1.0)
    assert rel_err(got, ref.quantile("weibull", p, 1.0, 1.0)) <= qweibull_bound(p, 1.0, 1.0) * U < 1e-13


@pytest.mark.parametrize("name, args", [
    ("qexp", (1.0,)), ("qcauchy", (0.3, 2.0)), ("qlaplace", (0.3, 2.0)),
    ("qlogis", (0.3, 2.0)), ("qweibull", (1.7, 2.0)), ("qunif", (-1.0, 2.0)),
])
def test_quantile_inverts_cdf(name, args):
    q, p = getattr(dm, name), getattr(dm, "p" + name[1:])
    for prob in [0.01, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99]:
        assert abs(p(q(prob, *args), *args) - prob) <= 64 * U


def test_plogis_breaks_down_for_large_z(kernels):
    # The tanh fraction has no range reduction: the literal method leaves
    # [0, 1] for large |z| (see docs/accuracy/closed_forms.md); the module
    # replaces those values by the closed form in extended precision.
    assert kernels.k_plogis_fixed(2000.0, 0.0, 1.0) > 1
    assert kernels.k_plogis_fixed(-300.0, 0.0, 1.0) < 0
    assert dm.plogis(2000.0, 0.0, 1.0) == 1.0
    assert dm.plogis(-300.0, 0.0, 1.0) == float(1 / (1 + mp.exp(300)))
    # ... and is accurate while |z| = |x - mu|/(2 sigma) stays moderate.
    assert abs(dm.plogis(30.0, 0.0, 1.0) - float(1 / (1 + mp.exp(-30)))) <= 2 * U
