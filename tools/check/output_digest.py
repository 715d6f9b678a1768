"""Digest of the module's outputs on a fixed set of inputs, for comparing two
builds bit for bit (another compiler setting, a restructured kernel).

Every d, p and q function is evaluated on the outer product of value sets
chosen per parameter kind (special values, edges, tails and ordinary
values), with both settings of the log flag, and on a fixed pseudo-random
sample; every r function draws streams from seeded engines in its array
and scalar forms.  The SHA-256 of the raw float64 bytes (NaN payloads and
signed zeros included) is recorded per function.

    PYTHONPATH=build python3 tools/check/output_digest.py > a.txt
    PYTHONPATH=other python3 tools/check/output_digest.py --compare a.txt
"""
import argparse
import hashlib
import itertools
import pathlib
import sys

import numpy as np

import distmill as dm

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support.families import INTEGER_KINDS, ORDER, arguments  # noqa: E402

INF, NAN = float("inf"), float("nan")

GRID = {
    "loc": [-INF, -1e300, -3.5, -1.0, -0.0, 0.0, 0.25, 2.0, 1e10, INF, NAN],
    "pos": [-1.0, 0.0, 1e-300, 1e-17, 0.003, 0.5, 1.0, 1.7, 2.0, 5.5, 9.99, 10.0, 37.2, 150.0,
            1e4, 1e12, INF, NAN],
    "prob": [-0.1, 0.0, 1e-12, 0.1, 0.5, 0.77, 1.0, 1.2, NAN],
    "count": [-1, 0, 1, 5, 40, 300],
    "x": [-INF, -1e10, -3.0, -1.0, -1e-20, -0.0, 0.0, 1e-300, 1e-5, 0.1, 0.5, 0.9, 1.0, 1.5, 3.0,
          7.7, 25.0, 1e5, 1e300, INF, NAN],
    "k": [-5, -1, 0, 1, 2, 5, 17, 100, 10**6, 2**62],
    "p": [-0.1, 0.0, 1e-300, 1e-17, 1e-10, 1e-3, 0.05, 0.3, 0.5, 0.7, 0.95, 0.999, 1 - 1e-10,
          1 - 2**-53, 1.0, 1.1, NAN],
}


def random_values(kind, rng, n):
    if kind == "loc":
        return rng.normal(0, 3, n)
    if kind == "pos":
        return 10 ** rng.uniform(-2, 3, n)
    if kind == "prob":
        return rng.uniform(0, 1, n)
    if kind == "count":
        return rng.integers(0, 200, n)
    if kind == "x":
        return rng.normal(0, 1, n) * 10 ** rng.uniform(-1, 2, n)
    if kind == "k":
        return rng.integers(0, 300, n)
    return rng.uniform(0, 1, n)  # p


def columns(values, kinds):
    """Outer product of per-argument value lists as numpy columns."""
    rows = list(itertools.product(*values))
    out = []
    for i, kind in enumerate(kinds):
        col = [r[i] for r in rows]
        out.append(np.array(col, dtype=np.int64 if kind in INTEGER_KINDS else np.float64))
    return out


def digest_elementwise(prefix, dist, random_n):
    fn = getattr(dm, prefix + dist)
    kinds = [a.kind for a in arguments(prefix + dist) if a.kind != "flag"]
    h = hashlib.sha256()
    flags = [False, True] if prefix in "dp" else [None]
    grid_cols = columns([GRID[k] for k in kinds], kinds)
    rng = np.random.default_rng(20240607)
    rand_cols = [random_values(k, rng, random_n).astype(np.int64 if k in INTEGER_KINDS else np.float64)
                 for k in kinds]
    for cols in (grid_cols, rand_cols):
        for flag in flags:
            args = cols if flag is None else [*cols, flag]
            h.update(np.ascontiguousarray(fn(*args), dtype=np.float64).tobytes())
    # The all-scalar path once per function.
    scalars = [c[len(c) // 2].item() for c in rand_cols]
    h.update(np.float64(fn(*scalars)).tobytes())
    return h.hexdigest()


STREAM_PARAMS = {
    "norm": [(0.0, 1.0), (-3.0, 0.25)], "bern": [(0.3,), (1.0,)], "beta": [(0.5, 0.5), (2.0, 30.0)],
    "binom": [(20, 0.3), (1000, 0.01)], "cauchy": [(0.0, 1.0)], "chisq": [(3.0,), (0.4,)],
    "exp": [(2.0,)], "f": [(4.0, 9.0)], "gamma": [(0.3, 1.0), (7.5, 2.0)], "invgamma": [(3.0, 1.0)],
    "laplace": [(1.0, 2.0)], "lnorm": [(0.0, 0.5)], "logis": [(0.0, 1.0)],
    "pois": [(3.0,), (11.0,), (250.0,)], "t": [(2.5,), (40.0,)], "unif": [(-1.0, 2.0)],
    "weibull": [(1.5, 2.0)],
}


def digest_stream(dist, n):
    fn = getattr(dm, "r" + dist)
    h = hashlib.sha256()
    for i, params in enumerate(STREAM_PARAMS[dist]):
        e = dm.Engine(17 + i)
        h.update(fn(*params, n, e).tobytes())
        h.update(np.array([fn(*params, e) for _ in range(5)], dtype=np.float64).tobytes())
        h.update(fn(*params, [3, 4], e).tobytes())
    return h.hexdigest()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--compare", help="a digest file written by an earlier run")
    ap.add_argument("--random", type=int, default=2000, help="random points per d/p/q function")
    ap.add_argument("--draws", type=int, default=2000, help="draws per stream")
    args = ap.parse_args()
    lines = []
    for prefix in "dpq":
        for dist in ORDER:
            lines.append(f"{prefix}{dist} {digest_elementwise(prefix, dist, args.random)}")
    for dist in ORDER:
        lines.append(f"r{dist} {digest_stream(dist, args.draws)}")
    if not args.compare:
        print("\n".join(lines))
        return 0
    ref = dict(l.split() for l in open(args.compare) if l.strip())
    bad = [l.split()[0] for l in lines if ref.get(l.split()[0]) != l.split()[1]]
    print(f"{len(lines)} functions compared, {len(bad)} differ" + (": " + " ".join(bad) if bad else ""))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
