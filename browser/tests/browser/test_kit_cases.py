"""What only a real browser shows the extension kit: the browsers' own texts for a host that is not
registered, one that does not admit the extension, one that cannot be started and one that exits at
once, each read as its reason; and a host that ends with the extension's worker (or background
page) when the extension reloads, its successor started by the kit's next connect."""

import os
import sys
from pathlib import Path

import pytest

import browser_support
from browser_support import (ReportServer, assemble_extension, browser_command, register,
                             run_until_reported)

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from hostio import read_lines  # noqa: E402
from hostrun import poll_until  # noqa: E402

HOSTS = {case: f"com.quenlow.kit.{case}" for case in ("absent", "foreign", "broken")}
OTHER_EXTENSION = {"chromium": "a" * 32, "firefox": "other@quenlow.example"}
# What each browser says, and the kit's reason for it. Firefox tells a refused add-on what it
# tells about a missing host. Chromium on Linux starts the host program in a child process it has
# already forked, so a program it cannot execute, like one that exits at once, is a host that
# ended: "exited" when the browser reads the end of its output first, an I/O error when its write of
# the kit's first message fails first (chromium native_message_process_host.cc, HandleWriteResult).
# Which comes first is the machine's timing.
CHROMIUM_ENDED = {("Native host has exited.", "exited"),
                  ("Error when communicating with the native messaging host.", "protocolError")}
EXPECTED = {
    "chromium": {
        "absent": {("Specified native messaging host not found.", "notFound")},
        "foreign": {("Access to the specified native messaging host is forbidden.", "forbidden")},
        "broken": CHROMIUM_ENDED,
    },
    "firefox": {
        "absent": {(f"No such native application {HOSTS['absent']}", "notFound")},
        "foreign": {(f"No such native application {HOSTS['foreign']}", "notFound")},
        "broken": {("An unexpected error occurred", "failedToStart")},
    },
}
ENDED_REASONS = {"chromium": {reason for _, reason in CHROMIUM_ENDED}, "firefox": {"exited"}}


def run_extension(browser, work, config, where, env=None, after=None):
    with ReportServer() as server:
        extension = assemble_extension(browser, work / "extension", {"port": server.port, **config})
        command, browser_env = browser_command(browser, where, extension, work)
        report, extra = run_until_reported(command, dict(os.environ, **browser_env, **(env or {})),
                                           work / f"{browser}.log", server, after=after)
    assert report is not None, f"no report from the extension; see {work / f'{browser}.log'}"
    assert "error" not in report, report
    return report, extra


def program(path, text, mode):
    path.write_text(text)
    path.chmod(mode)
    return path


@pytest.mark.parametrize("browser", ["chromium", "firefox"])
def test_each_failure_reads_as_its_reason(browser, tmp_path):
    broken = program(tmp_path / "not-a-program", "#!/bin/sh\n", 0o644)
    where = register(browser, tmp_path, HOSTS["foreign"], browser_support.BIN_DIR / "Quenlow",
                     admitted=OTHER_EXTENSION[browser])
    register(browser, tmp_path, HOSTS["broken"], broken)
    report, _ = run_extension(browser, tmp_path, {"probeHosts": list(HOSTS.values())}, where)
    seen = {case: (report["outcomes"][name], report["reasons"][name]) for case, name in HOSTS.items()}
    assert all(seen[case] in EXPECTED[browser][case] for case in HOSTS), seen


@pytest.mark.parametrize("browser", ["chromium", "firefox"])
def test_a_host_that_exits_at_once_is_retried_with_backoff(browser, tmp_path):
    exits = program(tmp_path / "exits", "#!/bin/sh\nexit 0\n", 0o755)
    where = register(browser, tmp_path, "com.quenlow.kit.exits", exits)
    report, _ = run_extension(browser, tmp_path, {"exitingHost": "com.quenlow.kit.exits"}, where)
    ends = [status for status in report["statuses"] if status["state"] == "disconnected"][:3]
    assert all(s["reason"] in ENDED_REASONS[browser] for s in ends), report
    assert [(s["permanent"], s["retryInMs"]) for s in ends] == \
        [(False, 100), (False, 200), (False, 400)], report


@pytest.mark.parametrize("browser", ["chromium", "firefox"])
def test_the_host_ends_with_the_worker_and_the_next_start_connects_anew(browser, tmp_path):
    debug = tmp_path / "debug.txt"
    where = register(browser, tmp_path, "com.quenlow.kit.restart", browser_support.BIN_DIR / "Quenlow")
    # Headless Chromium does not start the reloaded worker again by itself: there the first run
    # reports, and the test sees its host end; Firefox runs the reloaded background page at once.
    runs = 1 if browser == "chromium" else 2
    ended = lambda: poll_until(  # noqa: E731
        lambda: read_lines(debug).count("Going to exit") >= runs, timeout=60)
    report, all_ended = run_extension(
        browser, tmp_path, {"restartHost": "com.quenlow.kit.restart", "reportFirst": runs == 1},
        where, env={"QUENLOW_DEBUG_OUTPUT": str(debug)}, after=ended)
    assert [report[run]["state"] for run in ("firstRun", "secondRun")[:runs]] == ["ready"] * runs
    # One host per run, each ended by the end of its input: none left behind. (Each host writes
    # its "Log level" line once at start-up.)
    lines = read_lines(debug)
    assert all_ended, lines
    assert len([line for line in lines if line.startswith("Log level: ")]) == runs
    assert lines.count("Going to exit") == runs
