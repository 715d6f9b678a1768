"""Sweep of the beta-side functions: fixed-depth values against converged
ones, judged by scipy and spot-checked with mpmath.

Run from the repository root with the module built in ./build:

    PYTHONPATH=build python3 tools/accuracy/sound_beta.py [--quick]

For every function the script draws random points (fixed seed): shapes and
degrees of freedom log-uniform over 1e-3..1e4 (F: 2e-3..2e4), arguments
across the whole range including both tails (placed through the reference
quantile at probabilities down to 1e-300, and log-uniform), probabilities
log-uniform down to 1e-300 on both sides.  For each point it takes

  fixed   the fixed-depth value (probe of the literal method),
  module  the value the module returns,
  region  whether the point lies in the region where the fixed-depth value
          is checked against a converged one,

and judges both values against a reference: scipy where it is reliable,
and mpmath (40 digits) for every point where the module and the fixed-depth
value differ and wherever scipy and the module disagree by more than 1e-12.

Errors use the measure of the agreement rule: for a probability
|v - P|/min(P, 1 - P) with a floor of 4 ulp(P); for a quantile the same
measure of the reference CDF at the quantile against p on the side of the
smaller probability (a quantile is also accepted when the root lies between
it and a neighbouring double: the grid there is coarser than the rule); for a log-density the absolute error of the
logarithm (relative beyond magnitude 1).

The report, per function: points, points in the region, points whose value
was replaced, whether every point outside the region is bit-identical to
the fixed-depth value, the points where the fixed-depth value is gross
(error > 1e-9, NaN or out of range) with the largest module error there,
and the largest module error overall.  benchmarks/checks.py times ordinary
calls of the fixed-depth and the checked functions.
"""
import argparse
import math
import pathlib
import sys

import mpmath as mp
import numpy as np
import scipy.special as sc
import scipy.stats as st

import distmill as dm

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import probe  # noqa: E402
from support import references as ref  # noqa: E402
from support.metrics import log_density_error, quantile_tail_error, tail_error  # noqa: E402

K = probe.load()
mp.mp.dps = 40
RNG = np.random.default_rng(20240917)
EPS = 2.0 ** -52


# ---- references: mpmath (support/references.py) and scipy ------------------

def scipy_tails(fam, x, *par):
    if fam == "beta":
        a, b = par
        return sc.betainc(a, b, x), sc.betaincc(a, b, x)
    if fam == "f":
        return st.f.cdf(x, *par), st.f.sf(x, *par)
    if fam == "t":
        return st.t.cdf(x, *par), st.t.sf(x, *par)
    if fam == "logis":
        mu, s = par
        return st.logistic.cdf(x, mu, s), st.logistic.sf(x, mu, s)
    raise ValueError(fam)


def scipy_logdens(fam, x, *par):
    if fam == "beta":
        return st.beta.logpdf(x, *par)
    if fam == "f":
        return st.f.logpdf(x, *par)
    if fam == "t":
        return st.t.logpdf(x, *par)
    if fam == "logis":
        return st.logistic.logpdf(x, par[0], par[1])
    raise ValueError(fam)


# ---- samples --------------------------------------------------------------

def shapes(n, lo=-3, hi=4):
    return 10.0 ** RNG.uniform(lo, hi, n)


def probs(n):
    lp = np.where(RNG.random(n) < 0.5, RNG.uniform(-300, -0.302, n), RNG.uniform(-12, -0.302, n))
    p = 10.0 ** lp
    p = np.where(RNG.random(n) < 0.5, p, 1 - p)
    # p that rounds to 1 has no upper tail left: take the largest double below 1
    return np.where(p < 1, p, 1 - 2.0 ** -53)


