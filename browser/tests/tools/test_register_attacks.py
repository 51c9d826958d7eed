"""quenlow-register run by an administrator on folders someone else controls, as a process.

Linux: root registers into a home owned by another user (uid 65534) in which that user planted
links; the file the links aim at, root's and mode 0600, must come out untouched. System scope
refuses a host or manifest folder others can write. Windows (under Wine): the refusals Wine can
show (it grants Everyone what the Unix mode gives other users) and doctor's library checks.

Options (see conftest.py): --register, --target-platform, --wine-run."""

import os
import stat
from pathlib import Path

import pytest

import browser_table  # conftest.py puts the shared test helpers on the path

TOOL = None  # the built tool of the running test (conftest.py's register_tool)
ON_WINDOWS = False

ID = "abcdefghijklmnopabcdefghijklmnop"
OTHER_UID = 65534
NAME = f"com.quenlow.attack_{os.getpid()}"
CHROME = browser_table.BY_NAME["chrome"]
CHROME_USER = Path(CHROME["linux_user_folder"])
CHROME_SYSTEM = Path(CHROME["linux_system_folder"][0].lstrip("/"))
LIBRARIES = ("Varnhold64.dll", "Halvern.dll")

linux_only = pytest.mark.linux_only
windows_only = pytest.mark.windows_only
as_root = pytest.mark.as_root


@pytest.fixture(autouse=True)
def the_tool(request, register_tool):
    global TOOL, ON_WINDOWS
    TOOL, ON_WINDOWS = register_tool, register_tool.on_windows
    if request.node.get_closest_marker("as_root") and not ON_WINDOWS and os.geteuid() != 0:
        pytest.skip("the attacks need root: only root can act on another's folder")


def run(*args):
    return TOOL.run(*args)


def shown(path):
    return "Z:" + str(path).replace("/", "\\") if ON_WINDOWS else str(path)


def make_host(host):
    host.parent.mkdir(parents=True, exist_ok=True)
    host.write_bytes(b"#!/bin/sh\nexit 0\n")
    host.chmod(0o755)
    for library in LIBRARIES if ON_WINDOWS else ():
        (host.parent / library).write_bytes(b"")
    return host


def snapshot(path):
    status = os.lstat(path)
    return path.read_bytes(), stat.S_IMODE(status.st_mode), status.st_uid


def plant_link(link, target):
    """A link the other user made, in a folder of theirs."""
    link.parent.mkdir(parents=True, exist_ok=True)
    link.symlink_to(target)
    os.lchown(link, OTHER_UID, OTHER_UID)


def give_away(top):
    for folder, names, files in os.walk(top):
        for entry in [folder] + [os.path.join(folder, n) for n in names + files]:
            os.lchown(entry, OTHER_UID, OTHER_UID)


@pytest.fixture
def victim(tmp_path):
    """Root's secret outside the other user's home, a folder of root's, and that home."""
    class Victim:
        file = tmp_path / "secret"
        folder = tmp_path / "roots"
        home = tmp_path / "home"
        host = make_host(tmp_path / "bin" / "Quenlow")
        manifests = home / CHROME_USER

    v = Victim()
    v.file.write_bytes(b"root's own\n")
    v.file.chmod(0o600)
    v.folder.mkdir()
    (v.folder / f"{NAME}.json").write_bytes(b"root's manifest\n")
    (v.home / CHROME_USER).mkdir(parents=True)
    v.before = snapshot(v.file), snapshot(v.folder / f"{NAME}.json")
    return v


def old_temporary(v):
    plant_link(v.manifests / f"{NAME}.json.tmp", v.file)


def final_name(v):
    plant_link(v.manifests / f"{NAME}.json", v.file)


def folder_link(v):
    v.manifests.rmdir()
    plant_link(v.manifests, v.folder)


def folder_above(v):
    (v.manifests).rmdir()
    v.manifests.parent.rmdir()
    plant_link(v.manifests.parent, v.folder)


def profile_link(v):
    plant_link(v.home / "profile" / "NativeMessagingHosts", v.folder)


def install_home(v):
    return run("install", "--home", v.home, "--browser", "chrome", "--extension-id", ID,
               "--host-path", v.host, "--name", NAME)


def uninstall_home(v):
    return run("uninstall", "--home", v.home, "--browser", "chrome", "--user", "--name", NAME)


def install_profile(v):
    return run("install", "--profile-dir", v.home / "profile", "--extension-id", ID,
               "--host-path", v.host, "--name", NAME)


# (case, what the other user plants, what root runs, whether the run may succeed)
ATTACKS = [
    ("link at the old temporary name", old_temporary, install_home, True),
    ("link at the final name", final_name, install_home, True),
    ("link in place of the manifest folder", folder_link, install_home, False),
    ("link in place of a folder above it", folder_above, install_home, False),
    ("link in place of the profile's folder", profile_link, install_profile, False),
    ("uninstall through a folder link", folder_link, uninstall_home, False),
    ("uninstall of a link at the final name", final_name, uninstall_home, False),
]


