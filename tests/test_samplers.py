"""The samplers: their values bit for bit against reference
transcriptions (support/mt64.py for the engine and primitive draws, the
gamma sampler below), the order and number of engine outputs each call
consumes, their special cases and limits at infinite parameters, and a
fixed-seed goodness-of-fit check per distribution.

Engine consumption is observed through the open uniform drawn right after
a call: it must equal the one the reference stream yields after the
expected draws."""
import json
import math

import numpy as np
import pytest
from scipy import stats

import distmill
from distmill import Engine
from support.child import run_python
from support.equality import same_value_or_both_nan
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


def follow(engine):
    return distmill.runif(0.0, 1.0, engine)


def open_unit(gen):
    return uniform_open(0.0, 1.0, gen)


# --- streams against the reference -----------------------------------------

@pytest.mark.parametrize("seed", [1, 0, -1, 2**31 - 1, -2**31, 987654])
@pytest.mark.parametrize("a, b", [(0.0, 1.0), (-3.0, 7.5), (1e-300, 2e-300), (-inf, 0.0)])
def test_runif_stream(seed, a, b):
    ref = MT64(seed)
    assert same_value_or_both_nan(distmill.runif(a, b, 40, Engine(seed)), [uniform_open(a, b, ref) for _ in range(40)])


@pytest.mark.parametrize("seed", [1, -7, 2**31 - 1])
@pytest.mark.parametrize("mu, sigma", [(0.0, 1.0), (3.0, 0.25), (-1e3, 1e5)])
def test_rnorm_stream(seed, mu, sigma):
    # 400 draws include about a hundred rejected pairs; the uniform drawn
    # afterwards shows that exactly the reference's outputs were consumed.
    ref = MT64(seed)
    want = [standard_normal(ref) * sigma + mu for _ in range(400)]
    e = Engine(seed)
    assert same_value_or_both_nan(distmill.rnorm(mu, sigma, 400, e), want)
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
    assert same_value_or_both_nan(distmill.rlnorm(0.3, 0.6, 100, Engine(5)), want)


@pytest.mark.parametrize("prob", [0.0, 0.25, 0.5, 0.9, 1.0])
def test_rbern_stream(prob):
    ref = MT64(17)
    want = [1.0 if open_unit(ref) <= prob else 0.0 for _ in range(60)]
    assert same_value_or_both_nan(distmill.rbern(prob, 60, Engine(17)), want)


@pytest.mark.parametrize("n, prob", [(1, 0.5), (7, 0.3), (25, 0.8), (3, 0.0), (4, 1.0)])
def test_rbinom_stream(n, prob):
    ref = MT64(19)
    want = [float(sum(open_unit(ref) <= prob for _ in range(n))) for _ in range(30)]
    e = Engine(19)
    assert same_value_or_both_nan(distmill.rbinom(n, prob, 30, e), want)
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
    assert same_value_or_both_nan(getattr(distmill, name)(*params, 50, Engine(23)), want)


def test_rexp_is_minus_log_of_complement(kernels):
    ref = MT64(29)
    want = [-kernels.k_log(1 - open_unit(ref)) / 2.0 for _ in range(50)]
    assert same_value_or_both_nan(distmill.rexp(2.0, 50, Engine(29)), want)


def test_seeds_give_different_streams():
    streams = {tuple(distmill.runif(0.0, 1.0, 4, Engine(s)).tolist()) for s in (0, -1, 2**31 - 1, -2**31, 1)}
    assert len(streams) == 5


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
    assert same_value_or_both_nan(getattr(distmill, name)(*params, 300, e), want)
    assert follow(e) == open_unit(gen)  # exactly the reference's outputs consumed


@pytest.mark.parametrize("rate", [0.5, 3.5, 10.5, 11.0, 40.0, 1e6])
def test_rpois_is_quantile_of_one_uniform(rate):
    gen = MT64(8)
    want = [distmill.qpois(open_unit(gen), rate) for _ in range(200)]
    e = Engine(8)
    assert same_value_or_both_nan(distmill.rpois(rate, 200, e), want)
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


# (sampler, parameters, value, the reference draws the call consumes: a number
# of engine outputs or a function of the reference generator)
EDGE = [
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
    assert same_value_or_both_nan(getattr(distmill, name)(*params, e), value)
    if callable(draws):
        draws(gen)
    else:
        for _ in range(draws):
            gen()
    assert follow(e) == open_unit(gen)


@pytest.mark.parametrize("seed", [31, 2, 3])
def test_rnorm_zero_sigma_still_draws(seed):
    e, ref = Engine(seed), MT64(seed)
    assert distmill.rnorm(0.0, 0.0, e) == 0.0
    standard_normal(ref)
    assert ref.outputs >= 2 and follow(e) == open_unit(ref)


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
    # A sampler with infinite or huge parameters that does not terminate
    # fails every case.
    cases = json.dumps([[name, list(params), n] for name, params, n, _ in LIMITS])
    return json.loads(run_python(CHILD, timeout=60, input=cases))


@pytest.mark.parametrize("i", range(len(LIMITS)), ids=[f"{c[0]}{c[1]}" for c in LIMITS])
def test_infinite_and_huge_parameters(limit_results, i):
    _, _, _, ref = LIMITS[i]
    values, after = limit_results[i]
    gen = MT64(41)
    assert same_value_or_both_nan(values, ref(gen))
    assert after == open_unit(gen)


# --- fixed-seed goodness of fit ----------------------------------------------

N = 3000
KS_BOUND = 1.95 / math.sqrt(N)  # the 0.1% critical value


@pytest.mark.parametrize("name, params, dist", [
    ("rnorm", (1.0, 2.0), stats.norm(1.0, 2.0)),
    ("rlnorm", (0.5, 0.4), stats.lognorm(0.4, scale=math.exp(0.5))),
    ("runif", (-1.0, 3.0), stats.uniform(-1.0, 4.0)),
    ("rexp", (2.5,), stats.expon(scale=1 / 2.5)),
    ("rcauchy", (1.0, 0.5), stats.cauchy(1.0, 0.5)),
    ("rlaplace", (-2.0, 1.5), stats.laplace(-2.0, 1.5)),
    ("rlogis", (3.0, 0.7), stats.logistic(3.0, 0.7)),
    ("rweibull", (1.8, 2.0), stats.weibull_min(1.8, scale=2.0)),
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


@pytest.mark.parametrize("name, params, dist", [
    ("rbern", (0.3,), stats.bernoulli(0.3)),
    ("rbinom", (7, 0.4), stats.binom(7, 0.4)),
    ("rbinom", (20, 0.9), stats.binom(20, 0.9)),
    ("rpois", (3.5,), stats.poisson(3.5)),
    ("rpois", (25.0,), stats.poisson(25.0)),
])
def test_discrete_fit(name, params, dist):
    x = getattr(distmill, name)(*params, N, Engine(1414))
    assert np.all(x == np.floor(x)) and x.min() >= 0
    top = int(x.max())
    if name != "rpois":
        assert top <= dist.support()[1]
    expected = N * dist.pmf(np.arange(top + 1))
    expected[-1] += N * dist.sf(top)
    observed = np.bincount(x.astype(int), minlength=top + 1)
    keep = expected >= 5  # pool the sparse tail cells
    obs = np.append(observed[keep], observed[~keep].sum())
    exp = np.append(expected[keep], expected[~keep].sum())
    if exp[-1] == 0:
        obs, exp = obs[:-1], exp[:-1]
    chi2 = np.sum((obs - exp) ** 2 / exp)
    assert chi2 < stats.chi2.ppf(0.999, len(exp) - 1)
