"""The read loop seen from outside: framing edges, exit codes, nothing but frames on stdout."""

import os

import pytest

from hostio import frame, length_only

TRACE = "Process Message and Message Type:Message: "


def tab(tab_id):
    """A body whose trace shows it whole: the trace hides every value but the few the host reads."""
    return '{"tabID":"' + tab_id + '"}'


def traced_texts(run):
    return [line[len(TRACE):] for line in run.debug_lines if line.startswith(TRACE)]


@pytest.mark.parametrize("name, data, texts", [
    ("empty input", b"", []),
    ("one length byte", b"\x05", []),
    ("two length bytes", b"\x05\x00", []),
    ("three length bytes", b"\x05\x00\x00", []),
    ("zero length then a frame", length_only(0) + frame("{}"), ["{}"]),
    ("minus one consumes no body", b"\xff\xff\xff\xff" + frame("{}"), ["{}"]),
    ("body cut short by end of input", length_only(20) + tab("12").encode(), [tab("12")]),
    ("nul inside the body", frame(tab("ab").encode() + b"\x00cd") + frame(tab("x")),
     [tab("ab"), tab("x")]),
    ("two frames in one write", frame(tab("one")) + frame(tab("two")), [tab("one"), tab("two")]),
    ("hostile length is discarded", length_only(0x7FFFFFFF) + b"0123456789", []),
])
def test_framing_edges(host, name, data, texts):
    run = host.run(data)
    assert run.returncode == 0, name
    assert traced_texts(run) == texts
    # The log-level monitor's lines may come before or after the host's last line.
    assert [line for line in run.debug_lines if not line.startswith("Log level: ")][-1] == \
        "Going to exit"
    assert run.frames == []  # nothing but frames, and nothing answers these


def test_binary_bytes_pass_unchanged(host):
    run = host.run(frame(tab("a\r\nb\x1ac")) + frame(tab("next")))
    assert run.returncode == 0
    joined = "\n".join(run.debug_lines) + "\n"
    # In order; the dispatcher's lines about a message without a type may come between.
    assert 0 <= joined.find(TRACE + tab("a\r\nb\x1ac") + "\n") < \
        joined.find(TRACE + tab("next") + "\n")


def test_multi_mebibyte_body_arrives_whole(host):
    body = tab("m" * (3 * 1024 * 1024)).encode()
    run = host.run(frame(body) + frame(tab("after")))
    assert run.returncode == 0
    texts = traced_texts(run)
    assert texts[1:] == [tab("after")]
    if host.is_windows:
        # Wine cuts a debug string after 32,766 characters; the start must still be the body's.
        assert texts[0] == body.decode()[:len(texts[0])] and len(texts[0]) > 30000
    else:
        assert texts[0] == body.decode()


def test_frames_announcing_256_mib_or_more_are_skipped_in_step(host):
    run = host.run(length_only(0x10000000) + b"z" * 0x10000000 + frame(tab("after")),
                   timeout=300)
    assert run.returncode == 0
    assert traced_texts(run) == [tab("after")]
    assert sum("268435456" in line for line in run.debug_lines) == 1


def test_hostile_length_costs_no_memory(host):
    if host.is_windows:
        pytest.skip("Wine's own memory would dominate the figure")
    if host.is_sanitized:
        pytest.skip("the sanitizer's own memory would dominate the figure")
    run = host.run_measured(length_only(0x7FFFFFFF) + b"0123456789")
    assert run.returncode == 0
    assert run.peak_rss_kib < 8 * 1024, f"peak RSS {run.peak_rss_kib} KiB"


def test_unreadable_standard_input_ends_with_minus_one(host):
    if host.is_windows:
        pytest.skip("Wine hands a program whose descriptor 0 is closed a standard input of its own")
    run = host.run(stdin=None, preexec_fn=lambda: os.close(0))
    assert run.returncode == 255
    assert b"Cannot set binary mode: " in run.stderr
    assert run.debug_lines == ["Set binary mode failed"]
    assert run.stdout == b""
