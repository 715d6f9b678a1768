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
import statistics
import sys

import mpmath as mp
import numpy as np
import scipy.stats as st

import distmill as dm

mp.mp.dps = 40
RNG = np.random.default_rng(7)
N = 60  # points per function and sample


def U(lo, hi, n=N):
    return RNG.uniform(lo, hi, n)


def LU(lo, hi, n=N):
    return np.exp(RNG.uniform(math.log(lo), math.log(hi), n))


# -- references: (density, cdf) in mpmath for parameters th ----------------
def ncdf(z):
    return mp.ncdf(z)


def gamma_cdf(x, k):
    return mp.gammainc(k, 0, x, regularized=True) if x > 0 else mp.mpf(0)


REF = {
    "norm": (lambda x, m, s: mp.npdf(x, m, s), lambda x, m, s: mp.ncdf(x, m, s)),
    "lnorm": (lambda x, m, s: mp.npdf(mp.log(x), m, s) / x, lambda x, m, s: mp.ncdf(mp.log(x), m, s)),
    "unif": (lambda x, a, b: 1 / (mp.mpf(b) - a), lambda x, a, b: (x - mp.mpf(a)) / (mp.mpf(b) - a)),
    "exp": (lambda x, r: r * mp.exp(-r * x), lambda x, r: -mp.expm1(-r * x)),
    "cauchy": (lambda x, m, s: 1 / (mp.pi * s * (1 + ((x - m) / mp.mpf(s)) ** 2)),
               lambda x, m, s: mp.atan((x - m) / mp.mpf(s)) / mp.pi + mp.mpf(1) / 2),
    "laplace": (lambda x, m, s: mp.exp(-abs(x - m) / mp.mpf(s)) / (2 * s),
                lambda x, m, s: mp.exp((x - m) / mp.mpf(s)) / 2 if x < m else 1 - mp.exp(-(x - m) / mp.mpf(s)) / 2),
    "logis": (lambda x, m, s: mp.exp(-(x - m) / mp.mpf(s)) / (s * (1 + mp.exp(-(x - m) / mp.mpf(s))) ** 2),
              lambda x, m, s: 1 / (1 + mp.exp(-(x - m) / mp.mpf(s)))),
    "weibull": (lambda x, k, l: (k / mp.mpf(l)) * (x / mp.mpf(l)) ** (k - 1) * mp.exp(-(x / mp.mpf(l)) ** k),
                lambda x, k, l: -mp.expm1(-(x / mp.mpf(l)) ** k)),
    "gamma": (lambda x, k, th: mp.exp((k - 1) * mp.log(x) - x / th - mp.loggamma(k) - k * mp.log(th)),
              lambda x, k, th: gamma_cdf(x / mp.mpf(th), k)),
    "invgamma": (lambda x, k, b: mp.exp(k * mp.log(b) - (k + 1) * mp.log(x) - b / mp.mpf(x) - mp.loggamma(k)),
                 lambda x, k, b: mp.gammainc(k, b / mp.mpf(x), mp.inf, regularized=True)),
    "chisq": (lambda x, n: mp.exp((n / 2 - 1) * mp.log(x) - x / 2 - mp.loggamma(mp.mpf(n) / 2) - (mp.mpf(n) / 2) * mp.log(2)),
              lambda x, n: gamma_cdf(mp.mpf(x) / 2, mp.mpf(n) / 2)),
    "beta": (lambda x, a, b: mp.exp((a - 1) * mp.log(x) + (b - 1) * mp.log1p(-x) - mp.log(mp.beta(a, b))),
             lambda x, a, b: mp.betainc(a, b, 0, x, regularized=True)),
    "f": (lambda x, d1, d2: mp.exp((mp.mpf(d1) / 2) * mp.log(mp.mpf(d1) * x / (d1 * x + mp.mpf(d2)))
                                   + (mp.mpf(d2) / 2) * mp.log(mp.mpf(d2) / (d1 * x + mp.mpf(d2))) - mp.log(x)
                                   - mp.log(mp.beta(mp.mpf(d1) / 2, mp.mpf(d2) / 2))),
          lambda x, d1, d2: mp.betainc(mp.mpf(d1) / 2, mp.mpf(d2) / 2, 0, d1 * x / (d1 * x + mp.mpf(d2)), regularized=True)),
    "t": (lambda x, n: mp.exp(mp.loggamma((n + 1) / mp.mpf(2)) - mp.loggamma(mp.mpf(n) / 2)
                              - mp.log(mp.sqrt(n * mp.pi)) - ((n + 1) / mp.mpf(2)) * mp.log1p(mp.mpf(x) ** 2 / n)),
          lambda x, n: (1 - mp.betainc(mp.mpf(n) / 2, mp.mpf(1) / 2, 0, n / (n + mp.mpf(x) ** 2), regularized=True) / 2)
          if x > 0 else mp.betainc(mp.mpf(n) / 2, mp.mpf(1) / 2, 0, n / (n + mp.mpf(x) ** 2), regularized=True) / 2),
}

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
ORDER = "norm bern beta binom cauchy chisq exp f gamma invgamma laplace lnorm logis pois t unif weibull".split()


def rel(v, ref):
    if not np.isfinite(v):
        return math.inf
    ref = mp.mpf(ref)
    if ref == 0:
        return 0.0 if v == 0 else math.inf
    return float(abs((mp.mpf(v) - ref) / ref))


