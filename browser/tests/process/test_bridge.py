"""The design-tool bridge seen from outside: XPath messages reach the stand-in bridge whole, its
echoes come back as frames, the host works on without the bridge library, and its answer to
hostInfo tells how far the bridge has got."""

import json
import os
import re
import shutil
import subprocess
import time

import pytest

from hostio import agent_calls, frame, parse_frames_prefix, read_json_lines, read_lines
from hostrun import feed_until, wait_until


def xpath_envelope(text):
    return json.dumps({"tabID": "3", "type": "XPath",
                       "payload": {"xpath": text, "password": "pw"}}, ensure_ascii=False)


def end_of_input(process):
    """Closes the host's standard input and waits for its end: the exit code and the seconds the
    end took."""
    closed = time.monotonic()
    process.stdin.close()
    returncode = process.wait(timeout=60)
    return returncode, time.monotonic() - closed


def bridge_ready(path):
    """The loader publishes the bridge before it starts it, so a journaled CreateThreadBroker means
    relays reach the bridge from now on."""
    return lambda: any(c["call"] == "CreateThreadBroker" for c in read_json_lines(path))


def bridge_env(host, tmp_path):
    path = tmp_path / "bridge.jsonl"
    return path, {"HALVERN_JOURNAL": host.native_path(path), "VARNHOLD_LOG_LEVEL": "1"}


def test_xpath_reaches_the_bridge_whole_and_its_echo_comes_back(host, tmp_path):
    path, env = bridge_env(host, tmp_path)
    first = xpath_envelope("//div[@title='Zürich €']")
    second = xpath_envelope("//a[2]")
    run = host.run_expecting(frame(first) + frame(second), frames=2, env=env,
                             ready=bridge_ready(path))
    assert run.returncode == 0

    calls = read_json_lines(path)
    assert calls[0] == {"call": "GetInstance", "args": []}
    assert {"call": "CreateThreadBroker", "args": ["Quenlow", "Quenlow"]} in calls
    sends = [c["args"] for c in calls if c["call"] == "SendMessageToKestrova"]
    assert sends == [[first, 1], [second, 2]]
    # Each echo is one frame whose JSON string is the text, byte for byte.
    assert sorted(json.loads(body) for body in run.frames) == sorted([first, second])


def test_relay_trace_hides_the_payload_while_the_bridge_gets_it(host, tmp_path):
    path, env = bridge_env(host, tmp_path)
    text = xpath_envelope("//input")
    run = host.run_expecting(frame(text), frames=1, env=env, ready=bridge_ready(path))
    index = run.debug_lines.index("XPath received at Broker side")
    assert run.debug_lines[index + 1] == text.replace('"//input"', '"***"').replace('"pw"', '"***"')
    assert '"pw"' not in "\n".join(run.debug_lines)
    assert [c["args"][0] for c in read_json_lines(path)
            if c["call"] == "SendMessageToKestrova"] == [text]


@pytest.mark.parametrize("kind", ["xpath", "XPATH", "XPath ", "XPathX", " XPath"])
def test_near_misses_of_the_type_are_not_relayed(host, tmp_path, kind):
    path, env = bridge_env(host, tmp_path)
    text = json.dumps({"tabID": "3", "type": kind})
    run = host.run(frame(text), env=env)
    assert run.returncode == 0
    assert "Process Message and Message Type:Message: " + text in run.debug_lines
    assert "XPath received at Broker side" not in run.debug_lines
    assert [c for c in read_json_lines(path) if c["call"] == "SendMessageToKestrova"] == []


def host_copy(host, tmp_path, bridge=None):
    """A copy of the built host whose folder holds `bridge` (a file name in the build folder) under
    the bridge library's own name, or no bridge at all."""
    folder = tmp_path / "copy"
    folder.mkdir()
    for item in host.bin_dir.iterdir():
        if "alvern" not in item.name and item.is_file():
            shutil.copy2(item, folder / item.name)
    if bridge is not None:
        shutil.copy2(host.bin_dir / bridge,
                     folder / ("Halvern.dll" if host.is_windows else "libHalvern.so"))
    return folder / host.exe().name


