"""Python threads calling the module at once.

Every call holds the interpreter lock from start to finish, so threads
interleave only between calls.  With the switch interval cut to a
microsecond they interleave as finely as they can: each thread's private
engine must still give the stream of a single-threaded run, the pure
functions the same bits, and a shared engine must hand out each array
call's draws as one consecutive stretch of its stream.
"""
import sys
import threading

import numpy as np
import pytest

import distmill
from support.families import ELEMENTWISE, SAMPLERS, arguments, dtype, ordinary_args

THREADS = 4

# Ordinary arguments for every element-wise function, by element type.
ARGS = {"float64": np.array([0.05, 0.3, 0.5, 0.9, 2.5]), "int64": np.array([0, 1, 3, 7, 20]),
        "bool": np.array([False, True, False, True, False])}


def draw_script(engine):
    """Every sampler in its three forms, twice over, on one engine."""
    out = []
    for _ in range(2):
        for name in SAMPLERS:
            fn, args = getattr(distmill, name), ordinary_args(name)
            out.append(fn(*args, engine))
            out.extend(fn(*args, 7, engine).tolist())
            out.extend(fn(*args, [2, 3], engine).ravel().tolist())
    return np.array(out)


def value_script():
    return [getattr(distmill, n)(*(ARGS[dtype(a.kind)] for a in arguments(n))).tobytes() for n in ELEMENTWISE]


def run_threads(target, n=THREADS):
    barrier = threading.Barrier(n)
    results, errors = [None] * n, []

    def body(i):
        try:
            barrier.wait()
            results[i] = target(i)
        except BaseException as exc:  # reported by the test
            errors.append(repr(exc))

    old = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=body, args=(i,)) for i in range(n)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=120)
        assert not any(t.is_alive() for t in threads), "a thread did not finish"
    finally:
        sys.setswitchinterval(old)
    assert errors == []
    return results


def test_private_engines_give_the_single_threaded_streams():
    seeds = [3, -1, 2 ** 31 - 1, 3]
    reference = {s: draw_script(distmill.Engine(s)).tobytes() for s in set(seeds)}
    results = run_threads(lambda i: draw_script(distmill.Engine(seeds[i])).tobytes())
    for seed, got in zip(seeds, results):
        assert got == reference[seed]


def test_pure_functions_give_the_same_bits_in_every_thread():
    reference = value_script()
    results = run_threads(lambda i: [value_script() for _ in range(3)])
    for per_thread in results:
        for got in per_thread:
            assert got == reference


def test_every_sampler_on_a_shared_engine_runs_without_error():
    shared = distmill.Engine(21)
    results = run_threads(lambda i: draw_script(shared))
    for values in results:
        assert values.shape == (2 * 17 * 14,)
    # Four scripts' worth of draws were taken from the one engine: it is
    # no longer where a fresh engine stands, and still draws.
    assert distmill.runif(0.0, 1.0, shared) != distmill.runif(0.0, 1.0, distmill.Engine(21))


@pytest.mark.parametrize("chunk, calls", [(1, 400), (1000, 40), (25000, 4)])
def test_shared_engine_array_calls_take_consecutive_stretches(chunk, calls):
    # One uniform per output: the draws of all threads together are the
    # first THREADS * calls * chunk values of the engine's stream, and each
    # array call got one aligned stretch of it.
    shared = distmill.Engine(77)
    results = run_threads(lambda i: [distmill.runif(0.0, 1.0, chunk, shared) for _ in range(calls)])
    total = THREADS * calls * chunk
    stream = distmill.runif(0.0, 1.0, total, distmill.Engine(77))
    position = {v: k for k, v in enumerate(stream.tolist())}
    assert len(position) == total  # no repeated values, so positions are unique
    starts = []
    for per_thread in results:
        previous = -1
        for arr in per_thread:
            k = position[arr[0]]
            assert k % chunk == 0
            assert np.array_equal(arr, stream[k:k + chunk])
            assert k > previous  # a thread's calls follow one another
            previous = k
            starts.append(k)
    assert sorted(starts) == list(range(0, total, chunk))
    assert distmill.runif(0.0, 1.0, shared) == distmill.runif(0.0, 1.0, total + 1, distmill.Engine(77))[-1]
