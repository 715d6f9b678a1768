"""Accuracy of all 51 density, CDF and quantile functions against mpmath, at a
glance: one table and one plot.

    PYTHONPATH=build python3 tools/accuracy/summary.py [--plot docs/accuracy.png]

For every function two samples are measured:

- ordinary: parameters of moderate size and arguments in the central 98 % of
  the distribution (quantiles for p in [0.01, 0.99]);
- tails: the same parameters with arguments out to probabilities of 1e-12
  on either side (quantiles for p in [1e-12, 1e-2] and [0.99, 1 - 1e-12]).

Densities and CDFs are evaluated at the points of those probabilities
(scipy's quantiles, so that they do not depend on distmill's own). The
error of a density or CDF value is relative to the mpmath value; the
error of a quantile q is measured where it matters to a caller, as the
relative error of q itself against the mpmath root.  Discrete quantiles are
exact integers: their error is the fraction of mismatches.  NaN, an infinite
value or a CDF outside [0, 1] where the reference is finite counts as an
error of inf.  The per-family pages beside docs/accuracy.md explain the
large errors from the algorithms.
"""
import argparse
import math
import pathlib
import statistics
import sys

import mpmath as mp
import numpy as np
import scipy.stats as st

import distmill as dm

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import references as ref  # noqa: E402
from support.families import DISCRETE, ORDER  # noqa: E402

mp.mp.dps = 40
RNG = np.random.default_rng(7)
N = 60  # points per function and sample


def U(lo, hi, n=N):
    return RNG.uniform(lo, hi, n)


def LU(lo, hi, n=N):
    return np.exp(RNG.uniform(math.log(lo), math.log(hi), n))


# parameter samplers (ordinary sizes)
PARAMS = {
    "norm": lambda: (U(-5, 5), LU(0.1, 10)),
    "lnorm": lambda: (U(-2, 2), LU(0.2, 2)),
    "unif": lambda: (U(-5, 0), U(0.5, 5)),
    "exp": lambda: (LU(0.1, 10),),
    "cauchy": lambda: (U(-5, 5), LU(0.1, 10)),
    "laplace": lambda: (U(-5, 5), LU(0.1, 10)),
    "logis": lambda: (U(-5, 5), LU(0.1, 10)),
    "weibull": lambda: (LU(0.5, 5), LU(0.1, 10)),
    "gamma": lambda: (LU(0.5, 50), LU(0.1, 10)),
    "invgamma": lambda: (LU(0.5, 50), LU(0.1, 10)),
    "chisq": lambda: (LU(1, 100),),
    "beta": lambda: (LU(0.5, 20), LU(0.5, 20)),
    "f": lambda: (LU(1, 50), LU(1, 50)),
    "t": lambda: (LU(1, 50),),
}


def rel(v, exact):
    if not np.isfinite(v):
        return math.inf
    exact = mp.mpf(exact)
    if exact == 0:
        return 0.0 if v == 0 else math.inf
    return float(abs((mp.mpf(v) - exact) / exact))


SCIPY = {
    "norm": lambda m, s: st.norm(m, s), "lnorm": lambda m, s: st.lognorm(s, scale=math.exp(m)),
    "unif": lambda a, b: st.uniform(a, b - a), "exp": lambda r: st.expon(scale=1 / r),
    "cauchy": lambda m, s: st.cauchy(m, s), "laplace": lambda m, s: st.laplace(m, s),
    "logis": lambda m, s: st.logistic(m, s), "weibull": lambda k, l: st.weibull_min(k, scale=l),
    "gamma": lambda k, th: st.gamma(k, scale=th), "invgamma": lambda k, b: st.invgamma(k, scale=b),
    "chisq": lambda n: st.chi2(n), "beta": lambda a, b: st.beta(a, b), "f": lambda a, b: st.f(a, b),
    "t": lambda n: st.t(n),
}
SUPPORT_LO = {"lnorm", "exp", "weibull", "gamma", "invgamma", "chisq", "beta", "f"}


