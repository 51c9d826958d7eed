"""The browser suite's options: the host's options every suite shares, and the browsers."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))

import browser_support  # noqa: E402
import hostrun  # noqa: E402


def pytest_addoption(parser):
    hostrun.pytest_addoption(parser)
    parser.addoption("--chromium", default="/usr/lib/chromium/chromium")
    parser.addoption("--firefox", default="/usr/lib/firefox-esr/firefox-esr")


def pytest_configure(config):
    browser_support.BIN_DIR = Path(config.getoption("--bin-dir")).resolve()
    browser_support.CHROMIUM = config.getoption("--chromium")
    browser_support.FIREFOX = config.getoption("--firefox")
