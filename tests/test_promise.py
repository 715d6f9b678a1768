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
