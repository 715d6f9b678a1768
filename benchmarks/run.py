"""Benchmarks of all 68 distmill functions against the libraries people use
for the same job: scipy.stats (unfrozen and frozen distributions),
scipy.special where one special function does the job, and numpy's random
Generator for draws.  Writes benchmarks/results.md and benchmarks/ratios.png.

    PYTHONPATH=build python3 benchmarks/run.py                  # full run, a few minutes
    PYTHONPATH=build python3 benchmarks/run.py --quick          # smaller arrays, fewer repeats
    PYTHONPATH=build python3 benchmarks/run.py --baseline REV   # also time the iterative
                                                                # targets against a build of REV

For every function and peer, on the same inputs in the same run:
  - the cost of one all-scalar call (microseconds per call);
  - nanoseconds per element on float64 arrays: 10^6 elements, 10^4 for the
    iterative quantiles and the samplers that invert them (fewer if a call
    would take too long);
each the median of repeated runs, in CPU time of the process (all callers
are single-threaded; CPU time keeps other work on a shared machine out of
the numbers).  The headline is the ratio of times,
distmill / peer: below 1 distmill is faster.

--baseline builds the module at git revision REV (cached in the temporary
directory) and times the refinement targets there and here in alternating
child processes.  The full run also repeats the bit-equality check of the
fast and plain refinement loops (tools/check/inverse_equality.py) on 160,000
inputs per kernel.

The lanes in use (the instruction set of the array calls, DISTMILL_LANES)
are printed and recorded.  --lanes times the functions with lane kernels
(or those of --only) under every lane setting the processor has, each in
its own child process, the settings alternating round by round (and the
build of --baseline among them), with scipy.stats timed in the same child
for the ratio:

    PYTHONPATH=build python3 benchmarks/run.py --lanes --baseline main
"""
import argparse
import json
import os
import pathlib
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import distmill as dm

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT_DIR = ROOT / "benchmarks"

ITERATIVE = {"qbeta", "qbinom", "qchisq", "qf", "qgamma", "qinvgamma", "qnorm", "qlnorm", "qpois", "qt",
             "rbinom", "rpois"}
# Target calls of the refinement speed-ups: (label, function, parameters).
TARGETS = [
    ("qnorm(p, 0, 1)", "qnorm", (0.0, 1.0)),
    ("qlnorm(p, 0.2, 0.6)", "qlnorm", (0.2, 0.6)),
    ("qgamma(p, 2.5, 1.5)", "qgamma", (2.5, 1.5)),
    ("qgamma(p, 20, 1)", "qgamma", (20.0, 1.0)),
    ("qchisq(p, 5)", "qchisq", (5.0,)),
    ("qchisq(p, 40)", "qchisq", (40.0,)),
    ("qinvgamma(p, 3, 2)", "qinvgamma", (3.0, 2.0)),
    ("qbeta(p, 2.5, 3.5)", "qbeta", (2.5, 3.5)),
    ("qbeta(p, 0.5, 0.8)", "qbeta", (0.5, 0.8)),
    ("qf(p, 5, 12)", "qf", (5.0, 12.0)),
    ("rpois(11)", "rpois", (11.0,)),
    ("rpois(20)", "rpois", (20.0,)),
    ("rpois(100)", "rpois", (100.0,)),
    ("rpois(1000)", "rpois", (1000.0,)),
]


# ----------------------------------------------------------------- timing

def median_time(fn, repeats):
    """Median CPU time of fn() over `repeats` runs, after one warm-up."""
    fn()
    times = []
    for _ in range(repeats):
        t = time.process_time()
        fn()
        times.append(time.process_time() - t)
    return statistics.median(times)


def scalar_cost(fn, repeats, budget=0.04):
    """Median microseconds of one call, from loops sized to ~budget seconds."""
    fn()
    t = time.process_time()
    fn()
    one = max(time.process_time() - t, 1e-7)
    loops = max(1, min(20000, int(budget / one)))

    def loop():
        for _ in range(loops):
            fn()
    return median_time(loop, repeats) / loops * 1e6


# ----------------------------------------------------------------- cases

