"""Bernoulli, binomial and Poisson mass, CDF and quantile functions."""
import json
import math

import mpmath as mp
import numpy as np
import pytest

import distmill as dm
from support import references as ref
from support.child import run_python
from support.equality import same_value_or_both_nan
from support.metrics import AGREE_REL, promise_error

INF, NAN = math.inf, math.nan
I64MAX = 2**63 - 1


def run_isolated(code, timeout=60):
    """Runs `code` in a fresh interpreter, so that a search that never ends
    fails the test instead of hanging the suite; returns what it printed
    as JSON."""
    return json.loads(run_python("import json, math, distmill as dm\n" + code, timeout))


# Special values and the order of the checks --------------------------------

@pytest.mark.parametrize("call, expected", [
    # Bernoulli
    (lambda: dm.dbern(2, 0.3), 0.0),
    (lambda: dm.dbern(0, 0.3), 0.7),
    (lambda: dm.dbern(1, 0.3), 0.3),
    (lambda: dm.dbern(1, INF), NAN),
    (lambda: dm.dbern(7, NAN, log=True), NAN),            # guard before the support
    (lambda: dm.pbern(-1, 0.3), 0.0),
    (lambda: dm.pbern(0, 0.3), 0.7),
    (lambda: dm.pbern(5, 0.3), 1.0),
    (lambda: dm.pbern(-1, 1.5), NAN),
    (lambda: dm.qbern(0.7, 0.3), 0.0),                    # p equal to the mass at 0
    (lambda: dm.qbern(0.70001, 0.3), 1.0),
    (lambda: dm.qbern(1, 0), 0.0),
    (lambda: dm.qbern(0, 1), 0.0),
    (lambda: dm.qbern(1e-300, 1), 1.0),
    (lambda: dm.qbern(1.5, 0.3), NAN),
    # binomial
    (lambda: dm.dbinom(3, 2, 0.5), 0.0),
    (lambda: dm.dbinom(3, 2, 0.5, log=True), -INF),
    (lambda: dm.dbinom(0, 0, 0.5), 1.0),
    (lambda: dm.dbinom(0, 0, 0.5, log=True), 0.0),
    (lambda: dm.dbinom(0, 5, 0), 1.0),
    (lambda: dm.dbinom(5, 5, 0), 0.0),
    (lambda: dm.dbinom(5, 5, 1), 1.0),
    (lambda: dm.dbinom(1, 1, 0.3), 0.3),
    (lambda: dm.dbinom(0, 1, 0.3), 0.7),
    (lambda: dm.dbinom(-1, -1, 0.5, log=True), NAN),     # n < 0 before the support
    (lambda: dm.dbinom(9, 2, 1.5, log=True), NAN),
    (lambda: dm.pbinom(2, 2, 0.5), 1.0),
    (lambda: dm.pbinom(2, 2, 0.5, log_p=True), 0.0),
    (lambda: dm.pbinom(-1, 5, 0.5, log_p=True), -INF),
    (lambda: dm.pbinom(0, 1, 0.3), 0.7),
    (lambda: dm.pbinom(0, 0, 0.3), 1.0),
    (lambda: dm.pbinom(-1, 5, 1.5), NAN),
    (lambda: dm.qbinom(1, 7, 0.3), 7.0),
    (lambda: dm.qbinom(0, 7, 0.3), 0.0),
    (lambda: dm.qbinom(1, 7, 0), 7.0),
    (lambda: dm.qbinom(0.5, 0, 0.3), 0.0),
    (lambda: dm.qbinom(0.5, 7, 1), 7.0),
    (lambda: dm.qbinom(0.7, 1, 0.3), 0.0),
    (lambda: dm.qbinom(0.7000001, 1, 0.3), 1.0),
    (lambda: dm.qbinom(0, -1, 0.3), NAN),
    # Poisson
    (lambda: dm.dpois(0, 0), 1.0),
    (lambda: dm.dpois(0, 0, log=True), 0.0),
    (lambda: dm.dpois(3, 0), 0.0),
    (lambda: dm.dpois(3, 0, log=True), -INF),
    (lambda: dm.dpois(0, INF), 0.0),
    (lambda: dm.dpois(-1, -1.0, log=True), NAN),          # rate check before the support
    (lambda: dm.ppois(3, INF), 0.0),
    (lambda: dm.ppois(3, INF, log_p=True), -INF),
    (lambda: dm.ppois(-1, 2), 0.0),
    (lambda: dm.ppois(5, 0), 1.0),
    (lambda: dm.ppois(-1, -2), NAN),
    (lambda: dm.qpois(0.5, 0), 0.0),
    (lambda: dm.qpois(1, 0), 0.0),                        # rate check before the p = 1 rule
    (lambda: dm.qpois(1, 1e-17), INF),                    # a positive rate has no last count
    (lambda: dm.qpois(1, 3), INF),
    (lambda: dm.qpois(0, INF), 0.0),
    (lambda: dm.qpois(1, INF), INF),
    (lambda: dm.qpois(1.5, 0), NAN),
    (lambda: dm.qpois(-0.0, -1), NAN),
])
def test_special_values(call, expected):
    assert same_value_or_both_nan(call(), expected)


