"""Repeated calls do not grow the process.

Slow (a few minutes): runs only with DISTMILL_SLOW=1, as tools/check/slow-checks.sh
does.  A child process calls every function LOOP times in each form
(scalar; a small array, or for the samplers an integer and a list size),
then the error paths (impossible sizes, unbroadcastable shapes, wrong
arguments) and interrupted calls, and reports its resident set size after
a warm-up of WARMUP calls and after the loop.  A leak of a few dozen bytes
per call shows as megabytes; the tolerance is TOLERANCE bytes per loop.
"""
import json
import os
import signal
import subprocess
import sys

import numpy as np
import pytest

LOOP = 100_000
WARMUP = 10_000
TOLERANCE = 1 << 20

slow = pytest.mark.skipif(os.environ.get("DISTMILL_SLOW") != "1",
                          reason="slow memory loops: run by tools/check/slow-checks.sh (DISTMILL_SLOW=1)")



def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def calls():
    """(label, zero-argument callable) for every function and form."""
    import distmill
    from support.families import FUNCTIONS, ordinary_args
    engine = distmill.Engine(1)
    out = []
    for name in FUNCTIONS:
        fn, args = getattr(distmill, name), ordinary_args(name)
        if name[0] == "r":
            out.append((f"{name} scalar", lambda fn=fn, a=args: fn(*a, engine)))
            out.append((f"{name} count", lambda fn=fn, a=args: fn(*a, 4, engine)))
            out.append((f"{name} shape", lambda fn=fn, a=args: fn(*a, [2, 2], engine)))
        else:
            x, *params = args
            arr = np.full(4, x)
            out.append((f"{name} scalar", lambda fn=fn, a=args: fn(*a)))
            out.append((f"{name} array", lambda fn=fn, a=(arr, *params): fn(*a)))

    def raising(f, kind):
        def call():
            try:
                f()
            except kind:
                return
            raise AssertionError("no error")
        return call

    out.append(("size too big", raising(lambda: distmill.runif(0.0, 1.0, [2 ** 40, 2 ** 40], engine), ValueError)))
    out.append(("size beyond range", raising(lambda: distmill.runif(0.0, 1.0, 2 ** 63, engine), ValueError)))
    out.append(("too many dimensions", raising(lambda: distmill.runif(0.0, 1.0, [1] * 65, engine), ValueError)))
    out.append(("no broadcast", raising(lambda: distmill.dnorm([1.0, 2.0], 0.0, [1.0, 2.0, 3.0]), RuntimeError)))
    out.append(("broadcast too big", raising(
        lambda: distmill.dnorm(np.broadcast_to(0.0, (2 ** 40, 1)), np.broadcast_to(0.0, (1, 2 ** 40))), ValueError)))
    out.append(("wrong argument", raising(lambda: distmill.rexp(1.0, "3"), TypeError)))
    return out


def interrupted_calls():
    """Array calls stopped by a timer signal shortly after they start."""
    import distmill
    engine = distmill.Engine(1)
    signal.signal(signal.SIGALRM, signal.default_int_handler)

    def stopped(f):
        def call():
            # Armed inside the try: on a busy machine the timer may fire
            # before the call is entered.
            try:
                signal.setitimer(signal.ITIMER_REAL, 1e-4)
                f()
                signal.setitimer(signal.ITIMER_REAL, 0)
            except KeyboardInterrupt:
                pass
        return call

    x = np.zeros(10 ** 6)
    return [("interrupted draw", stopped(lambda: distmill.runif(0.0, 1.0, 10 ** 6, engine))),
            ("interrupted elements", stopped(lambda: distmill.dnorm(x))),
            ("interrupted trials", stopped(lambda: distmill.rbinom(10 ** 7, 0.5, engine)))]


def measure():
    report = {}
    for label, call in calls():
        for _ in range(WARMUP):
            call()
        before = rss()
        for _ in range(LOOP):
            call()
        report[label] = rss() - before
    for label, call in interrupted_calls():
        for _ in range(WARMUP // 10):
            call()
        before = rss()
        for _ in range(LOOP // 10):
            call()
        report[label] = rss() - before
    return report


@slow
def test_repeated_calls_do_not_grow_the_process():
    from support.child import child_env
    proc = subprocess.run([sys.executable, __file__], capture_output=True, text=True, env=child_env(), timeout=1800)
    assert proc.returncode == 0, proc.stderr[-3000:]
    report = json.loads(proc.stdout)
    assert len(report) == 17 * 2 * 3 + 17 * 3 + 6 + 3
    grown = {k: v for k, v in report.items() if v > TOLERANCE}
    assert grown == {}


if __name__ == "__main__":
    print(json.dumps(measure()))
