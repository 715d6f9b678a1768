"""Accuracy of the gamma kernels (lgamma, tgamma, lbeta), the incomplete
gamma function and its inverse, and the gamma, inverse-gamma and chi-squared
families, against mpmath.

Run from the repository root with the module built in ./build:

    PYTHONPATH=build python3 tools/accuracy/gamma.py

The kernels are reached by compiling tests/cpp/probe_*.cpp into a temporary
shared library (the module exposes only its 68 functions).  Each row gives
the largest and the median relative error over the points measured, and the
number of results that are NaN, negative or otherwise unusable ("failed",
left out of the error columns).  Points whose reference lies outside the
normal double range are skipped.  For the incomplete gamma function the
error of the complement 1 - P is not measured: P is what the kernel returns.
For the inverse, the reference root is found by Newton steps in mpmath
started from the kernel's result (or from a bracketing search when that
result is not usable).  The samples are fixed (seeded).
"""
import math
import pathlib
import random
import statistics
import sys

import mpmath as mp

import distmill as dm

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import probe  # noqa: E402
from support import references as ref  # noqa: E402

mp.mp.dps = 40
EPS = 2.0**-52
TINY = 2.0**-1022
MAXD = 1.7976931348623157e308

K = probe.load()
k_lgamma, k_tgamma, k_lbeta = K.k_lgamma, K.k_tgamma, K.k_lbeta
k_ig, k_igi = K.k_incomplete_gamma, K.k_incomplete_gamma_inv

rng = random.Random(20240611)


def logu(lo, hi):
    return math.exp(rng.uniform(math.log(lo), math.log(hi)))


ROWS = []


def measure(name, sample, points, f, ref, valid=lambda v: not math.isnan(v)):
    errs, failed = [], 0
    for args in points:
        r = ref(*args)
        if r is None:
            continue
        r = mp.mpf(r)
        if not (TINY <= abs(r) <= MAXD):
            continue
        v = f(*args)
        if not valid(v) or math.isinf(v):
            failed += 1
            continue
        errs.append(float(abs((mp.mpf(v) - r) / r)))
    n = len(errs) + failed
    mx = max(errs) if errs else math.nan
    md = statistics.median(errs) if errs else math.nan
    ROWS.append((name, sample, n, mx, md, failed))


# --- reference functions (support/references.py) ---------------------------

def P(a, z):
    return ref.gamma_tails(a, z)[0]


def P_inv(a, p, start):
    """Root of P(a, x) = p, from `start` when it is a usable guess."""
    return ref.gamma_root(a, p, start=start if math.isfinite(start) and start > 0 else None)


def prob_ok(v):
    return not math.isnan(v) and 0 <= v <= 1


def pos_ok(v):
    return not math.isnan(v) and v >= 0


# --- gamma kernels ----------------------------------------------------------

def run_gamma_kernels():
    ordinary = [(logu(0.5, 1e6),) for _ in range(400)]
    small = [(logu(1e-12, 0.5),) for _ in range(300)]
    measure("lgamma", "x in [0.5, 1e6]", ordinary, k_lgamma, mp.loggamma)
    measure("lgamma", "x in [1e-12, 0.5]", small, k_lgamma, mp.loggamma)
    zeros = [(1 + rng.uniform(-0.05, 0.05),) for _ in range(150)] + \
            [(2 + rng.uniform(-0.05, 0.05),) for _ in range(150)]
    measure("lgamma", "x within 0.05 of the zeros 1, 2", zeros, k_lgamma, mp.loggamma)

    measure("tgamma", "x in [0.1, 171]", [(rng.uniform(0.1, 171),) for _ in range(400)],
            k_tgamma, mp.gamma)
    measure("tgamma", "x in [1e-12, 0.1]", [(logu(1e-12, 0.1),) for _ in range(200)],
            k_tgamma, mp.gamma)
    neg = []
    for _ in range(300):
        x = -rng.uniform(0.01, 170)
        if x - math.floor(x) > 1e-6:
            neg.append((x,))
    measure("tgamma", "x in [-170, -0.01], non-integer", neg, k_tgamma, mp.gamma)

    ordinary = [(logu(0.5, 100), logu(0.5, 100)) for _ in range(300)]
    hard = [(logu(1e-8, 1e-2), logu(1e3, 1e7)) for _ in range(200)]
    ref = lambda a, b: mp.log(mp.beta(a, b))  # noqa: E731
    measure("lbeta", "a, b in [0.5, 100]", ordinary, k_lbeta, ref)
    measure("lbeta", "a in [1e-8, 1e-2], b in [1e3, 1e7]", hard, k_lbeta, ref)


# --- incomplete gamma -------------------------------------------------------

K_HI = [(800, 10), (300, 9), (90, 8), (70, 7), (50, 6), (40, 5), (30, 4)]


