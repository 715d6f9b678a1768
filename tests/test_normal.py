"""Normal and log-normal density, CDF and quantile functions."""
import math

import mpmath as mp
import numpy as np
import pytest

import distmill
from support.equality import same_value_and_sign
from support.metrics import rel_err

ULP = 2.0 ** -53
INF, NAN = math.inf, math.nan
NEG_LN_SQRT_2PI = float(-mp.log(2 * mp.pi) / 2)   # correctly rounded


# ------------------------------------------------------- special values

DNORM_CASES = [
    # x, mu, sigma, log, expected
    (0.0, 0.0, 1.0, True, NEG_LN_SQRT_2PI),
    (3.0, 3.0, 0.0, False, INF),
    (3.0, 3.0, 0.0, True, INF),
    (3.0, 2.0, 0.0, False, 0.0),
    (3.0, 2.0, 0.0, True, -INF),
    (5.0, 0.0, INF, False, 0.0),
    (INF, INF, INF, False, 0.0),       # infinite scale decides first
    (INF, INF, INF, True, -INF),
    (INF, INF, 1.0, False, NAN),
    (-INF, -INF, 1.0, True, NAN),
    (INF, INF, 0.0, False, NAN),       # the NaN rule comes before x = mu
    (INF, -INF, 1.0, False, 0.0),
    (INF, 0.0, 1.0, True, -INF),
    (0.0, -INF, 2.0, False, 0.0),
    (1.0, 0.0, -1.0, False, NAN),
    (1.0, 0.0, -1.0, True, NAN),
    (NAN, 0.0, 1.0, False, NAN),
    (0.0, NAN, 1.0, True, NAN),
    (0.0, 0.0, NAN, False, NAN),
    (NAN, 0.0, -1.0, False, NAN),
    (1e308, -1e308, 1.0, False, 0.0),  # x - mu overflows
]


@pytest.mark.parametrize("x, mu, sigma, log, expected", [
    (0.0, 0.0, 1e-17, False, INF),     # scale below 2^-52
    (0.0, 0.0, 1e-17, True, INF),
    (1.0, 0.0, 1e-300, False, NAN),    # inf - inf in the log-density
])
def test_dnorm_special_fixed_depth(kernels, x, mu, sigma, log, expected):
    # The fixed-depth density counts a scale below 2^-52 as zero; the module
    # replaces these values by the converged density (tested with it).
    assert same_value_and_sign(kernels.k_dnorm_fixed(x, mu, sigma, log), expected)


DLNORM_CASES = [
    (-1.0, 0.0, 1.0, False, 0.0),
    (-1.0, 0.0, 1.0, True, -INF),
    (-1.0, 0.0, -1.0, False, NAN),     # scale guard before the support
    (0.0, 0.0, 1.0, False, 0.0),
    (0.0, 0.0, 1.0, True, -INF),
    (1.0, 0.0, 0.0, False, 0.0),       # zero scale at ln x = mu: still 0
    (1.0, 0.0, 0.0, True, -INF),
    (0.0, -INF, 0.0, False, INF),
    (INF, INF, 0.0, False, INF),
    (INF, INF, 1.0, False, NAN),
    (0.0, -INF, 1.0, False, 0.0),
    (INF, INF, INF, False, 0.0),
    (2.0, 0.0, INF, True, -INF),
    (INF, 0.0, 1.0, False, 0.0),
    (NAN, 0.0, 1.0, False, NAN),
    (1.0, NAN, 1.0, True, NAN),
    (1.0, 0.0, NAN, False, NAN),
]


@pytest.mark.parametrize("x, mu, sigma, log, expected", [
    (1e-17, 0.0, 1.0, False, 0.0),     # below 2^-52: ln x = -inf
    (1e-17, -39.0, 1.0, False, 0.0),   # ... even where ln x would be central
])
def test_dlnorm_special_fixed_depth(kernels, x, mu, sigma, log, expected):
    # The fixed-depth form; the module replaces it by the converged density.
    assert same_value_and_sign(kernels.k_dlnorm_fixed(x, mu, sigma, log), expected)


