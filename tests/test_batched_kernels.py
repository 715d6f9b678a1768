"""The logarithms and exponentials of the incomplete gamma quadrature are
evaluated in batches across its nodes, and e^n for common n is read from a
table; both must give the scalar kernels' values in every bit, whichever of
the two compilations of the batched fractions the processor selects.  The
kernels on packs (cxmath/lanes/) and the array calls built on them must give
the scalar kernels' and functions' bits on every instruction set the
processor has, and on the scalar lane type."""
import functools

import pytest


@pytest.mark.parametrize("what, label", [(0, "log_lanes"), (1, "exp_lanes"), (3, "extended groups")])
def test_batched_elementary_kernels_equal_scalar_ones(kernels, what, label):
    # 4000 batches each of 1, 7 and 50 lanes: 232,000 arguments, covering
    # every guard, both branches and arbitrary bit patterns; for the
    # extended kernels in groups, 4000 groups each of erf_ext (either side of
    # its switch) and of the tangent's fraction (each depth), 1 to 9 wide.
    assert kernels.k_lanes_mismatches(what, 4000, 11) == 0, label


@pytest.mark.parametrize("what, label", [(0, "log fraction"), (1, "exp fraction")])
def test_baseline_and_avx2_clones_agree(kernels, what, label):
    # The module runs one of two compilations of the batched fractions,
    # chosen by the processor; both must give the same bits.
    bad = kernels.k_lanes_isa_mismatches(what, 4000, 13)
    if bad < 0:
        pytest.skip("no AVX2 on this processor")
    assert bad == 0, label


def test_quadrature_equals_node_by_node_evaluation(kernels):
    assert kernels.k_lanes_mismatches(2, 3000, 12) == 0


def test_exp_integer_table_equals_run_time_squaring(kernels):
    assert kernels.k_exp_integer_table_mismatches() == 0


# ---- kernels and array calls on packs --------------------------------------

ISAS = {1: "sse2", 2: "avx2", 3: "avx512"}


@pytest.mark.parametrize("isa", ISAS, ids=ISAS.values())
@pytest.mark.parametrize("what, label", [(0, "log"), (1, "exp"), (2, "log_core"), (3, "pack operations"),
                                         (4, "expm1"), (5, "log1p"), (6, "tanh fraction"),
                                         (7, "erf given exp"), (8, "beta inverse refinement"),
                                         (9, "sqrt"), (10, "atan")])
def test_pack_kernels_equal_scalar_ones(kernels, what, label, isa):
    # 3000 packs of the module's interleave and 3000 of one register, each
    # lane against the scalar kernel (tools/check/lanes_identity.py runs
    # 10^7 arguments per kernel and width).
    bad = kernels.k_pack_mismatches(what, 3000, 21 + what, isa)
    if bad < 0:
        pytest.skip(f"no {ISAS[isa]} on this processor")
    assert bad == 0, label


