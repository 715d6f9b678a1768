"""The README's first command runs examples/tour.py: it must keep working."""
import pathlib
import subprocess
import sys

import distmill

ROOT = pathlib.Path(__file__).resolve().parent.parent


def test_tour_runs():
    proc = subprocess.run([sys.executable, str(ROOT / "examples" / "tour.py")],
                          capture_output=True, text=True, timeout=120,
                          env={"PYTHONPATH": str(pathlib.Path(distmill.__file__).parent), "PATH": ""})
    assert proc.returncode == 0, proc.stderr
    assert "identical on a second engine: True" in proc.stdout
