"""What the Windows Installer suites share: the build's settings (options the build passes), a
fresh Wine prefix of the session's own, and the script the "msi" target runs to make a package."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import browser_table  # noqa: E402
from hostio import read_json_lines  # noqa: E402
from hostrun import windows_path  # noqa: E402

OPTIONS = {
    "--cmake": "the cmake program",
    "--make-msi": "the script the msi target runs (build/<preset>/msi/MakeMsi.cmake)",
    "--quenlow-version": "the project version",
    "--manifest-dir": "the Windows manifests the build wrote",
    "--host-name": "the host's name",
    "--extension-ids": "the Chromium extension ids, comma-separated",
    "--firefox-extension-ids": "the Firefox add-on ids, comma-separated",
    "--wine-run": "the Wine wrapper (cmake/wine-run)",
    "--osslsigncode": "the osslsigncode program",
    "--openssl": "the openssl program",
    "--msi-name": "the file the msi target makes",
    "--source-dir": "the project's sources (to configure it anew without ids)",
    "--toolchain-file": "the build's toolchain file",
    "--generator": "the build's generator",
}


def pytest_addoption(parser):
    group = parser.getgroup("quenlow msi")
    for option, text in OPTIONS.items():
        group.addoption(option, default="", help=text)


@dataclass(frozen=True)
class Build:
    cmake: str
    make_msi: Path
    version: str
    manifest_dir: Path
    host_name: str
    extension_ids: list
    firefox_ids: list
    wine_run: str
    osslsigncode: str
    openssl: str
    msi_name: str
    source_dir: Path
    toolchain_file: str
    generator: str

    @property
    def test_build(self):
        """Whether the build admits an id of the project's test extension (its ids.txt)."""
        lines = (self.source_dir / "browser/tests/browser/extension/ids.txt").read_text()
        pairs = [line.split() for line in lines.splitlines() if line and not line.startswith("#")]
        built = {"chromium": self.extension_ids, "firefox": self.firefox_ids}
        return any(identifier in built[family] for family, identifier in pairs)

    @property
    def product_name(self):
        return "Quenlow (test build)" if self.test_build else "Quenlow"

    @property
    def chromium_manifest(self):
        return f"{self.host_name}.json"

    @property
    def firefox_manifest(self):
        return f"{self.host_name}.firefox.json"

    @property
    def browser_keys(self):
        """The keys quenlow-register writes for a system install, each browser's first (a key
        some browsers share is written once), and the manifest each names."""
        return {"HKLM\\" + browser["windows_manifest_keys"][0]:
                self.chromium_manifest if browser["family"] == "chromium" else self.firefox_manifest
                for browser in browser_table.BROWSERS}


@pytest.fixture(scope="session")
def build(request):
    def option(name):
        value = request.config.getoption(name)
        if not value:
            pytest.skip(f"{name} not given: the build passes it (ctest -L msi)")
        return value

    def ids(name):
        return [i for i in request.config.getoption(name).split(",") if i]

    return Build(cmake=option("--cmake"), make_msi=Path(option("--make-msi")),
                 version=option("--quenlow-version"), manifest_dir=Path(option("--manifest-dir")),
                 host_name=option("--host-name"), extension_ids=ids("--extension-ids"),
                 firefox_ids=ids("--firefox-extension-ids"), wine_run=option("--wine-run"),
                 osslsigncode=option("--osslsigncode"), openssl=option("--openssl"),
                 msi_name=Path(option("--msi-name")).name, source_dir=Path(option("--source-dir")),
                 toolchain_file=option("--toolchain-file"), generator=option("--generator"))


