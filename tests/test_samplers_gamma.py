"""The gamma sampler and the samplers built on it (chi-squared, inverse
gamma, beta, F, t) and the Poisson sampler: values bit for bit against a
reference transcription, the order and number of engine outputs, the
limits at infinite parameters, and a fixed-seed goodness-of-fit check.

Engine consumption is observed through the open uniform drawn right after
a call: it must equal the one the reference stream yields after the
expected draws."""
import json
import math
import os
import subprocess
import sys

import numpy as np
import pytest
from scipy import stats

import distmill
from distmill import Engine
from support.mt64 import MT64, canonical, standard_normal, uniform_open

inf, nan = math.inf, math.nan
M = math.nextafter(0.0, 1.0)
THIRD = 0.3333333333333333
BRANCHES = {"cut": 0, "reject": 0}  # how often the reference took each loop exit


def ref_gamma(shape, scale, gen):
    """Marsaglia-Tsang with boosting, transcribed with glibc's pow and log
    (math.pow, math.log) in the native grouping.  Finite shapes only."""
    if shape <= 1.0:
        u = canonical(gen)
        g = ref_gamma(shape + 1.0, scale, gen)
        exponent = inf if shape == 0.0 else 1.0 / shape
        return math.pow((1.0 - M) * u + M, exponent) * g
    d = shape - THIRD
    c = THIRD / math.sqrt(d)
    while True:
        z = standard_normal(gen)
        if z <= -1.0 / c:
            BRANCHES["cut"] += 1
            continue
        v = math.pow(c * z + 1.0, 3.0)
        u = (1.0 - M) * canonical(gen) + M
        log_v = math.log(v) if v > 0 else -inf
        if math.log(u) < z * (0.5 * z) + ((1.0 - v) + log_v) * d:
            return (d * v) * scale
        BRANCHES["reject"] += 1


def ref_chisq(dof, gen):
    return ref_gamma(dof * 0.5, 2.0, gen)


def normal_then_uniform(gen):
    """The draws of one first pass of the acceptance loop."""
    standard_normal(gen)
    canonical(gen)


def same(a, b):
    return np.array_equal(np.asarray(a, dtype=float), np.asarray(b, dtype=float), equal_nan=True)


def follow(engine):
    return distmill.runif(0.0, 1.0, engine)


def open_unit(gen):
    return uniform_open(0.0, 1.0, gen)


# --- bit-exact streams -------------------------------------------------------

# (sampler, parameters, reference value from a generator)
STREAMS = [
    ("rgamma", (2.0, 1.0), lambda g: ref_gamma(2.0, 1.0, g)),
    ("rgamma", (1.0001, 3.0), lambda g: ref_gamma(1.0001, 3.0, g)),
    ("rgamma", (7.25, 0.5), lambda g: ref_gamma(7.25, 0.5, g)),
    ("rgamma", (1e6, 1.0), lambda g: ref_gamma(1e6, 1.0, g)),
    ("rgamma", (1.0, 1.0), lambda g: ref_gamma(1.0, 1.0, g)),
    ("rgamma", (0.3, 2.5), lambda g: ref_gamma(0.3, 2.5, g)),
    ("rgamma", (0.0, 1.0), lambda g: ref_gamma(0.0, 1.0, g)),
    ("rgamma", (1e-20, 1.0), lambda g: ref_gamma(1e-20, 1.0, g)),
    ("rgamma", (3.0, 1e300), lambda g: ref_gamma(3.0, 1e300, g)),
    ("rchisq", (3.0,), lambda g: ref_chisq(3.0, g)),
    ("rchisq", (0.5,), lambda g: ref_chisq(0.5, g)),
    ("rinvgamma", (2.5, 1.5), lambda g: 1.0 / ref_gamma(2.5, 1.0 / 1.5, g)),
    ("rinvgamma", (0.7, 4.0), lambda g: 1.0 / ref_gamma(0.7, 0.25, g)),
    ("rbeta", (0.7, 2.5), lambda g: (lambda x, y: x / (y + x))(ref_gamma(0.7, 1.0, g), ref_gamma(2.5, 1.0, g))),
    ("rf", (4.0, 7.0), lambda g: (lambda a, b: ((7.0 / 4.0) * a) / b)(ref_chisq(4.0, g), ref_chisq(7.0, g))),
    ("rt", (5.0,), lambda g: (lambda z, v: z / math.sqrt(v / 5.0))(standard_normal(g), ref_chisq(5.0, g))),
    ("rt", (1.5,), lambda g: (lambda z, v: z / math.sqrt(v / 1.5))(standard_normal(g), ref_chisq(1.5, g))),
]


