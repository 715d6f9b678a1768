"""Accuracy of the Bernoulli, binomial and Poisson functions against mpmath.

Run from the repository root with the built module on the path:

    PYTHONPATH=build python3 tools/accuracy/discrete.py

Prints a markdown table: for every function and argument set, the maximum
and median relative error |computed - exact| / |exact| and the maximum in
units of 2^-53.  For the quantiles the exact answer is the smallest count
whose exact CDF reaches p (>= p for the Bernoulli and binomial, > p for the
Poisson, as the functions define them); the table gives the relative error
of the returned count and the share of answers that differ at all.  Exact
values are taken at the double arguments actually passed.  Argument sets
come from fixed seeds, so the output is reproducible.
"""
import pathlib
import sys

import mpmath as mp
import numpy as np

import distmill as dm

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import references as ref  # noqa: E402
from support.metrics import rel_err  # noqa: E402

mp.mp.prec = 160
rows = []


def measure(name, argset, args, got, exact, quantile=False):
    """Errors of got(*a) against exact(*a) over the argument tuples `args`.
    Arguments whose exact value is below 1e-300 (outside the normal double
    range, so that relative error means nothing) are left out."""
    pairs = [(got(*a), exact(*a)) for a in args]
    keep = [i for i, (g, e) in enumerate(pairs) if quantile or not (0 < abs(e) < mp.mpf("1e-300"))]
    args = [args[i] for i in keep]
    pairs = [pairs[i] for i in keep]
    errs = np.array([rel_err(g, e) for g, e in pairs])
    share = f"{np.mean(errs > 0):.1%}" if quantile else ""
    i = int(np.argmax(errs))
    worst = ""
    if errs[i] > 0:
        shown = ", ".join(f"{a:.17g}" if isinstance(a, float) else str(a) for a in args[i])
        worst = f"({shown}): {float(pairs[i][0])!r} vs {mp.nstr(pairs[i][1], 8)}"
    with np.errstate(over="ignore"):
        rows.append((name, argset, len(errs), errs.max(), np.median(errs), errs.max() / 2.0**-53,
                     share, worst))


# Exact references (support/references.py) ----------------------------------

def binom_pmf(x, n, p):
    return ref.density("binom", x, n, p)


def binom_cdf(x, n, p):
    return ref.cdf("binom", x, n, p)


def pois_pmf(x, lam):
    return ref.density("pois", x, lam) if lam > 0 else mp.mpf(x == 0)


def pois_cdf(x, lam):
    return ref.cdf("pois", x, lam)


def qbinom_exact(p, n, q):
    return ref.discrete_quantile("binom", p, n, q, start=n * q)


# Argument sets ----------------------------------------------------------------

