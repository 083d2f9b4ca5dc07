#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs the commands the README shows in its "Serial ports" and "Scripting"
sections against the simulated projector, and compares what they print with
what the README shows, so that an example cannot go stale unnoticed.

The test follows the README as it stands. The rules:

- Code blocks are read from the two sections and their subsections. A block
  whose info string names a language other than a shell (yaml, ini, ...)
  is configuration, not commands: skipped.
- In a block with "$ " prompts, each prompt line is a command and the lines
  up to the next prompt are its output. In a block without prompts, every
  line is a command.
- A command runs only if its first word (after NAME=value assignments) is
  one of this project's programs, found in --programs; other lines (a
  crontab line starts with its schedule) are skipped. So are usage synopses
  (options or placeholders in brackets, "[--json]", "[TEXT]") and commands
  that name a host by a URL the simulator cannot stand in for (anything but
  socket://).
- The simulator stands in for every example port: device paths /dev/tty*
  become its pseudo-terminal, socket://HOST:PORT its TCP address, and COM1
  and COM2 reach it through VELNO_COM1 and VELNO_COM2. Each block gets
  fresh simulators, started with their defaults.
- Every command must succeed (exit status 0): the README shows no failures
  in these sections. A velno-control command without an option that the
  README's option table says exits starts the panel: it runs offscreen,
  must open the port, and must end with status 0 on SIGTERM.
- Shown output is compared line by line. JSON objects are compared as
  objects; values that vary from run to run (keys ending in _ms, elapsed
  times) only need the type the README shows. Output that lists serial
  ports (every shown line starts with a device path) describes the machine
  it ran on, so only its form is compared: each line a device path, then
  KEY=VALUE fields with keys the README shows.
"""

import argparse
import json
import os
import re
import shlex
import signal
import subprocess
import sys
import time

SECTIONS = ("Serial ports", "Scripting")
SHELLS = ("", "sh", "bash", "shell", "console")
EXAMPLE_DEVICE = re.compile(r"/dev/tty[A-Za-z]+[0-9]*")
EXAMPLE_SOCKET = re.compile(r"socket://\S+")
OTHER_URL = re.compile(r"\b(?!socket://)[a-z][a-z0-9+.-]*://")
SYNOPSIS = re.compile(r"\[(-|[A-Z])")
ASSIGNMENT = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*=")
DEVICE_LINE = re.compile(r"^(/dev/\S+|COM[0-9]+)")
# Generous: a reply window is at most a few seconds, but a panel built
# with the sanitizers on one loaded core has taken over 30 s to start.
RUN_LIMIT_S = 90


class Failure(Exception):
    pass


def sections(readme):
    """{title: [(line number, line)]} for each wanted "## " section, with its
    subsections."""
    found, current, fenced = {}, None, False
    for number, line in enumerate(readme.splitlines(), 1):
        fenced ^= bool(re.match(r"^\s*```", line))
        heading = not fenced and re.match(r"^(#+)\s+(.*?)\s*$", line)
        if heading and len(heading.group(1)) <= 2:
            current = heading.group(2) if heading.group(2) in SECTIONS else None
            if current:
                found[current] = []
            continue
        if current:
            found[current].append((number, line))
    return found


def code_blocks(lines):
    """[(info string, [(line number, line)])] of the fenced blocks."""
    blocks, block, info = [], None, ""
    for number, line in lines:
        fence = re.match(r"^\s*```\s*(\S*)", line)
        if fence and block is None:
            block, info = [], fence.group(1).lower()
        elif fence:
            blocks.append((info, block))
            block = None
        elif block is not None:
            block.append((number, line))
    return blocks


def commands_of(block):
    """[(line number, command, shown output or None)]."""
    if not any(line.startswith("$ ") for _, line in block):
        return [(n, line, None) for n, line in block if line.strip()]
    result = []
    for number, line in block:
        if line.startswith("$ "):
            result.append((number, line[2:], []))
        elif result:
            result[-1][2].append(line)
    return result


def exiting_options(serial_section):
    """Options the README's option table says print and exit."""
    options = set()
    for _, line in serial_section:
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) >= 2 and line.lstrip().startswith("|") and re.search(r"\bexit\b", cells[-1]):
            options.update(re.findall(r"`(--[a-z0-9-]+)", cells[0]))
    return options