@pytest.fixture(scope="session")
def make_msi(build):
    """Makes a package as the msi target does, at a version, with the signing settings given
    (-D QUENLOW_SIGN_...=...) or none: a certificate in the caller's environment or the build's
    cache does not count. Returns the script's output, or with check=False its status and
    output."""
    if not build.extension_ids and not build.firefox_ids:
        pytest.skip("the build names no extension ids, so it makes no package: configure it with "
                    "QUENLOW_EXTENSION_IDS / QUENLOW_FIREFOX_EXTENSION_IDS (scripts/test passes "
                    "the test ids)")
    unsigned = {f"QUENLOW_SIGN_{name}": "" for name in ("PKCS12", "CERT", "KEY", "PASSWORD_FILE",
                                                        "TIMESTAMP_URL")}
    environment = {k: v for k, v in os.environ.items() if not k.startswith("QUENLOW_SIGN_")}

    def make(version, package, signing=None, password=None, check=True):
        settings = dict(unsigned, **(signing or {}))
        defines = [arg for name, value in settings.items() for arg in ("-D", f"{name}={value}")]
        env = dict(environment, **({"QUENLOW_SIGN_PASSWORD": password} if password else {}))
        result = subprocess.run([build.cmake, "-D", f"VERSION={version}", "-D", f"OUTPUT={package}",
                                 *defines, "-P", str(build.make_msi)],
                                capture_output=True, text=True, timeout=300, env=env)
        output = result.stdout + result.stderr
        if not check:
            return result.returncode, output
        assert result.returncode == 0, output
        return output

    return make


class Machine:
    """A fresh Wine prefix: runs programs in it and reads its disk and registry."""

    def __init__(self, prefix, wine_run, product_name):
        self.prefix = prefix
        self.wine_run = wine_run
        self.product_name = product_name
        self.env = dict(os.environ, WINEPREFIX=str(prefix))
        self.drive_c = prefix / "drive_c"

    def run(self, *args, timeout=300):
        result = subprocess.run([self.wine_run, *map(str, args)], env=self.env,
                                capture_output=True, timeout=timeout)
        result.out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        return result

    def talk_to_installed_host(self, folder, work, url, expect, *options):
        """One documentComplete for `url`, sent by the installed quenlow-talk to the installed
        host as a browser starts it; returns the frames it received."""
        session = work / "session.jsonl"
        session.write_text(json.dumps({"tabID": "4", "type": "documentComplete",
                                       "payload": {"url": url, "bTopLvlDoc": "true"}}) + "\n")
        transcript = work / "transcript.jsonl"
        talk = self.run(folder + "quenlow-talk.exe", "--input", windows_path(session), "--expect",
                        str(expect), "--timeout", "60", *options, "--transcript",
                        windows_path(transcript), "--", folder + "Quenlow.exe")
        assert talk.returncode == 0, talk.out
        return [e["inner"] for e in read_json_lines(transcript) if e["event"] == "frame"]

    def msiexec(self, *args):
        return self.run("msiexec", *args).returncode

    def folder(self, windows_folder):
        """The Linux path of a folder given as C:\\..."""
        assert windows_folder.upper().startswith("C:\\")
        return self.drive_c / windows_folder[3:].replace("\\", "/")

    def default_value(self, key, name=None):
        """A registry value in the 64-bit view, or None when the key or value is absent."""
        which = ["/v", name] if name else ["/ve"]
        result = self.run("reg", "query", key, *which, "/reg:64")
        if result.returncode != 0:
            return None
        for line in result.out.splitlines():
            parts = line.split("    ")
            if len(parts) >= 4 and parts[2].startswith("REG_"):
                return parts[3]
        return None

    def quenlow_products(self):
        """DisplayVersion of every Uninstall entry named as the build's product."""
        uninstall = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
        result = self.run("reg", "query", uninstall, "/s", "/reg:64")
        versions, entry = [], {}
        for line in result.out.splitlines() + [""]:
            if not line.startswith(" "):
                if entry.get("DisplayName") == self.product_name:
                    versions.append(entry.get("DisplayVersion"))
                entry = {}
                continue
            parts = line.strip().split("    ")
            if len(parts) == 3:
                entry[parts[0]] = parts[2]
        return versions


@pytest.fixture(scope="session")
def machine(build):
    """One prefix for every suite here: each test leaves it as it found it (nothing installed)."""
    root = Path(tempfile.mkdtemp(prefix="quenlow-msi-"))
    prefix = root / "prefix"
    try:
        machine = Machine(prefix, build.wine_run, build.product_name)
        assert machine.run("wineboot").returncode == 0, "the Wine prefix could not be made"
        yield machine
    finally:
        env = dict(os.environ, WINEPREFIX=str(prefix))
        for stop in (["wineserver", "-k"], ["wineserver", "-w"]):
            subprocess.run(stop, env=env, capture_output=True, timeout=120)
        shutil.rmtree(root, ignore_errors=True)
