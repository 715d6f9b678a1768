"""What the tests and the tools share.

    equality    same_bits, same_value_and_sign, same_value_or_both_nan
    metrics     ulps, relative error, the agreement rule of the checked
                functions (probabilities, quantiles, log-densities)
    references  mpmath values of the 17 families (d, p, q and log forms)
                and of the incomplete gamma and beta functions
    families    the family table: names, parameters, kinds, defaults,
                ordinary values
    signatures  the signature lines pybind11 writes into __doc__, read back
    probe       the C++ compiler with the module's floating-point flags,
                and the probe library of tests/cpp/probe_*.cpp
    child       child interpreters (one-shot and persistent)
    mt64        a pure-Python 64-bit Mersenne Twister and primitive draws

Tests import it as `support` (pytest puts tests/ on the path); a tool adds
tests/ to sys.path first:

    sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests"))
"""
import pathlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