def test_dpois_tiny_rate_at_zero():
    # ln(1e-20) is -inf, but x ln(rate) is 0 at x = 0: no NaN from -inf * 0.
    assert dm.dpois(0, 1e-20) == 1.0
    assert dm.dpois(0, 1e-20, log=True) == -1e-20


def test_int64_arguments_truncate_and_results_are_float64():
    assert dm.dbinom(2.7, 5, 0.5) == dm.dbinom(2, 5, 0.5)
    assert dm.dbinom(-0.9, 5, 0.5) == dm.dbinom(0, 5, 0.5)   # toward zero, not down
    assert dm.pbinom(3, 5.99, 0.5) == dm.pbinom(3, 5, 0.5)
    assert dm.dpois(3.9, 2.5) == dm.dpois(3, 2.5)
    r = dm.dbinom([1, 2], 5, 0.5)
    assert r.dtype == np.float64 and r.shape == (2,)
    assert type(dm.qbinom(0.5, 10, 0.5)) is float
    q = dm.qbinom([0.5], 10, 0.5)
    assert q.dtype == np.float64 and q.shape == (1,)
    assert type(dm.qpois(0.5, 3.0)) is float
    assert list(dm.dbern(1, 0.25, log=[False, True])) == [0.25, dm.dbern(1, 0.25, True)]


# Exact formulas, sums and stopping rules -----------------------------------

def series_cdf(kernels, k, lam):
    """The Poisson series e^-lam (1 + t(1) + ... + t(k)) added from the top,
    with factorials exact up to 20! and 20! * 21 * ... * j beyond."""
    def fact(j):
        if j <= 20:
            return float(math.factorial(j))
        f = float(math.factorial(20))
        for i in range(21, j + 1):
            f *= i
        return f

    def t(j):
        return kernels.k_ipow(j, lam) / fact(j)

    E = kernels.k_exp(-lam)
    if k == 0:
        return E
    if k == 1:
        return E * (1 + lam)
    T = t(k)
    for j in range(k - 1, 0, -1):
        T = T + t(j)
    return E * (T + 1)


SERIES_CASES = [(k, lam) for lam in (0.3, 2.5, 7.77, 10.0)
                for k in (0, 1, 2, 3, 16, 17, 20, 21, 23, 30, 60, 170)]


def test_factorial_table(kernels):
    # Exact through 22! (17! .. 20! from int64 products); from 21 on the
    # running double product 20! * 21 * ... * j, which is not the correctly
    # rounded factorial from 28! on.
    f = float(math.factorial(20))
    rounded_apart = 0
    for j in range(171):
        if j > 20:
            f *= j
        expected = float(math.factorial(j)) if j <= 20 else f
        assert kernels.k_pois_factorial(j) == expected, j
        rounded_apart += expected != float(math.factorial(j))
    assert rounded_apart > 100
    assert math.isinf(f * 171)


