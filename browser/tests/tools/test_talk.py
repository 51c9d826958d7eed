"""quenlow-talk against a fake host: what it sends, how it judges frames, how a session ends."""
import json
import os
import pathlib
import shutil
import subprocess
import threading
import time

import pytest

import hostio
from hostio import frame, length_only, read_json_lines

HERE = pathlib.Path(__file__).resolve().parent
DEFAULT_ORIGIN = "chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/"


@pytest.fixture
def host(tmp_path):
    folder = tmp_path / "host folder"
    folder.mkdir()
    path = folder / "fake_host.py"
    shutil.copy(HERE / "fake_host.py", path)
    shutil.copy(hostio.__file__, folder / "hostio.py")  # the fake host's frames
    path.chmod(0o755)
    return path


class Result:
    def __init__(self, code, out, err, transcript):
        self.code, self.out, self.err = code, out, err
        self.events = read_json_lines(transcript)

    def of(self, kind):
        return [e for e in self.events if e["event"] == kind]


def talk(talk_path, tmp_path, host_command, lines=(), options=(), env=None, timeout=60,
         expect=None):
    """Runs a session that ends on an event, never on a quiet time: after `expect` frames, or,
    without it, when the host ends its output (a host that keeps running needs `expect`)."""
    transcript = tmp_path / "transcript.jsonl"
    messages = tmp_path / "messages.txt"
    messages.write_text("".join(line + "\n" for line in lines), encoding="utf-8")
    ending = ["--wait", "60"] if expect is None else ["--expect", str(expect)]
    command = [str(talk_path), "--transcript", str(transcript), "--input", str(messages),
               *ending, *options, "--", *map(str, host_command)]
    done = subprocess.run(command, capture_output=True, timeout=timeout,
                          env={**os.environ, **(env or {})})
    return Result(done.returncode, done.stdout.decode("utf-8", "replace"),
                  done.stderr.decode("utf-8", "replace"), transcript)


# ----- frames judged as a browser judges them ----------------------------------------------------

FRAME_CASES = [
    # name, chunks the host writes, verdicts, exit code, words that must be printed
    ("valid object", [frame(b'{"a":1}')], ["ok"], 0, '<- frame 1 (7 bytes): {"a":1}'),
    ("plain text", [frame(b"hello")], ["invalid-json"], 1, "a browser drops this message"),
    ("empty body", [frame(b"")], ["invalid-json"], 1, "a browser drops this message"),
    ("two values", [frame(b"{} {}")], ["invalid-json"], 1, "not valid JSON"),
    ("raw line feed in a string", [frame(b'"a\nb"')], ["invalid-json"], 1, "body: \"a\\nb\""),
    ("invalid UTF-8", [frame(b'"\xff"')], ["invalid-json"], 1, "not valid JSON"),
    ("dropped frame keeps the stream in step", [frame(b"nope") + frame(b'{"n":2}')],
     ["invalid-json", "ok"], 1, '<- frame 2 (7 bytes): {"n":2}'),
    ("frame split across writes", [frame(b'{"k":"v"}')[:2], frame(b'{"k":"v"}')[2:7],
                                   frame(b'{"k":"v"}')[7:]], ["ok"], 0, '{"k":"v"}'),
    ("body cut short", [length_only(10) + b'{"a"'], ["truncated"], 1,
     "truncated frame: the length announces 10 bytes but the output ended after 4"),
    ("length cut short", [b"\x05\x00"], ["truncated"], 1, "ended after 2 of the 4 length bytes"),
    ("huge length", [b"\xff\xff\xff\xff{}"], ["too-large"], 1, "a browser disconnects"),
    ("valid after invalid and before a cut", [frame(b"x") + frame(b"[]") + b"\x01"],
     ["invalid-json", "ok", "truncated"], 1, "<- frame 2 (2 bytes): []"),
]


@pytest.mark.parametrize("name,chunks,verdicts,code,words", FRAME_CASES,
                         ids=[c[0] for c in FRAME_CASES])