def sample(fam, n):
    """Parameters and arguments for family `fam`."""
    if fam == "beta":
        par = [shapes(n), shapes(n)]
        dist = lambda i, u: st.beta.ppf(u, par[0][i], par[1][i])  # noqa: E731
    elif fam == "f":
        par = [2 * shapes(n), 2 * shapes(n)]
        dist = lambda i, u: st.f.ppf(u, par[0][i], par[1][i])  # noqa: E731
    elif fam == "t":
        par = [shapes(n)]
        dist = lambda i, u: st.t.ppf(u, par[0][i])  # noqa: E731
    else:
        par = [RNG.uniform(-100, 100, n), 10.0 ** RNG.uniform(-3, 3, n)]
        dist = lambda i, u: st.logistic.ppf(u, par[0][i], par[1][i])  # noqa: E731
    u = probs(n)
    x = np.array([dist(i, ui) for i, ui in enumerate(u)])
    # also arguments log-uniform over the support
    k = RNG.random(n) < 0.3
    if fam == "beta":
        alt = np.where(RNG.random(n) < 0.5, 10.0 ** RNG.uniform(-320, 0, n), 1 - 10.0 ** RNG.uniform(-16.5, 0, n))
    elif fam == "f":
        alt = 10.0 ** RNG.uniform(-300, 300, n)
    elif fam == "t":
        alt = np.sign(RNG.random(n) - 0.5) * 10.0 ** RNG.uniform(-5, 300, n)
    else:
        alt = par[0] + par[1] * RNG.uniform(-800, 800, n)
    x = np.where(k, alt, x)
    ok = np.isfinite(x) & ((x > 0) & (x < 1) if fam == "beta" else (x > 0 if fam == "f" else True))
    return [a[ok] for a in par], x[ok], probs(int(ok.sum()))


# ---- the sweep ------------------------------------------------------------

FAMILIES = ["beta", "f", "t", "logis"]


def judge_cdf(fam, x, par):
    Ps, Qs = scipy_tails(fam, x, *par)
    return Ps, Qs