def test_poisson_series_bits(kernels):
    # The fixed-depth series; the module keeps its bits wherever it is not
    # close to 1 (above 1 - 1e-3 it is checked against Q(k + 1, rate), and a
    # sum above 1, as at (60, 10), is replaced).
    for k, lam in SERIES_CASES:
        fixed = kernels.kf_ppois(k, lam, False)
        assert fixed == series_cdf(kernels, k, lam), (k, lam)
        if fixed <= 1 - 1e-3:
            assert dm.ppois(k, lam) == fixed, (k, lam)
        assert dm.ppois(k, lam) <= 1


def test_poisson_series_order_matters(kernels):
    # The comparison above would pass a bottom-up sum too unless the order
    # shows in the bits somewhere; make sure it does.
    def bottom_up(k, lam):
        T = 0.0
        for j in range(1, k + 1):
            T = T + kernels.k_ipow(j, lam) / float(math.factorial(j))
        return kernels.k_exp(-lam) * (T + 1)
    assert any(bottom_up(k, lam) != dm.ppois(k, lam) for k, lam in SERIES_CASES if k >= 2)


def test_true_factorials_beyond_20():
    assert dm.ppois(21, 10) > dm.ppois(20, 10)
    assert dm.ppois(25, 10) == pytest.approx(float(ref.cdf("pois", 25, 10)), rel=1e-15)


def literal_mass_kept(name, args, literal, got):
    """The module returns the literal mass where it meets the promise, and
    a value within the promise (the saddle-point form) where it does not."""
    for lg in (False, True):
        v = literal(*args, lg)
        if promise_error(name, args, v, lg) <= AGREE_REL:
            assert same_value_or_both_nan(got(*args, lg), v), (args, lg)
        else:
            assert promise_error(name, args, got(*args, lg), lg) <= AGREE_REL, (args, lg)


@pytest.mark.parametrize("x, n, prob", [(3, 10, 0.3), (158, 187, 0.29925494252558599),
                                        (1, 2, 0.5), (40, 41, 0.999), (7, 1000, 1e-3),
                                        (5, 5, 0.5), (0, 52, 2.1327041025529587e-07), (498455, 10**6, 0.5)])
def test_binomial_mass_bits(kernels, x, n, prob):
    A = kernels.k_lgamma(n + 1.0)
    B = kernels.k_lgamma(x + 1.0)
    C = kernels.k_lgamma((float(n) - float(x)) + 1)
    if x == n:
        h = kernels.k_log(prob) * x
    elif x == 0:
        h = kernels.k_log(1 - prob) * n
    else:
        h = ((A - (C + B)) + kernels.k_log(prob) * x) + kernels.k_log(1 - prob) * (n - x)
    assert kernels.kf_dbinom(x, n, prob, True) == h
    assert kernels.kf_dbinom(x, n, prob, False) == kernels.k_exp(h)
    literal_mass_kept("dbinom", (x, n, prob), kernels.kf_dbinom, dm.dbinom)


@pytest.mark.parametrize("x, lam", [(0, 3.5), (1, 3.5), (7, 0.02), (111, 80.54), (10**6, 1e6), (4660, 4788.4),
                                    (3, 1e-17)])
def test_poisson_mass_bits(kernels, x, lam):
    L = ((kernels.k_log(lam) * x if x else 0.0) - lam) - kernels.k_lgamma(x + 1.0)
    assert kernels.kf_dpois(x, lam, True) == L
    assert kernels.kf_dpois(x, lam, False) == kernels.k_exp(L)
    literal_mass_kept("dpois", (x, lam), kernels.kf_dpois, dm.dpois)