def cases(rng):
    """Per function: distmill call, peers, array inputs and scalar inputs.

    Each entry: name -> dict(args=[arrays and scalars], peers={label: fn},
    draw=bool).  Array arguments come first and are shared by all callers;
    a peer is a function of the same argument list."""
    import scipy.special as sp
    import scipy.stats as st

    n = 10**6
    U = lambda lo, hi: rng.uniform(lo, hi, n)
    p = rng.uniform(0.001, 0.999, n)
    ints = lambda lo, hi: rng.integers(lo, hi + 1, n).astype(np.int64)
    out = {}

    def fam(dist, x, params, d_stats, p_stats, q_stats, frozen, special=None):
        """d, p and q cases of one family.  *_stats(x, *params) call the
        unfrozen scipy.stats method, frozen(*params) makes the frozen law."""
        special = special or {}
        for prefix, xs, stats_fn, method in (("d", x, d_stats, "pmf" if dist in ("bern", "binom", "pois") else "pdf"),
                                             ("p", x, p_stats, "cdf"), ("q", p, q_stats, "ppf")):
            peers = {"scipy.stats": stats_fn}
            law = frozen(*params)
            peers["scipy.stats frozen"] = (lambda m: lambda v, *a: getattr(law, m)(v))(method)
            if prefix in special:
                peers["scipy.special"] = special[prefix]
            out[prefix + dist] = dict(args=[xs, *params], peers=peers)

    mu, sigma = 0.5, 2.0
    fam("norm", rng.normal(mu, sigma, n), (mu, sigma),
        lambda x, m, s: st.norm.pdf(x, m, s), lambda x, m, s: st.norm.cdf(x, m, s),
        lambda q, m, s: st.norm.ppf(q, m, s), lambda m, s: st.norm(m, s),
        {"p": lambda x, m, s: sp.ndtr((x - m) / s), "q": lambda q, m, s: sp.ndtri(q) * s + m})
    fam("bern", ints(0, 1), (0.3,),
        lambda x, pr: st.bernoulli.pmf(x, pr), lambda x, pr: st.bernoulli.cdf(x, pr),
        lambda q, pr: st.bernoulli.ppf(q, pr), lambda pr: st.bernoulli(pr))
    fam("beta", U(0.001, 0.999), (2.5, 3.5),
        lambda x, a, b: st.beta.pdf(x, a, b), lambda x, a, b: st.beta.cdf(x, a, b),
        lambda q, a, b: st.beta.ppf(q, a, b), lambda a, b: st.beta(a, b),
        {"p": lambda x, a, b: sp.betainc(a, b, x), "q": lambda q, a, b: sp.betaincinv(a, b, q)})
    fam("binom", ints(0, 40), (40, 0.3),
        lambda x, m, pr: st.binom.pmf(x, m, pr), lambda x, m, pr: st.binom.cdf(x, m, pr),
        lambda q, m, pr: st.binom.ppf(q, m, pr), lambda m, pr: st.binom(m, pr),
        {"p": lambda x, m, pr: sp.bdtr(x, m, pr)})
    fam("cauchy", rng.normal(0, 5, n), (0.0, 1.5),
        lambda x, m, s: st.cauchy.pdf(x, m, s), lambda x, m, s: st.cauchy.cdf(x, m, s),
        lambda q, m, s: st.cauchy.ppf(q, m, s), lambda m, s: st.cauchy(m, s))
    fam("chisq", U(0.01, 15), (5.0,),
        lambda x, k: st.chi2.pdf(x, k), lambda x, k: st.chi2.cdf(x, k),
        lambda q, k: st.chi2.ppf(q, k), lambda k: st.chi2(k),
        {"p": lambda x, k: sp.chdtr(k, x), "q": lambda q, k: sp.chdtri(k, 1 - q)})
    fam("exp", U(0, 3), (2.0,),
        lambda x, r: st.expon.pdf(x, scale=1 / r), lambda x, r: st.expon.cdf(x, scale=1 / r),
        lambda q, r: st.expon.ppf(q, scale=1 / r), lambda r: st.expon(scale=1 / r))
    fam("f", U(0.01, 5), (5.0, 12.0),
        lambda x, a, b: st.f.pdf(x, a, b), lambda x, a, b: st.f.cdf(x, a, b),
        lambda q, a, b: st.f.ppf(q, a, b), lambda a, b: st.f(a, b),
        {"p": lambda x, a, b: sp.fdtr(a, b, x), "q": lambda q, a, b: sp.fdtri(a, b, q)})
    fam("gamma", U(0.01, 10), (2.5, 1.5),
        lambda x, k, s: st.gamma.pdf(x, k, scale=s), lambda x, k, s: st.gamma.cdf(x, k, scale=s),
        lambda q, k, s: st.gamma.ppf(q, k, scale=s), lambda k, s: st.gamma(k, scale=s),
        {"p": lambda x, k, s: sp.gammainc(k, x / s), "q": lambda q, k, s: sp.gammaincinv(k, q) * s})
    fam("invgamma", U(0.05, 5), (3.0, 2.0),
        lambda x, k, s: st.invgamma.pdf(x, k, scale=s), lambda x, k, s: st.invgamma.cdf(x, k, scale=s),
        lambda q, k, s: st.invgamma.ppf(q, k, scale=s), lambda k, s: st.invgamma(k, scale=s),
        {"p": lambda x, k, s: sp.gammaincc(k, s / x), "q": lambda q, k, s: s / sp.gammainccinv(k, q)})
    fam("laplace", rng.normal(0, 3, n), (0.0, 1.5),
        lambda x, m, s: st.laplace.pdf(x, m, s), lambda x, m, s: st.laplace.cdf(x, m, s),
        lambda q, m, s: st.laplace.ppf(q, m, s), lambda m, s: st.laplace(m, s))
    fam("lnorm", U(0.05, 5), (0.2, 0.6),
        lambda x, m, s: st.lognorm.pdf(x, s, scale=np.exp(m)),
        lambda x, m, s: st.lognorm.cdf(x, s, scale=np.exp(m)),
        lambda q, m, s: st.lognorm.ppf(q, s, scale=np.exp(m)), lambda m, s: st.lognorm(s, scale=np.exp(m)),
        {"p": lambda x, m, s: sp.ndtr((np.log(x) - m) / s), "q": lambda q, m, s: np.exp(sp.ndtri(q) * s + m)})
    fam("logis", rng.normal(0, 3, n), (0.0, 1.2),
        lambda x, m, s: st.logistic.pdf(x, m, s), lambda x, m, s: st.logistic.cdf(x, m, s),
        lambda q, m, s: st.logistic.ppf(q, m, s), lambda m, s: st.logistic(m, s),
        {"p": lambda x, m, s: sp.expit((x - m) / s), "q": lambda q, m, s: sp.logit(q) * s + m})
    fam("pois", ints(0, 20), (6.0,),
        lambda x, r: st.poisson.pmf(x, r), lambda x, r: st.poisson.cdf(x, r),
        lambda q, r: st.poisson.ppf(q, r), lambda r: st.poisson(r),
        {"p": lambda x, r: sp.pdtr(x, r)})
    fam("t", rng.normal(0, 2, n), (7.0,),
        lambda x, k: st.t.pdf(x, k), lambda x, k: st.t.cdf(x, k),
        lambda q, k: st.t.ppf(q, k), lambda k: st.t(k),
        {"p": lambda x, k: sp.stdtr(k, x), "q": lambda q, k: sp.stdtrit(k, q)})
    fam("unif", U(-2, 4), (-1.0, 3.0),
        lambda x, a, b: st.uniform.pdf(x, a, b - a), lambda x, a, b: st.uniform.cdf(x, a, b - a),
        lambda q, a, b: st.uniform.ppf(q, a, b - a), lambda a, b: st.uniform(a, b - a))
    fam("weibull", U(0.01, 6), (1.7, 2.0),
        lambda x, k, s: st.weibull_min.pdf(x, k, scale=s), lambda x, k, s: st.weibull_min.cdf(x, k, scale=s),
        lambda q, k, s: st.weibull_min.ppf(q, k, scale=s), lambda k, s: st.weibull_min(k, scale=s))

    # Draws: parameters, then the size.  numpy and scipy share one Generator.
    g = np.random.default_rng(1)
    draws = {
        "norm": ((0.5, 2.0), lambda m, s, k: g.normal(m, s, k), st.norm, lambda m, s: dict(loc=m, scale=s)),
        "bern": ((0.3,), lambda pr, k: g.binomial(1, pr, k), st.bernoulli, lambda pr: dict(p=pr)),
        "beta": ((2.5, 3.5), lambda a, b, k: g.beta(a, b, k), st.beta, lambda a, b: dict(a=a, b=b)),
        "binom": ((40, 0.3), lambda m, pr, k: g.binomial(m, pr, k), st.binom, lambda m, pr: dict(n=m, p=pr)),
        "cauchy": ((0.0, 1.5), lambda m, s, k: g.standard_cauchy(k) * s + m, st.cauchy,
                   lambda m, s: dict(loc=m, scale=s)),
        "chisq": ((5.0,), lambda d, k: g.chisquare(d, k), st.chi2, lambda d: dict(df=d)),
        "exp": ((2.0,), lambda r, k: g.exponential(1 / r, k), st.expon, lambda r: dict(scale=1 / r)),
        "f": ((5.0, 12.0), lambda a, b, k: g.f(a, b, k), st.f, lambda a, b: dict(dfn=a, dfd=b)),
        "gamma": ((2.5, 1.5), lambda a, s, k: g.gamma(a, s, k), st.gamma, lambda a, s: dict(a=a, scale=s)),
        "invgamma": ((3.0, 2.0), lambda a, s, k: s / g.gamma(a, 1.0, k), st.invgamma,
                     lambda a, s: dict(a=a, scale=s)),
        "laplace": ((0.0, 1.5), lambda m, s, k: g.laplace(m, s, k), st.laplace, lambda m, s: dict(loc=m, scale=s)),
        "lnorm": ((0.2, 0.6), lambda m, s, k: g.lognormal(m, s, k), st.lognorm,
                  lambda m, s: dict(s=s, scale=np.exp(m))),
        "logis": ((0.0, 1.2), lambda m, s, k: g.logistic(m, s, k), st.logistic, lambda m, s: dict(loc=m, scale=s)),
        "pois": ((6.0,), lambda r, k: g.poisson(r, k), st.poisson, lambda r: dict(mu=r)),
        "t": ((7.0,), lambda d, k: g.standard_t(d, k), st.t, lambda d: dict(df=d)),
        "unif": ((-1.0, 3.0), lambda a, b, k: g.uniform(a, b, k), st.uniform, lambda a, b: dict(loc=a, scale=b - a)),
        "weibull": ((1.7, 2.0), lambda c, s, k: g.weibull(c, k) * s, st.weibull_min,
                    lambda c, s: dict(c=c, scale=s)),
    }
    for dist, (params, numpy_fn, law, kw) in draws.items():
        frozen = law(**kw(*params))
        out["r" + dist] = dict(
            args=list(params), draw=True,
            peers={"numpy Generator": numpy_fn,
                   "scipy.stats": (lambda law, kw: lambda *a: law.rvs(size=a[-1], random_state=g, **kw(*a[:-1])))(law, kw),
                   "scipy.stats frozen": (lambda fr: lambda *a: fr.rvs(size=a[-1], random_state=g))(frozen)})
    return out


