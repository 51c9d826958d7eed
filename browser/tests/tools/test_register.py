"""quenlow-register: registration of the host with browsers, run as a process.

Linux runs work under a temporary root and home. Windows runs (under Wine) write the registry of the
shared Wine prefix, so every test there uses a host name of its own and removes it afterwards.

Environment: QUENLOW_REGISTER (the tool), QUENLOW_TARGET_PLATFORM (linux or windows),
QUENLOW_WINE_RUN (the Wine wrapper)."""

import itertools
import json
import os
import stat
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import browser_table  # noqa: E402
from browser_table import CHROMIUM_FAMILY  # noqa: E402
from hostrun import windows_path  # noqa: E402

TOOL = os.environ.get("QUENLOW_REGISTER", "")
PLATFORM = os.environ.get("QUENLOW_TARGET_PLATFORM", "linux")
WINE_RUN = os.environ.get("QUENLOW_WINE_RUN", "")
ON_WINDOWS = PLATFORM == "windows"

ID_A = "abcdefghijklmnopabcdefghijklmnop"
ID_B = "ponmlkjihgfedcbaponmlkjihgfedcba"
FIREFOX_ID = "quenlow@example.org"
NOT_FOUND = '"Specified native messaging host not found."'
FORBIDDEN = '"Access to the specified native messaging host is forbidden."'
FAILED_TO_START = '"Failed to start native messaging host."'
BLOCKED = '"Access to the native messaging host was disabled by the system administrator."'

# Where the tool must write: the table of browsers, which the tool is built from.
LINUX_FOLDERS = {
    **{(b["name"], "user"): "HOME/" + b["linux_user_folder"] for b in browser_table.BROWSERS},
    **{(b["name"], "system"): b["linux_system_folder"].lstrip("/") for b in browser_table.BROWSERS},
}
WINDOWS_KEYS = {b["name"]: b["windows_manifest_keys"] for b in browser_table.BROWSERS}

linux_only = pytest.mark.skipif(ON_WINDOWS, reason="manifest folders are the Linux mechanism")
windows_only = pytest.mark.skipif(not ON_WINDOWS, reason="the registry exists on Windows only")

_names = itertools.count()


def run(*args, env=None, cwd=None):
    assert TOOL and Path(TOOL).exists(), "QUENLOW_REGISTER must name the built tool"
    command = [WINE_RUN, TOOL] if ON_WINDOWS else [TOOL]
    result = subprocess.run(command + [str(a) for a in args], capture_output=True, timeout=120,
                            env=env, cwd=cwd)
    result.out = result.stdout.decode("utf-8").replace("\r\n", "\n")
    result.err = result.stderr.decode("utf-8").replace("\r\n", "\n")
    return result


def reg_query(key):
    result = subprocess.run([WINE_RUN, "reg", "query", key, "/ve"], capture_output=True,
                            timeout=60)
    text = result.stdout.decode("utf-8", "replace")
    for line in text.splitlines():
        if "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    return None if result.returncode != 0 else ""


@pytest.fixture
def place(tmp_path):
    """A root and a home for Linux runs, a host that can be started, and options to use them."""
    class Place:
        root = tmp_path / "root"
        home = tmp_path / "home"
        host = tmp_path / ("Quenlow.exe" if ON_WINDOWS else "Quenlow")
        name = f"com.quenlow.test_{os.getpid()}_{next(_names)}"
        installed = False

        def folder(self, browser, scope):
            relative = LINUX_FOLDERS[(browser, scope)].replace("HOME", str(self.home)[1:])
            return self.root / relative

        def manifest(self, browser, scope):
            return self.folder(browser, scope) / f"{self.name}.json"

        def host_arg(self):
            return windows_path(self.host) if ON_WINDOWS else self.host

        def common(self):
            where = [] if ON_WINDOWS else ["--root", self.root, "--home", self.home]
            return where + ["--name", self.name]

    p = Place()
    p.host.write_bytes(b"#!/bin/sh\nexit 0\n")
    p.host.chmod(0o755)
    yield p
    if ON_WINDOWS and p.installed:
        for scope in ("--user", "--system"):
            run("uninstall", "--browser", "all", scope, "--name", p.name)


def install(p, *extra):
    p.installed = True
    result = run("install", *p.common(), "--host-path", p.host_arg(), *extra)
    assert result.returncode == 0, result.err
    return result