DOCUMENT = json.dumps({"tabID": "5", "type": "documentComplete",
                       "payload": {"url": "https://a.example/", "bTopLvlDoc": "true"}})


DROPPED = "XPath message dropped: "


def test_host_without_the_bridge_library_serves_everything_else(host, tmp_path):
    # Sent at once: the relay waits for the loader's verdict, which comes long before the bound.
    run = host.run_expecting(frame(xpath_envelope("//p")) + frame(DOCUMENT), frames=1,
                             env={"VARNHOLD_LOG_LEVEL": "1"}, exe=host_copy(host, tmp_path))
    assert run.returncode == 0
    failures = [line for line in run.debug_lines if line.startswith("Halvern LoadLibrary failed: ")]
    assert failures == ["Halvern LoadLibrary failed: 126"]
    assert [line for line in run.debug_lines if line.startswith(DROPPED)] == \
        [DROPPED + "the bridge library could not be loaded"]
    assert [json.loads(json.loads(body))["type"] for body in run.frames] == ["documentCompleteAck"]


@pytest.mark.parametrize("missing, calls", [
    ("GetInstance", []),
    ("CreateThreadBroker", ["GetInstance"]),
    ("SendMessageToKestrova", ["GetInstance"]),
])
def test_bridge_lacking_an_entry_point_is_not_used(host, tmp_path, missing, calls):
    path, env = bridge_env(host, tmp_path)
    name = f"Halvern-without-{missing}.dll" if host.is_windows else \
        f"libHalvern-without-{missing}.so"
    line = f"Halvern GetProcAddress failed for {missing}: 127; the bridge is not used"
    run = host.run_expecting(frame(xpath_envelope("//p")) + frame(DOCUMENT), frames=1, env=env,
                             exe=host_copy(host, tmp_path, bridge=name))
    assert run.returncode == 0
    assert [l for l in run.debug_lines if l.startswith("Halvern ")] == [line]
    assert "XPath received at Broker side" in run.debug_lines
    assert [line for line in run.debug_lines if line.startswith(DROPPED)] == \
        [DROPPED + "the bridge library lacks an entry point"]
    assert [c["call"] for c in read_json_lines(path)] == calls
    assert [json.loads(json.loads(body))["type"] for body in run.frames] == ["documentCompleteAck"]


def test_an_xpath_message_sent_at_start_up_reaches_every_fresh_host(host, tmp_path):
    """The extension posts right after connecting, while the bridge is still loading."""
    echoed = 0
    for number in range(20):
        text = xpath_envelope(f"//li[{number}]")
        run = host.run_expecting(frame(text), frames=1, env={"VARNHOLD_LOG_LEVEL": "1"},
                                 timeout=30)
        assert run.returncode == 0
        echoed += [json.loads(body) for body in run.frames] == [text]
    assert echoed == 20


def load_wait_seconds(debug_lines):
    """The bound the host waited for the loader, as its drop line states it."""
    (line,) = [line for line in debug_lines if line.startswith(DROPPED)]
    match = re.fullmatch(DROPPED + r"the bridge was not loaded within ([0-9]+) ms", line)
    assert match, line
    return int(match.group(1)) / 1000


@pytest.mark.parametrize("relayed", [True, False],
                         ids=["comes-up-in-time", "slower-than-the-bound"])
