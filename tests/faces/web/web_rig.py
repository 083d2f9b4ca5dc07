# SPDX-License-Identifier: GPL-3.0-or-later
"""velno-bridge serving its page on loopback, with simulated projectors on
TCP ports as behind serial device servers: for the page's tests, its
benchmark and its screenshot."""

import json
import os
import socket
import subprocess
import tempfile
import threading
import time
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


class Projector:
    """One simulated projector; every line it receives is kept with the
    time it arrived."""

    def __init__(self, sim, fault=()):
        # A round that never reads through: nothing answered, or every question refused.
        self.silent = "silent" in fault or "refuse" in fault
        self.process = subprocess.Popen(
            [sim, "--listen", "127.0.0.1:0", "--count-down", "1000", "--cooling", "1000", *fault],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.address = self.process.stdout.readline().strip()
        self.lines = []  # (monotonic time, line)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stderr:
            if line.startswith("< "):
                self.lines.append((time.monotonic(), line[2:].rstrip("\n")))

    def received(self, line):
        return any(seen == line for _, seen in self.lines)


class Rig:
    # faults: the simulator's fault options for each projector; the rest answer as they should.
    # settings: more of the settings file (such as [group ID] sections); extra: more of the command line.
    def __init__(self, bridge, sim, count, token=None, poll=1, faults=(), settings="", extra=()):
        faults = (list(faults) + [()] * count)[:count]
        self.projectors = {f"p{i + 1:03d}": Projector(sim, faults[i]) for i in range(count)}
        self.token = token
        self.port = free_port()
        self.base = f"http://127.0.0.1:{self.port}"
        self.dir = tempfile.TemporaryDirectory()
        config = os.path.join(self.dir.name, "bridge.conf")
        with open(config, "w") as f:
            f.write(settings)
        args = [bridge, "--config", config, "--broker", f"mqtt://127.0.0.1:{free_port()}",
                "--poll", str(poll), "--web-listen", f"127.0.0.1:{self.port}", *extra]
        if token:
            path = os.path.join(self.dir.name, "token")
            with open(os.open(path, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
                f.write(token + "\n")
            args += ["--web-token-file", path]
        for pid, projector in self.projectors.items():
            args += ["--projector", f"{pid}={projector.address}"]
        self.log = open(os.path.join(self.dir.name, "bridge.log"), "w+")
        self.bridge = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=self.log)

    def get(self, path):
        request = urllib.request.Request(self.base + path)
        if self.token:
            request.add_header("Authorization", f"Bearer {self.token}")
        with urllib.request.urlopen(request, timeout=10) as response:
            return response.read()

    def post(self, path, body):
        request = urllib.request.Request(self.base + path, data=body.encode(), method="POST",
                                         headers={"Content-Type": "application/json"})
        if self.token:
            request.add_header("Authorization", f"Bearer {self.token}")
        with urllib.request.urlopen(request, timeout=30) as response:
            return json.loads(response.read())

    def projector_states(self):
        return json.loads(self.get("/api/projectors"))

    def wait_online(self, seconds=60):
        answering = sum(not p.silent for p in self.projectors.values())

        def all_online():
            try:
                states = self.projector_states()
            except OSError:
                return False
            # Online, and a first round through (every reading read).
            return sum(p["online"] and None not in p["read_at"].values() for p in states) >= answering
        wait_for(all_online, seconds, "every answering projector online")

    def signal(self, number):
        os.kill(self.bridge.pid, number)

    def log_text(self):
        self.log.seek(0)
        return self.log.read()

    def stop(self):
        self.bridge.terminate()
        try:
            self.bridge.wait(10)
        except subprocess.TimeoutExpired:
            self.bridge.kill()
        for projector in self.projectors.values():
            projector.process.terminate()
        for projector in self.projectors.values():
            projector.process.wait(10)
        self.log.close()
        self.dir.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