def test_frames_are_judged_as_a_browser_would(talk_path, tmp_path, host, name, chunks, verdicts,
                                              code, words):
    result = talk(talk_path, tmp_path, [host, "emit-exit", *[c.hex() for c in chunks]])
    assert [f["verdict"] for f in result.of("frame")] == verdicts
    assert words in result.out
    assert result.code == code, result.out
    assert result.of("end")[0]["exit_code"] == code


@pytest.mark.parametrize("size,verdict,code", [(1048576, "ok", 0), (1048577, "too-large", 1)])
def test_the_size_limit_is_exact(talk_path, tmp_path, host, size, verdict, code):
    result = talk(talk_path, tmp_path, [host, "big", size], expect=1)
    frames = result.of("frame")
    assert [(f["received"], f["verdict"]) for f in frames] == [(size, verdict)]
    assert result.code == code
    assert ("a browser disconnects" in result.out) == (verdict == "too-large")
    assert "more bytes" in result.out  # the printed value is shortened


def test_a_huge_body_is_counted_not_kept(talk_path, tmp_path, host):
    # Writing 17 MiB through a pipe can take seconds on a busy machine.
    result = talk(talk_path, tmp_path, [host, "big", 17 * 1024 * 1024],
                  options=["--kill-after", "30"], expect=1)
    [frame_event] = result.of("frame")
    assert frame_event["received"] == 17 * 1024 * 1024
    assert frame_event["kept"] == len(frame_event["body"]) == 16 * 1024 * 1024
    assert frame_event["verdict"] == "too-large" and frame_event["decoded"] is None
    assert result.code == 1


INNER_CASES = [
    ('"{\\"type\\":\\"x\\"}"', {"type": "x"}),
    ('"[1,2]"', [1, 2]),
    ('"plain text"', None),
    ('"42"', None),
    ('{"a":"{}"}', None),  # only a whole-string body is unwrapped
]


@pytest.mark.parametrize("body,inner", INNER_CASES, ids=[c[0] for c in INNER_CASES])
def test_json_inside_a_string_is_decoded_too(talk_path, tmp_path, host, body, inner):
    result = talk(talk_path, tmp_path,
                  [host, "emit-exit", frame(body.encode()).hex()])
    assert result.of("frame")[0]["inner"] == inner
    assert ("inner JSON: " in result.out) == (inner is not None)


# ----- what is sent ------------------------------------------------------------------------------

def test_lines_are_framed_verbatim_and_blank_and_comment_lines_skipped(talk_path, tmp_path,
                                                                       host):
    lines = ['{"type":"a","text":"caf\u00e9 \u2603"}', "  [1, 2 ,3]  ", "", "   ",
             "# step two", '"\\u00e9"', "{broken"]
    result = talk(talk_path, tmp_path, [host, "echo"], lines, expect=4)
    sent = [line for line in lines if line.strip() and not line.startswith("#")]
    assert [e["text"] for e in result.of("sent")] == sent
    assert [f["body"] for f in result.of("frame")] == sent  # echoed byte for byte
    assert [f["decoded"] for f in result.of("frame")][2] == "\u00e9"
    assert [e["valid_json"] for e in result.of("sent")] == [True, True, True, False]
    assert "# step two" in result.out
    assert "a browser never sends this" in result.out


RAW_CASES = [
    # lines, bytes the echo host must have received back as frames, exit code
    (["02 00 00 00 7b 7d"], [b"{}"], 0),
    (["0200", "0000", "5b5d"], [b"[]"], 0),  # a frame built from pieces
    (["02:00:00:00:7b:7d", "zz"], [b"{}"], 2),
    (["02 00 00 00 7b 7d", "0"], [b"{}"], 2),  # an odd digit count is refused, not guessed
]


@pytest.mark.parametrize("lines,bodies,code", RAW_CASES)
def test_raw_hex_lines_are_sent_unframed(talk_path, tmp_path, host, lines, bodies, code):
    result = talk(talk_path, tmp_path, [host, "echo"], lines, ["--raw-hex"], expect=len(bodies))
    assert [bytes.fromhex(f["body_hex"]) if "body_hex" in f else f["body"].encode()
            for f in result.of("frame")] == bodies
    assert result.code == code
    if code == 2:
        assert "skipped: not hex bytes" in result.out


