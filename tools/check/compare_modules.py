"""Bit-for-bit comparison of two builds of the module over a wide random sweep
of the 51 d, p and q functions.

The output digest (tools/check/digest) evaluates a grid and a few thousand
random points per function; a change that moves values only in a corner
(a region where a check triggers, a far tail, a tiny or huge parameter) can
slip through it.  This sweep draws, per function, many points from mixtures
that cover the whole range: ordinary values, far tails, arguments near the
ends of the support, parameters from 1e-300 to 1e300, the special values
(0, subnormals, 2^-52, 1, +-inf) and points where the checked functions
compare their fixed-depth value with a converged one.  Each build runs in a
process of its own (the two modules have the same name); the inputs depend
only on the seed, so both see the same points.

    python3 tools/check/compare_modules.py BUILD_A BUILD_B [--n 100000]
                                           [--only pbeta,qt] [--seed 1]

Prints, per function, the number of points, how many differ in any bit (NaN
payloads and signed zeros included), the largest difference in units in the
last place and the largest difference measured by the project's agreement
rule (1e-10 relative to min(P, 1 - P) for probabilities, relative for
densities, absolute for log-densities, relative for quantiles), with a few
of the differing points.  Exit status 1 when any value differs.
"""
import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time

import numpy as np

ORDER = "norm bern beta binom cauchy chisq exp f gamma invgamma laplace lnorm logis pois t unif weibull".split()

# Parameter kinds of each family, in signature order.
PARAMS = {
    "norm": ["loc", "scale"], "bern": ["prob"], "beta": ["shape", "shape"], "binom": ["trials", "prob"],
    "cauchy": ["loc", "scale"], "chisq": ["dof"], "exp": ["scale"], "f": ["dof", "dof"],
    "gamma": ["shape", "scale"], "invgamma": ["shape", "scale"], "laplace": ["loc", "scale"],
    "lnorm": ["loc", "scale"], "logis": ["loc", "scale"], "pois": ["rate"], "t": ["dof"],
    "unif": ["loc", "loc"], "weibull": ["shape", "scale"],
}
DISCRETE = {"bern", "binom", "pois"}
UNIT = {"beta"}  # support [0, 1]
INF = float("inf")


def mixture(rng, n, parts):
    """n values drawn from a mixture: parts is a list of (weight, sampler)."""
    w = np.array([p[0] for p in parts], dtype=float)
    pick = rng.choice(len(parts), size=n, p=w / w.sum())
    out = np.empty(n)
    for i, (_, draw) in enumerate(parts):
        m = pick == i
        out[m] = draw(int(m.sum()))
    return out


def specials(rng, values):
    values = np.array(values, dtype=float)
    return lambda k: values[rng.integers(0, len(values), k)]


def log_uniform(rng, lo, hi, sign=False):
    def draw(k):
        v = 10.0 ** rng.uniform(lo, hi, k)
        return v * rng.choice([-1.0, 1.0], k) if sign else v
    return draw


def draw_kind(kind, rng, n):
    U = lambda lo, hi: (lambda k: rng.uniform(lo, hi, k))
    if kind == "loc":
        return mixture(rng, n, [
            (40, lambda k: rng.normal(0, 3, k)), (15, log_uniform(rng, -10, 10, True)),
            (15, log_uniform(rng, 3, 8, True)), (15, log_uniform(rng, -300, 300, True)),
            (15, specials(rng, [0.0, -0.0, 1.0, -1.0, 1e300, -1e300, INF, -INF, 5e-324]))])
    if kind in ("scale", "shape", "dof"):
        extra = {"scale": [0.0, 5e-324, 2.0**-52, 2.0**-53, 1.0, 2.0, 1e300, INF],
                 "shape": [0.0, 5e-324, 2.0**-52, 1e-5, 0.05, 0.3, 0.5, 1.0, 2.0, 10.0, 12.0, 31.0,
                           2000.0, 1e11, INF],
                 "dof": [0.0, 2.0**-52, 1e-4, 0.5, 0.75, 0.84, 1.0, 2.0, 3.0, 1e3, 1e4, 2.0**53, INF]}[kind]
        return mixture(rng, n, [
            (40, log_uniform(rng, -2, 3)), (20, log_uniform(rng, -20, 20)),
            (10, log_uniform(rng, -300, 300)), (15, log_uniform(rng, 3, 12)),
            (15, specials(rng, extra))])
    if kind == "prob":
        return mixture(rng, n, [
            (60, U(0, 1)), (15, log_uniform(rng, -20, 0)), (15, lambda k: 1 - 10.0 ** rng.uniform(-16, 0, k)),
            (10, specials(rng, [0.0, 1.0, 0.5, 2.0**-53, 1 - 2.0**-53]))])
    if kind == "rate":
        return mixture(rng, n, [
            (30, U(0, 30)), (30, log_uniform(rng, -20, 20)), (20, log_uniform(rng, 1, 8)),
            (10, log_uniform(rng, -300, 300)),
            (10, specials(rng, [0.0, 2.0**-52, 1e-300, 10.0, 10.5, 11.0, 1e7, INF]))])
    if kind == "trials":
        return mixture(rng, n, [
            (40, lambda k: rng.integers(0, 50, k)), (30, lambda k: rng.integers(50, 2000, k)),
            (20, lambda k: np.floor(10.0 ** rng.uniform(3, 5.5, k))),
            (10, specials(rng, [0, 1, 2, 3]))])
    if kind == "p":
        return mixture(rng, n, [
            (40, U(0, 1)), (20, log_uniform(rng, -300, 0)), (20, lambda k: 1 - 10.0 ** rng.uniform(-16, 0, k)),
            (10, log_uniform(rng, -10, 0)),
            (10, specials(rng, [0.0, 1.0, 0.5, 5e-324, 2.0**-53, 2.0**-52, 1 - 2.0**-53, 0.25, 0.75]))])
    raise ValueError(kind)


