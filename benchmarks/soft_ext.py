"""Cost of the software extended format against the x87 unit, per function:
the same functions on the same inputs in two builds of the module, one with
the native x87 `long double` and one with the software format forced
(cmake -DDISTMILL_SOFT_EXT=ON); the results are the same bits, only the
time differs.

    PYTHONPATH=build python3 benchmarks/soft_ext.py build build-soft [--rounds 3] [--quick]

Each build runs in child processes of its own (the two modules have the same
name), alternating, `rounds` times; per function the smallest time over the
rounds is kept, in CPU time of the process (the callers are single-threaded,
and CPU time keeps other work on a shared machine out of the numbers).  The
inputs: for d and p the family's ordinary parameters and arguments spread
over the body and both tails (the quantiles of probabilities from 0.001 to
0.999), for q those probabilities, for r draws with the ordinary
parameters.  Prints a markdown table: ns per element in each build and the
ratio software / x87.
"""
import argparse
import json
import pathlib
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))

from support.families import DISCRETE, FAMILIES, FUNCTIONS, ORDER  # noqa: E402


def inputs(dm, np, name, n):
    """The array arguments of one call of `name` with n elements."""
    prefix, dist = name[0], name[1:]
    params = list(FAMILIES[dist].ordinary)
    p = np.linspace(0.001, 0.999, n)
    if prefix == "q":
        return [p, *params]
    if prefix == "r":
        return [*params, n, dm.Engine(7)]
    x = getattr(dm, "q" + dist)(p, *params)
    if dist in DISCRETE:
        x = x.astype(np.int64)
    return [x, *params, False]


def time_function(dm, np, name, n, budget):
    """CPU nanoseconds per element of one function, the median of calls
    repeated for about `budget` seconds."""
    args = inputs(dm, np, name, n)
    fn = getattr(dm, name)
    fresh = name[0] == "r"
    times = []
    start = time.process_time()
    while len(times) < 3 or (time.process_time() - start < budget and len(times) < 50):
        if fresh:
            args[-1] = dm.Engine(7)
        t = time.process_time()
        fn(*args)
        times.append(time.process_time() - t)
    return statistics.median(times) / n * 1e9


# Elements per call: fewer where one element costs microseconds (the
# iterative quantiles, the binomial CDF's sum and the samplers inverting them).
SLOW = {"pbinom", "qbeta", "qbinom", "qchisq", "qf", "qgamma", "qinvgamma", "qnorm", "qlnorm", "qpois",
        "qt", "rbinom", "rpois"}


def child(build, quick):
    sys.path.insert(0, str(pathlib.Path(build).resolve()))
    import numpy as np
    import distmill as dm
    budget = 0.05 if quick else 0.3
    out = {}
    for name in FUNCTIONS:
        n = (200 if quick else 2000) if name in SLOW else (2000 if quick else 20000)
        out[name] = time_function(dm, np, name, n, budget)
    print(json.dumps({"file": dm.__file__, "ns": out}))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("native", nargs="?", help="build folder of the x87 module")
    ap.add_argument("soft", nargs="?", help="build folder of the module with the software format")
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--quick", action="store_true", help="fewer elements and repeats")
    ap.add_argument("--child", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.child:
        return child(args.child, args.quick)
    if not (args.native and args.soft):
        ap.error("two build folders are needed")
    best = {"native": {}, "soft": {}}
    for _ in range(args.rounds):
        for key in ("native", "soft"):
            cmd = [sys.executable, __file__, "--child", getattr(args, key)] + (["--quick"] if args.quick else [])
            res = json.loads(subprocess.run(cmd, check=True, capture_output=True, text=True).stdout)
            for name, ns in res["ns"].items():
                best[key][name] = min(ns, best[key].get(name, float("inf")))
    print("| function | x87 ns/elem | software ns/elem | software / x87 |")
    print("|---|---:|---:|---:|")
    ratios = {}
    for prefix in "dpqr":
        for dist in ORDER:
            name = prefix + dist
            a, b = best["native"][name], best["soft"][name]
            ratios[name] = b / a
            print(f"| `{name}` | {a:.1f} | {b:.1f} | {b / a:.2f} |")
    geo = statistics.geometric_mean(ratios.values())
    worst = sorted(ratios, key=ratios.get, reverse=True)[:5]
    print(f"\nGeometric mean of the ratios: {geo:.2f}; largest: "
          + ", ".join(f"{n} {ratios[n]:.2f}" for n in worst))
    return 0


if __name__ == "__main__":
    sys.exit(main())
