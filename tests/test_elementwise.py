"""Element-wise evaluation of the d, p and q functions: the scalar
shortcut, broadcasting, result memory order, empty inputs, element-wise
flags and argument conversion (signatures and the module's attributes:
test_module_table.py).

The closed-form families are the test subjects; every bound function goes
through the same binding, so the behaviour holds for all of them.  The
functions with lane kernels (src/module/lanes_*.cpp list them) take
their array calls through the lane loop instead of one call per element,
so each behaviour is checked on some of them too, with arrays long enough
to span several blocks of the loop and packs that end partly filled."""
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


@pytest.mark.parametrize("fn, size", [(dm.qweibull, 24), (dm.dgamma, 24), (dm.dgamma, 2400), (dm.qnorm, 24),
                                      (dm.qlnorm, 2400), (dm.qbeta, 24), (dm.qf, 2400)])
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


@pytest.mark.parametrize("fn", [dm.qlogis, dm.qnorm, dm.qlnorm])
def test_strided_with_broadcast_parameter(fn):
    p = np.linspace(0.05, 0.95, 20)[::3]
    sigma = np.linspace(0.5, 2.0, 14)[::2]
    assert p.shape == sigma.shape == (7,)
    r = fn(p, 0.0, sigma)
    assert same_value_or_both_nan(r, call_scalar(fn, p, 0.0, sigma))
    # A column of p against a row of scales: each row of the result is a
    # block whose sigma is one broadcast value.
    r = fn(p[:, None], 0.25, sigma[None, :])
    assert same_bits(r, call_scalar(fn, np.repeat(p[:, None], 7, 1), 0.25, np.repeat(sigma[None, :], 7, 0)))


# The iterative quantiles' lanes each run their own refinement: elements
# whose state recurs after a few steps and elements that take all of them
# (55 for the normal quantiles, 36 for the beta inverse) share packs, and
# every lane that ends takes the next element at once.
@pytest.mark.parametrize("fn, params, early, late", [
    (dm.qnorm, (-0.5, 1.25), 0.57168778645164597, 0.023102098260321856),
    (dm.qlnorm, (-0.5, 1.25), 0.57168778645164597, 0.023102098260321856),
    (dm.qbeta, (0.3, 7.0), 0.57168778645164597, 0.16164283719081163),
    (dm.qf, (0.6, 14.0), 0.57168778645164597, 0.16164283719081163),
], ids=lambda v: getattr(v, "__name__", ""))
@pytest.mark.parametrize("n", [1, 7, 33, 1030])
def test_quantile_lanes_ending_at_different_steps(fn, params, early, late, n):
    p = np.where(np.arange(n) % 3 == 1, late, early)
    p[::5] = np.linspace(0.1, 0.9, p[::5].size)
    r = fn(p, *params)
    assert same_bits(r, call_scalar(fn, p, *params))
    assert same_bits(fn(p, params[0], np.full(n, params[1])), r)


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


