"""Accuracy of the error-function kernels and the normal and log-normal
functions against mpmath.

Run from the repository root with the built module on the path:

    PYTHONPATH=build python3 tools/accuracy/normal.py

Prints a markdown table: for every function and argument set, the maximum
and median relative error |computed - exact| / |exact|, and the maximum in
units of 2^-53 (2^-64 for the extended kernel).  The exact value is taken at
the double (or extended) arguments actually passed, so the table shows the
error of the computation, not of rounding the inputs.  Argument sets are
drawn from fixed seeds; the output is reproducible.
"""
import pathlib
import sys

import mpmath as mp
import numpy as np

import distmill

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import probe  # noqa: E402
from support.metrics import rel_err  # noqa: E402

mp.mp.prec = 160
N = 1500  # arguments per set
rows = []


def measure(name, argset, pairs, unit=2.0 ** -53):
    errs = np.array([rel_err(g, e) for g, e in pairs])
    rows.append((name, argset, len(errs), errs.max(), np.median(errs), errs.max() / unit))


def logspace(rng, lo, hi, n):
    return 10.0 ** rng.uniform(lo, hi, n)


def main():
    k = probe.load([probe.CPP / "probe_erf.cpp"])
    rng = np.random.default_rng(20240601)
    sqrt2 = mp.sqrt(2)

    # erf (double)
    def erf_set(label, xs):
        measure("erf", label, [(k.k_erf(float(x)), mp.erf(mp.mpf(float(x)))) for x in xs])

    erf_set("ordinary: |x| in [0.01, 1.5] and [2.2, 6]",
            np.concatenate([rng.uniform(0.01, 1.5, N // 2), rng.uniform(2.2, 6, N // 2)])
            * rng.choice([-1, 1], N))
    erf_set("hard: x in [1.5, 2.1], below the branch switch", rng.uniform(1.5, 2.1, N))
    erf_set("hard: |x| in [2^-52, 1e-3]", logspace(rng, -15.6, -3, N))

    # erf_ext (extended): exact value of hi + lo against mpmath, unit 2^-64
    def erf_ext_set(label, zs):
        pairs = []
        for z in zs:
            z = float(z)
            pairs.append((mp.mpf(k.k_erf_ext_hi(z)) + mp.mpf(k.k_erf_ext_lo(z)), mp.erf(mp.mpf(z))))
        measure("erf_ext", label, pairs, unit=2.0 ** -64)

    erf_ext_set("ordinary: z in [0.01, 1.5] and [2.2, 6]",
                np.concatenate([rng.uniform(0.01, 1.5, N // 2), rng.uniform(2.2, 6, N // 2)]))
    erf_ext_set("hard: z in [1.5, 2.1], below the branch switch", rng.uniform(1.5, 2.1, N))

    # erf_inv
    def erf_inv_set(label, ys):
        measure("erf_inv", label, [(k.k_erf_inv(float(y)), mp.erfinv(mp.mpf(float(y)))) for y in ys])

    erf_inv_set("ordinary: |y| <= 0.95", rng.uniform(-0.95, 0.95, N))
    erf_inv_set("hard: 1 - |y| in [1e-6, 0.05]", (1 - logspace(rng, -6, np.log10(0.05), N)) * rng.choice([-1, 1], N))
    erf_inv_set("hard: 1 - |y| in [1e-15, 1e-6]", (1 - logspace(rng, -15, -6, N)) * rng.choice([-1, 1], N))
    erf_inv_set("hard: |y| in [1e-15, 1e-5]", logspace(rng, -15, -5, N) * rng.choice([-1, 1], N))
    erf_inv_set("breakdown: |y| in [1e-300, 2.5e-16]", logspace(rng, -300, np.log10(2.5e-16), N) * rng.choice([-1, 1], N))

    # dnorm
    def dnorm_set(label, zs, log):
        mu = rng.uniform(-10, 10, len(zs))
        sigma = logspace(rng, -1, 1, len(zs))
        x = mu + zs * sigma
        got = distmill.dnorm(x, mu, sigma, log)
        pairs = []
        for g, xi, m, s in zip(got, x, mu, sigma):
            d = mp.npdf(mp.mpf(float(xi)), mp.mpf(float(m)), mp.mpf(float(s)))
            pairs.append((g, mp.log(d) if log else d))
        measure("dnorm" + (" log" if log else ""), label, pairs)

    dnorm_set("ordinary: |z| <= 5", rng.uniform(-5, 5, N), False)
    dnorm_set("hard: |z| in [5, 37]", rng.uniform(5, 37, N) * rng.choice([-1, 1], N), False)
    dnorm_set("ordinary: |z| <= 5", rng.uniform(-5, 5, N), True)

    # pnorm
    def pnorm_set(label, zs, log_p):
        mu = rng.uniform(-10, 10, len(zs))
        sigma = logspace(rng, -1, 1, len(zs))
        x = mu + zs * sigma
        got = distmill.pnorm(x, mu, sigma, log_p)
        pairs = []
        for g, xi, m, s in zip(got, x, mu, sigma):
            p = mp.ncdf(mp.mpf(float(xi)), mp.mpf(float(m)), mp.mpf(float(s)))
            pairs.append((g, mp.log(p) if log_p else p))
        measure("pnorm" + (" log_p" if log_p else ""), label, pairs)

    pnorm_set("ordinary: z in [-1, 8]", rng.uniform(-1, 8, N), False)
    pnorm_set("hard: z in [-3, -1]", rng.uniform(-3, -1, N), False)
    pnorm_set("hard: z in [-6, -3]", rng.uniform(-6, -3, N), False)
    pnorm_set("hard: z in [-9, -6]", rng.uniform(-9, -6, N), False)
    pnorm_set("ordinary: z in [-3, 3]", rng.uniform(-3, 3, N), True)
    pnorm_set("hard: z in [3, 8]", rng.uniform(3, 8, N), True)

    # qnorm
    def qnorm_exact(p, mu, sigma):
        p = mp.mpf(float(p))
        return mp.mpf(float(mu)) + mp.mpf(float(sigma)) * sqrt2 * mp.erfinv(2 * p - 1)

    def qnorm_set(label, ps):
        mu = rng.uniform(-10, 10, len(ps))
        sigma = logspace(rng, -1, 1, len(ps))
        got = distmill.qnorm(ps, mu, sigma)
        measure("qnorm", label, [(g, qnorm_exact(p, m, s)) for g, p, m, s in zip(got, ps, mu, sigma)])
        got = distmill.qnorm(ps)
        measure("qnorm (mu = 0, sigma = 1)", label, [(g, qnorm_exact(p, 0, 1)) for g, p in zip(got, ps)])

    qnorm_set("ordinary: p in [0.025, 0.975]", rng.uniform(0.025, 0.975, N))
    qnorm_set("hard: p in [1e-6, 0.025]", logspace(rng, -6, np.log10(0.025), N))
    qnorm_set("hard: p in [1e-15, 1e-6]", logspace(rng, -15, -6, N))
    qnorm_set("hard: 1 - p in [1e-15, 1e-6]", 1 - logspace(rng, -15, -6, N))
    near_half = np.array([0.5 + j * 2.0 ** -54 for j in range(-16, 17) if j != 0])
    got = distmill.qnorm(near_half)
    measure("qnorm (mu = 0, sigma = 1)", "breakdown: 0 < |p - 0.5| <= 2^-50", [(g, qnorm_exact(p, 0, 1)) for g, p in zip(got, near_half)])

    # log-normal
    def lnorm_args(zs):
        mu = rng.uniform(-3, 3, len(zs))
        sigma = logspace(rng, -1, 0.5, len(zs))
        x = np.exp(mu + zs * sigma)
        return x, mu, sigma

    for label, zs in [("ordinary: |z| <= 5", rng.uniform(-5, 5, N)),
                      ("hard: |z| in [5, 30], x >= 2^-52", rng.uniform(5, 30, N) * rng.choice([-1, 1], N))]:
        x, mu, sigma = lnorm_args(zs)
        keep = x >= 2.0 ** -52  # below EPS the density is defined as 0
        x, mu, sigma = x[keep], mu[keep], sigma[keep]
        got = distmill.dlnorm(x, mu, sigma)
        measure("dlnorm", label, [(g, mp.npdf(mp.log(mp.mpf(float(xi))), mp.mpf(float(m)), mp.mpf(float(s))) / mp.mpf(float(xi)))
                                  for g, xi, m, s in zip(got, x, mu, sigma)])
    for label, zs in [("ordinary: z in [-1, 8]", rng.uniform(-1, 8, N)),
                      ("hard: z in [-6, -1]", rng.uniform(-6, -1, N))]:
        x, mu, sigma = lnorm_args(zs)
        got = distmill.plnorm(x, mu, sigma)
        measure("plnorm", label, [(g, mp.ncdf(mp.log(mp.mpf(float(xi))), mp.mpf(float(m)), mp.mpf(float(s))))
                                  for g, xi, m, s in zip(got, x, mu, sigma)])
    for label, ps in [("ordinary: p in [0.025, 0.975]", rng.uniform(0.025, 0.975, N)),
                      ("hard: p in [1e-15, 0.025]", logspace(rng, -15, np.log10(0.025), N))]:
        mu = rng.uniform(-3, 3, N)
        sigma = logspace(rng, -1, 0.5, N)
        got = distmill.qlnorm(ps, mu, sigma)
        measure("qlnorm", label, [(g, mp.exp(qnorm_exact(p, m, s))) for g, p, m, s in zip(got, ps, mu, sigma)])

    print("| function | arguments | n | max rel. error | median rel. error | max (ulps) |")
    print("|---|---|---|---|---|---|")
    for name, argset, n, mx, med, ulps in rows:
        argset = argset.replace("|", "\\|")  # absolute-value bars inside a table cell
        print(f"| {name} | {argset} | {n} | {mx:.3g} | {med:.3g} | {ulps:.3g} |")
    print()
    print("ulps: units of 2^-53 relative (2^-64 for erf_ext); inf = exact value nonzero, computed 0 or -inf.")


if __name__ == "__main__":
    sys.exit(main())
