import os

import pytest


@pytest.fixture(autouse=True)
def hermetic_cwd(tmp_path, monkeypatch):
    """Every test runs in an empty directory so no stray .kvt-lint.toml leaks in."""
    monkeypatch.chdir(tmp_path)
    yield tmp_path


FIXTURES = os.path.join(os.path.dirname(__file__), "fixtures")


def fixture_text(name):
    with open(os.path.join(FIXTURES, name), encoding="utf-8") as handle:
        return handle.read()
