"""What the real-browser tests share: the test extension, the local server the extension reports to,
and starting and ending a headless browser with everything it started."""

import base64
import hashlib
import json
import os
import shutil
import signal
import subprocess
import threading
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

# Debian's browsers; the browser suite's conftest.py sets these from its options before the tests
# are collected, other suites (the package tests) take them as they are.
BIN_DIR = None
CHROMIUM = "/usr/lib/chromium/chromium"
FIREFOX = "/usr/lib/firefox-esr/firefox-esr"
EXTENSION = Path(__file__).parent / "extension"
FIREFOX_ADD_ON_ID = "quenlow-test@quenlow.example"

# A throw-away Firefox profile: unsigned add-ons from the profile load and are enabled, and nothing
# goes out to the network.
FIREFOX_PREFS = {
    "xpinstall.signatures.required": False,
    "extensions.autoDisableScopes": 0,
    "extensions.enabledScopes": 15,
    "extensions.update.enabled": False,
    "extensions.getAddons.cache.enabled": False,
    "app.update.enabled": False,
    "app.normandy.enabled": False,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.healthreport.uploadEnabled": False,
    "toolkit.telemetry.enabled": False,
    "network.connectivity-service.enabled": False,
    "network.captive-portal-service.enabled": False,
    "browser.safebrowsing.update.enabled": False,
    "browser.safebrowsing.downloads.remote.enabled": False,
    "services.settings.server": "http://127.0.0.1:9/",
    "network.proxy.type": 0,
}


def chromium_extension_id():
    """Chromium's id for an unpacked extension with a key: sha256 of the key, 32 hex digits
    spelt a-p."""
    manifest = json.loads((EXTENSION / "chromium" / "manifest.json").read_text())
    digest = hashlib.sha256(base64.b64decode(manifest["key"])).hexdigest()[:32]
    return "".join(chr(ord("a") + int(digit, 16)) for digit in digest)


def assemble_extension(browser, folder, config):
    """The test extension for `browser` in `folder`: its manifest, the shared script and the
    test's config.json."""
    folder.mkdir(parents=True)
    shutil.copy(EXTENSION / browser / "manifest.json", folder / "manifest.json")
    shutil.copy(EXTENSION / "session.js", folder / "session.js")
    (folder / "config.json").write_text(json.dumps(config))
    return folder


class ReportServer(ThreadingHTTPServer):
    """The extension posts its report here; GET answers whether the stand-in bridge runs yet."""
    daemon_threads = True

    def __init__(self, bridge_journal=None):
        super().__init__(("127.0.0.1", 0), ReportHandler)
        self.bridge_journal = bridge_journal
        self.report = None
        self.reported = threading.Event()

    @property
    def port(self):
        return self.server_address[1]

    def __enter__(self):
        threading.Thread(target=self.serve_forever, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self.shutdown()
        self.server_close()


class ReportHandler(BaseHTTPRequestHandler):
    def do_GET(self):
        # The bridge is started on a thread of its own; XPath relays reach it once it runs.
        journal = self.server.bridge_journal
        ready = (journal is not None and journal.exists() and
                 "CreateThreadBroker" in journal.read_text(encoding="utf-8"))
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


def chromium_command(profile, extension):
    return [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--disable-quic", f"--user-data-dir={profile}",
            f"--disable-extensions-except={extension}", f"--load-extension={extension}",
            "about:blank"]


def firefox_profile(profile, extension):
    """A profile holding `extension` as an unsigned add-on of the profile."""
    add_ons = profile / "extensions"
    add_ons.mkdir(parents=True)
    with zipfile.ZipFile(add_ons / f"{FIREFOX_ADD_ON_ID}.xpi", "w") as xpi:
        for file in sorted(extension.iterdir()):
            xpi.write(file, file.name)
    (profile / "user.js").write_text("".join(
        f"user_pref({json.dumps(name)}, {json.dumps(value)});\n"
        for name, value in FIREFOX_PREFS.items()))
    return profile


def firefox_command(profile):
    return [FIREFOX, "--headless", "--no-remote", "--profile", str(profile), "about:blank"]


def start_browser(command, env, log):
    """In a session of its own: the hosts the browser starts share its process group."""
    return subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log,
                            stderr=subprocess.STDOUT, env=env, start_new_session=True)


def stop_process_group(browser):
    """Ends the browser and every process it started, which share its process group."""
    for sig, grace in ((signal.SIGTERM, 3), (signal.SIGKILL, 5)):
        try:
            os.killpg(browser.pid, sig)
        except ProcessLookupError:
            break
        try:
            browser.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            continue


def run_until_reported(command, env, log_path, server, timeout=240, after=None):
    """Starts the browser, waits for the extension's report (then for `after`, if given) and
    ends the browser. Returns the report, or None when none came."""
    with log_path.open("wb") as log:
        browser = start_browser(command, env, log)
        try:
            reported = server.reported.wait(timeout=timeout)
            extra = after() if after is not None else None
        finally:
            stop_process_group(browser)
    return (server.report if reported else None), extra
