"""What goes into the host and what comes out of it, for every pytest suite: native-messaging frames
(a 4-byte native-endian length, then the body), the messages they carry, and the files written a
line at a time: debugger lines, the stand-in agent's journal (VARNHOLD_JOURNAL), the stand-in
bridge's (HALVERN_JOURNAL) and quenlow-talk's transcript, the last three one JSON object a line.

Standard library only: a test's stand-in host runs with a copy of this file beside it."""

import json
import struct
from pathlib import Path


def frame(body):
    """One frame: native-endian 32-bit length, then the body (text goes as UTF-8)."""
    if isinstance(body, str):
        body = body.encode("utf-8")
    return struct.pack("=I", len(body)) + body


def length_only(length):
    """A length prefix without its body, for lengths a real body could not give."""
    return struct.pack("=i", length)


def frame_at(data, position=0):
    """The body of the frame starting at `position` of `data`, or None while it is incomplete."""
    if position + 4 > len(data):
        return None
    (length,) = struct.unpack_from("=I", data, position)
    end = position + 4 + length
    return data[position + 4:end] if end <= len(data) else None


def parse_frames(data):
    """Splits a program's whole standard output into frame bodies; anything else there is a
    fault."""
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
    while (body := frame_at(data, position)) is not None:
        bodies.append(body)
        position += 4 + len(body)
    return bodies


def read_frame(stream):
    """The next frame's body from a blocking stream, or None where the stream ends before a whole
    length (a body cut short comes back short)."""
    header = stream.read(4)
    if len(header) < 4:
        return None
    return stream.read(struct.unpack("=I", header)[0])


def envelope(**members):
    """A message as the extension writes it: compact JSON of the members given."""
    return json.dumps(members, separators=(",", ":"))


def read_lines(path):
    """The whole lines of a file written a line at a time (the last one may still be arriving);
    none while the file does not exist."""
    try:
        text = Path(path).read_bytes().decode("utf-8", errors="replace")
    except FileNotFoundError:
        return []
    return text.split("\n")[:-1] if text else []


def read_json_lines(path):
    """The records of a journal or transcript, in order: its whole lines, as a record may still be
    arriving; none while the file does not exist."""
    return [json.loads(line) for line in read_lines(path)]


def agent_calls(path, skip=("GetLogLevel",)):
    """The calls in the stand-in agent's journal, in order, without the monitor's routine polls."""
    return [call for call in read_json_lines(path) if call["call"] not in skip]
