"""Shared fixtures.

`kernels` is a ctypes handle to the cxmath kernels themselves: every
tests/cpp/probe_*.cpp file is compiled, with the same floating-point flags
as the module, into one shared library for the test session.  The module's
own attributes are fixed, so this is how tests reach the kernels directly.

The compiler is $CXX when set (it may carry options, e.g. "ccache g++"),
else g++, else c++.  Where none is found (an installed wheel on a machine
without a compiler) the tests that compile skip with that reason, and so do
the tests whose package of the test extra is missing (`need`) - unless
DISTMILL_TESTS_COMPLETE=1 is set, as CI sets it: then every such test must
run, and a missing compiler or package fails it.
"""
import ctypes
import importlib
import os
import pathlib
import shlex
import shutil
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
CPP = ROOT / "tests" / "cpp"
CXXFLAGS = ["-std=c++20", "-O2", "-ffp-contract=off", "-fno-fast-math", f"-I{ROOT / 'src'}"]


def _skip_or_fail(why):
    if os.environ.get("DISTMILL_TESTS_COMPLETE") == "1":
        pytest.fail(why, pytrace=False)
    pytest.skip(why, allow_module_level=True)


def need(module):
    """Import a package of the test extra, or skip (fail under
    DISTMILL_TESTS_COMPLETE=1) when it is not installed."""
    try:
        return importlib.import_module(module)
    except ImportError as e:
        _skip_or_fail(f"{module} comes with the test extra: pip install '.[test]' ({e})")


def compiler():
    """The C++ compiler command as a list, or None if there is none."""
    words = shlex.split(os.environ.get("CXX", ""))
    if words:
        return words if shutil.which(words[0]) else None
    found = shutil.which("g++") or shutil.which("c++")
    return [found] if found else None


def compile_cpp(sources, out, extra=()):
    cxx = compiler()
    if cxx is None:
        why = f"no C++ compiler ({os.environ.get('CXX') or 'g++, c++'}) to compile the kernel checks"
        _skip_or_fail(why)
    cmd = [*cxx, *CXXFLAGS, *extra, *map(str, sources), "-o", str(out)]
    proc = subprocess.run(cmd, capture_output=True, text=True)
    if proc.returncode != 0:
        pytest.fail(f"compiling {[s.name for s in sources]} failed:\n{proc.stderr[-4000:]}")
    return out


class Kernels:
    """Attribute access returns the extern "C" probe function of that name,
    typed from the PROBE_SIGNATURES table of the probe sources."""

    _ctype = {"d": ctypes.c_double, "l": ctypes.c_longdouble, "i": ctypes.c_int64, "b": ctypes.c_bool,
              "u": ctypes.c_uint64}

    def __init__(self, lib, signatures):
        self._lib = lib
        self._sig = signatures

    def __getattr__(self, name):
        sig = self._sig[name]  # e.g. "d:dd" -> double f(double, double)
        ret, args = sig.split(":")
        fn = getattr(self._lib, name)
        fn.restype = self._ctype[ret]
        fn.argtypes = [self._ctype[c] for c in args]
        setattr(self, name, fn)
        return fn


def _signatures(sources):
    # Each probe declares its functions as   PROBE(name, "r:args")
    import re
    sig = {}
    for src in sources:
        for name, s in re.findall(r'PROBE\(\s*(\w+)\s*,\s*"([^"]+)"', src.read_text()):
            sig[name] = s
    return sig


@pytest.fixture(scope="session")
def kernels(tmp_path_factory):
    sources = sorted(CPP.glob("probe_*.cpp"))
    out = tmp_path_factory.mktemp("probe") / "libprobe.so"
    compile_cpp(sources, out, extra=["-shared", "-fPIC"])
    return Kernels(ctypes.CDLL(str(out)), _signatures(sources))
