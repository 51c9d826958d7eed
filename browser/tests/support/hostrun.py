"""Runs the built host as a browser would, for the pytest suites: frames in, frames out, exit code,
standard error and debugger lines.

The same suites run against the Linux build natively and against the Windows build under Wine; on
Windows the host runs under quenlow-dbgcapture, which records its debug strings in the same
one-line-per-call file that the POSIX build writes itself.

The process and docs suites' conftest.py import `pytest_addoption` and the `target` and `host`
fixtures from here, which gives them the options --bin-dir, --target-platform and --wine-run.
Suites that start a program their own way use `feed_until`, `wait_until`, `poll_until` or
`windows_path` alone. Frames, messages and journals are in hostio.py."""

import fcntl
import functools
import os
import subprocess
import sys
import termios
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

import pytest

from hostio import parse_frames, parse_frames_prefix, read_lines


def pytest_addoption(parser):
    parser.addoption("--bin-dir", required=True, help="folder holding the built host")
    parser.addoption("--target-platform", choices=["linux", "windows"], default="linux")
    parser.addoption("--wine-run", default=None, help="Wine wrapper script for Windows builds")


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
        path = Path(path).resolve()
        return windows_path(path) if self.is_windows else str(path)

    def new_file(self, stem):
        self._runs += 1
        return self.workdir / f"{stem}-{self._runs}.txt"

    def command(self, debug_file, exe):
        if self.is_windows:
            return [self.wine_run, str(self.exe("quenlow-dbgcapture")),
                    self.native_path(debug_file), str(exe)]
        return [str(exe)]

    def start(self, env=None, exe=None, stdin=subprocess.PIPE, preexec_fn=None, cwd=None):
        """Starts the host in `cwd` (by default its own folder) and returns (process, debug
        file)."""
        debug_file = self.new_file("debug")
        debug_file.touch()
        full_env = dict(os.environ)
        full_env["QUENLOW_DEBUG_OUTPUT"] = str(debug_file)
        full_env.update(env or {})
        process = subprocess.Popen(
            self.command(debug_file, exe or self.exe()), stdin=stdin, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, env=full_env, cwd=str(cwd or (exe or self.exe()).parent),
            preexec_fn=preexec_fn)
        return process, debug_file

    def run(self, data=b"", env=None, timeout=60, exe=None, preexec_fn=None, stdin=subprocess.PIPE):
        result = self._run_once(data, env, timeout, exe, preexec_fn, stdin)
        if self.never_ran(result.returncode, result.stdout, result.stderr, result.debug_lines):
            # Once more, and said so: a host that fails that way twice is at fault.
            print("Wine ended the program before it ran; starting it once more", file=sys.stderr)
            result = self._run_once(data, env, timeout, exe, preexec_fn, stdin)
        return result

    def never_ran(self, returncode, stdout, stderr, debug_lines):
        """Whether Wine ended the program before its first instruction: now and then, on a loaded
        machine, it does, with status 1 and not a byte written. The host always writes a debugger
        line."""
        return self.is_windows and returncode != 0 and not (stdout or stderr or debug_lines)

    def _run_once(self, data, env, timeout, exe, preexec_fn, stdin):
        process, debug_file = self.start(env=env, exe=exe, stdin=stdin, preexec_fn=preexec_fn)
        try:
            stdout, stderr = process.communicate(data if stdin == subprocess.PIPE else None,
                                                 timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise
        return HostRun(process.returncode, stdout, stderr, read_lines(debug_file))

    def run_expecting(self, data, frames, env=None, timeout=60, exe=None, ready=None,
                      ready_line=None, cwd=None):
        """Sends `data` (once `ready()` holds and a debugger line starts with `ready_line`, when
        given), keeps standard input open until `frames` frames have arrived (replies come from
        other threads, after their message was handled), then closes it and waits."""
        process, debug_file = self.start(env=env, exe=exe, cwd=cwd)
        wait_until(ready or (lambda: True), timeout)
        if ready_line is not None:
            wait_until(lambda: any(line.startswith(ready_line)
                                   for line in read_lines(debug_file)), timeout)
        stdout, stderr = feed_until(process, data,
                                    lambda out: len(parse_frames_prefix(out)) >= frames, timeout)
        return HostRun(process.returncode, stdout, stderr, read_lines(debug_file))

    def run_measured(self, data, timeout=60):
        """Runs the Linux host, feeds it `data`, and reads its peak resident set size once it has
        handled all of it and waits for more input. (The rusage of a child counts the parent's
        memory from before exec, so the figure comes from the host's own address space instead.)"""
        assert not self.is_windows
        process, debug_file = self.start()
        process.stdin.write(data)
        process.stdin.flush()
        wait_until(lambda: _waits_for_input(process), timeout, "the host never read all its input")
        status = Path(f"/proc/{process.pid}/status").read_text()
        peak = int(next(line.split()[1] for line in status.splitlines()
                        if line.startswith("VmHWM:")))
        stdout, stderr = process.communicate(timeout=timeout)
        return HostRun(process.returncode, stdout, stderr, read_lines(debug_file),
                       peak_rss_kib=peak)


@functools.lru_cache(maxsize=None)
def _has_sanitizer_runtime(path):
    data = Path(path).read_bytes()
    return any(marker in data for marker in (b"__asan_init", b"__tsan_init"))


def _waits_for_input(process):
    """Whether a Linux process has read everything written to its standard input and its main
    thread blocks reading more: it has handled what came before that read."""
    unread = fcntl.ioctl(process.stdin.fileno(), termios.FIONREAD, b"\0\0\0\0")
    if int.from_bytes(unread, sys.byteorder) != 0:
        return False
    # The system call the thread is blocked in, then its arguments: read (0) from descriptor 0.
    return Path(f"/proc/{process.pid}/syscall").read_text().split()[:2] == ["0", "0x0"]


def feed_until(process, data, done, timeout):
    """Writes `data` to a started process and keeps its standard input open until `done(output so
    far)` holds (replies come from other threads, after their message was handled), the process
    ends or `timeout` passes; then closes the input and waits. Returns (stdout, stderr)."""
    received = bytearray()
    arrived = threading.Condition()

    def pump():
        while chunk := process.stdout.read1(65536):
            with arrived:
                received.extend(chunk)
                arrived.notify()

    reader = threading.Thread(target=pump, daemon=True)
    reader.start()
    process.stdin.write(data)
    process.stdin.flush()
    deadline = time.monotonic() + timeout
    with arrived:
        # Woken by every arrival; whether the process has ended is looked at in between.
        while not done(bytes(received)) and time.monotonic() < deadline and \
                process.poll() is None:
            arrived.wait(0.02)
    process.stdin.close()
    stderr = process.stderr.read()
    process.wait(timeout=timeout)
    reader.join(timeout=timeout)
    return bytes(received), stderr


def poll_until(condition, timeout):
    """Whether `condition()` came to hold within `timeout` seconds. Looked at again after 1 ms,
    then ever less often, down to every 20 ms: most conditions hold within moments, a few take
    seconds."""
    deadline = time.monotonic() + timeout
    pause = 0.001
    while not condition():
        if time.monotonic() >= deadline:
            return False
        time.sleep(pause)
        pause = min(2 * pause, 0.02)
    return True


def wait_until(condition, timeout, failure="condition not met in time"):
    assert poll_until(condition, timeout), failure


def windows_path(path):
    """A path as a Windows program under Wine spells it (Wine maps / to drive Z:)."""
    return "Z:" + str(path).replace("/", "\\")


@pytest.fixture(scope="session")
def target(request):
    return (request.config.getoption("--bin-dir"), request.config.getoption("--target-platform"),
            request.config.getoption("--wine-run"))


@pytest.fixture
def host(target, tmp_path):
    bin_dir, platform, wine_run = target
    return Host(bin_dir, platform, wine_run, tmp_path)
