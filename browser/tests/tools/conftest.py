import os
import pathlib
import sys

import pytest

# Frames and journals come from the helpers every pytest suite shares.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))


def pytest_addoption(parser):
    parser.addoption("--talk", default=os.environ.get("QUENLOW_TALK"),
                     help="path of the built quenlow-talk (or set QUENLOW_TALK)")


@pytest.fixture(scope="session")
def talk_path(request):
    path = request.config.getoption("--talk")
    if not path:
        pytest.skip("no quenlow-talk given: pass --talk=PATH or set QUENLOW_TALK")
    path = pathlib.Path(path).resolve()
    assert path.is_file(), f"{path} does not exist"
    return path
