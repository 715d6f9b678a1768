"""Long calls stop on Ctrl-C.

Each case starts a child interpreter on a call that runs for minutes or
more, sends it SIGINT once the call is under way, and expects
KeyboardInterrupt out of that very call within LATENCY seconds.  Where an
engine was drawing, the child then checks that the engine continues the
stream of a fresh engine with the same seed from some offset: the draws
made before the interrupt advanced it, and nothing else did.
"""
import selectors
import signal
import subprocess
import sys
import textwrap
import time

import pytest

from support.child import child_env

LATENCY = 3.0
# A call still running this long after the signal is not interruptible.
TIMEOUT = 20.0
# Time the calls run before the signal.
RUNNING = 0.3

PRELUDE = """
import sys, numpy as np, distmill
from distmill import *
e = Engine(5)
print("go", flush=True)
try:
    {call}
    print("returned", flush=True)
except KeyboardInterrupt:
    print("interrupted", flush=True)
"""

# After the interrupt: the next 1000 uniforms of `e` must be a stretch of
# the stream of a fresh Engine(5), found by scanning that stream.
STREAM_CHECK = """
w = runif(0.0, 1.0, 1000, e)
f = Engine(5)
seen = 0
while True:
    chunk = runif(0.0, 1.0, 1 << 20, f)
    hit = np.flatnonzero(chunk == w[0])
    if hit.size:
        k = seen + int(hit[0])
        tail = np.concatenate([chunk[hit[0]:], runif(0.0, 1.0, 1000, f)])[:1000]
        print("offset", k, bool((tail == w).all()), flush=True)
        break
    seen += chunk.size
    assert seen < 10**9
"""

# Calls that run far longer than the test: minutes to centuries.
LONG_CALLS = [
    ("rbinom(2**62, 0.5, e)", True),                      # one output per trial
    ("rbinom(2**62, 0.5, 3, e)", True),
    ("rexp(1.0, [10**4, 10**4], e)", True),               # 10^8 draws
    ("runif(0.0, 1.0, 10**8, e)", True),
    ("rpois(3.0, 10**8, e)", True),
    ("pbinom(np.full(10**7, 2**40), 2**41, 0.5)", False),  # incomplete beta per element, ~10 us each
    ("qbinom(np.broadcast_to(0.5, (10**7,)), 2**62, 0.5)", False),  # a search per element
    ("qnorm(np.broadcast_to(0.3, (2 * 10**8,)))", False),  # many cheap elements
    ("dbinom(np.broadcast_to(7, (10**7,)), 2**40, 0.5)", False),
]


def _start(call, check_stream):
    code = PRELUDE.format(call=call) + (STREAM_CHECK if check_stream else "")
    return subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, env=child_env())


@pytest.fixture(scope="module")
def interrupted():
    """All long calls run at once, each in its own child; once every one
    is under way each gets SIGINT.  For each call: the first line it
    printed after the signal (within the timeout), the seconds from the
    signal to that line, and the rest of its output."""
    procs = [_start(call, draws) for call, draws in LONG_CALLS]
    results = {}
    try:
        for proc in procs:
            assert proc.stdout.readline().strip() == "go"
        time.sleep(RUNNING)
        sel = selectors.DefaultSelector()
        sent = {}
        for proc in procs:
            sent[proc.pid] = time.monotonic()
            proc.send_signal(signal.SIGINT)
            sel.register(proc.stdout, selectors.EVENT_READ, proc)
        first = {}
        deadline = time.monotonic() + TIMEOUT
        while len(first) < len(procs) and time.monotonic() < deadline:
            for key, _ in sel.select(deadline - time.monotonic()):
                proc = key.data
                first[proc.pid] = (proc.stdout.readline().strip(), time.monotonic() - sent[proc.pid])
                sel.unregister(proc.stdout)
        for (call, _), proc in zip(LONG_CALLS, procs):
            if proc.pid not in first:
                results[call] = ("no answer", TIMEOUT, "", "")
                continue
            try:
                out, err = proc.communicate(timeout=60)
            except subprocess.TimeoutExpired:
                out, err = "", "stream check timed out"
            results[call] = first[proc.pid] + (out, err)
    finally:
        for proc in procs:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
    return results


@pytest.mark.parametrize("call, draws", LONG_CALLS)
def test_long_call_raises_keyboard_interrupt(interrupted, call, draws):
    line, latency, out, err = interrupted[call]
    assert line == "interrupted", err[-2000:]
    assert latency < LATENCY
    if draws:
        # The engine continues a fresh engine's stream after the draws that
        # were made (one uniform per output for runif, rexp, rpois and each
        # binomial trial).
        words = out.split()
        assert words[0] == "offset" and words[2] == "True", out + err[-2000:]
        assert int(words[1]) > 0


def test_pure_functions_and_engines_work_after_an_interrupt():
    # An interrupt in the middle of an element-wise call and of an array
    # draw leaves nothing behind: later calls give what they give in a
    # fresh process.
    code = textwrap.dedent("""
        import distmill, numpy as np
        from distmill import *
        import signal
        signal.signal(signal.SIGALRM, signal.default_int_handler)
        for call in (lambda: pbinom(np.full(10**7, 2**40), 2**41, 0.5), lambda: runif(0.0, 1.0, 10**8, Engine(3))):
            try:
                signal.setitimer(signal.ITIMER_REAL, 0.1)
                call()
                print("returned")
            except KeyboardInterrupt:
                pass
        print(repr(pbinom(30, 100, 0.3)), repr(qbinom(0.4, 100, 0.3)), repr(rnorm(0.0, 1.0, Engine(8))))
    """)
    fresh = "from distmill import *; print(repr(pbinom(30, 100, 0.3)), repr(qbinom(0.4, 100, 0.3)), repr(rnorm(0.0, 1.0, Engine(8))))"
    env = child_env()
    after = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, timeout=60)
    ref = subprocess.run([sys.executable, "-c", fresh], capture_output=True, text=True, env=env, timeout=60)
    assert after.returncode == 0, after.stderr
    assert after.stdout.strip() == ref.stdout.strip()
