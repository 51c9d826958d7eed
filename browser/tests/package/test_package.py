"""The packages cpack makes: what they hold, and that the host runs from an unpacked copy with the
stand-ins found where the layout puts them (not in the build tree). The .deb is also installed
and removed with dpkg in a private mount namespace, with real browsers reaching the host in
between."""

import json
import os
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

TESTS = Path(__file__).resolve().parents[1]
sys.path[:0] = [str(TESTS / "browser"), str(TESTS / "support")]
from browser_support import (CHROMIUM, FIREFOX, FIREFOX_ADD_ON_ID, ReportServer,  # noqa: E402
                             assemble_extension, chromium_command, chromium_extension_id,
                             firefox_command, firefox_profile, run_until_reported)
import browser_support  # noqa: E402
import browser_table  # noqa: E402
from hostio import frame, parse_frames, parse_frames_prefix  # noqa: E402
from hostrun import feed_until, windows_path  # noqa: E402

import package_build as build  # noqa: E402

PLATFORM = build.PLATFORM
WINE_RUN = build.WINE_RUN
EXTENSION_ID = "abcdefghijklmnopabcdefghijklmnop"
HOST_NAME = build.HOST_NAME
EXTENSION_IDS = build.EXTENSION_IDS
FIREFOX_EXTENSION_IDS = build.FIREFOX_EXTENSION_IDS
# A build that admits a test id makes packages named as test packages.
TEST_BUILD = build.is_test_build()
DEB_PACKAGE = "quenlow-test" if TEST_BUILD else "quenlow"
PACKAGE_STEM = "Quenlow-test" if TEST_BUILD else "Quenlow"

# The .deb's manifests: the Chromium family's folders link to the one in /opt/quenlow.
DEB_MANIFEST = f"opt/quenlow/share/quenlow/native-messaging-hosts/{HOST_NAME}.json"
DEB_FIREFOX_MANIFEST = (browser_table.BY_NAME["firefox"]["linux_system_folder"][0].lstrip("/")
                        + f"/{HOST_NAME}.json")
DEB_MANIFEST_LINKS = sorted({f"{b['linux_system_folder'][0].lstrip('/')}/{HOST_NAME}.json"
                             for b in browser_table.BROWSERS if b["family"] == "chromium"})

LINUX_FILES = {
    DEB_MANIFEST,
    DEB_FIREFOX_MANIFEST,
    *DEB_MANIFEST_LINKS,
    "opt/quenlow/bin/Quenlow",
    "opt/quenlow/bin/quenlow-talk",
    "opt/quenlow/bin/quenlow-register",
    "opt/quenlow/bin/libHalvern.so",
    "opt/quenlow/standins/README",
    "opt/quenlow/standins/libVarnhold64.so",
    "opt/quenlow/standins/libHalvern.so",
    "opt/quenlow/standins/libQuenlowDataProtection.so",
    "opt/quenlow/share/quenlow/examples/session.jsonl",
    "usr/bin/quenlow-register",
    "usr/bin/quenlow-talk",
    "usr/share/man/man1/quenlow-register.1.gz",
    "usr/share/man/man1/quenlow-talk.1.gz",
    f"usr/share/doc/{DEB_PACKAGE}/copyright",
    f"usr/share/doc/{DEB_PACKAGE}/changelog.gz",
    f"usr/share/lintian/overrides/{DEB_PACKAGE}",
}
# The tools an administrator runs, reachable from the PATH.
DEB_TOOL_LINKS = [f"./usr/bin/{tool} -> /opt/quenlow/bin/{tool}" for tool in
                  ("quenlow-register", "quenlow-talk")]

