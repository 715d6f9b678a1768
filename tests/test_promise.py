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
NORMAL_AND_CLOSED_FORMS = [
    ("pnorm", (-8.3, 0, 1), True), ("pnorm", (-9.3, 0, 1), True), ("pnorm", (-40, 0, 1), True),
    ("pnorm", (8.3, 0, 1), True),
    ("pexp", (1e-17, 1), True), ("pcauchy", (-1e20, 0, 1), True), ("plaplace", (-50, 0, 1), True),
    ("pweibull", (1e-9, 2, 1), True),
]
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