def k_hi(a):
    for lim, k in K_HI:
        if a > lim:
            return k
    return 4


def run_incomplete_gamma():
    pts = []
    for _ in range(300):
        a = logu(0.1, 9.99)
        pts.append((a, a * rng.uniform(0.05, 2.0)))
    measure("incomplete_gamma", "a in [0.1, 10), z in [0.05a, 2a] (fraction)", pts, k_ig, P, prob_ok)
    pts = []
    for _ in range(300):
        a = logu(10, 2000)
        pts.append((a, max(0.01, a + math.sqrt(a) * rng.uniform(-3, 3))))
    measure("incomplete_gamma", "a in [10, 2000], z within 3 sd of a (quadrature)", pts, k_ig, P, prob_ok)

    pts = []
    for _ in range(250):
        a = logu(0.1, 9.99)
        pts.append((a, a * rng.uniform(2.0, 4.0) + 2))
    measure("incomplete_gamma", "a < 10, z in [2a+2, 4a+2]", pts, k_ig, P, prob_ok)
    pts = []
    for _ in range(250):
        a = logu(0.1, 9.99)
        pts.append((a, a * rng.uniform(4.0, 20.0) + 10))
    measure("incomplete_gamma", "a < 10, z in [4a+10, 20a+10] (far past the mode)", pts, k_ig, P, prob_ok)
    pts = [(logu(1e-10, 0.1), logu(1e-3, 10)) for _ in range(200)]
    measure("incomplete_gamma", "a in [1e-10, 0.1]", pts, k_ig, P, prob_ok)
    pts = []
    for _ in range(200):
        a = rng.uniform(16, 30)
        pts.append((a, a + math.sqrt(a) * rng.uniform(0, 3.9)))
    measure("incomplete_gamma", "a in [16, 30], z in [a, a + 4 sqrt a] (lower cut)", pts, k_ig, P, prob_ok)
    pts = []
    for _ in range(200):
        a = logu(10, 2000)
        pts.append((a, (a + k_hi(a) * math.sqrt(a)) * rng.uniform(1.0, 3.0)))
    measure("incomplete_gamma", "a in [10, 2000], z beyond a + k_hi sqrt a (upper cut)", pts, k_ig, P, prob_ok)
    pts = []
    for _ in range(200):
        a = logu(10, 2000)
        pts.append((a, max(1e-3, a - math.sqrt(a) * rng.uniform(3, 8))))
    measure("incomplete_gamma", "a in [10, 2000], z 3 to 8 sd below a (lower tail)", pts, k_ig, P, prob_ok)


def run_incomplete_gamma_inv():
    def inv_measure(name, sample, pts):
        measure(name, sample, pts, k_igi, lambda a, p: P_inv(a, p, k_igi(a, p)), pos_ok)

    pts = [(logu(0.5, 1000), rng.uniform(0.01, 0.99)) for _ in range(200)]
    inv_measure("incomplete_gamma_inv", "a in [0.5, 1000], p in [0.01, 0.99]", pts)
    pts = [(logu(1.01, 1000), logu(1e-15, 1e-3)) for _ in range(150)]
    inv_measure("incomplete_gamma_inv", "a in (1, 1000], p in [1e-15, 1e-3]", pts)
    pts = [(logu(0.01, 1), logu(1e-15, 1e-3)) for _ in range(150)]
    inv_measure("incomplete_gamma_inv", "a in [0.01, 1], p in [1e-15, 1e-3]", pts)
    pts = [(logu(0.01, 0.5), rng.uniform(0.01, 0.99)) for _ in range(150)]
    inv_measure("incomplete_gamma_inv", "a in [0.01, 0.5], p in [0.01, 0.99]", pts)
    pts = [(logu(0.5, 1000), 1 - logu(1e-12, 1e-3)) for _ in range(150)]
    inv_measure("incomplete_gamma_inv", "a in [0.5, 1000], 1 - p in [1e-12, 1e-3]", pts)


# --- the nine distribution functions ----------------------------------------

