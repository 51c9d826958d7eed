import os
import pathlib
import subprocess
import sys

import pytest

# Frames and journals come from the helpers every pytest suite shares.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))


def pytest_addoption(parser):
    parser.addoption("--talk", default=os.environ.get("QUENLOW_TALK"),
                     help="path of the built quenlow-talk (or set QUENLOW_TALK)")
    parser.addoption("--register", default=os.environ.get("QUENLOW_REGISTER"),
                     help="path of the built quenlow-register (or set QUENLOW_REGISTER)")
    parser.addoption("--bin-dir", default=os.environ.get("QUENLOW_BIN_DIR"),
                     help="folder of the built programs, for quenlow-dbgcapture's test (or set "
                          "QUENLOW_BIN_DIR)")
    parser.addoption("--target-platform", choices=("linux", "windows"),
                     default=os.environ.get("QUENLOW_TARGET_PLATFORM", "linux"),
                     help="the platform the tools were built for (or set QUENLOW_TARGET_PLATFORM)")
    parser.addoption("--wine-run", default=os.environ.get("QUENLOW_WINE_RUN"),
                     help="the Wine wrapper that runs Windows programs (or set QUENLOW_WINE_RUN)")


@pytest.hookimpl(tryfirst=True)
def pytest_configure(config):
    if config.getoption("--target-platform") == "windows":
        # Windows has no sticky bit, so under Wine /tmp (and a build tree below it) looks writable
        # by Everyone, which system scope refuses: the tests' folders go beside the Wine prefix
        # cmake/wine-run uses, in the user's cache.
        cache = os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache")
        given = pathlib.Path(config.option.basetemp or "tools_tmp")
        own = pathlib.Path(cache) / "quenlow-wine-tests"
        own.mkdir(parents=True, exist_ok=True)
        config.option.basetemp = str(own / given.name)
    config.addinivalue_line("markers", "linux_only: runs only against a Linux build")
    config.addinivalue_line("markers", "windows_only: runs only against a Windows build")
    config.addinivalue_line("markers", "as_root: on Linux, runs only as root")


def pytest_collection_modifyitems(config, items):
    platform = config.getoption("--target-platform")
    other = "windows_only" if platform == "linux" else "linux_only"
    skip = pytest.mark.skip(reason=f"not a test of the {platform} build")
    for item in items:
        if other in item.keywords:
            item.add_marker(skip)


def built_file(request, option, program, variable):
    """The built program an option names; the test is skipped when none is given."""
    path = request.config.getoption(option)
    if not path:
        pytest.skip(f"no {program} given: pass {option}=PATH or set {variable}")
    path = pathlib.Path(path).resolve()
    assert path.is_file(), f"{path} does not exist"
    return path


@pytest.fixture(scope="session")
def talk_path(request):
    return built_file(request, "--talk", "quenlow-talk", "QUENLOW_TALK")


class BuiltProgram:
    """Runs a program of the build: directly on Linux, through the Wine wrapper on Windows."""

    def __init__(self, path, on_windows, wine_run):
        self.path = path
        self.on_windows = on_windows
        self.wine_run = wine_run

    def run(self, *args, env=None, cwd=None, timeout=120):
        command = [self.wine_run, str(self.path)] if self.on_windows else [str(self.path)]
        result = subprocess.run(command + [str(a) for a in args], capture_output=True,
                                timeout=timeout, env=env, cwd=cwd)
        result.out = result.stdout.decode("utf-8").replace("\r\n", "\n")
        result.err = result.stderr.decode("utf-8").replace("\r\n", "\n")
        return result

    def wine(self, *args):
        """A Windows program of the Wine prefix, such as reg."""
        return subprocess.run([self.wine_run, *args], capture_output=True, timeout=60)


@pytest.fixture(scope="session")
def register_tool(request):
    path = built_file(request, "--register", "quenlow-register", "QUENLOW_REGISTER")
    on_windows = request.config.getoption("--target-platform") == "windows"
    wine_run = request.config.getoption("--wine-run")
    assert wine_run or not on_windows, "a Windows build needs --wine-run=PATH"
    return BuiltProgram(path, on_windows, wine_run)
