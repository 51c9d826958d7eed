"""Runs quenlow-dbgcapture.exe under Wine against the probe program (and the host, when built).

Options (see conftest.py): --bin-dir, --wine-run."""
import os
import struct
import subprocess
import tempfile
import unittest

import pytest

# Arguments whose Windows quoting is easy to get wrong; the probe reports each one back.
TRICKY_ARGUMENTS = [
    "plain",
    "",
    "two words",
    'say "hi"',
    '"',
    "trailing\\",
    "space then trailing \\",
    'a\\"b',
    "a\\\\ b",
    "C:\\dir\\file.txt",
    "\ttab",
]


def probe_lines(arguments, echoed):
    lines = ["probe narrow", "probe wide"]
    lines += ["probe arg %d [%s]" % (i, a) for i, a in enumerate(arguments, start=1)]
    lines += [
        "probe from thread",
        "",
        "n" * 70000 + "end",
        "w" * 30000 + "end",
        "probe vectored handler ran 1 time(s)",
        "probe caught thrown",
        "probe echoed %d bytes" % echoed,
    ]
    return lines


class CaptureTest(unittest.TestCase):
    @pytest.fixture(autouse=True)
    def _build(self, request):
        self.bin_dir = request.config.getoption("--bin-dir")
        self.wine_run = request.config.getoption("--wine-run")
        if not self.bin_dir:
            pytest.skip("no build folder given: pass --bin-dir=PATH or set QUENLOW_BIN_DIR")

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.output = os.path.join(self.tmp.name, "debug lines.txt")

    def tearDown(self):
        self.tmp.cleanup()

    def capture(self, program, arguments=(), stdin=b"", env_extra=None, output=None):
        env = dict(os.environ)
        env.update(env_extra or {})
        command = [self.wine_run, os.path.join(self.bin_dir, "quenlow-dbgcapture.exe")]
        if output is not False:
            command.append(output or self.output)
        if program is not None:
            command.append(program)
        command += list(arguments)
        return subprocess.run(command, input=stdin, capture_output=True, env=env, timeout=120)

    def lines(self):
        with open(self.output, "rb") as f:
            data = f.read()
        self.assertTrue(data.endswith(b"\n"), "every line ends with a line feed")
        return data.decode("utf-8").split("\n")[:-1]

    def test_lines_stdio_and_exit_code_of_the_probe(self):
        stdin = bytes(range(256)) + b"\r\n\x1a\n\r" + bytes(100000)
        run = self.capture(os.path.join(self.bin_dir, "dbgcapture_probe.exe"), TRICKY_ARGUMENTS, stdin)
        self.assertEqual(run.returncode, 7, run.stderr)
        self.assertEqual(run.stdout, stdin, "stdout passes through byte for byte")
        self.assertIn(b"probe stderr", run.stderr)
        expected = probe_lines(TRICKY_ARGUMENTS, len(stdin)) + ["probe done"]
        self.assertEqual(self.lines(), expected)

    def test_appends_to_an_existing_file(self):
        with open(self.output, "wb") as f:
            f.write(b"earlier line\n")
        run = self.capture(os.path.join(self.bin_dir, "dbgcapture_probe.exe"))
        self.assertEqual(run.returncode, 7, run.stderr)
        lines = self.lines()
        self.assertEqual(lines[0], "earlier line")
        self.assertEqual(lines[1:3], ["probe narrow", "probe wide"])

    def test_a_crashing_program_gives_its_exception_code(self):
        run = self.capture(
            os.path.join(self.bin_dir, "dbgcapture_probe.exe"), env_extra={"DBGCAPTURE_PROBE_CRASH": "1"}
        )
        # 0xC0000005; a Linux parent sees its low byte.
        self.assertEqual(run.returncode, 0x05, run.stderr)
        self.assertEqual(run.stdout, b"")
        self.assertEqual(self.lines()[-1], "probe crashing")

    def test_failures_before_the_program_runs(self):
        cases = [
            ("missing program", [os.path.join(self.bin_dir, "no-such-program.exe")], 127, b"cannot start"),
            ("no program given", [], 2, b"usage"),
        ]
        for name, arguments, code, message in cases:
            with self.subTest(name):
                run = self.capture(None, arguments)
                self.assertEqual(run.returncode, code)
                self.assertIn(message, run.stderr)
                self.assertEqual(run.stdout, b"")

    def test_the_host_says_what_it_processed(self):
        host = os.path.join(self.bin_dir, "Quenlow.exe")
        if not os.path.exists(host):
            self.skipTest("the host is not built")
        body = b'{"tabID":"hello"}'
        run = self.capture(host, stdin=struct.pack("<I", len(body)) + body)
        self.assertEqual(run.returncode, 0, run.stderr)
        # The log-level monitor's line comes from a thread of its own, before or after the end.
        lines = [line for line in self.lines() if not line.startswith("Log level: ")]
        self.assertIn("Process Message and Message Type:Message: " + body.decode(), lines)
        self.assertEqual(lines[-1], "Going to exit")