class Simulators:
    """The block's simulated projectors, each started when first needed."""

    def __init__(self, simulator):
        self.simulator = simulator
        self.running = {}

    def address(self, kind):
        if kind not in self.running:
            extra = ["--listen", "127.0.0.1:0"] if kind == "socket" else []
            process = subprocess.Popen([self.simulator, "--quiet", *extra], stdout=subprocess.PIPE, text=True)
            first = process.stdout.readline().strip()
            if not first:
                process.kill()
                raise Failure(f"{self.simulator} printed no port")
            self.running[kind] = (process, first)
        return self.running[kind][1]

    def stop(self):
        for process, _ in self.running.values():
            process.terminate()
            try:
                process.wait(RUN_LIMIT_S)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.running = {}


def tcp_connections(port, inodes=None):
    """Connections on loopback whose local or (with inodes: the process's
    sockets) remote end is the simulator's TCP port, still open on the
    simulator's side (established or closing)."""
    hex_port = ":%04X" % int(port.rsplit(":", 1)[1])
    rows = []
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as f:
            rows += [row.split() for row in f.readlines()[1:]]
    if inodes is None:
        return [r for r in rows if r[1].endswith(hex_port) and r[3] in ("01", "08")]
    return [r for r in rows if r[2].endswith(hex_port) and r[3] == "01" and r[9] in inodes]


def holds_port(pid, port):
    """Whether process pid has the simulator's port open."""
    try:
        fds = [os.readlink(f"/proc/{pid}/fd/{fd}") for fd in os.listdir(f"/proc/{pid}/fd")]
    except OSError:
        return False
    if not port.startswith("socket://"):
        return port in fds
    return bool(tcp_connections(port, {fd[len("socket:["):-1] for fd in fds if fd.startswith("socket:[")}))


def wait_for(condition, what):
    deadline = time.monotonic() + RUN_LIMIT_S
    while not condition():
        if time.monotonic() > deadline:
            raise Failure(f"no {what} within {RUN_LIMIT_S} s")
        time.sleep(0.05)


def run_panel(argv, env, port):
    panel = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        wait_for(lambda: panel.poll() is not None or holds_port(panel.pid, port), "open port")
        if panel.poll() is not None:
            raise Failure(f"the panel ended ({panel.returncode}) without opening {port}: {panel.stderr.read()}")
        panel.send_signal(signal.SIGTERM)
        out, err = panel.communicate(timeout=RUN_LIMIT_S)
    finally:
        if panel.poll() is None:
            panel.kill()
            panel.wait()
    if panel.returncode != 0:
        raise Failure(f"the panel ended with status {panel.returncode} on SIGTERM: {err}")
    return out


def compare_port_listing(shown, printed):
    keys = {key for line in shown for key in re.findall(r"(\w+)=", line)}
    for line in printed:
        fields = re.split(r"\s{2,}", line.strip())
        if not DEVICE_LINE.match(fields[0]):
            raise Failure(f"not a port: {line!r}")
        for field in fields[1:]:
            key = re.match(r"(\w+)=", field)
            if not key or key.group(1) not in keys:
                raise Failure(f"field {field!r} of {line!r} is not one the README shows ({sorted(keys)})")


def compare_json(shown, printed):
    want, got = json.loads(shown), json.loads(printed)
    if sorted(want) != sorted(got):
        raise Failure(f"fields differ: README {sorted(want)}, printed {sorted(got)}")
    for key in want:
        varies = key.endswith("_ms")
        if (type(want[key]) is not type(got[key])) if varies else want[key] != got[key]:
            raise Failure(f"{key}: README {want[key]!r}, printed {got[key]!r}")


