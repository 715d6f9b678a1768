"""Sweep of the checked incomplete gamma functions against mpmath: where the
fixed-depth methods are gross, how far the results are off now; where they
are accurate, that the results are still their exact bits.

Run from the repository root with the module built in ./build:

    PYTHONPATH=build python3 tools/accuracy/sound_gamma.py [--quick]

The fixed-depth functions are reached through the probes of
tests/cpp/probe_gamma_checked.cpp, compiled into a temporary library.  For
every point the reference is computed by mpmath (30 digits) at the double
arguments the function actually evaluates.

Judgement, per point:
* "gross": the fixed-depth result disagrees with the reference by the rule
  of src/cxmath/agreement.hpp (1e-10 relative to min(P, 1 - P), floor of
  4 ulps; for quantiles, the reference CDF at the quantile against p, in
  the tail of the smaller of p and 1 - p).
* For every gross point the result must be within 1e-9 of the reference,
  relative to min(P, 1 - P) with a floor of 4 ulps (quantiles: 1e-9
  relative in x, or the reference CDF at x within that of p when x is not
  resolvable, e.g. 0 from underflow).  Column "max err" is the largest
  such error in units of that tolerance ("1.0" is the limit).
* For every point where the fixed-depth result agrees with the reference,
  the result must carry its exact bits: column "kept" counts them, "kept?"
  the points among them that differ (a disagreement between the converged
  and the fixed-depth value exactly at the rule's boundary can flip one).

A second part uses scipy as a fast judge of a larger sample of P and Q,
spot-checking with mpmath every point where it disagrees with the result
by more than 1e-12 relative.  The cost of the checks is measured by
benchmarks/checks.py.
"""
import math
import pathlib
import random
import sys
import time

import mpmath as mp
import numpy as np

import distmill as dm

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
from support import probe  # noqa: E402
from support.equality import same_value_and_sign  # noqa: E402
from support.metrics import probability_agrees, ulp  # noqa: E402
from support.references import NoReference, gamma_tails  # noqa: E402

mp.mp.dps = 30
EPS = 2.0**-52
INF = math.inf
QUICK = "--quick" in sys.argv
N = 300 if QUICK else 1500
rng = random.Random(20240611)

K = probe.load()
f_pgamma, f_qgamma, f_pinvgamma, f_qinvgamma = K.kf_pgamma, K.kf_qgamma, K.kf_pinvgamma, K.kf_qinvgamma
f_qchisq, f_ppois, f_qpois, f_pbinom = K.kf_qchisq, K.kf_ppois, K.kf_qpois, K.kf_pbinom
f_pf_inf, f_qf_inf = K.kf_pf_inf_df1, K.kf_qf_inf_df1


def tolerance(ref, rel):
    """max(rel * min(ref, 1 - ref), 4 ulp(ref)) for a probability ref."""
    return max(rel * float(min(ref, 1 - ref)), 4 * ulp(ref))


def logu(lo, hi):
    return math.exp(rng.uniform(math.log(lo), math.log(hi)))


# Beyond a phi = 800 the smaller function is below e^-800: 0 (mpmath's
# series may not converge there).
def ref_P(a, x):
    return gamma_tails(a, x, far=800)[0]


def ref_Q(a, x):
    return gamma_tails(a, x, far=800)[1]


ROWS = []


class Row:
    def __init__(self, name, sample):
        self.name, self.sample = name, sample
        self.n = self.gross = self.kept = self.kept_bad = self.bad = self.skipped = 0
        self.max_err = 0.0
        self.worst = None

    def add(self, fixed_ok, same, err, args):
        """fixed_ok: fixed-depth result accurate; same: result has its bits;
        err: error of the result in units of the 1e-9 tolerance."""
        self.n += 1
        if fixed_ok:
            self.kept += 1
            if not same:
                self.kept_bad += 1
        else:
            self.gross += 1
            if err > self.max_err:
                self.max_err, self.worst = err, args
            if err > 1:
                self.bad += 1

    def done(self):
        ROWS.append(self)


def prob_row(name, sample, points, fixed, result, reference):
    """points: argument tuples; fixed/result: the two functions; reference(args)."""
    row = Row(name, sample)
    for args in points:
        try:
            ref = reference(*args)
        except NoReference:
            row.skipped += 1
            continue
        fv, rv = fixed(*args), result(*args)
        ok = probability_agrees(fv, ref)
        err = float(abs(mp.mpf(rv) - ref) / tolerance(ref, 1e-9)) if not math.isnan(rv) else INF
        row.add(ok, same_value_and_sign(fv, rv), err, args)
    row.done()


