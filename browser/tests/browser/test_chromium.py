"""Quenlow under a real browser: headless Chromium loads a test extension with a fixed key, finds
the host through the manifest quenlow-register writes into its profile, and the extension reports
what it saw to a local HTTP server of this test. The host runs with the stand-in agent and bridge;
Chromium passes its own environment on to it."""

import base64
import hashlib
import json
import os
import shutil
import signal
import struct
import subprocess
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

import pytest

BIN_DIR = Path(os.environ.get("QUENLOW_BIN_DIR", "build/linux/bin")).resolve()
CHROMIUM = os.environ.get("QUENLOW_CHROMIUM", "/usr/lib/chromium/chromium")
EXTENSION = Path(__file__).parent / "extension"
HOST_NAME = "com.quenlow.browsertest"
CHANNEL_LIMIT = 1048576
AGENT_LOG_LEVEL = 4
UNICODE_URL = "https://intranet.example/grüße?q=café&stadt=Zürich€&emoji=😀"


def extension_id(manifest):
    """Chromium's id for an unpacked extension with a key: sha256 of the key, 32 hex digits
    spelt a-p."""
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    return "".join(chr(ord("a") + int(digit, 16)) for digit in digest)


def frame(text):
    body = text.encode("utf-8")
    return struct.pack("=I", len(body)) + body


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
    process = subprocess.Popen([str(BIN_DIR / "Quenlow")], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               env=dict(os.environ, VARNHOLD_LOG_LEVEL="1"))
    process.stdin.write(frame(document_complete("edge", long_url(url_length))) +
                        frame(document_complete("6", "https://b.example/")))
    process.stdin.flush()
    lengths = []
    while True:
        header = process.stdout.read(4)
        (length,) = struct.unpack("=I", header)
        body = process.stdout.read(length)
        lengths.append(length)
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


class ReportServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, bridge_journal):
        super().__init__(("127.0.0.1", 0), ReportHandler)
        self.bridge_journal = bridge_journal
        self.report = None
        self.reported = threading.Event()


class ReportHandler(BaseHTTPRequestHandler):
    def do_GET(self):
        # The bridge is started on a thread of its own; XPath relays reach it once it runs.
        journal = self.server.bridge_journal
        ready = journal.exists() and "CreateThreadBroker" in journal.read_text(encoding="utf-8")
        self.answer(b"yes" if ready else b"no")

    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        self.server.report = json.loads(body)
        self.server.reported.set()
        self.answer(b"ok")

    def answer(self, body):
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def journal(path):
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text(encoding="utf-8").splitlines()]