def run_family(fam, n, rows, examples):
    par, xs, ps = sample(fam, n)
    P = getattr(dm, "p" + fam)
    Qf = getattr(dm, "q" + fam)
    D = getattr(dm, "d" + fam)
    fixed_p = getattr(K, f"k_p{fam}_fixed")
    fixed_q = getattr(K, f"k_q{fam}_fixed")
    region_p = getattr(K, f"k_p{fam}_region")
    region_q = getattr(K, f"k_q{fam}_region")
    mpcap = 300 if n < 1000 else n  # the full run judges every replaced value

    def tails_mp(args):
        return lambda v: ref.tails(fam, v, *args)

    # -- CDF
    st_ = dict(n=0, region=0, replaced=0, outside_identical=True, gross=0, gross_max=0.0, max=0.0, mp=0)
    for i, x in enumerate(xs):
        args = tuple(float(a[i]) for a in par)
        f = fixed_p(float(x), *args) if fam != "t" else fixed_p(float(x), *args)
        m = P(float(x), *args)
        reg = region_p(float(x), *args)
        st_["n"] += 1
        st_["region"] += reg
        if m != f and not (math.isnan(m) and math.isnan(f)):
            st_["replaced"] += 1
            if not reg:
                st_["outside_identical"] = False
        sP, sQ = judge_cdf(fam, float(x), args)
        em = tail_error(m, sP, sQ)
        ef = tail_error(f, sP, sQ)
        # settle with mpmath where it matters
        if (m != f or em > 1e-12 or ef > 1e-9) and st_["mp"] < mpcap:
            st_["mp"] += 1
            with mp.workdps(40):
                rP, rQ = ref.tails(fam, float(x), *args)
            em = tail_error(m, rP, rQ)
            ef = tail_error(f, rP, rQ)
        elif m != f or ef > 1e-9:
            continue  # beyond the mpmath budget: not judged
        if ef > 1e-9:
            st_["gross"] += 1
            st_["gross_max"] = max(st_["gross_max"], em)
        if em > st_["max"]:
            st_["max"] = em
            examples[f"p{fam}"] = (float(x), *args)
    rows.append((f"p{fam}", st_))

    # -- quantile
    st_ = dict(n=0, region=0, replaced=0, outside_identical=True, gross=0, gross_max=0.0, max=0.0, mp=0)
    for i, p in enumerate(ps):
        args = tuple(float(a[i]) for a in par)
        f = fixed_q(float(p), *args)
        m = Qf(float(p), *args)
        reg = region_q(float(p), *args)
        st_["n"] += 1
        st_["region"] += reg
        if m != f and not (math.isnan(m) and math.isnan(f)):
            st_["replaced"] += 1
            if not reg:
                st_["outside_identical"] = False
        if not (m != f or reg) or st_["mp"] >= mpcap:
            # outside the region: the fixed-depth value itself, judged by scipy
            if m == f and not reg:
                sP, sQ = judge_cdf(fam, m, args)
                t = p if p <= 0.5 else 1 - p
                e = abs((sP if p <= 0.5 else sQ) - t) / t
                if e > 1e-10:
                    with mp.workdps(40):
                        e = quantile_tail_error(tails_mp(args), float(p), m)
                st_["max"] = max(st_["max"], e)
            continue
        st_["mp"] += 1
        with mp.workdps(40):
            em = quantile_tail_error(tails_mp(args), float(p), m)
            ef = quantile_tail_error(tails_mp(args), float(p), f) if not math.isnan(f) else math.inf
        if ef > 1e-9:
            st_["gross"] += 1
            st_["gross_max"] = max(st_["gross_max"], em)
        if em > st_["max"]:
            st_["max"] = em
            examples[f"q{fam}"] = (float(p), *args)
    rows.append((f"q{fam}", st_))

    # -- log-density
    fixed_d = getattr(K, f"k_d{fam}_fixed")
    st_ = dict(n=0, region=0, replaced=0, outside_identical=True, gross=0, gross_max=0.0, max=0.0, mp=0)
    for i, x in enumerate(xs):
        args = tuple(float(a[i]) for a in par)
        f = fixed_d(float(x), *args, True)
        m = D(float(x), *args, log=True)
        st_["n"] += 1
        if m != f and not (math.isnan(m) and math.isnan(f)):
            st_["replaced"] += 1
        want = scipy_logdens(fam, float(x), *args)
        em, ef = log_density_error(m, want), log_density_error(f, want)
        if (m != f or em > 1e-12 or ef > 1e-9) and st_["mp"] < mpcap:
            st_["mp"] += 1
            with mp.workdps(40):
                want = ref.log_density(fam, float(x), *args)
            em, ef = log_density_error(m, want), log_density_error(f, want)
        elif m != f or ef > 1e-9:
            continue
        if ef > 1e-9:
            st_["gross"] += 1
            st_["gross_max"] = max(st_["gross_max"], em)
        if em > st_["max"]:
            st_["max"] = em
            examples[f"d{fam}"] = (float(x), *args)
    rows.append((f"d{fam} (log)", st_))


# ---- the closed-form families --------------------------------------------

def closed_specs():
    """name, parameter sampler and argument sampler."""
    def loc(n):
        return [np.where(RNG.random(n) < 0.3, RNG.uniform(-1e6, 1e6, n), RNG.uniform(-10, 10, n)),
                10.0 ** RNG.uniform(-3, 3, n)]

    def args_loc(par, n):
        return par[0] + par[1] * np.sign(RNG.random(n) - 0.5) * 10.0 ** RNG.uniform(-3, 12, n)
    return {
        "cauchy": (loc, args_loc),
        "laplace": (loc, lambda par, n: par[0] + par[1] * RNG.uniform(-800, 800, n)),
        "norm": (loc, lambda par, n: par[0] + par[1] * RNG.uniform(-38, 38, n)),
        "lnorm": (lambda n: [RNG.uniform(-50, 50, n), 10.0 ** RNG.uniform(-3, 1, n)],
                  lambda par, n: np.exp(par[0] + par[1] * RNG.uniform(-38, 38, n))),
        "weibull": (lambda n: [10.0 ** RNG.uniform(-2, 2, n), 10.0 ** RNG.uniform(-3, 3, n)],
                    lambda par, n: par[1] * 10.0 ** RNG.uniform(-30, 2, n)),
        "unif": (lambda n: [RNG.uniform(-1e3, 1e3, n), 10.0 ** RNG.uniform(-3, 3, n)],
                 lambda par, n: par[0] + par[1] * RNG.random(n)),
    }


