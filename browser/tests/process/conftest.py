"""Harness for process tests: starts the built host with crafted bytes on its standard input and
collects its frames, exit code, standard error and debugger lines (see support/hostrun.py, shared
with the docs tests; the tests take frames and journals from support/hostio.py)."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))

# The option hook and the fixtures register with pytest here.
from hostrun import host, pytest_addoption, target  # noqa: E402,F401
