"""CPU time of representative calls in several builds of the module, as
ratios to the first build: the measurement behind the compiler settings in
CMakeLists.txt.  Each build runs in its own child process, in a shuffled
order every round; process CPU time (not wall time) keeps other work on a
shared machine out of the numbers, and the minimum over rounds is kept.

    python3 tools/check/compare_builds.py build-a build-b build-c --rounds 5

Pair it with the output digest (tools/check/digest/digest.py) to check that
the builds also agree bit for bit.
"""
import argparse
import json
import math
import os
import random
import statistics
import subprocess
import sys

CHILD = r'''
import json, time, numpy as np
import distmill as dm
rng = np.random.default_rng(0)
N, M = 200000, 2000
x = rng.uniform(0.05, 5.0, N); p = rng.uniform(0.01, 0.99, M); pb = rng.uniform(0.01, 0.99, N)
k = rng.integers(0, 40, N)
cases = {
 'dnorm': lambda: dm.dnorm(x, 0.0, 1.0), 'pnorm': lambda: dm.pnorm(x, 0.0, 1.0),
 'dgamma': lambda: dm.dgamma(x, 2.5, 1.0), 'pgamma': lambda: dm.pgamma(x, 2.5, 1.0),
 'pgamma(20)': lambda: dm.pgamma(x[:M] * 8, 20.0, 1.0), 'pbeta': lambda: dm.pbeta(pb, 2.0, 3.0),
 'pt': lambda: dm.pt(x, 5.0), 'dbinom': lambda: dm.dbinom(k, 40, 0.3),
 'pbinom': lambda: dm.pbinom(k[:M * 10], 40, 0.3), 'dexp': lambda: dm.dexp(x, 2.0),
 'plogis': lambda: dm.plogis(x, 0.0, 1.0), 'pcauchy': lambda: dm.pcauchy(x, 0.0, 1.0),
 'qnorm': lambda: dm.qnorm(p, 0.0, 1.0), 'qgamma': lambda: dm.qgamma(p, 3.0, 1.0),
 'qgamma(20)': lambda: dm.qgamma(p[:500], 20.0, 1.0), 'qbeta': lambda: dm.qbeta(p, 2.0, 3.0),
 'qt': lambda: dm.qt(p, 5.0), 'qweibull': lambda: dm.qweibull(pb, 1.5, 1.0),
 'qchisq': lambda: dm.qchisq(p, 5.0), 'qf': lambda: dm.qf(p, 5.0, 12.0),
 'ppois(20)': lambda: dm.ppois(k[:M] + 5, 20.0),
 'rnorm': lambda: dm.rnorm(0.0, 1.0, N, dm.Engine(1)), 'rgamma': lambda: dm.rgamma(2.5, 1.0, N, dm.Engine(1)),
 'rpois(20)': lambda: dm.rpois(20.0, 1000, dm.Engine(1)), 'rbinom': lambda: dm.rbinom(40, 0.3, M * 10, dm.Engine(1)),
 'rbeta': lambda: dm.rbeta(2.0, 3.0, N, dm.Engine(1)), 'rexp': lambda: dm.rexp(2.0, N, dm.Engine(1)),
}
out = {}
for name, f in cases.items():
    f()
    best = float('inf')
    for _ in range(5):
        t = time.process_time(); f(); best = min(best, time.process_time() - t)
    out[name] = best
print(json.dumps(out))
'''


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("builds", nargs="+", help="build directories holding the module")
    ap.add_argument("--rounds", type=int, default=5)
    args = ap.parse_args()
    random.seed(1)
    res = {b: [] for b in args.builds}
    for r in range(args.rounds):
        order = args.builds[:]
        random.shuffle(order)
        for b in order:
            env = dict(os.environ, PYTHONPATH=os.path.abspath(b))
            proc = subprocess.run([sys.executable, "-c", CHILD], env=env, capture_output=True, text=True, check=True)
            res[b].append(json.loads(proc.stdout))
        print(f"round {r + 1}/{args.rounds}", file=sys.stderr)
    names = list(res[args.builds[0]][0])
    best = {b: {n: min(d[n] for d in res[b]) for n in names} for b in args.builds}
    base = args.builds[0]
    labels = [os.path.basename(os.path.normpath(b)) for b in args.builds]
    print(f"{'':12s}" + "".join(f"{l:>14s}" for l in labels))
    for n in names:
        print(f"{n:12s}" + "".join(f"{best[b][n] / best[base][n]:14.3f}" for b in args.builds))
    geo = [math.exp(statistics.mean(math.log(best[b][n] / best[base][n]) for n in names)) for b in args.builds]
    print(f"{'geomean':12s}" + "".join(f"{g:14.3f}" for g in geo))


if __name__ == "__main__":
    main()