WINDOWS_FILES = {
    "Quenlow.exe",
    f"{HOST_NAME}.json",
    f"{HOST_NAME}.firefox.json",
    "quenlow-talk.exe",
    "quenlow-register.exe",
    "Varnhold64.dll",
    "Halvern.dll",
    "STAND-INS.txt",
    "examples/session.jsonl",
}


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    assert build.CPACK_CONFIG, "--cpack-config names the build's CPackConfig.cmake"
    if not build.EXTENSION_IDS and not build.FIREFOX_EXTENSION_IDS:
        pytest.skip("the build names no extension ids, so it makes no package: configure it with "
                    "QUENLOW_EXTENSION_IDS / QUENLOW_FIREFOX_EXTENSION_IDS (scripts/test passes "
                    "the test ids)")
    out = tmp_path_factory.mktemp("cpack")
    result = subprocess.run([build.CPACK, "--config", build.CPACK_CONFIG, "-B", str(out)],
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
    made = [p for p in out.iterdir() if p.suffix in (".deb", ".zip")]
    assert len(made) == 1, made
    return made[0]


def test_the_test_ids_are_those_of_the_test_extension():
    firefox = json.loads((Path(browser_support.EXTENSION) / "firefox/manifest.json").read_text())
    assert build.test_ids() == {
        "chromium": {chromium_extension_id()},
        "firefox": {firefox["browser_specific_settings"]["gecko"]["id"]}}


def test_a_package_that_admits_a_test_id_is_named_a_test_package(package):
    expected = {"linux": f"{DEB_PACKAGE}_", "windows": f"{PACKAGE_STEM}-"}[PLATFORM]
    assert package.name.startswith(expected), package.name
    assert TEST_BUILD == ("test" in package.name)
    if PLATFORM == "linux":
        fields = subprocess.run(["dpkg-deb", "-f", str(package), "Package", "Description"],
                                capture_output=True, text=True, check=True).stdout
        assert f"Package: {DEB_PACKAGE}\n" in fields
        assert TEST_BUILD == ("(test build)" in fields.splitlines()[1]), fields


@pytest.fixture(scope="module")
def build_without_ids(tmp_path_factory):
    """This project configured in a temporary folder with no extension ids (nothing is built)."""
    folder = tmp_path_factory.mktemp("no-ids")
    command = [build.CMAKE, "-S", str(build.SOURCE_DIR), "-B", str(folder / "build"),
               "-G", build.GENERATOR, "-DQUENLOW_BUILD_TESTS=OFF"]
    if build.TOOLCHAIN_FILE:
        command.append(f"-DCMAKE_TOOLCHAIN_FILE={build.TOOLCHAIN_FILE}")
    configured = subprocess.run(command, capture_output=True, text=True, timeout=300)
    assert configured.returncode == 0, configured.stdout + configured.stderr
    return folder


@pytest.mark.parametrize("how", ["cpack", "cmake --install"])
def test_without_extension_ids_no_package_or_manifest_is_made(build_without_ids, how):
    out = build_without_ids / how.replace(" ", "-")
    commands = {
        "cpack": [build.CPACK, "--config", str(build_without_ids / "build/CPackConfig.cmake"),
                  "-B", str(out)],
        "cmake --install": [build.CMAKE, "--install", str(build_without_ids / "build"),
                            "--prefix", str(out / "prefix"), "--component", "host"]}
    result = subprocess.run(commands[how], capture_output=True, text=True, timeout=300,
                            env=dict(os.environ, DESTDIR=str(out / "root")))
    told = result.stdout + result.stderr
    assert result.returncode != 0, told
    assert "No extension ids were set" in told, told
    assert "QUENLOW_EXTENSION_IDS" in told and "QUENLOW_FIREFOX_EXTENSION_IDS" in told, told
    made = [p for p in out.rglob("*") if p.is_file() and "_CPack_Packages" not in p.parts]
    assert made == [], made


def document_complete(url):
    return json.dumps({"tabID": "4", "type": "documentComplete",
                       "payload": {"url": url, "bTopLvlDoc": "true"}}, ensure_ascii=False)


def read_text(path):
    return path.read_text(encoding="utf-8") if path.exists() else ""


def assert_host_serves_agent_and_bridge(command, env, journal, timeout=60):
    """Runs the host on one message, keeping its stdin open until the bridge has been loaded and
    the reply has arrived (the agent answers from a thread of its own, after the message was
    handled), or the timeout has passed; the agent must have replied and the bridge started."""
    url = "https://paket.example/grüße"
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=env)

    def loaded_and_answered(out):
        return "GetInstance" in read_text(journal) and parse_frames_prefix(out)

    stdout, _ = feed_until(process, frame(document_complete(url)), loaded_and_answered, timeout)
    assert process.returncode == 0
    replies = [json.loads(json.loads(body)) for body in parse_frames(stdout)]
    assert [(r["type"], r["url"]) for r in replies] == [("documentCompleteAck", url)]
    assert "CreateThreadBroker" in read_text(journal)


