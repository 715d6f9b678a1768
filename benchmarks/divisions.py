"""How far each array function is from the divider: the divisions it
executes per element, counted, times the divider's measured time per
division, against its measured time per element.

    PYTHONPATH=build python3 benchmarks/divisions.py [--only dnorm,pgamma] [--out F]

Every kernel is a chain of divisions (continued fractions, the log and exp
bodies, the quotients of the formulas), and the divider is the one unit no
reordering can share out: its throughput bounds the time per element from
below.  This script
  1. compiles and runs benchmarks/divider.cpp: ns per division instruction
     with eight quotients in flight, for scalar doubles, 2-, 4- and 8-lane
     packs and the extended type;
  2. runs one child process under valgrind's callgrind (instruction-exact
     execution counts; on the lanes the module chooses, AVX2 at most, which
     valgrind runs) calling every function on the first elements of the
     benchmark's arrays (benchmarks/run.py), the profile dumped between
     calls, and sums the execution counts of the module's division
     instructions (divsd, divpd, x87 fdiv) per kind;
  3. times every function natively on 10^6 elements (10^4 for the
     iterative quantiles) with scipy.stats beside it.
The bound of a function is the sum over kinds of (division instructions
per element) x (ns per instruction); the distance is its time
over the bound (1: the divider never rests).  Square roots share the
divider on most processors and are counted with it.
"""
import argparse
import collections
import json
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))
sys.path.insert(0, str(HERE))

N_COUNTED = 4000          # elements per function under callgrind
N_COUNTED_ITERATIVE = 400

# Division and square-root mnemonics by kind: (kind of divider throughput,
# lanes per instruction).  The vector forms' lane count depends on the
# register (xmm 2, ymm 4, zmm 8) and is read off the operands.
SCALAR_OPS = {"divsd", "vdivsd", "sqrtsd", "vsqrtsd"}
PACKED_OPS = {"divpd", "vdivpd", "sqrtpd", "vsqrtpd"}
X87_OPS = re.compile(r"^f(i?divr?p?|sqrt)$")


def division_sites(so):
    """{address: (kind, lanes)} of the division instructions in the module."""
    out = subprocess.run(["objdump", "-d", "--no-show-raw-insn", str(so)], capture_output=True, text=True,
                         check=True).stdout
    sites = {}
    for line in out.splitlines():
        m = re.match(r"\s*([0-9a-f]+):\s+(\S+)\s*(.*)", line)
        if not m:
            continue
        addr, op, operands = int(m.group(1), 16), m.group(2), m.group(3)
        if op in SCALAR_OPS:
            sites[addr] = ("scalar", 1)
        elif op in PACKED_OPS:
            lanes = 8 if "%zmm" in operands else 4 if "%ymm" in operands else 2
            sites[addr] = ({2: "sse2", 4: "avx2", 8: "avx512"}[lanes], lanes)
        elif X87_OPS.match(op):
            sites[addr] = ("ext", 1)
    return sites


def parse_callgrind(path, object_name):
    """{address: executions} of the instructions of the object whose path
    ends in object_name, from a callgrind profile dumped with
    --dump-instr=yes --dump-line=no."""
    counts = collections.Counter()
    names = {}
    current_ob = None
    last = 0
    skip_next = False
    with open(path) as f:
        for line in f:
            if line.startswith(("ob=", "cob=")):
                # Object names are compressed: "(id) name" the first time an
                # id appears (as the caller's or a callee's object), "(id)"
                # after.
                m = re.match(r"c?ob=\((\d+)\)\s*(.*)", line.strip())
                if m.group(2):
                    names[m.group(1)] = m.group(2)
                if line.startswith("ob="):
                    current_ob = names.get(m.group(1), "")
                continue
            if line.startswith("calls="):
                skip_next = True
                continue
            c = line[0] if line else ""
            if not (c == "0" or c in "+-*"):
                continue
            parts = line.split()
            pos = parts[0]
            if pos.startswith("0x"):
                last = int(pos, 16)
            elif pos.startswith("+"):
                last += int(pos[1:])
            elif pos.startswith("-"):
                last -= int(pos[1:])
            if skip_next:
                skip_next = False
                continue
            if current_ob and current_ob.endswith(object_name) and len(parts) > 1:
                counts[last] += int(parts[1])
    return counts


def arrays_for(name, n):
    import run
    case = run.cases(np.random.default_rng(20240607))[name]
    return [a[:n] if isinstance(a, np.ndarray) else a for a in case["args"]]