# ----- how the host is started -------------------------------------------------------------------

LAUNCH_CASES = [
    ([], DEFAULT_ORIGIN),
    (["--extension-id", "abcdefghijklmnopabcdefghijklmnop"],
     "chrome-extension://abcdefghijklmnopabcdefghijklmnop/"),
    (["--no-origin"], None),
]


@pytest.mark.parametrize("options,origin", LAUNCH_CASES)
def test_the_host_starts_as_a_browser_starts_it(talk_path, tmp_path, host, options, origin,
                                                monkeypatch):
    record = tmp_path / "record.json"
    monkeypatch.chdir(tmp_path)  # a relative host path must still work
    result = talk(talk_path, tmp_path, [os.path.relpath(host), "record", record],
                  options=[*options, "--env", "FAKE_VALUE=caf\u00e9 x"], expect=0)
    seen = json.loads(record.read_text())
    expected_args = ([origin] if origin else []) + ["record", str(record)]
    assert seen["argv"] == [str(host)] + expected_args
    assert seen["cwd"] == str(host.parent)
    assert seen["value"] == "caf\u00e9 x"
    assert result.code == 0


# ----- how a session ends ------------------------------------------------------------------------

END_CASES = [
    # name, host arguments, lines, options, environment, exit code, words
    ("clean exit", ["echo"], ['{"a":1}'], ["--expect", "1"], {}, 0,
     "the host exited with status 0"),
    ("exit status", ["echo"], [], ["--expect", "0"], {"FAKE_EXIT": "3"}, 6,
     "the host exited with status 3"),
    ("ignores the end of its input", ["hang"], [], ["--expect", "0", "--kill-after", "0.1"], {},
     6,
     "did not exit within 0.1 s after its input closed; killed"),
    ("expect met", ["emit", frame(b'{"hello":1}').hex()], ['{"a":1}'],
     ["--expect", "2", "--wait", "30"], {}, 0, "2 frames received"),
    ("expect not met", ["emit-exit", frame(b'{"a":1}').hex()], [], ["--expect", "3"], {}, 4,
     "1 frame arrived, 3 expected"),
    ("gone before the input was sent", ["emit-exit"], ['{"pad":"' + "x" * 1000 + '"}'] * 300,
     [], {}, 7, "could not be sent"),
]


@pytest.mark.parametrize("name,args,lines,options,env,code,words", END_CASES,
                         ids=[c[0] for c in END_CASES])
def test_session_endings(talk_path, tmp_path, host, name, args, lines, options, env, code,
                         words):
    started = time.monotonic()
    result = talk(talk_path, tmp_path, [host, *args], lines, options, env)
    assert result.code == code, result.out
    assert words in result.out
    assert time.monotonic() - started < 15  # "expect met" must not sit out its long wait
    assert len(result.of("exit")) == 1
    assert result.of("end")[0]["exit_code"] == code


@pytest.mark.parametrize("wait,lines,frames", [(0.9, 4, 4), (0.05, 1, 0)])
def test_the_wait_restarts_with_every_frame(talk_path, tmp_path, host, wait, lines, frames):
    # The quiet time is the behaviour here. Answers come 0.3 s apart, 1.2 s in all: a 0.9 s quiet
    # time sees them all only by restarting, with 0.6 s of room for each; a 0.05 s one none.
    result = talk(talk_path, tmp_path, [host, "slow-echo", 0.3], [str(n) for n in range(lines)],
                  ["--wait", str(wait)])
    assert len([f for f in result.of("frame") if f["ms"] < result.of("closed")[0]["ms"]]) == frames


def test_stderr_is_collected_and_shown_at_the_end(talk_path, tmp_path, host):
    result = talk(talk_path, tmp_path, [host, "echo"], ['{"a":1}'], expect=1)
    block = result.out.split("--- the host's stderr ---\n")[1].split("--- end")[0]
    assert block == "fake host: echo\nGoing to exit\n"
    assert [e["text"] for e in result.of("stderr")] == ["fake host: echo", "Going to exit"]
    assert result.out.index("end of the host's stderr") < result.out.index("exited with status")


