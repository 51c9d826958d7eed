"""quenlow-register run as a process, on the machine's own services: real folders and file modes on
Linux, the real registry under Wine. What the commands decide is tested in-process on a machine in
memory (browser/tests/tools/register); here is what only the real services can show.

Linux runs work under a temporary root and home. Windows runs (under Wine) write the registry of the
shared Wine prefix, so every test there uses a host name of its own and removes it afterwards.

Options (see conftest.py): --register, --target-platform, --wine-run."""

import itertools
import json
import os
import stat
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import browser_table  # noqa: E402
from hostrun import windows_path  # noqa: E402

ID_A = "abcdefghijklmnopabcdefghijklmnop"
FIREFOX_ID = "quenlow@example.org"
NOT_FOUND = '"Specified native messaging host not found."'
FORBIDDEN = '"Access to the specified native messaging host is forbidden."'
FAILED_TO_START = '"Failed to start native messaging host."'
EXITED = '"Native host has exited."'
BLOCKED = '"Access to the native messaging host was disabled by the system administrator."'

# Where the tool must write: the table of browsers, which the tool is built from.
LINUX_FOLDERS = {
    **{(b["name"], "user"): "HOME/" + b["linux_user_folder"] for b in browser_table.BROWSERS},
    **{(b["name"], "system"): b["linux_system_folder"][0].lstrip("/")
       for b in browser_table.BROWSERS},
}
# The key install writes for each browser: the first it reads.
WINDOWS_KEYS = {b["name"]: b["windows_manifest_keys"][:1] for b in browser_table.BROWSERS}

linux_only = pytest.mark.linux_only
windows_only = pytest.mark.windows_only

_names = itertools.count()


def make_host(host, on_windows):
    """A host that can be started; on Windows with the libraries doctor looks for beside it."""
    host.write_bytes(b"#!/bin/sh\nexit 0\n")
    host.chmod(0o755)
    for library in ("Varnhold64.dll", "Halvern.dll") if on_windows else ():
        (host.parent / library).write_bytes(b"")


@pytest.fixture
def place(tmp_path, register_tool):
    """A root and a home for Linux runs, a host that can be started, and options to use them."""
    on_windows = register_tool.on_windows

    class Place:
        root = tmp_path / "root"
        home = tmp_path / "home"
        host = tmp_path / ("Quenlow.exe" if on_windows else "Quenlow")
        name = f"com.quenlow.test_{os.getpid()}_{next(_names)}"
        installed = set()  # the scopes to clean up on Windows
        run = staticmethod(register_tool.run)

        def folder(self, browser, scope):
            relative = LINUX_FOLDERS[(browser, scope)].replace("HOME", str(self.home)[1:])
            return self.root / relative

        def manifest(self, browser, scope):
            return self.folder(browser, scope) / f"{self.name}.json"

        def host_arg(self):
            return windows_path(self.host) if on_windows else self.host

        def common(self):
            where = [] if on_windows else ["--root", self.root, "--home", self.home]
            return where + ["--name", self.name]

    p = Place()
    make_host(p.host, on_windows)
    yield p
    for scope in sorted(p.installed if on_windows else ()):
        p.run("uninstall", "--browser", "all", scope, "--name", p.name)


def install(p, *extra):
    p.installed.add("--system" if "--system" in extra else "--user")
    result = p.run("install", *p.common(), "--host-path", p.host_arg(), *extra)
    assert result.returncode == 0, result.err
    return result


def reg_query(tool, key):
    result = tool.wine("reg", "query", key, "/ve")
    text = result.stdout.decode("utf-8", "replace")
    for line in text.splitlines():
        if "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    return None if result.returncode != 0 else ""


