"""Sweep of the gamma side (gamma, inverse gamma, chi-squared: d, p, q and
both log forms) against mpmath by the accuracy promise's own measure
(tests/support/metrics.py, promise_error: <= 1e-10 passes).

Run from the repository root with the module built in ./build:

    PYTHONPATH=build python3 tools/accuracy/promise_gamma.py [--quick] [--only NAME ...]
        [--save FILE] [--compare FILE]

The grid covers shapes and degrees of freedom from 1e-3 to 1e6 (and a few
beyond, down to 5e-324 and up to 1e300), arguments from the smallest
subnormal to the largest double (both fixed and placed relative to the
shape: a + t sqrt(a), a times a ratio), scales from 2^-52 to 1e300, and
probabilities from 5e-324 to 1 - 2^-53 on both sides.  References are
computed at 120 bits.

Output: per function (log forms separately) the number of points, the
number outside the promise, the largest error (in units of the tolerance
1e-10), and the worst points.  --save writes every value (bit patterns) to
FILE; --compare FILE reports the points whose bits differ from the saved
ones, each with its error now and then (every moved value must have been
outside the promise before).
"""
import argparse
import itertools
import json
import math
import pathlib
import signal
import struct
import sys
import time

import mpmath as mp

import distmill as dm

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import references  # noqa: E402
from support.metrics import AGREE_REL, promise_error  # noqa: E402
from support.references import NoReference  # noqa: E402

# Each (a, x) once: the log forms and the quantiles' neighbours ask again.
_gamma_tails = references.gamma_tails
_cache = {}


def _cached_tails(a, x, far=None):
    key = (a, x, far)
    if key not in _cache:
        _cache[key] = _gamma_tails(a, x, far)
    return _cache[key]


references.gamma_tails = _cached_tails

mp.mp.prec = 120
INF = math.inf
EPS = 2.0**-52

parser = argparse.ArgumentParser()
parser.add_argument("--quick", action="store_true")
parser.add_argument("--only", nargs="*")
parser.add_argument("--save")
parser.add_argument("--compare")
parser.add_argument("--worst", type=int, default=6)
parser.add_argument("--timeout", type=int, default=30, help="seconds per reference")
args = parser.parse_args()

SHAPES = [5e-324, 1e-300, 1e-20, 1e-10, 1e-6, 1e-3, 0.01, 0.05, 0.1, 0.3, 0.5, 0.99, 1.0, 1.5, 2.5,
          3.0, 7.0, 9.99, 10.0, 12.0, 20.0, 30.0, 100.0, 1e3, 4460.0, 1e4, 1e5, 1e6, 1e10, 1e300]
if args.quick:
    SHAPES = [1e-300, 1e-6, 1e-3, 0.1, 0.5, 1.0, 2.5, 9.99, 12.0, 30.0, 1e3, 1e5, 1e6, 1e300]
FIXED_X = [5e-324, 1e-320, 1e-310, 1e-300, 1e-200, 1e-100, 1e-20, 1.1e-16, 2.3e-16, 1e-14, 1e-10,
           1e-5, 0.01, 0.5, 1.0, 3.0, 30.0, 1e3, 1e10, 1e100, 1e300, 1.7e308]
T_SD = [-40, -20, -10, -5, -2, -0.5, 0, 0.5, 2, 5, 10, 20, 40]
RATIOS = [1e-300, 1e-30, 1e-8, 1e-3, 0.1, 0.5, 2, 10, 1e3, 1e30]
PROBS = [5e-324, 1e-320, 1e-310, 1e-300, 1e-200, 1e-100, 1e-30, 1e-16, 1e-10, 1e-5, 0.01, 0.3, 0.5,
         0.7, 0.99, 1 - 1e-5, 1 - 1e-10, 1 - 1e-15, 1 - 2.0**-52, 1 - 2.0**-53]
if args.quick:
    FIXED_X = FIXED_X[::2] + [1.0]
    PROBS = [5e-324, 1e-310, 1e-300, 1e-30, 1e-10, 0.01, 0.5, 0.99, 1 - 1e-10, 1 - 2.0**-53]


def xs_for(a):
    """Arguments for shape a: fixed ones, a + t sqrt(a), a times ratios."""
    out = set(FIXED_X)
    s = math.sqrt(a)
    # mpmath has no reference near the mode of shapes beyond 1e8
    for t in T_SD if a <= 1e8 else ():
        x = a + t * s
        if x > 0:
            out.add(x)
    for r in RATIOS if a <= 1e8 else [r for r in RATIOS if not 0.1 <= r <= 10]:
        x = a * r
        if 0 < x < INF:
            out.add(x)
    return sorted(out)


