"""Shared fixtures.

`kernels` is a ctypes handle to the cxmath kernels themselves: every
tests/cpp/probe_*.cpp file is compiled, with the same floating-point flags
as the module, into one shared library for the test session (support/probe.py).
The module's own attributes are fixed, so this is how tests reach the kernels
directly.
"""
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


@pytest.fixture(scope="session")
def kernels(tmp_path_factory):
    try:
        return probe.load(workdir=tmp_path_factory.mktemp("probe"))
    except probe.CompileError as exc:
        pytest.fail(str(exc))