@linux_only
@as_root
@pytest.mark.parametrize("case,plant,act,succeeds", ATTACKS, ids=[a[0] for a in ATTACKS])
def test_links_another_user_planted_leave_roots_files_untouched(victim, case, plant, act,
                                                                succeeds):
    plant(victim)
    give_away(victim.home)
    result = act(victim)
    assert (snapshot(victim.file), snapshot(victim.folder / f"{NAME}.json")) == victim.before
    assert sorted(p.name for p in victim.folder.iterdir()) == [f"{NAME}.json"]
    assert (result.returncode == 0) == succeeds, result.err
    if succeeds:
        manifest = victim.manifests / f"{NAME}.json"
        assert not manifest.is_symlink() and NAME in manifest.read_text()
        assert [p.name for p in victim.manifests.iterdir() if p.name.endswith(".json")] == \
            [f"{NAME}.json"]
    else:
        assert "link" in result.err or "not a regular file" in result.err, result.err


@pytest.fixture
def system(tmp_path):
    """A root for system scope and a host in a folder of the administrator's."""
    class System:
        root = tmp_path / "root"
        host = make_host(tmp_path / "bin" / ("Quenlow.exe" if ON_WINDOWS else "Quenlow"))
        manifests = tmp_path / "root" / CHROME_SYSTEM

        def install(self):
            where = ["--browser", "edge"] if ON_WINDOWS else ["--root", self.root, "--browser",
                                                                "chrome"]
            return run("install", "--system", *where, "--extension-id", ID, "--host-path",
                       shown(self.host), "--name", NAME)

        def doctor(self):
            where = ["--browser", "edge"] if ON_WINDOWS else ["--root", self.root, "--browser",
                                                                "chrome"]
            return run("doctor", "--system", *where, "--name", NAME)

    s = System()
    yield s
    if ON_WINDOWS:
        run("uninstall", "--system", "--browser", "edge", "--name", NAME)


def other_write(s):
    s.host.parent.chmod(0o777)
    return s.host.parent, "can be written by " + ("Everyone" if ON_WINDOWS else "every user")


def group_write(s):
    s.host.parent.chmod(0o775)
    os.chown(s.host.parent, 0, OTHER_UID)
    return s.host.parent, "can be written by its group"


def other_owner(s):
    os.chown(s.host, OTHER_UID, OTHER_UID)
    return s.host, f"belongs to uid {OTHER_UID}"


def open_manifest_folder(s):
    s.manifests.mkdir(parents=True, exist_ok=True)
    s.manifests.chmod(0o777)
    return s.manifests, "can be written by every user"


# (case, what makes it unsafe, why Wine cannot show it)
UNSAFE = [
    ("host folder writable by all", other_write, None),
    ("host folder writable by a group", group_write,
     "Wine grants a Windows group nothing for the Unix group's bits"),
    ("host owned by another user", other_owner, "Windows reads the access list, not the owner"),
    ("manifest folder writable by all", open_manifest_folder,
     "the Windows manifest sits beside the host: the first case"),
]


@as_root
@pytest.mark.parametrize("case,unsafe,not_on_wine", UNSAFE, ids=[u[0] for u in UNSAFE])
def test_system_scope_refuses_what_others_can_change(system, case, unsafe, not_on_wine):
    if ON_WINDOWS and not_on_wine:
        pytest.skip(not_on_wine)
    path, why = unsafe(system)
    result = system.install()
    assert result.returncode == 2, result.err
    assert f"refused: {shown(path)} {why}" in result.err, result.err
    assert not list(system.manifests.glob("*.json"))


@as_root
@pytest.mark.parametrize("case,unsafe,not_on_wine", UNSAFE, ids=[u[0] for u in UNSAFE])
def test_doctor_reports_what_others_can_change(system, case, unsafe, not_on_wine):
    if ON_WINDOWS and not_on_wine:
        pytest.skip(not_on_wine)
    healthy = system.install()
    assert healthy.returncode == 0, healthy.err
    assert "ok    only administrators can change" in system.doctor().out
    path, why = unsafe(system)
    result = system.doctor()
    assert result.returncode == 1, result.out
    fail = [line for line in result.out.splitlines() if "FAIL" in line]
    assert len(fail) == 1 and f"{shown(path)} {why}" in fail[0], result.out
    assert "can start the host" in result.out


@linux_only
@as_root
def test_a_sticky_folder_above_the_host_is_accepted(system, tmp_path):
    system.host.parent.parent.chmod(0o1777)
    result = system.install()
    assert result.returncode == 0, result.err


@windows_only
@pytest.mark.parametrize("missing", LIBRARIES)
def test_windows_doctor_wants_the_libraries_beside_the_host(system, missing):
    assert system.install().returncode == 0
    (system.host.parent / missing).unlink()
    result = system.doctor()
    assert result.returncode == 1, result.out
    fail = [line for line in result.out.splitlines() if "FAIL" in line]
    assert len(fail) == 1 and f"{missing} is not beside the host" in fail[0], result.out
    present = [name for name in LIBRARIES if name != missing]
    assert all(f"ok    {name} is beside the host" in result.out for name in present), result.out