def gamma_points(a_lo, a_hi, how, n):
    pts = []
    while len(pts) < n:
        a = logu(a_lo, a_hi)
        if how == "log":
            x = logu(EPS, 1e4 * max(a, 1))
        elif how == "sd":
            x = a + rng.uniform(-40, 40) * math.sqrt(a)
        elif how == "upper":
            x = a * rng.uniform(1.5, 60) + rng.uniform(0, 60)
        else:
            x = a + rng.uniform(-3, 3) * math.sqrt(a)
        if x >= EPS:  # pgamma's own rule gives 0 below EPS
            pts.append((a, x))
    return pts


def run_cdfs():
    pg = lambda f: (lambda a, x: f(x, a, 1.0, False))  # noqa: E731
    for lo, hi, how, label in [
        (1e-3, 1e4, "log", "a in [1e-3, 1e4], x log-uniform in [2^-52, 1e4 max(a, 1)]"),
        (1e-3, 1e4, "sd", "a in [1e-3, 1e4], x = a + t sqrt(a), |t| <= 40"),
        (1e-3, 10, "upper", "a in [1e-3, 10], x in [1.5a, 60a + 60] (far past the mode)"),
        (10, 1e4, "mode", "a in [10, 1e4], x within 3 sd of a"),
    ]:
        pts = gamma_points(lo, hi, how, N)
        prob_row("pgamma", label, pts, pg(f_pgamma), pg(dm.pgamma), ref_P)
        # pinvgamma(1/x, a, 1) = Q(a, fl(1/fl(1/x))): the reference at the
        # argument the function evaluates.
        inv_pts = [(a, 1 / x) for a, x in pts if 1 / x < INF and 1 / x > 0]
        prob_row("pinvgamma", label.replace("x ", "1/x ").replace("x=", "1/x="),
                 inv_pts, lambda a, y: f_pinvgamma(y, a, 1.0, False),
                 lambda a, y: dm.pinvgamma(y, a, 1.0), lambda a, y: ref_Q(a, 1 / y))
    pts = [(x, nu) for nu, x in ((logu(2e-3, 2e4), None) for _ in range(N))
           for x in [2 * (nu / 2 + rng.uniform(-40, 40) * math.sqrt(nu / 2))] if x > 0]
    prob_row("pchisq", "dof in [2e-3, 2e4], x/2 = dof/2 + t sqrt(dof/2), |t| <= 40", pts,
             lambda x, nu: f_pgamma(x, nu * 0.5, 2.0, False), lambda x, nu: dm.pchisq(x, nu),
             lambda x, nu: ref_P(nu * 0.5, x * 0.5))
    pts = []
    while len(pts) < N:
        df2, x = logu(1e-3, 2e4), logu(1e-3, 1e3)
        pts.append((x, df2))
    prob_row("pf (df1 = inf)", "df2 in [1e-3, 2e4], x in [1e-3, 1e3]", pts, f_pf_inf,
             lambda x, d: dm.pf(x, INF, d), lambda x, d: ref_Q(d * 0.5, (d / x) * 0.5))


def run_discrete():
    pts = []
    while len(pts) < N:
        lam = logu(1e-3, 1e4)
        k = int(lam + rng.uniform(-40, 40) * math.sqrt(lam) + rng.uniform(-5, 40))
        if k >= 0:
            pts.append((k, lam))
    prob_row("ppois", "rate in [1e-3, 1e4], k within 40 sd of the rate", pts,
             lambda k, l: f_ppois(k, l, False), lambda k, l: dm.ppois(k, l),
             lambda k, l: ref_Q(k + 1, l))
    for lo, hi, label in [(2, 12, "x 2 to 12 sd above the mean"), (-3, 3, "x within 3 sd of the mean")]:
        pts = []
        while len(pts) < N // 3:
            n = int(logu(3, 3000))
            prob = rng.uniform(0.01, 0.99)
            mean, sd = n * prob, math.sqrt(n * prob * (1 - prob))
            x = int(mean + rng.uniform(lo, hi) * sd)
            if 0 <= x < n:
                pts.append((x, n, prob))
        prob_row("pbinom", f"n in [3, 3000], {label}", pts,
                 lambda x, n, p: f_pbinom(x, n, p, False), lambda x, n, p: dm.pbinom(x, n, p),
                 lambda x, n, p: 1 - mp.betainc(x + 1, n - x, 0, p, regularized=True))


# --- quantiles ----------------------------------------------------------------

def tail_target(p, q):
    """The target (p or q) and the tail it lives in."""
    return (q, "upper") if p > 0.5 else (p, "lower")


