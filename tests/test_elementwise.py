"""Element-wise evaluation of the d, p and q functions: the scalar
shortcut, broadcasting, result memory order, empty inputs, element-wise
flags and argument conversion (signatures and the module's attributes:
test_module_table.py).

The closed-form families are the test subjects; every bound function goes
through the same binding, so the behaviour holds for all of them.  The
functions with lane kernels (dnorm, dexp, dgamma) take their array calls
through the lane loop instead of one call per element, so each behaviour is
checked on one of them too, with arrays long enough to span several blocks
of the loop and packs that end partly filled."""
import math

import numpy as np
import pytest

import distmill as dm
from support.equality import same_bits, same_value_or_both_nan

MISMATCH = "pybind11::vectorize: incompatible size/dimension of inputs!"


def call_scalar(fn, *arrays):
    """Reference: one scalar call per element, on the broadcast arguments."""
    b = np.broadcast_arrays(*[np.asarray(a) for a in arrays])
    out = np.empty(b[0].shape)
    for idx in np.ndindex(out.shape):
        out[idx] = fn(*[a[idx].item() for a in b])
    return out


# ------------------------------------------------------ argument errors ----

@pytest.mark.parametrize("call", [
    lambda: dm.dunif(0.5),                      # a and b have no defaults
    lambda: dm.dexp(1.0),
    lambda: dm.qexp(0.5),
    lambda: dm.dexp(1.0, 2.0, lg=True),         # unknown keyword
    lambda: dm.dexp(x=1.0, lam=2.0),
    lambda: dm.qexp(0.5, 1.0, log_p=True),      # quantiles take no flag
    lambda: dm.qcauchy(0.5, 0.0, 1.0, log=False),
    lambda: dm.qexp(0.5, 1.0, False),           # too many arguments
    lambda: dm.pexp(1.0, 2.0, False, 3),
    lambda: dm.dexp("abc", 1.0),                # not convertible to float64
    lambda: dm.dexp(1.0, rate=1.0, x=2.0),      # x given twice
    lambda: dm.dlnorm(1.0),                     # of the normal family only mu, sigma default
    lambda: dm.plnorm(1.0, 0.0),
    lambda: dm.qlnorm(0.5),
    lambda: dm.qnorm(0.5, log_p=True),
    lambda: dm.dnorm(0.0, sd=1.0),
    lambda: dm.qgamma(0.5, 2.0, 1.0, log_p=True),
    lambda: dm.dgamma(1.0, 2.0),                # scale has no default
])
def test_argument_mismatch_is_type_error(call):
    with pytest.raises(TypeError, match="incompatible function arguments"):
        call()


@pytest.mark.parametrize("args", [
    ([1.0, 2.0, 3.0], [1.0, 2.0]),
    (np.zeros((2, 3)), np.ones((3, 2))),
    (np.zeros((0,)), [1.0, 2.0]),               # 0 against 2: both other than 1
])
def test_incompatible_shapes(args):
    with pytest.raises(RuntimeError) as exc:
        dm.dexp(*args)
    assert str(exc.value) == MISMATCH


def test_incompatible_shapes_three_arguments():
    with pytest.raises(RuntimeError, match="incompatible size/dimension"):
        dm.dunif([1.0, 2.0, 3.0], 0.0, [1.0, 2.0])


# ---------------------------------------------------- scalar shortcut ----

@pytest.mark.parametrize("args", [
    (0.7, 1.7),
    (1, 2),                                     # Python ints
    (np.float64(0.7), np.float64(1.7)),
    (np.float32(0.5), np.int32(2)),
    (np.array(0.7), np.array(1.7)),             # zero-dimensional arrays
    (np.array(0.7), 1.7, np.array(True)),
    (True, 2.0),                                # a bool is a number too
])
def test_all_scalar_call_returns_python_float(args):
    r = dm.dexp(*args)
    assert type(r) is float
    assert r == dm.dexp(*[float(np.asarray(a)) for a in args[:2]], *args[2:])


def test_quantile_scalar_and_one_element():
    assert type(dm.qexp(0.5, 2.0)) is float
    r = dm.qexp([0.5], 2.0)
    assert isinstance(r, np.ndarray) and r.shape == (1,) and r.dtype == np.float64


@pytest.mark.parametrize("x", [[0.7], np.array([0.7]), np.array([0.7], dtype=np.float32), [1]])
def test_one_element_array_is_not_a_float(x):
    r = dm.dexp(x, 1.7)
    assert isinstance(r, np.ndarray) and r.shape == (1,) and r.dtype == np.float64
    assert r[0] == dm.dexp(float(np.asarray(x)[0]), 1.7)


