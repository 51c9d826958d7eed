#!/usr/bin/env python3
"""Writes the framed inputs of the benchmarks into a folder (4-byte native-endian length, then
the body, as a browser sends them)."""

import json
import struct
import sys
from pathlib import Path

INBOUND_FRAMES = 100_000
BIG_FRAME_BYTES = 16 * 1024 * 1024
HOSTILE_LENGTH = 0x7FFFFFFF
HOSTILE_BODY_SENT = 4 * 1024 * 1024  # what follows the hostile length before the input pauses


def frame(body: bytes) -> bytes:
    return struct.pack("=i", len(body)) + body


def envelope(message_type: str, tab: int, payload: dict) -> bytes:
    text = {"tabID": str(tab), "type": message_type, "requestID": "", "frameID": "0",
            "windowID": "3", "payload": payload}
    return json.dumps(text, separators=(",", ":")).encode()


def trigger_failed(tab: int) -> bytes:
    return envelope("triggerFailed", tab, {
        "triggerId": "login-form-submit-7f3a9c", "reason": "element not found",
        "url": "https://example.com/account/sign-in?step=2"})


def big_trigger_failed() -> bytes:
    # A valid envelope whose trigger id fills the frame to exactly 16 MiB.
    empty = envelope("triggerFailed", 1, {"triggerId": ""})
    return envelope("triggerFailed", 1, {"triggerId": "x" * (BIG_FRAME_BYTES - len(empty))})


def document_complete() -> bytes:
    return envelope("documentComplete", 1047, {
        "url": "https://example.com/account/sign-in?step=2", "bTopLvlDoc": "true"})


def main() -> None:
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "inbound.bin").write_bytes(
        b"".join(frame(trigger_failed(1000 + i % 9000)) for i in range(INBOUND_FRAMES)))
    (out / "document_complete.bin").write_bytes(frame(document_complete()))
    big = big_trigger_failed()
    assert len(big) == BIG_FRAME_BYTES
    (out / "frame_16mib.bin").write_bytes(frame(big))
    (out / "hostile_length.bin").write_bytes(
        struct.pack("=i", HOSTILE_LENGTH) + b"x" * HOSTILE_BODY_SENT)
    print(f"inbound frame body: {len(trigger_failed(1000))} bytes")


if __name__ == "__main__":
    main()