def points():
    """{name: [args]} (without the log flag)."""
    pts = {n: [] for n in ("dgamma", "pgamma", "qgamma", "dinvgamma", "pinvgamma", "qinvgamma",
                           "dchisq", "pchisq", "qchisq")}
    scales = [1.0, EPS, 1e-10, 3.0, 1e10, 1e300]
    for a in SHAPES:
        for x in xs_for(a):
            for s in (1.0,) if args.quick else scales[:2] + scales[3:4]:
                # x is the unit-scale argument; the scale multiplies it back
                X = x * s
                if 0 < X < INF:
                    pts["dgamma"].append((X, a, s))
                    pts["pgamma"].append((X, a, s))
            # inverse gamma: Q(a, scale/x) at scale/x = x
            for s in (1.0, 1e-300, 1e300) if not args.quick else (1.0,):
                X = s / x
                if 0 < X < INF:
                    pts["dinvgamma"].append((X, a, s))
                    pts["pinvgamma"].append((X, a, s))
            if 2 * a < INF and 2 * x < INF:
                pts["dchisq"].append((2 * x, 2 * a))
                pts["pchisq"].append((2 * x, 2 * a))
        if a > 1e8:
            continue
        for p in PROBS:
            pts["qgamma"].append((p, a, 1.0))
            pts["qinvgamma"].append((p, a, 1.0))
            if 2 * a < INF:
                pts["qchisq"].append((p, 2 * a))
        if not args.quick:
            for p in (5e-324, 1e-300, 0.5, 1 - 2.0**-53):
                pts["qgamma"].append((p, a, 1e300))
                pts["qgamma"].append((p, a, EPS))
                pts["qinvgamma"].append((p, a, 1e-300))
                pts["qinvgamma"].append((p, a, 5e-324))
    # the cases of the issue
    pts["pgamma"] += [(1e-20, 0.1, 1), (1e-17, 0.001, 1), (1.65e-14, 1.65e-12, 1), (1e-300, 0.001, 1e100)]
    pts["pchisq"] += [(1e-17, 0.2)]
    pts["dgamma"] += [(1e-20, 0.5, 1), (1e-100, 0.99, 1), (1.4e-114, 2.5, 2), (1e-20, 3, 1), (1e300, 1e300, 1)]
    pts["qinvgamma"] += [(5e-324, 3, 2), (1e-15, 5e-324, 5e-324)]
    pts["qgamma"] += [(0.75, 1e-8, 1)]
    pts["pinvgamma"] += [(1, 2, 1e16), (1e300, 0.5, 1e100)]
    return pts


def bits(v):
    return struct.unpack("<Q", struct.pack("<d", v))[0]


def evaluate(name, a, flag):
    fn = getattr(dm, name)
    return fn(*a) if name[0] == "q" else fn(*a, flag)


class Timeout(Exception):
    pass


def _alarm(signum, frame):
    raise Timeout()


signal.signal(signal.SIGALRM, _alarm)


def error(name, a, v, flag):
    """promise_error, or ("noref", why) where mpmath has no value in time."""
    signal.alarm(args.timeout)
    try:
        return promise_error(name, a, v, flag)
    except (NoReference, ZeroDivisionError, ValueError, mp.libmp.libhyper.NoConvergence, Timeout) as e:
        return ("noref", repr(e)[:60])
    finally:
        signal.alarm(0)


def main():
    pts = points()
    saved = json.loads(pathlib.Path(args.compare).read_text()) if args.compare else None
    store = {}
    total_bad = 0
    print(f"{'function':<16}{'points':>8}{'outside':>9}{'max err/tol':>13}{'no ref':>8}{'secs':>7}", flush=True)
    for name, plist in pts.items():
        if args.only and name not in args.only:
            continue
        for flag in ((False,) if name[0] == "q" else (False, True)):
            label = name + (" log" if flag else "")
            t0 = time.time()
            bad, worst, noref, moved = 0, [], 0, []
            for a in plist:
                v = evaluate(name, a, flag)
                key = f"{label}{a!r}"
                store[key] = bits(v)
                t1 = time.time()
                e = error(name, a, v, flag)
                if time.time() - t1 > 5:
                    print(f"      slow reference: {name}{a} {time.time() - t1:.0f} s", flush=True)
                if isinstance(e, tuple):
                    noref += 1
                    print(f"      no reference: {name}{a}: {e[1]}", flush=True)
                    continue
                if saved is not None and key in saved and saved[key] != bits(v):
                    old = struct.unpack("<d", struct.pack("<Q", saved[key]))[0]
                    moved.append((a, old, v, error(name, a, old, flag), e))
                if not e <= AGREE_REL:
                    bad += 1
                worst.append((e if e == e else INF, a, v))
            worst.sort(key=lambda w: -w[0])
            mx = worst[0][0] / AGREE_REL if worst else 0.0
            total_bad += bad
            print(f"{label:<16}{len(plist):>8}{bad:>9}{mx:>13.3g}{noref:>8}{time.time() - t0:>7.0f}", flush=True)
            for e, a, v in worst[: args.worst]:
                if e > AGREE_REL:
                    print(f"      {name}{a} = {v!r}: {e:.3g}")
            if saved is not None:
                inside_before = [m for m in moved if m[3] <= AGREE_REL]
                print(f"      moved {len(moved)}, of which inside the promise before: {len(inside_before)}")
                for m in inside_before[:10]:
                    print(f"        {name}{m[0]}: {m[1]!r} (err {m[3]:.3g}) -> {m[2]!r} (err {m[4]:.3g})")
    print(f"total outside the promise: {total_bad}")
    if args.save:
        pathlib.Path(args.save).write_text(json.dumps(store))


main()