@pytest.mark.parametrize("n, prob", [(10, 0.3), (57, 0.61), (150, 0.07)])
def test_binomial_cdf_sums_from_the_top(kernels, n, prob):
    # The fixed-depth sum; the module keeps it up to 1/2 (above, it is
    # checked against the complement summed directly).
    d = [dm.dbinom(k, n, prob) for k in range(n + 1)]
    differs = False
    for x in range(n):
        s = d[x]
        for k in range(x - 1, -1, -1):
            s = s + d[k]
        assert kernels.kf_pbinom(x, n, prob, False) == s
        if s <= 0.5:
            assert dm.pbinom(x, n, prob) == s
        differs |= s != math.fsum(d[: x + 1])
    # Not every order gives these bits.
    assert differs


@pytest.mark.parametrize("n, prob", [(10, 0.3), (57, 0.61), (1, 0.4), (2, 0.5)])
def test_qbinom_stops_at_first_cdf_at_or_above_p(kernels, n, prob):
    # The fixed-depth search on its own sums (the module checks both above 1/2).
    for i in range(n):
        F = kernels.kf_pbinom(i, n, prob, False)
        if 0 < F < 1:
            assert kernels.k_qbinom(F, n, prob) == i                      # p <= F(i) stops at i
            assert kernels.k_qbinom(np.nextafter(F, 2), n, prob) > i


@pytest.mark.parametrize("lam", [0.4, 3.5, 10.0, 10.5])
def test_qpois_stops_at_first_cdf_above_p(kernels, lam):
    # The fixed-depth walk on its own CDF (the module confirms its answer
    # with the converged CDF, up to the rule's tolerance).
    for k in range(25):
        F = kernels.kf_ppois(k, lam, False)
        if 0 < F < 1 and kernels.kf_ppois(k + 1, lam, False) > F:
            assert kernels.kf_qpois(F, lam) == k + 1                       # p = F(k) is not enough
            assert kernels.kf_qpois(np.nextafter(F, 0), lam) == k


def test_rate_10_5_uses_incomplete_gamma_and_walks_from_zero(kernels):
    # The fixed-depth methods (the module checks them where they can fail).
    lam = 10.5
    for k in (0, 3, 9, 10, 25):
        assert kernels.kf_ppois(k, lam, False) == 1 - kernels.k_incomplete_gamma(k + 1.0, lam)
    assert kernels.kf_ppois(12, 10.0, False) == series_cdf(kernels, 12, 10.0)   # 10 itself is the series
    for p in (1e-6, 0.2, 0.5, 0.93, 0.999999):
        k = 0
        while not 1 - kernels.k_incomplete_gamma(k + 1.0, lam) > p:
            k += 1
        assert kernels.kf_qpois(p, lam) == k


def normal_start_quantile(kernels, p, lam):
    F = lambda k: 1 - kernels.k_incomplete_gamma(k + 1.0, lam)  # noqa: E731
    m = dm.qnorm(p, lam, kernels.k_sqrt(lam)) - 3
    k0 = 0 if m < 0 else int(m)
    if F(k0) > p:
        return max(k0 - 1, 0)
    while not F(k0) > p:
        k0 += 1
    return k0


def test_rate_11_starts_from_the_normal_approximation(kernels):
    # The fixed-depth search (the module replaces its wrong answers below:
    # the quantile of 2e-4 at rate 50 is 27, of the last p at rate 30 is 14).
    for p in (1e-6, 0.2, 0.5, 0.93, 0.999999):
        assert kernels.kf_qpois(p, 11.0) == normal_start_quantile(kernels, p, 11.0)
    # At rate 50 the continued fraction puts F(0) at about 4e-4 (the true
    # value is 2e-22): a walk from 0 would stop there, the normal start
    # does not look below k0 - 1.
    assert kernels.kf_ppois(0, 50.0, False) > 2e-4
    assert kernels.kf_qpois(2e-4, 50.0) == normal_start_quantile(kernels, 2e-4, 50.0) == 20
    # The step back from k0 is not checked: here F(k0 - 1) <= p < F(k0),
    # so the first count above p is k0, and the answer is k0 - 1.
    p, lam = 0.0005138552607634251, 30.0
    assert kernels.kf_ppois(8, lam, False) <= p < kernels.kf_ppois(9, lam, False)
    assert kernels.kf_qpois(p, lam) == 8.0