@linux_only
@pytest.mark.parametrize("browser,scope", sorted(LINUX_FOLDERS))
def test_install_writes_the_manifest_where_the_browser_reads_it(place, browser, scope):
    ids = (["--extension-id", ID_A, "--extension-id", ID_B] if browser != "firefox"
           else ["--firefox-extension", FIREFOX_ID])
    install(place, "--browser", browser, f"--{scope}", "--description", 'a "quoted" host', *ids)

    written = [p for p in place.root.rglob("*.json")]
    assert written == [place.manifest(browser, scope)]
    assert stat.S_IMODE(written[0].stat().st_mode) == 0o644
    allowed = ({"allowed_origins": [f"chrome-extension://{ID_A}/", f"chrome-extension://{ID_B}/"]}
               if browser != "firefox" else {"allowed_extensions": [FIREFOX_ID]})
    assert json.loads(written[0].read_text()) == {
        "name": place.name, "description": 'a "quoted" host', "path": str(place.host),
        "type": "stdio", **allowed}


@linux_only
def test_install_without_browsers_follows_the_ids_given(place):
    install(place, "--extension-id", ID_A)
    assert all(place.manifest(b, "user").exists() for b in CHROMIUM_FAMILY)
    assert not place.manifest("firefox", "user").exists()


@linux_only
def test_uninstall_removes_only_what_was_asked(place):
    install(place, "--browser", "all", "--extension-id", ID_A, "--firefox-extension", FIREFOX_ID)
    result = run("uninstall", *place.common(), "--browser", "edge")
    assert result.returncode == 0
    assert not place.manifest("edge", "user").exists()
    assert all(place.manifest(b, "user").exists() for b in ["chrome", "firefox", "vivaldi"])

    again = run("uninstall", *place.common(), "--browser", "edge")
    assert again.returncode == 0 and "not registered" in again.out


@linux_only
def test_list_shows_browser_scope_manifest_host_and_origins(place):
    install(place, "--browser", "chrome", "--extension-id", ID_A)
    install(place, "--browser", "firefox", "--system", "--firefox-extension", FIREFOX_ID)
    result = run("list", *place.common())
    assert result.returncode == 0
    assert f"chrome (user) {place.name}" in result.out
    assert f"firefox (system) {place.name}" in result.out
    assert str(place.manifest("chrome", "user")) in result.out
    assert str(place.manifest("firefox", "system")) in result.out
    assert f"host      {place.host}" in result.out
    assert f"chrome-extension://{ID_A}/" in result.out and FIREFOX_ID in result.out
    assert "edge" not in result.out


@linux_only
def test_reinstall_replaces_the_manifest_whole(place):
    install(place, "--browser", "chrome", "--extension-id", ID_A, "--extension-id", ID_B)
    install(place, "--browser", "chrome", "--extension-id", ID_B)
    manifest = place.manifest("chrome", "user")
    assert json.loads(manifest.read_text())["allowed_origins"] == [f"chrome-extension://{ID_B}/"]
    assert sorted(p.name for p in manifest.parent.iterdir()) == [manifest.name]


@linux_only
def test_a_manifest_that_cannot_be_written_is_a_failure(place):
    blocked = place.folder("edge", "system")
    blocked.parent.mkdir(parents=True)
    blocked.write_text("a file where the folder belongs")
    result = run("install", *place.common(), "--system", "--browser", "edge", "--browser",
                 "chrome", "--host-path", place.host, "--extension-id", ID_A)
    assert result.returncode == 1 and "edge (system)" in result.err
    assert place.manifest("chrome", "system").exists()


# Descriptions and paths are written as JSON strings, whatever they hold.
@pytest.mark.parametrize("description", [
    'quote " and backslash \\', "tab\tand line\nfeed", "\u00e9t\u00e9 \u6f22 \U0001F600", "",
])
def test_manifest_text_round_trips(place, description):
    install(place, "--browser", "chrome", "--extension-id", ID_A, "--description", description)
    if ON_WINDOWS:
        manifest = place.host.parent / f"{place.name}.json"
    else:
        manifest = place.manifest("chrome", "user")
    assert json.loads(manifest.read_text(encoding="utf-8"))["description"] == description


@pytest.mark.parametrize("add_on", ["a@b", "quenlow@example.org", "x_y-z.1@sub.example",
                                    "{12345678-9abc-DEF0-1234-56789abcdef0}"])
def test_firefox_add_on_ids_of_both_shapes_are_accepted(place, add_on):
    install(place, "--browser", "firefox", "--firefox-extension", add_on)
    result = run("doctor", *place.common(), "--browser", "firefox", "--firefox-extension", add_on)
    assert result.returncode == 0, result.out


