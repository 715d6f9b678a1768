"""Hostile argument grids, run inside a child process.

`python hostile.py` serves requests, one per line on stdin: the name of a
module function.  For that function it evaluates every cell of the grid of
hostile values (every argument position takes every value of its kind)
and answers with one JSON line summarising what happened.  The parent
(test_hostile_inputs.py) reads the answer with a timeout, so a call that
never returns fails the test instead of hanging it.

Cells whose cost grows with a count by the nature of the algorithm (see
`work`) are not run to completion: each is started under an interval timer
of SLOW_BUDGET seconds whose signal handler raises KeyboardInterrupt, and
it must either return within that budget or be stopped by the interrupt.
All other cells of a d, p or q function are evaluated in one element-wise
call; those of a sampler one scalar call and one array call each.
"""
import itertools
import json
import math
import signal
import sys
import time

import numpy as np

from support.families import arguments, dtype

EPS = 2.0 ** -52
DBL_MAX = sys.float_info.max
INT64_MIN, INT64_MAX = -2 ** 63, 2 ** 63 - 1

# Values for a float64 argument: NaN, the infinities, signed zeros, the
# smallest subnormals of either sign and the smallest normal, the largest
# finite values, one ulp either side of 1 and of EPS, probabilities just
# outside [0, 1] (-5e-324 and 1 + EPS), ordinary values on both sides of
# the method switches (3, 30), rates where the Poisson search is longest
# (1e13), and values beyond the int64 range and 2^53.
FLOATS = [math.nan, math.inf, -math.inf, 0.0, -0.0, 5e-324, -5e-324, 2.2250738585072014e-308,
          DBL_MAX, -DBL_MAX, 1 - 2 ** -53, 1.0, 1 + EPS, math.nextafter(EPS, 0), EPS,
          math.nextafter(EPS, 1), 0.5, -1.0, 3.0, 30.0, 1e13, 1e17, 2.0 ** 63, -2.0 ** 63]
# Values for an int64 argument (a count or n_trials).
INTS = [INT64_MIN, INT64_MIN + 1, -1, 0, 1, 2, 3, 30, 2 ** 31, 2 ** 53, 2 ** 53 + 1, INT64_MAX - 1, INT64_MAX]
FLAGS = [False, True]
POOLS = {"f": FLOATS, "i": INTS, "b": FLAGS}

# A cell whose estimated work (mass evaluations, search steps, engine
# outputs) exceeds this is slow by nature; at about 2 us for the dearest
# unit (a binomial mass) the cells below it take at most 0.15 s each.
SLOW_WORK = 2 ** 16
# Time a slow cell may run before it is interrupted.
SLOW_BUDGET = 0.005


def kinds(name):
    """Argument pools of a module function, in order: 'f' float64, 'i'
    int64, 'b' the flag."""
    return "".join(dtype(a.kind)[0] for a in arguments(name))


def _valid_prob(prob):
    return 0 <= prob <= 1


def work(name, cell):
    """Estimated work of one call, for the functions whose cost depends on
    their arguments; 1 for the rest.

    rbinom spends one engine output per trial.  (pbinom and qbinom are
    bounded: where summing masses would be long they take the incomplete
    beta function; qpois is bounded for every rate: its fixed-depth walk is
    run only up to rate 1e7, the converged search takes at most a few
    hundred CDF evaluations.)
    """
    if name == "rbinom":
        n, prob = cell
        if _valid_prob(prob) and n > 0:
            return n
    return 1


# --- the child side --------------------------------------------------------

_armed = False


def _on_alarm(signum, frame):
    if _armed:
        raise KeyboardInterrupt


def _bounded_call(fn, args):
    """('value', v) when fn(*args) returns within SLOW_BUDGET, ('interrupted',
    seconds from the timer to the exception) when the timer stopped it."""
    global _armed
    start = time.perf_counter()
    _armed = True
    try:
        signal.setitimer(signal.ITIMER_REAL, SLOW_BUDGET)
        v = fn(*args)
        _armed = False
        signal.setitimer(signal.ITIMER_REAL, 0)
        return "value", v
    except KeyboardInterrupt:
        _armed = False
        return "interrupted", time.perf_counter() - start - SLOW_BUDGET


QUIET_NAN = 0x7FF8000000000000