def quantile_error(x, a, p, q):
    """Error of x as a quantile of shape a, in units of the 1e-9 tolerance:
    relative in x against the mpmath root, or through the CDF when x is 0
    (underflow) or infinite."""
    t, tail = tail_target(p, q)
    t = mp.mpf(t)
    F = ref_Q if tail == "upper" else ref_P
    if math.isnan(x) or x < 0:
        return INF
    cdf_err = float(abs(F(a, x) - t) / tolerance(t, 1e-9)) if x < INF else INF
    if x == 0:
        # Right when the root lies below the smallest subnormal.
        tiny = 2.0**-1074
        below = F(a, tiny) >= t if tail == "lower" else F(a, tiny) <= t
        return 0.0 if below else cdf_err
    if x == INF:
        big = 1.7976931348623157e308
        above = F(a, big) <= t if tail == "lower" else F(a, big) >= t
        return 0.0 if above else cdf_err
    # Newton on the reference from x (log form, robust in both tails).
    xm = mp.mpf(x)
    for _ in range(8):
        fx = F(a, xm)
        if fx == 0:
            return cdf_err
        dens = mp.exp((a - 1) * mp.log(xm) - xm - mp.loggamma(a))
        step = (mp.log(fx) - mp.log(t)) * fx / dens
        step = -step if tail == "upper" else step
        xm = xm - step
        if xm <= 0:
            return cdf_err
    # Relative in x, but never finer than the subnormal spacing.
    rel = float(abs(mp.mpf(x) - xm) / max(xm * mp.mpf(1e-9), mp.mpf(2.0**-1073)))
    return min(rel, cdf_err) if cdf_err < 1 else rel


def reciprocal_error(v, conv, c, a, p):
    """Error of a quantile v = c/y with Q(a, y) = p.  An infinite v is right
    when the true value exceeds the largest double, that is when the root y
    lies below c/DBL_MAX."""
    if v == INF:
        y_top = mp.mpf(c) / mp.mpf(1.7976931348623157e308)
        return 0.0 if ref_P(a, y_top) >= 1 - mp.mpf(p) else INF
    return quantile_error(conv(v), a, 1 - p, p)


def quantile_fixed_ok(x, a, p, q):
    t, tail = tail_target(p, q)
    if math.isnan(x) or x < 0:
        return False
    F = ref_Q if tail == "upper" else ref_P
    return probability_agrees(float(F(a, x)), mp.mpf(t)) if x < INF else False


def quantile_points(a_lo, a_hi, n):
    pts = []
    for i in range(n):
        a = logu(a_lo, a_hi)
        r = i % 3
        if r == 0:
            p = logu(1e-300, 0.5)
        elif r == 1:
            p = 1 - logu(1e-16, 0.5)
        else:
            p = rng.uniform(0.01, 0.99)
        pts.append((p, a))
    return pts


