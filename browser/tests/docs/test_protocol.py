"""Runs every example exchange of docs/PROTOCOL.md against the built host with the stand-in agent
and bridge. The document explains the form of the examples (its "Reading the examples"); in short,
each fenced block with the info string `exchange` is one run of the host, and each of its lines
starts with a keyword (a `#` line is a comment):

    env     NAME=VALUE   a variable for the stand-ins (the agent's log level is 1 unless set)
    send    TEXT         one frame from the extension, TEXT as UTF-8
    bytes   HEX ...      bytes on the host's input as they are, unframed
    update  BODY         a frame from the host itself (the log-level update), body as on the wire
    info    BODY         the host's answer to hostInfo
    reply   BODY         a frame the agent sent through its reply function
    echo    BODY         a frame the design tool sent
    agent   LINE         a call the agent received: a line of the stand-in agent's journal
    bridge  LINE         a message the design tool received: a SendMessageToKestrova journal line
    debug   LINE         a line of the host's debugger output"""

import json
import re
from dataclasses import dataclass, field
from pathlib import Path

import pytest

from hostio import frame, read_lines

DOCUMENT = Path(__file__).resolve().parents[3] / "docs" / "PROTOCOL.md"
INFO_STRING = "exchange"
FRAME_KINDS = ("update", "info", "reply", "echo")
KINDS = ("env", "send", "bytes") + FRAME_KINDS + ("agent", "bridge", "debug")


@dataclass
class Example:
    line: int
    heading: str
    env: dict = field(default_factory=dict)
    data: bytearray = field(default_factory=bytearray)
    frames: dict = field(default_factory=lambda: {kind: [] for kind in FRAME_KINDS})
    agent: list = field(default_factory=list)
    bridge: list = field(default_factory=list)
    debug: list = field(default_factory=list)

    @property
    def name(self):
        return f"line {self.line}: {self.heading}"

    def add(self, kind, text):
        if kind == "env":
            name, _, value = text.partition("=")
            self.env[name] = value
        elif kind == "send":
            self.data += frame(text)
        elif kind == "bytes":
            self.data += bytes.fromhex(text)
        elif kind in FRAME_KINDS:
            self.frames[kind].append(text.encode("utf-8"))
        else:
            getattr(self, kind).append(text)


def parse_examples(text):
    examples, heading, block, other_fence = [], "", None, False
    for number, line in enumerate(text.splitlines(), start=1):
        if other_fence:
            other_fence = not line.startswith("```")
        elif block is None:
            if line.startswith("```"):
                if line.strip() == "```" + INFO_STRING:
                    block = Example(number, heading)
                else:
                    other_fence = True
            elif line.startswith("#"):
                heading = line.lstrip("#").strip()
        elif line.strip() == "```":
            examples.append(block)
            block = None
        elif line.strip() and not line.startswith("#"):
            kind, _, rest = line.partition(" ")
            assert kind in KINDS, f"PROTOCOL.md line {number}: unknown keyword {kind!r}"
            block.add(kind, rest.lstrip(" "))
    assert block is None and not other_fence, "PROTOCOL.md ends inside a fenced block"
    return examples


EXAMPLES = parse_examples(DOCUMENT.read_text(encoding="utf-8"))


def test_the_document_has_examples():
    assert len(EXAMPLES) >= 10


def is_monitor_line(line):
    """The log-level monitor's debugger line: its thread writes it at any point."""
    return line.startswith("Log level: ")


def is_monitor_log_entry(line):
    """The host's log entry for an update, written on the monitor's thread at any point."""
    call = json.loads(line)
    return call["call"] == "WriteLog" and call["args"][0] == 3 and \
        re.fullmatch(r'\{"level":-?[0-9]+,"type":"updateLogLevel"\}', call["args"][1]) is not None


def apart(lines, is_monitor):
    """The lines in order without the monitor's, and the monitor's in any order."""
    return ([line for line in lines if not is_monitor(line)],
            sorted(line for line in lines if is_monitor(line)))


def check_frames(bodies, expected):
    listed = [body for kind in FRAME_KINDS for body in expected[kind]]
    assert sorted(bodies) == sorted(listed), "frames"
    for kind in FRAME_KINDS:
        # Frames of one kind keep their order; kinds come from different threads.
        assert [body for body in bodies if body in expected[kind]] == expected[kind], kind


@pytest.mark.parametrize("example", EXAMPLES, ids=[example.name for example in EXAMPLES])
def test_example(host, tmp_path, example):
    agent_journal, bridge_journal = tmp_path / "agent.jsonl", tmp_path / "bridge.jsonl"
    env = {"VARNHOLD_JOURNAL": host.native_path(agent_journal),
           "HALVERN_JOURNAL": host.native_path(bridge_journal), "VARNHOLD_LOG_LEVEL": "1"}
    env.update(example.env)
    # Sends once the bridge is ready: an XPath message before that would be dropped.
    run = host.run_expecting(
        bytes(example.data), frames=sum(len(bodies) for bodies in example.frames.values()),
        env=env, timeout=60 if host.is_windows else 20,
        ready=lambda: any('"CreateThreadBroker"' in line for line in read_lines(bridge_journal)))
    assert run.returncode == 0

    check_frames(run.frames, example.frames)

    calls = [line for line in read_lines(agent_journal) if '"call":"GetLogLevel"' not in line]
    assert apart(calls, is_monitor_log_entry) == apart(example.agent, is_monitor_log_entry), \
        "agent"

    relayed = [line for line in read_lines(bridge_journal)
               if line.startswith('{"call":"SendMessageToKestrova"')]
    assert relayed == example.bridge, "bridge"

    if example.debug:
        lines, monitor_lines = apart(run.debug_lines, is_monitor_line)
        shown, shown_monitor_lines = apart(example.debug, is_monitor_line)
        assert lines == shown, "debug"
        # The monitor's lines are shown only where they matter.
        assert set(shown_monitor_lines) <= set(monitor_lines), "debug (log-level monitor)"
