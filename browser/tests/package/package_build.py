"""What the package suite knows of the build it checks; conftest.py sets it from the suite's
options before the tests are collected."""

from pathlib import Path

PLATFORM = "linux"
CPACK_CONFIG = ""
CPACK = "cpack"
CMAKE = "cmake"
GENERATOR = "Ninja"
SOURCE_DIR = Path(__file__).resolve().parents[3]
TOOLCHAIN_FILE = ""
WINE_RUN = ""
HOST_NAME = "com.quenlow.host"
# What the build's manifests admit.
EXTENSION_IDS = []
FIREFOX_EXTENSION_IDS = []

# The project's test ids, which the suites build with: {"chromium": {...}, "firefox": {...}}.
TEST_IDS_FILE = SOURCE_DIR / "browser/tests/browser/extension/ids.txt"


def test_ids():
    ids = {"chromium": set(), "firefox": set()}
    for line in TEST_IDS_FILE.read_text().splitlines():
        if line and not line.startswith("#"):
            family, identifier = line.split()
            ids[family].add(identifier)
    return ids


def is_test_build():
    ids = test_ids()
    return bool(ids["chromium"] & set(EXTENSION_IDS) or ids["firefox"] & set(FIREFOX_EXTENSION_IDS))