def wait_for_line(path, line, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists() and line in path.read_text(encoding="utf-8").splitlines():
            return True
        time.sleep(0.05)
    return False


def stop_process_group(browser):
    """The hosts the browser started share its process group: end them all."""
    for sig, grace in ((signal.SIGTERM, 3), (signal.SIGKILL, 5)):
        try:
            os.killpg(browser.pid, sig)
        except ProcessLookupError:
            break
        try:
            browser.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            continue


@pytest.fixture(scope="module")
def session(tmp_path_factory, edge_url_length):
    assert Path(CHROMIUM).exists(), f"{CHROMIUM} is missing: scripts/setup installs chromium"
    work = tmp_path_factory.mktemp("browser")
    files = {name: work / name for name in ("agent.jsonl", "bridge.jsonl", "debug.txt")}
    profile = work / "profile"
    extension = work / "extension"
    shutil.copytree(EXTENSION, extension)
    manifest = json.loads((extension / "manifest.json").read_text())

    register = subprocess.run(
        [str(BIN_DIR / "quenlow-register"), "install", "--name", HOST_NAME,
         "--profile-dir", str(profile), "--extension-id", extension_id(manifest),
         "--host-path", str(BIN_DIR / "Quenlow")], capture_output=True, text=True, timeout=30)
    assert register.returncode == 0, register.stdout + register.stderr
    assert (profile / "NativeMessagingHosts" / f"{HOST_NAME}.json").exists()

    server = ReportServer(files["bridge.jsonl"])
    threading.Thread(target=server.serve_forever, daemon=True).start()
    (extension / "config.json").write_text(json.dumps({
        "port": server.server_address[1], "hostName": HOST_NAME, "unicodeUrl": UNICODE_URL,
        "edgeUrlLength": edge_url_length}))

    env = dict(os.environ, VARNHOLD_LOG_LEVEL=str(AGENT_LOG_LEVEL),
               VARNHOLD_JOURNAL=str(files["agent.jsonl"]),
               HALVERN_JOURNAL=str(files["bridge.jsonl"]),
               QUENLOW_DEBUG_OUTPUT=str(files["debug.txt"]))
    browser_log = (work / "chromium.log").open("wb")
    browser = subprocess.Popen(
        [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-quic", f"--user-data-dir={profile}",
         f"--disable-extensions-except={extension}", f"--load-extension={extension}",
         "about:blank"],
        stdin=subprocess.DEVNULL, stdout=browser_log, stderr=subprocess.STDOUT, env=env,
        start_new_session=True)
    try:
        reported = server.reported.wait(timeout=60)
        # After port.disconnect() the host sees the end of its input and winds down.
        exited = wait_for_line(files["debug.txt"], "Going to exit", timeout=10)
    finally:
        stop_process_group(browser)
        server.shutdown()
        browser_log.close()
    assert reported, "no report from the extension; see " + str(work / "chromium.log")
    report = server.report
    assert "error" not in report, report
    return {"report": report, "steps": report["steps"], "exited": exited,
            "agent": journal(files["agent.jsonl"]), "bridge": journal(files["bridge.jsonl"]),
            "debug": files["debug.txt"].read_text(encoding="utf-8").splitlines()}


def reply(message):
    return json.loads(message) if message is not None else None


def test_log_level_update_is_the_first_message(session):
    first = reply(session["steps"]["first"])
    assert first == {"level": AGENT_LOG_LEVEL, "type": "updateLogLevel"}
    assert reply(session["report"]["received"][0]) == first


def test_saved_credentials_come_back_on_basic_authentication(session):
    credentials = reply(session["steps"]["credentials"])
    assert credentials == {"type": "basicAuthCredentials", "tabID": "1",
                           "host": "intranet.example", "username": "alice",
                           "password": "pä$$wörd"}
    # The debugger never sees the password, the agent gets it whole.
    assert not any("pä$$wörd" in line for line in session["debug"])
    assert {"call": "SaveCredentials",
            "args": ["1", "intranet.example", "alice", "pä$$wörd"]} in session["agent"]


def test_acknowledgement_keeps_a_non_ascii_url_intact(session):
    ack = reply(session["steps"]["unicodeAck"])
    assert ack == {"type": "documentCompleteAck", "tabID": "2", "url": UNICODE_URL,
                   "bTopLvlDoc": "true"}


def test_xpath_reaches_the_bridge_and_its_echo_comes_back(session):
    steps = session["steps"]
    assert steps["bridgeReady"]
    assert steps["echo"] == steps["xpathSent"]
    sends = [call["args"] for call in session["bridge"] if call["call"] == "SendMessageToKestrova"]
    assert [args[0] for args in sends] == [steps["xpathSent"]]


def test_reply_over_the_limit_is_withheld_and_the_port_lives_on(session, edge_url_length):
    steps = session["steps"]
    # A reply of exactly the limit is delivered; one byte more would make Chromium disconnect.
    assert steps["edgeAckLength"] is not None
    assert not steps["overArrived"]
    assert steps["disconnectedAfterOver"] is None
    assert reply(steps["afterAck"])["url"] == "https://after.example/"
    assert any("exceeds the 1048576-byte limit" in line for line in session["debug"])


def test_close_tab_reaches_the_agent(session):
    assert session["steps"]["lastAck"] is not None
    calls = [call for call in session["agent"] if call["call"] in ("OnTabClosed", "OnDocumentComplete")]
    closed = calls.index({"call": "OnTabClosed", "args": ["9"]})
    assert calls[closed + 1]["args"][:2] == ["last", "https://last.example/"]


def test_host_ends_when_the_extension_disconnects(session):
    assert session["exited"], session["debug"][-5:]
    assert session["report"]["disconnectReason"] is None