# --- Linux: the .deb -------------------------------------------------------------------------

linux_only = pytest.mark.skipif(PLATFORM != "linux", reason="the .deb is made by the Linux build")
windows_only = pytest.mark.skipif(PLATFORM != "windows", reason="the zip is made by the Windows build")


@pytest.fixture(scope="module")
def unpacked_deb(package, tmp_path_factory):
    root = tmp_path_factory.mktemp("deb-root")
    subprocess.run(["dpkg-deb", "-x", str(package), str(root)], check=True)
    return root


@linux_only
def test_deb_holds_the_host_tools_and_stand_ins_apart_and_nothing_else(package):
    listing = subprocess.run(["dpkg-deb", "-c", str(package)], capture_output=True, text=True,
                             check=True).stdout.splitlines()
    files = {}
    for line in listing:
        fields = line.split(None, 5)
        if fields[0].startswith("d"):
            continue
        name = fields[5].removeprefix("./")
        files[name.split(" -> ")[0]] = fields[0]
    assert set(files) == LINUX_FILES
    assert "opt/quenlow/bin/libHalvern.so -> ../standins/libHalvern.so" in "\n".join(listing)
    for link in DEB_MANIFEST_LINKS:
        assert f"./{link} -> /{DEB_MANIFEST}" in "\n".join(listing)
    for link in DEB_TOOL_LINKS:
        assert link in "\n".join(listing)
    for name in ("Quenlow", "quenlow-talk", "quenlow-register"):
        assert files[f"opt/quenlow/bin/{name}"] == "-rwxr-xr-x"


@linux_only
def test_deb_declares_the_libraries_it_needs(package):
    depends = subprocess.run(["dpkg-deb", "-f", str(package), "Depends"], capture_output=True,
                             text=True, check=True).stdout
    assert "libsodium23" in depends and "libstdc++6" in depends


@linux_only
def test_installed_host_resolves_its_libraries_inside_the_package(unpacked_deb):
    host = unpacked_deb / "opt/quenlow/bin/Quenlow"
    dynamic = subprocess.run(["readelf", "-d", str(host)], capture_output=True, text=True,
                             check=True).stdout
    assert "[$ORIGIN/../standins]" in dynamic
    resolved = subprocess.run(["ldd", str(host)], capture_output=True, text=True, check=True).stdout
    for library in ("libVarnhold64.so", "libQuenlowDataProtection.so"):
        line = next(l for l in resolved.splitlines() if library in l)
        found = Path(line.split("=>")[1].split("(")[0].strip()).resolve()
        assert found == unpacked_deb / "opt/quenlow/standins" / library, line
    for item in (unpacked_deb / "opt/quenlow").rglob("*"):
        if item.is_file() and not item.is_symlink() and item.read_bytes()[:4] == b"\x7fELF":
            assert b"/build/" not in subprocess.run(["readelf", "-d", str(item)],
                                                    capture_output=True, check=True).stdout, item


def elf_files(root):
    return sorted(item for item in root.rglob("*") if item.is_file() and not item.is_symlink()
                  and item.read_bytes()[:4] == b"\x7fELF")