# The cases the method leaves open -------------------------------------------

def test_poisson_series_for_huge_counts_is_the_sum_at_170():
    # j! overflows from 171 on and 10^j from 309: the quotients there are
    # negligible and count as 0, so the sum stops changing at 170.
    for lam in (0.5, 1.0, 7.3, 10.0):
        at170 = dm.ppois(170, lam)
        for x in (171, 308, 309, 400, 10**6, I64MAX):
            v = dm.ppois(x, lam)
            assert v == at170 and not math.isnan(v), (x, lam)
        assert abs(at170 - 1) <= 8 * 2.0**-53


def test_top_of_the_int64_range():
    # x + 1 and n + 1 at x = 2^63 - 1 are taken as 2^63, not wrapped.
    assert dm.dpois(I64MAX, 5.0) == 0.0
    assert dm.dpois(I64MAX, 5.0, log=True) == pytest.approx(
        float(I64MAX * mp.log(5) - 5 - mp.loggamma(mp.mpf(2) ** 63)), rel=1e-12)
    assert dm.ppois(I64MAX, 50.0) == 1.0
    assert dm.dbinom(0, I64MAX, 0.5) == 0.0
    assert dm.dbinom(I64MAX - 1, I64MAX, 0.5, log=True) < -1e18
    assert dm.pbinom(I64MAX, I64MAX, 0.5) == 1.0


def test_qpois_infinite_rate_terminates():
    got = run_isolated("print(json.dumps([dm.qpois(p, math.inf) for p in (1e-300, 0.5, 1 - 2**-53)]))")
    assert got == [INF] * 3


def test_qpois_saturated_series_terminates_at_the_tail_bound(kernels):
    # The series for these rates ends a few ulps below 1 - 2^-53 (or below
    # 1 - 1e-15), so no F(k) exceeds p; the fixed-depth walk ends at
    # floor(rate + 25 + 9 sqrt(rate)).  The module answers with the first
    # count whose converged upper tail Q(k + 1, rate) lies below 1 - p.
    cases = [(1 - 2**-53, 0.0650373582388259), (1 - 2**-53, 0.47427360664539808),
             (0.999999999999999, 3.1628445630420283)]
    got = run_isolated(f"print(json.dumps([dm.qpois(p, l) for p, l in {cases!r}]))")
    for (p, lam), q in zip(cases, got):
        assert kernels.kf_ppois(170, lam, False) <= p   # so no fixed-depth count answers
        assert kernels.kf_qpois(p, lam) == math.floor(lam + 25 + 9 * math.sqrt(lam))
        tail = lambda k: mp.gammainc(k + 1, 0, lam, regularized=True)  # noqa: E731  1 - F(k)
        assert tail(q) < 1 - mp.mpf(p) <= tail(q - 1)


def test_tail_bound_holds():
    # The bound is an upper bound of the true quantile of every p <= 1 - 2^-53:
    # the exact upper tail beyond it is below 2^-54.
    for lam in (0.01, 1.0, 10.0, 11.0, 1e3, 1e6):
        cap = math.floor(lam + 25 + 9 * math.sqrt(lam))
        tail = mp.gammainc(cap + 1, 0, lam, regularized=True)      # P(X > cap)
        assert tail < mp.mpf(2) ** -54, lam


def test_qpois_huge_rates_answer_the_normal_quantile():
    # Starts of 2^53 and more are not walked (neighbouring counts are not
    # distinct doubles there); this includes starts beyond the int64 range,
    # which are never converted to an integer.
    rates = [1e16, 1e17, 9.2e18, 9.3e18, 1e19, 1e300]
    ps = [0.01, 0.5, 0.99, 1 - 2**-53]
    got = run_isolated(
        f"print(json.dumps([[dm.qpois(p, l), dm.qnorm(p, l, l ** 0.5)] for l in {rates!r} for p in {ps!r}]))")
    for q, qn in got:
        assert math.isfinite(q) and q == pytest.approx(qn, rel=1e-15)


