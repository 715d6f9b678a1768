"""Build and test distmill against the oldest versions it declares, and the newest.

    python3 tools/check/floors.py                 # both sets, a table at the end
    python3 tools/check/floors.py --set floors    # one set
    python3 tools/check/floors.py --keep /tmp/x   # keep the environments there

Version sets:

floors   the oldest Python that requires-python admits, and every package at
         the minimum that pyproject.toml declares for it: the build system
         (scikit-build-core, pybind11), numpy, and every package of the test
         extra.  The package is built without build isolation, so that it is
         the declared pybind11 and scikit-build-core that build it.
newest   the newest Python found here and no pins: the newest release of
         every package.

Each set gets a fresh virtual environment (no system site packages); the
package is built and installed with its test extra (without build
isolation, so that the versions in the table are the ones that built it),
and the whole suite runs in it from the source tree with
DISTMILL_TESTS_COMPLETE=1 (nothing may skip for want of a compiler or a
test package).  The floors are read from
pyproject.toml, so raising one there is all it takes to test the new one.

Interpreters are looked up as pythonX.Y on PATH, then in ~/.pyenv/versions.
Needs Python 3.11 or later to run (tomllib), a C++ compiler and the network
access of pip.  Takes about ten minutes on two cores.
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
import tomllib

ROOT = pathlib.Path(__file__).resolve().parents[2]
NEWEST_PYTHONS = ["3.13", "3.12", "3.11", "3.10", "3.9"]


def declared():
    """(python floor, {package: floor}) from pyproject.toml."""
    meta = tomllib.loads((ROOT / "pyproject.toml").read_text())
    python = re.fullmatch(r">=\s*(\d+\.\d+)", meta["project"]["requires-python"]).group(1)
    floors = {}
    reqs = (meta["build-system"]["requires"] + meta["project"]["dependencies"]
            + meta["project"]["optional-dependencies"]["test"])
    for req in reqs:
        m = re.fullmatch(r"([A-Za-z0-9_.-]+)(\[[^\]]*\])?\s*>=\s*([0-9][0-9.]*)", req.strip())
        if not m:
            sys.exit(f"floors.py: no '>=' floor in requirement {req!r}")
        floors[m.group(1).lower()] = m.group(3)
    return python, floors


def find_python(version):
    """An interpreter of this version that runs (pyenv's shims are on PATH
    for every version but run only the selected ones)."""
    candidates = [shutil.which(f"python{version}")]
    candidates += [str(d / "bin" / f"python{version}")
                   for d in sorted((pathlib.Path.home() / ".pyenv" / "versions").glob(f"{version}.*"), reverse=True)]
    for exe in filter(None, candidates):
        if subprocess.run([exe, "-c", "import venv"], capture_output=True).returncode == 0:
            return exe
    return None


def run(cmd, log, env=None, cwd=ROOT):
    with open(log, "a") as f:
        f.write(f"\n$ {' '.join(map(str, cmd))}\n")
        f.flush()
        return subprocess.run(list(map(str, cmd)), stdout=f, stderr=subprocess.STDOUT, env=env, cwd=cwd).returncode


def pytest_counts(log):
    """The counts of pytest's closing line, e.g. '1 failed, 980 passed, 3 skipped'."""
    last = ""
    for line in pathlib.Path(log).read_text().splitlines():
        if re.search(r"\d+ (passed|failed|error)", line) and " in " in line:
            last = line.strip("= ")
    return re.sub(r" in [\d.]+s.*$", "", last) or "no result"


def run_set(name, python, floors, work):
    """Build and test one set; returns a row of the table."""
    venv = work / f"venv-{name}"
    log = work / f"{name}.log"
    log.write_text("")
    row = {"set": name, "python": "", "numpy": "", "pybind11": "", "scikit-build-core": "",
           "built": "no", "tests": "not run"}
    if python is None:
        row["tests"] = "no interpreter found"
        return row
    subprocess.run([python, "-m", "venv", "--clear", str(venv)], check=True)
    py = venv / "bin" / "python"
    pip = [py, "-m", "pip", "--disable-pip-version-check"]
    env = dict(os.environ, DISTMILL_TESTS_COMPLETE="1", PIP_NO_INPUT="1")
    env.pop("PYTHONPATH", None)
    run([*pip, "install", "--upgrade", "pip"], log, env)
    pins = work / f"constraints-{name}.txt"
    pins.write_text("".join(f"{pkg}=={v}\n" for pkg, v in floors.items()))
    build_deps = ["scikit-build-core", "pybind11", "numpy", "cmake", "ninja"]
    if run([*pip, "install", "-c", pins, *build_deps], log, env) != 0:
        row["tests"] = f"build requirements did not install (see {log})"
        return row
    if run([*pip, "install", "-c", pins, "--no-build-isolation", ".[test]"], log, env) != 0:
        row["tests"] = f"build failed (see {log})"
        return row
    row["built"] = "yes"
    probe = ("import importlib.metadata as m, sys; "
             "print(sys.version.split()[0], *(m.version(p) for p in ('numpy', 'pybind11', 'scikit-build-core')))")
    out = subprocess.run([py, "-c", probe], capture_output=True, text=True, env=env, cwd=work)
    vals = (out.stdout.split() + ["?"] * 4)[:4]
    row["python"], row["numpy"], row["pybind11"], row["scikit-build-core"] = vals
    t = time.time()
    code = run([py, "-m", "pytest", "-q", "-rs", "-p", "no:cacheprovider"], log, env)
    row["tests"] = f"{pytest_counts(log)} ({time.time() - t:.0f} s)" + ("" if code == 0 else " FAILED")
    row["ok"] = code == 0
    return row


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--set", choices=["floors", "newest"], action="append", help="run only this set")
    ap.add_argument("--keep", type=pathlib.Path, help="keep the environments and logs in this directory")
    args = ap.parse_args()
    python_floor, floors = declared()
    work = args.keep or pathlib.Path(tempfile.mkdtemp(prefix="distmill-floors-"))
    work.mkdir(parents=True, exist_ok=True)
    rows = []
    for name in args.set or ["floors", "newest"]:
        if name == "floors":
            rows.append(run_set(name, find_python(python_floor), floors, work))
        else:
            newest = next((p for p in map(find_python, NEWEST_PYTHONS) if p), None)
            rows.append(run_set(name, newest, {}, work))
        print(rows[-1], flush=True)
    cols = ["set", "python", "numpy", "pybind11", "scikit-build-core", "built", "tests"]
    print("\n| " + " | ".join(cols) + " |\n|" + "---|" * len(cols))
    for r in rows:
        print("| " + " | ".join(r[c] for c in cols) + " |")
    print(f"\nlogs in {work}")
    if not args.keep:
        for r in rows:
            if r.get("ok"):
                shutil.rmtree(work / f"venv-{r['set']}", ignore_errors=True)
    return 0 if all(r.get("ok") for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
