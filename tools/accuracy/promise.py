"""The accuracy promise, swept over every d, p and q function against mpmath.

    PYTHONPATH=build python3 tools/accuracy/promise.py --quick
    PYTHONPATH=../other/build python3 tools/accuracy/promise.py --only gamma,qbeta --regions tiny
    python3 tools/accuracy/promise.py --module-path build --rerun results.json

For each of the 17 families, points are drawn (seeded, so every run with the
same options measures the same points) from regions that cover the whole
range of valid arguments: ordinary arguments; arguments placed at
probabilities from 1e-3 down to 5e-324 and up to 1 - 2^-53 on both sides;
arguments below 2^-52 down to the least subnormal, within ulps of 1, and up
to 1e300; far tails where the probability underflows even the extended
range (log scales); shapes and degrees of freedom from 1e-3 to 1e6, rates
from 1e-300 up, counts to 10^9 and a few to 2^62; and the arguments listed
in LISTED, where the literal methods were seen to fail.  At each point the
density and the CDF (each with and without the log flag), or the quantile,
of the module are judged by tests/support/metrics.py's `Promise` (the
promise's own measure, its reference computed once per point), and so are
the literal fixed-depth methods `detail::X<false>` compiled from the
sources the module was built from (tests/cpp/probe_literal.cpp; --src
names other sources).

Per function form (`pgamma`, `pgamma log`, ...) the table gives the number
of points, those where the reference could not be evaluated (mpmath did
not converge or ran out of its time budget: counted and listed, never
dropped), and for the checked module and the literal methods the share of
values within 4 ulps of the exact value, the share within the promise and
the number outside it.  The worst points are printed; they and every other
value outside the promise (up to --keep per form) are written to a JSON
file (--out) that --rerun reads back, so that a developer re-measures
exactly those arguments on another build.

Working precision: 30 digits, plus the digits that the log-gamma terms of
large shapes and counts cancel; a value judged outside the promise by less
than 1e-4 is judged again at 20 more digits, and that judgement stands.
Module and literal calls have a budget of processor time each (--budget; a
call that runs out counts as outside the promise: the issue's slow sums),
the references of a value another (--ref-budget).

--quick draws 6 points per region (12 to 24 for the cheap families; about
30000 values, 80 s of processor time); the default full mode 300 (--scale
multiplies both).  --jobs sets the number of processes (default 2).
"""
import argparse
import collections
import hashlib
import json
import math
import os
import pathlib
import signal
import struct
import sys
import tempfile
import time
import zlib

import mpmath as mp
import numpy as np

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests"))
from support import probe  # noqa: E402
from support.families import DISCRETE, FAMILIES, ORDER  # noqa: E402
from support.metrics import AGREE_REL, Promise  # noqa: E402

INF = math.inf
EPS = 2.0**-52
TINY = 5e-324
BIG = 1.7976931348623157e308

# ---- points ---------------------------------------------------------------


class Sampler:
    """Seeded draws for one region."""

    def __init__(self, seed, label):
        self.rng = np.random.default_rng([seed, zlib.crc32(label.encode())])

    def u(self, lo, hi, n):
        return self.rng.uniform(lo, hi, n)

    def lu(self, lo, hi, n):
        """Log-uniform in [lo, hi] (0 < lo), subnormals included."""
        return np.exp(self.rng.uniform(math.log(lo), math.log(hi), n))

    def sign(self, n):
        return self.rng.choice([-1.0, 1.0], n)

    def int_lu(self, lo, hi, n):
        return [int(v) for v in np.floor(self.lu(lo, hi, n))]

    def choice(self, seq, n):
        return [seq[i] for i in self.rng.integers(0, len(seq), n)]


# Probabilities.  The first draws of each set are its end points.
def p_ordinary(s, n):
    return list(s.u(0.01, 0.99, n))


