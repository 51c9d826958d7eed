#!/usr/bin/python3
"""A native-messaging host for testing the browser side. What it does is chosen by the arguments
after the origin:
  echo                 answer every frame with the same body
  emit HEX [HEX...]    write these bytes, each once the reader has taken the one before, then echo
  emit-exit HEX...     write these bytes, then exit at once
  big N                write one frame whose body is a JSON string of exactly N bytes, then echo
  record FILE          write argv, cwd and FAKE_VALUE to FILE as JSON, then echo
  hang                 echo, but keep running after the input ends
  slow-echo SECONDS    echo, each answer after this delay
Environment: FAKE_EXIT = the exit status at the end (default 0)."""
import fcntl
import json
import os
import sys
import termios
import time

from hostio import frame, read_frame  # copied beside this script

out = sys.stdout.buffer


def write(data):
    out.write(data)
    out.flush()


def taken_by_the_reader():
    """Waits until the reader has read every byte written so far, so that what comes next arrives
    in a read of its own (or, from a reader that stopped reading, for ten seconds)."""
    deadline = time.monotonic() + 10
    while fcntl.ioctl(out.fileno(), termios.FIONREAD, b"\0\0\0\0") != b"\0\0\0\0" and \
            time.monotonic() < deadline:
        time.sleep(0.001)


def echo(delay=0.0):
    while (body := read_frame(sys.stdin.buffer)) is not None:
        time.sleep(delay)
        write(frame(body))


def main():
    args = sys.argv[1:]
    if args and args[0].startswith("chrome-extension://"):
        args = args[1:]
    mode, rest = args[0], args[1:]
    sys.stderr.write(f"fake host: {mode}\n")
    if mode in ("emit", "emit-exit"):
        for i, chunk in enumerate(rest):
            if i:
                taken_by_the_reader()
            write(bytes.fromhex(chunk))
        if mode == "emit-exit":
            return
    elif mode == "big":
        size = int(rest[0])
        write(frame(b'"' + b"a" * (size - 2) + b'"'))
    elif mode == "record":
        with open(rest[0], "w") as f:
            json.dump({"argv": sys.argv, "cwd": os.getcwd(),
                       "value": os.environ.get("FAKE_VALUE")}, f)
    echo(float(rest[0]) if mode == "slow-echo" else 0.0)
    if mode == "hang":
        time.sleep(60)
    sys.stderr.write("Going to exit\n")


main()
sys.exit(int(os.environ.get("FAKE_EXIT", "0")))
