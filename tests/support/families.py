"""The family table: every fact about the seventeen families that tests and
tools need, written once.  test_module_table.py checks the module against it.

Argument kinds: x a real argument, k an integer count argument, p a
probability argument; loc a real location or end point, pos a parameter that
must not be negative (scale, shape, rate, degrees of freedom), prob a
probability parameter, count an integer parameter; flag the log flag.
"""
from typing import NamedTuple


class Param(NamedTuple):
    name: str
    kind: str
    default: object = None


class Family(NamedTuple):
    title: str                  # as in "the {title} distribution"
    params: tuple
    ordinary: tuple             # ordinary parameter values
    x: float                    # an ordinary argument of d and p


def _f(title, params, ordinary, x=0.7):
    return Family(title, tuple(Param(*p) for p in params), ordinary, x)


# In the module's registration order.
FAMILIES = {
    "norm": _f("normal", [("mu", "loc", 0), ("sigma", "pos", 1)], (1.5, 2.0)),
    "bern": _f("Bernoulli", [("prob", "prob")], (0.3,), 1),
    "beta": _f("beta", [("a", "pos"), ("b", "pos")], (0.6, 2.0)),
    "binom": _f("binomial", [("n_trials", "count"), ("prob", "prob")], (7, 0.4), 3),
    "cauchy": _f("Cauchy", [("mu", "loc"), ("sigma", "pos")], (-1.0, 0.5)),
    "chisq": _f("chi-squared", [("dof", "pos")], (1.5,)),
    "exp": _f("exponential", [("rate", "pos")], (2.5,)),
    "f": _f("F", [("df1", "pos"), ("df2", "pos")], (3.0, 0.9)),
    "gamma": _f("gamma", [("shape", "pos"), ("scale", "pos")], (0.8, 2.0)),
    "invgamma": _f("inverse-gamma", [("shape", "pos"), ("scale", "pos")], (2.0, 0.5)),
    "laplace": _f("Laplace", [("mu", "loc"), ("sigma", "pos")], (0.5, 3.0)),
    "lnorm": _f("log-normal", [("mu", "loc"), ("sigma", "pos")], (0.2, 0.7)),
    "logis": _f("logistic", [("mu", "loc"), ("sigma", "pos")], (1.0, 2.0)),
    "pois": _f("Poisson", [("rate", "pos")], (12.5,), 3),
    "t": _f("Student's t", [("dof", "pos")], (2.5,)),
    "unif": _f("uniform", [("a", "loc"), ("b", "loc")], (-2.0, 3.0)),
    "weibull": _f("Weibull", [("shape", "pos"), ("scale", "pos")], (1.7, 0.8)),
}
ORDER = list(FAMILIES)
DISCRETE = {"bern", "binom", "pois"}
# Every module function, in registration order: densities, then the random
# draws (registered with the engine), CDFs, quantiles.
FUNCTIONS = [prefix + d for prefix in "drpq" for d in ORDER]
ELEMENTWISE = [prefix + d for prefix in "dpq" for d in ORDER]
SAMPLERS = ["r" + d for d in ORDER]
INTEGER_KINDS = {"k", "count"}


def arguments(name):
    """[(name, kind, default)] of the arguments of module function `name`
    (the engine and size of a draw function left out)."""
    prefix, dist = name[0], name[1:]
    params = list(FAMILIES[dist].params)
    if prefix == "r":
        return params
    first = Param("p", "p") if prefix == "q" else Param("x", "k" if dist in DISCRETE else "x")
    flag = [] if prefix == "q" else [Param("log" if prefix == "d" else "log_p", "flag", False)]
    return [first, *params, *flag]


def dtype(kind):
    """The numpy element type the module converts an argument of `kind` to."""
    return "int64" if kind in INTEGER_KINDS else "bool" if kind == "flag" else "float64"


def ordinary_args(name):
    """Ordinary arguments of module function `name`: the family's ordinary
    argument (0.3 for p) and parameters; no flag, engine or size."""
    prefix, dist = name[0], name[1:]
    fam = FAMILIES[dist]
    return fam.ordinary if prefix == "r" else (0.3 if prefix == "q" else fam.x, *fam.ordinary)