# Written again, the manifest is replaced whole: nothing of the first write stays in the folder.
@linux_only
@pytest.mark.parametrize("browser,scope", sorted(LINUX_FOLDERS))
def test_install_writes_the_manifest_where_the_browser_reads_it(place, browser, scope):
    ids = ["--extension-id", ID_A] if browser != "firefox" else ["--firefox-extension", FIREFOX_ID]
    install(place, "--browser", browser, f"--{scope}", "--description", "first", *ids)
    install(place, "--browser", browser, f"--{scope}", "--description", 'a "quoted" host', *ids)

    written = [p for p in place.root.rglob("*") if p.is_file()]
    assert written == [place.manifest(browser, scope)]
    assert stat.S_IMODE(written[0].stat().st_mode) == 0o644
    manifest = json.loads(written[0].read_text())
    assert manifest["name"] == place.name and manifest["description"] == 'a "quoted" host'
    assert manifest["path"] == str(place.host)


@linux_only
def test_default_host_is_the_one_beside_the_tool(place, register_tool):
    assert place.run("install", *place.common(), "--extension-id", ID_A).returncode == 0
    path = json.loads(place.manifest("chrome", "user").read_text())["path"]
    assert path == str(register_tool.path.parent / "Quenlow")


@linux_only
def test_user_scope_without_a_home_is_a_failure(place):
    env = {k: v for k, v in os.environ.items() if k != "HOME"}
    result = place.run("install", "--root", place.root, "--host-path", place.host,
                       "--extension-id", ID_A, env=env)
    assert result.returncode == 1 and "--home" in result.err
    assert not list(place.root.rglob("*.json"))


# What only the real file system shows: a host that is gone, and one without the right to run.
LINUX_BREAKS = [
    ("host missing", lambda p, m: p.host.unlink(), "does not exist", NOT_FOUND),
    # Chromium on Linux forks before it executes the host: to it, the host exited.
    ("host not executable", lambda p, m: p.host.chmod(0o644), "cannot be started", EXITED),
]


@linux_only
@pytest.mark.parametrize("case,breaks,problem,message", LINUX_BREAKS, ids=[c[0] for c in LINUX_BREAKS])
def test_doctor_names_each_break_and_the_browser_message(place, case, breaks, problem, message):
    install(place, "--browser", "edge", "--extension-id", ID_A)
    breaks(place, place.manifest("edge", "user"))
    result = place.run("doctor", *place.common(), "--browser", "edge", "--extension-id", ID_A)
    assert result.returncode == 1
    fail = [line for line in result.out.splitlines() if "FAIL" in line]
    assert len(fail) == 1 and problem in fail[0], result.out
    assert f"edge tells the extension: {message}" in result.out


# The exit status of the program itself; every usage error is tested in-process.
USAGE_ERRORS = [
    (["install", "--bogus"], "unknown option"),
    (["install", "--extension-id", ID_A.upper()], "invalid extension id"),
]


@pytest.mark.parametrize("args,message", USAGE_ERRORS, ids=[a[1] for a, _ in USAGE_ERRORS])
def test_usage_errors_exit_2_with_a_message(place, register_tool, args, message):
    where = [] if register_tool.on_windows else ["--root", place.root, "--home", place.home]
    result = place.run(args[0], *where, *args[1:])
    assert result.returncode == 2
    assert message in result.err
    assert not place.root.exists()


def test_options_of_the_other_platform_are_refused(register_tool):
    option = "--root" if register_tool.on_windows else "--manifest-dir"
    result = register_tool.run("list", option, "/x")
    assert result.returncode == 2 and option in result.err


def test_paths_beyond_ascii_survive_registration(place, register_tool):
    host = place.host.parent / "h\u00f4te \u6f22" / place.host.name
    host.parent.mkdir()
    make_host(host, register_tool.on_windows)
    host_arg = windows_path(host) if register_tool.on_windows else str(host)
    place.host = host
    install(place, "--browser", "edge", "--extension-id", ID_A, "--description",
            "\u00e9t\u00e9 \u6f22 \U0001F600")
    listed = place.run("list", *place.common(), "--browser", "edge")
    assert f"host      {host_arg}" in listed.out
    assert place.run("doctor", *place.common(), "--browser", "edge").returncode == 0


