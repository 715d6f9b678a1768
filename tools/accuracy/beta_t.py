"""Accuracy of the incomplete beta kernels and of the beta, F and Student's t
families against mpmath.

Run from the repository root with the module built in ./build:

    PYTHONPATH=build python3 tools/accuracy/beta_t.py

The two kernels are reached by compiling tests/cpp/probe_*.cpp into a
temporary shared library.  For every function the script prints the largest
and the median relative error on an "ordinary" sample and on a "hard"
sample (large or small shapes, tails, branch switches, infinite degrees of
freedom), with the argument of the largest error.  Points whose reference
value is 0, subnormal or infinite are left out; the counts are the points
measured.  A result that is NaN or infinite where the reference is finite
counts as relative error inf.
"""
import math
import pathlib
import statistics
import sys

import mpmath as mp
import numpy as np
import scipy.special as sc

import distmill

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import probe  # noqa: E402
from support import references as ref  # noqa: E402

mp.mp.dps = 40
RNG = np.random.default_rng(20240611)
N = 150          # points per ordinary sample
NH = 80          # points per hard sub-sample

K = probe.load()
k_ibeta, k_ibeta_inv = K.k_incomplete_beta, K.k_incomplete_beta_inv


# ---- references (support/references.py; the roots started from scipy) ----

def ref_ibeta(a, b, z):
    return ref.beta_tails(a, b, z)[0]


def ref_ibeta_inv(a, b, p):
    z0 = float(sc.betaincinv(float(a), float(b), float(p)))
    return ref.quantile("beta", p, a, b, start=z0 if 0 < z0 < 1 else 0.5)


def ref_qt(p, n):
    return mp.mpf(0) if p == 0.5 else ref.quantile("t", p, n, start=float(sc.stdtrit(n, p)))


def ref_qf(p, d1, d2):
    return ref.quantile("f", p, d1, d2, start=distmill.qf(p, d1, d2))


# ---- measurement --------------------------------------------------------

def relerr(got, want):
    want = mp.mpf(want)
    if want == 0 or mp.isinf(want) or abs(want) < 2.0 ** -1022:
        return None
    if not math.isfinite(got):
        return math.inf
    return float(abs((mp.mpf(got) - want) / want))


def measure(fn, exact, points):
    errs = []
    worst = (0.0, None)
    for args in points:
        e = relerr(fn(*args), exact(*args))
        if e is None:
            continue
        errs.append(e)
        if e > worst[0] or worst[1] is None:
            worst = (e, args)
    return errs, worst


def fmt_args(args):
    return "(" + ", ".join(f"{v:.6g}" for v in args) + ")"


def row(name, sample, errs, worst):
    if not errs:
        return f"| {name} | {sample} | 0 | - | - | - |"
    return (f"| {name} | {sample} | {len(errs)} | {max(errs):.2e} | {statistics.median(errs):.2e} "
            f"| {fmt_args(worst[1])} |")


def logu(lo, hi, n):
    return np.exp(RNG.uniform(math.log(lo), math.log(hi), n))


def uni(lo, hi, n):
    return RNG.uniform(lo, hi, n)


# ---- samples ------------------------------------------------------------

def beta_ordinary(n=N):
    return list(zip(logu(0.5, 50, n), logu(0.5, 50, n), uni(0.01, 0.99, n)))


def large_shapes_near_mean(n=NH):
    pts = []
    for _ in range(n):
        a = float(logu(1e3, 1e7, 1)[0])
        b = float(a * logu(0.5, 2, 1)[0])
        sd = math.sqrt(a * b / ((a + b) ** 2 * (a + b + 1)))
        pts.append((a, b, a / (a + b) + sd * float(uni(-3, 3, 1)[0])))
    return pts


def ibeta_hard():
    at_switch = []
    for a, b in zip(logu(0.5, 200, NH), logu(0.5, 200, NH)):
        t = (a + 1) / ((a + b) + 2)
        at_switch.append((a, b, t * (1 + float(uni(-1e-9, 1e-9, 1)[0]))))
    lower = [(a, b, a / (a + b) * float(logu(1e-3, 0.2, 1)[0]))
             for a, b in zip(logu(1, 50, NH), logu(1, 50, NH))]
    return [
        ("shapes 1e3..1e7, z within 3 sd of the mean", large_shapes_near_mean()),
        ("shapes 1e3..1e5, z within 3 sd of the mean",
         [(a, b, z) for a, b, z in large_shapes_near_mean(3 * NH) if a < 1e5][:NH]),
        ("small shapes (a 1e-3..0.5)", list(zip(logu(1e-3, 0.5, NH), logu(1e-3, 5, NH),
                                                 logu(1e-12, 0.999, NH)))),
        ("z at the branch switch", at_switch),
        ("lower tail, results down to 1e-300", lower),
    ]


