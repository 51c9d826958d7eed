"""Chromium's own verdicts under administrators' native-messaging policies, case by case against
the verdicts of quenlow-register doctor.

Each policy set is written into a copy of /etc/chromium that a private mount namespace
(unshare -m) lays over the real folder for one Chromium run: nothing on the machine changes and
no other program sees it. The test extension tries to reach four hosts; doctor, pointed at the
same copy with --root and at the same profile, must predict what Chromium told the extension, and
the extension kit must read each text as its reason."""

import json
import os
import re
import shutil
import subprocess

import pytest

from browser_support import (BIN_DIR, CHROMIUM, ReportServer, assemble_extension,
                             chromium_command, chromium_extension_id, run_until_reported)

CHROMIUM_ETC = "/etc/chromium"
CONNECTS = "connects"
BLOCKED = "Access to the native messaging host was disabled by the system administrator."
NOT_FOUND = "Specified native messaging host not found."
FORBIDDEN = "Access to the specified native messaging host is forbidden."
OTHER_EXTENSION = "a" * 32

# The hosts the extension tries: a user-level registration (in the profile), a system-level one,
# a user-level one that admits another extension only, and none at all (doctor is asked about that
# one as about a host never installed: without --browser, so it picks the browsers itself).
HOSTS = {name: f"com.quenlow.policy.{name}" for name in ("user", "system", "foreign", "absent")}
BLOCKLIST = "NativeMessagingBlocklist"
ALLOWLIST = "NativeMessagingAllowlist"
USER_LEVEL = "NativeMessagingUserLevelHosts"
# The extension kit's reason for what Chromium said.
KIT_REASONS = {CONNECTS: "ready", BLOCKED: "blocked", NOT_FOUND: "notFound",
               FORBIDDEN: "forbidden"}
AS_WITHOUT_POLICIES = {"user": CONNECTS, "system": CONNECTS, "foreign": FORBIDDEN,
                       "absent": NOT_FOUND}

# (case, files under policies/managed, files under policies/recommended, what each host gets)
POLICY_SETS = [
    ("no policy", {}, {}, AS_WITHOUT_POLICIES),
    ("blocklist *", {"block.json": {BLOCKLIST: ["*"]}}, {},
     {"user": BLOCKED, "system": BLOCKED, "foreign": BLOCKED, "absent": BLOCKED}),
    ("blocklist by name", {"block.json": {BLOCKLIST: [HOSTS["user"], HOSTS["system"]]}}, {},
     {"user": BLOCKED, "system": BLOCKED, "foreign": FORBIDDEN, "absent": NOT_FOUND}),
    ("blocklist * with allowlist",
     {"block.json": {BLOCKLIST: ["*"]}, "allow.json": {ALLOWLIST: [HOSTS["user"]]}}, {},
     {"user": CONNECTS, "system": BLOCKED, "foreign": BLOCKED, "absent": BLOCKED}),
    ("user-level hosts off", {"hosts.json": {USER_LEVEL: False, BLOCKLIST: [HOSTS["foreign"]]}},
     {}, {"user": NOT_FOUND, "system": CONNECTS, "foreign": BLOCKED, "absent": NOT_FOUND}),
    # A later file's value of the wrong type hides an earlier file's good one.
    ("ignored policies",
     {"10-block.json": {BLOCKLIST: ["*"]}, "20-wrong-types.json": {BLOCKLIST: "*", USER_LEVEL: 0},
      "30-broken.json": '{"NativeMessagingBlocklist": ["*"]'},
     {"recommended.json": {BLOCKLIST: ["*"], USER_LEVEL: False}}, AS_WITHOUT_POLICIES),
]


def run_tool(*args):
    result = subprocess.run([str(BIN_DIR / "quenlow-register"), *map(str, args)],
                            capture_output=True, text=True, timeout=30)
    return result


def mount_namespace_refusal(etc_copy):
    """Why /etc/chromium cannot be overlaid in a private mount namespace here, or None."""
    if not os.path.isdir(CHROMIUM_ETC):
        return f"{CHROMIUM_ETC} does not exist to lay a copy over"
    try:
        trial = subprocess.run(["unshare", "-m", "mount", "--bind", str(etc_copy), CHROMIUM_ETC],
                               capture_output=True, text=True, timeout=30)
    except FileNotFoundError:
        return "unshare is not installed"
    if trial.returncode != 0:
        return f"unshare -m with a bind mount is not permitted: {trial.stderr.strip()}"
    return None


