"""The Windows Installer package under Wine's own msiexec, in a fresh prefix of this module's own:
what an administrator's install leaves on the machine, what the browsers then find, upgrade in the
chosen folder, refused downgrade, and a removal without trace; and what every program in the
package says it is.

Environment: QUENLOW_CMAKE and QUENLOW_MAKE_MSI (the script the "msi" target runs), QUENLOW_VERSION,
QUENLOW_MANIFEST_DIR (the manifests the build wrote), QUENLOW_HOST_NAME, QUENLOW_EXTENSION_IDS and
QUENLOW_FIREFOX_EXTENSION_IDS (comma-separated), QUENLOW_WINE_RUN (the Wine wrapper),
QUENLOW_MSI_NAME (what the msi target makes), QUENLOW_SOURCE_DIR, QUENLOW_TOOLCHAIN_FILE and
QUENLOW_GENERATOR (to configure the project anew without ids)."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import pefile
import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import browser_table  # noqa: E402
from hostio import read_json_lines  # noqa: E402
from hostrun import windows_path  # noqa: E402

CMAKE = os.environ.get("QUENLOW_CMAKE", "cmake")
MAKE_MSI = os.environ.get("QUENLOW_MAKE_MSI", "")
VERSION = os.environ.get("QUENLOW_VERSION", "")
MANIFEST_DIR = Path(os.environ.get("QUENLOW_MANIFEST_DIR", ""))
HOST_NAME = os.environ.get("QUENLOW_HOST_NAME", "com.quenlow.host")
EXTENSION_IDS = [i for i in os.environ.get("QUENLOW_EXTENSION_IDS", "").split(",") if i]
FIREFOX_IDS = [i for i in os.environ.get("QUENLOW_FIREFOX_EXTENSION_IDS", "").split(",") if i]
WINE_RUN = os.environ.get("QUENLOW_WINE_RUN", "")
# The file the msi target makes, and what the build was configured from.
MSI_NAME = Path(os.environ.get("QUENLOW_MSI_NAME", "")).name
SOURCE_DIR = Path(os.environ.get("QUENLOW_SOURCE_DIR", Path(__file__).resolve().parents[3]))
TOOLCHAIN_FILE = os.environ.get("QUENLOW_TOOLCHAIN_FILE", "")
GENERATOR = os.environ.get("QUENLOW_GENERATOR", "Ninja")


def admits_a_test_id():
    """Whether the build admits an id of the project's test extension (its ids.txt)."""
    lines = (SOURCE_DIR / "browser/tests/browser/extension/ids.txt").read_text().splitlines()
    pairs = [line.split() for line in lines if line and not line.startswith("#")]
    built = {"chromium": EXTENSION_IDS, "firefox": FIREFOX_IDS}
    return any(identifier in built[family] for family, identifier in pairs)


TEST_BUILD = admits_a_test_id()
PRODUCT_NAME = "Quenlow (test build)" if TEST_BUILD else "Quenlow"

CHROMIUM_MANIFEST = f"{HOST_NAME}.json"
FIREFOX_MANIFEST = f"{HOST_NAME}.firefox.json"
HOST_FILES = {"Quenlow.exe", CHROMIUM_MANIFEST, FIREFOX_MANIFEST}
TOOL_FILES = {"quenlow-register.exe", "quenlow-talk.exe", "examples/session.jsonl"}
STAND_IN_FILES = {"Varnhold64.dll", "Halvern.dll", "STAND-INS.txt"}

# The keys quenlow-register writes for a system install (a key some browsers share is written
# once), and the manifest each names.
BROWSER_KEYS = {
    "HKLM\\" + key: CHROMIUM_MANIFEST if browser["family"] == "chromium" else FIREFOX_MANIFEST
    for browser in browser_table.BROWSERS for key in browser["windows_manifest_keys"]
}
REMEMBERED_FOLDER = (r"HKLM\SOFTWARE\Quenlow", "InstallDir")
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
BROWSERS = browser_table.NAMES

# Wine's shell passes on only the low 8 bits of msiexec's exit code.
INSTALL_FAILURE = 1603 & 0xFF


def higher_version(version):
    major, minor, patch = (int(part) for part in version.split("."))
    return f"{major}.{minor}.{patch + 1}"


class Machine:
    """A fresh Wine prefix: runs programs in it and reads its disk and registry."""

    def __init__(self, prefix):
        self.prefix = prefix
        self.env = dict(os.environ, WINEPREFIX=str(prefix))
        self.drive_c = prefix / "drive_c"

    def run(self, *args, timeout=300):
        result = subprocess.run([WINE_RUN, *map(str, args)], env=self.env, capture_output=True,
                                timeout=timeout)
        result.out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        return result

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
        """DisplayVersion of every Uninstall entry named Quenlow."""
        result = self.run("reg", "query", UNINSTALL_KEY, "/s", "/reg:64")
        versions, entry = [], {}
        for line in result.out.splitlines() + [""]:
            if not line.startswith(" "):
                if entry.get("DisplayName") == PRODUCT_NAME:
                    versions.append(entry.get("DisplayVersion"))
                entry = {}
                continue
            parts = line.strip().split("    ")
            if len(parts) == 3:
                entry[parts[0]] = parts[2]
        return versions


