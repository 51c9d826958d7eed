"""The docs tests start the built host through the harness they share with the process tests."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))

# The option hook and the fixtures register with pytest here.
from hostrun import host, pytest_addoption, target  # noqa: E402,F401
