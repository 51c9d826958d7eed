"""The host under load and abuse: endings that race its threads, a reader that goes away, and
hostile input, each followed by a message that must still be handled. Run against sanitizer builds
too, where any report makes the exit code nonzero and names the sanitizer on standard error."""

import json
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

from hostio import agent_calls, envelope, frame, length_only, parse_frames, read_lines
from hostrun import wait_until


def document_complete(tab):
    return envelope(tabID=tab, type="documentComplete",
                    payload={"url": "https://a.example/" + tab, "bTopLvlDoc": "true"})


def assert_clean_exit(returncode, stderr, what):
    assert b"Sanitizer" not in stderr, f"{what}: {stderr.decode(errors='replace')[-4000:]}"
    assert returncode == 0, f"{what}: exit code {returncode}"


class Zeros:
    """`count` zero bytes, written in pieces rather than built in memory."""

    PIECE = bytes(1 << 20)

    def __init__(self, count):
        self.count = count

    def pieces(self):
        left = self.count
        while left:
            piece = self.PIECE[:min(left, len(self.PIECE))]
            left -= len(piece)
            yield piece


def run_streamed(host, parts, env, timeout=300):
    """Runs the host on `parts` (bytes or Zeros) written in order, then ends its input."""
    process, debug_file = host.start(env=env)
    outputs = {}

    def drain(name, stream):
        outputs[name] = stream.read()

    readers = [threading.Thread(target=drain, args=(name, stream), daemon=True)
               for name, stream in (("out", process.stdout), ("err", process.stderr))]
    for reader in readers:
        reader.start()
    try:
        for part in parts:
            for piece in part.pieces() if isinstance(part, Zeros) else [part]:
                process.stdin.write(piece)
        process.stdin.close()
    except BrokenPipeError:
        pass  # the host has gone: the exit code tells why
    returncode = process.wait(timeout=timeout)
    for reader in readers:
        reader.join(timeout=timeout)
    return returncode, outputs.get("out", b""), outputs.get("err", b""), \
        read_lines(debug_file)


# --- The input ends while every thread of the host is busy -------------------------------------

def busy_session():
    """Messages that keep the agent's reply thread, the bridge's echo thread and the channel busy
    (the monitor announces the log level of 4 at start-up)."""
    messages = []
    for i in range(10):
        messages.append(document_complete(str(i)))
        messages.append(envelope(tabID=str(i), type="basicAuthentication",
                                 payload={"host": "h.example"}))
        messages.append(envelope(tabID=str(i), type="XPath", payload={"xpath": f"//p[{i}]"}))
    return b"".join(frame(message) for message in messages)


def test_ending_input_while_replies_echoes_and_the_monitor_are_in_flight(host):
    # Under Wine each start costs a second or more, so far fewer runs there. Sanitizer builds
    # cost about ten times the plain build's processor time per run (instrumentation, the leak
    # check at exit), so they make a quarter of the runs. Natively the runs go three at a time
    # (the machine has two cores; the host mostly waits on its threads).
    runs = 40 if host.is_windows else 250 if host.is_sanitized else 1000
    workers = 1 if host.is_windows else 3
    data = busy_session()
    env = {"VARNHOLD_LOG_LEVEL": "4"}

    def one_run(attempt):
        process, _ = host.start(env=env)
        process.stdin.write(data)
        process.stdin.flush()
        # Vary the moment of the end so that it falls before, while and after the bridge starts.
        time.sleep((attempt % 4) * 0.002)
        out, err = process.communicate(timeout=60)
        assert_clean_exit(process.returncode, err, f"run {attempt}")
        for body in parse_frames(out):  # strict: a frame cut in half fails here
            assert json.loads(body).startswith("{"), body

    started = time.monotonic()
    with ThreadPoolExecutor(max_workers=workers) as pool:
        list(pool.map(one_run, range(runs)))
    elapsed = time.monotonic() - started
    print(f"{runs} runs in {elapsed:.1f} s")


# --- The reader goes away first ---------------------------------------------------------------