def files_under(folder):
    if not folder.exists():
        return set()
    return {p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file()}


@pytest.fixture(scope="module")
def machine():
    root = Path(tempfile.mkdtemp(prefix="quenlow-msi-"))
    prefix = root / "prefix"
    try:
        machine = Machine(prefix)
        assert machine.run("wineboot").returncode == 0, "the Wine prefix could not be made"
        yield machine
    finally:
        env = dict(os.environ, WINEPREFIX=str(prefix))
        for stop in (["wineserver", "-k"], ["wineserver", "-w"]):
            subprocess.run(stop, env=env, capture_output=True, timeout=120)
        shutil.rmtree(root, ignore_errors=True)


@pytest.fixture(scope="module")
def packages(tmp_path_factory):
    """The package at the project version and at a higher one, made as the msi target makes it."""
    assert MAKE_MSI and VERSION, "QUENLOW_MAKE_MSI and QUENLOW_VERSION come from the build"
    if not EXTENSION_IDS and not FIREFOX_IDS:
        pytest.skip("the build names no extension ids, so it makes no package: configure it with "
                    "QUENLOW_EXTENSION_IDS / QUENLOW_FIREFOX_EXTENSION_IDS (scripts/test passes "
                    "the test ids)")
    out = tmp_path_factory.mktemp("msi")
    made = {}
    for version in (VERSION, higher_version(VERSION)):
        package = out / MSI_NAME.replace(VERSION, version)
        result = subprocess.run([CMAKE, "-D", f"VERSION={version}", "-D", f"OUTPUT={package}",
                                 "-P", MAKE_MSI], capture_output=True, text=True, timeout=300)
        assert result.returncode == 0, result.stdout + result.stderr
        made[version] = windows_path(package)
    return made


def assert_registered_in(machine, folder):
    """Every browser key names the installed manifest of its family, which is the one the build
    wrote and names the installed host."""
    for key, manifest in BROWSER_KEYS.items():
        value = machine.default_value(f"{key}\\{HOST_NAME}")
        assert value == f"{folder}{manifest}", key
        installed = machine.folder(folder) / manifest
        assert installed.read_bytes() == (MANIFEST_DIR / manifest).read_bytes(), manifest
        assert json.loads(installed.read_text())["path"] == "Quenlow.exe"
    assert machine.default_value(*REMEMBERED_FOLDER) == folder


def assert_no_trace(machine, folder, left_behind=frozenset()):
    """A removal leaves no file, manifest, value or Uninstall entry (empty parent keys are not
    looked at: Wine deletes them, Windows may not)."""
    assert files_under(machine.folder(folder)) == set(left_behind)
    for key in BROWSER_KEYS:
        assert machine.default_value(f"{key}\\{HOST_NAME}") is None, key
    assert machine.default_value(*REMEMBERED_FOLDER) is None
    assert machine.quenlow_products() == []


def test_a_package_that_admits_a_test_id_is_named_a_test_package(packages):
    package = Path(packages[VERSION][2:].replace("\\", "/"))
    assert MSI_NAME.startswith("Quenlow-test-" if TEST_BUILD else "Quenlow-"), MSI_NAME
    assert TEST_BUILD == ("test" in MSI_NAME)
    properties = subprocess.run(["msiinfo", "export", str(package), "Property"], check=True,
                                capture_output=True, text=True, timeout=120).stdout
    assert f"ProductName\t{PRODUCT_NAME}" in properties.splitlines(), properties


def test_without_extension_ids_no_msi_is_made(tmp_path):
    # Configured only: the refusal comes before any file is staged.
    command = [CMAKE, "-S", str(SOURCE_DIR), "-B", str(tmp_path / "build"), "-G", GENERATOR,
               "-DQUENLOW_BUILD_TESTS=OFF", f"-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN_FILE}"]
    configured = subprocess.run(command, capture_output=True, text=True, timeout=300)
    assert configured.returncode == 0, configured.stdout + configured.stderr
    output = tmp_path / "Quenlow.msi"
    made = subprocess.run([CMAKE, "-D", f"VERSION={VERSION}", "-D", f"OUTPUT={output}", "-P",
                           str(tmp_path / "build/msi/MakeMsi.cmake")],
                          capture_output=True, text=True, timeout=300)
    told = made.stdout + made.stderr
    assert made.returncode != 0, told
    assert "No extension ids were set" in told, told
    assert "QUENLOW_EXTENSION_IDS" in told and "QUENLOW_FIREFOX_EXTENSION_IDS" in told, told
    assert not output.exists()


