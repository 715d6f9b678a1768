"""Two builds of distmill side by side: nanoseconds per element of every d,
p and q function (plain and with the log flag) on the ordinary arguments of
benchmarks/run.py, timed in child processes that alternate between the
builds round by round, so that the load of a shared machine falls on both
alike.  The headline is the ratio of the medians, this build / the other.

    PYTHONPATH=build python3 benchmarks/builds.py --other ../old/build
    PYTHONPATH=build python3 benchmarks/builds.py --other REV   # a git revision, built first

Arrays of 10^5 elements (10^4 for the iterative quantiles); --only selects
functions, --rounds the number of alternations (default 5).
"""
import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import run  # noqa: E402  (the benchmark's cases and timing)


def child(n, names):
    """One round in this process: {form: ns per element}."""
    import distmill as dm
    all_cases = run.cases(np.random.default_rng(20240607))
    out = {}
    for name in names:
        case = all_cases[name]
        k = min(n, 10**4) if name in run.ITERATIVE else n
        args = [a[:k] if isinstance(a, np.ndarray) else a for a in case["args"]]
        fn = getattr(dm, name)
        for flag in ((False, True) if name[0] in "dp" else (False,)):
            out[name + (" log" if flag else "")] = run.median_time(lambda: fn(*args, flag) if name[0] in "dp"
                                                                   else fn(*args), 3) / k * 1e9
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--other", required=True, help="directory of the other build, or a git revision")
    ap.add_argument("--only", help="comma-separated function names")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--n", type=int, default=10**5)
    ap.add_argument("--_child", action="store_true", help=argparse.SUPPRESS)
    a = ap.parse_args()
    import distmill as dm
    names = a.only.split(",") if a.only else [f for f in run.cases(np.random.default_rng(0)) if f[0] in "dpq"]
    if a._child:
        print(json.dumps(child(a.n, names)))
        return 0
    other = pathlib.Path(a.other)
    if not other.is_dir():
        sha, other = run.build_revision(a.other, lambda m: print(m, file=sys.stderr))
    here = pathlib.Path(dm.__file__).resolve().parent
    builds = {"this": here, "other": other}
    samples = {k: [] for k in builds}
    for r in range(a.rounds):
        for label, path in builds.items():
            env = dict(os.environ, PYTHONPATH=str(path))
            proc = subprocess.run([sys.executable, __file__, "--other", str(other), "--n", str(a.n), "--_child",
                                   *(["--only", a.only] if a.only else [])],
                                  env=env, capture_output=True, text=True, check=True)
            samples[label].append(json.loads(proc.stdout))
        print(f"round {r + 1}/{a.rounds}", file=sys.stderr)
    med = {k: {f: statistics.median(s[f] for s in v) for f in v[0]} for k, v in samples.items()}
    print(f"{'form':16} {'other ns':>10} {'this ns':>10} {'this/other':>10}")
    ratios = []
    for f in med["this"]:
        r = med["this"][f] / med["other"][f]
        ratios.append(r)
        print(f"{f:16} {med['other'][f]:10.1f} {med['this'][f]:10.1f} {r:10.3f}")
    q = statistics.quantiles(ratios, n=10) if len(ratios) > 1 else ratios * 9
    print(f"ratio this/other over {len(ratios)} forms: median {statistics.median(ratios):.3f}, "
          f"10% {q[0]:.3f}, 90% {q[-1]:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