def test_scalar_with_0d_and_1x1():
    r = dm.dexp(np.array([[0.5]]), np.array(2.0))
    assert r.shape == (1, 1)


# ------------------------------------------------------- broadcasting ----

@pytest.mark.parametrize("fn", [dm.pexp, dm.dexp])
@pytest.mark.parametrize("shapes", [
    [(2, 1), (3,)],
    [(3,), (2, 1)],
    [(4, 1, 3), (2, 1)],
    [(1,), (5,)],
    [(2, 3), ()],
    [(1, 1), (3,)],
    [(37, 1, 53), (41, 1)],       # runs of the last dimension across blocks
    [(1, 2100), (3, 1)],
    [(2100, 1), (1, 3)],          # runs of one element
    [(1000, 3), (1, 3)],          # a full-size input beside a stretched one
])
def test_broadcast_shapes_and_values(fn, shapes):
    rng = np.random.default_rng(1)
    x = rng.uniform(-1, 3, size=shapes[0])
    rate = rng.uniform(0.1, 3, size=shapes[1])
    r = fn(x, rate)
    assert r.shape == np.broadcast_shapes(*shapes) and r.dtype == np.float64
    assert same_bits(r, call_scalar(fn, x, rate))


def test_broadcast_example_from_two_lists():
    r = dm.pcauchy([[0.0], [1.0]], [0.0, 1.0, 2.0], 1.0)
    assert r.shape == (2, 3)
    assert r[1, 1] == 0.5 and r[0, 0] == 0.5
    assert r[0, 2] == dm.pcauchy(0.0, 2.0, 1.0)


@pytest.mark.parametrize("fn, n", [(dm.dlaplace, 4), (dm.dnorm, 4), (dm.dnorm, 301), (dm.dgamma, 301)])
def test_three_way_broadcast_with_flags(fn, n):
    x = np.linspace(-2, 2, n).reshape(n, 1, 1)
    mu = np.array([[-1.0, 0.0, 1.0]]).reshape(1, 3, 1)
    flags = np.array([False, True])
    r = fn(x, mu, 0.5, flags)
    assert r.shape == (n, 3, 2)
    assert same_bits(r, call_scalar(fn, x, mu, 0.5, flags))


# ------------------------------------------------------- flags element-wise ----

def test_flag_is_elementwise():
    r = dm.dexp(0.7, 1.7, log=[False, True])
    assert r.shape == (2,)
    assert r[0] == dm.dexp(0.7, 1.7) and r[1] == dm.dexp(0.7, 1.7, log=True)
    # Flags that change within a pack of lanes, and packs of one setting.
    flags = np.random.default_rng(4).integers(0, 2, 1000).astype(bool)
    flags[:64] = True
    flags[64:128] = False
    x = np.linspace(0.05, 20, 1000)
    for fn, args in ((dm.dexp, (x, 1.7)), (dm.dnorm, (x, 3.0, 2.5)), (dm.dgamma, (x, 2.5, 1.5)),
                     (dm.dlnorm, (x, 0.3, 1.2))):
        assert same_bits(fn(*args, flags), call_scalar(fn, *args, flags))
    r = dm.punif([0.25, 0.5], 0.0, 1.0, log_p=[[True], [False]])
    assert same_value_or_both_nan(r, [[dm.punif(0.25, 0, 1, True), dm.punif(0.5, 0, 1, True)], [0.25, 0.5]])


@pytest.mark.parametrize("flag, expected", [(1, True), (0, False), (2.5, True), (0.0, False),
                                            (np.int64(-3), True), (np.array([0, 7]), [False, True])])
def test_flag_converts_any_number(flag, expected):
    r = dm.dweibull(0.7, 1.9, 0.8, flag)
    want = [dm.dweibull(0.7, 1.9, 0.8, e) for e in np.atleast_1d(expected)]
    assert same_value_or_both_nan(np.atleast_1d(r), want)


# --------------------------------------------------------------- empty ----

@pytest.mark.parametrize("x, other, shape", [
    (np.zeros((0,)), 1.0, (0,)),
    ([], 1.0, (0,)),
    (np.zeros((0, 3)), [1.0, 2.0, 3.0], (0, 3)),
    (np.zeros((2, 0)), np.ones((1, 1)), (2, 0)),
    (np.zeros((0,)), [1.0], (0,)),
])
def test_empty_input_gives_empty_float64(x, other, shape):
    r = dm.dexp(x, other)
    assert isinstance(r, np.ndarray) and r.shape == shape and r.dtype == np.float64


