"""Accuracy of the elementary kernels and of the closed-form families
(uniform, exponential, Cauchy, Laplace, logistic, Weibull) against mpmath.

Run from the repository root with the module built in ./build:

    PYTHONPATH=build python3 tools/accuracy/closed_forms.py

The kernels are reached by compiling tests/cpp/probe_*.cpp into a temporary
shared library (the module exposes only its 68 functions).  For every
function the script prints the largest and the median relative error, and
the largest error in units in the last place of the double result, on an
"ordinary" sample and on a "hard" sample (tails, branch switches, extreme
arguments).  Extended kernels are measured on their full 64-bit result.
Points whose reference value lies outside the normal double range (0,
subnormal, overflow) are left out; the sample sizes are the counts of points
measured.  Below 2^-52 the logarithm is -inf and pow of such a base 0 or
+inf by design; the samples stay above that threshold.
"""
import math
import pathlib
import random
import statistics
import sys

import mpmath as mp

import distmill

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import probe  # noqa: E402
from support import references as ref  # noqa: E402
from support.metrics import ulps as ulps_of  # noqa: E402

mp.mp.prec = 160
EPS = 2.0 ** -52
TINY = 2.0 ** -1022

K = probe.load()
k_log, k_exp, k_pow, k_expm1, k_log1p, k_sqrt = K.k_log, K.k_exp, K.k_pow, K.k_expm1, K.k_log1p, K.k_sqrt
k_atan, k_tanh_cf, k_ipow = K.k_atan, K.k_tanh_cf, K.k_ipow
k_tan_part, k_exp_ext_part, k_exp_integer_part = K.k_tan_part, K.k_exp_ext_part, K.k_exp_integer_part


def ext_tan(x):
    return mp.mpf(k_tan_part(x, 0.0, 0)) + mp.mpf(k_tan_part(x, 0.0, 1))


def ext_exp(x):
    return mp.mpf(k_exp_ext_part(x, 0.0, 0)) + mp.mpf(k_exp_ext_part(x, 0.0, 1))


def ext_exp_integer(n):
    return mp.mpf(k_exp_integer_part(n, 0)) + mp.mpf(k_exp_integer_part(n, 1))


def errors(pairs, ext=False):
    """pairs: (computed, reference) -> (relative errors, ulp errors)."""
    rel, ulps = [], []
    for got, exact in pairs:
        exact = mp.mpf(exact)
        # Results beyond the double range (overflow, or below the normal
        # range, where a subnormal carries fewer digits) are not measured.
        if not mp.isfinite(exact) or abs(exact) < TINY or abs(exact) > 1.7976931348623157e308:
            continue
        got = mp.mpf(got) if not isinstance(got, mp.mpf) else got
        if not mp.isfinite(got):
            rel.append(math.inf)
            ulps.append(math.inf)
            continue
        rel.append(float(abs(got - exact) / abs(exact)))
        ulps.append(ulps_of(got, exact, 64 if ext else 53))
    return rel, ulps


ROWS = []


def record(name, kind, pairs, ext=False):
    rel, ulps = errors(pairs, ext)
    if not rel:
        return
    ROWS.append((name, kind, len(rel), max(rel), statistics.median(rel), max(ulps)))


def logu(rng, lo, hi):
    return math.exp(rng.uniform(math.log(lo), math.log(hi)))