def run_quantiles():
    row = Row("qgamma", "a in [1e-3, 1e4], p log-uniform in both tails and central")
    for p, a in quantile_points(1e-3, 1e4, N):
        fv, rv = f_qgamma(p, a, 1.0), dm.qgamma(p, a, 1.0)
        try:
            row.add(quantile_fixed_ok(fv, a, p, 1 - p), same_value_and_sign(fv, rv),
                    quantile_error(rv, a, p, 1 - p), (p, a))
        except NoReference:
            row.skipped += 1
    row.done()
    row = Row("qchisq", "dof in [2e-3, 2e4], p as above")
    for p, a in quantile_points(1e-3, 1e4, N // 3):
        nu = 2 * a
        fv, rv = f_qchisq(p, nu), dm.qchisq(p, nu)
        try:
            row.add(quantile_fixed_ok(fv / 2, a, p, 1 - p), same_value_and_sign(fv, rv),
                    quantile_error(rv / 2, a, p, 1 - p), (p, nu))
        except NoReference:
            row.skipped += 1
    row.done()
    # qinvgamma(p, a, 1) = 1/y with Q(a, y) = p.
    row = Row("qinvgamma", "a in [1e-3, 1e4], p as above")
    for p, a in quantile_points(1e-3, 1e4, N // 2):
        fv, rv = f_qinvgamma(p, a, 1.0), dm.qinvgamma(p, a, 1.0)
        conv = lambda v: 1 / v if v > 0 else INF  # noqa: E731
        try:
            row.add(quantile_fixed_ok(conv(fv), a, 1 - p, p), same_value_and_sign(fv, rv),
                    reciprocal_error(rv, conv, 1.0, a, p), (p, a))
        except NoReference:
            row.skipped += 1
    row.done()
    row = Row("qf (df1 = inf)", "df2 in [2e-3, 2e4], p as above")
    for p, a in quantile_points(1e-3, 1e4, N // 3):
        df2 = 2 * a
        fv, rv = f_qf_inf(p, df2), dm.qf(p, INF, df2)
        conv = lambda v: df2 / v / 2 if v > 0 else INF  # noqa: E731
        try:
            row.add(quantile_fixed_ok(conv(fv), a, 1 - p, p), same_value_and_sign(fv, rv),
                    reciprocal_error(rv, conv, df2 / 2, a, p), (p, df2))
        except NoReference:
            row.skipped += 1
    row.done()
    # qpois: the exact answer is the smallest k with F(k) > p.
    row = Row("qpois", "rate in [1e-3, 1e5], p in both tails and central")
    for p, lam in quantile_points(1e-3, 1e5, N // 2):
        fv, rv = f_qpois(p, lam), dm.qpois(p, lam)

        def right(k):
            if math.isnan(k) or k < 0 or k == INF:
                return False
            t, tail = tail_target(p, 1 - p)
            # F(k) = Q(k + 1, lam) > p and F(k - 1) <= p, within the rule.
            G = ref_P if tail == "upper" else ref_Q
            hi = G(k + 1, lam)
            lo = G(k, lam) if k > 0 else (mp.mpf(1) if tail == "upper" else mp.mpf(0))
            t = mp.mpf(t)
            above = (hi < t) if tail == "upper" else (hi > t)
            below = (lo >= t) if tail == "upper" else (lo <= t)
            return (above or probability_agrees(float(hi), t)) and (k == 0 or below or probability_agrees(float(lo), t))
        try:
            row.add(right(fv), same_value_and_sign(fv, rv), 0.0 if right(rv) else INF, (p, lam))
        except NoReference:
            row.skipped += 1
    row.done()


# --- scipy as a fast judge ----------------------------------------------------

def run_scipy_judge():
    from scipy import special
    n = 20000 if QUICK else 100000
    a = np.exp(np.random.default_rng(7).uniform(math.log(1e-3), math.log(1e4), n))
    t = np.random.default_rng(8).uniform(-40, 40, n)
    x = a + t * np.sqrt(a)
    x = np.where(x > 0, x, a * np.exp(np.random.default_rng(9).uniform(-50, 0, n)))
    x = np.maximum(x, EPS)  # pgamma's own rule gives 0 below EPS
    mine = np.array([dm.pgamma(xi, ai, 1.0) for ai, xi in zip(a, x)])
    mineq = np.array([dm.pinvgamma(1 / xi, ai, 1.0) for ai, xi in zip(a, x)])
    sp, spq = special.gammainc(a, x), special.gammaincc(a, x)
    checked = worse = 0
    worst = 0.0
    for i in range(n):
        lower = sp[i] < 0.5
        v, s = (mine[i], sp[i]) if lower else (mineq[i], spq[i])
        xi = x[i] if lower else 1 / (1 / x[i])
        if s > 1e-300 and abs(v - s) <= 1e-12 * s:
            continue
        if s <= 1e-300 and v <= 1e-290:
            continue
        checked += 1
        try:
            ref = ref_P(a[i], xi) if lower else ref_Q(a[i], xi)
        except NoReference:
            continue
        err = float(abs(mp.mpf(v) - ref) / tolerance(ref, 1e-9))
        worst = max(worst, err)
        if err > 1:
            worse += 1
            if worse <= 5:
                print("  ! scipy judge:", a[i], xi, "lower" if lower else "upper", v, float(ref))
    return n, checked, worse, worst


def main():
    t0 = time.time()
    run_cdfs()
    run_discrete()
    run_quantiles()
    print("| function | arguments | n | fixed-depth gross | max err (gross) | over 1e-9 | kept | kept? |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    for r in ROWS:
        n = f"{r.n}" + (f" (+{r.skipped} without reference)" if r.skipped else "")
        print(f"| `{r.name}` | {r.sample} | {n} | {r.gross} | {r.max_err:.3g} | {r.bad} | "
              f"{r.kept} | {r.kept_bad} |")
    for r in ROWS:
        if r.bad or r.kept_bad:
            print("  !", r.name, r.sample, "worst", r.worst)
    n, checked, worse, worst = run_scipy_judge()
    print(f"\nscipy judge: {n} points of P (lower half) and Q (upper half), a in [1e-3, 1e4], "
          f"|t| <= 40: {checked} differed from scipy by more than 1e-12 relative and were "
          f"re-checked with mpmath; {worse} over the 1e-9 tolerance (largest {worst:.3g} of it).")
    print(f"\n({time.time() - t0:.0f} s)")


if __name__ == "__main__":
    main()