@pytest.mark.parametrize("name, params, ref", STREAMS)
@pytest.mark.parametrize("seed", [3, -2**31])
def test_stream_matches_reference(name, params, ref, seed):
    gen = MT64(seed)
    want = [ref(gen) for _ in range(300)]
    e = Engine(seed)
    assert same(getattr(distmill, name)(*params, 300, e), want)
    assert follow(e) == open_unit(gen)  # exactly the reference's outputs consumed


@pytest.mark.parametrize("rate", [0.5, 3.5, 10.5, 11.0, 40.0, 1e6])
def test_rpois_is_quantile_of_one_uniform(rate):
    gen = MT64(8)
    want = [distmill.qpois(open_unit(gen), rate) for _ in range(200)]
    e = Engine(8)
    assert same(distmill.rpois(rate, 200, e), want)
    assert follow(e) == open_unit(gen)


def test_streams_cover_both_loop_exits():
    # The streams above must exercise the cut z <= -1/c (no uniform drawn)
    # and the rejection after the uniform, or they would not check them.
    BRANCHES.update(cut=0, reject=0)
    gen = MT64(3)
    for _ in range(2000):
        ref_gamma(1.0001, 1.0, gen)
    assert BRANCHES["cut"] > 0 and BRANCHES["reject"] > 0


# --- draw order, observed with module draws on twin engines ------------------

# (sampler, parameters, the same value composed from separate module draws)
ORDER = [
    ("rt", (5.0,), lambda e: (lambda z, v: z / math.sqrt(v / 5.0))(
        distmill.rnorm(0.0, 1.0, e), distmill.rchisq(5.0, e))),
    ("rbeta", (0.5, 3.0), lambda e: (lambda x, y: x / (y + x))(
        distmill.rgamma(0.5, 1.0, e), distmill.rgamma(3.0, 1.0, e))),
    ("rf", (2.0, 9.0), lambda e: (lambda a, b: ((9.0 / 2.0) * a) / b)(
        distmill.rchisq(2.0, e), distmill.rchisq(9.0, e))),
    ("rchisq", (6.0,), lambda e: distmill.rgamma(3.0, 2.0, e)),
    ("rinvgamma", (3.0, 2.0), lambda e: 1.0 / distmill.rgamma(3.0, 0.5, e)),
    # Boosting: U first (the open uniform equals it unless U = 0), then the
    # draw of shape + 1.
    ("rgamma", (1.0, 1.0), lambda e: (lambda u, g: u * g)(
        distmill.runif(0.0, 1.0, e), distmill.rgamma(2.0, 1.0, e))),
    ("rgamma", (0.5, 2.0), lambda e: (lambda u, g: math.pow(u, 2.0) * g)(
        distmill.runif(0.0, 1.0, e), distmill.rgamma(1.5, 2.0, e))),
]


@pytest.mark.parametrize("name, params, compose", ORDER)
@pytest.mark.parametrize("seed", [1, 77, 2024])
def test_draw_order(name, params, compose, seed):
    f = getattr(distmill, name)
    e1, e2 = Engine(seed), Engine(seed)
    for _ in range(25):
        assert f(*params, e1) == compose(e2)
    assert follow(e1) == follow(e2)


# --- special values and consumption ------------------------------------------

def nothing(gen):
    pass