@linux_only
def test_deb_binaries_are_hardened(unpacked_deb):
    # hardening-check: PIE, stack protector, FORTIFY (checked variants imported), full RELRO; a
    # missing one fails it. Control-flow marks are not asked for: the linker sets them only when
    # every linked object has them. The bridge stand-in's one read() and the data-protection
    # library make no call whose length FORTIFY could check only at run time, so no checked
    # variant is imported and hardening-check cannot tell; they are held to the rest.
    elves = elf_files(unpacked_deb)
    assert len(elves) == 6, elves
    without_checked_calls = ("libHalvern.so", "libQuenlowDataProtection.so")
    for elf in elves:
        options = ["--nocfprotection"] + (["--nofortify"] if elf.name in without_checked_calls
                                          else [])
        check = subprocess.run(["hardening-check", *options, str(elf)], capture_output=True,
                               text=True)
        assert check.returncode == 0, check.stdout + check.stderr
    for elf in elves:
        headers = subprocess.run(["readelf", "-W", "-l", "-d", str(elf)], capture_output=True,
                                 text=True, check=True).stdout
        stack = next(l for l in headers.splitlines() if "GNU_STACK" in l)
        assert stack.split()[-2] == "RW", (elf, stack)
        runpaths = [l.split("[", 1)[1].rstrip("]") for l in headers.splitlines()
                    if "(RUNPATH)" in l or "(RPATH)" in l]
        for element in ":".join(runpaths).split(":") if runpaths else []:
            assert element.startswith(("/", "$ORIGIN")), (elf, runpaths)


@linux_only
def test_lintian_finds_no_error_warning_or_hardening_gap(package):
    assert shutil.which("lintian"), "lintian is missing: scripts/setup installs it"
    result = subprocess.run(["lintian", "-I", str(package)],
                            capture_output=True, text=True, timeout=300)
    tags = result.stdout.splitlines()
    assert [t for t in tags if t.startswith(("E:", "W:")) or "hardening" in t] == [], \
        result.stdout + result.stderr
    assert result.returncode == 0, result.stdout + result.stderr


@linux_only
def test_installed_host_ends_cleanly_on_empty_input(unpacked_deb):
    result = subprocess.run([str(unpacked_deb / "opt/quenlow/bin/Quenlow")], input=b"",
                            capture_output=True, timeout=30)
    assert result.returncode == 0, result.stderr
    assert result.stdout == b""


@linux_only
def test_installed_host_serves_the_agent_and_loads_the_bridge(unpacked_deb, tmp_path):
    journal = tmp_path / "bridge.jsonl"
    env = dict(os.environ, HALVERN_JOURNAL=str(journal), VARNHOLD_LOG_LEVEL="1")
    assert_host_serves_agent_and_bridge([str(unpacked_deb / "opt/quenlow/bin/Quenlow")], env,
                                        journal)


@linux_only
def test_installed_register_points_browsers_at_the_installed_host(unpacked_deb, tmp_path):
    tool = unpacked_deb / "opt/quenlow/bin/quenlow-register"
    subprocess.run([str(tool), "install", "--profile-dir", str(tmp_path), "--extension-id",
                    EXTENSION_ID], check=True, capture_output=True, timeout=30)
    manifests = list((tmp_path / "NativeMessagingHosts").glob("*.json"))
    assert len(manifests) == 1
    manifest = json.loads(manifests[0].read_text())
    assert manifest["path"] == str(unpacked_deb / "opt/quenlow/bin/Quenlow")
    assert manifest["allowed_origins"] == [f"chrome-extension://{EXTENSION_ID}/"]


# --- Linux: the .deb installed with dpkg, in a private mount namespace --------------------------

# Where dpkg and the package write. Each of these (or, where it does not exist, its nearest
# existing parent) gets an overlay whose writes land in the test's folder; every step runs in a
# mount namespace of its own with the same overlays, so the steps see one machine and the real one
# sees nothing.
DPKG_WRITES = ["/var/lib/dpkg", "/var/log", "/opt", "/etc/opt", "/etc/chromium",
               "/usr/lib/mozilla", "/usr/bin", "/usr/share/doc", "/usr/share/man",
               "/usr/share/lintian"]
INSTALLED_MANIFESTS = [f"/{path}" for path in (DEB_MANIFEST, DEB_FIREFOX_MANIFEST,
                                               *DEB_MANIFEST_LINKS)]


def overlay_targets():
    targets = set()
    for place in map(Path, DPKG_WRITES):
        while not place.exists():
            place = place.parent
        targets.add(place)
    return sorted(t for t in targets if not any(o in t.parents for o in targets))