def rewrite(file, **changes):
    manifest = json.loads(file.read_text())
    for key, value in changes.items():
        if value is None:
            manifest.pop(key)
        else:
            manifest[key] = value
    file.write_text(json.dumps(manifest))


# (case, how to break the registration, what doctor must say, message the browser shows)
DOCTOR_BREAKS = [
    ("no registration", lambda p, m: m.unlink(), "no registration found", NOT_FOUND),
    ("not JSON", lambda p, m: m.write_text("{not json"), "not valid JSON", NOT_FOUND),
    ("not an object", lambda p, m: m.write_text("[]"), "not an object", NOT_FOUND),
    ("no origins", lambda p, m: rewrite(m, allowed_origins=None), '"allowed_origins"', NOT_FOUND),
    ("no description", lambda p, m: rewrite(m, description=None), '"description"', NOT_FOUND),
    ("path not a string", lambda p, m: rewrite(m, path=5), '"path"', NOT_FOUND),
    ("wildcard origin", lambda p, m: rewrite(m, allowed_origins=["chrome-extension://*/"]),
     "not of the form", NOT_FOUND),
    ("other name", lambda p, m: rewrite(m, name="com.other"), '"name" is "com.other"', NOT_FOUND),
    ("wrong type", lambda p, m: rewrite(m, type="pipe"), '"type" is "pipe"', NOT_FOUND),
    ("relative path", lambda p, m: rewrite(m, path="Quenlow"), "not absolute", NOT_FOUND),
    ("host missing", lambda p, m: p.host.unlink(), "does not exist", NOT_FOUND),
    ("host not executable", lambda p, m: p.host.chmod(0o644), "cannot be started", FAILED_TO_START),
    ("origin not allowed", lambda p, m: rewrite(m, allowed_origins=[f"chrome-extension://{ID_B}/"]),
     f"chrome-extension://{ID_A}/ is not in", FORBIDDEN),
]


@linux_only
@pytest.mark.parametrize("case,breaks,problem,message", DOCTOR_BREAKS, ids=[c[0] for c in DOCTOR_BREAKS])
def test_doctor_names_each_break_and_the_browser_message(place, case, breaks, problem, message):
    install(place, "--browser", "edge", "--extension-id", ID_A)
    healthy = run("doctor", *place.common(), "--browser", "edge", "--extension-id", ID_A)
    assert healthy.returncode == 0 and "edge can start the host" in healthy.out, healthy.out

    breaks(place, place.manifest("edge", "user"))
    result = run("doctor", *place.common(), "--browser", "edge", "--extension-id", ID_A)
    assert result.returncode == 1
    fail = [line for line in result.out.splitlines() if "FAIL" in line]
    assert len(fail) == 1 and problem in fail[0], result.out
    assert f"edge tells the extension: {message}" in result.out
    assert "fix: " in result.out and "can start the host" not in result.out


@linux_only
@pytest.mark.parametrize("allowed,rc,expected", [
    ([FIREFOX_ID], 0, "firefox can start the host"),
    (["other@example.org"], 1, '"No such native application NAME"'),
    # The project's test add-on (browser/tests/browser/extension/ids.txt): anyone may claim it.
    ([FIREFOX_ID, "quenlow-test@quenlow.example"], 1,
     "admits quenlow-test@quenlow.example, Quenlow's test extension: its id is public"),
])
def test_doctor_checks_firefox_add_ons(place, allowed, rc, expected):
    install(place, "--browser", "firefox", "--firefox-extension", FIREFOX_ID)
    rewrite(place.manifest("firefox", "user"), allowed_extensions=allowed)
    result = run("doctor", *place.common(), "--firefox-extension", FIREFOX_ID)
    assert result.returncode == rc
    assert expected.replace("NAME", place.name) in result.out


@linux_only
def test_doctor_follows_the_user_entry_before_the_system_one(place):
    install(place, "--browser", "chromium", "--system", "--extension-id", ID_A)
    assert run("doctor", *place.common()).returncode == 0
    install(place, "--browser", "chromium", "--user", "--extension-id", ID_A)
    place.manifest("chromium", "user").write_text("oops")
    result = run("doctor", *place.common())
    assert result.returncode == 1 and "not valid JSON" in result.out
    assert "also registered at" in result.out and "(system)" in result.out