@pytest.fixture(scope="module")
def stage(tmp_path_factory):
    """A root holding a copy of /etc/chromium with the system-level manifest, and the test
    extension's id."""
    assert os.path.exists(CHROMIUM), f"{CHROMIUM} is missing: scripts/setup installs chromium"
    root = tmp_path_factory.mktemp("policies") / "root"
    etc_copy = root / CHROMIUM_ETC.lstrip("/")
    # The machine's own policies and hosts stay out, so every case starts from the same state.
    shutil.copytree(CHROMIUM_ETC, etc_copy, symlinks=True,
                    ignore=shutil.ignore_patterns("policies", "native-messaging-hosts"))
    refusal = mount_namespace_refusal(etc_copy)
    if refusal:
        pytest.skip(refusal)
    extension_id = chromium_extension_id()
    installed = run_tool("install", "--root", root, "--system", "--browser", "chromium",
                         "--name", HOSTS["system"], "--extension-id", extension_id,
                         "--host-path", BIN_DIR / "Quenlow")
    assert installed.returncode == 0, installed.stderr
    return {"root": root, "etc": etc_copy, "extension_id": extension_id}


def write_policies(etc, managed, recommended):
    for level, files in (("managed", managed), ("recommended", recommended)):
        folder = etc / "policies" / level
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, content in files.items():
            (folder / name).write_text(content if isinstance(content, str) else json.dumps(content))


def register_user_level(profile, extension_id):
    for host, admitted in (("user", extension_id), ("foreign", OTHER_EXTENSION)):
        installed = run_tool("install", "--profile-dir", profile, "--name", HOSTS[host],
                             "--extension-id", admitted, "--host-path", BIN_DIR / "Quenlow")
        assert installed.returncode == 0, installed.stderr


def chromium_outcomes(stage, profile, work):
    """What the extension was told for each host, from one Chromium run in the namespace."""
    overlay = ["unshare", "-m", "sh", "-c", f'mount --bind "$0" {CHROMIUM_ETC} && exec "$@"',
               str(stage["etc"])]
    with ReportServer() as server:
        extension = assemble_extension("chromium", work / "extension", {
            "port": server.port, "probeHosts": list(HOSTS.values())})
        # The host announces the agent's log level at once when it is not the default.
        env = dict(os.environ, VARNHOLD_LOG_LEVEL="4")
        report, _ = run_until_reported(overlay + chromium_command(profile, extension), env,
                                       work / "chromium.log", server)
    assert report is not None and "outcomes" in report, f"see {work / 'chromium.log'}: {report}"
    seen = {host: (CONNECTS if report["outcomes"][name] == "connected"
                   else report["outcomes"][name]) for host, name in HOSTS.items()}
    assert {host: report["reasons"][name] for host, name in HOSTS.items()} == \
        {host: KIT_REASONS.get(told, told) for host, told in seen.items()}
    return seen


def doctor_verdict(stage, profile, host):
    where = (["--home", "/home/nobody"] if host == "absent"
             else ["--profile-dir", profile, "--browser", "chromium"])
    result = run_tool("doctor", "--root", stage["root"], *where, "--name", HOSTS[host],
                      "--extension-id", stage["extension_id"])
    told = re.search(r'(?:chromium tells|browsers tell) the extension: "(.*)"', result.stdout)
    if "chromium can start the host" in result.stdout:
        # The test extension's id is public, so doctor fails on it while Chromium connects.
        flagged = "Quenlow's test extension: its id is public" in result.stdout
        assert result.returncode == (1 if flagged else 0), result.stdout
        return CONNECTS, result.stdout
    assert result.returncode == 1 and told, result.stdout + result.stderr
    return told.group(1), result.stdout


@pytest.mark.parametrize("case,managed,recommended,expected", POLICY_SETS,
                         ids=[case[0] for case in POLICY_SETS])
def test_doctor_predicts_what_chromium_tells_the_extension(stage, tmp_path, case, managed,
                                                           recommended, expected):
    write_policies(stage["etc"], managed, recommended)
    profile = tmp_path / "profile"
    register_user_level(profile, stage["extension_id"])

    seen = chromium_outcomes(stage, profile, tmp_path)
    predicted = {host: doctor_verdict(stage, profile, host) for host in HOSTS}

    assert seen == expected
    assert {host: verdict for host, (verdict, _) in predicted.items()} == seen
    if case == "ignored policies":
        report = predicted["user"][1]
        for ignored in ("20-wrong-types.json is not a list", "is not true or false",
                        "30-broken.json is not valid JSON", "recommended.json is only recommended"):
            assert ignored in report, report
