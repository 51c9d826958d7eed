"""The Windows Installer package under Wine's own msiexec, in a fresh prefix of the suites' own:
what an administrator's install leaves on the machine, what the browsers then find, upgrade in the
chosen folder, refused downgrade, and a removal without trace; and what every program in the
package says it is.

The build's settings, the Wine prefix and the script that makes a package come from conftest.py."""

import json
import subprocess
from pathlib import Path

import pefile
import pytest

import browser_table
from hostrun import windows_path

TOOL_FILES = {"quenlow-register.exe", "quenlow-talk.exe", "examples/session.jsonl"}
STAND_IN_FILES = {"Varnhold64.dll", "Halvern.dll", "STAND-INS.txt"}
REMEMBERED_FOLDER = (r"HKLM\SOFTWARE\Quenlow", "InstallDir")
BROWSERS = browser_table.NAMES

# Wine's shell passes on only the low 8 bits of msiexec's exit code.
INSTALL_FAILURE = 1603 & 0xFF


def host_files(build):
    return {"Quenlow.exe", build.chromium_manifest, build.firefox_manifest}


def higher_version(version):
    major, minor, patch = (int(part) for part in version.split("."))
    return f"{major}.{minor}.{patch + 1}"


def files_under(folder):
    if not folder.exists():
        return set()
    return {p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file()}


@pytest.fixture(scope="module")
def packages(build, make_msi, tmp_path_factory):
    """The package at the project version and at a higher one, made as the msi target makes it."""
    out = tmp_path_factory.mktemp("msi")
    made = {}
    for version in (build.version, higher_version(build.version)):
        package = out / build.msi_name.replace(build.version, version)
        make_msi(version, package)
        made[version] = windows_path(package)
    return made


def assert_registered_in(build, machine, folder):
    """Every browser key names the installed manifest of its family, which is the one the build
    wrote and names the installed host."""
    for key, manifest in build.browser_keys.items():
        value = machine.default_value(f"{key}\\{build.host_name}")
        assert value == f"{folder}{manifest}", key
        installed = machine.folder(folder) / manifest
        assert installed.read_bytes() == (build.manifest_dir / manifest).read_bytes(), manifest
        assert json.loads(installed.read_text())["path"] == "Quenlow.exe"
    assert machine.default_value(*REMEMBERED_FOLDER) == folder


def assert_no_trace(build, machine, folder, left_behind=frozenset()):
    """A removal leaves no file, manifest, value or Uninstall entry (empty parent keys are not
    looked at: Wine deletes them, Windows may not)."""
    assert files_under(machine.folder(folder)) == set(left_behind)
    for key in build.browser_keys:
        assert machine.default_value(f"{key}\\{build.host_name}") is None, key
    assert machine.default_value(*REMEMBERED_FOLDER) is None
    assert machine.quenlow_products() == []


def test_a_package_that_admits_a_test_id_is_named_a_test_package(build, packages):
    package = Path(packages[build.version][2:].replace("\\", "/"))
    assert build.msi_name.startswith("Quenlow-test-" if build.test_build else "Quenlow-")
    assert build.test_build == ("test" in build.msi_name), build.msi_name
    properties = subprocess.run(["msiinfo", "export", str(package), "Property"], check=True,
                                capture_output=True, text=True, timeout=120).stdout
    assert f"ProductName\t{build.product_name}" in properties.splitlines(), properties


def test_without_extension_ids_no_msi_is_made(build, tmp_path):
    # Configured only: the refusal comes before any file is staged.
    command = [build.cmake, "-S", str(build.source_dir), "-B", str(tmp_path / "build"), "-G",
               build.generator, "-DQUENLOW_BUILD_TESTS=OFF",
               f"-DCMAKE_TOOLCHAIN_FILE={build.toolchain_file}"]
    configured = subprocess.run(command, capture_output=True, text=True, timeout=300)
    assert configured.returncode == 0, configured.stdout + configured.stderr
    output = tmp_path / "Quenlow.msi"
    made = subprocess.run([build.cmake, "-D", f"VERSION={build.version}", "-D",
                           f"OUTPUT={output}", "-P", str(tmp_path / "build/msi/MakeMsi.cmake")],
                          capture_output=True, text=True, timeout=300)
    told = made.stdout + made.stderr
    assert made.returncode != 0, told
    assert "No extension ids were set" in told, told
    assert "QUENLOW_EXTENSION_IDS" in told and "QUENLOW_FIREFOX_EXTENSION_IDS" in told, told
    assert not output.exists()