def other_nans(values):
    """The bit patterns of the NaNs among float64 values that are not the
    one quiet NaN every function returns."""
    v = np.asarray(values, dtype=np.float64).reshape(-1)
    bits = v.view(np.uint64)
    return sorted({hex(b) for b in bits[np.isnan(v) & (bits != QUIET_NAN)].tolist()})


def check_elementwise(distmill, name):
    fn = getattr(distmill, name)
    ks = kinds(name)
    cells = list(itertools.product(*(POOLS[k] for k in ks)))
    fast = [c for c in cells if work(name, c) <= SLOW_WORK]
    slow = [c for c in cells if work(name, c) > SLOW_WORK]
    dtypes = {"f": np.float64, "i": np.int64, "b": np.bool_}
    columns = [np.array([c[j] for c in fast], dtype=dtypes[k]) for j, k in enumerate(ks)]
    t = time.perf_counter()
    out = fn(*columns)
    grid_seconds = time.perf_counter() - t
    assert isinstance(out, np.ndarray) and out.dtype == np.float64 and out.shape == (len(fast),)

    violations, ranges = [], []
    for c, v in zip(fast, out.tolist()):
        # Every NaN is the quiet NaN 0x7ff8000000000000, whatever made it.
        if other_nans([v]):
            violations.append([repr(c), other_nans([v])[0], "not the quiet NaN"])
        floats = [a for a, k in zip(c, ks) if k == "f"]
        # A NaN argument gives NaN.
        if any(math.isnan(a) for a in floats) and not math.isnan(v):
            violations.append([repr(c), v, "NaN argument"])
        # A probability outside [0, 1] gives NaN.
        if name[0] == "q" and (c[0] < 0 or c[0] > 1) and not math.isnan(v):
            violations.append([repr(c), v, "p outside [0, 1]"])
        # A CDF lies in [0, 1], its log in [-inf, 0]; a density is >= 0.
        if name[0] == "p" and not math.isnan(v):
            lo, hi = (-math.inf, 0.0) if c[-1] else (0.0, 1.0)
            if not lo <= v <= hi:
                ranges.append([repr(c), v, "CDF out of range"])
        if name[0] == "d" and not c[-1] and v < 0:
            ranges.append([repr(c), v, "negative density"])

    slow_results = []
    for c in slow:
        kind, v = _bounded_call(fn, c)
        if kind == "value" and not isinstance(v, float):
            violations.append([repr(c), repr(v), "not a float"])
        slow_results.append([kind, v])
    return {"cells": len(cells), "grid_seconds": grid_seconds, "violations": violations,
            "ranges": ranges, "slow": slow_results}


def check_sampler(distmill, name):
    fn = getattr(distmill, name)
    ks = kinds(name)
    cells = list(itertools.product(*(POOLS[k] for k in ks)))
    violations, slow_results = [], []
    worst = 0.0
    for c in cells:
        engine, twin = distmill.Engine(11), distmill.Engine(11)
        if work(name, c) > SLOW_WORK:
            for args in (c + (engine,), c + (3, engine)):
                kind, v = _bounded_call(fn, args)
                slow_results.append([kind, v if kind == "interrupted" else 0.0])
            continue
        t = time.perf_counter()
        v = fn(*c, engine)
        arr = fn(*c, 3, engine)
        worst = max(worst, time.perf_counter() - t)
        if not isinstance(v, float) or arr.dtype != np.float64 or arr.shape != (3,):
            violations.append([repr(c), repr(v), "wrong result type"])
        elif other_nans([v, *arr]):
            violations.append([repr(c), other_nans([v, *arr])[0], "not the quiet NaN"])
        if any(isinstance(a, float) and math.isnan(a) for a in c):
            # NaN parameters give NaN and leave the engine untouched.
            if not (math.isnan(v) and np.isnan(arr).all()):
                violations.append([repr(c), repr(v), "NaN parameter"])
            if distmill.runif(0.0, 1.0, engine) != distmill.runif(0.0, 1.0, twin):
                violations.append([repr(c), repr(v), "NaN parameter consumed draws"])
    return {"cells": len(cells), "grid_seconds": worst, "violations": violations, "ranges": [],
            "slow": slow_results}


def serve():
    import distmill
    signal.signal(signal.SIGALRM, _on_alarm)
    print("ready", flush=True)
    for line in sys.stdin:
        name = line.strip()
        check = check_sampler if name[0] == "r" else check_elementwise
        print(json.dumps(check(distmill, name)), flush=True)


if __name__ == "__main__":
    serve()
