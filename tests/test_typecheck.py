"""A type checker over tests/typing/usage.py, and the same file run for real.

mypy checks the usage file in strict mode against the stub: the stub that
an installation put in site-packages when distmill is installed (so the
installed layout is exercised), otherwise the source stub through MYPYPATH.
"""
import os
import shutil
import subprocess
import sys

import pytest

from support import ROOT
from support.child import child_env, installed_root
from conftest import need

USAGE = ROOT / "tests" / "typing" / "usage.py"
STUB = ROOT / "src" / "module" / "distmill.pyi"


def test_usage_type_checks(tmp_path):
    need("mypy")
    env = dict(os.environ)
    if installed_root() is None:
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
    proc = subprocess.run([sys.executable, str(USAGE)], capture_output=True, text=True, env=child_env(), timeout=120)
    assert proc.returncode == 0, proc.stderr