PNORM_CASES = [
    (0.0, 0.0, 1.0, False, 0.5),
    (3.0, 3.0, 1.0, False, 0.5),
    (INF, INF, 1.0, False, NAN),
    (-INF, -INF, INF, False, NAN),     # before the infinite-scale rules
    (5.0, 5.0, 0.0, False, 1.0),
    (5.0, 5.0, 0.0, True, 0.0),
    (4.9, 5.0, 0.0, False, 0.0),
    (4.9, 5.0, 0.0, True, -INF),
    (INF, 5.0, 0.0, False, 1.0),
    (1.0, 0.0, INF, False, 0.5),
    (INF, 0.0, INF, False, 1.0),
    (0.0, -INF, INF, False, 1.0),
    (-INF, 0.0, INF, False, 0.0),
    (0.0, INF, INF, False, 0.0),
    (INF, 0.0, 1.0, True, 0.0),
    (-INF, 0.0, 1.0, False, 0.0),
    (0.0, INF, 1.0, False, 0.0),
    (0.0, -INF, 1.0, False, 1.0),
    (-40.0, 0.0, 1.0, False, 0.0),
    (1e308, -1e308, 1.0, False, 1.0),  # (x - mu)/sigma overflows to +inf
    (-1e308, 1e308, 1.0, True, -INF),
    (1.0, 0.0, 5e-324, False, 1.0),
    (1e-300, 0.0, 1.0, False, 0.5),    # z below 2^-63
    (NAN, 0.0, 1.0, True, NAN),
    (0.0, NAN, 1.0, False, NAN),
    (0.0, 0.0, NAN, False, NAN),
    (0.0, 0.0, -1.0, True, NAN),
]


PLNORM_CASES = [
    (0.0, 0.0, 1.0, False, 0.0),
    (-5.0, 0.0, 1.0, True, -INF),
    (-5.0, 0.0, -1.0, False, NAN),
    (1.0, 0.0, 1.0, False, 0.5),       # ln 1 = 0 exactly
    (INF, 0.0, 1.0, False, 1.0),
    (INF, 0.0, 1.0, True, 0.0),
    (INF, INF, 1.0, False, NAN),
    (2.0, 0.0, 0.0, False, 1.0),
    (0.5, 0.0, 0.0, False, 0.0),
    (2.0, 0.0, INF, False, 0.5),
    (NAN, 0.0, 1.0, False, NAN),
    (1.0, 0.0, NAN, True, NAN),
]


@pytest.mark.parametrize("x, mu", [(1e-17, 0.0), (1e-17, -39.0)])
def test_plnorm_below_eps_fixed_depth(kernels, x, mu):
    # below 2^-52 the fixed-depth form counts x as 0, whatever mu; the
    # module replaces it by the converged CDF (tested with it).
    assert kernels.k_plnorm_fixed(x, mu, 1.0) == 0.0


QNORM_CASES = [
    (0.5, 0.0, 1.0, 0.0),
    (0.5, 3.0, 2.0, 3.0),
    (0.0, 0.0, 1.0, -INF),
    (1.0, 0.0, 1.0, INF),
    (0.0, INF, 1.0, NAN),
    (1.0, -INF, 1.0, NAN),
    (0.0, -INF, 1.0, -INF),
    (1.0, INF, 1.0, INF),
    (0.3, 2.0, 0.0, 2.0),
    (0.0, INF, 0.0, INF),              # zero scale is decided before p = 0
    (0.3, 0.0, INF, NAN),
    (0.0, 0.0, INF, NAN),              # infinite scale before p = 0
    (1.5, 0.0, 1.0, NAN),
    (1.5, 0.0, 0.0, NAN),              # range checks before zero scale
    (-0.1, 0.0, 1.0, NAN),
    (NAN, 0.0, 0.0, NAN),
    (0.3, NAN, 1.0, NAN),
    (0.3, 0.0, NAN, NAN),
    (0.3, 0.0, -1.0, NAN),
    (0.3, INF, 1.0, INF),
]


@pytest.mark.parametrize("p", [1e-17, 5e-17])   # 1 + (2p - 1) below 2^-52
def test_qnorm_below_eps_fixed_depth(kernels, p):
    # The fixed-depth quantile is -inf; the module gives the converged one.
    assert kernels.k_qnorm_fixed(p, 0.0, 1.0) == -INF


QLNORM_CASES = [
    (0.0, 0.0, 1.0, 0.0),
    (1.0, 0.0, 1.0, INF),
    (0.4, 1.0, 0.0, 2.718281828459045),   # e^mu
    (0.5, 0.0, 1.0, 1.0),
    (0.3, 0.0, INF, NAN),
    (0.0, INF, 1.0, NAN),
    (1.0, -INF, 1.0, NAN),
    (1.5, 0.0, 1.0, NAN),
    (-0.5, 0.0, 0.0, NAN),
    (NAN, 0.0, 1.0, NAN),
    (0.3, NAN, 1.0, NAN),
    (0.3, 0.0, -2.0, NAN),
]


SPECIAL = [(n, c) for n, cases in [("dnorm", DNORM_CASES), ("dlnorm", DLNORM_CASES), ("pnorm", PNORM_CASES),
                                    ("plnorm", PLNORM_CASES), ("qnorm", QNORM_CASES), ("qlnorm", QLNORM_CASES)]
           for c in cases]


@pytest.mark.parametrize("name, case", SPECIAL, ids=[f"{n}{c}" for n, c in SPECIAL])
def test_special_values(name, case):
    *args, expected = case
    assert same_value_and_sign(getattr(distmill, name)(*args), expected)