@linux_only
def test_doctor_without_any_registration_fails(place):
    result = run("doctor", *place.common())
    assert result.returncode == 1
    assert "not registered for any browser" in result.out and NOT_FOUND in result.out


# A relative profile folder is the browser's too (`--user-data-dir profile`): every command takes
# it from the current folder, and install and list name the same browser for it.
@linux_only
@pytest.mark.parametrize("relative", [False, True], ids=["absolute", "relative"])
def test_profile_dir_registers_in_the_profile(place, tmp_path, relative):
    profile = tmp_path / "profile"
    given = "profile" if relative else profile
    result = run("install", "--profile-dir", given, "--name", place.name, "--host-path",
                 place.host, "--extension-id", ID_A, cwd=tmp_path)
    assert result.returncode == 0, result.err
    manifest = profile / "NativeMessagingHosts" / f"{place.name}.json"
    assert json.loads(manifest.read_text())["allowed_origins"] == [f"chrome-extension://{ID_A}/"]
    assert "chromium (user)" in result.out
    listed = run("list", "--profile-dir", given, "--name", place.name, cwd=tmp_path)
    assert "chromium (user)" in listed.out and str(manifest) in listed.out, listed.out
    doctor = run("doctor", "--profile-dir", given, "--name", place.name, "--extension-id", ID_A,
                 cwd=tmp_path)
    assert doctor.returncode == 0, doctor.out
    assert run("uninstall", "--profile-dir", given, "--name", place.name,
               cwd=tmp_path).returncode == 0
    assert not manifest.exists()


@linux_only
def test_default_host_is_the_one_beside_the_tool(place):
    assert run("install", *place.common(), "--extension-id", ID_A).returncode == 0
    path = json.loads(place.manifest("chrome", "user").read_text())["path"]
    assert path == str(Path(TOOL).resolve().parent / "Quenlow")


@linux_only
def test_user_scope_without_a_home_is_a_failure(place):
    env = {k: v for k, v in os.environ.items() if k != "HOME"}
    result = run("install", "--root", place.root, "--host-path", place.host,
                 "--extension-id", ID_A, env=env)
    assert result.returncode == 1 and "--home" in result.err
    assert not list(place.root.rglob("*.json"))


@linux_only
def test_relative_root_and_home_are_taken_from_the_current_folder(place, tmp_path):
    relative = ["--root", "root", "--home", "home", "--name", place.name, "--browser", "chrome"]
    installed = run("install", *relative, "--host-path", place.host, "--extension-id", ID_A,
                    cwd=tmp_path)
    assert installed.returncode == 0, installed.err
    assert place.manifest("chrome", "user").exists()
    assert run("doctor", *relative, cwd=tmp_path).returncode == 0


INVALID_NAMES = ["", ".a", "a.", "a..b", "Com.quenlow", "a-b", "a b", "a/b", "\u00e4", "a.b."]
VALID_NAMES = ["a", "a.b", "com.quenlow_2.host", "_"]


@pytest.mark.parametrize("name", INVALID_NAMES)
def test_invalid_host_names_are_refused(place, name):
    result = run("install", "--browser", "chrome", "--name", name, "--host-path", place.host_arg(),
                 "--extension-id", ID_A, *([] if ON_WINDOWS else ["--root", place.root]))
    assert result.returncode == 2 and "invalid host name" in result.err
    assert not place.root.exists()


@linux_only
@pytest.mark.parametrize("name", VALID_NAMES)
def test_valid_host_names_are_accepted(place, name):
    result = run("install", "--root", place.root, "--home", place.home, "--name", name,
                 "--host-path", place.host, "--browser", "chrome", "--extension-id", ID_A)
    assert result.returncode == 0, result.err
    assert (place.folder("chrome", "user") / f"{name}.json").exists()


USAGE_ERRORS = [
    ([], "no command"),
    (["register"], "unknown command"),
    (["install", "--bogus"], "unknown option"),
    (["install", "--name"], "needs a value"),
    (["install", "--user", "--system", "--extension-id", ID_A], "exclude each other"),
    (["install", "--browser", "opera", "--extension-id", ID_A], "unknown browser"),
    (["install"], "--extension-id ID and/or --firefox-extension"),
    (["install", "--browser", "firefox", "--extension-id", ID_A], "firefox needs"),
    (["install", "--browser", "edge", "--firefox-extension", FIREFOX_ID], "edge needs"),
    (["install", "--extension-id", ID_A.upper()], "invalid extension id"),
    (["install", "--extension-id", ID_A[:-1]], "invalid extension id"),
    (["install", "--extension-id", "q" * 32], "invalid extension id"),
    (["install", "--firefox-extension", "no-at-sign"], "invalid Firefox add-on id"),
    (["install", "--firefox-extension", "{not-a-uuid}"], "invalid Firefox add-on id"),
    (["install", "--extension-id", ID_A, "--host-path", "relative/Quenlow"], "must be absolute"),
    (["install", "--profile-dir", "/p", "--browser", "firefox"], "--profile-dir"),
]


