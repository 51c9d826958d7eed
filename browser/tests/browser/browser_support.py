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
# The extension kit's build (extension-kit/dist), which the test extension runs on.
KIT_DIST = Path(__file__).resolve().parents[3] / "extension-kit" / "dist"
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
    """The test extension for `browser` in `folder`: its manifest, the shared script, the kit in
    kit/ and the test's config.json."""
    assert (KIT_DIST / "index.js").exists(), f"{KIT_DIST} is missing: build the kit (npm run build)"
    folder.mkdir(parents=True)
    shutil.copy(EXTENSION / browser / "manifest.json", folder / "manifest.json")
    shutil.copy(EXTENSION / "session.js", folder / "session.js")
    shutil.copytree(KIT_DIST, folder / "kit", ignore=shutil.ignore_patterns("*.d.ts"))
    (folder / "config.json").write_text(json.dumps(config))
    return folder


class ReportServer(ThreadingHTTPServer):
    """The extension posts its report here."""
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), ReportHandler)
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
        for file in sorted(extension.rglob("*")):
            xpi.write(file, file.relative_to(extension).as_posix())
    (profile / "user.js").write_text("".join(
        f"user_pref({json.dumps(name)}, {json.dumps(value)});\n"
        for name, value in FIREFOX_PREFS.items()))
    return profile


def firefox_command(profile):
    return [FIREFOX, "--headless", "--no-remote", "--profile", str(profile), "about:blank"]


def register(browser, work, name, host_path, admitted=None):
    """The host's manifest where `browser` looks for it, admitting the test extension (or the
    extension `admitted`); returns where the browser must look."""
    if browser == "chromium":
        where = {"profile": work / "profile"}
        place = ["--profile-dir", where["profile"], "--extension-id",
                 admitted or chromium_extension_id()]
        manifest = where["profile"] / "NativeMessagingHosts" / f"{name}.json"
    else:
        where = {"home": work / "home"}
        place = ["--browser", "firefox", "--home", where["home"],
                 "--firefox-extension", admitted or FIREFOX_ADD_ON_ID]
        manifest = where["home"] / ".mozilla" / "native-messaging-hosts" / f"{name}.json"
    result = subprocess.run([str(BIN_DIR / "quenlow-register"), "install", *map(str, place),
                             "--name", name, "--host-path", str(host_path)],
                            capture_output=True, text=True, timeout=30)
    assert result.returncode == 0, result.stdout + result.stderr
    assert manifest.exists()
    return where


def browser_command(browser, where, extension, work):
    """The command that starts `browser` with `extension` and the environment it needs."""
    if browser == "chromium":
        assert os.path.exists(CHROMIUM), f"{CHROMIUM} is missing: scripts/setup installs chromium"
        return chromium_command(where["profile"], extension), {}
    assert os.path.exists(FIREFOX), f"{FIREFOX} is missing: scripts/setup installs firefox-esr"
    profile = firefox_profile(work / "firefox-profile", extension)
    return firefox_command(profile), {"HOME": str(where["home"])}


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
