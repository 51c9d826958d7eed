#!/usr/bin/env python3
"""Writes bench/RESULTS.md from the figures of one run of scripts/bench: the method, the machine,
each figure against its goal, and the micro-benchmarks. The goals are defined here."""

import datetime
import json
import os
import platform
import subprocess
import sys

FRAMES = 100_000  # in the inbound-rate input
MIB = 1024  # KiB

# Goals: each figure's limit, as a ratio to its baseline.
GOAL_RATE = 0.40  # host's inbound frames per second / the bare reader's, at least
GOAL_STARTUP = 3.0  # host's start-to-exit time / the bare reader's, at most
GOAL_ROUND_TRIP = 3.0  # host's answer time / the bare echo's, at most
GOAL_BIG_FRAME_LINUX = 9.0  # peak resident memory / 16 MiB frame, at most (4-byte wchar_t)
GOAL_BIG_FRAME_WINDOWS = 6.0  # the same for the Windows build under Wine, above the bare reader
GOAL_HOSTILE = 1.0  # peak resident memory / 16 MiB, at most, for a 0x7FFFFFFF length
GOAL_READ_ENVELOPE = 1.3  # reading the envelope into a CTabMessage / Boost.JSON's parse of it:
# a floor for a reader written as plain, portable C++, not a race

METHOD = """\
`./scripts/bench` builds the `bench` preset (Linux, Release) and, for the Windows memory figure,
the `bench-windows-x64` preset (MinGW-w64, Release, run under Wine), runs every figure below in
one go and writes this file. The host runs as a browser starts it, with the stand-in agent and
bridge beside it and `QUENLOW_DEBUG_OUTPUT`, `VARNHOLD_JOURNAL`, `HALVERN_JOURNAL` and the
log-level settings unset. Baselines, built the same way: `bench/bare_reader.c` (unbuffered binary
stdin, one `fread` for the length, one for the body, nothing done with it) and `bench/bare_echo.c`
(sends each frame straight back). `bench/bench_driver.c` starts every program the same way and
takes medians; `bench/make_inputs.py` writes the inputs.

- P1 inbound rate: 100,000 frames of a 214-byte `triggerFailed` envelope, stdin redirected from a
  file; median of 5 runs, by wall clock and by CPU time (user + system of the measured process).
- P2 start-up: start to exit with stdin at end of input (`/dev/null`); median of 31 runs.
- P3 round trip: one `documentComplete` frame, then wait for the answer frame (the stand-in
  agent's `documentCompleteAck`; the echo's copy); 20 unmeasured rounds, then 3 sessions of 500.
- P4 peak resident memory: the input fed through a pipe; VmHWM read from `/proc/<pid>/status`
  twice while the program waits for more input, and `ru_maxrss` at exit; the larger counts. The
  16 MiB frame is a valid `triggerFailed` envelope whose `triggerId` fills it; the hostile input
  is the length 0x7FFFFFFF followed by 4 MiB. Under Wine the figure is that of the Wine process
  running `Quenlow.exe`, less that of the bare reader's Windows build at rest (empty input).
- Micro-benchmarks: Google Benchmark, CPU time per call (`bench/*_bench.cpp`). The baseline of
  `ReadEnvelope` (the envelope's text to a typed `CTabMessage`, read as the handler reads every
  message: in an arena kept from one call to the next and reset, wiped, after each) is
  `ParseEnvelopeBoostJson`: Boost.JSON's `boost::json::parse` of the same envelope, as UTF-8,
  into its own tree, destroyed after each call."""


def figures(text):
    return {int(f[0]): [float(x) for x in f[1:]] for f in (l.split() for l in text.splitlines())}


