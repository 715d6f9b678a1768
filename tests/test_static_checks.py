"""Compile-time checks: every tests/cpp/static_*.cpp holds static_asserts of
exact kernel values.  Compiling it (syntax and constant evaluation only) is
the test; a failed assertion, or a kernel that cannot be evaluated at compile
time, is a compile error."""
import pytest

from conftest import need_compiler
from support import probe

SOURCES = sorted(probe.CPP.glob("static_*.cpp"))


@pytest.mark.parametrize("source", SOURCES, ids=[s.stem for s in SOURCES])
def test_static_asserts_hold(source, tmp_path):
    need_compiler()
    try:
        probe.compile_cpp([source], tmp_path / "unused.o", extra=["-fsyntax-only"])
    except probe.CompileError as exc:
        pytest.fail(str(exc))