def time_case(name, case, n_elems, repeats, scalar_repeats):
    """Scalar-call microseconds and array ns/element for distmill and peers."""
    engine = dm.Engine(7)
    fn = getattr(dm, name)
    callers = {"distmill": None, **case["peers"]}
    res = {}
    if case.get("draw"):
        params = case["args"]
        for label, peer in callers.items():
            if peer is None:
                arr = lambda: fn(*params, n_elems, engine)
                one = lambda: fn(*params, engine)
            else:
                arr = (lambda pf: lambda: pf(*params, n_elems))(peer)
                one = (lambda pf: lambda: pf(*params, None))(peer)
            res[label] = (scalar_cost(one, scalar_repeats), median_time(arr, repeats) / n_elems * 1e9)
        return res
    arrays = [a[:n_elems] if isinstance(a, np.ndarray) else a for a in case["args"]]
    scalars = [a[len(a) // 3].item() if isinstance(a, np.ndarray) else a for a in case["args"]]
    for label, peer in callers.items():
        call = fn if peer is None else peer
        res[label] = (scalar_cost(lambda: call(*scalars), scalar_repeats),
                      median_time(lambda: call(*arrays), repeats) / n_elems * 1e9)
    return res


# ----------------------------------------------------------------- before/after

def target_times(n, seed=3):
    """One round: CPU seconds per element of each target call in this
    process, the median of three runs."""
    p = np.random.default_rng(seed).uniform(0.001, 0.999, n)
    calls = {}
    for label, name, params in TARGETS:
        fn = getattr(dm, name)
        if name.startswith("r"):
            calls[label] = (lambda f, a: lambda: f(*a, n, dm.Engine(5)))(fn, params)
        else:
            calls[label] = (lambda f, a: lambda: f(p, *a))(fn, params)
    # A fresh process starts on a processor that may still be clocking up:
    # run every call once before timing any.
    for call in calls.values():
        call()
    return {label: median_time(call, 3) / n for label, call in calls.items()}


def build_revision(rev, log):
    """Builds the module at git revision `rev` once; returns its build dir."""
    sha = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", rev], check=True,
                         capture_output=True, text=True).stdout.strip()
    base = pathlib.Path(tempfile.gettempdir()) / f"distmill-bench-{sha}"
    build = base / "build"
    if list(build.glob("distmill*.so")):
        return sha, build
    log(f"building revision {sha} in {base} ...")
    shutil.rmtree(base, ignore_errors=True)
    (base / "src").mkdir(parents=True)
    archive = subprocess.run(["git", "-C", str(ROOT), "archive", sha], check=True, capture_output=True).stdout
    subprocess.run(["tar", "-x", "-C", str(base / "src")], input=archive, check=True)
    pybind_dir = subprocess.run([sys.executable, "-m", "pybind11", "--cmakedir"], check=True,
                                capture_output=True, text=True).stdout.strip()
    subprocess.run(["cmake", "-S", str(base / "src"), "-B", str(build), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", f"-Dpybind11_DIR={pybind_dir}",
                    f"-DPython_EXECUTABLE={sys.executable}"], check=True, capture_output=True)
    # Two jobs at most: the machine is shared with other builds.
    subprocess.run(["cmake", "--build", str(build), "--parallel", "2"], check=True, capture_output=True)
    return sha, build


def before_after(rev, n, rounds, log):
    sha, base_build = build_revision(rev, log)
    here = pathlib.Path(dm.__file__).resolve().parent
    samples = {"before": [], "after": []}
    for r in range(rounds):
        for which, path in (("before", base_build), ("after", here)):
            env = dict(os.environ, PYTHONPATH=str(path))
            proc = subprocess.run([sys.executable, __file__, "--_targets", str(n)], env=env,
                                  capture_output=True, text=True, check=True)
            samples[which].append(json.loads(proc.stdout))
        log(f"  before/after round {r + 1}/{rounds}")
    med = {w: {label: statistics.median(s[label] for s in samples[w]) for label, _, _ in TARGETS}
           for w in samples}
    return sha, med


# ----------------------------------------------------------------- lanes

# The functions timed by --lanes: every d, p and q function (those without
# lane kernels show the cost of the element-wise loop in every setting).
def lane_functions():
    sys.path.insert(0, str(ROOT / "tests"))
    from support.families import ORDER
    return [p + d for p in "dpq" for d in ORDER]


LANE_SETTINGS = ["off", "scalar", "sse2", "avx2", "avx512"]


def lane_times(names, n):
    """One child's round: ns per element of each function and of its
    scipy.stats peer on the benchmark's arrays, the median of three runs."""
    all_cases = cases(np.random.default_rng(20240607))
    out = {"lanes": getattr(dm, "__lanes__", "off")}
    for name in names:
        case = all_cases[name]
        # The iterative quantiles on a hundredth of the elements, and any
        # function cut by ten while one call would take over 1.5 s.
        m = max(n // 100, 100) if name in ITERATIVE else n
        fn, peer = getattr(dm, name), case["peers"]["scipy.stats"]
        probe = [a[:1000] if isinstance(a, np.ndarray) else a for a in case["args"]]
        t = time.process_time()
        fn(*probe)
        per = (time.process_time() - t) / 1000
        while m > 1000 and per * m > 1.5:
            m //= 10
        arrays = [a[:m] if isinstance(a, np.ndarray) else a for a in case["args"]]
        fn(*arrays)
        peer(*arrays)
        out[name] = {"distmill": median_time(lambda: fn(*arrays), 3) / m * 1e9,
                     "scipy.stats": median_time(lambda: peer(*arrays), 3) / m * 1e9}
    return out


def lanes_side_by_side(names, n, rounds, baseline, log, only_settings=None):
    """Median ns per element per setting and function, and per setting the
    ratio to scipy.stats timed in the same children."""
    # The widest the processor runs: asked for AVX-512 the module takes it
    # where it can, and its default (up to AVX2) elsewhere.
    widest = subprocess.run([sys.executable, "-c", "import distmill; print(distmill.__lanes__)"],
                            env=dict(os.environ, DISTMILL_LANES="avx512"), capture_output=True, text=True,
                            check=True).stdout.strip()
    settings = LANE_SETTINGS[:LANE_SETTINGS.index(widest) + 1] if widest in LANE_SETTINGS else ["off", widest]
    if only_settings:
        settings = [s for s in settings if s in only_settings]
    here = pathlib.Path(dm.__file__).resolve().parent
    runs = [(s, here, s) for s in settings]
    if baseline:
        sha, base_build = build_revision(baseline, log)
        runs.insert(0, (f"before ({sha})", base_build, None))
    samples = {label: [] for label, _, _ in runs}
    for r in range(rounds):
        for label, path, setting in runs:
            env = dict(os.environ, PYTHONPATH=str(path))
            env.pop("DISTMILL_LANES", None)
            if setting:
                env["DISTMILL_LANES"] = setting
            proc = subprocess.run([sys.executable, __file__, "--_lanes", str(n), ",".join(names)], env=env,
                                  capture_output=True, text=True, check=True)
            samples[label].append(json.loads(proc.stdout))
        log(f"  lanes round {r + 1}/{rounds}")
    med = {}
    for label, s in samples.items():
        med[label] = {name: {k: statistics.median(x[name][k] for x in s) for k in ("distmill", "scipy.stats")}
                      for name in names}
        med[label]["lanes"] = s[0]["lanes"]
    return med


# ----------------------------------------------------------------- report

def fmt_ratio(r):
    return "—" if r is None else (f"{r:.3g}" if r < 100 else f"{r:.0f}")


def write_lanes_chart(lanes, path):
    """Per function, the ratio to scipy.stats under each setting (the
    baseline build's first), d, p and q functions in three panels."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    labels = [l for l in lanes if l not in ("scalar",)]
    names = [n for n in lanes[labels[0]] if n != "lanes"]
    cmap = plt.get_cmap("viridis")
    colors = {l: ("#999999" if l.startswith("before") else cmap(i / max(1, len(labels) - 1)))
              for i, l in enumerate(labels)}
    fig, axes = plt.subplots(1, 3, figsize=(18, 9), sharex=True)
    handles = {}
    for ax, prefix in zip(axes, "dpq"):
        sub = [n for n in names if n.startswith(prefix)]
        y = np.arange(len(sub))
        h = 0.8 / len(labels)
        for k, l in enumerate(labels):
            vals = [lanes[l][n]["distmill"] / lanes[l][n]["scipy.stats"] for n in sub]
            handles[l] = ax.barh(y + (k - (len(labels) - 1) / 2) * h, vals, height=h, color=colors[l], label=l)
        ax.set_xscale("log")
        ax.axvline(1.0, color="black", linewidth=0.8)
        ax.axvline(1.5, color="red", linewidth=0.6, linestyle="--")
        ax.set_yticks(y, sub)
        ax.invert_yaxis()
        ax.set_title({"d": "densities", "p": "CDFs", "q": "quantiles"}[prefix])
        ax.grid(axis="x", which="both", alpha=0.3)
        ax.set_axisbelow(True)
    fig.suptitle("Array time per element / scipy.stats by lane setting (log scale; dashed: 1.5)")
    fig.legend(list(handles.values()), list(handles), loc="upper right", ncol=len(labels), fontsize=8)
    fig.tight_layout(rect=(0, 0, 1, 0.95))
    fig.savefig(path, dpi=100)
    plt.close(fig)


def write_chart(rows, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    peers = ["scipy.stats", "scipy.stats frozen", "scipy.special", "numpy Generator"]
    colors = {"scipy.stats": "#4c72b0", "scipy.stats frozen": "#8fb0dd", "scipy.special": "#dd8452",
              "numpy Generator": "#55a868"}
    fig, axes = plt.subplots(1, 4, figsize=(18, 7.5), sharex=True)
    handles = {}
    for ax, prefix in zip(axes, "dpqr"):
        sub = [r for r in rows if r["name"].startswith(prefix)]
        y = np.arange(len(sub))
        h = 0.8 / 3
        slot = 0
        for peer in peers:
            vals = [r["ratios"].get(peer) for r in sub]
            if all(v is None for v in vals):
                continue
            handles[peer] = ax.barh(y + (slot - 1) * h, [v if v else np.nan for v in vals], height=h,
                                    color=colors[peer], label=peer)
            slot += 1
        ax.set_xscale("log")
        ax.axvline(1.0, color="black", linewidth=0.8)
        ax.set_yticks(y, [r["name"] for r in sub])
        ax.invert_yaxis()
        ax.set_title({"d": "densities", "p": "CDFs", "q": "quantiles", "r": "draws"}[prefix])
        ax.grid(axis="x", which="both", alpha=0.3)
        ax.set_axisbelow(True)
    fig.suptitle("Array time per element, distmill / peer (log scale; below 1: distmill faster)")
    fig.supxlabel("time ratio distmill / peer")
    fig.legend(list(handles.values()), list(handles), loc="upper right", ncol=4, fontsize=8)
    fig.tight_layout(rect=(0, 0, 1, 0.95))
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true", help="arrays 10x smaller, 3 repeats, small equality run")
    ap.add_argument("--baseline", metavar="REV", help="git revision to time the refinement targets against")
    ap.add_argument("--only", help="comma-separated function names (development)")
    ap.add_argument("--out", help="the report (default benchmarks/results.md, with --lanes benchmarks/lanes.md)")
    ap.add_argument("--lanes", action="store_true", help="time the lane functions under every lane setting")
    ap.add_argument("--settings", help="with --lanes: only these settings (comma-separated, e.g. off,avx2)")
    ap.add_argument("--_targets", type=int, help=argparse.SUPPRESS)
    ap.add_argument("--_lanes", nargs=2, help=argparse.SUPPRESS)
    args = ap.parse_args()

    if args._targets:
        print(json.dumps(target_times(args._targets)))
        return 0
    if args._lanes:
        print(json.dumps(lane_times(args._lanes[1].split(","), int(args._lanes[0]))))
        return 0

    def log(msg):
        print(msg, file=sys.stderr, flush=True)

    started = time.time()
    import scipy
    repeats = 3 if args.quick else 5
    scalar_repeats = 3 if args.quick else 5
    big, small = (10**5, 10**3) if args.quick else (10**6, 10**4)
    # A call budget: arrays are cut by 10 (down to 10^3) while a single
    # call would take longer than this.
    budget = 0.5 if args.quick else 1.5
    all_cases = cases(np.random.default_rng(20240607))
    sys.path.insert(0, str(ROOT / "tests"))
    from support.families import ORDER
    names = [p + d for p in "dpqr" for d in ORDER]
    if args.only:
        names = [n for n in names if n in args.only.split(",")]

    log(f"lanes in use: {getattr(dm, '__lanes__', 'off')}")
    lanes = None
    if args.lanes:
        lane_names = names if args.only else lane_functions()
        lanes = lanes_side_by_side(lane_names, big, 3, args.baseline, log,
                                   args.settings.split(",") if args.settings else None)
        names = [] if not args.only else names

    rows = []
    for name in names:
        case = all_cases[name]
        n = small if name in ITERATIVE else big
        probe = time_case(name, case, 1000, 1, 1)
        slowest = max(v[1] for v in probe.values()) * 1e-9
        while n > 1000 and slowest * n > budget:
            n //= 10
        res = time_case(name, case, n, repeats, scalar_repeats)
        ours = res["distmill"]
        ratios = {peer: ours[1] / v[1] for peer, v in res.items() if peer != "distmill"}
        rows.append(dict(name=name, n=n, res=res, ratios=ratios))
        log(f"{name:10s} n={n:<8d} distmill {ours[1]:10.1f} ns/elem  " +
            "  ".join(f"{k} {v:.3g}" for k, v in ratios.items()))

    ba = None
    if args.baseline and not args.lanes:
        ba = before_after(args.baseline, 200 if args.quick else 2000, 3 if args.quick else 5, log)

    equality = None
    if not args.lanes:
        sys.path.insert(0, str(ROOT / "tools" / "check"))
        import inverse_equality
        equality = inverse_equality.run(5000 if args.quick else 160000, log=log)

    png = OUT_DIR / "ratios.png"
    try:
        if not rows:
            raise ImportError
        write_chart(rows, png)
        chart = f"![time ratios]({png.name})"
    except ImportError:
        chart = "(no chart: no function timed, or matplotlib not installed: `pip install '.[bench]'`)"

    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    L = []
    L.append("# distmill benchmarks\n")
    L.append(f"Generated by `benchmarks/run.py{' --quick' if args.quick else ''}"
             f"{' --lanes' if args.lanes else ''}{' --settings ' + args.settings if args.settings else ''}"
             f"{' --only ' + args.only if args.only else ''}"
             f"{' --baseline ' + args.baseline if args.baseline else ''}` in {time.time() - started:.0f} s "
             f"on {time.strftime('%Y-%m-%d %H:%M')}: {cpu}, {os.cpu_count()} cores, Python "
             f"{platform.python_version()}, numpy {np.__version__}, scipy {scipy.__version__}. "
             f"Module: `{pathlib.Path(dm.__file__).name}`, lanes: "
             f"`{getattr(dm, '__lanes__', 'off')}`.\n")
    L.append("Times are medians of repeated runs on the same inputs in the same process, in CPU time "
             "of the process (every caller is single-threaded). Ratios are "
             "**distmill time / peer time** (below 1: distmill is faster). Array sizes: "
             f"{big:,} elements, {small:,} for the iterative quantiles and the samplers that use them, "
             "cut by ten while one call would exceed the time budget (column n). Peers: `scipy.stats` "
             "with the parameters at each call, the frozen distribution (`st.norm(mu, sigma).cdf(x)`), "
             "the `scipy.special` function doing the same job (affine or log transforms of the "
             "argument included in its time), and numpy's `Generator` for draws (scipy's `rvs` draw "
             "from the same Generator).\n")
    if rows or not lanes:
        L.append(chart + "\n")
    if rows:
        L.append("## Arrays: ns per element and ratios\n")
        L.append("| function | n | distmill ns/elem | / scipy.stats | / frozen | / scipy.special | / numpy |")
        L.append("|---|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        g = r["ratios"].get
        L.append(f"| `{r['name']}` | {r['n']:,} | {r['res']['distmill'][1]:.1f} | "
                 f"{fmt_ratio(g('scipy.stats'))} | {fmt_ratio(g('scipy.stats frozen'))} | "
                 f"{fmt_ratio(g('scipy.special'))} | {fmt_ratio(g('numpy Generator'))} |")
    if lanes:
        labels = list(lanes)
        try:
            write_lanes_chart(lanes, OUT_DIR / "lanes.png")
            L.append("![ratios by lane setting](lanes.png)\n")
        except ImportError:
            L.append("(no chart: matplotlib not installed: `pip install '.[bench]'`)\n")
        L.append("\n## Lanes: ns per element by setting\n")
        L.append(f"Median CPU ns per element on {big:,}-element arrays ({big // 100:,} for the iterative quantiles, "
                 "cut by ten while one call would take over 1.5 s) over alternating child processes, one per "
                 "setting (DISTMILL_LANES; `off` calls the scalar function per element"
                 + (", `before` is the build of the baseline revision" if args.baseline else "")
                 + "), and in parentheses the ratio to scipy.stats timed in the same children. "
                 "Every setting gives the same bits.\n")
        L.append("| function | " + " | ".join(f"{l} (`{lanes[l]['lanes']}`)" if l.startswith("before") else f"`{l}`"
                                             for l in labels) + " |")
        L.append("|---|" + "---:|" * len(labels))
        for name in (n for n in lanes[labels[0]] if n != "lanes"):
            cells = [f"{lanes[l][name]['distmill']:.1f} ({lanes[l][name]['distmill'] / lanes[l][name]['scipy.stats']:.2f})"
                     for l in labels]
            L.append(f"| `{name}` | " + " | ".join(cells) + " |")
    if rows:
        L.append("\n## One all-scalar call: microseconds per call\n")
        L.append("| function | distmill | scipy.stats | frozen | scipy.special | numpy |")
        L.append("|---|---:|---:|---:|---:|---:|")
    for r in rows:
        res = r["res"]
        cell = lambda k: f"{res[k][0]:.3g}" if k in res else "—"
        L.append(f"| `{r['name']}` | {cell('distmill')} | {cell('scipy.stats')} | "
                 f"{cell('scipy.stats frozen')} | {cell('scipy.special')} | {cell('numpy Generator')} |")
    if ba:
        sha, med = ba
        L.append(f"\n## Refinement targets: before ({sha}) and after\n")
        L.append("Median CPU ns per element over alternating child processes running either build "
                 "on the same inputs (p uniform on [0.001, 0.999]; draws from seeded engines). The "
                 "values are identical in both builds; only the time differs.\n")
        L.append("| call | before ns/elem | after ns/elem | speed-up |")
        L.append("|---|---:|---:|---:|")
        for label, _, _ in TARGETS:
            b, a = med["before"][label] * 1e9, med["after"][label] * 1e9
            L.append(f"| `{label}` | {b:,.0f} | {a:,.0f} | {b / a:.1f}x |")
    if equality:
        L.append("\n## Fast against plain refinement loops, bit for bit\n")
        L.append("Generated inputs (tails, parameter extremes, special values, NaN-producing inputs) "
                 "through both forms of each inverse kernel (`tools/check/inverse_equality.py`).\n")
        L.append("| kernel | inputs | through the loop | mismatches | fixed point | two-cycle | longer cycle "
                 "| no recurrence | vanishing density | NaN results |")
        L.append("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
        for k, c in equality.items():
            L.append(f"| `{k}` | {c['inputs']:,} | {c['iterated']:,} | {c['mismatches']} | {c['fixed point']:,} | "
                     f"{c['two-cycle']:,} | {c['longer cycle']:,} | {c['no recurrence']:,} | "
                     f"{c['vanishing density']:,} | {c['NaN result']:,} |")
    out = args.out or str(OUT_DIR / ("lanes.md" if args.lanes else "results.md"))
    pathlib.Path(out).write_text("\n".join(L) + "\n")
    log(f"wrote {out}{' and ' + str(png) if rows else ''} in {time.time() - started:.0f} s")
    return 1 if equality and any(c["mismatches"] for c in equality.values()) else 0


if __name__ == "__main__":
    sys.exit(main())
