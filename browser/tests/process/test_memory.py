"""What a crash dump of the idle host would hold: after a session that carried passwords both ways,
the host's memory is read through /proc (under Wine the program is a Linux process too) and no
copy of either password may be left, in any of the encodings the host and the agent use."""

import resource
import secrets
from pathlib import Path

import pytest

from hostio import envelope, frame
from hostrun import poll_until
from test_processing import TRACE, Session, quoted

ENCODINGS = ("utf-8", "utf-16-le", "utf-32-le")


def host_process(session, host):
    """The Linux process that runs the host's code. Under Wine it is the one whose command line
    names Quenlow.exe, not always below the launcher we started: the debug file named in its
    environment, unique to this run, tells it from others."""
    if not host.is_windows:
        return session.process.pid
    marker = str(session.debug_file).encode()
    for entry in Path("/proc").iterdir():
        try:
            if not entry.name.isdigit() or b"Quenlow.exe" not in (entry / "cmdline").read_bytes():
                continue
            if b"dbgcapture" not in (entry / "cmdline").read_bytes() and \
                    marker in (entry / "environ").read_bytes():
                return int(entry.name)
        except OSError:
            continue
    raise AssertionError("no process runs Quenlow.exe")


def readable_regions(pid):
    for line in Path(f"/proc/{pid}/maps").read_text().splitlines():
        fields = line.split()
        start, end = (int(part, 16) for part in fields[0].split("-"))
        name = fields[5] if len(fields) > 5 else ""
        if fields[1].startswith("r") and name not in ("[vvar]", "[vsyscall]", "[vvar_vclock]"):
            yield start, end


CHUNK = 16 * 1024 * 1024


def region_chunks(memory, start, end, overlap):
    """The region's bytes in chunks that overlap by `overlap`, so no match falls between two; each
    with how many of its first bytes a match may start in without being counted twice."""
    position = start
    while position < end:
        try:
            memory.seek(position)
            data = memory.read(min(CHUNK, end - position))
        except (OSError, OverflowError, ValueError):
            return  # guard pages and the like
        if not data:
            return
        last = position + len(data) >= end or len(data) <= overlap
        yield data, len(data) if last else len(data) - overlap
        if last:
            return
        position += len(data) - overlap


def copies_in_memory(pid, secret_texts):
    """How many times each text occurs in the process's memory, over every encoding."""
    patterns = {text: [text.encode(encoding) for encoding in ENCODINGS] for text in secret_texts}
    longest = max(len(pattern) for encoded in patterns.values() for pattern in encoded)
    counts = dict.fromkeys(secret_texts, 0)
    with open(f"/proc/{pid}/mem", "rb", buffering=0) as memory:
        for start, end in readable_regions(pid):
            for data, starts in region_chunks(memory, start, end, longest - 1):
                for text, encoded in patterns.items():
                    counts[text] += sum(data[:starts + len(pattern) - 1].count(pattern)
                                        for pattern in encoded)
    return counts


def credentials_both_ways(session):
    """A password saved, then carried out in the agent's reply, then one in a message the agent
    never sees."""
    saved = "Sv" + secrets.token_hex(8)
    never_seen = "Nv" + secrets.token_hex(8)
    session.send(envelope(tabID="5", type="saveCredentials",
                          payload={"host": "h.example", "username": "u", "password": saved}),
                 envelope(tabID="6", type="basicAuthentication", payload={"host": "h.example"}))
    assert session.read_frame() == quoted(
        '{"host":"h.example","password":"' + saved + '","tabID":"6",'
        '"type":"basicAuthCredentials","username":"u"}')
    closing = envelope(tabID="6", type="closeTab", payload={"password": never_seen})
    session.send(closing)
    session.wait_for_debug_line(TRACE + closing.replace(never_seen, "***"))
    return [saved, never_seen]


def password_through_the_bridge(session):
    """An XPath message relayed to the bridge, whose echo comes back through the host."""
    carried = "Xp" + secrets.token_hex(8)
    message = envelope(tabID="7", type="XPath", payload={"xpath": "//input", "password": carried})
    session.send(message)
    assert session.read_frame() == quoted(message)
    return [carried]


# Unique passwords per run, so nothing else in memory can match.
@pytest.mark.parametrize("conversation", [credentials_both_ways, password_through_the_bridge],
                         ids=["credentials", "xpath"])
def test_no_password_outlives_its_message(host, conversation):
    if host.is_sanitized:
        pytest.skip("a sanitizer's shadow memory is terabytes of mappings, and its quarantine "
                    "holds freed blocks back")
    session = Session(host, {})  # no journals: the stand-ins would write calls down
    try:
        passwords = conversation(session)
        pid = host_process(session, host)
        last = {}

        def none_left():
            last.update(copies_in_memory(pid, passwords))
            return not any(last.values())

        # The message is being handled once its answer or line is out; its copies must be gone
        # once that ends. Copies that stay fail the test when the time is up.
        assert poll_until(none_left, 10), f"copies left in the idle host: {last}"
    finally:
        session.close()


def limit_address_space():
    limit = 320 * 1024 * 1024
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


def test_a_message_that_exhausts_memory_is_dropped_alone(host):
    """A body that fits but whose wide text does not: that message goes, the next one is read."""
    if host.is_windows or host.is_sanitized:
        pytest.skip("the address-space limit is a Linux process's, and sanitizers reserve more")
    huge = '"' + "x" * (120 * 1024 * 1024) + '"'
    after = '{"tabID":"after"}'
    run = host.run(frame(huge) + frame(after), preexec_fn=limit_address_space, timeout=120)
    assert run.returncode == 0, run.stderr
    assert [line for line in run.debug_lines if line.startswith("Out of memory")] == [
        f"Out of memory; the message of {len(huge)} bytes is dropped"]
    assert TRACE + after in run.debug_lines