def test_dnorm_at_the_mode():
    assert rel_err(distmill.dnorm(0.0), 1 / mp.sqrt(2 * mp.pi)) <= 2 * ULP


# ------------------------------------------------------- documented limits


def test_pnorm_lower_tail_vanishes_near_9_2_sd(kernels):
    # 1 - erf(z) in extended precision rounds to 0 once erfc(z) < 2^-65
    # (the fixed-depth form; the module replaces these tails by converged
    # values)
    assert kernels.k_pnorm_fixed(-9.2, 0.0, 1.0) > 0
    assert kernels.k_pnorm_fixed(-9.25, 0.0, 1.0) == 0
    assert kernels.k_pnorm_fixed(10.0 - 9.25 * 3.0, 10.0, 3.0) == 0


def test_pnorm_lower_tail_is_quantised(kernels):
    # the lower tail is (1 - erf)/2 with erf an extended number below 1:
    # a multiple of 2^-65, within half a step of the exact value
    xs = np.linspace(-9.2, -6.0, 200)
    got = [kernels.k_pnorm_fixed(x, 0.0, 1.0) for x in xs]
    for x, g in zip(xs, got):
        assert (g * 2.0 ** 65).is_integer()
        assert abs(mp.mpf(g) - mp.ncdf(float(x))) <= 2.0 ** -65


def test_pnorm_log_p_near_the_kernel_log_cut():
    # the log of the finished probability, and below 2^-52 the converged one
    v = distmill.pnorm(-8.1, log_p=True)
    assert abs(v - float(mp.log(mp.ncdf(-8.1)))) < 1e-4
    assert abs(distmill.pnorm(-8.15, log_p=True) - float(mp.log(mp.ncdf(-8.15)))) < 1e-12


def test_pnorm_upper_tail_rounds_to_one():
    assert distmill.pnorm(8.3) == 1.0


def test_qnorm_far_lower_tail_resolution(kernels):
    # 2p - 1 is formed in double before inverting erf (the fixed-depth form;
    # the module replaces it by the converged quantile)
    v = kernels.k_qnorm_fixed(1e-15, 0.0, 1.0)
    exact = float(mp.sqrt(2) * mp.erfinv(2 * mp.mpf(1e-15) - 1))  # -7.9413
    assert abs(v - (-7.9441)) < 1e-4
    assert abs(v - exact) > 2e-3
    assert math.isfinite(kernels.k_qnorm_fixed(1.2e-16, 0.0, 1.0))


def test_qnorm_largest_double_below_one_is_finite():
    v = distmill.qnorm(math.nextafter(1.0, 0.0))
    assert math.isfinite(v) and 8.0 < v < 8.4


def test_qlnorm_is_exp_of_qnorm(kernels):
    # the fixed-depth forms (the module checks both against converged values)
    ps = [1e-10, 0.01, 0.3, 0.5, 0.77, 0.999]
    q = [kernels.k_qnorm_fixed(p, 0.5, 2.0) for p in ps]
    assert [kernels.k_qlnorm_fixed(p, 0.5, 2.0) for p in ps] == [kernels.k_exp(v) for v in q]


# ------------------------------------------------------- accuracy vs mpmath


def _grid(lo, hi, n=60):
    rng = np.random.default_rng(11)
    z = np.linspace(lo, hi, n)
    mu = rng.uniform(-5, 5, n)
    sigma = 10.0 ** rng.uniform(-1, 1, n)
    return z, mu, sigma


@pytest.mark.parametrize("lo, hi, bound", [(-5, 5, 100 * ULP), (5, 37, 1e-12), (-37, -5, 1e-12)])
def test_dnorm_accuracy(lo, hi, bound):
    # the log-density k - z^2/2 is rounded before exponentiating, so the
    # relative error grows like z^2 ulps
    z, mu, sigma = _grid(lo, hi)
    x = mu + z * sigma
    got = distmill.dnorm(x, mu, sigma)
    for g, xi, m, s in zip(got, x, mu, sigma):
        assert rel_err(g, mp.npdf(float(xi), float(m), float(s))) <= bound


@pytest.mark.parametrize("lo, hi, bound", [
    (-1.0, 8.0, 2 * ULP),      # (1 + erf)/2 rounded once
    (-3.0, -1.0, 5e-13),       # small branch error, then cancellation
    (-6.0, -3.0, 5e-11),       # absolute accuracy ~1e-19 of the extended core
])
def test_pnorm_accuracy(lo, hi, bound):
    z, mu, sigma = _grid(lo, hi)
    x = mu + z * sigma
    got = distmill.pnorm(x, mu, sigma)
    for g, xi, m, s in zip(got, x, mu, sigma):
        assert rel_err(g, mp.ncdf(float(xi), float(m), float(s))) <= bound