def p_tail(s, n):
    """Both tails, 1e-300 to 1e-3 below and 1 - 1e-3 to 1 - 2^-53 above."""
    lo = list(s.lu(1e-300, 1e-3, (n + 1) // 2))
    hi = [1 - t for t in s.lu(2.0**-53, 1e-3, n // 2)]
    return [v for pair in zip(lo, hi + lo[len(hi):]) for v in pair][:n]


def p_subnormal(s, n):
    """5e-324 to 1e-300, and 1 - k 2^-53 (the last doubles below 1)."""
    lo = [TINY] + list(s.lu(TINY, 1e-300, (n + 1) // 2 - 1))
    hi = [1 - k * 2.0**-53 for k in [1] + list(s.rng.integers(1, 64, n // 2 - 1))]
    return [v for pair in zip(lo, hi + lo[len(hi):]) for v in pair][:n]


P_SETS = {"ordinary": p_ordinary, "tail": p_tail, "subnormal": p_subnormal}


def scipy_quantiles(dist, p, th):
    """scipy's quantiles at probabilities p (an array) with parameter
    arrays th, in one vectorised call."""
    import scipy.stats as st
    c = [np.asarray(v, dtype=float) for v in th]
    return {
        "norm": lambda: st.norm.ppf(p, c[0], c[1]),
        "lnorm": lambda: st.lognorm.ppf(p, c[1], scale=np.exp(c[0])),
        "unif": lambda: st.uniform.ppf(p, c[0], c[1] - c[0]),
        "exp": lambda: st.expon.ppf(p, scale=1 / c[0]),
        "cauchy": lambda: st.cauchy.ppf(p, c[0], c[1]),
        "laplace": lambda: st.laplace.ppf(p, c[0], c[1]),
        "logis": lambda: st.logistic.ppf(p, c[0], c[1]),
        "weibull": lambda: st.weibull_min.ppf(p, c[0], scale=c[1]),
        "gamma": lambda: st.gamma.ppf(p, c[0], scale=c[1]),
        "invgamma": lambda: st.invgamma.ppf(p, c[0], scale=c[1]),
        "chisq": lambda: st.chi2.ppf(p, c[0]),
        "beta": lambda: st.beta.ppf(p, c[0], c[1]),
        "f": lambda: st.f.ppf(p, c[0], c[1]),
        "t": lambda: st.t.ppf(p, c[0]),
        "bern": lambda: st.bernoulli.ppf(p, c[0]),
    }[dist]()


def at_probabilities(dist, params, ps):
    """Arguments placed at probabilities ps: scipy's quantiles for the
    continuous families, the normal approximation for the counts (scipy's
    search may not end for huge counts).  They only place the points: the
    reference is evaluated at the point itself."""
    from scipy.special import ndtri
    n = min(len(params), len(ps))
    params, ps = params[:n], ps[:n]
    if dist in ("binom", "pois"):
        out = []
        for th, p in zip(params, ps):
            m, v = (th[0] * th[1], th[0] * th[1] * (1 - th[1])) if dist == "binom" else (th[0], th[0])
            k = math.floor(m + ndtri(p) * math.sqrt(v))
            out.append((max(0, k if dist == "pois" else min(k, th[0])), *th))
        return out
    if not n:
        return []
    with np.errstate(all="ignore"):
        xs = scipy_quantiles(dist, np.asarray(ps, dtype=float), list(zip(*params)))
    return [(float(x), *th) for x, th in zip(np.broadcast_to(xs, (n,)), params)]


# Parameter sets: each a function (sampler, n) -> list of parameter tuples.
def _pairs(*cols):
    return [tuple(float(c[i]) for c in cols) for i in range(len(cols[0]))]


def loc_scale(s, n, wide=False):
    if not wide:
        return _pairs(s.u(-5, 5, n), s.lu(0.1, 10, n))
    return _pairs(s.sign(n) * s.lu(1e-3, 1e8, n), s.lu(1e-8, 1e8, n))


def shapes(lo, hi):
    return lambda s, n: list(s.lu(lo, hi, n))


SHAPES = {"ordinary": shapes(0.5, 50), "small-shape": shapes(1e-3, 1), "large-shape": shapes(1e3, 1e6)}


def two_shapes(s, n, a_set, b_set):
    return list(zip(SHAPES[a_set](s, n), SHAPES[b_set](s, n)))


PARAMS = {
    "norm": {"ordinary": loc_scale, "wide": lambda s, n: loc_scale(s, n, True)},
    "lnorm": {"ordinary": lambda s, n: _pairs(s.u(-2, 2, n), s.lu(0.2, 2, n)),
              "small-sigma": lambda s, n: _pairs(s.u(-1, 1, n), s.lu(1e-17, 1e-6, n)),
              "large-sigma": lambda s, n: _pairs(s.u(-10, 10, n), s.lu(5, 300, n))},
    "unif": {"ordinary": lambda s, n: _pairs(s.u(-5, 0, n), s.u(0.5, 5, n)),
             "wide": lambda s, n: _pairs(-s.lu(1e-300, 1e300, n), s.lu(1e-300, 1e300, n))},
    "exp": {"ordinary": lambda s, n: _pairs(s.lu(0.1, 10, n)),
            "wide": lambda s, n: _pairs(s.lu(1e-300, 1e300, n))},
    "cauchy": {"ordinary": loc_scale, "wide": lambda s, n: loc_scale(s, n, True)},
    "laplace": {"ordinary": loc_scale, "wide": lambda s, n: loc_scale(s, n, True)},
    "logis": {"ordinary": loc_scale, "wide": lambda s, n: loc_scale(s, n, True)},
    "weibull": {"ordinary": lambda s, n: _pairs(s.lu(0.5, 5, n), s.lu(0.1, 10, n)),
                "small-shape": lambda s, n: _pairs(s.lu(1e-3, 0.5, n), s.lu(0.1, 10, n)),
                "large-shape": lambda s, n: _pairs(s.lu(5, 1e3, n), s.lu(0.1, 10, n))},
    "gamma": {k: (lambda g: lambda s, n: _pairs(g(s, n), s.lu(0.01, 100, n)))(g) for k, g in SHAPES.items()},
    "invgamma": {k: (lambda g: lambda s, n: _pairs(g(s, n), s.lu(0.01, 100, n)))(g) for k, g in SHAPES.items()},
    "chisq": {k: (lambda g: lambda s, n: _pairs([2 * v for v in g(s, n)]))(g) for k, g in SHAPES.items()},
    "beta": {"ordinary": lambda s, n: two_shapes(s, n, "ordinary", "ordinary"),
             "small-shape": lambda s, n: two_shapes(s, n, "small-shape", "ordinary"),
             "small-both": lambda s, n: two_shapes(s, n, "small-shape", "small-shape"),
             "large-shape": lambda s, n: two_shapes(s, n, "large-shape", "large-shape"),
             "mixed": lambda s, n: two_shapes(s, n, "large-shape", "small-shape")},
    "f": {"ordinary": lambda s, n: two_shapes(s, n, "ordinary", "ordinary"),
          "small-shape": lambda s, n: two_shapes(s, n, "small-shape", "ordinary"),
          "large-shape": lambda s, n: two_shapes(s, n, "large-shape", "large-shape"),
          "mixed": lambda s, n: two_shapes(s, n, "ordinary", "large-shape")},
    "t": {"ordinary": lambda s, n: _pairs(s.lu(1, 50, n)),
          "small-shape": lambda s, n: _pairs(s.lu(1e-3, 1, n)),
          "large-shape": lambda s, n: _pairs(s.lu(1e3, 1e6, n))},
    "bern": {"ordinary": lambda s, n: _pairs(s.u(0.01, 0.99, n)),
             "extreme": lambda s, n: _pairs([v if i % 2 else 1 - v for i, v in enumerate(s.lu(1e-300, 1e-3, n))])},
    "binom": {"ordinary": lambda s, n: list(zip([int(v) for v in s.rng.integers(1, 200, n)], s.u(0.05, 0.95, n))),
              "medium": lambda s, n: list(zip(s.int_lu(1e3, 1e6, n), s.u(0.01, 0.99, n))),
              "small-prob": lambda s, n: list(zip(s.int_lu(10, 1e9, n), s.lu(1e-300, 1e-3, n))),
              "large-prob": lambda s, n: list(zip(s.int_lu(10, 1e6, n), [1 - v for v in s.lu(2.0**-53, 1e-3, n)])),
              "large-count": lambda s, n: list(zip(s.int_lu(1e7, 1e9, n), s.u(0.01, 0.99, n))),
              "huge-count": lambda s, n: list(zip(s.int_lu(1e10, 2.0**62, n), s.lu(1e-18, 0.5, n)))},
    "pois": {"ordinary": lambda s, n: _pairs(s.lu(0.5, 60, n)),
             "small-rate": lambda s, n: _pairs(s.lu(1e-300, 0.5, n)),
             "large-rate": lambda s, n: _pairs(s.lu(60, 1e6, n)),
             "huge-rate": lambda s, n: _pairs(s.lu(1e6, 1e12, n))},
}

# Parameter sets whose evaluations are slow: their regions get a fraction
# of the points.  Families whose references are cheap get more.
SLOW = {("binom", "large-count"): 10, ("binom", "huge-count"): 30, ("pois", "huge-rate"): 10}
CHEAP = {"norm": 4, "bern": 4, "cauchy": 4, "exp": 4, "laplace": 4, "lnorm": 4, "logis": 4, "t": 4,
         "unif": 4, "weibull": 4, "gamma": 2, "chisq": 2}

POSITIVE = {"lnorm", "exp", "weibull", "gamma", "invgamma", "chisq", "f"}


def _ok(dist, args):
    x, *th = args
    if not all(math.isfinite(v) for v in args):
        return False
    if dist in POSITIVE and not x > 0:
        return False
    if dist == "beta" and not 0 < x < 1:
        return False
    if dist == "unif" and not th[0] < x < th[1]:
        return False
    if dist in DISCRETE:
        if x != x // 1 or x < 0 or (dist == "binom" and x > th[0]) or (dist == "bern" and x > 1):
            return False
    return True


def _x_special(dist, region, s, th):
    """Arguments of a family-specific region for parameter tuples th."""
    n = len(th)
    if dist in ("norm", "cauchy", "laplace", "logis"):
        far = {"norm": (38, 1e5), "cauchy": (1e8, 1e300), "laplace": (40, 1e300), "logis": (40, 1e300)}[dist]
        if region == "far":
            z = s.sign(n) * s.lu(*far, n)
        elif region == "centre":      # about half of them at mu = 0, where tiny x stays tiny
            z = s.sign(n) * s.lu(TINY, 1e-8, n)
            th = [(0.0 if i % 2 else m, sg) for i, (m, sg) in enumerate(th)]
        return [(m + sg * zz, m, sg) for (m, sg), zz in zip(th, z)]
    if dist == "lnorm":
        if region == "tiny-x":
            return [(x, *t) for x, t in zip(s.lu(TINY, EPS, n), th)]
        if region == "huge-x":
            return [(x, *t) for x, t in zip(s.lu(1e15, 1e308, n), th)]
        if region == "near-one":
            k = s.int_lu(1, 2**20, n)
            return [(1 - kk * 2.0**-53 if i % 2 else 1 + kk * EPS, 0.0, t[1]) for i, (kk, t) in enumerate(zip(k, th))]
    if dist == "unif":
        if region == "ends":
            out = []
            for i, ((a, b), d) in enumerate(zip(th, s.lu(TINY, 1e-8, n))):
                out.append((a + d * (b - a), a, b) if i % 2 else (b - d * (b - a), a, b))
            return out
    if dist in ("exp", "weibull"):
        # t = rate x, or (x/scale)^shape
        t = s.lu(1e-320, EPS, n) if region == "tiny-x" else s.lu(40, 1e300, n)
        with np.errstate(all="ignore"):
            if dist == "exp":
                return [(tt / r, r) for tt, (r,) in zip(t, th)]
            return [(float(sc * tt ** (1 / k)), k, sc) for tt, (k, sc) in zip(t, th)]
    if dist in ("gamma", "chisq", "invgamma"):
        scale = (lambda t: t[1]) if dist != "chisq" else (lambda t: 2.0)
        shape = (lambda t: t[0]) if dist != "chisq" else (lambda t: t[0] / 2)
        if region == "tiny-x":
            return [(x, *t) for x, t in zip(s.lu(TINY, EPS, n), th)]
        if region == "huge-x":
            return [(x, *t) for x, t in zip(s.lu(1e15, 1e308, n), th)]
        if region == "far":        # the upper tail beyond the double range of P
            out = []
            for t, z in zip(th, s.lu(40, 1e5, n)):
                a, sc = shape(t), scale(t)
                y = a + z * max(math.sqrt(a), 1)
                out.append((sc * y, *t) if dist != "invgamma" else (sc / y, *t))
            return out
    if dist in ("beta", "f", "t"):
        if region == "tiny-x":
            x = s.lu(TINY, EPS, n)
            return [((-xx if dist == "t" and i % 2 else xx), *t) for i, (xx, t) in enumerate(zip(x, th))]
        if region == "near-one" and dist == "beta":
            return [(1 - k * 2.0**-53, *t) for k, t in zip(s.int_lu(1, 2**40, n), th)]
        if region == "huge-x":
            x = s.lu(1e15, 1e300, n)
            return [((-xx if dist == "t" and i % 2 else xx), *t) for i, (xx, t) in enumerate(zip(x, th))]
    if dist == "bern":
        return [(float(i % 2), *t) for i, t in enumerate(th)]
    if dist == "binom":
        out = []
        for i, (nn, pr) in enumerate(th):
            k = [0, nn - 1, nn, min(nn, int(nn * pr))][i % 4]
            out.append((k, nn, pr))
        return out
    if dist == "pois":
        return [(int(k), *t) for k, t in zip(s.lu(1, 1e4, n), th)]
    return []


X_SPECIAL = {
    "norm": ["far", "centre"], "cauchy": ["far", "centre"], "laplace": ["far", "centre"],
    "logis": ["far", "centre"], "lnorm": ["tiny-x", "huge-x", "near-one"], "unif": ["ends"],
    "exp": ["tiny-x", "far"], "weibull": ["tiny-x", "far"], "gamma": ["tiny-x", "huge-x", "far"],
    "chisq": ["tiny-x", "huge-x", "far"], "invgamma": ["tiny-x", "huge-x", "far"],
    "beta": ["tiny-x", "near-one"], "f": ["tiny-x", "huge-x"], "t": ["tiny-x", "huge-x"],
    "bern": ["support"], "binom": ["ends"], "pois": ["counts"],
}


# Arguments where the literal methods were seen to fail, measured in every
# run: kind "x" (d and p there) or "q".
U53 = 1 - 2.0**-53
LISTED = {
    "norm": [("x", (-40.0, 0.0, 1.0)), ("x", (-9.0, 0.0, 1.0)), ("x", (-1e5, 0.0, 1.0)), ("x", (8.3, 0.0, 1.0)),
             ("q", (TINY, 0.0, 1.0)), ("q", (U53, 0.0, 1.0))],
    "lnorm": [("x", (U53, 0.0, 1e-14)), ("x", (U53, 0.0, 1e-17)), ("q", (1e-12, 0.0, 30.0)),
              ("q", (1 - 1e-12, 0.0, 30.0)), ("q", (TINY, 0.0, 1.0))],
    "exp": [("x", (1e-17, 1.0)), ("x", (TINY, 1.0)), ("q", (U53, 2.0)), ("q", (TINY, 1.0))],
    "laplace": [("q", (TINY, 0.0, 1.0)), ("x", (-50.0, 0.0, 1.0)), ("x", (-1e300, 0.0, 1.0))],
    "logis": [("q", (TINY, 0.0, 1.0)), ("x", (-800.0, 0.0, 1.0))],
    "cauchy": [("x", (-1e20, 0.0, 1.0)), ("q", (TINY, 0.0, 1.0))],
    "weibull": [("x", (1e-9, 2.0, 1.0)), ("q", (TINY, 2.0, 1.0))],
    "unif": [("x", (TINY, 0.0, 1.0)), ("q", (TINY, 0.0, 1.0))],
    "gamma": [("x", (1.4e-114, 2.5, 2.0)), ("x", (1e-20, 0.1, 1.0)), ("x", (1e-20, 0.5, 1.0)),
              ("x", (1e-17, 0.001, 1.0)), ("x", (1e-100, 0.99, 1.0)), ("x", (1.65e-14, 1.65e-12, 1.0)),
              ("q", (TINY, 2.5, 1.0)), ("q", (0.75, 1e-8, 1.0))],
    "chisq": [("x", (1e-17, 0.2)), ("q", (TINY, 3.0))],
    "invgamma": [("q", (TINY, 3.0, 2.0)), ("q", (1e-15, TINY, TINY))],
    "beta": [("x", (0.4967, 1e5, 1e5)), ("q", (TINY, 2.0, 3.0))],
    "f": [("q", (0.99989, 1.0, 1.0)), ("q", (TINY, 2.0, 3.0))],
    "t": [("x", (-1e6, 3.0)), ("q", (TINY, 3.0))],
    "bern": [("x", (0, 1e-300)), ("q", (TINY, 0.5))],
    "binom": [("x", (0, 1000, 0.5)), ("x", (500000000, 10**9, 0.5)), ("x", (499999999, 999999999, 0.5)),
              ("x", (2381267, 1272811115987, 1.8708918787524453e-06)), ("x", (10**10, 2 * 10**10, 0.5)),
              ("x", (498455, 10**6, 0.5)), ("q", (TINY, 10**6, 0.5))],
    "pois": [("x", (0, 100.0)), ("x", (10, 3e-308)), ("x", (996911, 1e6)), ("x", (0, 1e5)), ("q", (TINY, 1e6))],
}


def regions(dist):
    """[(label, kind, maker, divisor)]: kind "x" (d and p at the points)
    or "q"; maker(sampler, n) -> argument tuples; the region gets 1/divisor
    of the points."""
    out = []
    for kind in ("x", "q"):
        listed = [a for k, a in LISTED.get(dist, []) if k == kind]
        if listed:
            out.append(("listed", kind, lambda s, n, listed=listed: listed, 1))
    for pset, pgen in PARAMS[dist].items():
        for pname, pfun in P_SETS.items():
            def qmake(s, n, pgen=pgen, pfun=pfun):
                return [(p, *t) for p, t in zip(pfun(s, n), pgen(s, n))]

            def xmake(s, n, pgen=pgen, pfun=pfun):
                return at_probabilities(dist, pgen(s, n), pfun(s, n))
            out.append((f"{pset}/p-{pname}", "q", qmake, SLOW.get((dist, pset), 1)))
            out.append((f"{pset}/at-p-{pname}", "x", xmake, SLOW.get((dist, pset), 1)))
        for special in X_SPECIAL[dist]:
            def smake(s, n, pgen=pgen, special=special):
                return _x_special(dist, special, s, pgen(s, n))
            out.append((f"{pset}/{special}", "x", smake, SLOW.get((dist, pset), 1)))
    return out


def points(dist, label, kind, maker, n, seed):
    s = Sampler(seed, f"{dist}/{label}/{kind}")
    pts = maker(s, n)
    fam = FAMILIES[dist]
    counts = [i for i, p in enumerate(fam.params) if p.kind == "count"]
    keep = []
    for a in pts:
        a = tuple(float(v) for v in a)
        if kind == "x" and not _ok(dist, a):
            continue
        if kind == "q" and not (0 < a[0] < 1 and all(math.isfinite(v) for v in a)):
            continue
        if dist in DISCRETE and kind == "x":
            a = (int(a[0]), *a[1:])
        a = tuple(int(v) if i - 1 in counts else v for i, v in enumerate(a))
        keep.append(a)
    return keep, len(pts) - len(keep)


# ---- measuring ------------------------------------------------------------


class Timeout(Exception):
    pass


def _alarm(signum, frame):
    raise Timeout()


def limited(seconds, f, *a):
    """f(*a), abandoned with Timeout after `seconds` of processor time (so
    that the verdicts do not depend on the load of the machine)."""
    signal.setitimer(signal.ITIMER_PROF, seconds)
    try:
        return f(*a)
    finally:
        signal.setitimer(signal.ITIMER_PROF, 0)


def precision(dist, args):
    """Decimal digits for the reference at args: 30, plus the digits that
    the log-gamma terms of large shapes and counts cancel."""
    big = max([abs(v) for v in args[1:] if dist not in ("norm", "cauchy", "laplace", "logis", "unif", "lnorm")]
              + [1.0])
    if dist in DISCRETE:
        big = max(big, abs(args[0]))
    return 30 + max(0, int(math.log10(big)))


W = {}     # the worker's module, probes and options


def _init(module_path, lib_path, budget, ref_budget):
    if module_path:
        sys.path.insert(0, module_path)
    import distmill
    signal.signal(signal.SIGPROF, _alarm)
    W["dm"] = distmill
    W["budget"] = budget
    W["ref_budget"] = ref_budget
    if lib_path:
        W["lit"] = probe.Probes(__import__("ctypes").CDLL(lib_path), probe.signatures([LITERAL_SOURCE]))
        W["lit"].lit_set_limit(budget)


def forms(prefix, dist):
    """The forms of one function: (name, flag) with the log flag for d and p."""
    name = prefix + dist
    return [(name, None)] if prefix == "q" else [(name, False), (name, True)]


def form_label(name, flag):
    return name + (" log" if flag else "")


def _call_module(name, args, flag):
    f = getattr(W["dm"], name)
    t = time.process_time()
    try:
        v = limited(W["budget"], f, *args) if flag is None else limited(W["budget"], f, *args, flag)
        v = float(v)
    except Exception:          # out of time (or raised): no value, outside the promise
        return None, time.process_time() - t
    return v, time.process_time() - t


def _call_literal(name, args, flag):
    if "lit" not in W:
        return None
    f = getattr(W["lit"], "lit_" + name)
    v = f(*args) if flag is None else f(*args, flag)
    if W["lit"].lit_expired():
        return None
    return float(v)


def _judge(name, args, flag, v, dps, cache):
    """(error, within 4 ulps) of v, judged again at 20 more digits when the
    verdict is close.  `cache` holds the point's measures and tails by
    precision, shared by every value and form measured there."""
    def promise(digits):
        memo = cache.setdefault(("tails", digits), {})
        key = (name, bool(flag), digits)
        if key not in cache:
            cache[key] = Promise(name, args, bool(flag), memo=memo)
        return cache[key]
    with mp.workdps(dps):
        P = promise(dps)
        e = P.error(v)
    if AGREE_REL < e < 1e-4:
        with mp.workdps(dps + 20):
            P = promise(dps + 20)
            e = P.error(v)
            return e, P.within_ulps(v)
    with mp.workdps(dps):
        return e, P.within_ulps(v)


def measure_point(dist, kind, args):
    """Every form at one point: {form: {"v": module value, "lit": literal
    value (None where the call ran out of time), "jv", "jlit": (error,
    within 4 ulps) of each, "secs": time of the module call, "ref": whether
    the reference could be evaluated}}."""
    dps = precision(dist, args)
    cache = {}
    out = {}
    for prefix in (("d", "p") if kind == "x" else ("q",)):
        for name, flag in forms(prefix, dist):
            v, secs = _call_module(name, args, flag)
            res = {"v": v, "secs": secs}
            values = [("v", v)]
            if "lit" in W:
                # A literal sum that ran out of time with one flag would with
                # the other: it counts as out of time without a second try.
                res["lit"] = None if out.get(form_label(name, not flag), {}).get("lit_expired") else \
                    _call_literal(name, args, flag)
                res["lit_expired"] = res["lit"] is None
                values.append(("lit", res["lit"]))

            def judge_all():
                seen = {}
                for key, val in values:
                    if val is None:
                        res["j" + key] = None
                    else:
                        bits = struct.pack("<d", val)
                        if bits not in seen:
                            seen[bits] = _judge(name, args, flag, val, dps, cache)
                        res["j" + key] = seen[bits]
            try:
                limited(W["ref_budget"], judge_all)
                res["ref"] = True
            except Exception as exc:     # counted and listed with its reason, never dropped
                res["ref"] = False
                res["why"] = type(exc).__name__
            out[form_label(name, flag)] = res
    return out


def run_task(task):
    dist, label, kind, pts = task
    t = time.process_time()
    res = [(a, measure_point(dist, kind, a)) for a in pts]
    return dist, label, kind, res, time.process_time() - t


# ---- the probe library ---------------------------------------------------

LITERAL_SOURCE = ROOT / "tests" / "cpp" / "probe_literal.cpp"


def literal_library(src):
    """The literal probes compiled against the sources in `src` (cached by
    the content of those sources)."""
    h = hashlib.sha256()
    for f in sorted(pathlib.Path(src).rglob("*")):
        if f.is_file() and f.suffix in (".hpp", ".h", ".cpp"):
            h.update(str(f.relative_to(src)).encode() + f.read_bytes())
    for f in (LITERAL_SOURCE, LITERAL_SOURCE.parent / "probe.hpp"):
        h.update(f.read_bytes())
    out = cache_dir() / f"liblit-{h.hexdigest()[:16]}.so"
    if not out.exists():
        tmp = out.with_suffix(f".{os.getpid()}.tmp")
        probe.compile_cpp([LITERAL_SOURCE], tmp, extra=["-shared", "-fPIC", "-fvisibility=hidden"], src=src)
        tmp.rename(out)
    return str(out)


# ---- the tally --------------------------------------------------------------


class Tally:
    def __init__(self):
        self.points = self.noref = 0
        self.n = {"v": 0, "lit": 0}
        self.ulps4 = {"v": 0, "lit": 0}
        self.inside = {"v": 0, "lit": 0}
        self.worst = {"v": [], "lit": []}      # (error, args, value)
        self.fails = {"v": [], "lit": []}
        self.slowest = (0.0, None)
        self.noref_points = []
        # Values whose literal method was inside the promise, and those of
        # them the module did not return bit for bit (the keep rule replaces
        # a literal value only where it disagrees with the converged one,
        # which a literal value just inside the promise can).
        self.lit_inside = 0
        self.replaced = []

    def add(self, args, res, keep):
        self.points += 1
        if res["secs"] > self.slowest[0]:
            self.slowest = (res["secs"], args)
        if not res["ref"]:
            self.noref += 1
            if len(self.noref_points) < 50:
                self.noref_points.append((args, res.get("why")))
            return
        jlit = res.get("jlit")
        if jlit is not None and jlit[0] <= AGREE_REL:
            self.lit_inside += 1
            v, lv = res["v"], res["lit"]
            if not (struct.pack("<d", v) == struct.pack("<d", lv) or (math.isnan(v) and math.isnan(lv))):
                self.replaced.append((args, v, lv))
        for key in ("v", "lit"):
            if "j" + key not in res:
                continue
            self.n[key] += 1
            j = res["j" + key]
            err, within = (INF, False) if j is None else j     # None: the call ran out of time
            self.ulps4[key] += within
            if err <= AGREE_REL:
                self.inside[key] += 1
            else:
                self.fails[key].append((err, args, res[key]))
                if len(self.fails[key]) > 4 * keep:
                    self.fails[key].sort(key=lambda t: -t[0])
                    del self.fails[key][keep:]


W_HAS_LIT = [True]


def share(k, n):
    return f"{100 * k / n:.2f}" if n else "-"


def fmt_err(e):
    return "inf" if e == INF else f"{e:.1e}"


# ---- main -----------------------------------------------------------------


def selected(only):
    """{dist: set of prefixes} from --only (families or functions)."""
    if not only:
        return {d: set("dpq") for d in ORDER}
    sel = collections.defaultdict(set)
    for w in only.split(","):
        w = w.strip()
        if w in FAMILIES:
            sel[w] |= set("dpq")
        elif w[:1] in "dpq" and w[1:] in FAMILIES:
            sel[w[1:]].add(w[0])
        else:
            raise SystemExit(f"--only: no family or function {w!r}")
    return sel


def default_src(module_file):
    """The sources beside the build the module was loaded from (the
    worktree it was built in), else this tree's."""
    for parent in list(pathlib.Path(module_file).resolve().parents)[:3]:  # a list: Python 3.9 cannot slice parents
        if (parent / "src" / "dists").is_dir():
            return parent / "src"
    return ROOT / "src"


def cache_dir():
    d = pathlib.Path(os.environ.get("XDG_CACHE_HOME", tempfile.gettempdir())) / "distmill-promise"
    d.mkdir(parents=True, exist_ok=True)
    return d


def build_tasks(args, sel):
    tasks, gen_drop = [], collections.Counter()
    want_regions = set(args.regions.split(",")) if args.regions else None
    for dist in ORDER:
        if dist not in sel:
            continue
        for label, kind, maker, divisor in regions(dist):
            if kind == "q" and "q" not in sel[dist]:
                continue
            if kind == "x" and not sel[dist] & {"d", "p"}:
                continue
            if want_regions and not any(w in label for w in want_regions):
                continue
            n = max(2, args.n * CHEAP.get(dist, 1) // divisor)
            pts, dropped = points(dist, label, kind, maker, n, args.seed)
            gen_drop[dist] += dropped
            for i in range(0, len(pts), args.chunk):
                tasks.append((dist, label, kind, pts[i:i + args.chunk]))
    return tasks, gen_drop


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true", help="a few points per region")
    ap.add_argument("--scale", type=float, default=1.0, help="points per region times this")
    ap.add_argument("--only", default="", help="families or functions, comma-separated (gamma,qbeta)")
    ap.add_argument("--regions", default="", help="only regions whose label contains one of these words")
    ap.add_argument("--module-path", default=None, help="directory holding the built module")
    ap.add_argument("--src", default=None, help="sources of the literal probes (default: beside the module)")
    ap.add_argument("--no-literal", action="store_true", help="measure the module only")
    ap.add_argument("--literal-lib", default=None,
                    help="a library already holding the literal probes (e.g. the tests' probe library)")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--seed", type=int, default=20261101)
    ap.add_argument("--budget", type=float, default=None,
                    help="processor seconds per module or literal call (default 1)")
    ap.add_argument("--ref-budget", type=float, default=None,
                    help="processor seconds for the references of one value (default 10 with --quick, else 30)")
    ap.add_argument("--out", default=None,
                    help="the machine-readable results (default: a file named after the build, in the "
                         "temporary folder)")
    ap.add_argument("--markdown", default=None, help="write the results table (markdown) here")
    ap.add_argument("--worst", type=int, default=3, help="worst points printed per form")
    ap.add_argument("--rerun", default=None, help="re-measure the failures of a results file")
    ap.add_argument("--chunk", type=int, default=25)
    ap.add_argument("--keep", type=int, default=1000, help="failing points kept per form and side (the worst)")
    args = ap.parse_args(argv)
    args.n = max(2, int((6 if args.quick else 300) * args.scale))
    if args.budget is None:
        args.budget = 1.0
    if args.ref_budget is None:
        args.ref_budget = 10.0 if args.quick else 30.0

    if args.module_path:
        sys.path.insert(0, args.module_path)
    import distmill
    src = pathlib.Path(args.src) if args.src else default_src(distmill.__file__)
    if args.out is None:
        tag = hashlib.sha256(str(pathlib.Path(distmill.__file__).resolve()).encode()).hexdigest()[:8]
        args.out = str(cache_dir() / f"results-{tag}.json")
    lib = None if args.no_literal else args.literal_lib or literal_library(src)
    W_HAS_LIT[0] = lib is not None
    print(f"module {distmill.__file__}\nliteral probes from {src if lib else '(none)'}", file=sys.stderr)

    if args.rerun:
        return rerun(args, lib)

    sel = selected(args.only)
    tasks, gen_drop = build_tasks(args, sel)
    npts = sum(len(t[3]) for t in tasks)
    print(f"{npts} points in {len(tasks)} tasks, {args.jobs} processes", file=sys.stderr)
    t0 = time.time()
    tallies = collections.defaultdict(Tally)
    regions_seen = collections.defaultdict(set)
    if args.jobs > 1:
        import multiprocessing as mpc
        ctx = mpc.get_context("fork")
        with ctx.Pool(args.jobs, _init, (args.module_path, lib, args.budget, args.ref_budget)) as pool:
            results = pool.imap_unordered(run_task, tasks)
            collected = list(_progress(results, len(tasks)))
    else:
        _init(args.module_path, lib, args.budget, args.ref_budget)
        collected = list(_progress(map(run_task, tasks), len(tasks)))
    # The order of completion varies; the tally does not depend on it.
    collected.sort(key=lambda r: (ORDER.index(r[0]), r[1], r[2], r[3][0][0] if r[3] else ()))
    cost = collections.Counter()
    for dist, label, kind, res, secs in collected:
        cost[f"{dist} {label}"] += secs
    print("costliest regions (CPU s): " + ", ".join(f"{k} {v:.0f}" for k, v in cost.most_common(8)), file=sys.stderr)
    family_cost = collections.Counter()
    for k, v in cost.items():
        family_cost[k.split()[0]] += v
    for dist, label, kind, res, secs in collected:
        for a, per_form in res:
            for form, r in per_form.items():
                name, flag = form.split()[0], form.endswith(" log")
                if name[0] not in sel[dist]:
                    continue
                tallies[form].add(a, r, args.keep)
                regions_seen[form].add(label)
    elapsed = time.time() - t0
    report(args, tallies, elapsed, gen_drop, npts, family_cost)


def _progress(it, total):
    t0 = time.time()
    for i, r in enumerate(it, 1):
        if i % max(1, total // 10) == 0 or i == total:
            print(f"  {i}/{total} tasks, {time.time() - t0:.0f} s", file=sys.stderr)
        yield r


def ordered_forms(tallies):
    keys = []
    for dist in ORDER:
        for prefix in "dpq":
            for name, flag in forms(prefix, dist):
                f = form_label(name, flag)
                if f in tallies:
                    keys.append(f)
    return keys


def report(args, tallies, elapsed, gen_drop, npts, family_cost):
    lit = W_HAS_LIT[0]
    head = (f"{'form':16s} {'points':>7s} {'no ref':>6s} | {'<=4ulp%':>8s} {'promise%':>9s} {'outside':>7s}"
            + (f" | {'lit<=4ulp%':>10s} {'lit prom%':>9s} {'lit out':>7s}" if lit else "") + "  worst (checked)")
    print(head)
    total_vals = 0
    out_json = {"meta": {"seed": args.seed, "points_per_region": args.n, "seconds": round(elapsed, 1),
                         "points": npts, "module_path": args.module_path, "only": args.only,
                         "regions": args.regions,
                         "cpu_seconds_per_family": {k: round(v, 1) for k, v in family_cost.items()}},
                "forms": {}, "failures": [], "literal_failures": [], "no_reference": []}
    for f in ordered_forms(tallies):
        t = tallies[f]
        total_vals += t.n["v"] + t.n["lit"]
        worst = max(t.fails["v"], key=lambda x: x[0])[0] if t.fails["v"] else 0.0
        line = (f"{f:16s} {t.points:7d} {t.noref:6d} | {share(t.ulps4['v'], t.n['v']):>8s} "
                f"{share(t.inside['v'], t.n['v']):>9s} {t.n['v'] - t.inside['v']:7d}")
        if lit:
            line += (f" | {share(t.ulps4['lit'], t.n['lit']):>10s} {share(t.inside['lit'], t.n['lit']):>9s} "
                     f"{t.n['lit'] - t.inside['lit']:7d}")
        print(line + f"  {fmt_err(worst) if t.fails['v'] else '-'}")
        out_json["forms"][f] = {
            "points": t.points, "no_reference": t.noref, "checked": _stats(t, "v"), "literal": _stats(t, "lit") if lit else None,
            "slowest_call": [round(t.slowest[0], 4), list(t.slowest[1]) if t.slowest[1] else None],
            "literal_inside": t.lit_inside, "literal_inside_replaced": len(t.replaced),
            "replaced": [[list(a), v, lv] for a, v, lv in t.replaced[:args.keep]]}
        for key, dest in (("v", "failures"), ("lit", "literal_failures")):
            for err, a, val in sorted(t.fails[key], key=lambda x: -x[0])[:args.keep]:
                out_json[dest].append(_failure(f, a, val, err))
        for a, why in t.noref_points:
            out_json["no_reference"].append({"form": f, "args": list(a), "why": why})
    print(f"\n{total_vals} values at {npts} points in {elapsed:.0f} s; "
          f"points dropped while placing them (no valid argument found there): {sum(gen_drop.values())}")
    if lit:
        inside = sum(t.lit_inside for t in tallies.values())
        moved = {f: t.replaced for f, t in tallies.items() if t.replaced}
        print(f"literal values inside the promise: {inside}; returned bit for bit: "
              f"{inside - sum(map(len, moved.values()))}"
              + ("" if not moved else "; replaced: " + ", ".join(f"{f} {len(r)}" for f, r in moved.items())))
        for f, r in moved.items():
            for a, v, lv in r[:args.worst]:
                print(f"  {_call_text(f, a)} = {v!r} (literal {lv!r})")
    bad = [f for f in ordered_forms(tallies) if tallies[f].fails["v"]]
    if bad:
        print("\nworst checked values outside the promise:")
        for f in bad:
            for err, a, val in sorted(tallies[f].fails["v"], key=lambda x: -x[0])[:args.worst]:
                shown = "(ran out of time)" if val is None else repr(val)
                print(f"  {_call_text(f, a)} = {shown}   error {fmt_err(err)}")
    noref = [f for f in ordered_forms(tallies) if tallies[f].noref]
    if noref:
        print("\npoints without a reference: " + ", ".join(f"{f} {tallies[f].noref}" for f in noref))
    with open(args.out, "w") as fh:
        json.dump(out_json, fh, indent=1)
    print(f"\nresults and every failing point: {args.out}", file=sys.stderr)
    if args.markdown:
        write_markdown(args.markdown, tallies, lit)


def _stats(t, key):
    n = t.n[key]
    return {"values": n, "within_4_ulps": t.ulps4[key], "within_promise": t.inside[key], "outside": n - t.inside[key]}


def _failure(form, a, val, err):
    name = form.split()[0]
    return {"form": form, "function": name, "args": list(a), "log": form.endswith(" log") if name[0] != "q" else None,
            "value": val, "error": err}


def _call_text(form, a):
    name = form.split()[0]
    flag = ", True" if form.endswith(" log") else ""
    return f"{name}({', '.join(repr(v) for v in a)}{flag})"


def write_markdown(path, tallies, lit):
    rows = ["| function | points | within 4 ulps | within the promise | outside |"
            + (" literal: within 4 ulps | literal: within the promise | literal: outside |"
               " literal inside, not kept |" if lit else ""),
            "|---|---:|---:|---:|---:|" + ("---:|---:|---:|---:|" if lit else "")]
    for f in ordered_forms(tallies):
        t = tallies[f]
        name = f"`{f.split()[0]}`" + (" log" if f.endswith(" log") else "")
        pts = f"{t.points}" + (f" ({t.noref} no ref.)" if t.noref else "")
        row = (f"| {name} | {pts} | {share(t.ulps4['v'], t.n['v'])} % | {share(t.inside['v'], t.n['v'])} % | "
               f"{t.n['v'] - t.inside['v']} |")
        if lit:
            row += (f" {share(t.ulps4['lit'], t.n['lit'])} % | {share(t.inside['lit'], t.n['lit'])} % | "
                    f"{t.n['lit'] - t.inside['lit']} | {len(t.replaced)} |")
        rows.append(row)
    pathlib.Path(path).write_text("\n".join(rows) + "\n")


def rerun(args, lib):
    """Re-measure the failing points of a results file with this build."""
    data = json.loads(pathlib.Path(args.rerun).read_text())
    _init(None, lib, args.budget, args.ref_budget)
    items = data["failures"]
    if args.only:
        sel = selected(args.only)
        items = [it for it in items if it["function"][1:] in sel and it["function"][0] in sel[it["function"][1:]]]
    still = 0
    for it in items:
        name, a, flag = it["function"], tuple(it["args"]), it["log"]
        dist = name[1:]
        a = tuple(int(v) if isinstance(v, int) else float(v) for v in a)
        v, _ = _call_module(name, a, flag)
        try:
            e, within = limited(args.ref_budget, _judge, name, a, flag, v, precision(dist, a), {}) if v is not None else (INF, False)
        except Exception as exc:               # noqa: BLE001 - reported, not hidden
            print(f"{_call_text(it['form'], a)}: no reference ({type(exc).__name__})")
            continue
        still += e > AGREE_REL
        print(f"{_call_text(it['form'], a)} = {v!r}  error {fmt_err(e)} (was {it['value']!r}, {fmt_err(it['error'])})"
              f"{'' if e > AGREE_REL else '  now within the promise'}")
    print(f"\n{still} of {len(items)} still outside the promise")


if __name__ == "__main__":
    main()