def test_every_program_in_the_package_says_what_it_is(packages, tmp_path):
    package = Path(packages[VERSION][2:].replace("\\", "/"))
    subprocess.run(["msiextract", "-C", str(tmp_path), str(package)], check=True,
                   capture_output=True, timeout=120)
    programs = sorted(tmp_path.rglob("*.exe"))
    assert {p.name for p in programs} == {"Quenlow.exe", "quenlow-register.exe",
                                          "quenlow-talk.exe"}
    numbers = [int(part) for part in VERSION.split(".")]
    for program in programs:
        image = pefile.PE(str(program))
        strings = {key.decode(): value.decode()
                   for info in image.FileInfo[0] if info.Key == b"StringFileInfo"
                   for table in info.StringTable for key, value in table.entries.items()}
        assert strings["ProductName"] == "Quenlow", program.name
        assert strings["FileVersion"] == strings["ProductVersion"] == VERSION, program.name
        assert strings["OriginalFilename"] == program.name
        assert strings["FileDescription"].startswith("Quenlow"), program.name
        fixed = image.VS_FIXEDFILEINFO[0]
        assert (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                fixed.FileVersionLS >> 16) == tuple(numbers), program.name

    host = pefile.PE(str(next(p for p in programs if p.name == "Quenlow.exe")))
    manifests = [entry for entry in host.DIRECTORY_ENTRY_RESOURCE.entries
                 if entry.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]]
    assert manifests, "Quenlow.exe has no application manifest"
    data = manifests[0].directory.entries[0].directory.entries[0].data.struct
    text = host.get_data(data.OffsetToData, data.Size).decode("utf-8")
    assert 'level="asInvoker"' in text and "<supportedOS" in text


def test_install_with_stand_ins_lets_every_browser_start_the_host_and_removal_leaves_nothing(
        machine, packages, tmp_path):
    folder = "C:\\Program Files\\Quenlow\\"
    assert machine.msiexec("/i", packages[VERSION], "/qn", "ADDLOCAL=ALL") == 0
    assert files_under(machine.folder(folder)) == HOST_FILES | TOOL_FILES | STAND_IN_FILES
    assert_registered_in(machine, folder)
    assert machine.quenlow_products() == [VERSION]

    extensions = [arg for i in EXTENSION_IDS for arg in ("--extension-id", i)]
    extensions += [arg for i in FIREFOX_IDS for arg in ("--firefox-extension", i)]
    doctor = machine.run(folder + "quenlow-register.exe", "doctor", "--system", "--name",
                         HOST_NAME, *extensions)
    # A test build's manifests admit the test extension, whose ids anyone may take: doctor says so
    # for every browser and fails.
    assert doctor.returncode == (1 if TEST_BUILD else 0), doctor.out
    for browser in BROWSERS:
        assert f"=> {browser} can start the host" in doctor.out, doctor.out
    assert doctor.out.count("Quenlow's test extension: its id is public") == \
        (len(BROWSERS) if TEST_BUILD else 0), doctor.out

    # The installed host, started the way a browser starts it, with the stand-in agent beside it.
    url = "https://msi.example/grüße"
    session = tmp_path / "session.jsonl"
    session.write_text(json.dumps({"tabID": "4", "type": "documentComplete",
                                   "payload": {"url": url, "bTopLvlDoc": "true"}}) + "\n")
    transcript = tmp_path / "transcript.jsonl"
    talk = machine.run(folder + "quenlow-talk.exe", "--input", windows_path(session),
                       "--expect", "2", "--timeout", "60", "--env", "VARNHOLD_LOG_LEVEL=3",
                       "--transcript", windows_path(transcript), "--", folder + "Quenlow.exe")
    assert talk.returncode == 0, talk.out
    events = read_json_lines(transcript)
    replies = sorted((e["inner"]["type"], e["inner"].get("url", e["inner"].get("level")))
                     for e in events if e["event"] == "frame")
    assert replies == [("documentCompleteAck", url), ("updateLogLevel", 3)]

    assert machine.msiexec("/x", packages[VERSION], "/qn") == 0
    assert_no_trace(machine, folder)


def test_install_beside_the_agent_upgrades_there_refuses_a_downgrade_and_is_removed(
        machine, packages, tmp_path):
    folder = "C:\\Agent\\"
    agent_file = "agent.ini"  # the agent's own file, which must survive
    machine.folder(folder).mkdir(parents=True)
    (machine.folder(folder) / agent_file).write_text("[agent]\n")
    newer = higher_version(VERSION)

    assert machine.msiexec("/i", packages[VERSION], "/qn", f"INSTALLDIR={folder}") == 0
    assert files_under(machine.folder(folder)) == HOST_FILES | TOOL_FILES | {agent_file}
    assert_registered_in(machine, folder)

    assert machine.msiexec("/i", packages[newer], "/qn") == 0
    assert machine.quenlow_products() == [newer]
    assert files_under(machine.folder(folder)) == HOST_FILES | TOOL_FILES | {agent_file}
    assert not machine.folder("C:\\Program Files\\Quenlow").exists()
    assert_registered_in(machine, folder)

    log = tmp_path / "downgrade.log"
    assert machine.msiexec("/i", packages[VERSION], "/qn", "/l*v", windows_path(log)) == \
        INSTALL_FAILURE
    assert "WIX_DOWNGRADE_DETECTED = {" in log.read_text(errors="replace")
    assert machine.quenlow_products() == [newer]
    assert_registered_in(machine, folder)

    assert machine.msiexec("/x", packages[newer], "/qn") == 0
    assert_no_trace(machine, folder, left_behind={agent_file})