class Namespace:
    """Runs commands in a private mount namespace whose overlays keep their changes in `layers`."""

    def __init__(self, layers):
        mounts = []
        for index, target in enumerate(overlay_targets()):
            upper, work = layers / str(index) / "upper", layers / str(index) / "work"
            upper.mkdir(parents=True)
            work.mkdir()
            mounts.append(f"mount -t overlay overlay -o lowerdir={target},upperdir={upper},"
                          f"workdir={work} {target}")
        self.prefix = ["unshare", "-m", "sh", "-c", " && ".join(mounts) + ' && exec "$@"', "sh"]

    def run(self, *command):
        return subprocess.run(self.prefix + [str(c) for c in command], capture_output=True,
                              text=True, timeout=120)

    def refusal(self):
        """Why the namespace cannot be made here, or None."""
        if os.geteuid() != 0:
            return "installing with dpkg in a private mount namespace needs root"
        try:
            trial = self.run("true")
        except FileNotFoundError:
            return "unshare is not installed"
        if trial.returncode != 0:
            return f"unshare -m with overlay mounts is not permitted: {trial.stderr.strip()}"
        return None

    def present(self, paths):
        script = "import os, sys; print(' '.join(p for p in sys.argv[1:] if os.path.lexists(p)))"
        return set(self.run("/usr/bin/python3", "-c", script, *paths).stdout.split())

    def package_state(self):
        return self.run("dpkg-query", "-W", "-f=${db:Status-Status} ${Conffiles}",
                        DEB_PACKAGE).stdout.strip()


def probe_host(namespace, browser, work):
    """What the test extension, run by `browser` in the namespace, was told for the host."""
    home = work / "home"
    home.mkdir(parents=True, exist_ok=True)
    with ReportServer() as server:
        extension = assemble_extension(browser, work / f"{browser}-extension", {
            "port": server.port, "probeHosts": [HOST_NAME]})
        if browser == "chromium":
            command = chromium_command(work / "chromium-profile", extension)
        else:
            command = firefox_command(firefox_profile(work / "firefox-profile", extension))
        # The host announces the agent's log level at once when it is not the default.
        env = dict(os.environ, HOME=str(home), VARNHOLD_LOG_LEVEL="4")
        report, _ = run_until_reported(namespace.prefix + command, env,
                                       work / f"{browser}.log", server)
    assert report is not None, f"no report; see {work / f'{browser}.log'}"
    return report["outcomes"][HOST_NAME]


@pytest.fixture(scope="module")
def deb_lifecycle(package, tmp_path_factory):
    """Installs the .deb as `apt install ./<file>` does (dpkg -i), lets each browser and doctor
    try the host, removes the package, and records what was seen at each step."""
    if (chromium_extension_id() not in EXTENSION_IDS or
            FIREFOX_ADD_ON_ID not in FIREFOX_EXTENSION_IDS):
        pytest.skip("the build's manifests do not admit the test extensions "
                    "(QUENLOW_EXTENSION_IDS, QUENLOW_FIREFOX_EXTENSION_IDS)")
    work = tmp_path_factory.mktemp("deb-install")
    namespace = Namespace(work / "layers")
    refusal = namespace.refusal()
    if refusal:
        pytest.skip(refusal)
    for browser in (CHROMIUM, FIREFOX):
        assert os.path.exists(browser), f"{browser} is missing: scripts/setup installs it"

    seen = {}
    installed = namespace.run("dpkg", "-i", package)
    assert installed.returncode == 0, installed.stdout + installed.stderr
    seen["installed"] = namespace.present(INSTALLED_MANIFESTS)
    seen["state"] = namespace.package_state()
    seen["outcomes"] = {browser: probe_host(namespace, browser, work)
                        for browser in ("chromium", "firefox")}
    ids = [a for i in EXTENSION_IDS for a in ("--extension-id", i)] + [
        a for i in FIREFOX_EXTENSION_IDS for a in ("--firefox-extension", i)]
    # Through the link on the PATH: the tool still finds the host beside its real self.
    seen["doctor"] = namespace.run("/usr/bin/quenlow-register", "doctor", "--system",
                                   "--name", HOST_NAME, *ids)
    removed = namespace.run("dpkg", "-r", DEB_PACKAGE)
    assert removed.returncode == 0, removed.stdout + removed.stderr
    seen["left"] = namespace.present(INSTALLED_MANIFESTS + ["/opt/quenlow",
                                                            "/usr/bin/quenlow-talk"])
    seen["state after removal"] = namespace.package_state()
    return seen


