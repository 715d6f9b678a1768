"""The module's public surface: exactly the 68 functions and Engine, registered
in four groups in one module-wide order, each with the parameter names,
order, element types and defaults of the function table (read back from the
signatures pybind11 generates)."""
import re

import pytest

import distmill

ORDER = "norm bern beta binom cauchy chisq exp f gamma invgamma laplace lnorm logis pois t unif weibull".split()

# Distribution parameters, with 'i' marking the int64 parameters of the
# element-wise functions (the discrete x is marked in DISCRETE_X).
PARAMS = {
    "norm": ["mu", "sigma"], "bern": ["prob"], "beta": ["a", "b"], "binom": ["n_trials:i", "prob"],
    "cauchy": ["mu", "sigma"], "chisq": ["dof"], "exp": ["rate"], "f": ["df1", "df2"],
    "gamma": ["shape", "scale"], "invgamma": ["shape", "scale"], "laplace": ["mu", "sigma"],
    "lnorm": ["mu", "sigma"], "logis": ["mu", "sigma"], "pois": ["rate"], "t": ["dof"],
    "unif": ["a", "b"], "weibull": ["shape", "scale"],
}
DISCRETE_X = {"bern", "binom", "pois"}


def _split_params(sig):
    """Parameter records 'name: type = default' of one signature line."""
    inner = sig[sig.index("(") + 1: sig.rindex(") ->")]
    parts, depth, cur = [], 0, ""
    for ch in inner:
        if ch in "[(<":
            depth += 1
        elif ch in "])>":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append(cur.strip())
            cur = ""
        else:
            cur += ch
    parts.append(cur.strip())
    out = []
    for p in parts:
        name, rest = p.split(":", 1)
        default = rest.split(" = ", 1)[1] if " = " in rest else None
        out.append((name.strip(), rest.split(" = ", 1)[0].strip(), default))
    return out


def expected_elementwise(prefix, dist):
    first = "p" if prefix == "q" else "x"
    xtype = "int64" if (dist in DISCRETE_X and prefix != "q") else "float64"
    rows = [(first, xtype, None)]
    for p in PARAMS[dist]:
        name, _, kind = p.partition(":")
        rows.append((name, "int64" if kind == "i" else "float64", None))
    if dist == "norm":
        rows[1] = ("mu", "float64", "0")
        rows[2] = ("sigma", "float64", "1")
    if prefix == "d":
        rows.append(("log", "bool", "False"))
    elif prefix == "p":
        rows.append(("log_p", "bool", "False"))
    return rows


def test_public_names_are_exactly_the_68_functions_and_engine():
    public = [n for n in vars(distmill) if not n.startswith("_")]
    expected = [p + d for p in "dpqr" for d in ORDER] + ["Engine"]
    assert sorted(public) == sorted(expected)


def test_registration_order_densities_engine_draws_cdfs_quantiles():
    public = [n for n in vars(distmill) if not n.startswith("_")]
    expected = ([f"d{d}" for d in ORDER] + ["Engine"] + [f"r{d}" for d in ORDER]
                + [f"p{d}" for d in ORDER] + [f"q{d}" for d in ORDER])
    assert public == expected


@pytest.mark.parametrize("prefix", "dpq")
@pytest.mark.parametrize("dist", ORDER)
def test_elementwise_signature(prefix, dist):
    fn = getattr(distmill, prefix + dist)
    lines = fn.__doc__.strip().splitlines()
    assert len(lines) == 1, "element-wise functions have one signature and no docstring"
    got = _split_params(lines[0])
    want = expected_elementwise(prefix, dist)
    assert [g[0] for g in got] == [w[0] for w in want]
    assert [g[2] for g in got] == [w[2] for w in want]
    for (name, typ, _), (_, wtype, _) in zip(got, want):
        assert re.search(rf"numpy\.{wtype}\b", typ), (name, typ)
    assert lines[0].endswith("-> object")


@pytest.mark.parametrize("dist", ORDER)
def test_random_overloads(dist):
    fn = getattr(distmill, "r" + dist)
    sigs = [l.split(". ", 1)[1] for l in fn.__doc__.splitlines() if re.match(r"^[123]\. r", l)]
    assert len(sigs) == 3
    names = [p.partition(":")[0] for p in PARAMS[dist]]
    scalar, listed, counted = (_split_params(s) for s in sigs)
    assert [p[0] for p in scalar] == names + ["engine"]
    assert [p[0] for p in listed] == names + ["size", "engine"]
    assert [p[0] for p in counted] == names + ["size", "engine"]
    assert sigs[0].endswith("-> float")
    # list size, then integer size
    assert "Sequence" in listed[-2][1] or "List" in listed[-2][1]
    assert "Sequence" not in counted[-2][1] and "List" not in counted[-2][1]
    for sig in (scalar, listed, counted):
        assert sig[-1][2] is not None and "Engine" in sig[-1][1]  # engine has a default
        defaults = [p[2] for p in sig[:len(names)]]
        assert defaults == (["0", "1"] if dist == "norm" else [None] * len(names))