def test_binomial_at_the_int64_limit():
    # Above p = 1/2 the answer n is confirmed on the complement sums, whose
    # count once stepped past n = 2^63 - 1 there and never ended.
    calls = "[dm.qbinom(0.7, 2**63 - 1, 1.0), dm.qbinom(0.7, 2**53 + 1, 1.0), dm.pbinom(0, 2**63 - 1, 0.0)]"
    assert run_isolated(f"print(json.dumps({calls}))") == [float(I64MAX), float(2**53 + 1), 1.0]


def test_qpois_terminates_over_the_whole_rate_range():
    code = """
import numpy as np
rng = np.random.default_rng(7)
rates = list(10.0 ** rng.uniform(-3, 308, 60)) + [2.0**53, 2.0**63, 1.7976931348623157e308]
ps = [2.0**-1074, 1e-17, 0.3, 0.999999, 1 - 2**-53]
out = [dm.qpois(p, float(l)) for l in rates for p in ps]
print(json.dumps([not math.isnan(v) and v >= 0 for v in out]))
"""
    assert all(run_isolated(code, timeout=120))


# Agreement with exact values where the methods are accurate ------------------

def test_masses_against_mpmath():
    rng = np.random.default_rng(11)
    for _ in range(200):
        n = int(rng.integers(2, 200))
        x = int(rng.integers(0, n + 1))
        q = float(rng.uniform(0.05, 0.95))
        assert dm.dbinom(x, n, q) == pytest.approx(float(ref.density("binom", x, n, q)), rel=1e-12)
        lam = float(10 ** rng.uniform(-1, 2))
        k = int(rng.integers(0, int(lam + 6 * lam**0.5) + 2))
        assert dm.dpois(k, lam) == pytest.approx(float(ref.density("pois", k, lam)), rel=1e-12)


def test_cdfs_against_mpmath():
    rng = np.random.default_rng(12)
    for _ in range(100):
        lam = float(rng.uniform(0.01, 10))
        k = int(rng.integers(0, 40))
        assert dm.ppois(k, lam) == pytest.approx(float(ref.cdf("pois", k, lam)), rel=2e-15)
        # Above rate 10 the CDF is 1 - P(k + 1, rate), good to about
        # a ln(a) 2^-53 absolutely near the centre once the quadrature
        # window covers the lower tail (from shape 70 on).
        lam = float(rng.uniform(100, 2000))
        k = int(round(lam + rng.uniform(-3, 3) * lam**0.5))
        assert dm.ppois(k, lam) == pytest.approx(float(ref.cdf("pois", k, lam)), abs=1e-11)
        n = int(rng.integers(2, 150))
        x = int(rng.integers(0, n))
        q = float(rng.uniform(0.05, 0.95))
        assert dm.pbinom(x, n, q) == pytest.approx(float(ref.cdf("binom", x, n, q)), rel=1e-12)


def test_quantiles_against_mpmath():
    rng = np.random.default_rng(13)
    for _ in range(60):
        p = float(rng.uniform(0.001, 0.999))
        lam = float(10 ** rng.uniform(-2, 4))
        F = lambda k: ref.cdf("pois", k, lam)  # noqa: E731
        q = int(dm.qpois(p, lam))
        assert F(q) > p and (q == 0 or F(q - 1) <= p), (p, lam)
        n = int(rng.integers(1, 120))
        prob = float(rng.uniform(0.02, 0.98))
        F = lambda k: ref.cdf("binom", k, n, prob)  # noqa: E731
        i = int(dm.qbinom(p, n, prob))
        assert F(i) >= p and (i == 0 or F(i - 1) < p), (p, n, prob)
