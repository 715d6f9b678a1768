"""The C++ side of the tests and tools: one compiler command with the
module's floating-point flags, and the probe library.

Every file tests/cpp/probe_*.cpp exports kernels of src/ as extern "C"
functions, each marked PROBE(name, "ret:args") (type letters: d double,
i int64, b bool, u uint64).  `load` compiles them into one shared library
and returns a handle whose attributes are those functions, typed from their
marks.  The compiler is $CXX if set, else g++ or c++.

DISTMILL_SOFT_EXT=1 compiles the probes with the software extended format,
as the CMake option of that name builds the module, so that the suite run
against such a build (PYTHONPATH=<its build folder>) checks the same
format in the kernels it reaches directly.
"""
import concurrent.futures
import ctypes
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import tempfile

from . import ROOT

CPP = ROOT / "tests" / "cpp"
# As CMakeLists.txt compiles the module: no fused multiply-add, no fast-math.
FLAGS = ["-std=c++20", "-O2", "-ffp-contract=off", "-fno-fast-math", f"-I{ROOT / 'src'}"]
SOFT_EXT = os.environ.get("DISTMILL_SOFT_EXT") == "1"
if SOFT_EXT:
    FLAGS.append("-DDISTMILL_SOFT_EXT")


class CompileError(RuntimeError):
    pass


def compiler():
    """The compiler command as a list, or None when there is none."""
    words = shlex.split(os.environ.get("CXX", ""))
    if words:
        return words if shutil.which(words[0]) else None
    found = shutil.which("g++") or shutil.which("c++")
    return [found] if found else None


def _constexpr_budget(cxx):
    """The flag that lets the compile-time checks run with the software
    format, whose every operation is many steps of constant evaluation (the
    longest check, a sum of 6500 binomial masses, needs five to eight times
    GCC's default budget of 2^25; this gives 2^30)."""
    version = subprocess.run([*cxx, "--version"], capture_output=True, text=True).stdout
    limit = 1 << 30
    return [f"-fconstexpr-steps={limit}" if "clang" in version else f"-fconstexpr-ops-limit={limit}"]


def compile_cpp(sources, out, extra=(), src=None):
    """Compiles `sources` to `out` with FLAGS and `extra`; returns `out`.
    `src` replaces this tree's src/ as the include directory (the sources
    of another worktree)."""
    cxx = compiler()
    if cxx is None:
        raise CompileError("no C++ compiler: set CXX or install g++")
    budget = _constexpr_budget(cxx) if SOFT_EXT else []
    flags = FLAGS if src is None else [f"-I{src}" if f.startswith("-I") else f for f in FLAGS]
    cmd = [*cxx, *flags, *budget, *extra, *map(str, sources), "-o", str(out)]
    proc = subprocess.run(cmd, capture_output=True, text=True)
    if proc.returncode != 0:
        raise CompileError(f"compiling {[pathlib.Path(s).name for s in sources]} failed:\n{proc.stderr[-4000:]}")
    return out


_CTYPES = {"d": ctypes.c_double, "i": ctypes.c_int64, "b": ctypes.c_bool, "u": ctypes.c_uint64}


def signatures(sources):
    """{name: "ret:args"} of the PROBE marks in `sources`."""
    sig = {}
    for src in sources:
        sig.update(re.findall(r'PROBE\(\s*(\w+)\s*,\s*"([^"]+)"', pathlib.Path(src).read_text()))
    return sig


class Probes:
    """Attribute access returns the probe function of that name, typed."""

    def __init__(self, lib, signatures):
        self._lib = lib
        self._sig = signatures

    def __getattr__(self, name):
        if name.startswith("_") or name not in self._sig:
            raise AttributeError(name)
        ret, args = self._sig[name].split(":")
        fn = getattr(self._lib, name)
        fn.restype = _CTYPES[ret]
        fn.argtypes = [_CTYPES[c] for c in args]
        setattr(self, name, fn)
        return fn


def load(sources=None, workdir=None):
    """Probes of `sources` (default: every tests/cpp/probe_*.cpp), compiled
    into a shared library in `workdir` (default: a new temporary folder).
    The sources compile side by side, one compiler per processor, and are
    linked after."""
    sources = sorted(CPP.glob("probe_*.cpp")) if sources is None else list(sources)
    work = pathlib.Path(workdir or tempfile.mkdtemp())
    objects = [work / f"{pathlib.Path(s).stem}.o" for s in sources]
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        for job in [pool.submit(compile_cpp, [s], o, extra=["-c", "-fPIC"]) for s, o in zip(sources, objects)]:
            job.result()
    out = compile_cpp(objects, work / "libprobe.so", extra=["-shared", "-fPIC"])
    return Probes(ctypes.CDLL(str(out)), signatures(sources))
