"""The samplers: their values bit for bit against the reference
transcription, the number of engine outputs each call consumes, their
special cases, and a fixed-seed goodness-of-fit check per distribution."""
import math

import numpy as np
import pytest
from scipy import stats

import distmill
from distmill import Engine
from support.mt64 import MT64, standard_normal, uniform_open

inf, nan = math.inf, math.nan


def open_unit(gen):
    return uniform_open(0.0, 1.0, gen)


def consumed(call, seed=31):
    """(value of call(engine), engine outputs it consumed).  The open
    uniform drawn right afterwards is located in the reference stream."""
    e = Engine(seed)
    value = call(e)
    follow = distmill.runif(0.0, 1.0, e)
    ref = MT64(seed)
    stream = [open_unit(ref) for _ in range(80)]
    return value, stream.index(follow)


def same(a, b):
    return np.array_equal(np.asarray(a, dtype=float), np.asarray(b, dtype=float), equal_nan=True)


# --- streams against the reference -----------------------------------------

@pytest.mark.parametrize("seed", [1, 0, -1, 2**31 - 1, -2**31, 987654])
@pytest.mark.parametrize("a, b", [(0.0, 1.0), (-3.0, 7.5), (1e-300, 2e-300), (-inf, 0.0)])
def test_runif_stream(seed, a, b):
    ref = MT64(seed)
    assert same(distmill.runif(a, b, 40, Engine(seed)), [uniform_open(a, b, ref) for _ in range(40)])


@pytest.mark.parametrize("seed", [1, -7, 2**31 - 1])
@pytest.mark.parametrize("mu, sigma", [(0.0, 1.0), (3.0, 0.25), (-1e3, 1e5)])
def test_rnorm_stream(seed, mu, sigma):
    # 400 draws include about a hundred rejected pairs; the uniform drawn
    # afterwards shows that exactly the reference's outputs were consumed.
    ref = MT64(seed)
    want = [standard_normal(ref) * sigma + mu for _ in range(400)]
    e = Engine(seed)
    assert same(distmill.rnorm(mu, sigma, 400, e), want)
    assert ref.outputs % 2 == 0 and ref.outputs > 800
    assert distmill.runif(0.0, 1.0, e) == open_unit(ref)


def test_rnorm_each_call_consumes_an_even_count():
    e, ref = Engine(12), MT64(12)
    for _ in range(200):
        before = ref.outputs
        assert distmill.rnorm(0.0, 1.0, e) == standard_normal(ref)
        assert (ref.outputs - before) % 2 == 0
    assert distmill.runif(0.0, 1.0, e) == open_unit(ref)


def test_rlnorm_stream(kernels):
    ref = MT64(5)
    want = [kernels.k_exp(standard_normal(ref) * 0.6 + 0.3) for _ in range(100)]
    assert same(distmill.rlnorm(0.3, 0.6, 100, Engine(5)), want)


@pytest.mark.parametrize("prob", [0.0, 0.25, 0.5, 0.9, 1.0])
def test_rbern_stream(prob):
    ref = MT64(17)
    want = [1.0 if open_unit(ref) <= prob else 0.0 for _ in range(60)]
    assert same(distmill.rbern(prob, 60, Engine(17)), want)


@pytest.mark.parametrize("n, prob", [(1, 0.5), (7, 0.3), (25, 0.8), (3, 0.0), (4, 1.0)])
def test_rbinom_stream(n, prob):
    ref = MT64(19)
    want = [float(sum(open_unit(ref) <= prob for _ in range(n))) for _ in range(30)]
    e = Engine(19)
    assert same(distmill.rbinom(n, prob, 30, e), want)
    assert distmill.runif(0.0, 1.0, e) == open_unit(ref)  # exactly n outputs per value


@pytest.mark.parametrize("name, quantile, params", [
    ("rexp", "qexp", (1.5,)),
    ("rexp", "qexp", (1e-300,)),
    ("rcauchy", "qcauchy", (2.0, 0.5)),
    ("rlaplace", "qlaplace", (-1.0, 3.0)),
    ("rlogis", "qlogis", (4.0, 0.1)),
    ("rweibull", "qweibull", (0.7, 2.0)),
    ("rweibull", "qweibull", (5.0, 1e3)),
])
def test_inversion_stream(name, quantile, params):
    ref = MT64(23)
    q = getattr(distmill, quantile)
    want = [q(open_unit(ref), *params) for _ in range(50)]
    assert same(getattr(distmill, name)(*params, 50, Engine(23)), want)


def test_rexp_is_minus_log_of_complement(kernels):
    ref = MT64(29)
    want = [-kernels.k_log(1 - open_unit(ref)) / 2.0 for _ in range(50)]
    assert same(distmill.rexp(2.0, 50, Engine(29)), want)


def test_seeds_give_different_streams():
    streams = {tuple(distmill.runif(0.0, 1.0, 4, Engine(s)).tolist()) for s in (0, -1, 2**31 - 1, -2**31, 1)}
    assert len(streams) == 5


# --- special values and consumption ----------------------------------------

