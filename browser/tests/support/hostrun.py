"""Runs the built host as a browser would, for the pytest suites that start it (process and docs):
frames in, frames out, exit code, standard error and debugger lines.

The same suites run against the Linux build natively and against the Windows build under Wine; on
Windows the host runs under quenlow-dbgcapture, which records its debug strings in the same
one-line-per-call file that the POSIX build writes itself.

A suite's conftest.py imports `pytest_addoption` and the `target` and `host` fixtures from here,
which gives it the options --bin-dir, --target-platform and --wine-run."""

import functools
import os
import struct
import subprocess
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

import pytest


def pytest_addoption(parser):
    parser.addoption("--bin-dir", required=True, help="folder holding the built host")
    parser.addoption("--target-platform", choices=["linux", "windows"], default="linux")
    parser.addoption("--wine-run", default=None, help="Wine wrapper script for Windows builds")


def frame(body):
    """One inbound frame: native-endian 32-bit length, then the body."""
    if isinstance(body, str):
        body = body.encode("utf-8")
    return struct.pack("=i", len(body)) + body


def length_only(length):
    return struct.pack("=i", length)


def parse_frames(data):
    """Splits the host's standard output into frame bodies; anything else there is a fault."""
    bodies = []
    position = 0
    while position < len(data):
        assert position + 4 <= len(data), f"stray bytes after the last frame: {data[position:]!r}"
        (length,) = struct.unpack_from("=I", data, position)
        position += 4
        assert position + length <= len(data), "frame body runs past the end of output"
        bodies.append(data[position:position + length])
        position += length
    return bodies


def parse_frames_prefix(data):
    """The complete frames at the start of `data` (more may still be arriving)."""
    bodies = []
    position = 0
    while position + 4 <= len(data):
        (length,) = struct.unpack_from("=I", data, position)
        if position + 4 + length > len(data):
            break
        bodies.append(data[position + 4:position + 4 + length])
        position += 4 + length
    return bodies


@dataclass
class HostRun:
    returncode: int
    stdout: bytes
    stderr: bytes
    debug_lines: list = field(default_factory=list)
    peak_rss_kib: int = 0

    @property
    def frames(self):
        return parse_frames(self.stdout)


class Host:
    """Runs one built program of the project (the host by default) as the browser would."""

    def __init__(self, bin_dir, platform, wine_run, workdir):
        self.bin_dir = Path(bin_dir).resolve()
        self.platform = platform
        self.wine_run = str(Path(wine_run).resolve()) if wine_run else None
        self.workdir = Path(workdir)
        self._runs = 0

    @property
    def is_windows(self):
        return self.platform == "windows"

    @property
    def is_sanitized(self):
        """Built with a sanitizer, whose runtime's own memory and speed then dominate figures."""
        return _has_sanitizer_runtime(str(self.exe()))

    def exe(self, name="Quenlow"):
        return self.bin_dir / (name + ".exe" if self.is_windows else name)

    def native_path(self, path):
        """A path as the program under test spells it (Wine maps / to drive Z:)."""
        path = str(Path(path).resolve())
        return "Z:" + path.replace("/", "\\") if self.is_windows else path

    def new_file(self, stem):
        self._runs += 1
        return self.workdir / f"{stem}-{self._runs}.txt"

    def command(self, debug_file, exe):
        if self.is_windows:
            return [self.wine_run, str(self.exe("quenlow-dbgcapture")),
                    self.native_path(debug_file), str(exe)]
        return [str(exe)]

    def start(self, env=None, exe=None, stdin=subprocess.PIPE, preexec_fn=None):
        """Starts the host and returns (process, debug file)."""
        debug_file = self.new_file("debug")
        debug_file.touch()
        full_env = dict(os.environ)
        full_env["QUENLOW_DEBUG_OUTPUT"] = str(debug_file)
        full_env.update(env or {})
        process = subprocess.Popen(
            self.command(debug_file, exe or self.exe()), stdin=stdin, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, env=full_env, cwd=str((exe or self.exe()).parent),
            preexec_fn=preexec_fn)
        return process, debug_file

    def run(self, data=b"", env=None, timeout=60, exe=None, preexec_fn=None, stdin=subprocess.PIPE):
        process, debug_file = self.start(env=env, exe=exe, stdin=stdin, preexec_fn=preexec_fn)
        try:
            stdout, stderr = process.communicate(data if stdin == subprocess.PIPE else None,
                                                 timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise
        return HostRun(process.returncode, stdout, stderr, read_debug_lines(debug_file))

    def run_expecting(self, data, frames, env=None, timeout=60, exe=None, ready=None,
                      ready_line=None):
        """Sends `data` (once `ready()` holds and a debugger line starts with `ready_line`, when
        given), keeps standard input open until `frames` frames have arrived (replies come from
        other threads, after their message was handled), then closes it and waits."""
        process, debug_file = self.start(env=env, exe=exe)
        wait_until(ready or (lambda: True), timeout)
        if ready_line is not None:
            wait_until(lambda: any(line.startswith(ready_line)
                                   for line in read_debug_lines(debug_file)), timeout)
        received = bytearray()

        def complete_frames():
            return len(parse_frames_prefix(bytes(received)))

        def pump():
            while True:
                chunk = process.stdout.read1(65536)
                if not chunk:
                    return
                received.extend(chunk)

        reader = threading.Thread(target=pump, daemon=True)
        reader.start()
        process.stdin.write(data)
        process.stdin.flush()
        deadline = time.monotonic() + timeout
        while complete_frames() < frames and time.monotonic() < deadline:
            if process.poll() is not None:
                break
            time.sleep(0.02)
        process.stdin.close()
        stderr = process.stderr.read()
        process.wait(timeout=timeout)
        reader.join(timeout=timeout)
        return HostRun(process.returncode, bytes(received), stderr, read_debug_lines(debug_file))

    def run_measured(self, data, settle_seconds=1.0, timeout=60):
        """Runs the Linux host, feeds it `data`, and reads its peak resident set size while it still
        waits for more input. (The rusage of a child counts the parent's memory from before exec,
        so the figure comes from the host's own address space instead.)"""
        assert not self.is_windows
        process, debug_file = self.start()
        process.stdin.write(data)
        process.stdin.flush()
        time.sleep(settle_seconds)
        status = Path(f"/proc/{process.pid}/status").read_text()
        peak = int(next(line.split()[1] for line in status.splitlines()
                        if line.startswith("VmHWM:")))
        stdout, stderr = process.communicate(timeout=timeout)
        return HostRun(process.returncode, stdout, stderr, read_debug_lines(debug_file),
                       peak_rss_kib=peak)


@functools.lru_cache(maxsize=None)
def _has_sanitizer_runtime(path):
    data = Path(path).read_bytes()
    return any(marker in data for marker in (b"__asan_init", b"__tsan_init"))


def wait_until(condition, timeout):
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, "condition not met in time"
        time.sleep(0.02)


def read_debug_lines(path):
    """The lines of a file written a line at a time: debugger output, or a stand-in's journal."""
    try:
        text = Path(path).read_bytes().decode("utf-8", errors="replace")
    except FileNotFoundError:
        return []
    return text.split("\n")[:-1] if text else []


@pytest.fixture(scope="session")
def target(request):
    return (request.config.getoption("--bin-dir"), request.config.getoption("--target-platform"),
            request.config.getoption("--wine-run"))


@pytest.fixture
def host(target, tmp_path):
    bin_dir, platform, wine_run = target
    return Host(bin_dir, platform, wine_run, tmp_path)