def machine():
    cpu = "unknown CPU"
    try:
        for line in open("/proc/cpuinfo", encoding="utf-8"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    compiler = subprocess.run(["g++", "--version"], capture_output=True, text=True).stdout
    load = ", ".join(f"{x:.1f}" for x in os.getloadavg())
    return (f"{os.cpu_count()} cores, {cpu}, {memory:.1f} GiB, Linux {platform.release()}, "
            f"{compiler.splitlines()[0] if compiler else 'g++'}; "
            f"{datetime.date.today().isoformat()}, load average at the end {load}.")


def main():
    out, p1, p2, p3, big, hostile, win, win_rest, micro = sys.argv[1:10]
    p1, p2, p3, big, hostile = (figures(t) for t in (p1, p2, p3, big, hostile))
    rows = []

    def row(name, host, bare, ratio, goal, met):
        rows.append((name, host, bare, f"{ratio:.2f}", goal, "met" if met else "**missed**"))

    for label, k in (("wall", 0), ("CPU", 1)):
        host, bare = FRAMES / p1[0][k], FRAMES / p1[1][k]
        row(f"P1 inbound rate ({label})", f"{host:,.0f} frames/s", f"{bare:,.0f} frames/s",
            host / bare, f"≥ {GOAL_RATE:.2f}", host / bare >= GOAL_RATE)
    for label, k in (("wall", 0), ("CPU", 1)):
        host, bare = p2[0][k] / 1000, p2[1][k] / 1000
        row(f"P2 start-up, median ({label})", f"{host:.2f} ms", f"{bare:.2f} ms", host / bare,
            f"≤ {GOAL_STARTUP:.2f}", host / bare <= GOAL_STARTUP)
    host, bare = p3[0][0], p3[1][0]
    row("P3 round trip, median", f"{host:.1f} µs", f"{bare:.1f} µs", host / bare,
        f"≤ {GOAL_ROUND_TRIP:.2f}", host / bare <= GOAL_ROUND_TRIP)
    host = big[0][0] / MIB
    row("P4 peak RSS, 16 MiB frame (Linux)", f"{host:.1f} MiB", "–", host / 16,
        f"≤ {GOAL_BIG_FRAME_LINUX:.0f} × 16 MiB", host <= GOAL_BIG_FRAME_LINUX * 16)
    if win:
        host, rest = figures(win)[0][0] / MIB, figures(win_rest)[0][0] / MIB
        row("P4 peak RSS, 16 MiB frame (Windows, Wine)", f"{host:.1f} MiB",
            f"{rest:.1f} MiB at rest", (host - rest) / 16,
            f"≤ {GOAL_BIG_FRAME_WINDOWS:.0f} × 16 MiB above the baseline",
            host - rest <= GOAL_BIG_FRAME_WINDOWS * 16)
    host = hostile[0][0] / MIB
    row("P4 peak RSS, length 0x7FFFFFFF", f"{host:.1f} MiB", "–", host / 16,
        f"≤ {GOAL_HOSTILE:.0f} × 16 MiB", host <= GOAL_HOSTILE * 16)

    benchmarks = json.loads(micro).get("benchmarks", [])
    ns = {b["name"]: b["cpu_time"] * {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
          for b in benchmarks}
    if "ReadEnvelope" in ns and "ParseEnvelopeBoostJson" in ns:
        host, bare = ns["ReadEnvelope"], ns["ParseEnvelopeBoostJson"]
        row("ReadEnvelope (micro) / Boost.JSON parse", f"{host:.0f} ns", f"{bare:.0f} ns",
            host / bare, f"≤ {GOAL_READ_ENVELOPE:.2f}", host / bare <= GOAL_READ_ENVELOPE)

    lines = ["# Benchmark results", "", "Written by `./scripts/bench`; the figures are those of one "
             "run.", "", "## Method", "", METHOD, "", "## Machine", "", machine(), "",
             "## Figures", "", "| figure | host | baseline | ratio | goal | |",
             "|---|---|---|---|---|---|"]
    lines += ["| " + " | ".join(r) + " |" for r in rows]
    if benchmarks:
        lines += ["", "## Micro-benchmarks", "", "| benchmark | CPU time per call | note |",
                  "|---|---|---|"]
        for b in benchmarks:
            lines.append(f"| {b['name']} | {b['cpu_time']:.0f} {b['time_unit']} | "
                         f"{b.get('label', '')} |")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