def test_a_slow_bridge_is_waited_for_up_to_the_bound(host, tmp_path, relayed):
    """A bridge that is slow to come up gets the XPath message sent before it was ready; one that
    is slower than the bound costs the messages behind it that long, and no more."""
    path, env = bridge_env(host, tmp_path)
    gate = tmp_path / "gate"  # the slow bridge comes up once this file exists
    env["HALVERN_LOAD_GATE"] = host.native_path(gate)
    name = "Halvern-slow.dll" if host.is_windows else "libHalvern-slow.so"
    process, debug_file = host.start(env=env, exe=host_copy(host, tmp_path, bridge=name))
    sent = time.monotonic()
    arrival = {}

    def answered(out):
        if any(b"documentCompleteAck" in body for body in parse_frames_prefix(out)):
            arrival.setdefault("reply", time.monotonic())
        return len(parse_frames_prefix(out)) >= (2 if relayed else 1)

    text = xpath_envelope("//p")
    process.stdin.write(frame(text) + frame(DOCUMENT))
    process.stdin.flush()
    if relayed:
        # The relay is waiting for the loader once this line is out: the bridge comes up now.
        wait_until(lambda: "XPath received at Broker side" in read_lines(debug_file), 60)
        gate.touch()
    stdout, _ = feed_until(process, b"", answered, 90)
    assert process.returncode == 0
    debug_lines = read_lines(debug_file)
    sends = [c["args"][0] for c in read_json_lines(path) if c["call"] == "SendMessageToKestrova"]
    if relayed:
        assert sends == [text]
        assert not [line for line in debug_lines if line.startswith(DROPPED)]
        return
    bound = load_wait_seconds(debug_lines)
    assert sends == []
    # The document waited behind the XPath message for the whole bound, then was served; the
    # bridge itself never came up.
    waited = arrival["reply"] - sent
    assert bound <= waited < bound + (20 if host.is_windows or host.is_sanitized else 5), waited


def test_exits_promptly_while_echoes_wait_for_a_reader(host, tmp_path):
    """The browser stopped reading, so the bridge's echoes fill the pipe and their writer blocks
    holding the output lock. The end of input still ends the process, with code 0, at once."""
    path, env = bridge_env(host, tmp_path)
    process, _ = host.start(env=env)  # its output is never read
    try:
        wait_until(bridge_ready(path), 60)
        process.stdin.write(frame(xpath_envelope("x" * 500000)) * 4)
        process.stdin.flush()
        wait_until(lambda: sum(c["call"] == "SendMessageToKestrova"
                               for c in read_json_lines(path)) == 4, 60)
        returncode, elapsed = end_of_input(process)
    finally:
        process.kill()
    assert returncode == 0
    # The exit deadline (1.5 s) ends it; without one it would never end. The margin is for a
    # loaded machine, Wine's own process teardown and a sanitizer's exit.
    assert elapsed < (15.0 if host.is_windows or host.is_sanitized else 6.0), elapsed


def test_frames_from_bridge_agent_and_monitor_never_interleave(host, tmp_path):
    path, env = bridge_env(host, tmp_path)
    env["VARNHOLD_LOG_LEVEL"] = "4"
    count = 150
    data = b"".join(
        frame(xpath_envelope(f"//li[{i}]")) +
        frame(json.dumps({"tabID": str(i), "type": "documentComplete",
                          "payload": {"url": f"https://a.example/{i}", "bTopLvlDoc": "false"}}))
        for i in range(count))
    run = host.run_expecting(data, frames=2 * count + 1, env=env, timeout=120,
                             ready=bridge_ready(path))
    assert run.returncode == 0
    bodies = [json.loads(body) for body in run.frames]  # strict: every byte belongs to a frame
    assert len(bodies) == 2 * count + 1
    kinds = sorted(json.loads(text).get("type") for text in bodies)
    assert kinds.count("XPath") == count
    assert kinds.count("documentCompleteAck") == count
    assert kinds.count("updateLogLevel") == 1


@pytest.fixture(scope="module")
def own_wine_prefix(target, tmp_path_factory):
    """The environment for a Wine prefix of this module's own (nothing on Linux): tests that plant
    libraries must not leave them where other tests' hosts look."""
    if target[1] != "windows":
        yield {}
        return
    prefix = tmp_path_factory.mktemp("wineprefix")
    yield {"WINEPREFIX": str(prefix)}
    subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": str(prefix)},
                   check=False)


