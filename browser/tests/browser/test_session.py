"""Quenlow under real browsers: headless Chromium and Firefox ESR each load the test extension,
find the host through the manifest quenlow-register writes (into Chromium's profile, into
Firefox's HOME), and the extension, on the extension kit, reports what it saw to a local HTTP server
of this test. The host runs with the stand-in agent and bridge; the browsers pass their own
environment on to it."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

import browser_support
from browser_support import (ReportServer, assemble_extension, browser_command, register,
                             run_until_reported)

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from hostio import frame, read_frame, read_json_lines, read_lines  # noqa: E402
from hostrun import poll_until  # noqa: E402

HOST_NAME = "com.quenlow.browsertest"
CHANNEL_LIMIT = 1048576
AGENT_LOG_LEVEL = 4
UNICODE_URL = "https://intranet.example/grüße?q=café&stadt=Zürich€&emoji=😀"


def document_complete(tab, url):
    return json.dumps({"tabID": tab, "type": "documentComplete",
                       "payload": {"url": url, "bTopLvlDoc": "true"}})


def long_url(length):
    start = "https://long.example/"
    return start + "a" * (length - len(start))


def ack_body_length(url_length):
    """Length of the acknowledgement frame body the host writes for a URL of `url_length`
    characters, or None when it writes none; the host is run directly over pipes. The tab id is
    the one the extension sends with the long URLs ("edge", "over": equally long)."""
    process = subprocess.Popen([str(browser_support.BIN_DIR / "Quenlow")],
                               stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               env=dict(os.environ, VARNHOLD_LOG_LEVEL="1"))
    process.stdin.write(frame(document_complete("edge", long_url(url_length))) +
                        frame(document_complete("6", "https://b.example/")))
    process.stdin.flush()
    lengths = []
    while True:
        body = read_frame(process.stdout)
        assert body is not None, "the host ended its output before the last acknowledgement"
        lengths.append(len(body))
        if b'tabID\\":\\"6' in body:
            break
    process.stdin.close()
    process.wait(timeout=30)
    return lengths[0] if len(lengths) == 2 else None


@pytest.fixture(scope="module")
def edge_url_length():
    """The URL length whose acknowledgement is exactly the browser's limit (ASCII letters grow
    the body one byte each)."""
    probe = 4096
    edge = probe + CHANNEL_LIMIT - ack_body_length(probe)
    assert ack_body_length(edge) == CHANNEL_LIMIT
    return edge


@pytest.fixture(scope="module", params=["chromium", "firefox"])
def session(request, tmp_path_factory, edge_url_length):
    browser = request.param
    work = tmp_path_factory.mktemp(browser)
    files = {name: work / name for name in ("agent.jsonl", "bridge.jsonl", "debug.txt")}
    where = register(browser, work, HOST_NAME, browser_support.BIN_DIR / "Quenlow")
    with ReportServer() as server:
        extension = assemble_extension(browser, work / "extension", {
            "port": server.port, "hostName": HOST_NAME, "unicodeUrl": UNICODE_URL,
            "edgeUrlLength": edge_url_length})
        command, env = browser_command(browser, where, extension, work)
        env = dict(os.environ, **env, VARNHOLD_LOG_LEVEL=str(AGENT_LOG_LEVEL),
                   VARNHOLD_JOURNAL=str(files["agent.jsonl"]),
                   HALVERN_JOURNAL=str(files["bridge.jsonl"]),
                   QUENLOW_DEBUG_OUTPUT=str(files["debug.txt"]))
        # After port.disconnect() the host sees the end of its input and winds down.
        report, exited = run_until_reported(
            command, env, work / f"{browser}.log", server,
            after=lambda: poll_until(lambda: "Going to exit" in read_lines(files["debug.txt"]),
                                     timeout=60))
    assert report is not None, f"no report from the extension; see {work / f'{browser}.log'}"
    assert "error" not in report, report
    return {"report": report, "steps": report["steps"], "exited": exited,
            "agent": read_json_lines(files["agent.jsonl"]),
            "bridge": read_json_lines(files["bridge.jsonl"]),
            "debug": read_lines(files["debug.txt"])}


def test_the_kit_is_ready_on_the_hosts_answer(session):
    ready = session["steps"]["ready"]
    assert ready["state"] == "ready", ready
    assert ready["hostInfo"]["protocol"] == 1 and ready["hostInfo"]["type"] == "hostInfo"
    assert session["report"]["undecodable"] == []


def test_log_level_update_is_the_first_message(session):
    first = session["steps"]["first"]
    assert first == {"level": AGENT_LOG_LEVEL, "type": "updateLogLevel"}
    assert session["report"]["received"][0] == first


def test_saved_credentials_come_back_on_basic_authentication(session):
    credentials = session["steps"]["credentials"]
    assert credentials == {"type": "basicAuthCredentials", "tabID": "1",
                           "host": "intranet.example", "username": "alice",
                           "password": "pä$$wörd"}
    # The debugger never sees the password, the agent gets it whole.
    assert not any("pä$$wörd" in line for line in session["debug"])
    assert {"call": "SaveCredentials",
            "args": ["1", "intranet.example", "alice", "pä$$wörd"]} in session["agent"]


def test_acknowledgement_keeps_a_non_ascii_url_intact(session):
    ack = session["steps"]["unicodeAck"]
    assert ack == {"type": "documentCompleteAck", "tabID": "2", "url": UNICODE_URL,
                   "bTopLvlDoc": "true"}


def test_xpath_reaches_the_bridge_and_its_echo_comes_back(session):
    steps = session["steps"]
    assert steps["echo"] == steps["xpathSent"]
    sends = [call["args"] for call in session["bridge"] if call["call"] == "SendMessageToKestrova"]
    as_sent = json.dumps(steps["xpathSent"], separators=(",", ":"), ensure_ascii=False)
    assert [args[0] for args in sends] == [as_sent]


def test_reply_over_the_limit_is_withheld_and_the_port_lives_on(session, edge_url_length):
    steps = session["steps"]
    # A reply of exactly the limit is delivered; one byte more would make the browser disconnect.
    assert steps["edgeAckLength"] is not None
    assert not steps["overArrived"]
    assert steps["statusAfterOver"] == "ready"
    assert steps["afterAck"]["url"] == "https://after.example/"
    assert any("exceeds the 1048576-byte limit" in line for line in session["debug"])


def test_close_tab_reaches_the_agent(session):
    assert session["steps"]["lastAck"] is not None
    calls = [call for call in session["agent"] if call["call"] in ("OnTabClosed", "OnDocumentComplete")]
    closed = calls.index({"call": "OnTabClosed", "args": ["9"]})
    assert calls[closed + 1]["args"][:2] == ["last", "https://last.example/"]


def test_host_ends_when_the_extension_disconnects(session):
    assert session["exited"], session["debug"][-5:]
    assert session["report"]["finalStatus"] == {"state": "disconnected", "reason": "closed",
                                                "permanent": True}
