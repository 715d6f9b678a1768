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
import ctypes
import math
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile

import mpmath as mp
import numpy as np
import scipy.special as sc

import distmill

mp.mp.dps = 40
ROOT = pathlib.Path(__file__).resolve().parents[2]
RNG = np.random.default_rng(20240611)
N = 150          # points per ordinary sample
NH = 80          # points per hard sub-sample


def load_kernels():
    cxx = shutil.which("g++") or shutil.which("c++")
    srcs = sorted((ROOT / "tests" / "cpp").glob("probe_*.cpp"))
    out = pathlib.Path(tempfile.mkdtemp()) / "libprobe.so"
    subprocess.run([cxx, "-std=c++20", "-O2", "-ffp-contract=off", "-fno-fast-math",
                    f"-I{ROOT / 'src'}", "-shared", "-fPIC", *map(str, srcs), "-o", str(out)],
                   check=True)
    lib = ctypes.CDLL(str(out))

    def fn(name):
        f = getattr(lib, name)
        f.restype = ctypes.c_double
        f.argtypes = [ctypes.c_double] * 3
        return f
    return fn("k_incomplete_beta"), fn("k_incomplete_beta_inv")


k_ibeta, k_ibeta_inv = load_kernels()


# ---- references ---------------------------------------------------------

def ref_ibeta(a, b, z):
    """I_z(a, b) by the hypergeometric series, on the side where it is small."""
    a, b, z = mp.mpf(a), mp.mpf(b), mp.mpf(z)
    if z <= 0:
        return mp.mpf(0)
    if z >= 1:
        return mp.mpf(1)
    if z > (a + 1) / (a + b + 2):
        return 1 - ref_ibeta(b, a, 1 - z)
    lead = mp.exp(a * mp.log(z) + b * mp.log1p(-z) - mp.log(mp.beta(a, b))) / a
    return lead * mp.hyp2f1(a + b, 1, a + 1, z, maxterms=10**7)


def ref_dbeta(x, a, b):
    a, b, x = mp.mpf(a), mp.mpf(b), mp.mpf(x)
    return mp.exp((a - 1) * mp.log(x) + (b - 1) * mp.log1p(-x) - mp.log(mp.beta(a, b)))


def _solve_increasing(g, dg, u0):
    """Root of an increasing function g by Newton's method safeguarded with
    bisection inside a bracket found by stepping out from u0."""
    step = mp.mpf(1e-9) * (1 + abs(u0))
    lo, hi = u0 - step, u0 + step
    while g(lo) > 0:
        lo -= 2 * (hi - lo)
    while g(hi) < 0:
        hi += 2 * (hi - lo)
    u = u0 if lo < u0 < hi else (lo + hi) / 2
    for _ in range(300):
        gu = g(u)
        if gu == 0:
            return u
        if gu < 0:
            lo = u
        else:
            hi = u
        d = dg(u)
        un = u - gu / d if d > 0 else (lo + hi) / 2
        if not lo < un < hi:
            un = (lo + hi) / 2
        if abs(un - u) < mp.mpf(10) ** -32 * max(1, abs(u)):
            return un
        u = un
    return u


def ref_ibeta_inv(a, b, p):
    """Root of I_z(a, b) = p, solved in log z, or in -log(1 - z) when the
    quantile lies above 1/2, for resolution near the ends."""
    a, b, p = mp.mpf(a), mp.mpf(b), mp.mpf(p)
    z0 = float(sc.betaincinv(float(a), float(b), float(p)))
    if not 0 < z0 < 1:
        z0 = 0.5
    if z0 <= 0.5:
        u = _solve_increasing(lambda u: ref_ibeta(a, b, mp.exp(u)) - p if u < 0 else 1 - p,
                              lambda u: ref_dbeta(mp.exp(u), a, b) * mp.exp(u) if u < 0 else 0,
                              mp.log(z0))
        return mp.exp(u)
    w = _solve_increasing(lambda w: ref_ibeta(a, b, -mp.expm1(-w)) - p if w > 0 else -p,
                          lambda w: ref_dbeta(-mp.expm1(-w), a, b) * mp.exp(-w) if w > 0 else 0,
                          -mp.log1p(-z0))
    return -mp.expm1(-w)


def ref_pt(x, n):
    x, n = mp.mpf(x), mp.mpf(n)
    if x == 0:
        return mp.mpf(0.5)
    tail = ref_ibeta(n / 2, mp.mpf(0.5), n / (n + x * x)) / 2
    return tail if x < 0 else 1 - tail


