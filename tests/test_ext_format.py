"""The software extended format (src/cxmath/ext/soft.hpp) reproduces the
x87 unit: every operation on operand families that reach its rounding,
denormal, overflow and NaN paths gives the unit's bits (the long run of the
same comparison is tools/check/ext_check.cpp).  Literals must be exact."""
import subprocess

import pytest

from conftest import need_compiler
from support import ROOT
from support.probe import CompileError, compile_cpp

OPS = ["add", "sub", "mul", "div", "compare", "negate_fabs", "from_double", "to_double",
       "from_int64", "from_uint64", "from_int32", "to_int64", "to_int32"]


@pytest.mark.parametrize("seed", [1, 2])
@pytest.mark.parametrize("op", range(len(OPS)), ids=OPS)
def test_software_format_matches_the_unit(kernels, op, seed):
    bad = kernels.k_ext_format_disagreements(op, 100_000, seed)
    if bad == -1:
        pytest.skip("no x87 unit to compare with")
    assert bad == 0


DRIVER = """
#include <cstdio>
#include "ext_compare.hpp"
int main() {
  long long bad = 0;
  for (int op = 0; op < ext_check::N_OPS; ++op) bad += ext_check::mismatches(ext_check::Op(op), 100000, 3);
  std::printf("%lld\\n", bad);
}
"""

# Deliberate faults in the model, each of which the comparison must see.
MUTANTS = {
    "ties away from zero": ("if (lo > soft_detail::TOP || (lo == soft_detail::TOP && (hi & 1)))",
                            "if (lo >= soft_detail::TOP)"),
    "denormal ties": ("if (l > soft_detail::TOP || (l == soft_detail::TOP && (h & 1))) ++h;",
                      "if (l > soft_detail::TOP) ++h;"),
    "lost sticky bit of a far operand": ("bl = (mb >> (d - 64)) | ((mb << (128 - d)) != 0);",
                                         "bl = mb >> (d - 64);"),
    "lost remainder of a quotient": ("const u64 lo = (static_cast<u64>(bit) << 63) | (r2 != 0);",
                                     "const u64 lo = static_cast<u64>(bit) << 63;"),
    "double rounding ties": ("if (rest > half || (rest == half && (q & 1))) ++q;", "if (rest >= half) ++q;"),
    "NaN sign": ("r = a.neg() ? b : a;", "r = a;"),
}


@pytest.mark.parametrize("mutant", MUTANTS, ids=list(MUTANTS))
def test_comparison_catches_a_faulty_model(kernels, mutant, tmp_path):
    if kernels.k_ext_format_disagreements(0, 1, 1) == -1:
        pytest.skip("no x87 unit to compare with")
    old, new = MUTANTS[mutant]
    source = (ROOT / "src/cxmath/ext/soft.hpp").read_text()
    assert source.count(old) == 1
    (tmp_path / "cxmath/ext").mkdir(parents=True)
    (tmp_path / "cxmath/ext/soft.hpp").write_text(source.replace(old, new))
    # Quoted includes look beside the including file first, so the copy of
    # the comparison here includes the faulty model.
    (tmp_path / "ext_compare.hpp").write_text((ROOT / "tools/check/ext_compare.hpp").read_text())
    (tmp_path / "driver.cpp").write_text(DRIVER)
    exe = compile_cpp([tmp_path / "driver.cpp"], tmp_path / "driver")
    out = subprocess.run([str(exe)], capture_output=True, text=True, check=True).stdout
    assert int(out) > 0


@pytest.mark.parametrize("text", ["0x1.00000000000000008p0", "0x1p-16446", "0x1p+16384", "18446744073709551616",
                                  "0.5", "0x1.8"])
def test_inexact_or_malformed_literal_does_not_compile(text, tmp_path):
    need_compiler()
    src = tmp_path / "lit.cpp"
    src.write_text(f'#include "cxmath/ext/ext.hpp"\nusing namespace cxmath;\nconstexpr ext v = {text}_x;\n')
    with pytest.raises(CompileError):
        compile_cpp([src], tmp_path / "lit.o", extra=["-fsyntax-only"])


def digest_twin():
    import importlib.util
    found = importlib.util.spec_from_file_location("digest_py", ROOT / "tools/check/digest/digest.py")
    twin = importlib.util.module_from_spec(found)
    found.loader.exec_module(twin)
    return twin


def test_module_gives_the_recorded_digest():
    """Every bit of the 68 functions (the d, p and q values at special
    values and random points over the whole range, the r functions'
    streams), as recorded: the same with GCC and clang, with the x87 unit and
    the software format, and on the lane width in use.  A deliberate change
    of results re-records the file (digest.py > recorded.txt)."""
    twin = digest_twin()
    recorded = twin.read(ROOT / "tools/check/digest/recorded.txt")
    differ = twin.differing(twin.lines(2000, 2000), recorded)
    assert len(recorded) == 68 and not differ, differ


def test_digest_driver_agrees_with_the_module(tmp_path):
    """tools/check/digest: the C++ driver over the scalar functions and its
    twin through the module give the same digest lines (same inputs built by
    integer operations on both sides, same order, same hash)."""
    need_compiler()
    twin = digest_twin()
    exe = compile_cpp([ROOT / "tools/check/digest/digest.cpp"], tmp_path / "digest", extra=["-O1"])
    out = subprocess.run([str(exe), "--random", "40", "--draws", "40"], capture_output=True, text=True,
                         check=True).stdout.split("\n")[:-1]
    assert out == twin.lines(40, 40)
