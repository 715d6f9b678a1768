"""The module's public surface: exactly the 68 functions and Engine,
registered in four groups in one module-wide order, each with the parameter
names, order, element types and defaults of the family table
(support/families.py), read back from the signatures pybind11 generates,
and each element-wise function callable by position and by keyword."""
import math
import re

import pytest

import distmill
from support.families import ELEMENTWISE, FAMILIES, ORDER, arguments, dtype, ordinary_args
from support.signatures import forms


def test_module_docstring():
    assert distmill.__doc__ == "pybind11 wrapper for zorvan/distmill"


def test_public_names_in_registration_order():
    # Densities, then the engine and random draws, then CDFs, then quantiles;
    # within each group the module-wide order of distributions; and nothing
    # else but dunder attributes.
    public = [n for n in vars(distmill) if not n.startswith("__")]
    expected = ([f"d{d}" for d in ORDER] + ["Engine"] + [f"r{d}" for d in ORDER]
                + [f"p{d}" for d in ORDER] + [f"q{d}" for d in ORDER])
    assert public == expected


@pytest.mark.parametrize("name", ELEMENTWISE)
def test_elementwise_signature(name):
    fn = getattr(distmill, name)
    lines = fn.__doc__.strip().splitlines()
    assert len(lines) == 1, "element-wise functions have one signature and no docstring"
    assert lines[0].startswith(name + "(") and lines[0].endswith("-> object")
    (got, _), = forms(fn)
    want = arguments(name)
    assert [g[0] for g in got] == [w.name for w in want]
    assert [g[2] for g in got] == [None if w.default is None else str(w.default) for w in want]
    for (pname, typ, _), w in zip(got, want):
        assert re.search(rf"numpy\.{dtype(w.kind)}\b", typ), (pname, typ)


@pytest.mark.parametrize("name", ELEMENTWISE)
def test_elementwise_arguments_by_position_and_keyword(name):
    fn = getattr(distmill, name)
    params = [a.name for a in arguments(name)]
    args = [*ordinary_args(name), True][:len(params)]      # the flag set
    by_pos = fn(*args)
    assert not math.isnan(by_pos)
    assert fn(**dict(zip(params, args))) == by_pos
    assert fn(*args[:1], **dict(zip(params[1:], args[1:]))) == by_pos
    # Reversed keyword order is still matched by name.
    assert fn(**dict(reversed(list(zip(params, args))))) == by_pos


@pytest.mark.parametrize("dist", ORDER)
def test_random_overloads(dist):
    fn = getattr(distmill, "r" + dist)
    (scalar, ret), (listed, _), (counted, _) = forms(fn)
    names = [p.name for p in FAMILIES[dist].params]
    assert [p[0] for p in scalar] == names + ["engine"]
    assert [p[0] for p in listed] == names + ["size", "engine"]
    assert [p[0] for p in counted] == names + ["size", "engine"]
    assert ret == "float"
    # list size, then integer size
    assert "Sequence" in listed[-2][1] or "List" in listed[-2][1]
    assert "Sequence" not in counted[-2][1] and "List" not in counted[-2][1]
    for sig in (scalar, listed, counted):
        assert sig[-1][2] is not None and "Engine" in sig[-1][1]  # engine has a default
        defaults = [p[2] for p in sig[:len(names)]]
        assert defaults == [None if p.default is None else str(p.default) for p in FAMILIES[dist].params]