@pytest.mark.parametrize("args,message", USAGE_ERRORS, ids=[" ".join(a[:3]) or "empty" for a, _ in USAGE_ERRORS])
def test_usage_errors_exit_2_with_a_message(place, args, message):
    where = [] if ON_WINDOWS else ["--root", place.root, "--home", place.home]
    result = run(*args[:1], *(where if args else []), *args[1:])
    assert result.returncode == 2
    assert message in result.err
    assert not place.root.exists()


@pytest.mark.parametrize("option", ["--manifest-dir" if not ON_WINDOWS else "--root"])
def test_options_of_the_other_platform_are_refused(option):
    result = run("list", option, "/x")
    assert result.returncode == 2 and option in result.err


@windows_only
@pytest.mark.parametrize("browser,scope", [(b, s) for b in WINDOWS_KEYS for s in ("user", "system")])
def test_windows_install_writes_the_keys_and_uninstall_removes_them(place, browser, scope):
    ids = ["--firefox-extension", FIREFOX_ID] if browser == "firefox" else ["--extension-id", ID_A]
    install(place, "--browser", browser, f"--{scope}", *ids)
    hive = "HKCU" if scope == "user" else "HKLM"
    suffix = ".firefox.json" if browser == "firefox" else ".json"
    manifest = place.host.parent / f"{place.name}{suffix}"
    for key in WINDOWS_KEYS[browser]:
        assert reg_query(f"{hive}\\{key}\\{place.name}") == windows_path(manifest)
    content = json.loads(manifest.read_text())
    assert content["name"] == place.name and content["path"] == windows_path(place.host)

    listed = run("list", "--name", place.name, f"--{scope}")
    assert f"{browser} ({scope}) {place.name}" in listed.out
    assert windows_path(manifest) in listed.out
    doctor = run("doctor", "--name", place.name, "--browser", browser, *ids)
    assert doctor.returncode == 0, doctor.out

    assert run("uninstall", "--name", place.name, "--browser", browser, f"--{scope}").returncode == 0
    place.installed = False
    for key in WINDOWS_KEYS[browser]:
        assert reg_query(f"{hive}\\{key}\\{place.name}") is None
    assert not manifest.exists()


@windows_only
def test_windows_shared_manifest_stays_while_a_key_names_it(place):
    install(place, "--browser", "chrome", "--browser", "edge", "--extension-id", ID_A)
    manifest = place.host.parent / f"{place.name}.json"
    assert run("uninstall", "--name", place.name, "--browser", "edge").returncode == 0
    assert manifest.exists()
    assert run("uninstall", "--name", place.name, "--browser", "chrome").returncode == 0
    place.installed = False
    assert not manifest.exists()


def test_paths_beyond_ascii_survive_registration(place):
    host = place.host.parent / "h\u00f4te \u6f22" / place.host.name
    host.parent.mkdir()
    host.write_bytes(b"#!/bin/sh\n")
    host.chmod(0o755)
    host_arg = windows_path(host) if ON_WINDOWS else str(host)
    place.host = host
    install(place, "--browser", "edge", "--extension-id", ID_A)
    listed = run("list", *place.common(), "--browser", "edge")
    assert f"host      {host_arg}" in listed.out
    assert run("doctor", *place.common(), "--browser", "edge").returncode == 0


# (case, how to break it, what doctor must say, message the browser shows)
WINDOWS_BREAKS = [
    ("no value", lambda p, m: subprocess.run(
        [WINE_RUN, "reg", "add", "HKCU\\" + WINDOWS_KEYS["edge"][0] + "\\" + p.name,
         "/ve", "/d", "", "/f"], capture_output=True), "no default value", NOT_FOUND),
    ("manifest gone", lambda p, m: m.unlink(), "does not exist", NOT_FOUND),
    ("not a program", lambda p, m: rewrite(m, path=windows_path(m)), "cannot be started",
     FAILED_TO_START),
    ("origin not allowed", lambda p, m: rewrite(m, allowed_origins=[]), "is not in", FORBIDDEN),
]