def test_reader_closing_the_channel_first_leaves_the_host_reading_to_the_end(host, tmp_path):
    journal = tmp_path / "journal.txt"
    env = {"VARNHOLD_JOURNAL": host.native_path(journal), "VARNHOLD_LOG_LEVEL": "4"}
    process, _ = host.start(env=env)
    process.stdout.close()  # every frame from now on meets a closed pipe
    first = [document_complete(str(i)) for i in range(50)]
    process.stdin.write(b"".join(frame(message) for message in first))
    process.stdin.flush()
    # Let the reply and echo threads hit the closed channel before the rest arrives.
    wait_until(lambda: len(agent_calls(journal)) >= len(first), 60,
               "the agent never saw the first frames")
    # No line marks a failed write; a moment more lets most replies meet the closed pipe. The
    # assertions hold however many do.
    time.sleep(0.2)
    later = [envelope(tabID="t", type="XPath", payload={"xpath": "//a"}),
             document_complete("last")]
    process.stdin.write(b"".join(frame(message) for message in later))
    process.stdin.close()
    err = process.stderr.read()
    returncode = process.wait(timeout=60)
    assert_clean_exit(returncode, err, "closed channel")
    tabs = [call["args"][0] for call in agent_calls(journal)
            if call["call"] == "OnDocumentComplete"]
    assert tabs == [str(i) for i in range(50)] + ["last"]


# --- Hostile input, then a message that must still arrive --------------------------------------

FOLLOW_UP = document_complete("after")
DEEP = "[" * 10**6


def values_envelope(count):
    values = [{"signature": f"s{i}", "value": f"v{i}"} for i in range(count)]
    return envelope(tabID="v", type="triggerFired", payload={"triggerId": "t", "values": values})


# (name, bytes before the follow-up, heavy: skipped under Wine, where every byte costs far more)
HOSTILE = [
    ("length 0", [length_only(0)], False),
    ("length -1", [b"\xff\xff\xff\xff"], False),
    ("length 0x7FFFFFFF with its body", [length_only(0x7FFFFFFF), Zeros(0x7FFFFFFF)], True),
    ("truncated JSON", [frame('{"tabID":"1","type":"documentComplete","payload":{"url":"')],
     False),
    ("truncated UTF-8 sequence", [frame(b'{"tabID":"1","type":"log","payload":{"message":"\xe2\x82'
                                        b'"}}')], False),
    ("invalid UTF-8", [frame(b'{"tabID":"\xff\xfe","type":"documentComplete","payload":'
                             b'{"url":"\xc0\xaf\xed\xa0\x80"}}'), frame(b"\x80\xbf\xf8")], False),
    ("10^6-deep array", [frame(DEEP)], False),
    ("10^6-deep payload", [frame('{"tabID":"1","type":"triggerFired","payload":' + DEEP)], False),
    ("10^6-deep objects", [frame('{"a":' * 10**6)], False),
    ("64 MiB body", [frame('{"tabID":"1","type":"bulk","payload":{"data":"' + "x" * (64 << 20)
                           + '"}}')], True),
    ("10^5 unknown types", [b"".join(frame(envelope(tabID="1", type=f"unknown{i}"))
                                     for i in range(10**5))], False),
    ("10^5 trigger values", [frame(values_envelope(10**5))], False),
]


@pytest.mark.parametrize("name, parts, heavy", HOSTILE, ids=[row[0] for row in HOSTILE])
def test_hostile_input_loses_nothing_after_it(host, tmp_path, name, parts, heavy):
    if heavy and host.is_windows:
        pytest.skip("hundreds of mebibytes through Wine's pipes take minutes")
    journal = tmp_path / "journal.txt"
    env = {"VARNHOLD_JOURNAL": host.native_path(journal)}
    returncode, out, err, _ = run_streamed(host, parts + [frame(FOLLOW_UP)], env)
    assert_clean_exit(returncode, err, name)
    parse_frames(out)  # nothing but whole frames, whatever came in
    calls = agent_calls(journal)
    follow_ups = [call for call in calls if call["args"][:1] == ["after"]]
    assert follow_ups == [{"call": "OnDocumentComplete",
                           "args": ["after", "https://a.example/after", True]}]
    assert calls[-1] == follow_ups[0], "the follow-up is the last thing the agent saw"


def test_a_hundred_thousand_trigger_values_reach_the_agent_whole(host, tmp_path):
    journal = tmp_path / "journal.txt"
    env = {"VARNHOLD_JOURNAL": host.native_path(journal)}
    run = host.run(frame(values_envelope(10**5)), env=env, timeout=300)
    assert_clean_exit(run.returncode, run.stderr, "values")
    [call] = agent_calls(journal)
    assert call["call"] == "NotifyTriggerFired"
    assert call["args"][:2] == ["v", "t"]
    assert call["args"][2] == {f"s{i}": f"v{i}" for i in range(10**5)}

