"""Harness for process tests: starts the built host with crafted bytes on its standard input and
collects its frames, exit code, standard error and debugger lines (see support/hostrun.py, shared
with the docs tests; the tests take frames and journals from support/hostio.py)."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))

# The fixtures register with pytest here.
import hostrun  # noqa: E402
from hostrun import host, target  # noqa: E402,F401


def pytest_addoption(parser):
    hostrun.pytest_addoption(parser)
    # What the host was built as, which it tells the extension (hostInfo).
    parser.addoption("--host-name", required=True)
    parser.addoption("--host-version", required=True)


@pytest.fixture(scope="session")
def built_as(request):
    """The host name and the version the build gave the host."""
    return {"name": request.config.getoption("--host-name"),
            "version": request.config.getoption("--host-version")}