def child(names):
    """Under callgrind: every function once, a dump before each call
    (os.getppid is the marker the profile is dumped after)."""
    import distmill as dm
    import run
    all_cases = run.cases(np.random.default_rng(20240607))
    order = []
    for name in names:
        n = N_COUNTED_ITERATIVE if name in run.ITERATIVE else N_COUNTED
        arrays = [a[:n] if isinstance(a, np.ndarray) else a for a in all_cases[name]["args"]]
        fn = getattr(dm, name)
        os.getppid()
        fn(*arrays)
        order.append((name, n))
    os.getppid()
    print(json.dumps({"lanes": dm.__lanes__, "order": order}))


def count_divisions(names, log):
    import distmill as dm
    so = pathlib.Path(dm.__file__).resolve()
    sites = division_sites(so)
    work = pathlib.Path(tempfile.mkdtemp(prefix="divisions-"))
    prefix = work / "cg.out"
    cmd = ["valgrind", "--tool=callgrind", "--dump-instr=yes", "--dump-line=no", "--dump-after=getppid",
           f"--callgrind-out-file={prefix}", sys.executable, __file__, "--_child", ",".join(names)]
    log(f"counting divisions under callgrind ({len(names)} functions; slow)")
    proc = subprocess.run(cmd, capture_output=True, text=True, check=True)
    info = json.loads(proc.stdout.strip().splitlines()[-1])
    dumps = sorted(work.glob("cg.out.*"), key=lambda p: int(p.name.rsplit(".", 1)[1]))
    # Dump k (1-based) closes the interval that ends at the k-th getppid:
    # the call of function k - 1 lies between dumps k - 1 and k.
    per = {}
    for k, (name, n) in enumerate(info["order"], start=2):
        counts = parse_callgrind(dumps[k - 1], so.name)
        kinds = collections.Counter()
        for addr, c in counts.items():
            if addr in sites:
                kinds[sites[addr][0]] += c
        # Instructions per element (an instruction on a pack serves all
        # its lanes).
        per[name] = {kind: c / n for kind, c in kinds.items()}
    shutil.rmtree(work, ignore_errors=True)
    return info["lanes"], per


def divider_times(log):
    from support import probe
    exe = pathlib.Path(tempfile.mkdtemp()) / "divider"
    probe.compile_cpp([HERE / "divider.cpp"], exe)
    log("measuring the divider")
    runs = collections.defaultdict(list)
    for _ in range(3):
        for line in subprocess.run([str(exe)], capture_output=True, text=True, check=True).stdout.splitlines():
            kind, ns, lanes = line.split()
            runs[kind].append(float(ns))
    return {kind: min(v) for kind, v in runs.items()}


def native_times(names):
    import distmill as dm
    import run
    all_cases = run.cases(np.random.default_rng(20240607))
    out = {}
    for name in names:
        n = 10**4 if name in run.ITERATIVE else 10**6
        case = all_cases[name]
        arrays = [a[:n] if isinstance(a, np.ndarray) else a for a in case["args"]]
        fn, peer = getattr(dm, name), case["peers"]["scipy.stats"]
        out[name] = (run.median_time(lambda: fn(*arrays), 5) / n * 1e9,
                     run.median_time(lambda: peer(*arrays), 5) / n * 1e9)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--only", help="comma-separated function names")
    ap.add_argument("--out", help="write the table (markdown) here as well")
    ap.add_argument("--_child", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args._child:
        child(args._child.split(","))
        return 0
    import distmill as dm
    names = args.only.split(",") if args.only else [n for n in sorted(dir(dm)) if re.fullmatch(r"[dpq][a-z]+", n)]
    log = lambda m: print(m, file=sys.stderr, flush=True)
    per_div = divider_times(log)
    lanes, per = count_divisions(names, log)
    log("timing natively")
    times = native_times(names)
    L = [f"Divider (ns per instruction, eight in flight): "
         + ", ".join(f"{k} {v:.2f}" for k, v in per_div.items()) + f". Lanes counted: `{lanes}`.\n",
         "| function | divisions per element (by kind) | divider bound ns | ns/element | distance | / scipy.stats |",
         "|---|---|---:|---:|---:|---:|"]
    for name in names:
        kinds = per.get(name, {})
        lanes_of = {"scalar": 1, "ext": 1, "sse2": 2, "avx2": 4, "avx512": 8}
        bound = sum(c * per_div[k] for k, c in kinds.items())
        ns, peer = times[name]
        # Lane divisions per element by kind (instructions x lanes).
        desc = ", ".join(f"{k} {c * lanes_of[k]:.0f}" for k, c in sorted(kinds.items())
                         if c * lanes_of[k] >= 0.5) or "none"
        # Below a nanosecond the divider does not bound anything.
        dist = f"{ns / bound:.1f}" if bound >= 1 else "—"
        L.append(f"| `{name}` | {desc} | {bound:.1f} | {ns:.1f} | {dist} | {ns / peer:.2f} |")
    text = "\n".join(L) + "\n"
    print(text)
    if args.out:
        pathlib.Path(args.out).write_text(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