def true_quantile(cdf, p, guess, th, lo=None, hi=None):
    """Root of cdf(x) = p by bisection in mpmath, bracketed around the guess."""
    f = lambda x: cdf(x, *th) - p
    g = mp.mpf(guess) if np.isfinite(guess) and guess != 0 else mp.mpf(1)
    a, b = (g - abs(g) * 0.5 - 1, g + abs(g) * 0.5 + 1) if lo is None else (mp.mpf(lo), mp.mpf(hi))
    if lo is None:
        while f(a) > 0:
            a = a - 2 * (b - a)
        while f(b) < 0:
            b = b + 2 * (b - a)
    else:
        a, b = max(a, g / 2 if g > 0 else a), b
        if f(a) > 0:
            a = mp.mpf(lo)
        while f(b) < 0:
            b = b * 2
    for _ in range(200):
        m = (a + b) / 2
        if f(m) < 0:
            a = m
        else:
            b = m
        if b - a <= abs(m) * mp.mpf(2) ** -70:
            break
    return (a + b) / 2


SCIPY = {
    "norm": lambda m, s: st.norm(m, s), "lnorm": lambda m, s: st.lognorm(s, scale=math.exp(m)),
    "unif": lambda a, b: st.uniform(a, b - a), "exp": lambda r: st.expon(scale=1 / r),
    "cauchy": lambda m, s: st.cauchy(m, s), "laplace": lambda m, s: st.laplace(m, s),
    "logis": lambda m, s: st.logistic(m, s), "weibull": lambda k, l: st.weibull_min(k, scale=l),
    "gamma": lambda k, th: st.gamma(k, scale=th), "invgamma": lambda k, b: st.invgamma(k, scale=b),
    "chisq": lambda n: st.chi2(n), "beta": lambda a, b: st.beta(a, b), "f": lambda a, b: st.f(a, b),
    "t": lambda n: st.t(n),
}
SUPPORT_LO = {"lnorm": 0, "exp": 0, "weibull": 0, "gamma": 0, "invgamma": 0, "chisq": 0, "beta": 0, "f": 0}
SUPPORT_HI = {"beta": 1}


def measure_continuous(dist, ps):
    d, p, q = (getattr(dm, c + dist) for c in "dpq")
    dref, pref = REF[dist]
    ths = list(zip(*PARAMS[dist]()))
    errs = {"d": [], "p": [], "q": []}
    for th, pp in zip(ths, ps):
        th = tuple(float(t) for t in th)
        # d and p are measured at the scipy quantile (a point of the right
        # probability that does not depend on our own q being right)
        xs = float(SCIPY[dist](*th).ppf(pp))
        # a point that underflows to the end of the support measures nothing
        if np.isfinite(xs) and not ((dist in SUPPORT_LO and xs <= 0) or (dist == "beta" and xs >= 1)):
            errs["d"].append(rel(d(xs, *th), dref(mp.mpf(xs), *th)))
            errs["p"].append(rel(p(xs, *th), pref(mp.mpf(xs), *th)))
        x = q(pp, *th)
        if not np.isfinite(x) or (dist in SUPPORT_LO and x <= 0) or (dist == "beta" and x >= 1):
            errs["q"].append(math.inf)
            continue
        lo = SUPPORT_LO.get(dist)
        hi = SUPPORT_HI.get(dist, None)
        tq = true_quantile(pref, mp.mpf(pp), x, th, lo, hi if hi is not None else (None if lo is None else x * 2 + 1))
        errs["q"].append(rel(x, tq))
    return errs


def binom_cdf(k, n, pr):
    pr = mp.mpf(pr)
    return mp.fsum(mp.binomial(n, j) * pr ** j * (1 - pr) ** (n - j) for j in range(0, k + 1))


def pois_cdf(k, lam):
    lam = mp.mpf(lam)
    return mp.gammainc(k + 1, lam, mp.inf, regularized=True)


def measure_discrete(dist, ps):
    errs = {"d": [], "p": [], "q": []}
    for pp in ps:
        if dist == "bern":
            pr = float(RNG.uniform(0.05, 0.95))
            th, mass, cdf = (pr,), (lambda k: 1 - mp.mpf(pr) if k == 0 else mp.mpf(pr)), (lambda k: 1 - mp.mpf(pr) if k == 0 else mp.mpf(1))
            top = 1
        elif dist == "binom":
            n = int(RNG.integers(1, 200)); pr = float(RNG.uniform(0.05, 0.95))
            th = (n, pr)
            mass = lambda k, n=n, pr=pr: mp.binomial(n, k) * mp.mpf(pr) ** k * (1 - mp.mpf(pr)) ** (n - k)
            cdf = lambda k, n=n, pr=pr: binom_cdf(k, n, pr)
            top = n
        else:
            lam = float(LU(0.5, 60, 1)[0])
            th = (lam,)
            mass = lambda k, lam=lam: mp.exp(k * mp.log(lam) - lam - mp.loggamma(k + 1))
            cdf = lambda k, lam=lam: pois_cdf(k, lam)
            top = None
        d, p, q = (getattr(dm, c + dist) for c in "dpq")
        k = q(pp, *th)
        if not np.isfinite(k):
            errs["q"].append(math.inf)
            continue
        k = int(k)
        # the true quantile: least k with F(k) >= p (Poisson: F(k) > p)
        j = max(k - 3, 0)
        strict = dist == "pois"
        while not ((cdf(j) > pp) if strict else (cdf(j) >= pp)):
            j += 1
        while j > 0 and ((cdf(j - 1) > pp) if strict else (cdf(j - 1) >= pp)):
            j -= 1
        errs["q"].append(0.0 if j == k else math.inf)
        errs["d"].append(rel(d(k, *th), mass(k)))
        errs["p"].append(rel(p(k, *th), cdf(k)))
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
            res[label] = (measure_discrete if dist in ("bern", "binom", "pois") else measure_continuous)(dist, ps)
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