# The array calls with lane kernels, on inputs that reach every guard and
# branch of their scalar functions: special values and arbitrary bit
# patterns in every argument, fixed parameters and parameters per element,
# flags fixed and mixed, contiguous, Fortran-ordered, broadcast and strided
# layouts.  The script prints the lanes in use and a digest of the bits.
LANE_DIGEST = r"""
import hashlib
import numpy as np
import distmill as dm

rng = np.random.default_rng(11)
SPECIAL = np.array([np.nan, -np.inf, np.inf, 0.0, -0.0, 5e-324, 1e-300, 2.0**-52, 2.0**-53, 0.5, 1 - 2.0**-53, 1.0,
                    1 + 2.0**-52, 1.5, 2.0, 10.0, 709.78, 745.2, 2.0**31, 1e300, 1.7976931348623157e308,
                    -1.0, -2.0**-52, -3.5,
                    # either side of the gamma density's checked region:
                    # small shapes, terms of the log-density beyond 1e4
                    0.99e-4, 1e-4, 9e3, 1.1e4, 1e6,
                    # the beta density's shape bounds (1e-5; M ln M = 1e4
                    # near M = 1383) and the F density's ratio bound
                    0.99e-5, 1e-5, 1380.0, 1390.0, 2e5])

def column(n):
    kind = rng.integers(0, 4, n)
    special = SPECIAL[rng.integers(0, SPECIAL.size, n)]
    bits = rng.integers(0, 2**64, n, dtype=np.uint64).view(np.float64)
    ordinary = np.exp(rng.uniform(-8, 8, n)) * rng.choice([-1.0, 1.0, 1.0, 1.0], n)
    return np.where(kind == 0, special, np.where(kind == 1, bits, ordinary))

h = hashlib.sha256()
def add(a):
    h.update(np.ascontiguousarray(a, dtype=np.float64).tobytes())

n = 30011
flags = rng.integers(0, 2, n).astype(bool)
for fn, params in ((dm.dnorm, 2), (dm.dexp, 1), (dm.dgamma, 2), (dm.dlnorm, 2), (dm.dchisq, 1), (dm.dinvgamma, 2),
                   (dm.pgamma, 2), (dm.pchisq, 1), (dm.dbeta, 2), (dm.dt, 1), (dm.df, 2),
                   (dm.pnorm, 2), (dm.plnorm, 2), (dm.pinvgamma, 2),
                   (dm.pbeta, 2), (dm.pt, 1), (dm.pf, 2)):
    x = column(n)
    cols = [column(n) for _ in range(params)]
    fixed = [2.5, 0.75][:params]
    for flag in (False, True, flags):
        add(fn(x, *cols, flag))                   # every argument per element
        add(fn(x, *fixed, flag))                  # fixed parameters
        for j in range(params):                   # one parameter per element
            add(fn(abs(x[:2000]) + 0.5, *[cols[k][:2000] if k == j else fixed[k] for k in range(params)], flag[:2000] if flag is flags else flag))
    grid = np.ix_(SPECIAL, *[SPECIAL] * params)
    add(fn(*grid))
    add(fn(*grid, True))
    add(fn(np.asfortranarray(x[:30000].reshape(100, 300)), *fixed))
    add(fn(x[::7], *fixed))
    add(fn(x[:3000].reshape(3000, 1), *[c[:50] for c in cols]))
# The closed-form families' d, p and q functions: (function, parameters,
# whether it takes the log flag).
for fn, params, flagged in ((dm.dunif, 2, True), (dm.punif, 2, True), (dm.qunif, 2, False),
                            (dm.dlaplace, 2, True), (dm.plaplace, 2, True), (dm.qlaplace, 2, False),
                            (dm.dlogis, 2, True), (dm.plogis, 2, True), (dm.qlogis, 2, False),
                            (dm.pexp, 1, True), (dm.qexp, 1, False),
                            (dm.dweibull, 2, True), (dm.pweibull, 2, True), (dm.qweibull, 2, False),
                            (dm.dcauchy, 2, True), (dm.pcauchy, 2, True), (dm.qcauchy, 2, False)):
    x = column(n) if flagged else np.where(rng.integers(0, 3, n) == 0, column(n), rng.uniform(0, 1, n))
    cols = [column(n) for _ in range(params)]
    fixed = [-0.5, 2.5][-params:]
    for flag in ((False, True, flags) if flagged else (None,)):
        extra = () if flag is None else (flag,)
        add(fn(x, *cols, *extra))
        add(fn(x, *fixed, *extra))
        add(fn(x, *[abs(c) for c in cols], *extra))
    grid = np.ix_(SPECIAL, *[SPECIAL] * params)
    add(fn(*grid))
    if flagged:
        add(fn(*grid, True))
    add(fn(x[::7], *fixed))
# The iterative quantiles, whose lanes each run their own refinement and
# take the next element when theirs ends: elements that end after a few
# steps (a recurring state) and after all of them (p = 0.0231...) share
# packs with elements the scalar function decides (tails below 0.02, |mu|
# large against sigma, subnormal or huge sigma, specials); lengths that
# are no multiple of a pack, parameters fixed, per element and broadcast.
m = 2053
for fn in (dm.qnorm, dm.qlnorm):
    kind = rng.integers(0, 6, m)
    p = np.where(kind == 0, column(m), np.where(kind == 1, 0.023102098260321856, rng.uniform(0, 1, m)))
    mu = np.where(rng.integers(0, 5, m) == 0, column(m), rng.uniform(-3, 3, m))
    sigma = np.where(rng.integers(0, 5, m) == 0, column(m), np.exp(rng.uniform(-5, 5, m)))
    add(fn(p, mu, sigma))
    add(fn(p, 0.25, 1.5))
    add(fn(p, mu, 1.5))
    add(fn(p, 0.25, sigma))
    add(fn(p[::3], mu[::3], 1.5))
    add(fn(p[:997].reshape(997, 1), mu[:7], sigma[:7]))
    add(fn(*np.ix_(SPECIAL, SPECIAL, SPECIAL)))
# The t quantile, whose asymptotic branch takes the normal quantile of P/2
# from the lanes for a dof fixed for the call: targets uniform, in the
# small-tail branch (below ~1e-3 at 7 dof), so small that the inverse's
# guard decides P/2 (subnormal), within 1e-16 of 1, special; dof either
# side of the closed forms (1, 2), of the start's positive factor (0.5 to
# ~0.75), at 1e3 (tails above 0.02 unchecked), huge, infinite, per element.
kind = rng.integers(0, 4, m)
p = np.where(kind == 0, column(m), np.where(kind == 1, 10.0 ** rng.uniform(-320, -1, m), rng.uniform(0, 1, m)))
p = np.where(kind == 2, 1 - 10.0 ** rng.uniform(-17, -1, m), p)
for dof in (0.49, 0.6, 0.8, 1.0, 1.0000000000000002, 2.0, 3.5, 7.0, 999.0, 1e3, 1e300, np.inf):
    add(dm.qt(p, dof))
add(dm.qt(p, np.abs(column(m))))
add(dm.qt(p[::3], 7.0))
add(dm.qt(p[:997].reshape(997, 1), np.array([3.5, 7.0, 30.0])))
add(dm.qt(*np.ix_(SPECIAL, SPECIAL)))
# The gamma side's quantiles, on lanes for a shape fixed for the call in
# [EPS, 10): shapes either side of those bounds, of the start's switch at 1
# and of the fraction's checked region (0.05); targets in both tails (which
# the keep step checks, and where refinements run long) among ordinary
# ones; scales per element, fixed and strided; shapes per element (no
# lanes).
for fn, params in ((dm.qgamma, 2), (dm.qchisq, 1), (dm.qinvgamma, 2)):
    kind = rng.integers(0, 5, m)
    p = np.where(kind == 0, column(m), np.where(kind == 1, 10.0 ** rng.uniform(-12, -1, m), rng.uniform(0, 1, m)))
    p = np.where(kind == 2, 1 - 10.0 ** rng.uniform(-16, -1, m), p)
    scale = np.where(rng.integers(0, 5, m) == 0, column(m), np.exp(rng.uniform(-5, 5, m)))
    for shape in (2.0**-53, 2.0**-52, 0.0499, 0.05, 0.3, 1.0, 1.0000000000000002, 2.5, 9.99, 10.0, 20.0):
        k = shape * 2 if fn is dm.qchisq else shape
        add(fn(p, k, *[scale][:params - 1]))
        add(fn(p[::3], k, *[1.5][:params - 1]))
    add(fn(p[:997].reshape(997, 1), *[np.array([0.3, 2.5, 9.0])[:, None].T, scale[:3]][:params]))
    add(fn(p, *[np.abs(column(m)), scale][:params]))
    add(fn(*np.ix_(SPECIAL, *[SPECIAL] * params)))
# The beta and F quantiles, for shapes fixed for the call either side of the
# inverse's region bounds (the smaller shape 0.3, whose error scale reaches
# 5000 near M = 268; shape 2, below which tails under 0.1 are checked;
# M ln M = 5000 near M = 754.6) and per element: p uniform, special and
# about the tail bounds 1e-5 and 0.1.  Elements whose state recurs after a
# few steps share packs with ones that take all 36 (p = 0.1616... for the
# shapes 0.3 and 7, 0.5704... for 60 and 690) and with the scalar function's.
BETA_SHAPES = np.array([(2.5, 3.5), (0.3, 7.0), (0.2999, 7.0), (1.99, 3.0), (2.0, 3.0), (0.3, 268.0), (0.3, 268.5),
                        (754.0, 2.0), (755.0, 2.0), (1.0, 1.0), (0.5, 0.8), (60.0, 690.0)])
TAILS = np.array([1e-5, 0.99999e-5, 1.00001e-5, 0.1, 0.0999999, 0.1000001, 0.16164283719081163, 0.5704973278958857])
for fn, k in ((dm.qbeta, 1.0), (dm.qf, 2.0)):
    kind = rng.integers(0, 4, m)
    tails = TAILS[rng.integers(0, TAILS.size, m)]
    p = np.where(kind == 0, column(m), np.where(kind == 1, np.where(rng.integers(0, 2, m) == 0, tails, 1 - tails),
                                                rng.uniform(0, 1, m)))
    for a, b in BETA_SHAPES * k:
        add(fn(p, a, b))
    a, b = (BETA_SHAPES[rng.integers(0, len(BETA_SHAPES), m)] * k).T
    add(fn(p, a, b))                                        # shapes per element
    add(fn(p[::3], 2.5 * k, 3.5 * k))                       # strided
    add(fn(p[:997].reshape(997, 1), np.full((1, 7), 2.5 * k), 3.5 * k))   # broadcast
    add(fn(p[:997].reshape(997, 1), a[:7], 3.5 * k))
    add(fn(*np.ix_(SPECIAL, SPECIAL, SPECIAL)))
# The beta-side CDFs where their fraction runs: x inside the support among
# special values, shapes and degrees of freedom either side of the beta
# region's bounds (0.01; the error scale 5000, near M = 5000 for m >= 1 and
# M = 700 for m = 0.2), per element and fixed for the call.
SHAPES = np.array([0.0099, 0.01, 0.2, 0.5, 1.0, 2.0, 2.5, 7.0, 60.0, 690.0, 720.0, 1100.0, 4999.0, 5001.0, 2e4])
m = 3001
for fn, params, k, inside in ((dm.pbeta, 2, 1.0, lambda: rng.uniform(0, 1, m)),
                              (dm.pt, 1, 2.0, lambda: rng.normal(0, 3, m)), (dm.pf, 2, 2.0, lambda: rng.exponential(2, m))):
    x = np.where(rng.integers(0, 5, m) == 0, column(m), inside())
    cols = [SHAPES[rng.integers(0, SHAPES.size, m)] * k for _ in range(params)]
    for flag in (False, True, flags[:m]):
        add(fn(x, *cols, flag))
        for v in SHAPES[::2] * k:
            add(fn(x, *[v] * params, flag))
            add(fn(x, *[v, 3.0][:params], flag))
# 3001 counts, below zero, up to and beyond the table's end (4096) inside
# the support of 4500 trials, and huge: the binomial CDF sums thousands of
# masses per element where the table does not serve.
m = 3001
counts = np.where(rng.integers(0, 5, m) == 0, rng.integers(-2**63, 2**63 - 1, m), rng.integers(-3, 5000, m))
for fn, params in ((dm.dpois, [6.0, np.nan, 0.0, 1e4]), (dm.dbinom, [(40, 0.3), (0, 0.5), (4500, 0.9), (-1, 0.5)]),
                   (dm.dbern, [0.3, 1.0, np.nan]), (dm.ppois, [6.0, np.nan, 0.0, 1e4]),
                   (dm.pbinom, [(40, 0.3), (0, 0.5), (4500, 0.9), (-1, 0.5)]), (dm.pbern, [0.3, 1.0, np.nan])):
    for p in params:
        for flag in (False, True, flags[:m]):
            add(fn(counts, *np.atleast_1d(p), flag))
            add(fn(counts, *[np.full(m, v) for v in np.atleast_1d(p)], flag))
# The binomial quantile, read from a table of the counts' top-down sums for
# trials (2 to 4095) and probability fixed for the call: targets uniform,
# tiny (below 2^-1000 the keep step searches the converged CDF), within
# 1e-16 of 1 (where the literal sums reach p too early and the converged
# search replaces them), special, and equal to a count's sum (the CDF at the
# counts); probabilities with a logarithm or a complement's below EPS;
# trials beyond the table, per element, broadcast.
kind = rng.integers(0, 4, m)
p = np.where(kind == 0, column(m), np.where(kind == 1, 10.0 ** rng.uniform(-320, -1, m), rng.uniform(0, 1, m)))
p = np.where(kind == 2, 1 - 10.0 ** rng.uniform(-17, -1, m), p)
for trials, prob, k in ((40, 0.3, m), (2, 0.5, m), (3, 1e-17, m), (40, 1 - 2.0**-53, m), (40, 0.0, m),
                        (1000, 0.999, m), (4095, 0.5, 300), (4096, 0.5, 50), (1, 0.3, m), (-1, 0.3, 50)):
    add(dm.qbinom(np.concatenate([p[:k], dm.pbinom(np.arange(k), trials, prob)]), trials, prob))
add(dm.qbinom(p, np.full(m, 40), 0.3))
add(dm.qbinom(p[:997].reshape(997, 1), 40, np.array([0.3, 0.5, 0.9])))
# The Poisson quantile, read from a table of the counts' fixed-depth CDF for
# a rate fixed for the call (while the walk's cap, rate + 25 + 9 sqrt(rate),
# stays below 4096): rates below 11 (the walk from 0) and from 11 on (from
# a normal start, which the normal quantile's lanes take for the block),
# below EPS, beyond the table, beyond 1e7; targets as above and equal to a
# count's CDF; rates per element, broadcast.
for rate in (1e-17, 0.7, 6.0, 10.5, 11.0, 100.0, 3000.0, 4000.0, 2e7):
    add(dm.qpois(np.concatenate([p, dm.ppois(np.arange(60), rate), dm.ppois(np.arange(60), rate) - 2.0**-53]), rate))
add(dm.qpois(p, np.full(m, 6.0)))
add(dm.qpois(p[:997].reshape(997, 1), np.array([0.7, 6.0, 30.0])))
print(dm.__lanes__, h.hexdigest())
"""