def ibeta_inv_ordinary(n=N):
    return list(zip(logu(0.5, 50, n), logu(0.5, 50, n), uni(0.01, 0.99, n)))


def ibeta_inv_hard():
    return [
        ("a 0.3..1, b 0.5..20", list(zip(logu(0.3, 1, NH), logu(0.5, 20, NH), uni(0.01, 0.99, NH)))),
        ("a 0.05..0.3, b 0.5..20, p 0.5..0.99",
         list(zip(logu(0.05, 0.3, NH), logu(0.5, 20, NH), uni(0.5, 0.99, NH)))),
        ("a, b 2..50, p 1e-6..1e-2", list(zip(logu(2, 50, NH), logu(2, 50, NH), logu(1e-6, 1e-2, NH)))),
        ("a, b 2..50, p 1e-12..1e-6", list(zip(logu(2, 50, NH), logu(2, 50, NH), logu(1e-12, 1e-6, NH)))),
        ("a, b 2..50, 1 - p 1e-12..1e-3",
         list(zip(logu(2, 50, NH), logu(2, 50, NH), 1 - logu(1e-12, 1e-3, NH)))),
        ("shapes 1e3..1e6", list(zip(logu(1e3, 1e6, NH), logu(1e3, 1e6, NH), uni(0.01, 0.99, NH)))),
    ]


