"""The package suite's options: the build it checks and the tools that make its packages."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import package_build  # noqa: E402


def pytest_addoption(parser):
    parser.addoption("--platform", choices=("linux", "windows"), default="linux")
    parser.addoption("--cpack-config", default="", help="the build's CPackConfig.cmake")
    parser.addoption("--cpack", default="cpack")
    parser.addoption("--cmake", default="cmake")
    parser.addoption("--generator", default="Ninja", help="the build's CMake generator")
    parser.addoption("--toolchain-file", default="", help="the build's toolchain file, if any")
    parser.addoption("--wine-run", default="", help="cmake/wine-run, for the Windows build")
    parser.addoption("--host-name", default="com.quenlow.host")
    parser.addoption("--extension-ids", default="", help="the build's, comma-separated")
    parser.addoption("--firefox-extension-ids", default="", help="the build's, comma-separated")


def pytest_configure(config):
    option = config.getoption
    package_build.PLATFORM = option("--platform")
    package_build.CPACK_CONFIG = option("--cpack-config")
    package_build.CPACK = option("--cpack")
    package_build.CMAKE = option("--cmake")
    package_build.GENERATOR = option("--generator")
    package_build.TOOLCHAIN_FILE = option("--toolchain-file")
    package_build.WINE_RUN = option("--wine-run")
    package_build.HOST_NAME = option("--host-name")
    package_build.EXTENSION_IDS = [i for i in option("--extension-ids").split(",") if i]
    package_build.FIREFOX_EXTENSION_IDS = [
        i for i in option("--firefox-extension-ids").split(",") if i]