def run_closed(rows, n):
    for name, (par_s, x_s) in closed_specs().items():
        par = par_s(n)
        xs = x_s(par, n)
        ps = probs(n)
        P, Qf = getattr(dm, "p" + name), getattr(dm, "q" + name)
        fixed_p, fixed_q = getattr(K, f"k_p{name}_fixed"), getattr(K, f"k_q{name}_fixed")
        reg_p, reg_q = getattr(K, f"k_p{name}_region"), getattr(K, f"k_q{name}_region")
        for kind in ("p", "q"):
            st_ = dict(n=0, region=0, replaced=0, outside_identical=True, gross=0, gross_max=0.0, max=0.0, mp=0)
            for i in range(n):
                a = tuple(float(v[i]) for v in par)
                if name == "unif":
                    a = (a[0], a[0] + a[1])
                u = float(xs[i]) if kind == "p" else float(ps[i])
                if kind == "p" and name in ("lnorm", "weibull") and not u > 0:
                    continue
                f = (fixed_p if kind == "p" else fixed_q)(u, *a)
                m = (P if kind == "p" else Qf)(u, *a)
                reg = (reg_p if kind == "p" else reg_q)(u, *a)
                st_["n"] += 1
                st_["region"] += reg
                if m != f and not (math.isnan(m) and math.isnan(f)):
                    st_["replaced"] += 1
                    if not reg:
                        st_["outside_identical"] = False
                st_["mp"] += 1
                with mp.workdps(40):
                    if kind == "p":
                        rP, rQ = ref.tails(name, u, *a)
                        em, ef = tail_error(m, rP, rQ), tail_error(f, rP, rQ)
                    else:
                        tl = lambda v, a=a: ref.tails(name, v, *a)  # noqa: E731
                        em = quantile_tail_error(tl, u, m)
                        ef = quantile_tail_error(tl, u, f)
                if ef > 1e-9:
                    st_["gross"] += 1
                    st_["gross_max"] = max(st_["gross_max"], em)
                st_["max"] = max(st_["max"], em)
            rows.append((kind + name, st_))
        print(f"... {name} done", file=sys.stderr)


def fmt(v):
    return "0" if v == 0 else f"{v:.2g}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quick", action="store_true", help="fewer points")
    args = ap.parse_args()
    n = 600 if args.quick else 3000
    rows, examples = [], {}
    for fam in FAMILIES:
        run_family(fam, n, rows, examples)
        print(f"... {fam} done", file=sys.stderr)
    run_closed(rows, n // 4)
    print("| function | points | in region | replaced | outside region bit-identical | "
          "fixed-depth gross | max error there | max error (all judged) | mpmath checks |")
    print("|---|---|---|---|---|---|---|---|---|")
    for name, s in rows:
        reg = str(s["region"]) if name[0] != "d" else "-"
        ident = ("yes" if s["outside_identical"] else "NO") if name[0] != "d" else "-"
        print(f"| {name} | {s['n']} | {reg} | {s['replaced']} | {ident} | {s['gross']} | "
              f"{fmt(s['gross_max'])} | {fmt(s['max'])} | {s['mp']} |")
    print()
    print("Largest module error at:", {k: v for k, v in examples.items()})


if __name__ == "__main__":
    main()
