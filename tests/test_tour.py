"""The README's first command runs examples/tour.py: it must keep working."""
import subprocess
import sys

from support import ROOT
from support.child import module_dir


def test_tour_runs():
    proc = subprocess.run([sys.executable, str(ROOT / "examples" / "tour.py")],
                          capture_output=True, text=True, timeout=120,
                          env={"PYTHONPATH": str(module_dir()), "PATH": ""})
    assert proc.returncode == 0, proc.stderr
    assert "identical on a second engine: True" in proc.stdout