def main():
    print("| function | sample | n | max rel. error | median rel. error | worst at |")
    print("|---|---|---|---|---|---|")

    def report(name, fn, exact, sets):
        for label, pts in sets:
            errs, worst = measure(fn, exact, pts)
            print(row(name, label, errs, worst))
            sys.stdout.flush()

    report("incomplete_beta(a, b, z)", k_ibeta, ref_ibeta,
           [("ordinary", beta_ordinary())] + ibeta_hard())
    report("incomplete_beta_inv(a, b, p)", k_ibeta_inv, ref_ibeta_inv,
           [("ordinary", ibeta_inv_ordinary())] + ibeta_inv_hard())

    # Beta family.
    big = [(a / (a + b) + (u - 0.5) * 6 * math.sqrt(a * b) / (a + b) ** 1.5, a, b)
           for a, b, u in zip(logu(1e3, 1e6, NH), logu(1e3, 1e6, NH), uni(0, 1, NH))]
    report("dbeta(x, a, b)", lambda x, a, b: distmill.dbeta(x, a, b),
           lambda x, a, b: ref.density("beta", x, a, b),
           [("ordinary", [(x, a, b) for a, b, x in beta_ordinary()]),
            ("shapes 1e3..1e6 near the mode", big),
            ("shapes 0.01..0.5, x 1e-10..1e-2",
             list(zip(logu(1e-10, 1e-2, NH), logu(0.01, 0.5, NH), logu(0.01, 0.5, NH))))])
    report("pbeta(x, a, b)", lambda x, a, b: distmill.pbeta(x, a, b),
           lambda x, a, b: ref_ibeta(a, b, x),
           [("ordinary", [(x, a, b) for a, b, x in beta_ordinary()]),
            ("x below 2^-52 (a 0.01..0.5)",
             list(zip(logu(1e-20, 2e-16, NH), logu(0.01, 0.5, NH), logu(1, 10, NH))))])
    report("qbeta(p, a, b)", lambda p, a, b: distmill.qbeta(p, a, b),
           lambda p, a, b: ref_ibeta_inv(a, b, p),
           [("ordinary", [(p, a, b) for a, b, p in ibeta_inv_ordinary()]),
            ("quantile below 2^-52 (a 0.05..0.3)",
             list(zip(logu(1e-6, 1e-2, NH), logu(0.05, 0.3, NH), logu(1, 10, NH))))])

    # F family.
    inf = math.inf
    f_ord = list(zip(logu(0.05, 20, N), logu(1, 100, N), logu(1, 100, N)))
    f_sets = [
        ("ordinary", f_ord),
        ("df2 = inf", [(x, d, inf) for x, d in zip(logu(0.05, 5, NH), logu(1, 100, NH))]),
        ("df1 = inf, x 0.5..5", [(x, inf, d) for x, d in zip(logu(0.5, 5, NH), logu(1, 100, NH))]),
        ("df1 = inf, x 0.05..0.5", [(x, inf, d) for x, d in zip(logu(0.05, 0.5, NH), logu(1, 100, NH))]),
        ("df1, df2 1e4..1e7, x near 1", list(zip(logu(0.95, 1.05, NH), logu(1e4, 1e7, NH), logu(1e4, 1e7, NH)))),
        ("x 1e-8..1e-2, df 0.2..3", list(zip(logu(1e-8, 1e-2, NH), logu(0.2, 3, NH), logu(0.2, 3, NH)))),
    ]

    report("df(x, df1, df2)", lambda *a: distmill.df(*a), lambda *a: ref.density("f", *a), f_sets)
    report("pf(x, df1, df2)", lambda *a: distmill.pf(*a), lambda *a: ref.cdf("f", *a), f_sets)
    report("qf(p, df1, df2)", lambda *a: distmill.qf(*a), ref_qf, [
        ("ordinary", list(zip(uni(0.01, 0.99, N), logu(1, 100, N), logu(1, 100, N)))),
        ("df2 = inf", [(p, d, inf) for p, d in zip(uni(0.01, 0.99, NH), logu(1, 100, NH))]),
        ("df1 = inf", [(p, inf, d) for p, d in zip(uni(0.01, 0.99, NH), logu(1, 100, NH))]),
        ("p 1e-10..1e-3, df1 0.2..3", list(zip(logu(1e-10, 1e-3, NH), logu(0.2, 3, NH), logu(1, 50, NH)))),
        ("1 - p 1e-10..1e-3", list(zip(1 - logu(1e-10, 1e-3, NH), logu(1, 50, NH), logu(1, 50, NH)))),
    ])

    # Student's t.
    t_sets = [
        ("ordinary", list(zip(uni(-10, 10, N), logu(0.5, 100, N)))),
        ("upper half x 0..10", list(zip(uni(0, 10, NH), logu(0.5, 100, NH)))),
        ("dof 1e5..1e12", list(zip(uni(-10, 10, NH), logu(1e5, 1e12, NH)))),
        ("x -1e12..-1e3, dof 0.3..5", list(zip(-logu(1e3, 1e12, NH), logu(0.3, 5, NH)))),
        ("dof 1, x -1e12..-1e2", [(-x, 1.0) for x in logu(1e2, 1e12, NH)]),
        ("dof 2, x -1e6..-1e2", [(-x, 2.0) for x in logu(1e2, 1e6, NH)]),
        ("x < 0, x^2 just below dof", [(-math.sqrt(n) * (1 - float(uni(1e-6, 1e-2, 1)[0])), n)
                                         for n in logu(3, 1e4, NH)]),
    ]
    report("dt(x, dof)", lambda x, n: distmill.dt(x, n), lambda x, n: ref.density("t", x, n), t_sets)
    report("pt(x, dof)", lambda x, n: distmill.pt(x, n), lambda x, n: ref.cdf("t", x, n), t_sets)
    report("qt(p, dof)", lambda p, n: distmill.qt(p, n), ref_qt, [
        ("ordinary", list(zip(uni(0.01, 0.99, N), logu(1, 100, N)))),
        ("dof 3..100, p 0.01..0.99", list(zip(uni(0.01, 0.99, NH), logu(3, 100, NH)))),
        ("dof 1..2 (not 1, 2), p 0.3..0.7", list(zip(uni(0.3, 0.7, NH), logu(1.01, 1.99, NH)))),
        ("dof 0.76..0.83, p 0.01..0.99", list(zip(uni(0.01, 0.99, NH), logu(0.76, 0.83, NH)))),
        ("dof 0.84..1, p 0.01..0.99", list(zip(uni(0.01, 0.99, NH), logu(0.84, 0.99, NH)))),
        ("p 1e-12..1e-3, dof 0.84..30", list(zip(logu(1e-12, 1e-3, NH), logu(0.84, 30, NH)))),
        ("p 1e-15..1e-12, dof 1..10", list(zip(logu(1e-15, 1e-12, NH), logu(1.01, 10, NH)))),
        ("p 1e-300..1e-17, dof 1..10", list(zip(logu(1e-300, 1e-17, NH), logu(1.01, 10, NH)))),
        ("dof 1e4..1e9", list(zip(uni(0.01, 0.99, NH), logu(1e4, 1e9, NH)))),
        ("dof 1 and 2", [(p, float(n)) for p, n in zip(uni(0.001, 0.999, NH), RNG.integers(1, 3, NH))]),
    ])


if __name__ == "__main__":
    main()
