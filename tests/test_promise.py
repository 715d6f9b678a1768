"""The accuracy promise across families, at the arguments where the
fixed-depth methods are furthest from it: log scales where the probability
or density underflows, arguments below 2^-52, probabilities at the ends of
the double range, huge counts.  Every value against mpmath by the promise's
own measure (support.metrics.promise_error).  Then the instruments: a tiny
run of the sweep (tools/accuracy/promise.py), and the references where
mpmath's own series give out."""
import json
import subprocess
import sys

import mpmath as mp
import pytest

import distmill as dm
from conftest import need
from support import ROOT
from support import references as ref
from support.child import child_env
from support.metrics import AGREE_REL, promise_error

INF = float("inf")

# (function, arguments without the flag, log flag), by family group.
TAIL_PROBABILITIES = [5e-324, 1e-300, 1 - 2.0 ** -53]
NORMAL_AND_CLOSED_FORMS = [
    ("pnorm", (-8.3, 0, 1), True), ("pnorm", (-9.3, 0, 1), True), ("pnorm", (-40, 0, 1), True),
    ("pnorm", (8.3, 0, 1), True), ("pnorm", (-9, 0, 1), True),
    # a density beyond the double range at a subnormal argument: +inf, not 0
    ("dlnorm", (3.404e-320, -6.105693837811728, 251.47480559116264), False),
    # a grid coarser than the rule: a double beside the root
    ("qunif", (0.9999999999999969, -4.063119960652947, 3.0158541343566214), False),
    ("qlnorm", (0.7261861036341909, 0.5271133045136507, 7.143040187436457e-16), False),
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
    # arguments below 2^-52: real mass for small shapes, positive values
    # (not the guards' 0 or inf) for all; a scale below 2^-52 or above 2^52
    ("pgamma", (1e-20, 0.1, 1), False), ("pgamma", (1e-17, 0.001, 1), False), ("pgamma", (1e-17, 2, 1), False),
    ("pchisq", (1e-17, 0.2), False), ("pchisq", (2e-16, 1), False), ("pgamma", (1e-300, 0.001, 1e100), False),
    ("dgamma", (1e-20, 0.5, 1), False), ("dgamma", (1e-100, 0.99, 1), False), ("dgamma", (1e-20, 3, 1), False),
    ("dgamma", (1.4e-114, 2.5, 2), True), ("dinvgamma", (1, 2, 1e-17), False),
    ("dinvgamma", (1e-20, 2, 1e-20), True), ("pinvgamma", (1, 2, 1e16), False), ("pinvgamma", (1e17, 2, 1e16), True),
    ("pinvgamma", (1e300, 0.5, 1e100), False),
    # log scale where the tails underflow even the extended range, and close
    # to 0 (the small complement)
    ("pgamma", (1.0, 1e6, 1), True), ("pgamma", (5e-324, 1e3, 1), True), ("pinvgamma", (1e-300, 2, 1), True),
    ("pchisq", (1e-300, 1e6), True), ("pinvgamma", (1e-3, 2.5, 1e3), True),
    ("pgamma", (1.65e-14, 1.65e-12, 1), True), ("pgamma", (1e-300, 1e-300, 1), True),
    # huge shapes at any scale
    ("dgamma", (3e300, 1e300, 3.0), True), ("dinvgamma", (1e-300, 1e300, 1.0), True),
    ("dinvgamma", (3e-20, 1e20, 3.0), False), ("dchisq", (1e6, 1e6), False),
    # quantiles at the ends of the double range, both sides
    ("qgamma", (5e-324, 2, 1), False), ("qchisq", (5e-324, 3), False), ("qinvgamma", (5e-324, 3, 2), False),
    ("qinvgamma", (1e-15, 5e-324, 5e-324), False), ("qgamma", (1e-300, 0.5, 1e300), False),
    ("qgamma", (1e-300, 1e6, 1), False), ("qgamma", (1 - 2**-53, 1e6, 1), False), ("qchisq", (1 - 2**-53, 2e-3), False),
    ("qinvgamma", (1 - 2**-53, 1e-3, 1), False), ("qinvgamma", (1e-310, 0.5, 1e-300), False),
    ("qgamma", (1e-320, 0.01, 3.0), False), ("qgamma", (1e-310, 3, 1e-10), False),
]
BETA_SIDE = [
    ("pt", (-1e6, 3), True), ("pbeta", (1e-6, 3, 3), True),
    ("qf", (5e-324, 2.0, 3.0), False),   # the root at the least subnormal, not 0 beside it
    # log-CDFs far below the double and extended ranges, and close to 0
    ("pt", (-1e300, 50), True), ("pt", (-1.7976931348623157e308, 1e6), True), ("pt", (-1e200, 2), True),
    ("pt", (-1e160, 2), True), ("pt", (-590.63, 195.7), True), ("pt", (1e155, 0.737), True),
    ("pt", (9.02, 18.03), True), ("pbeta", (1e-300, 3, 5), True), ("pbeta", (1e-100, 50, 5), True),
    ("pbeta", (5e-324, 2.7, 2.7), True), ("pbeta", (1 - 2 ** -49, 0.226, 0.486), True),
    ("pf", (1e-300, 3, 5), True), ("pf", (1.6e-152, 7754, 59545), True), ("pf", (1e300, 0.5, 3), True),
    # arguments below 2^-52
    ("pbeta", (1e-300, 0.01, 5), False), ("pbeta", (1e-300, 0.01, 5), True), ("dbeta", (1e-300, 0.5, 5), False),
    ("dbeta", (5e-324, 0.5, 5), True), ("df", (1e-300, 1, 5), False), ("df", (5e-324, 3, 5), True),
    ("pf", (1e-300, 0.01, 5), False),
    # large shapes, tiny first shapes with p near 1, the closed-form dof
    ("dbeta", (0.4967, 1e5, 1e5), False), ("dbeta", (0.4967, 1e5, 1e5), True), ("qf", (0.99989, 1, 1), False),
    ("qbeta", (1 - 2 ** -53, 1e-17, 150), False), ("qbeta", (1 - 1.8e-15, 1.1e-16, 0.855), False),
    ("qf", (1 - 1.8e-15, 2.3e-16, 1.71), False), ("pbeta", (7.9e-8, 1e-17, 150), True),
    # probabilities at the ends of the double range
    ("qbeta", (5e-324, 2, 3), False), ("qbeta", (1e-300, 0.5, 40), False), ("qbeta", (1 - 2 ** -53, 2, 3), False),
    ("qf", (5e-324, 10, 4), False), ("qf", (1e-300, 2, 3), False), ("qf", (1 - 2 ** -53, 3, 0.2), False),
    ("qt", (5e-324, 3), False), ("qt", (1e-300, 0.9), False), ("qt", (1 - 2 ** -53, 1e6), False),
    # a lower-half probability whose quantile lies beyond the largest double
    ("qf", (0.3, 1.18e-4, 1.81e-10), False),
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


def test_sweep_tool(kernels, tmp_path):
    """A tiny run of tools/accuracy/promise.py on the literal methods from the
    session's probe library: its tally adds up, every value it lists outside
    the promise is outside by promise_error, it finds the literal log-CDF's
    -inf below 2^-52 that the checks exist for, and --rerun reads its file."""
    need("scipy")
    out = tmp_path / "sweep.json"
    tool = [sys.executable, str(ROOT / "tools" / "accuracy" / "promise.py"), "--literal-lib", kernels._lib._name,
            "--jobs", "1", "--out", str(out)]
    run = subprocess.run([*tool, "--quick", "--only", "pexp,qlaplace", "--regions", "tiny-x,p-subnormal"],
                         capture_output=True, text=True, env=child_env(), timeout=300)
    assert run.returncode == 0, run.stderr[-3000:]
    got = json.loads(out.read_text())
    assert set(got["forms"]) == {"pexp", "pexp log", "qlaplace"}
    for form, r in got["forms"].items():
        for side in ("checked", "literal"):
            s = r[side]
            assert s["values"] == r["points"] - r["no_reference"] > 0
            assert s["within_promise"] + s["outside"] == s["values"]
            listed = [f for f in got["failures" if side == "checked" else "literal_failures"] if f["form"] == form]
            assert len(listed) == s["outside"]
    assert got["forms"]["pexp log"]["literal"]["outside"] > 0
    for f in got["failures"] + got["literal_failures"]:
        assert f["value"] is None or promise_error(f["function"], f["args"], f["value"], f["log"]) > AGREE_REL
    rerun = subprocess.run([*tool, "--rerun", str(out)], capture_output=True, text=True, env=child_env(), timeout=300)
    assert rerun.returncode == 0 and f"of {len(got['failures'])} still outside" in rerun.stdout, rerun.stderr[-3000:]


# The references behind the promise where mpmath's own series give out:
# tails of huge shapes integrated around the point, far above a huge gamma
# shape the asymptotic series, shapes below the working precision as their
# limit.  Each against the series (or mpmath's function) where that still
# converges: (family reference, arguments, which tail to compare).
REFERENCE_METHODS = [
    ("gamma", (2e5, 2e5 - 900.0)), ("gamma", (2e5, 2e5 + 3000.0)), ("gamma", (3e5, 2.9e5)),
    ("gamma", (2e5, 3.1e5)), ("gamma", (1e-45, 3.0)),
    ("beta", (3e4, 2e4, 0.595)), ("beta", (3e4, 2e4, 0.62)), ("beta", (900.0, 2e4, 0.035)),
    ("beta", (2e4, 9.5, 0.9997)),
]


@pytest.mark.parametrize("kind, args", REFERENCE_METHODS)
def test_reference_methods_agree(kind, args, monkeypatch):
    tails = ref.gamma_tails if kind == "gamma" else ref.beta_tails
    got = tails(*args)
    monkeypatch.setattr(ref, "HUGE_SHAPE", mp.inf)
    monkeypatch.setattr(ref, "HUGE_BETA_SHAPES", mp.inf)
    if kind == "gamma" and args[0] < 1e-40:
        with mp.workdps(mp.mp.dps + 40):
            Q = mp.gammainc(args[0], args[1], mp.inf, regularized=True)
        want = (1 - Q, Q)
    else:
        want = tails(*args)
    # Either tail to 30 digits of the smaller one (far below a double's).
    for g, w in zip(got, want):
        assert abs(g - w) <= 1e-30 * min(want)