def main():
    rng = random.Random(20240611)
    n = 400

    # ---- elementary kernels ------------------------------------------------
    def kern(name, kind, f, exact, xs, ext=False):
        record(name, kind, [(f(*x) if isinstance(x, tuple) else f(x),
                             exact(*x) if isinstance(x, tuple) else exact(x)) for x in xs], ext)

    kern("log", "ordinary (1e-10..1e10)", k_log, mp.log, [logu(rng, 1e-10, 1e10) for _ in range(n)])
    kern("log", "hard: |x - 1| < 1e-3", k_log, mp.log, [1 + rng.uniform(-1e-3, 1e-3) for _ in range(100)])
    kern("log", "hard: next to 0.1, 0.5, 1.5, 10, 100", k_log, mp.log,
         [rng.choice([0.5, 1.5, 0.1, 10.0, 100.0]) * (1 + rng.uniform(-1e-9, 1e-9)) for _ in range(100)])
    kern("log", "hard: 2^-52..1e-10 and 1e200..max", k_log, mp.log,
         [logu(rng, 2 ** -52, 1e-10) for _ in range(50)] + [logu(rng, 1e200, 1.7e308) for _ in range(50)])

    ords = [rng.uniform(-20, 20) for _ in range(n)]
    kern("exp", "ordinary (-20..20)", k_exp, mp.exp, ords)
    kern("exp", "hard: positive, 2..709.7", k_exp, mp.exp, [rng.uniform(2, 709.7) for _ in range(100)])
    kern("exp", "hard: negative, -708..-2", k_exp, mp.exp, [rng.uniform(-708, -2) for _ in range(100)])
    kern("exp", "hard: next to +-2 and to k + 1/2", k_exp, mp.exp,
         [rng.choice([-2.0, 2.0]) + rng.uniform(-1e-6, 1e-6) for _ in range(50)] +
         [k + 0.5 + rng.uniform(-1e-9, 1e-9) for k in range(-30, 30)])
    kern("exp_ext", "ordinary (-20..20)", ext_exp, mp.exp, ords, ext=True)
    kern("exp_ext", "hard: -700..700", ext_exp, mp.exp, [rng.uniform(-700, 700) for _ in range(200)], ext=True)
    kern("exp_integer", "ordinary (-40..40)", ext_exp_integer, mp.exp, list(range(-40, 41)), ext=True)
    kern("exp_integer", "hard: -700..700", ext_exp_integer, mp.exp, list(range(-700, 701, 7)), ext=True)

    kern("pow", "ordinary (a 0.1..10, b -5..5)", k_pow, mp.power,
         [(logu(rng, 0.1, 10), rng.uniform(-5, 5)) for _ in range(n)])
    hard = [(1 + rng.uniform(-1e-6, 1e-6), rng.uniform(-1e8, 1e8)) for _ in range(100)] + \
           [(logu(rng, 2 ** -52, 1e300), rng.uniform(-2, 2)) for _ in range(100)]
    kern("pow", "hard: |b ln a| up to 700", k_pow, mp.power,
         [(a, b) for a, b in hard if abs(b * math.log(a)) < 700])

    kern("expm1", "ordinary (-1..1)", k_expm1, mp.expm1, [rng.uniform(-1, 1) for _ in range(n)])
    kern("expm1", "hard: |x| in 1e-4..1e-2", k_expm1, mp.expm1,
         [rng.choice([-1, 1]) * logu(rng, 1e-4, 1e-2) for _ in range(100)])
    kern("expm1", "hard: |x| below 1e-4 (series)", k_expm1, mp.expm1,
         [rng.choice([-1, 1]) * logu(rng, 1e-300, 1e-4) for _ in range(100)])
    kern("log1p", "ordinary (-0.9..1)", k_log1p, mp.log1p, [rng.uniform(-0.9, 1) for _ in range(n)])
    kern("log1p", "hard: |x| in 1e-4..1e-2", k_log1p, mp.log1p,
         [rng.choice([-1, 1]) * logu(rng, 1e-4, 1e-2) for _ in range(100)])
    kern("log1p", "hard: |x| below 1e-4 (series)", k_log1p, mp.log1p,
         [rng.choice([-1, 1]) * logu(rng, 1e-300, 1e-4) for _ in range(100)])

    kern("sqrt", "ordinary (1..1e300)", k_sqrt, mp.sqrt, [logu(rng, 1, 1e300) for _ in range(n)])
    kern("sqrt", "hard: 2^-52..1", k_sqrt, mp.sqrt, [logu(rng, 2 ** -52, 1) for _ in range(n)])

    kern("tan", "ordinary (-1.5..1.55)", ext_tan, mp.tan, [rng.uniform(-1.5, 1.55) for _ in range(n)], ext=True)
    kern("tan", "hard: Laurent band 1.55..1.6", ext_tan, mp.tan,
         [rng.uniform(1.55, 1.6) for _ in range(100)], ext=True)
    kern("tan", "hard: reduced, 3.2..100", ext_tan, mp.tan, [rng.uniform(3.2, 100) for _ in range(100)], ext=True)
    kern("tan", "hard: reduced, 100..1e15", ext_tan, mp.tan, [logu(rng, 100, 1e15) for _ in range(100)], ext=True)
    kern("tan", "hard: negative, -20..-1.6 (not reduced)", ext_tan, mp.tan,
         [rng.uniform(-20, -1.6) for _ in range(100)], ext=True)

    kern("atan", "ordinary (-10..10)", k_atan, mp.atan, [rng.uniform(-10, 10) for _ in range(n)])
    kern("atan", "hard: next to 2.5", k_atan, mp.atan, [2.5 + rng.uniform(-1e-3, 1e-3) for _ in range(100)])
    kern("atan", "hard: |x| in 10..1e300", k_atan, mp.atan,
         [rng.choice([-1, 1]) * logu(rng, 10, 1e300) for _ in range(100)])
    kern("atan", "hard: |x| in 1e-300..1e-3", k_atan, mp.atan,
         [rng.choice([-1, 1]) * logu(rng, 1e-300, 1e-3) for _ in range(100)])

    tanh_of = lambda z: z / k_tanh_cf(z)
    kern("z/tanh_cf(z) vs tanh", "ordinary (|z| < 5)", tanh_of, mp.tanh, [rng.uniform(-5, 5) for _ in range(n)])
    kern("z/tanh_cf(z) vs tanh", "hard: |z| in 5..40", tanh_of, mp.tanh,
         [rng.choice([-1, 1]) * rng.uniform(5, 40) for _ in range(100)])
    kern("z/tanh_cf(z) vs tanh", "hard: |z| in 40..1e4", tanh_of, mp.tanh,
         [rng.choice([-1, 1]) * logu(rng, 40, 1e4) for _ in range(100)])

    ipow_ref = lambda k, x: mp.power(x, k)
    kern("ipow", "ordinary (|n| <= 20)", k_ipow, ipow_ref,
         [(rng.randint(-20, 20), rng.uniform(0.5, 2)) for _ in range(n)])
    hard = [(rng.randint(100, 4000) * rng.choice([-1, 1]), 1 + rng.uniform(-0.1, 0.1)) for _ in range(n)]
    kern("ipow", "hard: |n| in 100..4000", k_ipow, ipow_ref, [(k, x) for k, x in hard if abs(k * math.log(x)) < 700])

    # ---- distributions -----------------------------------------------------
    D = distmill

    def run(name, kind, args):
        fn = getattr(D, name)
        record(name, kind, [(fn(*a), ref.value(name, *a)) for a in args])

    def loc_scale(zlo, zhi, k, sign=None):
        out = []
        for _ in range(k):
            mu, s = rng.uniform(-5, 5), logu(rng, 0.1, 10)
            z = (sign or rng.choice([-1, 1])) * logu(rng, zlo, zhi)
            out.append((mu + s * z, mu, s))
        return out

    def ps(lo, hi, k, near_one=False):
        return [1 - logu(rng, lo, hi) if near_one else logu(rng, lo, hi) for _ in range(k)]

    m = 300
    # uniform
    ordinary = []
    for _ in range(m):
        a = rng.uniform(-10, 10)
        b = a + logu(rng, 1e-3, 100)
        ordinary.append((rng.uniform(a, b), a, b))
    tiny = [(w * rng.random(), 0.0, w) for w in (logu(rng, 1e-300, 1e-200) for _ in range(50))]
    run("dunif", "ordinary", ordinary)
    run("dunif", "hard: width 1e-300..1e-200", tiny)
    run("punif", "ordinary", ordinary)
    run("punif", "hard: width 1e-300..1e-200", tiny)
    run("qunif", "ordinary", [(rng.uniform(0.01, 0.99),) + a[1:] for a in ordinary])
    run("qunif", "hard: a < 0 < b, result near 0",
        [(p, -0.1, 0.3) for p in (0.25 + rng.uniform(-1e-6, 1e-6) for _ in range(50))])

    # exponential
    ordinary = [(logu(rng, 1e-2, 10) / r, r) for r in (logu(rng, 0.01, 100) for _ in range(m))]
    run("dexp", "ordinary (rate x in 0.01..10)", ordinary)
    run("dexp", "hard: rate x in 100..700",
        [(logu(rng, 100, 700) / r, r) for r in (logu(rng, 1e-3, 1e3) for _ in range(60))])
    run("pexp", "ordinary (rate x in 0.01..10)", ordinary)
    run("pexp", "hard: rate x in 1e-4..1e-2",
        [(logu(rng, 1e-4, 1e-2) / r, r) for r in (logu(rng, 1e-3, 1e3) for _ in range(60))])
    run("pexp", "hard: rate x below 1e-4",
        [(logu(rng, 1e-300, 1e-4) / r, r) for r in (logu(rng, 1e-3, 1e3) for _ in range(60))])
    run("qexp", "ordinary", [(rng.uniform(0.01, 0.99), logu(rng, 0.01, 100)) for _ in range(m)])
    run("qexp", "hard: p in 1e-12..1e-3", [(p, 1.0) for p in ps(1e-12, 1e-3, 60)])
    run("qexp", "hard: 1 - p in 1e-15..1e-3", [(p, 1.0) for p in ps(1e-15, 1e-3, 60, True)])

    # Cauchy
    ordinary = loc_scale(1e-3, 10, m)
    run("dcauchy", "ordinary (|z| in 1e-3..10)", ordinary)
    run("dcauchy", "hard: |z| in 10..1e12", loc_scale(10, 1e12, 60))
    run("pcauchy", "ordinary (|z| in 1e-3..10)", ordinary)
    run("pcauchy", "hard: right tail z in 10..1e12", loc_scale(10, 1e12, 60, 1))
    run("pcauchy", "hard: left tail z in -1e12..-10", loc_scale(10, 1e12, 60, -1))
    run("qcauchy", "ordinary", [(rng.uniform(0.01, 0.99), 0.0, logu(rng, 0.1, 10)) for _ in range(m)])
    run("qcauchy", "hard: p in 1e-15..1e-3", [(p, 0.0, 1.0) for p in ps(1e-15, 1e-3, 60)])
    run("qcauchy", "hard: 1 - p in 1e-15..1e-3", [(p, 0.0, 1.0) for p in ps(1e-15, 1e-3, 60, True)])

    # Laplace
    ordinary = loc_scale(1e-3, 10, m)
    run("dlaplace", "ordinary (|z| in 1e-3..10)", ordinary)
    run("dlaplace", "hard: |z| in 10..700", loc_scale(10, 700, 60))
    run("plaplace", "ordinary, right half (z in 1e-3..10)", loc_scale(1e-3, 10, m, 1))
    run("plaplace", "ordinary, left half (z in -10..-1e-3)", loc_scale(1e-3, 10, m, -1))
    run("plaplace", "hard: left tail z in -700..-10", loc_scale(10, 700, 60, -1))
    run("qlaplace", "ordinary", [(rng.uniform(0.01, 0.99), 0.0, logu(rng, 0.1, 10)) for _ in range(m)])
    run("qlaplace", "hard: p in 1e-15..1e-3", [(p, 0.0, 1.0) for p in ps(1e-15, 1e-3, 60)])
    run("qlaplace", "hard: |p - 1/2| in 1e-12..1e-3",
        [(0.5 + rng.choice([-1, 1]) * logu(rng, 1e-12, 1e-3), 0.0, 1.0) for _ in range(60)])

    # logistic
    ordinary = loc_scale(1e-3, 10, m)
    run("dlogis", "ordinary (|z| in 1e-3..10)", ordinary)
    run("dlogis", "hard: |z| in 10..700", loc_scale(10, 700, 60))
    run("plogis", "ordinary, right half (z in 1e-3..10)", loc_scale(1e-3, 10, m, 1))
    run("plogis", "ordinary, left half (z in -10..-1e-3)", loc_scale(1e-3, 10, m, -1))
    run("plogis", "hard: right tail z in 30..1e4", loc_scale(30, 1e4, 60, 1))
    run("plogis", "hard: left tail z in -700..-10", loc_scale(10, 700, 60, -1))
    run("qlogis", "ordinary", [(rng.uniform(0.01, 0.99), 0.0, logu(rng, 0.1, 10)) for _ in range(m)])
    run("qlogis", "hard: |p - 1/2| in 1e-12..1e-3",
        [(0.5 + rng.choice([-1, 1]) * logu(rng, 1e-12, 1e-3), 0.0, 1.0) for _ in range(60)])
    run("qlogis", "hard: p or 1 - p in 1e-15..1e-3",
        [(p, 0.0, 1.0) for p in ps(1e-15, 1e-3, 30) + ps(1e-15, 1e-3, 30, True)])

    # Weibull
    ordinary = [(l * logu(rng, 0.05, 2.5), k, l)
                for k, l in ((logu(rng, 0.3, 5), logu(rng, 0.1, 10)) for _ in range(m))]
    small = [(l * logu(rng, 1e-10, 1e-2), k, l)
             for k, l in ((logu(rng, 0.2, 5), logu(rng, 0.1, 10)) for _ in range(60))]
    large = [(l * rng.uniform(3, 30), k, l)
             for k, l in ((logu(rng, 1, 4), logu(rng, 0.1, 10)) for _ in range(60))]
    run("dweibull", "ordinary (x/scale in 0.05..2.5)", ordinary)
    run("dweibull", "hard: x/scale in 1e-10..1e-2", small)
    run("dweibull", "hard: (x/scale)^shape large", large)
    run("pweibull", "ordinary (x/scale in 0.05..2.5)", ordinary)
    run("pweibull", "hard: x/scale in 1e-10..1e-2", small)
    run("qweibull", "ordinary", [(rng.uniform(0.01, 0.99), logu(rng, 0.3, 5), logu(rng, 0.1, 10))
                                 for _ in range(m)])
    run("qweibull", "hard: p below 1e-4 (series)", [(p, logu(rng, 0.3, 5), 1.0) for p in ps(1e-15, 1e-4, 60)])
    run("qweibull", "hard: p in 1e-4..1e-2", [(p, logu(rng, 0.3, 5), 1.0) for p in ps(1e-4, 1e-2, 60)])
    run("qweibull", "hard: 1 - p in 1e-15..1e-3", [(p, logu(rng, 0.3, 5), 1.0) for p in ps(1e-15, 1e-3, 60, True)])

    print("| function | arguments | n | max rel. error | median rel. error | max ulps |")
    print("|---|---|---:|---:|---:|---:|")
    for name, kind, cnt, mx, med, mu in ROWS:
        print(f"| `{name}` | {kind} | {cnt} | {mx:.3g} | {med:.3g} | {mu:.3g} |")


if __name__ == "__main__":
    main()