@windows_only
@pytest.mark.parametrize("browser,scope", [("chrome", "user"), ("firefox", "system")])
def test_windows_install_writes_the_keys_and_uninstall_removes_them(place, register_tool, browser,
                                                                   scope):
    ids = ["--firefox-extension", FIREFOX_ID] if browser == "firefox" else ["--extension-id", ID_A]
    install(place, "--browser", browser, f"--{scope}", *ids)
    hive = "HKCU" if scope == "user" else "HKLM"
    suffix = ".firefox.json" if browser == "firefox" else ".json"
    manifest = place.host.parent / f"{place.name}{suffix}"
    for key in WINDOWS_KEYS[browser]:
        assert reg_query(register_tool, f"{hive}\\{key}\\{place.name}") == windows_path(manifest)
    content = json.loads(manifest.read_text())
    assert content["name"] == place.name and content["path"] == windows_path(place.host)

    listed = place.run("list", "--name", place.name, f"--{scope}")
    assert f"{browser} ({scope}) {place.name}" in listed.out
    assert windows_path(manifest) in listed.out

    assert place.run("uninstall", "--name", place.name, "--browser", browser,
                     f"--{scope}").returncode == 0
    place.installed.clear()
    for key in WINDOWS_KEYS[browser]:
        assert reg_query(register_tool, f"{hive}\\{key}\\{place.name}") is None
    assert not manifest.exists()


def rewrite(file, **changes):
    manifest = json.loads(file.read_text())
    manifest.update(changes)
    file.write_text(json.dumps(manifest))


# What only the real registry and file system show: an empty default value, and a file that is no
# program.
WINDOWS_BREAKS = [
    ("no value", lambda t, p, m: t.wine(
        "reg", "add", "HKCU\\" + WINDOWS_KEYS["edge"][0] + "\\" + p.name, "/ve", "/d", "", "/f"),
     "no default value", NOT_FOUND),
    ("not a program", lambda t, p, m: rewrite(m, path=windows_path(m)), "cannot be started",
     FAILED_TO_START),
]


@windows_only
@pytest.mark.parametrize("case,breaks,problem,message", WINDOWS_BREAKS, ids=[c[0] for c in WINDOWS_BREAKS])
def test_windows_doctor_names_each_break(place, register_tool, case, breaks, problem, message):
    install(place, "--browser", "edge", "--extension-id", ID_A)
    breaks(register_tool, place, place.host.parent / f"{place.name}.json")
    result = place.run("doctor", "--name", place.name, "--browser", "edge", "--extension-id", ID_A)
    assert result.returncode == 1
    fail = [line for line in result.out.splitlines() if "FAIL" in line]
    assert len(fail) == 1 and problem in fail[0], result.out
    assert f"edge tells the extension: {message}" in result.out


EDGE_POLICIES = browser_table.BY_NAME["edge"]["windows_policy_key"]


HIVES = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}


def import_registry(tool, folder, lines):
    """Writes registry keys and values in one start of Wine's reg."""
    file = folder / "policies.reg"
    file.write_text("\r\n".join(["Windows Registry Editor Version 5.00", "", *lines, ""]),
                    encoding="utf-16")
    result = tool.wine("reg", "import", windows_path(file))
    assert result.returncode == 0, result.stderr


def reg_line(value, kind, data):
    if kind == "REG_DWORD":
        return f'"{value}"=dword:{int(data):08x}'
    return f'"{value}"="{data}"'


@pytest.fixture
def edge_policies(register_tool, tmp_path):
    """Edge's policy keys in the test's Wine prefix, removed again afterwards."""
    def write_policies(values):
        lines = []
        for hive, subkey, value, kind, data in values:
            key = "\\".join(part for part in (HIVES[hive], EDGE_POLICIES, subkey) if part)
            lines += [f"[{key}]", reg_line(value, kind, data), ""]
        import_registry(register_tool, tmp_path, lines)

    yield write_policies
    import_registry(register_tool, tmp_path,
                    [f"[-{HIVES[hive]}\\{EDGE_POLICIES}]" for hive in ("HKLM", "HKCU")])