@linux_only
@pytest.mark.parametrize("browser", ["chromium", "firefox"])
def test_browsers_reach_the_host_once_the_deb_is_installed(deb_lifecycle, browser):
    assert deb_lifecycle["installed"] == set(INSTALLED_MANIFESTS)
    assert deb_lifecycle["outcomes"][browser] == "connected"


@linux_only
def test_doctor_finds_the_deb_registration_where_every_browser_reads(deb_lifecycle):
    doctor = deb_lifecycle["doctor"]
    browsers = ("chrome", "chromium", "edge", "brave", "vivaldi", "firefox")
    # A test package admits the test extension, whose ids anyone may take: doctor fails on it.
    assert doctor.returncode == (1 if TEST_BUILD else 0), doctor.stdout + doctor.stderr
    for browser in browsers:
        assert f"{browser} can start the host" in doctor.stdout, doctor.stdout
    assert doctor.stdout.count("Quenlow's test extension: its id is public") == \
        (len(browsers) if TEST_BUILD else 0), doctor.stdout


@linux_only
def test_removing_the_deb_leaves_no_manifest_behind(deb_lifecycle):
    # Nothing of the package is a conffile, so "apt remove" is as thorough as "apt purge".
    assert deb_lifecycle["state"] == "installed"
    assert deb_lifecycle["left"] == set()
    assert deb_lifecycle["state after removal"] in ("", "not-installed")


# --- Windows: the zip ------------------------------------------------------------------------

@pytest.fixture(scope="module")
def unpacked_zip(package, tmp_path_factory):
    root = tmp_path_factory.mktemp("zip-root")
    with zipfile.ZipFile(package) as archive:
        archive.extractall(root)
    return root / package.stem


@windows_only
def test_zip_holds_host_tools_and_stand_ins_beside_it_and_nothing_else(package):
    with zipfile.ZipFile(package) as archive:
        names = {n for n in archive.namelist() if not n.endswith("/")}
    top = package.stem + "/"
    assert all(n.startswith(top) for n in names), names
    assert {n.removeprefix(top) for n in names} == WINDOWS_FILES


# DllCharacteristics: 64-bit ASLR, ASLR, DEP.
PE_HARDENING = {"IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA": 0x20,
                "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE": 0x40,
                "IMAGE_DLLCHARACTERISTICS_NX_COMPAT": 0x100}


@windows_only
def test_zip_binaries_are_hardened(unpacked_zip):
    import pefile
    binaries = sorted(p for p in unpacked_zip.iterdir() if p.suffix in (".exe", ".dll"))
    assert len(binaries) == 5, binaries
    for binary in binaries:
        image = pefile.PE(str(binary))
        flags = image.OPTIONAL_HEADER.DllCharacteristics
        assert [name for name, bit in PE_HARDENING.items() if not flags & bit] == [], binary
        # ASLR moves only an image that keeps its relocations.
        relocations = image.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        assert relocations.Size > 0 and not image.FILE_HEADER.IMAGE_FILE_RELOCS_STRIPPED, binary
        # The stack protector's runtime is linked in (its report text is there) and not imported.
        assert b"stack smashing detected" in binary.read_bytes(), binary
        imports = [entry.dll.decode().lower() for entry in image.DIRECTORY_ENTRY_IMPORT]
        assert not any(name.startswith("libssp") for name in imports), (binary, imports)


@windows_only
def test_unpacked_windows_host_runs_with_the_stand_ins_beside_it(unpacked_zip, tmp_path):
    host = unpacked_zip / "Quenlow.exe"
    journal = tmp_path / "bridge.jsonl"
    env = dict(os.environ, VARNHOLD_LOG_LEVEL="1", HALVERN_JOURNAL=windows_path(journal))
    empty = subprocess.run([WINE_RUN, str(host)], input=b"", capture_output=True,
                           env=dict(os.environ, VARNHOLD_LOG_LEVEL="1"), timeout=120)
    assert empty.returncode == 0, empty.stderr
    assert empty.stdout == b""
    assert_host_serves_agent_and_bridge([WINE_RUN, str(host)], env, journal, timeout=120)