def ref_dt(x, n):
    x, n = mp.mpf(x), mp.mpf(n)
    return mp.exp(mp.loggamma((n + 1) / 2) - mp.loggamma(n / 2) - mp.log(n * mp.pi) / 2
                  - (n + 1) / 2 * mp.log1p(x * x / n))


def ref_qt(p, n):
    p, n = mp.mpf(p), mp.mpf(n)
    if p == 0.5:
        return mp.mpf(0)
    # t with upper tail P = min(p, 1 - p), then the sign.
    P = min(p, 1 - p)
    z = ref_ibeta_inv(n / 2, mp.mpf(0.5), 2 * P)      # z = n/(n + t^2)
    t = mp.sqrt(n * (1 - z) / z)
    return -t if p < 0.5 else t


def ref_df(x, d1, d2):
    x, d1, d2 = mp.mpf(x), mp.mpf(d1), mp.mpf(d2)
    r = x * d1 / d2
    return ref_dbeta(r / (1 + r), d1 / 2, d2 / 2) * (d1 / d2) / (1 + r) ** 2


def ref_pf(x, d1, d2):
    x, d1, d2 = mp.mpf(x), mp.mpf(d1), mp.mpf(d2)
    if mp.isinf(d2):
        return mp.gammainc(d1 / 2, 0, x * d1 / 2, regularized=True)
    if mp.isinf(d1):
        return mp.gammainc(d2 / 2, d2 / (2 * x), mp.inf, regularized=True)
    return ref_ibeta(d1 / 2, d2 / 2, d1 * x / (d1 * x + d2))


def ref_df_inf(x, d1, d2):
    x = mp.mpf(x)
    if math.isinf(d2):
        h = mp.mpf(d1) / 2
        return mp.exp((h - 1) * mp.log(x) - mp.loggamma(h) - h * mp.log(1 / h) - x * h)
    e = mp.mpf(d2) / 2
    return mp.exp((-e - 1) * mp.log(x) + e * mp.log(e) - mp.loggamma(e) - e / x)


def ref_qf(p, d1, d2):
    p = mp.mpf(p)
    if math.isinf(d2):
        h = mp.mpf(d1) / 2
        x0 = sc.gammaincinv(float(h), float(p)) / float(h)
        return mp.findroot(lambda x: mp.gammainc(h, 0, x * h, regularized=True) - p, x0)
    if math.isinf(d1):
        e = mp.mpf(d2) / 2
        x0 = float(e) / sc.gammainccinv(float(e), float(p))
        return mp.findroot(lambda x: mp.gammainc(e, e / x, mp.inf, regularized=True) - p, x0)
    d1, d2 = mp.mpf(d1), mp.mpf(d2)
    z = ref_ibeta_inv(d1 / 2, d2 / 2, p)
    return d2 * z / (d1 * (1 - z))


# ---- measurement --------------------------------------------------------

def relerr(got, want):
    want = mp.mpf(want)
    if want == 0 or mp.isinf(want) or abs(want) < 2.0 ** -1022:
        return None
    if not math.isfinite(got):
        return math.inf
    return float(abs((mp.mpf(got) - want) / want))


def measure(fn, ref, points):
    errs = []
    worst = (0.0, None)
    for args in points:
        e = relerr(fn(*args), ref(*args))
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


def swap_first(sets):
    """(a, b, v) samples as (v, a, b) argument tuples."""
    return [(label, [(v, a, b) for a, b, v in pts]) for label, pts in sets]


def main():
    print("| function | sample | n | max rel. error | median rel. error | worst at |")
    print("|---|---|---|---|---|---|")

    def report(name, fn, ref, sets):
        for label, pts in sets:
            errs, worst = measure(fn, ref, pts)
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
           lambda x, a, b: ref_dbeta(x, a, b),
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

    def ref_df_any(x, d1, d2):
        return ref_df_inf(x, d1, d2) if math.isinf(d1) or math.isinf(d2) else ref_df(x, d1, d2)
    report("df(x, df1, df2)", lambda *a: distmill.df(*a), ref_df_any, f_sets)
    report("pf(x, df1, df2)", lambda *a: distmill.pf(*a), ref_pf, f_sets)
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
    report("dt(x, dof)", lambda x, n: distmill.dt(x, n), ref_dt, t_sets)
    report("pt(x, dof)", lambda x, n: distmill.pt(x, n), ref_pt, t_sets)
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