# Points whose fixed-depth value the keep step replaces (each misses the
# rule), for the closed-form functions with lane kernels: a lane that kept
# its own value there would show.  Each is placed among ordinary lanes, with
# its parameters per element and fixed for the call.  The uniform quantile
# has no such point within its region's reach of ordinary bounds; its
# region's edges are in the lane digest (test_batched_kernels.py).
CHECKED_POINTS = [
    (dm.dunif, (3.3250039540785244e-21, 0.0, 1.386936836923696e-19, True)),
    (dm.punif, (3.1956175225866673e-94, -1.3590993086812818e-65, 9.093526215631485e+265, True)),
    (dm.punif, (7.860865866457696e-239, -2.3546071413570634e+119, 5.16788810532751e+33, True)),
    (dm.dlaplace, (-0.07684485194761209, 0.0, 1.9251816161583857e-281, False)),
    (dm.dlaplace, (-1.2493490189384706, 0.0, 2.1475428533301316e-305, False)),
    (dm.plaplace, (-25.11033682344614, 0.0, 0.7211678116252339, True)),
    (dm.plaplace, (29.4725662016655, 0.0, 0.7912532831390132, True)),
    (dm.qlaplace, (1.656392255337254e-09, 0.3527884800587547, 0.10452836152282388)),
    (dm.qlaplace, (1.1191122586761135e-07, 22.003444361451162, 0.011631620160187707)),
    (dm.dlogis, (209.87462666277747, 0.0, 1.5983670971344574e-268, True)),
    (dm.dlogis, (556.6622419773084, 0.0, 3.907128719784527e-157, False)),
    (dm.plogis, (-55.89871195022831, 0.0, 1.0301501522901557, False)),
    (dm.plogis, (-15.152181998642462, 0.0, 0.6291596389216131, False)),
    (dm.qlogis, (1.8604391481000337e-16, -1.0562324357362782, 0.0065934723309332656)),
    (dm.qlogis, (2.2638707055814652e-17, 3560.931391445668, 0.10476422520636447)),
    (dm.pexp, (2.4034356782879104e-18, 0.004677119401311282, True)),
    (dm.pexp, (6.377044630869214e-15, 0.008381597606016438, True)),
    (dm.qexp, (1.6201927129311124e-10, 1.286466649559215e+224)),
    (dm.qexp, (9.829864290952567e-10, 6.438050386065073e+127)),
    (dm.dweibull, (5.900832067460802e-19, 5307.194097278873, 0.1799541705849063, True)),
    (dm.dweibull, (2.8769304288516464e-18, 0.007798669174449031, 5.552884274992144, False)),
    (dm.pweibull, (3.2962704738666357e-18, 37.19453093632942, 0.4179601588561464, True)),
    (dm.pweibull, (2.3061465982136556e-05, 38325.04395952466, 81.24125822650637, True)),
    (dm.qweibull, (4.7810482331656423e-17, 1112.1129570975377, 9.282339002242452e+186)),
    (dm.qweibull, (1.0995227941027878e-19, 0.9456354589975849, 8.048372829514903e+19)),
    # The iterative quantiles: tails below 0.02, |mu| large against sigma,
    # sigma sqrt 2 overflowing, and sigma subnormal.
    (dm.qnorm, (0.9999999982988258, 0.70372874173119904, 0.064112595896045593)),
    (dm.qnorm, (1e-10, 0.0, 1.0)),
    (dm.qnorm, (0.61525158792035739, 2.8040909097994234e+299, 1.3014286166102495e+308)),
    (dm.qnorm, (0.95193289581852314, -4.610324167603008e-317, 9.8082900143695946e-319)),
    (dm.qlnorm, (0.99999999999909917, -1.4106705033708291, 0.13536683813923414)),
    (dm.qlnorm, (0.83967902681674444, -293.67879532892761, 0.00023055542113004643)),
    # The beta and F quantiles: an upper tail below 1e-5, a shape below 0.3.
    (dm.qbeta, (0.99999972461661568, 2.5, 3.5)),
    (dm.qbeta, (0.0010482257683255281, 0.2, 3.0)),
    (dm.qf, (0.99999956933761625, 5.0, 12.0)),
    (dm.qf, (0.0010482257683255281, 0.4, 6.0)),
    (dm.pnorm, (-8.0, 0.0, 1.0, False)),
    (dm.pnorm, (-13.3, 1.7, 2.1, False)),
    (dm.pnorm, (-30.0, 0.0, 3.1, True)),
    (dm.plnorm, (0.00033546262790251185, 0.0, 1.0, False)),
    (dm.plnorm, (0.0001, 0.5, 1.2, True)),
    (dm.dcauchy, (1e160, 0.0, 1.0, False)),
    (dm.dcauchy, (1e200, 0.0, 1.5, True)),
    (dm.qcauchy, (1e-9, 0.0, 1.0)),
    # The gamma side's refinements: results past the fraction's range
    # (x > 1.5 a + 2) and a lower tail of the inverse gamma.
    (dm.qgamma, (0.9995659242370489, 6.0, 1.5)),
    (dm.qchisq, (0.9999143043917089, 5.0)),
    (dm.qinvgamma, (0.0005862805559957045, 3.0, 1.5)),
    (dm.pinvgamma, (1e5, 3.0, 2.0, True)),
    (dm.pinvgamma, (1e12, 2.5, 0.75, True)),
]


@pytest.mark.parametrize("fn, point", CHECKED_POINTS, ids=[f"{f.__name__}-{i}" for i, (f, _) in enumerate(CHECKED_POINTS)])
def test_points_the_keep_step_replaces_stay_the_scalar_functions(fn, point):
    n, at = 40, 13
    cols = [np.full(n, v) for v in point]
    cols[0] = np.linspace(0.3, 0.7, n) if fn.__name__[0] == "q" else np.linspace(-0.5, 2.0, n) + (point[0] > 0)
    cols[0][at] = point[0]
    assert same_bits(fn(cols[0], *point[1:]), call_scalar(fn, cols[0], *point[1:]))   # parameters fixed
    # The checked point's parameters per element, beside ordinary ones.
    per = [c.copy() for c in cols]
    for c, v in zip(per[1:], point[1:]):
        if not isinstance(v, bool):
            c[:] = v * 1.5
            c[at] = v
    assert same_bits(fn(*per), call_scalar(fn, *per))


def assert_checked_lanes_are_scalar(fn, base, checked):
    """Points whose fixed-depth value the keep step replaces, placed among
    ordinary lanes (`base`: x, the parameters, the flag), each with its
    parameters per element and then fixed for the call over arguments
    around its x: a lane that kept the fixed-depth value would differ."""
    cols = [np.full(40, v) for v in base]
    for j, point in enumerate(checked):
        for c, v in zip(cols, point):
            c[5 * j + 2] = v
    *args, flags = cols
    assert same_bits(fn(*args, flags.astype(bool)), call_scalar(fn, *args, flags.astype(bool)))
    for x0, *params, flag in checked:
        x = np.linspace(x0 * 0.5, x0 * 2, 21)
        x[7] = x0
        assert same_bits(fn(x, *params, flag), call_scalar(fn, x, *params, flag))


