"""The packages cpack makes: what they hold, and that the host runs from an unpacked copy with the
stand-ins found where the layout puts them (not in the build tree)."""

import json
import os
import struct
import subprocess
import threading
import time
import zipfile
from pathlib import Path

import pytest

PLATFORM = os.environ.get("QUENLOW_TARGET_PLATFORM", "linux")
CPACK_CONFIG = os.environ.get("QUENLOW_CPACK_CONFIG", "")
WINE_RUN = os.environ.get("QUENLOW_WINE_RUN", "")
CPACK = os.environ.get("QUENLOW_CPACK", "cpack")
EXTENSION_ID = "abcdefghijklmnopabcdefghijklmnop"
HOST_NAME = os.environ.get("QUENLOW_HOST_NAME", "com.quenlow.host")

LINUX_FILES = {
    "opt/quenlow/bin/Quenlow",
    "opt/quenlow/bin/quenlow-talk",
    "opt/quenlow/bin/quenlow-register",
    "opt/quenlow/bin/libHalvern.so",
    "opt/quenlow/standins/README",
    "opt/quenlow/standins/libVarnhold64.so",
    "opt/quenlow/standins/libHalvern.so",
    "opt/quenlow/standins/libQuenlowDataProtection.so",
    "opt/quenlow/share/quenlow/examples/session.jsonl",
}

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


def frame(text):
    body = text.encode("utf-8")
    return struct.pack("=I", len(body)) + body


def frames(data):
    bodies = []
    while data:
        (length,) = struct.unpack_from("=I", data)
        bodies.append(data[4:4 + length])
        data = data[4 + length:]
    return bodies


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    assert CPACK_CONFIG, "QUENLOW_CPACK_CONFIG names the build's CPackConfig.cmake"
    out = tmp_path_factory.mktemp("cpack")
    result = subprocess.run([CPACK, "--config", CPACK_CONFIG, "-B", str(out)],
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
    made = [p for p in out.iterdir() if p.suffix in (".deb", ".zip")]
    assert len(made) == 1, made
    return made[0]


def document_complete(url):
    return json.dumps({"tabID": "4", "type": "documentComplete",
                       "payload": {"url": url, "bTopLvlDoc": "true"}}, ensure_ascii=False)


def run_until_bridge_loads(command, env, journal, stdin_bytes, replies=1, timeout=60):
    """Runs the host with input, keeping its stdin open until the bridge has been loaded and
    `replies` frames have arrived (the agent answers from a thread of its own, after the message
    was handled), or the timeout has passed; returns (exit status, stdout)."""
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=env)
    received = bytearray()

    def pump():
        while chunk := process.stdout.read1(65536):
            received.extend(chunk)

    reader = threading.Thread(target=pump, daemon=True)
    reader.start()
    process.stdin.write(stdin_bytes)
    process.stdin.flush()
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and process.poll() is None and (
            "GetInstance" not in read_text(journal) or complete_frames(received) < replies):
        time.sleep(0.05)
    process.stdin.close()
    process.stderr.read()
    process.wait(timeout=timeout)
    reader.join(timeout=timeout)
    return process.returncode, bytes(received)


def complete_frames(data):
    count, position = 0, 0
    while position + 4 <= len(data):
        (length,) = struct.unpack_from("=I", data, position)
        if position + 4 + length > len(data):
            break
        count, position = count + 1, position + 4 + length
    return count


def read_text(path):
    return path.read_text(encoding="utf-8") if path.exists() else ""


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
    url = "https://paket.example/grüße"
    status, stdout = run_until_bridge_loads([str(unpacked_deb / "opt/quenlow/bin/Quenlow")], env,
                                            journal, frame(document_complete(url)))
    assert status == 0
    replies = [json.loads(json.loads(body)) for body in frames(stdout)]
    assert [(r["type"], r["url"]) for r in replies] == [("documentCompleteAck", url)]
    assert "CreateThreadBroker" in read_text(journal)


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


@windows_only
def test_unpacked_windows_host_runs_with_the_stand_ins_beside_it(unpacked_zip, tmp_path):
    host = unpacked_zip / "Quenlow.exe"
    journal = tmp_path / "bridge.jsonl"
    env = dict(os.environ, VARNHOLD_LOG_LEVEL="1",
               HALVERN_JOURNAL="Z:" + str(journal).replace("/", "\\"))
    empty = subprocess.run([WINE_RUN, str(host)], input=b"", capture_output=True,
                           env=dict(os.environ, VARNHOLD_LOG_LEVEL="1"), timeout=120)
    assert empty.returncode == 0, empty.stderr
    assert empty.stdout == b""

    url = "https://paket.example/grüße"
    status, stdout = run_until_bridge_loads([WINE_RUN, str(host)], env, journal,
                                            frame(document_complete(url)), timeout=120)
    assert status == 0
    replies = [json.loads(json.loads(body)) for body in frames(stdout)]
    assert [(r["type"], r["url"]) for r in replies] == [("documentCompleteAck", url)]
    assert "CreateThreadBroker" in read_text(journal)