# (sampler, parameters, value, the reference draws the call consumes)
EDGE = [
    ("rgamma", (2.0, 0.0), nan, nothing),
    ("rgamma", (2.0, 1e-17), nan, nothing),
    ("rgamma", (-1.0, 1.0), nan, nothing),
    ("rgamma", (nan, 1.0), nan, nothing),
    ("rgamma", (1.0, nan), nan, nothing),
    ("rgamma", (0.0, 1.0), 0.0, lambda g: (canonical(g), canonical(g), ref_gamma(2.0, 1.0, g))),
    ("rgamma", (1e-300, 1.0), 0.0, lambda g: (canonical(g), canonical(g), ref_gamma(2.0, 1.0, g))),
    ("rchisq", (0.0,), 0.0, lambda g: ref_gamma(0.0, 2.0, g)),
    ("rchisq", (-1.0,), nan, nothing),
    ("rchisq", (nan,), nan, nothing),
    ("rinvgamma", (2.0, 0.0), 0.0, lambda g: ref_gamma(2.0, 1.0, g)),
    ("rinvgamma", (2.0, inf), nan, nothing),       # gamma scale 0
    ("rinvgamma", (2.0, 2.0**53), nan, nothing),   # gamma scale below EPS
    ("rinvgamma", (-1.0, 1.0), nan, nothing),
    ("rinvgamma", (1.0, -1.0), nan, nothing),
    ("rinvgamma", (nan, 1.0), nan, nothing),
    ("rbeta", (0.0, 0.0), nan, lambda g: (ref_gamma(0.0, 1.0, g), ref_gamma(0.0, 1.0, g))),
    ("rbeta", (0.0, 2.0), 0.0, lambda g: (ref_gamma(0.0, 1.0, g), ref_gamma(2.0, 1.0, g))),
    ("rbeta", (2.0, 0.0), 1.0, lambda g: (ref_gamma(2.0, 1.0, g), ref_gamma(0.0, 1.0, g))),
    ("rbeta", (-1.0, 1.0), nan, nothing),
    ("rbeta", (1.0, nan), nan, nothing),
    ("rf", (1e-17, 1.0), nan, nothing),
    ("rf", (1.0, 1e-17), nan, nothing),
    ("rf", (0.0, 1.0), nan, nothing),
    ("rf", (nan, 1.0), nan, nothing),
    ("rt", (1e-17,), nan, nothing),
    ("rt", (0.0,), nan, nothing),
    ("rt", (-inf,), nan, nothing),
    ("rt", (nan,), nan, nothing),
    ("rpois", (0.0,), 0.0, canonical),
    ("rpois", (1e-300,), 0.0, canonical),
    ("rpois", (-1.0,), nan, nothing),
    ("rpois", (-inf,), nan, nothing),
    ("rpois", (nan,), nan, nothing),
]


@pytest.mark.parametrize("name, params, value, draws", EDGE)
def test_special_values_and_consumption(name, params, value, draws):
    e, gen = Engine(31), MT64(31)
    assert same(getattr(distmill, name)(*params, e), value)
    draws(gen)
    assert follow(e) == open_unit(gen)


# --- infinite parameters and huge shapes, in a child process -----------------
# Each of these would loop forever (or returned NaN) if the acceptance test
# met 0 * inf; the child is killed by a timeout instead of hanging the suite.

def _tiny_boost_draws(n):
    return lambda g: [ref_gamma(1e-3, 1.0, g) for _ in range(n)]


# (sampler, parameters, count, reference: generator -> expected values)
LIMITS = [
    ("rgamma", (inf, 1.0), 1, lambda g: (normal_then_uniform(g), [inf])[1]),
    ("rgamma", (inf, inf), 1, lambda g: (normal_then_uniform(g), [inf])[1]),
    ("rgamma", (inf, 1e-10), 1, lambda g: (normal_then_uniform(g), [inf])[1]),
    ("rgamma", (0.0, inf), 1, lambda g: (ref_gamma(0.0, 1.0, g), [inf])[1]),
    ("rgamma", (5.0, inf), 1, lambda g: (ref_gamma(5.0, 1.0, g), [inf])[1]),
    # U^1000 underflows for about half the uniforms: still +inf, never NaN.
    ("rgamma", (1e-3, inf), 200, lambda g: (_tiny_boost_draws(200)(g), [inf] * 200)[1]),
    ("rchisq", (inf,), 1, lambda g: (normal_then_uniform(g), [inf])[1]),
    ("rinvgamma", (inf, 2.0), 1, lambda g: (normal_then_uniform(g), [0.0])[1]),
    ("rinvgamma", (inf, 0.0), 1, lambda g: (normal_then_uniform(g), [0.0])[1]),
    ("rinvgamma", (1e-3, 0.0), 200, lambda g: (_tiny_boost_draws(200)(g), [0.0] * 200)[1]),
    ("rinvgamma", (0.0, 0.0), 1, lambda g: (ref_gamma(0.0, 1.0, g), [0.0])[1]),
    ("rbeta", (inf, 2.0), 1, lambda g: (normal_then_uniform(g), ref_gamma(2.0, 1.0, g), [1.0])[2]),
    ("rbeta", (inf, 0.0), 1, lambda g: (normal_then_uniform(g), ref_gamma(0.0, 1.0, g), [1.0])[2]),
    ("rbeta", (2.0, inf), 1, lambda g: (ref_gamma(2.0, 1.0, g), normal_then_uniform(g), [0.0])[2]),
    ("rbeta", (inf, inf), 1, lambda g: (normal_then_uniform(g), normal_then_uniform(g), [0.5])[2]),
    ("rf", (inf, 4.0), 1, lambda g: (normal_then_uniform(g), [4.0 / ref_chisq(4.0, g)])[1]),
    ("rf", (3.0, inf), 1, lambda g: (lambda x1: (normal_then_uniform(g), [x1 / 3.0])[1])(ref_chisq(3.0, g))),
    ("rf", (inf, inf), 1, lambda g: (normal_then_uniform(g), normal_then_uniform(g), [1.0])[2]),
    ("rt", (inf,), 1, lambda g: (lambda z: (normal_then_uniform(g), [z])[1])(standard_normal(g))),
    ("rpois", (inf,), 3, lambda g: [(canonical(g), inf)[1] for _ in range(3)]),
    # Huge finite shapes: c z + 1 rounds to 1 (or close to it) and the loop
    # still ends; the largest shape overflows d v scale to +inf.
    ("rgamma", (1e32, 1.0), 50, lambda g: [ref_gamma(1e32, 1.0, g) for _ in range(50)]),
    ("rgamma", (1e300, 1.0), 50, lambda g: [ref_gamma(1e300, 1.0, g) for _ in range(50)]),
    ("rgamma", (1.7976931348623157e308, 2.0), 5,
     lambda g: [ref_gamma(1.7976931348623157e308, 2.0, g) for _ in range(5)]),
    ("rt", (1e300,), 20, lambda g: [(lambda z, v: z / math.sqrt(v / 1e300))(standard_normal(g), ref_chisq(1e300, g))
                                    for _ in range(20)]),
]