@pytest.mark.parametrize("beside", [False, True], ids=["planted-elsewhere", "beside-the-host"])
def test_bridge_is_loaded_from_the_hosts_own_folder_only(host, tmp_path, own_wine_prefix, beside):
    """A bridge planted in the current folder and on the library search path is never loaded; the
    same bridge beside the host is."""
    path, env = bridge_env(host, tmp_path)
    env.update(own_wine_prefix)
    name = "Halvern.dll" if host.is_windows else "libHalvern.so"
    exe = host_copy(host, tmp_path, bridge=name if beside else None)
    current, on_path = tmp_path / "current", tmp_path / "on-path"
    for folder in (current, on_path):
        folder.mkdir()
        shutil.copy2(host.bin_dir / name, folder / name)
    env["WINEPATH" if host.is_windows else "LD_LIBRARY_PATH"] = host.native_path(on_path)
    run = host.run_expecting(frame(DOCUMENT), frames=1, env=env, exe=exe, cwd=current,
                             ready=bridge_ready(path) if beside else None,
                             ready_line=None if beside else "Halvern LoadLibrary failed: ")
    assert run.returncode == 0
    assert [json.loads(json.loads(body))["type"] for body in run.frames] == ["documentCompleteAck"]
    failures = [line for line in run.debug_lines if line.startswith("Halvern LoadLibrary failed: ")]
    assert failures == ([] if beside else ["Halvern LoadLibrary failed: 126"])
    calls = [c["call"] for c in read_json_lines(path)]
    assert calls[:1] == (["GetInstance"] if beside else [])


def test_a_library_stuck_in_its_end_code_does_not_keep_the_host_alive(host, tmp_path):
    """A static destructor of the bridge that never returns: the host still ends with code 0, within
    the exit deadline. Linux runs the libraries' end code under the deadline."""
    if host.is_windows:
        pytest.skip("Windows ends every other thread before the libraries' detach code runs, so "
                    "no deadline inside the process can bound it; that code must still run")
    path, env = bridge_env(host, tmp_path)
    name = "Halvern-stuck-at-end.dll" if host.is_windows else "libHalvern-stuck-at-end.so"
    process, _ = host.start(env=env, exe=host_copy(host, tmp_path, bridge=name))
    try:
        wait_until(bridge_ready(path), 60)
        returncode, elapsed = end_of_input(process)
    finally:
        process.kill()
    assert returncode == 0
    assert ("StuckAtEnd" in [c["call"] for c in read_json_lines(path)]) == (not host.is_windows)
    # The deadline is 1.5 s; Wine's own process teardown and a sanitizer's exit add to it.
    assert elapsed < (10.0 if host.is_windows or host.is_sanitized else 5.0), elapsed


@pytest.mark.parametrize("bridge, state", [
    ("Halvern", "ready"),
    ("Halvern-slow", "loading"),
    (None, "unavailable"),
])
def test_host_info_is_the_hosts_own_answer_with_the_bridges_state(host, tmp_path, built_as,
                                                                  bridge, state):
    """Asked first thing, whatever the bridge is doing; the request identifier on it makes no
    answer for the agent, and nothing reaches the design tool."""
    path, env = bridge_env(host, tmp_path)
    agent_journal = tmp_path / "agent.jsonl"
    env.update({"VARNHOLD_JOURNAL": host.native_path(agent_journal),
                "HALVERN_LOAD_GATE": host.native_path(tmp_path / "never-opened")})
    library = None if bridge is None else (f"{bridge}.dll" if host.is_windows else
                                           f"lib{bridge}.so")
    ask = json.dumps({"tabID": "1", "type": "hostInfo", "requestID": "r-1",
                      "payload": {"k": "v"}})
    run = host.run_expecting(frame(ask), frames=1, env=env,
                             exe=host_copy(host, tmp_path, bridge=library),
                             ready=bridge_ready(path) if state == "ready" else None,
                             ready_line="Halvern LoadLibrary failed: " if bridge is None else None)
    assert run.returncode == 0
    answer = {"bridge": state, "name": built_as["name"], "protocol": 1, "type": "hostInfo",
              "version": built_as["version"]}
    assert run.frames == [json.dumps(json.dumps(answer, separators=(",", ":"), sort_keys=True))
                          .encode()]
    assert "Process Message and Message Type:Message: " + ask.replace('"v"', '"***"') \
        in run.debug_lines
    assert agent_calls(agent_journal) == []
    assert [c for c in read_json_lines(path) if c["call"] == "SendMessageToKestrova"] == []