# The value types and subkeys as the real registry holds them. (case, policy values (hive,
# subkey, value, type, data), what doctor must say)
WINDOWS_POLICIES = [
    ("allowlist of the user", [("HKLM", "NativeMessagingBlocklist", "1", "REG_SZ", "*"),
                               ("HKCU", "NativeMessagingAllowlist", "1", "REG_SZ", "NAME")],
     rf"NativeMessagingAllowlist in HKCU\{EDGE_POLICIES}"
     r"\NativeMessagingAllowlist lets NAME through"),
    ("ignored values", [("HKLM", "", "NativeMessagingUserLevelHosts", "REG_SZ", "false"),
                        ("HKLM", "", "NativeMessagingBlocklist", "REG_DWORD", "1"),
                        ("HKLM", r"Recommended\NativeMessagingBlocklist", "1", "REG_SZ", "*")],
     "no policy blocks native messaging hosts"),
]


@windows_only
@pytest.mark.parametrize("case,values,said", WINDOWS_POLICIES, ids=[c[0] for c in WINDOWS_POLICIES])
def test_windows_doctor_reads_the_policy_keys(place, edge_policies, case, values, said):
    install(place, "--browser", "edge", "--extension-id", ID_A)
    edge_policies([(*value[:4], value[4].replace("NAME", place.name)) for value in values])
    result = place.run("doctor", "--name", place.name, "--browser", "edge", "--extension-id", ID_A)
    assert said.replace("NAME", place.name) in result.out, result.out
    assert result.returncode == 0, result.out
    if case == "ignored values":
        assert result.out.count("edge ignores it") == 3, result.out


# A leftover that a 32-bit installer wrote (the 32-bit view, which the browsers read first), in the
# real registry: install warns, doctor takes it as the browser does, uninstall leaves it.
@windows_only
def test_windows_a_32_bit_leftover_shadows_the_registration(place, register_tool):
    key = f"HKLM\\{WINDOWS_KEYS['chrome'][0]}\\{place.name}"
    shown = key.replace("HKLM\\Software\\", "HKLM\\Software\\WOW6432Node\\")
    added = register_tool.wine("reg", "add", key, "/ve", "/d", "C:\\old\\leftover.json", "/f",
                               "/reg:32")
    assert added.returncode == 0, added.stderr
    try:
        result = install(place, "--browser", "chrome", "--system", "--extension-id", ID_A)
        assert f"warning: chrome reads {shown} (system) first" in result.err, result.err
        doctor = place.run("doctor", "--name", place.name, "--browser", "chrome")
        assert doctor.returncode == 1, doctor.out
        assert f"ok    registry key {shown} (system)" in doctor.out, doctor.out
        assert "is never read" in doctor.out and "C:\\old\\leftover.json" in doctor.out
        assert place.run("uninstall", "--name", place.name, "--browser", "chrome",
                         "--system").returncode == 0
        place.installed.clear()
        assert reg_query(register_tool, key) is None
        assert reg_query(register_tool, shown) == "C:\\old\\leftover.json"
    finally:
        register_tool.wine("reg", "delete", key, "/f", "/reg:32")


# The report is written by the real services: the host really started, and a link planted at the
# report's name replaced, not written through.
@linux_only
def test_doctor_report_starts_the_host_and_replaces_a_link(place, tmp_path):
    install(place, "--browser", "chrome", "--extension-id", ID_A)
    target = tmp_path / "elsewhere.txt"
    target.write_text("untouched")
    report = tmp_path / "report.txt"
    report.symlink_to(target)
    result = place.run("doctor", *place.common(), "--browser", "chrome", "--report", report)
    assert result.returncode == 0, result.out
    assert target.read_text() == "untouched" and not report.is_symlink()
    text = report.read_text()
    assert f"host: {place.host}" in text and "exit status: 0" in text, text
    assert "HOME=" not in text and "PATH=" not in text
