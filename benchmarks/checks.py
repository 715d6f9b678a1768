"""Cost of the checks: the C++ benchmarks benchmarks/checks_gamma.cpp (the
checked incomplete gamma kernels and qpois, per region) and
benchmarks/checks_beta.cpp (the beta, F, t and logistic functions),
compiled with the module's floating-point flags and run.

    python3 benchmarks/checks.py [gamma] [beta]      default: both

Figures are nanoseconds per call, the best of several runs; the machine may
be shared, so only ratios mean much.
"""
import pathlib
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))
from support import probe  # noqa: E402


def run(which):
    exe = pathlib.Path(tempfile.mkdtemp()) / f"checks_{which}"
    probe.compile_cpp([HERE / f"checks_{which}.cpp"], exe)
    return subprocess.run([str(exe)], check=True, capture_output=True, text=True).stdout


def main():
    for which in sys.argv[1:] or ["gamma", "beta"]:
        print(run(which))


if __name__ == "__main__":
    main()