# -------------------------------------------------------- memory order ----

def is_f_only(a):
    return a.flags.f_contiguous and not a.flags.c_contiguous


FORDER_CASES = {
    "fortran input": lambda x: np.asfortranarray(x),
    "transpose of C": lambda x: np.ascontiguousarray(x.T).T,
}


@pytest.mark.parametrize("fn, shape", [(dm.dlogis, (3, 4)), (dm.dnorm, (3, 4)), (dm.dgamma, (700, 3))])
@pytest.mark.parametrize("make", FORDER_CASES.values(), ids=FORDER_CASES.keys())
def test_fortran_inputs_give_fortran_result(make, fn, shape):
    base = np.random.default_rng(2).uniform(-3, 3, size=shape)
    x = make(base)
    assert is_f_only(x)
    r = fn(x, 0.5, 1.5)
    assert r.shape == shape and is_f_only(r)
    assert same_bits(r, call_scalar(fn, x, 0.5, 1.5))
    # Two full-shape Fortran inputs, and one-element arrays beside them.
    r = fn(x, np.asfortranarray(base * 0 + 0.25), np.array([1.5]))
    assert is_f_only(r)
    assert same_bits(r, call_scalar(fn, x, base * 0 + 0.25, 1.5))


@pytest.mark.parametrize("other", [
    np.ones((3, 4)),                # a C-contiguous full-shape input
    np.ones((1, 4)) * 2,            # a stretched input with more than one element
    np.ones((4,)) * 2,
])
def test_mixed_orders_give_c_result(other):
    x = np.asfortranarray(np.arange(12.0).reshape(3, 4))
    r = dm.dlogis(x, 0.5, other)
    assert r.flags.c_contiguous and not r.flags.f_contiguous
    assert same_value_or_both_nan(r, call_scalar(dm.dlogis, x, 0.5, other))


def test_column_is_both_orders_and_gives_c():
    x = np.asfortranarray(np.arange(3.0).reshape(3, 1))
    r = dm.dexp(x, 1.0)
    assert r.flags.c_contiguous


@pytest.mark.parametrize("fn, size", [(dm.qweibull, 24), (dm.dgamma, 24), (dm.dgamma, 2400)])
@pytest.mark.parametrize("make", [
    lambda v: v[::2],                            # every second element
    lambda v: v[::-1],                           # negative stride
    lambda v: v.reshape(4, -1)[:, 1:-1],         # rows of a wider array
    lambda v: v.reshape(4, -1)[::2, ::3],
    lambda v: v.reshape(4, -1).T[1:5],           # a Fortran slice that is not contiguous
])
def test_strided_inputs_go_through_general_case(make, fn, size):
    v = np.random.default_rng(3).uniform(0.01, 0.99, size=size)
    p = make(v)
    assert not (p.flags.c_contiguous or p.flags.f_contiguous) or p.ndim == 1
    r = fn(p, 1.9, [[0.8]] if p.ndim == 2 else 0.8)
    assert r.flags.c_contiguous and r.shape == p.shape
    assert same_bits(r, call_scalar(fn, p, 1.9, 0.8))


def test_strided_with_broadcast_parameter():
    p = np.linspace(0.05, 0.95, 20)[::3]
    sigma = np.linspace(0.5, 2.0, 14)[::2]
    assert p.shape == sigma.shape == (7,)
    r = dm.qlogis(p, 0.0, sigma)
    assert same_value_or_both_nan(r, call_scalar(dm.qlogis, p, 0.0, sigma))


def test_input_array_is_not_modified():
    x = np.array([[0.5, 1.5], [2.5, -1.0]])
    keep = x.copy()
    dm.pweibull(x, 2.0, 1.0)
    dm.pweibull(x.T, 2.0, 1.0, True)
    assert same_value_or_both_nan(x, keep)


# ------------------------------------------------------------ conversion ----

@pytest.mark.parametrize("x", [
    [[0, 1], [2, 3]],                            # nested lists of ints
    np.array([[0, 1], [2, 3]], dtype=np.int32),
    np.array([[0, 1], [2, 3]], dtype=np.float32),
    np.array([[False, True], [True, True]]),
])
def test_other_element_types_are_cast_to_float64(x):
    r = dm.dexp(x, 1.5)
    assert r.dtype == np.float64 and r.shape == (2, 2)
    assert same_value_or_both_nan(r, call_scalar(dm.dexp, np.asarray(x, dtype=np.float64), 1.5))


