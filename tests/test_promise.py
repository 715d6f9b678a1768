"""The accuracy promise across families, at the arguments where the
fixed-depth methods are furthest from it: log scales where the probability
or density underflows, arguments below 2^-52, probabilities at the ends of
the double range, huge counts.  Every value against mpmath by the promise's
own measure (support.metrics.promise_error)."""
import pytest

import distmill as dm
from support.metrics import AGREE_REL, promise_error

INF = float("inf")

# (function, arguments without the flag, log flag), by family group.
TAIL_PROBABILITIES = [5e-324, 1e-300, 1 - 2.0 ** -53]
NORMAL_AND_CLOSED_FORMS = [
    ("pnorm", (-8.3, 0, 1), True), ("pnorm", (-9.3, 0, 1), True), ("pnorm", (-40, 0, 1), True),
    ("pnorm", (8.3, 0, 1), True), ("pnorm", (-9, 0, 1), True),
    # log-CDFs far beyond the extended range, and with tiny scales
    ("pnorm", (-1e5, 0, 1), True), ("pnorm", (-1e150, 0, 1), True), ("pnorm", (-1.7e308, 1e308, 1e-300), True),
    ("pnorm", (-1e-200, 0, 5e-324), True), ("plnorm", (1e-300, 0, 1e-100), True),
    ("plaplace", (-1e-17, 0, 5e-324), True), ("plogis", (-1e-17, 0, 5e-324), True),
    ("pweibull", (5e-324, 30, 2.3e-16), True), ("pweibull", (0.1, 1e300, 7), True),
    ("pexp", (1e-17, 1), True), ("pcauchy", (-1e20, 0, 1), True), ("plaplace", (-50, 0, 1), True),
    ("pweibull", (1e-9, 2, 1), True),
    # ln x within 2^-52 of 1, and ln x - mu cancelling at a small sigma
    ("plnorm", (1 - 2.0 ** -53, 0, 1e-14), False), ("dlnorm", (1 - 2.0 ** -53, 0, 1e-17), False),
    ("dlnorm", (1.6009099223977035, 0.4705721690948869, 4.319649756603932e-19), False),
    ("plnorm", (2.550490169393114, 0.9362855639892227, 2.9879024270350246e-19), True),
    ("dlnorm", (2.172439935079017e-10, -3.0, 0.5), False),   # a subnormal normal density over x < 1
    # arguments and scales below 2^-52, and overflowing ratios
    ("pweibull", (1e-300, 0.01, 1), False), ("pweibull", (1e-300, 0.01, 1), True),
    ("dweibull", (1e-300, 0.5, 1), True), ("dweibull", (1e-17, 1e300, 1e-10), True),
    ("dweibull", (1 - 2.0 ** -53, 1e300, 1), False), ("dweibull", (1e300, 0.5, 1e-10), True),
    ("pweibull", (1e300, 1e-14, 1e-10), False), ("dweibull", (1.7976931348623157e308, 1e-14, 2.3e-16), True),
    ("punif", (1e-300, 0, 1e-290), True), ("dcauchy", (-1e-318, 0, 5e-324), True),
    ("dcauchy", (0, 0, 1e-310), True), ("dlogis", (1e-300, 0, 1e-300), True),
    # quantiles at the ends of the double range, on a coarse grid, in the tails
    ("qexp", (5e-324, 0.2), False), ("qnorm", (0.02, 0, 5e-324), False),
    ("qweibull", (0.99, 1e6, 1e-10), False), ("qweibull", (5e-324, 2, 7), False),
    ("qlnorm", (1e-10, 0, 30), False), ("qlnorm", (1 - 1e-10, 0, 30), False),
] + [(q, (p, *params), False) for q, params in [
    ("qnorm", (0, 1)), ("qlnorm", (0, 1)), ("qunif", (-1, 2)), ("qexp", (2,)), ("qcauchy", (0, 1)),
    ("qlaplace", (0, 1)), ("qlogis", (0, 1)), ("qweibull", (0.5, 2))] for p in TAIL_PROBABILITIES]
GAMMA_SIDE = [
    ("pgamma", (1e-10, 2, 1), True),
]
BETA_SIDE = [
    ("pt", (-1e6, 3), True), ("pbeta", (1e-6, 3, 3), True),
]
DISCRETE = [
]
CASES = NORMAL_AND_CLOSED_FORMS + GAMMA_SIDE + BETA_SIDE + DISCRETE


@pytest.mark.parametrize("name, args, flag", CASES, ids=[f"{n}{a}{'log' if f else ''}" for n, a, f in CASES])
def test_value_within_the_promise(name, args, flag):
    v = getattr(dm, name)(*args, flag) if name[0] != "q" else getattr(dm, name)(*args)
    assert promise_error(name, args, v, flag) <= AGREE_REL