# Points of the gamma side's densities and CDFs the keep step replaces:
# small shapes (ln Gamma's and Gamma's error near the pole), log-density
# terms beyond the bound without and with the flag, the fraction past the
# mode, arguments below SMALL_Z, CDFs near 1 with the flag.
@pytest.mark.parametrize("fn, base, checked", [
    (dm.dchisq, (1.25, 3.0, False),
     [(9.484187472484105e-06, 6.055711573675383e-10, False), (1.1086476285852426e-06, 2.9807920960429864e-13, True),
      (74511843.05360149, 74833219.1995974, False), (1113861.98326501, 1106017.4348078617, False),
      (56192777122.73706, 56040453779.534874, True), (81241337.38131104, 81561264.02683678, True)]),
    (dm.dinvgamma, (1.25, 2.5, 1.5, False),
     [(0.017159149653014922, 1.2662743404805294e-09, 1.828984731108779, True),
      (2.158966678274269, 2.0581855555955428e-13, 0.6893427348950172, True),
      (1.0022405181121658e-08, 5175851.698565604, 0.051737061396794654, False),
      (2.4427265947150623e-06, 2188856.542279314, 5.381908155478548, False),
      (5.866267296558959e-17, 5065498549350.486, 0.000437186350050199, True),
      (8.219109445295358e-17, 10314890014424.309, 0.0011209129928388903, True)]),
    (dm.pgamma, (1.25, 2.5, 1.5, False),
     [(140.8192881786589, 1.3719346444217249, 10.840431546886371, True),
      (93.75426167106984, 3.878298464869046, 5.944203675224949, False),
      (0.062499601191645375, 1.571399077585907e-07, 0.7192529574515741, False),
      (0.9776865469403743, 0.04144214677189364, 0.18120110075472096, True),
      (2.519910388952669e-16, 8.426336899458, 1.8608877534005395, False),
      (18.37223533145066, 6.389708442419158, 1.0, True)]),
    (dm.pchisq, (1.25, 3.0, False),
     [(59.67961419509229, 11.16225372462118, False), (67.79884856702365, 13.38935850244245, True),
      (3.136385513630215, 0.010154470446265253, False), (5.6753895744060925, 1.9884678294553083e-08, False),
      (36.6434282725056, 14.494106589542808, True), (48.70709951729741, 14.967298819242036, True)]),
])
def test_checked_lanes_of_the_gamma_side_are_the_scalar_functions(fn, base, checked):
    assert_checked_lanes_are_scalar(fn, base, checked)


# Points of the beta-side CDFs the keep step replaces: shapes below 0.01 and
# beyond the error scale's bound (pbeta; the t law's large dof; F's small and
# large degrees of freedom), the t lower tail below 1e-5, F's upper tail
# beyond the bound on df2/2 (1 + r), CDFs near 1 with the flag.
@pytest.mark.parametrize("fn, base, checked", [
    (dm.pbeta, (0.5, 2.5, 3.5, False),
     [(0.1179492314966684, 0.0005045725937682024, 3.9556022154692143, False),
      (0.06315310145721563, 0.0010372799069688244, 11.901516075650752, False),
      (0.9861761335467346, 0.0006249867504713357, 2.6215258337686893, True),
      (0.44343580427156426, 21248.42480634595, 22237.433867260042, False),
      (0.595146590417668, 26441.193380904348, 13107.115411296496, False),
      (0.49609796391678007, 2160.632915909177, 3226.6796017136326, True),
      (0.12498140090123017, 1562.847460038494, 0.26652172170620353, True)]),
    (dm.pt, (0.75, 7.0, False),
     [(-9.069975520010047, 1700.5332445049232, False), (-32.3185944247242, 9774.679733869918, False),
      (-205.1470591009896, 7406.946597680413, True), (5.824277475555511, 1990.2176704644698, True),
      (117942.8709431265, 60.60880353203076, True)]),
    (dm.pf, (1.25, 5.0, 12.0, False),
     [(0.00847691803295794, 5316.081009581507, 0.011097134160692657, False),
      (28.092160672557327, 0.021094215121012495, 4515.755145123848, False),
      (63699.56493513455, 54.390108899556886, 0.021290329514834408, False),
      (0.00023011374428783327, 5393.282649508597, 212.355246878543, True),
      (6.3621509859564e-05, 934.807665333817, 1.1976024353839978, True)]),
])
def test_checked_lanes_of_the_beta_side_cdfs_are_the_scalar_functions(fn, base, checked):
    assert_checked_lanes_are_scalar(fn, base, checked)


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