@functools.lru_cache(maxsize=None)
def lanes_in_this_module():
    from support.child import widest_lanes
    return widest_lanes()


@functools.lru_cache(maxsize=None)
def lane_digest(setting):
    """The digest in a child importing the module with DISTMILL_LANES set."""
    from support.child import child_env, run_python
    env = dict(child_env(), DISTMILL_LANES=setting)
    lanes, value = run_python(LANE_DIGEST, timeout=300, env=env).split()
    assert lanes == setting
    return value


@pytest.mark.parametrize("mode", ["scalar", "sse2", "avx2", "avx512"])
def test_array_calls_on_every_width_equal_element_by_element_calls(mode):
    widest = lanes_in_this_module()
    order = ["scalar", "sse2", "avx2", "avx512"]
    if widest not in order or order.index(mode) > order.index(widest):
        pytest.skip(f"{mode} lanes not available here (module: {widest})")
    assert lane_digest(mode) == lane_digest("off")


@pytest.mark.parametrize("setting", ["avx1024", ""])
def test_lane_setting_that_names_nothing_is_the_default(setting):
    # The default: AVX2 where the processor has it (AVX-512 only on request).
    from support.child import child_env, run_python
    env = dict(child_env(), DISTMILL_LANES=setting)
    from support.child import LANE_ORDER as order
    want = order[min(order.index(lanes_in_this_module()), order.index("avx2"))]
    assert run_python("import distmill; print(distmill.__lanes__)", env=env).strip() == want