def main():
    rng = np.random.default_rng(20240611)
    U = rng.uniform

    # Bernoulli: exact by construction, listed for completeness.
    args = [(x, float(q)) for q in U(0, 1, 400) for x in (0, 1)]
    measure("dbern", "x in {0, 1}, prob in (0, 1)", args, dm.dbern,
            lambda x, q: mp.mpf(q) if x == 1 else 1 - mp.mpf(q))
    args = [(0, float(q)) for q in U(0, 1, 400)]
    measure("pbern", "x = 0, prob in (0, 1)", args, dm.pbern, lambda x, q: 1 - mp.mpf(q))
    args = [(float(p), float(q)) for p, q in zip(U(0, 1, 400), U(0, 1, 400))]
    measure("qbern", "p, prob in (0, 1)", args, dm.qbern,
            lambda p, q: mp.mpf(1 if 1 - mp.mpf(q) < p else 0), quantile=True)

    # Binomial mass.
    def near(mu, sd, k, lo, hi):
        return int(min(hi, max(lo, round(mu + U(-k, k) * sd))))

    args = [(int(rng.integers(0, n + 1)), int(n), float(U(0.05, 0.95)))
            for n in rng.integers(2, 200, 600)]
    measure("dbinom", "ordinary: n in [2, 200), prob in [0.05, 0.95]", args, dm.dbinom, binom_pmf)
    args = []
    for _ in range(300):
        n, q = int(10 ** U(3, 7)), float(10 ** U(-4, -0.3))
        args.append((near(n * q, (n * q * (1 - q)) ** 0.5, 8, 0, n), n, q))
    measure("dbinom", "hard: n in [1e3, 1e7), prob down to 1e-4, x within 8 sd", args,
            dm.dbinom, binom_pmf)

    # Binomial CDF.
    args = [(int(rng.integers(0, n)), int(n), float(U(0.05, 0.95)))
            for n in rng.integers(2, 200, 400)]
    measure("pbinom", "ordinary: n in [2, 200), prob in [0.05, 0.95]", args, dm.pbinom, binom_cdf)
    args = []
    for _ in range(150):
        n, q = int(10 ** U(3, 4)), float(U(0.05, 0.95))
        args.append((near(n * q, (n * q * (1 - q)) ** 0.5, 8, 0, n - 1), n, q))
    measure("pbinom", "hard: n in [1e3, 1e4), x within 8 sd", args, dm.pbinom, binom_cdf)

    # Binomial quantile.
    args = [(float(U(0, 1)), int(n), float(U(0.05, 0.95))) for n in rng.integers(1, 200, 300)]
    measure("qbinom", "ordinary: p in (0, 1), n in [1, 200)", args, dm.qbinom, qbinom_exact,
            quantile=True)
    args = [(float(1 - 10 ** U(-15, -6)), int(n), float(U(0.05, 0.95)))
            for n in rng.integers(1, 200, 200)]
    measure("qbinom", "hard: p within 1e-15..1e-6 of 1, n in [1, 200)", args, dm.qbinom,
            qbinom_exact, quantile=True)

    # Poisson mass.
    args = []
    for _ in range(600):
        lam = float(10 ** U(-1, 2))
        args.append((near(lam, lam**0.5, 4, 0, 10**18), lam))
    measure("dpois", "ordinary: rate in [0.1, 100), x within 4 sd", args, dm.dpois, pois_pmf)
    args = []
    for _ in range(300):
        lam = float(10 ** U(2, 8))
        args.append((near(lam, lam**0.5, 30, 0, 10**18), lam))
    measure("dpois", "hard: rate in [1e2, 1e8), x within 30 sd", args, dm.dpois, pois_pmf)
    args = [(int(rng.integers(0, 40)), float(10 ** U(-12, -1))) for _ in range(200)]
    measure("dpois", "hard: rate in [1e-12, 0.1), x < 40", args, dm.dpois, pois_pmf)

    # Poisson CDF, by method.
    args = []
    for _ in range(500):
        lam = float(U(0.01, 10))
        args.append((int(rng.integers(0, int(lam + 5 * lam**0.5) + 2)), lam))
    measure("ppois", "series (rate <= 10): x up to mean + 5 sd", args, dm.ppois, pois_cdf)
    args = []
    for _ in range(300):
        lam = float(U(0.01, 10))
        args.append((int(rng.integers(int(lam + 5 * lam**0.5) + 2, 60)), lam))
    measure("ppois", "series, upper tail (F close to 1)", args, dm.ppois, pois_cdf)
    args = []
    for _ in range(400):
        lam = float(10 ** U(1.0000001, 4))
        args.append((near(lam, lam**0.5, 3, 0, 10**18), lam))
    measure("ppois", "incomplete gamma (rate in (10, 1e4)): x within 3 sd", args, dm.ppois,
            pois_cdf)
    args = []
    for _ in range(300):
        lam = float(10 ** U(1.0000001, 4))
        args.append((int(max(0, round(lam - U(3, 8) * lam**0.5))), lam))
    measure("ppois", "incomplete gamma, lower tail: x 3..8 sd below the mean", args, dm.ppois,
            pois_cdf)
    args = [(int(rng.integers(0, 9)), float(10 ** U(1.3, 3))) for _ in range(150)]
    measure("ppois", "incomplete gamma, x < 9, rate in [20, 1e3)", args, dm.ppois, pois_cdf)

    # Poisson quantile.
    def qpois_exact(p, lam):
        return ref.discrete_quantile("pois", p, lam, start=lam)

    def qpois_set(label, args):
        measure("qpois", label, args, dm.qpois, qpois_exact, quantile=True)

    qpois_set("ordinary: rate in [0.01, 11), p in (0, 1)",
              [(float(U(0, 1)), float(U(0.01, 11))) for _ in range(300)])
    qpois_set("ordinary: rate in [11, 1e5), p in (0, 1)",
              [(float(U(0, 1)), float(10 ** U(1.05, 5))) for _ in range(300)])
    qpois_set("hard: p within 1e-15..1e-6 of 1, rate in [0.01, 1e3)",
              [(float(1 - 10 ** U(-15, -6)), float(10 ** U(-2, 3))) for _ in range(200)])
    qpois_set("hard: p in [1e-15, 1e-6], rate in [11, 1e3)",
              [(float(10 ** U(-15, -6)), float(10 ** U(1.05, 3))) for _ in range(150)])
    qpois_set("hard: p = 1 - 2^-53 (largest double below 1), rate in [0.01, 11)",
              [(1 - 2.0**-53, float(U(0.01, 11))) for _ in range(100)])
    qpois_set("hard: rate in [1e5, 1e9), p in (0, 1)",
              [(float(U(0, 1)), float(10 ** U(5, 9))) for _ in range(40)])

    out = sys.stdout
    out.write("| function | arguments | n | max rel. error | median rel. error | max / 2^-53 "
              "| answers off | worst case: arguments: computed vs exact |\n")
    out.write("|---|---|---|---|---|---|---|---|\n")
    for name, argset, n, mx, med, ulps, share, worst in rows:
        out.write(f"| {name} | {argset} | {n} | {mx:.3g} | {med:.3g} | {ulps:.3g} | {share} "
                  f"| {worst} |\n")


if __name__ == "__main__":
    main()