def test_every_program_in_the_package_says_what_it_is(build, packages, tmp_path):
    package = Path(packages[build.version][2:].replace("\\", "/"))
    subprocess.run(["msiextract", "-C", str(tmp_path), str(package)], check=True,
                   capture_output=True, timeout=120)
    programs = sorted(tmp_path.rglob("*.exe"))
    assert {p.name for p in programs} == {"Quenlow.exe", "quenlow-register.exe",
                                          "quenlow-talk.exe"}
    numbers = [int(part) for part in build.version.split(".")]
    for program in programs:
        image = pefile.PE(str(program))
        strings = {key.decode(): value.decode()
                   for info in image.FileInfo[0] if info.Key == b"StringFileInfo"
                   for table in info.StringTable for key, value in table.entries.items()}
        assert strings["ProductName"] == "Quenlow", program.name
        assert strings["FileVersion"] == strings["ProductVersion"] == build.version, program.name
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
        build, machine, packages, tmp_path):
    folder = "C:\\Program Files\\Quenlow\\"
    assert machine.msiexec("/i", packages[build.version], "/qn", "ADDLOCAL=ALL") == 0
    assert files_under(machine.folder(folder)) == host_files(build) | TOOL_FILES | STAND_IN_FILES
    assert_registered_in(build, machine, folder)
    assert machine.quenlow_products() == [build.version]

    extensions = [arg for i in build.extension_ids for arg in ("--extension-id", i)]
    extensions += [arg for i in build.firefox_ids for arg in ("--firefox-extension", i)]
    doctor = machine.run(folder + "quenlow-register.exe", "doctor", "--system", "--name",
                         build.host_name, *extensions)
    # A test build's manifests admit the test extension, whose ids anyone may take: doctor says so
    # for every browser and fails.
    assert doctor.returncode == (1 if build.test_build else 0), doctor.out
    for browser in BROWSERS:
        assert f"=> {browser} can start the host" in doctor.out, doctor.out
    assert doctor.out.count("Quenlow's test extension: its id is public") == \
        (len(BROWSERS) if build.test_build else 0), doctor.out

    # The installed host, started the way a browser starts it, with the stand-in agent beside it.
    url = "https://msi.example/grüße"
    frames = machine.talk_to_installed_host(folder, tmp_path, url, 2, "--env",
                                            "VARNHOLD_LOG_LEVEL=3")
    replies = sorted((f["type"], f.get("url", f.get("level"))) for f in frames)
    assert replies == [("documentCompleteAck", url), ("updateLogLevel", 3)]

    assert machine.msiexec("/x", packages[build.version], "/qn") == 0
    assert_no_trace(build, machine, folder)


def test_install_beside_the_agent_upgrades_there_refuses_a_downgrade_and_is_removed(
        build, machine, packages, tmp_path):
    folder = "C:\\Agent\\"
    agent_file = "agent.ini"  # the agent's own file, which must survive
    machine.folder(folder).mkdir(parents=True)
    (machine.folder(folder) / agent_file).write_text("[agent]\n")
    newer = higher_version(build.version)

    assert machine.msiexec("/i", packages[build.version], "/qn", f"INSTALLDIR={folder}") == 0
    assert files_under(machine.folder(folder)) == host_files(build) | TOOL_FILES | {agent_file}
    assert_registered_in(build, machine, folder)

    assert machine.msiexec("/i", packages[newer], "/qn") == 0
    assert machine.quenlow_products() == [newer]
    assert files_under(machine.folder(folder)) == host_files(build) | TOOL_FILES | {agent_file}
    assert not machine.folder("C:\\Program Files\\Quenlow").exists()
    assert_registered_in(build, machine, folder)

    log = tmp_path / "downgrade.log"
    assert machine.msiexec("/i", packages[build.version], "/qn", "/l*v", windows_path(log)) == \
        INSTALL_FAILURE
    assert "WIX_DOWNGRADE_DETECTED = {" in log.read_text(errors="replace")
    assert machine.quenlow_products() == [newer]
    assert_registered_in(build, machine, folder)

    # Removed as a script removes whatever version is installed: by the product code it left.
    product = machine.default_value(REMEMBERED_FOLDER[0], "ProductCode")
    assert product and product.startswith("{"), product
    assert machine.msiexec("/x", product, "/qn") == 0
    assert_no_trace(build, machine, folder, left_behind={agent_file})