EDGE = [
    # (sampler, parameters, value or None for "a reference normal", outputs)
    ("rnorm", (0.0, -1.0), nan, 0),
    ("rnorm", (nan, 1.0), nan, 0),
    ("rnorm", (0.0, nan), nan, 0),
    ("rlnorm", (0.0, -1.0), nan, 0),
    ("rlnorm", (nan, 1.0), nan, 0),
    ("runif", (1.0, 1.0), nan, 0),
    ("runif", (2.0, 1.0), nan, 0),
    ("runif", (nan, 1.0), nan, 0),
    ("runif", (0.0, nan), nan, 0),
    ("rbern", (0.0,), 0.0, 1),
    ("rbern", (1.0,), 1.0, 1),
    ("rbern", (1.5,), nan, 0),
    ("rbern", (-0.1,), nan, 0),
    ("rbern", (inf,), nan, 0),
    ("rbern", (nan,), nan, 0),
    ("rbinom", (0, 0.5), 0.0, 0),
    ("rbinom", (0, nan), nan, 0),
    ("rbinom", (-1, 0.5), nan, 0),
    ("rbinom", (10, 1.0), 10.0, 10),
    ("rbinom", (10, 0.0), 0.0, 10),
    ("rbinom", (5, -inf), nan, 0),
    ("rbinom", (5, 1.0000000000000002), nan, 0),
    ("rexp", (nan,), nan, 0),
    ("rexp", (-1.0,), nan, 0),
    ("rexp", (0.0,), inf, 1),
    ("rexp", (inf,), 0.0, 1),
    ("rcauchy", (0.0, inf), nan, 1),
    ("rcauchy", (5.0, 0.0), 5.0, 1),
    ("rcauchy", (0.0, -1.0), nan, 0),
    ("rcauchy", (nan, 1.0), nan, 0),
    ("rlaplace", (0.0, inf), nan, 1),
    ("rlaplace", (2.0, 0.0), 2.0, 1),
    ("rlaplace", (0.0, -1.0), nan, 0),
    ("rlogis", (0.0, inf), nan, 1),
    ("rlogis", (-3.0, 0.0), -3.0, 1),
    ("rlogis", (0.0, nan), nan, 0),
    ("rweibull", (inf, 2.5), 2.5, 1),
    ("rweibull", (1e-17, 1.0), nan, 0),
    ("rweibull", (1.0, 1e-17), nan, 0),
    ("rweibull", (nan, 1.0), nan, 0),
    ("rweibull", (1.0, nan), nan, 0),
]


@pytest.mark.parametrize("name, params, value, outputs", EDGE)
def test_special_values_and_consumption(name, params, value, outputs):
    got, used = consumed(lambda e: getattr(distmill, name)(*params, e))
    assert same(got, value)
    assert used == outputs


@pytest.mark.parametrize("seed", [31, 2, 3])
def test_rnorm_zero_sigma_still_draws(seed):
    ref = MT64(seed)
    standard_normal(ref)
    got, used = consumed(lambda e: distmill.rnorm(0.0, 0.0, e), seed)
    assert got == 0.0 and used == ref.outputs and used >= 2


# --- fixed-seed goodness of fit ----------------------------------------------

N = 3000
KS_BOUND = 1.95 / math.sqrt(N)  # the 0.1% critical value


@pytest.mark.parametrize("name, params, cdf", [
    ("rnorm", (1.0, 2.0), lambda x: 0.5 * math.erfc(-(x - 1.0) / (2.0 * math.sqrt(2)))),
    ("rlnorm", (0.5, 0.4), lambda x: 0.5 * math.erfc(-(math.log(x) - 0.5) / (0.4 * math.sqrt(2)))),
    ("runif", (-1.0, 3.0), lambda x: (x + 1.0) / 4.0),
    ("rexp", (2.5,), lambda x: -math.expm1(-2.5 * x)),
    ("rcauchy", (1.0, 0.5), lambda x: 0.5 + math.atan((x - 1.0) / 0.5) / math.pi),
    ("rlaplace", (-2.0, 1.5), lambda x: 0.5 * math.exp((x + 2.0) / 1.5) if x < -2.0
     else 1.0 - 0.5 * math.exp(-(x + 2.0) / 1.5)),
    ("rlogis", (3.0, 0.7), lambda x: 1.0 / (1.0 + math.exp(-(x - 3.0) / 0.7))),
    ("rweibull", (1.8, 2.0), lambda x: -math.expm1(-((x / 2.0) ** 1.8))),
])
def test_continuous_fit(name, params, cdf):
    x = np.sort(getattr(distmill, name)(*params, N, Engine(2718)))
    f = np.array([cdf(v) for v in x])
    i = np.arange(1, N + 1)
    ks = max(np.max(i / N - f), np.max(f - (i - 1) / N))
    assert ks < KS_BOUND


@pytest.mark.parametrize("n, prob", [(1, 0.3), (7, 0.4), (20, 0.9)])
def test_binomial_fit(n, prob):
    name, params = ("rbern", (prob,)) if n == 1 else ("rbinom", (n, prob))
    x = getattr(distmill, name)(*params, N, Engine(1414))
    assert set(np.unique(x)) <= set(range(n + 1))
    expected = N * stats.binom.pmf(np.arange(n + 1), n, prob)
    observed = np.bincount(x.astype(int), minlength=n + 1)
    keep = expected >= 5  # pool the sparse tail cells
    obs = np.append(observed[keep], observed[~keep].sum())
    exp = np.append(expected[keep], expected[~keep].sum())
    if exp[-1] == 0:
        obs, exp = obs[:-1], exp[:-1]
    chi2 = np.sum((obs - exp) ** 2 / exp)
    assert chi2 < stats.chi2.ppf(0.999, len(exp) - 1)
