"""The digest of tools/check/digest/digest.cpp computed through the installed
module: the same inputs (special values as bit patterns, random points from
splitmix64 by integer operations), the same order, the same SHA-256 of the
results' little-endian bytes.  Equal lines mean the module and the scalar
functions compiled into the driver agree bit for bit on every input.

    PYTHONPATH=build python3 tools/check/digest/digest.py > module.txt
    ./digest > driver.txt; diff module.txt driver.txt
    PYTHONPATH=build python3 tools/check/digest/digest.py --compare recorded.txt
"""
import argparse
import hashlib
import itertools
import re
import sys
from pathlib import Path

import numpy as np

import distmill as dm

HERE = Path(__file__).resolve().parent
M64 = (1 << 64) - 1
FRAC = (1 << 52) - 1


def special_values():
    """The SPECIAL tables of digest.cpp, read from its source (one list of
    integers per kind, in the order LOC POS PROB COUNT X K P)."""
    text = (HERE / "digest.cpp").read_text()
    body = text[text.index("const std::vector<u64> SPECIAL[] = {"):]
    body = body[:body.index("\n};")]
    body = "\n".join(line.split("//")[0] for line in body.splitlines()[1:])
    tables = []
    for group in re.findall(r"\{([^{}]*)\}", body):
        vals = []
        for tok in group.split(","):
            tok = tok.strip()
            if not tok:
                continue
            m = re.fullmatch(r"u64\((-?\d+)\)( << (\d+))?", tok)
            if m:
                v = int(m.group(1)) << int(m.group(3) or 0)
            else:
                v = int(tok, 0)
            vals.append(v & M64)
        tables.append(vals)
    return dict(zip("LOC POS PROB COUNT X K P".split(), tables))


SPECIAL = special_values()
INT_KINDS = {"COUNT", "K"}


class SplitMix:
    def __init__(self, seed):
        self.s = seed & M64

    def next(self):
        self.s = (self.s + 0x9E3779B97F4A7C15) & M64
        z = self.s
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & M64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & M64
        return z ^ (z >> 31)


def scaled(r, keep_sign, lo, span):
    e = lo + ((r >> 52) & 0x7FF) % span
    sign = r & (1 << 63) if keep_sign else 0
    return sign | ((1023 + e) << 52) | (r & FRAC)


def random_arg(kind, g):
    r = g.next()
    if kind == "LOC":
        return scaled(r, True, -8, 17)
    if kind == "POS":
        return scaled(r, False, -7, 18)
    if kind == "PROB":
        return scaled(r, False, -40, 40)
    if kind == "COUNT":
        return r % 200
    if kind == "X":
        return scaled(r, True, -10, 18)
    if kind == "K":
        return r % 300
    mode = r & 3  # P
    if mode < 2:
        return scaled(r, False, -1, 1)
    if mode == 2:
        return scaled(r, False, -2, 1)
    return scaled(r, False, -52, 50)


PARAMS = {
    "norm": ["LOC", "POS"], "bern": ["PROB"], "beta": ["POS", "POS"], "binom": ["COUNT", "PROB"],
    "cauchy": ["LOC", "POS"], "chisq": ["POS"], "exp": ["POS"], "f": ["POS", "POS"],
    "gamma": ["POS", "POS"], "invgamma": ["POS", "POS"], "laplace": ["LOC", "POS"],
    "lnorm": ["LOC", "POS"], "logis": ["LOC", "POS"], "pois": ["POS"], "t": ["POS"],
    "unif": ["LOC", "LOC"], "weibull": ["POS", "POS"],
}
ORDER = list(PARAMS)
DISCRETE = {"bern", "binom", "pois"}
STREAMS = {
    "norm": [(0.0, 1.0), (-3.0, 0.25)], "bern": [(0.3,), (1.0,)], "beta": [(0.5, 0.5), (2.0, 30.0)],
    "binom": [(20, 0.3), (1000, 0.01)], "cauchy": [(0.0, 1.0)], "chisq": [(3.0,), (0.4,)],
    "exp": [(2.0,)], "f": [(4.0, 9.0)], "gamma": [(0.3, 1.0), (7.5, 2.0)], "invgamma": [(3.0, 1.0)],
    "laplace": [(1.0, 2.0)], "lnorm": [(0.0, 0.5)], "logis": [(0.0, 1.0)],
    "pois": [(3.0,), (11.0,), (250.0,)], "t": [(2.5,), (40.0,)], "unif": [(-1.0, 2.0)],
    "weibull": [(1.5, 2.0)],
}


def column(raw, kind):
    a = np.array(raw, dtype=np.uint64)
    return a.view(np.int64) if kind in INT_KINDS else a.view(np.float64)


class Digest:
    def __init__(self):
        self.h = hashlib.sha256()

    def add(self, values):
        # The bytes as returned, NaN signs and payloads included.
        v = np.array(values, dtype=np.float64).reshape(-1)
        self.h.update(v.view(np.uint64).astype("<u8").tobytes())


def digest_dpq(prefix, dist, seed, random_n):
    fn = getattr(dm, prefix + dist)
    first = "P" if prefix == "q" else ("K" if dist in DISCRETE else "X")
    kinds = [first] + PARAMS[dist]
    flags = [False, True] if prefix in "dp" else [None]
    d = Digest()
    rows = list(itertools.product(*(SPECIAL[k] for k in kinds)))
    grid = [column([r[j] for r in rows], k) for j, k in enumerate(kinds)]
    g = SplitMix(seed)
    points = [[random_arg(k, g) for k in kinds] for _ in range(random_n)]
    rand = [column([p[j] for p in points], k) for j, k in enumerate(kinds)]
    for cols in (grid, rand):
        for flag in flags:
            d.add(fn(*cols) if flag is None else fn(*cols, flag))
    scalars = [c[0].item() for c in rand]
    d.add(fn(*scalars) if flags[0] is None else fn(*scalars, False))
    return d.h.hexdigest()


def digest_r(dist, draws):
    fn = getattr(dm, "r" + dist)
    d = Digest()
    for k, params in enumerate(STREAMS[dist]):
        # The three forms in turn from one engine: a count, scalars, a shape.
        e = dm.Engine(17 + k)
        d.add(fn(*params, draws, e))
        d.add([fn(*params, e) for _ in range(5)])
        d.add(fn(*params, [3, 4], e))
    return d.h.hexdigest()


def lines(random_n, draws):
    out, place = [], 0
    for prefix in "dpq":
        for dist in ORDER:
            out.append(f"{prefix}{dist} {digest_dpq(prefix, dist, 1000 + place, random_n)}")
            place += 1
    for dist in ORDER:
        out.append(f"r{dist} {digest_r(dist, draws)}")
    return out


def read(path):
    """{function: digest} of a digest file written earlier."""
    return dict(l.split() for l in Path(path).read_text().splitlines() if l.strip() and not l.startswith("#"))


def differing(out, ref):
    """The functions whose lines of `out` differ from `ref` (read()),
    those missing from it included."""
    return [l.split()[0] for l in out if ref.get(l.split()[0]) != l.split()[1]]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--random", type=int, default=2000, help="random points per d/p/q function")
    ap.add_argument("--draws", type=int, default=2000, help="draws per sampler stream")
    ap.add_argument("--compare", help="a digest file written earlier (by this tool or the driver)")
    args = ap.parse_args()
    out = lines(args.random, args.draws)
    if not args.compare:
        print("\n".join(out))
        return 0
    bad = differing(out, read(args.compare))
    print(f"{len(out)} functions compared, {len(bad)} differ" + (": " + " ".join(bad) if bad else ""))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
