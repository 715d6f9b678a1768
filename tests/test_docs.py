"""The documentation's examples run and print exactly what the pages show,
and its relative links lead to files that exist."""
import re
import subprocess
import sys

import pytest

from support import ROOT
from support.child import child_env, run_python

PAGES = sorted((ROOT / "docs").glob("*.md")) + sorted((ROOT / "docs" / "reference").glob("*.md"))
WITH_EXAMPLES = [p for p in PAGES if ">>> " in p.read_text()]
# Pages that other work adds; linked ahead of time, checked once they exist.
PENDING = {ROOT / "docs" / "accuracy.md", ROOT / "benchmarks" / "results.md"}


def test_reference_pages_have_examples():
    names = {p.name for p in WITH_EXAMPLES}
    assert {"normal.md", "closed_forms.md", "gamma.md", "beta_f.md", "discrete.md", "t.md",
            "reproducibility.md"} <= names


def test_examples_in_the_pages():
    # One fresh interpreter: the pages may draw from engines, and the
    # printed values are exact (every value is reproducible to the bit).
    proc = subprocess.run([sys.executable, "-m", "doctest", *map(str, WITH_EXAMPLES)],
                          capture_output=True, text=True, env=child_env(), timeout=120)
    assert proc.returncode == 0, proc.stdout[-6000:] + proc.stderr[-2000:]


@pytest.mark.parametrize("page", PAGES + [ROOT / "README.md"], ids=lambda p: str(p.relative_to(ROOT)))
def test_relative_links_resolve(page):
    for target in re.findall(r"\]\(([^)#\s]+)(?:#[^)]*)?\)", page.read_text()):
        if re.match(r"[a-z]+:", target):
            continue
        path = (page.parent / target).resolve()
        if path in PENDING and not path.exists():
            continue
        assert path.exists(), f"{page.name} links to {target}, which does not exist"


def test_readme_example():
    text = (ROOT / "README.md").read_text()
    block = re.search(r"In ten lines:\s*```python\n(.*?)```", text, re.S).group(1)
    assert len(block.strip().splitlines()) <= 11
    lines = run_python(block, timeout=60).splitlines()
    mean, var = map(float, lines[0].split())
    assert abs(mean - 0.5) < 0.01 and abs(var - 1 / 12) < 0.005
    # The comments show the printed values.
    for out, src in zip(lines[1:3], [l for l in block.splitlines() if "qnorm" in l or "dbinom" in l]):
        assert out == src.split("# ", 1)[1].strip()
