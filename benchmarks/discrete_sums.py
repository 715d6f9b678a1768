"""Timings of the discrete CDFs and quantile searches.

    PYTHONPATH=build python3 benchmarks/discrete_sums.py [--plain]

Prints seconds per call for each case.  With --plain the same cases run
through the literal sums and walks (compiled from tests/cpp/probe_sums.cpp),
for a before/after comparison; cases whose literal form would take minutes
are skipped there (the estimate from the mass count is printed instead).
"""
import pathlib
import sys
import time

import distmill as dm

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from support import probe  # noqa: E402

CASES = [
    ("pbinom", (3000, 10**4, 0.3)),
    ("qbinom", (0.5, 10**4, 0.3)),
    ("qbinom", (0.999, 10**4, 0.3)),
    ("pbinom", (3 * 10**5, 10**6, 0.3)),
    ("qbinom", (0.5, 10**6, 0.3)),
    ("pbinom", (5 * 10**8, 10**9, 0.5)),
    ("pbinom", (10**9 - 1, 10**9, 0.5)),
    ("pbinom", (3 * 10**8 - 10**6, 10**9, 0.3)),
    ("qbinom", (0.5, 10**9, 0.3)),
    ("qbinom", (1e-12, 10**9, 0.5)),
    ("qbinom", (1 - 2.0**-53, 10**9, 0.5)),
    ("qpois", (0.5, 9.5)),
    ("qpois", (1 - 2.0**-53, 10.0)),
    ("ppois", (40, 10.0)),
]
PLAIN_LIMIT = 3 * 10**7  # mass evaluations


def plain_lib():
    lib = probe.load([probe.CPP / "probe_sums.cpp"])
    return {name: getattr(lib, name) for name in ("k_binom_sum_plain", "k_qbinom_plain", "k_pois_walk_plain",
                                                  "k_pois_walk")}


def timed(fn, args):
    reps, t0 = 0, time.perf_counter()
    while True:
        fn(*args)
        reps += 1
        t = time.perf_counter() - t0
        if t > 0.3 or reps >= 1000:
            return t / reps, fn(*args)


def main():
    plain = plain_lib() if "--plain" in sys.argv else None
    for name, args in CASES:
        sec, v = timed(getattr(dm, name), args)
        line = f"{name}{args}: {sec * 1e3:10.3f} ms  -> {v!r}"
        if plain is not None:
            if name == "pbinom":
                cost, fn, a = args[0] + 1, plain["k_binom_sum_plain"], args
            elif name == "qbinom":
                i = int(v)
                cost, fn, a = i * (i + 1) // 2, plain["k_qbinom_plain"], args
            elif name == "qpois":
                # both walks through the probe: the call overhead of the
                # module would hide the difference
                fsec, _ = timed(plain["k_pois_walk"], args)
                line += f"   walk: {fsec * 1e6:8.2f} us"
                cost, fn, a = 0, plain["k_pois_walk_plain"], args
            else:
                cost, fn = None, None
            if fn is None:
                pass
            elif cost > PLAIN_LIMIT:
                line += f"   plain: ~{cost:.2g} masses (not run)"
            else:
                psec, pv = timed(fn, a)
                if name == "qpois":
                    line += f"   plain walk: {psec * 1e6:8.2f} us"
                else:
                    line += f"   plain: {psec * 1e3:10.3f} ms"
        print(line, flush=True)


if __name__ == "__main__":
    main()
