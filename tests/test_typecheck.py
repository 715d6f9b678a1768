"""A type checker over tests/typing/usage.py, and the same file run for real.

mypy checks the usage file in strict mode against the stub: the stub that
an installation put in site-packages when distmill is installed (so the
installed layout is exercised), otherwise the source stub through MYPYPATH.
"""
import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

import pytest

import distmill
from conftest import need

ROOT = pathlib.Path(__file__).resolve().parent.parent
USAGE = ROOT / "tests" / "typing" / "usage.py"
STUB = ROOT / "src" / "module" / "distmill.pyi"


def _installed():
    here = pathlib.Path(distmill.__file__).resolve().parent
    sites = {pathlib.Path(sysconfig.get_paths()[k]).resolve() for k in ("purelib", "platlib")}
    return here in sites


def test_usage_type_checks(tmp_path):
    need("mypy")
    env = dict(os.environ)
    if not _installed():
        stubs = tmp_path / "stubs"
        stubs.mkdir()
        shutil.copy(STUB, stubs / "distmill.pyi")
        env["MYPYPATH"] = str(stubs)
    proc = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-color-output", "--cache-dir", str(tmp_path / "cache"),
         str(USAGE)],
        capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert "no issues found" in proc.stdout


def test_usage_holds_at_run_time():
    # A separate interpreter: the usage file draws from the default engine.
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [str(pathlib.Path(distmill.__file__).parent)] + os.environ.get("PYTHONPATH", "").split(os.pathsep)))
    proc = subprocess.run([sys.executable, str(USAGE)], capture_output=True, text=True, env=env, timeout=120)
    assert proc.returncode == 0, proc.stderr
