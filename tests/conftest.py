"""Shared fixtures.

`kernels` is a ctypes handle to the cxmath kernels themselves: every
tests/cpp/probe_*.cpp file is compiled, with the same floating-point flags
as the module, into one shared library for the test session (support/probe.py).
The module's own attributes are fixed, so this is how tests reach the kernels
directly.

The compiler is $CXX when set (it may carry options, e.g. "ccache g++"),
else g++, else c++.  Where none is found (an installed wheel on a machine
without a compiler) the tests that compile skip with that reason, and so do
the tests whose package of the test extra is missing (`need`) - unless
DISTMILL_TESTS_COMPLETE=1 is set, as CI sets it: then every such test must
run, and a missing compiler or package fails it.
"""
import importlib
import os

import pytest

from support import probe

try:
    import mpmath
except ImportError:     # the tests that need it fail on their own import
    pass
else:
    # Every test computes its mpmath references at this precision unless
    # it asks for another locally.
    mpmath.mp.prec = 200


def skip_or_fail(why):
    if os.environ.get("DISTMILL_TESTS_COMPLETE") == "1":
        pytest.fail(why, pytrace=False)
    pytest.skip(why, allow_module_level=True)


def need(module):
    """Import a package of the test extra, or skip (fail under
    DISTMILL_TESTS_COMPLETE=1) when it is not installed."""
    try:
        return importlib.import_module(module)
    except ImportError as e:
        skip_or_fail(f"{module} comes with the test extra: pip install '.[test]' ({e})")


def need_compiler():
    """The C++ compiler command, or skip (fail under DISTMILL_TESTS_COMPLETE=1)."""
    cxx = probe.compiler()
    if cxx is None:
        skip_or_fail(f"no C++ compiler ({os.environ.get('CXX') or 'g++, c++'}) to compile the kernel checks")
    return cxx


@pytest.fixture(scope="session")
def kernels(tmp_path_factory):
    need_compiler()
    try:
        return probe.load(workdir=tmp_path_factory.mktemp("probe"))
    except probe.CompileError as exc:
        pytest.fail(str(exc))
