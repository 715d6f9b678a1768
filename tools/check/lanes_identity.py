"""Bit identity of the lanes, the long run (the test suite runs a short one):

1. the kernels on packs (cxmath/lanes/) against the scalar kernels, lane by
   lane, on --inputs arguments per kernel and instruction set the processor
   has (NaN, infinities, subnormals, arbitrary bit patterns, the guards'
   edges and the fractions' ranges; tests/cpp/probe_lanes.cpp);
2. the output digest of all 68 functions (tools/check/digest/digest.py)
   with the module's lanes set to each width the processor has, to the
   scalar lane type and off (DISTMILL_LANES);
3. the code of the lane loops (src/module/lanes_*.cpp) as each compiler at
   hand builds it: no fused multiply-add instruction, and no function that
   computes on packs left out of line (where it would be compiled for the
   baseline instead of its caller's instruction set).

    PYTHONPATH=build python3 tools/check/lanes_identity.py [--inputs 10000000]

Exit status 1 when anything differs.
"""
import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests"))
from support import probe  # noqa: E402

ISAS = {1: "sse2", 2: "avx2", 3: "avx512"}
KERNELS = {0: "log", 1: "exp", 2: "log_core", 3: "pack operations", 4: "expm1", 5: "log1p", 6: "tanh fraction",
           7: "erf given exp", 9: "sqrt", 10: "atan"}
# Lanes per probe iteration: a pack of the module's interleave (4 registers
# for SSE2 and AVX2, 2 for AVX-512) and one of a single register.
LANES_PER_ITERATION = {1: 5 * 2, 2: 5 * 4, 3: 3 * 8}


def packs(inputs, log):
    lib = probe.load([probe.CPP / "probe_lanes.cpp"], tempfile.mkdtemp())
    bad = 0
    for isa, name in ISAS.items():
        n = -(-inputs // LANES_PER_ITERATION[isa])
        for what, kernel in KERNELS.items():
            t = time.time()
            got = lib.k_pack_mismatches(what, n, 1000 + 10 * isa + what, isa)
            if got < 0:
                log(f"  {name:7s} not on this processor")
                break
            log(f"  {name:7s} {kernel:16s} {n * LANES_PER_ITERATION[isa]:>12,} lanes  {got} differ  ({time.time() - t:.0f} s)")
            bad += got
    return bad


def digests(log):
    from support.child import LANE_ORDER as order, widest_lanes
    modes = ["off"] + order[:order.index(widest_lanes()) + 1]
    bad = 0
    for tool in ("digest/digest.py",):
        ref = None
        for mode in modes:
            env = dict(os.environ, DISTMILL_LANES=mode)
            out = subprocess.run([sys.executable, str(ROOT / "tools" / "check" / tool)], env=env,
                                 capture_output=True, text=True, check=True).stdout
            if ref is None:
                ref = out
                log(f"  {tool:20s} {mode:7s} (reference)")
                continue
            differ = [a.split()[0] for a, b in zip(ref.splitlines(), out.splitlines()) if a != b]
            log(f"  {tool:20s} {mode:7s} {len(differ)} of 68 differ" + (": " + " ".join(differ) if differ else ""))
            bad += len(differ)
    return bad


def codegen(log):
    bad = 0
    pack = re.compile(r"Pack<")
    fma = re.compile(r"\bv?f(n)?m(add|sub)\w*", re.I)
    for cxx in ("g++", "clang++"):
        if not shutil.which(cxx):
            log(f"  {cxx}: not installed")
            continue
        out_of_line, fused = [], []
        for source in sorted((ROOT / "src" / "module").glob("lanes_*.cpp")):
            obj = pathlib.Path(tempfile.mkdtemp()) / (source.stem + ".o")
            subprocess.run([cxx, "-std=c++20", "-O3", "-Wno-psabi", "-ffp-contract=off", "-fno-fast-math",
                            f"-I{ROOT / 'src'}", "-c", str(source), "-o", str(obj)], check=True)
            symbols = subprocess.run(["nm", "-C", str(obj)], capture_output=True, text=True, check=True).stdout
            out_of_line += [l for l in symbols.splitlines() if pack.search(l)]
            code = subprocess.run(["objdump", "-d", "--no-show-raw-insn", str(obj)], capture_output=True,
                                  text=True, check=True).stdout
            fused += [l for l in code.splitlines() if "\t" in l and fma.search(l.split("\t")[-1].split()[0])]
        log(f"  {cxx}: {len(fused)} fused multiply-add instructions, {len(out_of_line)} functions on packs "
            "out of line")
        for l in out_of_line[:10]:
            log("    " + l)
        bad += len(fused) + len(out_of_line)
    return bad


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--inputs", type=int, default=10**7, help="arguments per kernel and instruction set")
    args = ap.parse_args()

    def log(msg):
        print(msg, flush=True)

    log("kernels on packs against the scalar kernels:")
    bad = packs(args.inputs, log)
    log("output digests per lane setting:")
    bad += digests(log)
    log("code of the lane loops:")
    bad += codegen(log)
    log("all identical" if bad == 0 else f"{bad} differences")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
