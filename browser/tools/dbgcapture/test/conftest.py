"""The capture test takes its options from the harness every pytest suite shares."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[3] / "tests" / "support"))

# The option hook and the fixture register with pytest here.
from hostrun import pytest_addoption, target  # noqa: E402,F401