def run_families():
    # gamma
    pts = [(x, k, th) for k, th in ((logu(0.2, 500), logu(0.01, 100)) for _ in range(200))
           for x in (k * th * rng.uniform(0.1, 2.0),)]
    measure("dgamma", "shape in [0.2, 500], x in [0.1, 2] × mean", pts,
            lambda x, k, th: dm.dgamma(x, k, th), lambda x, k, th: ref.density("gamma", x, k, th))
    measure("pgamma", "shape in [0.2, 500], x in [0.1, 2] × mean", pts,
            lambda x, k, th: dm.pgamma(x, k, th), lambda x, k, th: ref.cdf("gamma", x, k, th), prob_ok)
    hard = [(x, k, th) for k, th in ((logu(0.2, 9.9), logu(0.01, 100)) for _ in range(150))
            for x in ((k * 4 + 8) * th * rng.uniform(1, 3),)]
    measure("pgamma", "shape < 10, x in [4k+8, 12k+24] × scale", hard,
            lambda x, k, th: dm.pgamma(x, k, th), lambda x, k, th: ref.cdf("gamma", x, k, th), prob_ok)
    qp = [(rng.uniform(0.01, 0.99), logu(0.5, 500), logu(0.01, 100)) for _ in range(150)]
    measure("qgamma", "p in [0.01, 0.99], shape in [0.5, 500]", qp,
            lambda p, k, th: dm.qgamma(p, k, th),
            lambda p, k, th: P_inv(k, p, dm.qgamma(p, k, th) / th) * th, pos_ok)
    qh = [(1 - logu(1e-12, 1e-3), logu(0.5, 500), 1.0) for _ in range(100)] + \
         [(logu(1e-15, 1e-3), logu(0.05, 500), 1.0) for _ in range(100)]
    measure("qgamma", "p or 1 - p in [1e-15, 1e-3]", qh,
            lambda p, k, th: dm.qgamma(p, k, th),
            lambda p, k, th: P_inv(k, p, dm.qgamma(p, k, th)), pos_ok)

    # inverse gamma
    pts = [(x, a, b) for a, b in ((logu(0.2, 500), logu(0.01, 100)) for _ in range(200))
           for x in (b / a * rng.uniform(0.5, 3.0),)]
    measure("dinvgamma", "shape in [0.2, 500], x in [0.5, 3] × scale/shape", pts,
            lambda x, a, b: dm.dinvgamma(x, a, b), lambda x, a, b: ref.density("invgamma", x, a, b))
    measure("pinvgamma", "shape in [0.2, 500], x in [0.5, 3] × scale/shape", pts,
            lambda x, a, b: dm.pinvgamma(x, a, b),
            lambda x, a, b: ref.cdf("invgamma", x, a, b), prob_ok)
    measure("qinvgamma", "p in [0.01, 0.99], shape in [0.5, 500]", qp,
            lambda p, a, b: dm.qinvgamma(p, a, b),
            lambda p, a, b: b / P_inv(a, 1 - p, b / dm.qinvgamma(p, a, b)), pos_ok)
    hard = [(b / (a + 3 * math.sqrt(a) + 3) * rng.uniform(0.2, 1), a, b)
            for a, b in ((logu(0.5, 500), logu(0.01, 100)) for _ in range(150))]
    measure("pinvgamma", "x below the bulk (small CDF)", hard,
            lambda x, a, b: dm.pinvgamma(x, a, b),
            lambda x, a, b: ref.cdf("invgamma", x, a, b), prob_ok)

    # chi-squared
    pts = [(nu * rng.uniform(0.1, 2.5), nu) for nu in (logu(0.5, 1000) for _ in range(200))]
    measure("dchisq", "dof in [0.5, 1000], x in [0.1, 2.5] × dof", pts,
            lambda x, nu: dm.dchisq(x, nu), lambda x, nu: ref.density("chisq", x, nu))
    measure("pchisq", "dof in [0.5, 1000], x in [0.1, 2.5] × dof", pts,
            lambda x, nu: dm.pchisq(x, nu), lambda x, nu: ref.cdf("chisq", x, nu), prob_ok)
    qp = [(rng.uniform(0.01, 0.99), logu(0.5, 1000)) for _ in range(150)]
    measure("qchisq", "p in [0.01, 0.99], dof in [0.5, 1000]", qp,
            lambda p, nu: dm.qchisq(p, nu),
            lambda p, nu: 2 * P_inv(mp.mpf(nu) / 2, p, dm.qchisq(p, nu) / 2), pos_ok)
    qh = [(1 - logu(1e-12, 1e-3), logu(1, 1000)) for _ in range(100)]
    measure("qchisq", "1 - p in [1e-12, 1e-3], dof in [1, 1000]", qh,
            lambda p, nu: dm.qchisq(p, nu),
            lambda p, nu: 2 * P_inv(mp.mpf(nu) / 2, p, dm.qchisq(p, nu) / 2), pos_ok)


def main():
    run_gamma_kernels()
    run_incomplete_gamma()
    run_incomplete_gamma_inv()
    run_families()
    out = sys.stdout
    out.write("| function | arguments | n | max rel. error | median rel. error | failed |\n")
    out.write("|---|---|---:|---:|---:|---:|\n")
    for name, sample, n, mx, md, failed in ROWS:
        out.write(f"| `{name}` | {sample} | {n} | {mx:.2e} | {md:.2e} | {failed} |\n")


if __name__ == "__main__":
    main()