def draw_x(dist, params, rng, n):
    """Points of the first argument of d and p, related to the parameters
    for half of them so that the bulk and the tails are both reached."""
    if dist in DISCRETE:
        centre = {"bern": lambda: params[0], "binom": lambda: params[0] * params[1],
                  "pois": lambda: params[0]}[dist]()
        centre = np.where(np.isfinite(centre), centre, 0.0)
        spread = np.sqrt(np.abs(centre)) + 1
        near = np.clip(centre + rng.normal(0, 3, n) * spread, -5, 2.0**62)
        x = mixture(rng, n, [
            (35, lambda k: rng.integers(0, 50, k)), (15, lambda k: rng.integers(0, 2000, k)),
            (10, lambda k: -rng.integers(1, 5, k)), (5, specials(rng, [0, 1, 2, 2**40, 2**62]))])
        use_near = rng.random(n) < 0.35
        return np.where(use_near, np.floor(near), x).astype(np.int64)
    if dist in UNIT:
        return mixture(rng, n, [
            (35, lambda k: rng.uniform(0, 1, k)), (20, log_uniform(rng, -300, 0)),
            (20, lambda k: 1 - 10.0 ** rng.uniform(-17, 0, k)),
            (10, specials(rng, [0.0, 1.0, -0.1, 1.1, 5e-324, 0.5, 2.0**-52, 1 - 2.0**-53])),
            (15, lambda k: rng.normal(0.5, 0.3, k))])
    t = mixture(rng, n, [
        (40, lambda k: rng.normal(0, 1, k) * 10.0 ** rng.uniform(-1, 2, k)),
        (15, log_uniform(rng, -300, 300, True)), (10, log_uniform(rng, -20, 0, True)),
        (15, log_uniform(rng, 1, 10, True)),
        (10, specials(rng, [0.0, -0.0, INF, -INF, 1e-300, 5e-324, 2.0**-52, 1.0])),
        (10, lambda k: rng.uniform(0, 1, k))])
    if dist in ("norm", "cauchy", "laplace", "logis", "unif"):
        a, b = params
        with np.errstate(all="ignore"):
            body = a + (b - a) * rng.uniform(-0.2, 1.2, n) if dist == "unif" else a + b * t
        return np.where(rng.random(n) < 0.5, body, t)
    if dist in ("gamma", "invgamma", "weibull"):
        shape, scale = params
        with np.errstate(all="ignore"):
            body = np.abs(t) * scale * np.where(np.isfinite(shape) & (shape > 1), shape, 1.0)
        return np.where(rng.random(n) < 0.5, body, t)
    if dist in ("chisq",):
        with np.errstate(all="ignore"):
            body = params[0] * (1 + np.abs(t) * rng.uniform(-1, 1, n))
        return np.where(rng.random(n) < 0.5, body, t)
    return t


def make_inputs(prefix, dist, n, seed):
    rng = np.random.default_rng([seed, ORDER.index(dist), "dpq".index(prefix)])
    params = [draw_kind(k, rng, n) for k in PARAMS[dist]]
    if dist == "binom":
        params[0] = params[0].astype(np.int64)
    if dist == "unif":
        # Mostly a < b; the rest exercises the invalid orders.
        lo, hi = np.minimum(params[0], params[1]), np.maximum(params[0], params[1])
        keep = rng.random(n) < 0.9
        params = [np.where(keep, lo, params[0]), np.where(keep, hi, params[1])]
    first = draw_kind("p", rng, n) if prefix == "q" else draw_x(dist, params, rng, n)
    args = [first, *params]
    if prefix in "dp":
        args.append(rng.random(n) < 0.5)
    return args