CHILD = """
import json, sys
import distmill as d
out = []
for name, params, n in json.loads(sys.stdin.read()):
    e = d.Engine(41)
    f = getattr(d, name)
    values = f(*params, n, e).tolist()
    out.append([values, d.runif(0.0, 1.0, e)])
print(json.dumps(out))
"""


@pytest.fixture(scope="module")
def limit_results():
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        [os.path.dirname(distmill.__file__)] + [p for p in [env.get("PYTHONPATH")] if p])
    cases = json.dumps([[name, list(params), n] for name, params, n, _ in LIMITS])
    try:
        proc = subprocess.run([sys.executable, "-c", CHILD], input=cases, capture_output=True, text=True,
                              env=env, timeout=60)
    except subprocess.TimeoutExpired:
        pytest.fail("a sampler with infinite or huge parameters did not terminate")
    assert proc.returncode == 0, proc.stderr
    return json.loads(proc.stdout)


@pytest.mark.parametrize("i", range(len(LIMITS)), ids=[f"{c[0]}{c[1]}" for c in LIMITS])
def test_infinite_and_huge_parameters(limit_results, i):
    _, _, _, ref = LIMITS[i]
    values, after = limit_results[i]
    gen = MT64(41)
    assert same(values, ref(gen))
    assert after == open_unit(gen)


# --- fixed-seed goodness of fit ----------------------------------------------

N = 3000
KS_BOUND = 1.95 / math.sqrt(N)  # the 0.1% critical value


@pytest.mark.parametrize("name, params, dist", [
    ("rgamma", (0.4, 2.0), stats.gamma(0.4, scale=2.0)),
    ("rgamma", (3.5, 0.5), stats.gamma(3.5, scale=0.5)),
    ("rchisq", (3.0,), stats.chi2(3.0)),
    ("rinvgamma", (2.5, 1.5), stats.invgamma(2.5, scale=1.5)),
    ("rbeta", (0.7, 2.5), stats.beta(0.7, 2.5)),
    ("rf", (4.0, 7.0), stats.f(4.0, 7.0)),
    ("rt", (5.0,), stats.t(5.0)),
    ("rt", (0.8,), stats.t(0.8)),
])
def test_continuous_fit(name, params, dist):
    x = getattr(distmill, name)(*params, N, Engine(2718))
    assert stats.kstest(x, dist.cdf).statistic < KS_BOUND


@pytest.mark.parametrize("rate", [3.5, 25.0])
def test_poisson_fit(rate):
    x = distmill.rpois(rate, N, Engine(1414))
    assert np.all(x == np.floor(x)) and x.min() >= 0
    top = int(x.max())
    expected = N * stats.poisson.pmf(np.arange(top + 1), rate)
    expected[-1] += N * stats.poisson.sf(top, rate)
    observed = np.bincount(x.astype(int), minlength=top + 1)
    keep = expected >= 5  # pool the sparse tail cells
    obs = np.append(observed[keep], observed[~keep].sum())
    exp = np.append(expected[keep], expected[~keep].sum())
    chi2 = np.sum((obs - exp) ** 2 / exp)
    assert chi2 < stats.chi2.ppf(0.999, len(exp) - 1)
