"""The version packaging reports is pyproject's, and the changelog has an
entry for it.  (The module has no version attribute of its own.)"""
import importlib.metadata
import pathlib
import re

import pytest

import distmill
from support import ROOT


def pyproject_version():
    text = (ROOT / "pyproject.toml").read_text()
    try:
        import tomllib
    except ImportError:  # Python < 3.11: the [project] table's version line
        section = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S).group(1)
        return re.search(r'^version\s*=\s*"([^"]+)"', section, re.M).group(1)
    return tomllib.loads(text)["project"]["version"]


def test_module_has_no_version_attribute():
    assert not hasattr(distmill, "__version__")


def test_changelog_has_an_entry_for_the_version():
    text = (ROOT / "CHANGELOG.md").read_text()
    headings = re.findall(r"^## \[?(\d+\.\d+\.\d+[^\]\s]*)", text, re.M)
    assert headings and headings[0] == pyproject_version(), "the newest changelog entry is the current version"


def test_installed_version_matches_pyproject():
    try:
        dist = importlib.metadata.distribution("distmill")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("distmill is not installed (imported from a build tree)")
    files = {pathlib.Path(dist.locate_file(f)).resolve() for f in dist.files or ()}
    if pathlib.Path(distmill.__file__).resolve() not in files:
        pytest.skip("the imported distmill is not the installed one (a build tree comes first on the path)")
    assert dist.version == importlib.metadata.version("distmill") == pyproject_version()