def test_a_host_that_cannot_start(talk_path, tmp_path):
    result = talk(talk_path, tmp_path, [tmp_path / "no such host"])
    assert result.code == 3
    assert "cannot start" in result.out


def test_frames_are_printed_as_they_arrive_not_after_the_input(talk_path, tmp_path, host):
    hello = frame(b'{"type":"hello"}').hex()
    talk_process = subprocess.Popen(
        [str(talk_path), "--expect", "2", "--", str(host), "emit", hello],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    seen, first_frame = [], threading.Event()

    def read():
        for line in iter(talk_process.stdout.readline, b""):
            seen.append(line)
            if b"<- frame 1" in line:
                first_frame.set()

    reader = threading.Thread(target=read)
    reader.start()
    first_frame.wait(timeout=60)  # the input is still open: only a live print can come
    assert any(b'{"type":"hello"}' in line for line in seen), "start-up frame not printed live"
    talk_process.stdin.write(b'{"a":1}\n')
    talk_process.stdin.close()
    assert talk_process.wait(timeout=20) == 0
    reader.join()
    assert b"<- frame 2 (7 bytes): {\"a\":1}\n" in seen


def test_a_terminal_gets_a_prompt_and_a_file_none(talk_path, tmp_path, host):
    import pty
    controller, terminal = pty.openpty()
    talk_process = subprocess.Popen([str(talk_path), "--expect", "1", "--", str(host), "echo"],
                                    stdin=terminal, stdout=subprocess.PIPE)
    os.close(terminal)
    os.write(controller, b'{"a":1}\n\x04')
    out, _ = talk_process.communicate(timeout=20)
    os.close(controller)
    assert talk_process.returncode == 0
    assert out.startswith(b"talk: started") and b"\n> " in out
    assert "\n> " not in talk(talk_path, tmp_path, [host, "echo"], ['{"a":1}'], expect=1).out


def test_the_timeout_ends_a_session_whose_input_never_ends(talk_path, tmp_path, host):
    started = time.monotonic()
    talk_process = subprocess.Popen(
        [str(talk_path), "--timeout", "0.2", "--", str(host), "echo"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    out, _ = talk_process.communicate(timeout=20)  # stdin stays open until then
    assert talk_process.returncode == 5
    assert b"the timeout of 0.2 s struck" in out
    assert time.monotonic() - started < 10


# ----- presentation and the command line ---------------------------------------------------------

PRINT_CASES = [
    (["--hex"], '   00000000  07 00 00 00 7b 22 61 22 3a 31 7d'),
    (["--pretty"], '<- frame 1 (7 bytes): {\n     "a": 1\n   }'),
    (["--max-print", "3"], '<- frame 1 (7 bytes): {"a... (4 more bytes)'),
]


@pytest.mark.parametrize("options,words", PRINT_CASES)
def test_print_options(talk_path, tmp_path, host, options, words):
    result = talk(talk_path, tmp_path, [host, "echo"], ['{"a":1}'], options, expect=1)
    assert words in result.out


BAD_COMMAND_LINES = [
    (["--expect", "x", "--", "h"], "--expect: not a valid value: 'x'"),
    (["--wait", "-1", "--", "h"], "--wait: not a valid value"),
    (["--env", "NOEQUALS", "--", "h"], "NAME=VALUE expected"),
    (["--extension-id", "abc", "--", "h"], "32 letters a to p expected"),
    (["--bogus", "--", "h"], "unknown option --bogus"),
    (["--input"], "--input needs a value"),
    ([], "no host given"),
]


@pytest.mark.parametrize("args,words", BAD_COMMAND_LINES)
def test_bad_command_lines(talk_path, args, words):
    done = subprocess.run([str(talk_path), *args], capture_output=True, timeout=20)
    assert done.returncode == 2
    assert words in done.stderr.decode()