def compare(shown, printed):
    shown = [line for line in shown if line.strip()]
    printed = [line for line in printed.splitlines() if line.strip()]
    if shown and all(DEVICE_LINE.match(line) for line in shown):
        compare_port_listing(shown, printed)
        return "ports listed in the README's form"
    if len(shown) != len(printed):
        raise Failure("README shows {} line(s), the command printed {}:\n{}".format(
            len(shown), len(printed), "\n".join(printed)))
    for want, got in zip(shown, printed):
        if want.startswith("{"):
            compare_json(want, got)
        elif want != got:
            raise Failure(f"README shows {want!r}, printed {got!r}")
    return "output as shown"


def run_command(command, shown, programs, exits, sims):
    if SYNOPSIS.search(command):
        return "skipped: a usage synopsis"
    if OTHER_URL.search(command):
        return "skipped: names a host on a real network"
    try:
        tokens = list(shlex.shlex(command, posix=True, punctuation_chars=True))
    except ValueError as e:
        raise Failure(f"cannot read the command: {e}")
    first = next((t for t in tokens if not ASSIGNMENT.match(t)), "")
    if first not in programs:
        return "skipped: not a command of this project's programs"

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    env["PATH"] = os.pathsep.join([*programs.values(), env.get("PATH", "")])
    port = env["VELNO_COM1"] = env["VELNO_COM2"] = sims.address("pty")
    line = EXAMPLE_DEVICE.sub(port, command)
    if EXAMPLE_SOCKET.search(line):
        port = sims.address("socket")
        line = EXAMPLE_SOCKET.sub(port, line)
        # One client at a time: the previous command's connection must be gone.
        wait_for(lambda: not tcp_connections(port), f"end of the last connection to {port}")

    words = shlex.split(line, comments=True)
    if any(t and all(c in "|&;<>()" for c in t) for t in tokens):
        argv = ["bash", "-c", line]
    else:
        while ASSIGNMENT.match(words[0]):
            name, value = words.pop(0).split("=", 1)
            env[name] = value
        argv = words

    if argv[0] == "velno-control" and not exits.intersection(argv):
        out = run_panel(argv, env, port)
    else:
        try:
            done = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=RUN_LIMIT_S)
        except subprocess.TimeoutExpired:
            raise Failure(f"did not end within {RUN_LIMIT_S} s")
        if done.returncode != 0:
            raise Failure(f"exit status {done.returncode}: {done.stderr.strip()}")
        out = done.stdout
    if shown is not None:
        return "ran, " + compare(shown, out)
    return "ran"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--readme", required=True)
    parser.add_argument("--programs", required=True, action="append", help="a folder of built programs")
    parser.add_argument("--simulator", required=True)
    args = parser.parse_args()

    programs = {}
    for folder in args.programs:
        for name in os.listdir(folder):
            if name.startswith("velno-") and os.access(os.path.join(folder, name), os.X_OK):
                programs.setdefault(name, folder)
    with open(args.readme, encoding="utf-8") as f:
        found = sections(f.read())
    missing = [s for s in SECTIONS if s not in found]
    if missing:
        print(f"FAIL: the README has no section {missing}")
        return 1
    exits = exiting_options(found["Serial ports"])

    failures, ran = 0, 0
    for title in SECTIONS:
        for info, block in code_blocks(found[title]):
            if info not in SHELLS:
                print(f"line {block[0][0] if block else '?'}: skipped: a {info} block, configuration")
                continue
            sims = Simulators(args.simulator)
            try:
                for number, command, shown in commands_of(block):
                    try:
                        result = run_command(command, shown, programs, exits, sims)
                        ran += result.startswith("ran")
                        print(f"line {number}: {result}: {command}")
                    except Failure as e:
                        failures += 1
                        print(f"FAIL line {number}: {command}\n  {e}")
            finally:
                sims.stop()
    if ran == 0:
        print("FAIL: no command of the README ran")
        failures += 1
    print(f"{ran} command(s) ran, {failures} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