def test_nan_and_infinities_pass_through():
    r = dm.qexp([0.0, 1.0, 0.5, math.nan, 2.0], 1.0)
    assert r[0] == 0 and r[1] == math.inf and math.isnan(r[3]) and math.isnan(r[4])
    # Among ordinary elements of a pack: each special element is the scalar
    # function's, bit for bit (its NaN included).
    x = np.full(40, 1.25)
    x[[3, 17, 18, 39]] = [math.nan, math.inf, -math.inf, -0.0]
    for fn, args in ((dm.dexp, (x, 2.0)), (dm.dexp, (2.0, x)), (dm.dnorm, (x, 0.5, 2.0)), (dm.dnorm, (0.5, x, 2.0)),
                     (dm.dnorm, (0.5, 0.0, x)), (dm.dgamma, (x, 2.5, 1.5)), (dm.dgamma, (1.5, x, 1.5)),
                     (dm.dgamma, (1.5, 2.5, x)), (dm.dlnorm, (x, 0.5, 2.0)), (dm.dlnorm, (0.5, x, 2.0)),
                     (dm.dlnorm, (0.5, 0.0, x))):
        assert same_bits(fn(*args), call_scalar(fn, *args))
    # Lanes the log-normal density checks, among ordinary ones: ln x taken
    # as 0 next to 1, ln x whose rounding a small sigma magnifies, subnormal
    # normal densities that the division by x < 1 lifts; each fixed-depth
    # value but the first misses the rule, so a lane that kept it would show.
    checked = [(1 - 2.0**-53, 0.25, 0.8), (7714204.596166706, 15.85857394021961, 2.7005734745001965e-11),
               (3.6476973864907372e+289, 666.7572512212545, 0.001766056940752257),
               (1.2854703426764937e-14, -31.98506661489959, 6.516807789279956e-10),
               (6.693440167014264e-16, 409.87850893107657, 11.688753178127769),
               (1.5777830695874438e-08, 650.9052310746788, 17.51200427505885)]
    cols = [np.linspace(0.5, 3, 40), np.full(40, 0.25), np.full(40, 0.8)]
    for j, point in enumerate(checked):
        for c, v in zip(cols, point):
            c[6 * j + 3] = v
    for flag in (False, True, np.arange(40) % 2 == 0):
        assert same_bits(dm.dlnorm(*cols, flag), call_scalar(dm.dlnorm, *cols, flag))
    for flag in (False, True):
        for x0, mu0, sigma0 in checked:
            x = np.linspace(x0 * 0.5, x0 * 2, 21)
            x[7] = x0
            assert same_bits(dm.dlnorm(x, mu0, sigma0, flag), call_scalar(dm.dlnorm, x, mu0, sigma0, flag))
    # Lanes the gamma density checks, among ordinary ones: arguments below
    # EPS, small shapes (ln Gamma's absolute error), log-density terms
    # beyond the bound without the flag and beyond |ld| times it with the
    # flag; each point's fixed-depth value misses the rule, so a lane that
    # kept it would show.  Parameters per element and fixed for the call.
    checked = [(1e-300, 2.5, 1.5, False), (6.101619819749775e-09, 4.0672261043321285e-10, 0.0007119045336479128, False),
               (1.0410304327351693e-07, 3.13283450495415e-13, 0.39950657754219016, True),
               (15295.650144129313, 215854.37668365263, 0.06665463050252042, False),
               (371.5100633421865, 45820.262451920746, 0.008584350095272345, False),
               (26725.321061263803, 9996106.991689468, 0.0026633496688822818, True),
               (33.01539643450533, 17116.97095414155, 0.0019427233716168486, True)]
    cols = [np.full(40, v) for v in (1.25, 2.5, 1.5, False)]
    for j, point in enumerate(checked):
        for c, v in zip(cols, point):
            c[5 * j + 2] = v
    x, shape, scale, flags = cols[0], cols[1], cols[2], cols[3].astype(bool)
    assert same_bits(dm.dgamma(x, shape, scale, flags), call_scalar(dm.dgamma, x, shape, scale, flags))
    for x0, shape0, scale0, flag in checked:
        x = np.linspace(x0 * 0.5, x0 * 2, 21)
        x[7] = x0
        assert same_bits(dm.dgamma(x, shape0, scale0, flag), call_scalar(dm.dgamma, x, shape0, scale0, flag))