def measure_continuous(dist, ps):
    d, p, q = (getattr(dm, c + dist) for c in "dpq")
    ths = list(zip(*PARAMS[dist]()))
    errs = {"d": [], "p": [], "q": []}
    for th, pp in zip(ths, ps):
        th = tuple(float(t) for t in th)
        # d and p are measured at the scipy quantile (a point of the right
        # probability that does not depend on our own q being right)
        xs = float(SCIPY[dist](*th).ppf(pp))
        # a point that underflows to the end of the support measures nothing
        if np.isfinite(xs) and not ((dist in SUPPORT_LO and xs <= 0) or (dist == "beta" and xs >= 1)):
            errs["d"].append(rel(d(xs, *th), ref.density(dist, xs, *th)))
            errs["p"].append(rel(p(xs, *th), ref.cdf(dist, xs, *th)))
        x = q(pp, *th)
        if not np.isfinite(x) or (dist in SUPPORT_LO and x <= 0) or (dist == "beta" and x >= 1):
            errs["q"].append(math.inf)
            continue
        errs["q"].append(rel(x, ref.quantile(dist, pp, *th, start=x)))
    return errs


def measure_discrete(dist, ps):
    errs = {"d": [], "p": [], "q": []}
    for pp in ps:
        if dist == "bern":
            th = (float(RNG.uniform(0.05, 0.95)),)
        elif dist == "binom":
            n = int(RNG.integers(1, 200))
            th = (n, float(RNG.uniform(0.05, 0.95)))
        else:
            th = (float(LU(0.5, 60, 1)[0]),)
        d, p, q = (getattr(dm, c + dist) for c in "dpq")
        k = q(pp, *th)
        if not np.isfinite(k):
            errs["q"].append(math.inf)
            continue
        k = int(k)
        errs["q"].append(0.0 if ref.discrete_quantile(dist, pp, *th, start=max(k - 3, 0)) == k else math.inf)
        errs["d"].append(rel(d(k, *th), ref.density(dist, k, *th)))
        errs["p"].append(rel(p(k, *th), ref.cdf(dist, k, *th)))
    return errs


def summarise(v):
    v = [e for e in v]
    if not v:
        return math.nan, math.nan
    return max(v), statistics.median(v)


def fmt(e):
    if math.isnan(e):
        return "—"
    if math.isinf(e):
        return "**inf**"
    if e == 0:
        return "0"
    return f"{e:.1e}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--plot", default=None)
    args = ap.parse_args()
    ordinary = U(0.01, 0.99)
    tails = np.concatenate([LU(1e-12, 1e-2, N // 2), 1 - LU(1e-12, 1e-2, N - N // 2)])
    rows = []
    for dist in ORDER:
        res = {}
        for label, ps in (("ordinary", ordinary), ("tails", tails)):
            res[label] = (measure_discrete if dist in DISCRETE else measure_continuous)(dist, ps)
        for c in "dpq":
            o = summarise(res["ordinary"][c])
            t = summarise(res["tails"][c])
            rows.append((c + dist, o, t))
            print(f"{c + dist:10s} ordinary max {fmt(o[0]):>9s} median {fmt(o[1]):>9s}   "
                  f"tails max {fmt(t[0]):>9s} median {fmt(t[1]):>9s}", file=sys.stderr)
    print("| function | ordinary: max | ordinary: median | tails: max | tails: median |")
    print("|---|---|---|---|---|")
    for name, o, t in rows:
        print(f"| `{name}` | {fmt(o[0])} | {fmt(o[1])} | {fmt(t[0])} | {fmt(t[1])} |")
    if args.plot:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        names = [r[0] for r in rows]
        def lg(e):
            return 2.0 if math.isinf(e) else (-17.0 if (e == 0 or math.isnan(e)) else max(math.log10(e), -17))
        fig, ax = plt.subplots(figsize=(15, 5))
        xs = np.arange(len(rows))
        ax.bar(xs - 0.2, [lg(r[1][0]) + 17 for r in rows], 0.4, bottom=-17, label="ordinary, max")
        ax.bar(xs + 0.2, [lg(r[2][0]) + 17 for r in rows], 0.4, bottom=-17, label="tails (p to 1e-12), max")
        ax.scatter(xs - 0.2, [lg(r[1][1]) for r in rows], marker="_", color="k", zorder=3, label="median")
        ax.scatter(xs + 0.2, [lg(r[2][1]) for r in rows], marker="_", color="k", zorder=3)
        ax.axhline(math.log10(2.2e-16), color="grey", lw=0.8, ls="--")
        ax.set_xticks(xs, names, rotation=90, fontsize=8)
        ax.set_ylabel("log10 relative error (bar at +2: NaN/inf/wrong)")
        ax.set_ylim(-17, 2.5)
        ax.legend(loc="upper left", fontsize=8)
        ax.set_title("distmill against mpmath: relative error per function")
        fig.tight_layout()
        fig.savefig(args.plot, dpi=110)


if __name__ == "__main__":
    main()