def ext_round(v):
    """Round to the 64-bit significand (x87 extended), nearest-even."""
    with mp.workprec(64):
        return +mp.mpf(v)


SQRT2_EXT = ext_round(mp.sqrt(2))


def pnorm_model(kernels, x, mu, sigma):
    """The extended-precision recipe of the CDF: z = u/sqrt2 with the
    extended sqrt2, (1 +- erf_ext(|z|))/2 in extended, one rounding to double."""
    u = (x - mu) / sigma
    z = ext_round(mp.mpf(u) / SQRT2_EXT)
    a = abs(z)
    hi = float(a)
    lo = float(a - hi)
    e = mp.mpf(kernels.k_erf_ext2_hi(hi, lo)) + mp.mpf(kernels.k_erf_ext2_lo(hi, lo))
    s = ext_round(1 + e) if z > 0 else ext_round(1 - e)
    return float(ext_round(s * mp.mpf(0.5)))


def test_pnorm_core_bits(kernels):
    # catches a lost extended step (a double sqrt 2, a double sum) that the
    # accuracy bounds cannot see
    rng = np.random.default_rng(3)
    z = np.concatenate([rng.uniform(-9, 9, 150), rng.uniform(-0.5, 0.5, 50)])
    mu = rng.uniform(-3, 3, z.size)
    sigma = 10.0 ** rng.uniform(-1, 1, z.size)
    x = mu + z * sigma
    # the fixed-depth core (the module replaces its lower tail below -4.5
    # standard deviations by converged values)
    got = [kernels.k_pnorm_fixed(*a) for a in zip(x.tolist(), mu.tolist(), sigma.tolist())]
    assert got == [pnorm_model(kernels, *a) for a in zip(x.tolist(), mu.tolist(), sigma.tolist())]


def test_pnorm_core_is_extended():
    # a double core would leave Phi(-5) with an error of about 4e-10
    assert rel_err(distmill.pnorm(-5.0), mp.ncdf(-5.0)) < 1e-12


@pytest.mark.parametrize("lo, hi, bound", [(0.025, 0.975, 200 * ULP), (1e-6, 0.025, 5e-11)])
def test_qnorm_accuracy(lo, hi, bound):
    ps = np.geomspace(lo, hi, 60)
    for p in ps:
        p = float(p)
        for pp in (p, 1 - p):
            assert rel_err(distmill.qnorm(pp), mp.sqrt(2) * mp.erfinv(2 * mp.mpf(pp) - 1)) <= bound, pp


def test_lnorm_accuracy():
    rng = np.random.default_rng(5)
    z = rng.uniform(-4, 4, 60)
    mu = rng.uniform(-3, 3, 60)
    sigma = 10.0 ** rng.uniform(-1, 0.5, 60)
    x = np.exp(mu + z * sigma)
    d = distmill.dlnorm(x, mu, sigma)
    p = distmill.plnorm(x, mu, sigma)
    for di, pi_, xi, m, s in zip(d, p, x, mu, sigma):
        lx = mp.log(float(xi))
        assert rel_err(di, mp.npdf(lx, float(m), float(s)) / float(xi)) <= 1e-13
        assert rel_err(pi_, mp.ncdf(lx, float(m), float(s))) <= 2e-12
    ps = rng.uniform(0.02, 0.98, 30)
    for pv, m, s in zip(ps, mu, sigma):
        exact = mp.exp(float(m) + float(s) * mp.sqrt(2) * mp.erfinv(2 * mp.mpf(float(pv)) - 1))
        assert rel_err(distmill.qlnorm(pv, m, s), exact) <= 1e-13


@pytest.mark.parametrize("x", [5e-324, 1e-300, 0.5, 1 - 2.0 ** -53, 1.0, 1 + 2.0 ** -52, 0.7071067811865476,
                               1.4142135623730951, math.e, 1.0142320547350045e+304, 1.7976931348623157e308])
def test_log_pair_holds_twice_the_extended_precision(kernels, x):
    # ln x - mu of the log-normal law at a small sigma needs ln x beyond the
    # extended format's 2^-64 (the head and tail of the pair, each split in two)
    got = mp.fsum(mp.mpf(kernels.k_log_pair_part(x, i)) for i in range(4))
    want = mp.log(x)
    assert abs(got - want) <= 2.0 ** -120 * abs(want)


# ------------------------------------------------------- bindings


def test_defaults_are_standard():
    # (the signatures' defaults: test_module_table.py)
    assert distmill.dnorm(0.7) == distmill.dnorm(0.7, 0.0, 1.0, False)
    assert distmill.pnorm(x=0.7, sigma=2) == distmill.pnorm(0.7, 0, 2.0, False)