# Lanes the beta, t and F densities check, among ordinary ones: for each
# family points of every part of its checked region whose fixed-depth value
# the keep step replaces (x within EPS of an end of the beta law, small and
# large shapes; tiny and huge dof; F ratios beyond the bound and the beta
# region at its point), so a lane that kept the fixed-depth value would
# show.  Parameters per element and fixed for the call, flags per point.
CHECKED_DENSITY_POINTS = {
    dm.dbeta: ((0.5, 2.5, 3.5), [
        (1.7596503466917976e-86, 3.6486774422783386, 0.65521568508476991, False),
        (2.7322879760457234e-64, 2.6976807849600983, 0.90391599853608839, True),
        (0.99999999999999989, 0.92593684885925398, 0.47301735829597558, False),
        (0.99999999999999989, 2.4982725569238617, 0.02455473803686543, True),
        (0.025614482171630443, 3.4077660670751726e-08, 2.3563535751495812, False),
        (0.58249929523296851, 3.4115964590124935e-11, 0.78336854612786, True),
        (0.38338881900265165, 2688497.0157693643, 4309469.1719332812, False),
        (0.57278767580674472, 551399.74619985721, 415008.33599408809, True)]),
    dm.dt: ((0.75, 7.0), [
        (0.0041848171287964019, 3.1932933137438806e-08, False),
        (0.077157739312118515, 4.5303170111421551e-12, True),
        (0.29276965682808265, 135561069.65671197, False),
        (4.8033104143508512, 8069426.587240098, True)]),
    dm.df: ((1.25, 5.0, 12.0), [
        (221892.0436235232, 9.7644259585475677, 1.0512293880747858, False),
        (146231204.97493991, 35.864938189353182, 5.697140111962737, True),
        (0.96022258917401349, 41138.976088160787, 181609.04274563573, False),
        (0.90749477716517624, 25037427.538805947, 7133.7949899600553, True),
        (319.2119663480272, 5.9153685935406459e-07, 0.52313275073059917, False),
        (0.23455593473617606, 8.1392603973431944e-12, 3.8515169167103243, True)]),
}


@pytest.mark.parametrize("fn", CHECKED_DENSITY_POINTS, ids=lambda f: f.__name__)
def test_checked_density_points_among_ordinary_lanes(fn):
    ordinary, checked = CHECKED_DENSITY_POINTS[fn]
    cols = [np.full(45, v) for v in (*ordinary, False)]
    cols[0] = cols[0] * np.linspace(0.6, 1.4, 45)
    for j, point in enumerate(checked):
        for c, v in zip(cols, point):
            c[5 * j + 2] = v
    *args, flags = cols
    for flag in (flags.astype(bool), False, True):
        assert same_bits(fn(*args, flag), call_scalar(fn, *args, flag))
    for *point, flag in checked:
        x = np.linspace(point[0] * 0.5, point[0] * 2, 21)
        x[7] = point[0]
        assert same_bits(fn(x, *point[1:], flag), call_scalar(fn, x, *point[1:], flag))


@pytest.mark.parametrize("fn, params", [(dm.dpois, (6.0,)), (dm.dpois, (3000.0,)), (dm.dpois, (1e-300,)),
                                        (dm.dbinom, (40, 0.3)), (dm.dbinom, (5000, 0.6)), (dm.dbinom, (1, 0.25)),
                                        (dm.dbinom, (40, 1.0)), (dm.dbern, (0.3,)), (dm.dbern, (1.5,))])
def test_masses_at_repeated_counts_are_the_scalar_ones(fn, params):
    # A call with fixed parameters computes each distinct count once: every
    # repetition, with either flag, at the ends of the counts it keeps and
    # beyond them, negative and huge counts, must be the scalar value.
    rng = np.random.default_rng(8)
    x = rng.integers(-2, 60, 3001)
    x[::9] = rng.integers(2900, 5100, x[::9].size)
    x[5:12] = [4095, 4096, 4095, -1, 2**62, 0, 4096]
    flags = rng.integers(0, 2, x.size).astype(bool)
    for flag in (flags, False, True):
        assert same_bits(fn(x, *params, flag), call_scalar(fn, x, *params, flag))
    # Parameters per element take no table.
    per_element = [np.full(x.size, p) for p in params]
    per_element[-1][::4] = params[-1] / 2
    assert same_bits(fn(x, *per_element, flags), call_scalar(fn, x, *per_element, flags))
