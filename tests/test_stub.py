"""The type stub distmill.pyi against the module it describes.

The module's real signatures are read from the lines the binding layer
writes into each function's __doc__; the stub is read with `ast`.  Both
must agree on the public names, on every parameter's name, position and
default, on the forms of every function (scalar and array overloads of the
element-wise functions, the three forms of the draw functions), and on the
scalar type of each parameter (count, real or flag).  A type checker then
runs over a usage file (test_typecheck_usage).
"""
import ast
import importlib.util

import pytest

import distmill
from support import ROOT
from support.child import installed_root
from support.signatures import forms, split_params

STUB = ROOT / "src" / "module" / "distmill.pyi"

PUBLIC = [n for n in vars(distmill) if not n.startswith("_")]
FUNCTIONS = [n for n in PUBLIC if n != "Engine"]


# ---------------------------------------------------------------- runtime side

def runtime_forms(name):
    return forms(getattr(distmill, name))


def runtime_category(typ, pname):
    """The stub's scalar alias expected for a runtime parameter type."""
    if "Engine" in typ:
        return "Engine"
    if pname == "size":
        return "_Shape" if ("Sequence" in typ or "List" in typ) else "_Size"
    if "int64" in typ:
        return "_Count"
    if "Int" in typ or typ == "int":
        return "_Int"
    if "bool" in typ:
        return "_Flag"
    return "_Real"


# ------------------------------------------------------------------- stub side

def _stub_tree():
    return ast.parse(STUB.read_text(), filename=str(STUB))


def stub_functions():
    """name -> list of overload FunctionDefs, in file order."""
    out = {}
    for node in _stub_tree().body:
        if isinstance(node, ast.FunctionDef):
            decorators = [ast.unparse(d) for d in node.decorator_list]
            assert decorators == ["overload"], f"{node.name}: every stub function is an overload"
            out.setdefault(node.name, []).append(node)
    return out


def stub_params(fn):
    """[(name, annotation text, default text or None, keyword_only)]."""
    a = fn.args
    assert not a.vararg and not a.kwarg and not a.posonlyargs, fn.name
    defaults = [None] * (len(a.args) - len(a.defaults)) + list(a.defaults)
    rows = [(p.arg, ast.unparse(p.annotation), d, False) for p, d in zip(a.args, defaults)]
    rows += [(p.arg, ast.unparse(p.annotation), d, True) for p, d in zip(a.kwonlyargs, a.kw_defaults)]
    return [(n, t, None if d is None else ast.unparse(d), k) for n, t, d, k in rows]


def expected_default(runtime_default):
    """The stub spelling of a runtime default: the default engine, whose
    repr is an object address, is written `...`."""
    if runtime_default is None:
        return None
    return "..." if runtime_default.startswith("<") else runtime_default


# ---------------------------------------------------------------------- tests

def test_stub_declares_exactly_the_module_surface():
    tree = _stub_tree()
    declared = [n.name for n in tree.body if isinstance(n, (ast.FunctionDef, ast.ClassDef))]
    public = [n for n in dict.fromkeys(declared) if not n.startswith("_")]
    assert sorted(public) == sorted(PUBLIC)
    assert len(FUNCTIONS) == 68


def test_engine_constructor():
    (params, ret), = [(split_params(l), l) for l in distmill.Engine.__init__.__doc__.strip().splitlines()[:1]]
    assert [p[0] for p in params] == ["self", "arg0"] and params[1][2] is None
    cls = next(n for n in _stub_tree().body if isinstance(n, ast.ClassDef) and n.name == "Engine")
    inits = [n for n in cls.body if isinstance(n, ast.FunctionDef)]
    assert [n.name for n in inits] == ["__init__"], "Engine has its constructor and nothing else"
    a = inits[0].args
    # The seed has no name at run time: positional-only, required, an integer.
    assert [p.arg for p in a.posonlyargs] == ["self", "seed"]
    assert not a.args and not a.kwonlyargs and not a.defaults and not a.vararg and not a.kwarg
    assert ast.unparse(a.posonlyargs[1].annotation) == "_Int"


@pytest.mark.parametrize("name", [n for n in FUNCTIONS if n[0] in "dpq"])
def test_elementwise_function(name):
    (params, _), = runtime_forms(name)
    overloads = stub_functions()[name]
    # Scalars give a float; lists and tuples an array; any other array-like
    # (a numpy array, perhaps zero-dimensional) a float or an array.
    assert len(overloads) == 3, "scalar, list and array-like overloads"
    scalar, listed, array = (stub_params(f) for f in overloads)
    want_names = [p[0] for p in params]
    want_defaults = [expected_default(p[2]) for p in params]
    for rows in (scalar, listed, array):
        assert [r[0] for r in rows] == want_names
        assert [r[2] for r in rows] == want_defaults
        assert not any(r[3] for r in rows), "no keyword-only parameters"
    assert [r[1] for r in scalar] == [runtime_category(t, n) for n, t, _ in params]
    assert all(r[1] == "_Listed" for r in listed)
    assert all(r[1] == "ArrayLike" for r in array)
    assert [ast.unparse(f.returns) for f in overloads] == ["float", "_Array", "float | _Array"]


def _form_of(fn):
    names = {r[0]: r[1] for r in stub_params(fn)}
    return {"_Shape": "list", "_Size": "int"}.get(names.get("size"), "scalar")


@pytest.mark.parametrize("name", [n for n in FUNCTIONS if n[0] == "r"])
def test_random_function(name):
    runtime = runtime_forms(name)
    assert len(runtime) == 3
    overloads = stub_functions()[name]
    # The stub lists the forms in the module's overload order.
    order = list(dict.fromkeys(_form_of(f) for f in overloads))
    assert order == ["scalar", "list", "int"]
    for form, (params, ret) in zip(order, runtime):
        group = [stub_params(f) for f in overloads if _form_of(f) == form]
        returns = {ast.unparse(f.returns) for f in overloads if _form_of(f) == form}
        assert returns == ({"float"} if form == "scalar" else {"_Array"})
        assert (ret == "float") == (form == "scalar"), ret
        want_names = [p[0] for p in params]
        for rows in group:
            assert [r[0] for r in rows] == want_names
            assert [r[1] for r in rows] == [runtime_category(t, n) for n, t, _ in params]
        for i, (pname, _, rdefault) in enumerate(params):
            want = expected_default(rdefault)
            got = {rows[i][2] for rows in group}
            # A default may be dropped in one overload only where Python
            # syntax forces it (a required size after it): then a sibling
            # overload keeps it and takes size by keyword.
            assert want in got and got <= {want, None}, (pname, got, want)
            assert any(not rows[i][3] for rows in group), f"{pname} must be accepted by position"
        if len(group) > 1:
            k = want_names.index("size")
            assert any(d is not None for _, _, d in params[:k]), "split only for a size after defaults"
            assert sorted(rows[k][3] for rows in group) == [False, True]


def test_generated_stub_is_current():
    found = importlib.util.spec_from_file_location("gen_stub", ROOT / "tools" / "gen" / "gen_stub.py")
    gen = importlib.util.module_from_spec(found)
    found.loader.exec_module(gen)
    assert gen.generate() == STUB.read_text(), "rerun PYTHONPATH=build python3 tools/gen/gen_stub.py"


def test_installed_stub_is_the_source_stub():
    root = installed_root()
    if root is None:
        pytest.skip("distmill is imported from a build tree, not an installation")
    text = STUB.read_text()
    assert (root / "distmill.pyi").read_text() == text
    assert (root / "distmill-stubs" / "__init__.pyi").read_text() == text