CHILD = r"""
import json, sys, time, numpy as np
sys.path.insert(0, sys.argv[1])
import distmill as dm
job = json.loads(sys.argv[2])
sys.path.insert(0, job["tool_dir"])
import compare_modules as cm
timing = {}
for name in job["functions"]:
    args = cm.make_inputs(name[0], name[1:], job["n"], job["seed"])
    t = time.process_time()
    out = np.ascontiguousarray(getattr(dm, name)(*args), dtype=np.float64)
    timing[name] = time.process_time() - t
    np.save(f"{job['out']}/{name}.npy", out)
json.dump(timing, open(f"{job['out']}/timing.json", "w"))
"""


def run_build(build, functions, n, seed, out):
    job = dict(functions=functions, n=n, seed=seed, out=out, tool_dir=str(pathlib.Path(__file__).parent))
    env = dict(os.environ)
    env.pop("PYTHONPATH", None)
    subprocess.run([sys.executable, "-c", CHILD, str(pathlib.Path(build).resolve()), json.dumps(job)],
                   check=True, env=env)
    return json.load(open(f"{out}/timing.json"))


def ulps(a, b):
    """Distance in representable doubles between finite a and b."""
    def ordered(v):
        i = v.view(np.int64)
        return np.where(i < 0, np.int64(-2**63) - i, i)
    with np.errstate(all="ignore"):
        return np.abs((ordered(a) - ordered(b)).astype(np.float64))


def rule_measure(prefix, a, b, log_flag):
    """|a - b| on the scale of the agreement rule (1 = 1e-10): relative to
    min(P, 1 - P) for probabilities, to the density, absolute for
    logarithms beyond magnitude 1; for quantiles relative to the value."""
    with np.errstate(all="ignore"):
        d = np.abs(a - b)
        if prefix == "p":
            scale = np.where(log_flag, np.maximum(np.abs(b), 1.0), np.minimum(b, 1 - b))
        elif prefix == "d":
            scale = np.where(log_flag, np.maximum(np.abs(b), 1.0), np.abs(b))
        else:
            scale = np.abs(b)
        return np.where(d == 0, 0.0, d / (1e-10 * scale))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build_a")
    ap.add_argument("build_b")
    ap.add_argument("--n", type=int, default=100000, help="points per function")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--only", help="comma-separated function names")
    ap.add_argument("--examples", type=int, default=4, help="differing points shown per function")
    ap.add_argument("--dump", help="write every differing point to this .npz file")
    args = ap.parse_args()
    dumped = {}
    functions = args.only.split(",") if args.only else [p + d for p in "dpq" for d in ORDER]
    total = moved = 0
    with tempfile.TemporaryDirectory() as tmp:
        outs = []
        for tag, build in (("a", args.build_a), ("b", args.build_b)):
            out = os.path.join(tmp, tag)
            os.mkdir(out)
            t0 = time.time()
            timing = run_build(build, functions, args.n, args.seed, out)
            print(f"build {tag}: {build}: {time.time() - t0:.0f} s "
                  f"(slowest: {max(timing, key=timing.get)} {max(timing.values()):.1f} s)")
            outs.append(out)
        print(f"{'function':10} {'points':>8} {'differ':>7} {'max ulps':>10} {'max rule':>10}")
        for name in functions:
            a = np.load(f"{outs[0]}/{name}.npy")
            b = np.load(f"{outs[1]}/{name}.npy")
            diff = a.view(np.uint64) != b.view(np.uint64)
            total += len(a)
            moved += int(diff.sum())
            line = f"{name:10} {len(a):8} {int(diff.sum()):7}"
            if diff.any():
                inputs = make_inputs(name[0], name[1:], args.n, args.seed)
                log_flag = inputs[-1] if name[0] in "dp" else np.zeros(len(a), bool)
                both = diff & np.isfinite(a) & np.isfinite(b)
                u = ulps(a[both], b[both])
                r = rule_measure(name[0], a[both], b[both], log_flag[both])
                line += f" {u.max() if len(u) else float('nan'):10.3g} {r.max() if len(r) else float('nan'):10.3g}"
                if (diff & ~both).any():
                    line += f"  ({int((diff & ~both).sum())} not both finite)"
                print(line)
                idx = np.flatnonzero(diff)
                dumped[name] = np.array([[float(c[i]) for c in inputs] + [a[i], b[i]] for i in idx])
                for i in idx[:args.examples]:
                    point = ", ".join(repr(c[i].item()) for c in inputs)
                    print(f"    {name}({point}): {a[i].hex()} -> {b[i].hex()}")
            else:
                print(line)
    print(f"{total} values compared, {moved} differ")
    if args.dump:
        np.savez(args.dump, **dumped)
    return 1 if moved else 0


if __name__ == "__main__":
    sys.exit(main())
