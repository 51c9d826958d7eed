"""Harness for process tests: starts the built host with crafted bytes on its standard input and
collects its frames, exit code, standard error and debugger lines (see support/hostrun.py, shared
with the docs tests)."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))

# Imported by the tests from here; the option hook and the fixtures register with pytest here.
from hostrun import (  # noqa: E402,F401
    Host, HostRun, frame, host, length_only, parse_frames, parse_frames_prefix, pytest_addoption,
    read_debug_lines, target, wait_until)