@windows_only
@pytest.mark.parametrize("case,breaks,problem,message", WINDOWS_BREAKS, ids=[c[0] for c in WINDOWS_BREAKS])
def test_windows_doctor_names_each_break(place, case, breaks, problem, message):
    install(place, "--browser", "edge", "--extension-id", ID_A)
    breaks(place, place.host.parent / f"{place.name}.json")
    result = run("doctor", "--name", place.name, "--browser", "edge", "--extension-id", ID_A)
    assert result.returncode == 1
    fail = [line for line in result.out.splitlines() if "FAIL" in line]
    assert len(fail) == 1 and problem in fail[0], result.out
    assert f"edge tells the extension: {message}" in result.out


@windows_only
def test_windows_relative_host_path_is_read_beside_the_manifest(place):
    install(place, "--browser", "edge", "--extension-id", ID_A)
    rewrite(place.host.parent / f"{place.name}.json", path=place.host.name)
    result = run("doctor", "--name", place.name, "--browser", "edge")
    assert result.returncode == 0, result.out
    assert "relative to the manifest's folder" in result.out




def write_policy(hive, subkey, value, kind, data):
    key = "\\".join(part for part in (hive, EDGE_POLICIES, subkey) if part)
    result = subprocess.run([WINE_RUN, "reg", "add", key, "/v", value, "/t", kind, "/d", data,
                             "/f"], capture_output=True, timeout=60)
    assert result.returncode == 0, result.stderr


@pytest.fixture
def edge_policies():
    """Edge's policy keys in the test's Wine prefix, removed again afterwards."""
    yield write_policy
    for hive in ("HKLM", "HKCU"):
        subprocess.run([WINE_RUN, "reg", "delete", f"{hive}\\{EDGE_POLICIES}", "/f"],
                       capture_output=True, timeout=60)


EDGE_POLICIES = browser_table.BY_NAME["edge"]["windows_policy_key"]

# (case, policy values (hive, subkey, value, type, data), scope of the registration, what doctor
# must say, message the browser shows or None when it can start the host)
WINDOWS_POLICIES = [
    ("blocklist *", [("HKLM", "NativeMessagingBlocklist", "1", "REG_SZ", "*")], "user",
     r"blocked by the administrator's NativeMessagingBlocklist (*) in "
     rf"HKLM\{EDGE_POLICIES}\NativeMessagingBlocklist", BLOCKED),
    ("allowlist of the user", [("HKLM", "NativeMessagingBlocklist", "1", "REG_SZ", "*"),
                               ("HKCU", "NativeMessagingAllowlist", "1", "REG_SZ", "NAME")],
     "user", rf"NativeMessagingAllowlist in HKCU\{EDGE_POLICIES}"
             r"\NativeMessagingAllowlist lets NAME through", None),
    ("user-level hosts off", [("HKCU", "", "NativeMessagingUserLevelHosts", "REG_DWORD", "0")],
     "user", "user-level hosts are turned off by NativeMessagingUserLevelHosts", NOT_FOUND),
    ("system-level host", [("HKLM", "", "NativeMessagingUserLevelHosts", "REG_DWORD", "0")],
     "system", "reads system-level registrations only", None),
    ("ignored values", [("HKLM", "", "NativeMessagingUserLevelHosts", "REG_SZ", "false"),
                        ("HKLM", "", "NativeMessagingBlocklist", "REG_DWORD", "1"),
                        ("HKLM", r"Recommended\NativeMessagingBlocklist", "1", "REG_SZ", "*")],
     "user", "no policy blocks native messaging hosts", None),
]


@windows_only
@pytest.mark.parametrize("case,values,scope,said,message", WINDOWS_POLICIES,
                         ids=[c[0] for c in WINDOWS_POLICIES])
def test_windows_doctor_reads_the_policy_keys(place, edge_policies, case, values, scope, said,
                                              message):
    install(place, "--browser", "edge", f"--{scope}", "--extension-id", ID_A)
    for hive, subkey, value, kind, data in values:
        edge_policies(hive, subkey, value, kind, data.replace("NAME", place.name))
    result = run("doctor", "--name", place.name, "--browser", "edge", "--extension-id", ID_A)
    assert said.replace("NAME", place.name) in result.out, result.out
    if message is None:
        assert result.returncode == 0, result.out
    else:
        assert result.returncode == 1
        assert f"edge tells the extension: {message}" in result.out
    if case == "ignored values":
        assert result.out.count("edge ignores it") == 3, result.out
