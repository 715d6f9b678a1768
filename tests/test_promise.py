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
    ("pbinom", (0, 1000, 0.5), True), ("ppois", (0, 100), True), ("dpois", (10, 3e-308), True),
    ("qbinom", (5e-324, 10**6, 0.5), False), ("qbinom", (1e-300, 10**6, 0.5), False),
    ("qbinom", (1 - 2**-53, 10**6, 0.5), False),
    ("pbinom", (5 * 10**8, 10**9, 0.5), False), ("pbinom", (499999999, 999999999, 0.5), False),
    ("pbinom", (2381267, 1272811115987, 1.8708918787524453e-06), False),
    ("dbinom", (498455, 10**6, 0.5), False), ("dpois", (996911, 1e6), False), ("pbinom", (498455, 10**6, 0.5), False),
    ("dbinom", (1024, 2**62, 2**-52), False), ("qbinom", (0.5, 2**62, 2**-52), False),
    ("dbern", (1, 1e-17), True), ("pbern", (0, 1e-20), True), ("qbern", (0.75, 0.25 + 2**-54), False),
    ("dbinom", (5, 5, 1e-17), False), ("dbinom", (0, 52, 2.1327041025529587e-07), True),
    ("dbinom", (1605194352, 1605194352, 1 - 2**-53), False), ("qbinom", (0.75, 1, 0.25 + 2**-54), False),
    ("pbinom", (10, 10**9, 0.5), True), ("pbinom", (10**9 - 10, 10**9, 0.5), True),
    ("pbinom", (80, 2**62, 2**-52), True), ("qbinom", (5e-324, 2**62, 2**-52), False),
    ("dpois", (3, 1e-17), False), ("ppois", (10**6, 1e9), True), ("ppois", (3, 1e-300), True),
    ("qpois", (5e-324, 84727.16519956147), False), ("qpois", (1 - 2**-53, 1.5 * 2**-53), False),
    ("qpois", (1e-300, 1e4), False),
]
CASES = NORMAL_AND_CLOSED_FORMS + GAMMA_SIDE + BETA_SIDE + DISCRETE


@pytest.mark.parametrize("name, args, flag", CASES, ids=[f"{n}{a}{'log' if f else ''}" for n, a, f in CASES])
def test_value_within_the_promise(name, args, flag):
    v = getattr(dm, name)(*args, flag) if name[0] != "q" else getattr(dm, name)(*args)
    assert promise_error(name, args, v, flag) <= AGREE_REL
