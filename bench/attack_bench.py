#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What anyone who reaches the bridge's listeners can do to it, one attack
after another, against velno-bridge with a simulated projector and a
mosquitto broker on loopback:
  web       3,000 connections, half sending nothing, half a request head
            cut short, held until the bridge closes them
  unread    a line client sending status queries and never reading
  flood     a line client sending status queries back to back, beside
            MQTT commands to the same projector
  prelogin  four PJLink sessions that never log in, each reconnecting as
            it is closed, while a controller with the right password
            tries to get in
  guessing  four connections from one address trying wrong passwords
For each: the bridge's resident memory and descriptors before, during and
after, its CPU, the API's latency meanwhile and its log lines; then the attack's own
figure, and PASS or FAIL for each goal (exit status 1 when any fails).
Run: bench/attack_bench.py --bridge build/programs/velno-bridge --sim build/sim/velno-projector-sim"""

import argparse
import hashlib
import json
import os
import queue
import resource
import select
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "faces", "web"))
from web_rig import Projector, free_port, wait_for  # noqa: E402

PASSWORD = "attack bench"
ID = "p1"


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def descriptors(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def connect(port, timeout=5):
    return socket.create_connection(("127.0.0.1", port), timeout=timeout)


def read_until_cr(sock):
    data = b""
    try:
        while not data.endswith(b"\r"):
            chunk = sock.recv(256)
            if not chunk:
                break
            data += chunk
    except OSError:
        pass
    return data


class Rig:
    """mosquitto, one simulated projector, and velno-bridge serving it on
    MQTT, the web, a shared line and PJLink with a password."""

    def __init__(self, bridge, sim, answer_ms):
        self.dir = tempfile.TemporaryDirectory()
        self.mqtt_port, self.web_port, self.line_port, self.pjlink_port = (free_port() for _ in range(4))
        conf = os.path.join(self.dir.name, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write(f"listener {self.mqtt_port} 127.0.0.1\nallow_anonymous true\n")
        self.broker = subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        # A projector that takes its time, as a real one does.
        self.projector = Projector(sim, ("--quiet", "--fault", "late", "--late-delay", str(answer_ms)))
        password = os.path.join(self.dir.name, "pjlink")
        with open(os.open(password, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write(PASSWORD + "\n")
        settings = os.path.join(self.dir.name, "bridge.conf")
        with open(settings, "w") as f:
            f.write(f"[broker]\nurl = mqtt://127.0.0.1:{self.mqtt_port}\npoll = 1\n"
                    f"[web]\nlisten = 127.0.0.1:{self.web_port}\n"
                    f"[projector {ID}]\nport = {self.projector.address}\n"
                    f"line = 127.0.0.1:{self.line_port}\npjlink = 127.0.0.1:{self.pjlink_port}\n"
                    f"pjlink-password-file = {password}\n")
        self.base = f"http://127.0.0.1:{self.web_port}"
        self.log = open(os.path.join(self.dir.name, "bridge.log"), "w+")
        self.bridge = subprocess.Popen([bridge, "--config", settings], stdout=subprocess.DEVNULL, stderr=self.log)
        wait_for(self.online, 30, "the projector online")

    def online(self):
        try:
            with urllib.request.urlopen(self.base + "/api/projectors", timeout=2) as response:
                states = json.loads(response.read())
                return bool(states) and all(p["online"] for p in states)
        except (OSError, ValueError, KeyError, TypeError):
            return False

    def log_lines(self):
        self.log.seek(0)
        return self.log.read().splitlines()

    def stop(self):
        self.bridge.terminate()
        self.bridge.wait(10)
        for process in (self.projector.process, self.broker):
            process.terminate()
            process.wait(10)
        self.log.close()
        self.dir.cleanup()


class ApiProbe(threading.Thread):
    """Asks the API for the projectors every 200 ms, timing each answer."""

    def __init__(self, base):
        super().__init__(daemon=True)
        self.base, self.times, self.stopping = base, [], threading.Event()

    def run(self):
        while not self.stopping.is_set():
            start = time.monotonic()
            try:
                with urllib.request.urlopen(self.base + "/api/projectors", timeout=5) as response:
                    response.read()
            except OSError:
                pass  # a timeout or a refusal counts as the time it took
            self.times.append((time.monotonic() - start) * 1000)
            self.stopping.wait(0.2)

    def stop(self):
        self.stopping.set()
        self.join()
        return self.times


class Attack:
    """The bridge's figures around one attack."""

    def __init__(self, rig, name):
        self.rig, self.name, self.pid = rig, name, rig.bridge.pid

    def __enter__(self):
        self.before = (rss_mb(self.pid), descriptors(self.pid))
        self.during = self.before
        self.cpu, self.start, self.logged = cpu_seconds(self.pid), time.monotonic(), len(self.rig.log_lines())
        self.probe = ApiProbe(self.rig.base)
        self.probe.start()
        return self

    def mark(self):
        """The figures now, kept as "during" when memory is at its highest."""
        now = (rss_mb(self.pid), descriptors(self.pid))
        if now[0] >= self.during[0] or self.during is self.before:
            self.during = now

    def __exit__(self, *exc):
        times = self.probe.stop()
        seconds = time.monotonic() - self.start
        self.cpu_share = (cpu_seconds(self.pid) - self.cpu) / seconds
        time.sleep(1)
        self.after = (rss_mb(self.pid), descriptors(self.pid))
        self.api_max = max(times) if times else float("inf")
        self.cost = self.during[0] - self.before[0]
        print(f"{self.name}: memory {self.before[0]:.1f} / {self.during[0]:.1f} / {self.after[0]:.1f} MB, "
              f"descriptors {self.before[1]} / {self.during[1]} / {self.after[1]} (before / during / after); "
              f"CPU {100 * self.cpu_share:.0f} % of a core over {seconds:.1f} s; "
              f"API p50 {statistics.median(times) if times else 0:.0f} ms, max {self.api_max:.0f} ms "
              f"({len(times)} asked); {len(self.rig.log_lines()) - self.logged} log lines")


results = []


def goal(what, held, figure):
    results.append(held)
    print(f"  {'PASS' if held else 'FAIL'}: {what} ({figure})")


def web_connections(rig, count):
    with Attack(rig, f"web: {count} idle and half-sent connections") as attack:
        poller, sockets = select.poll(), {}
        for i in range(count):
            s = socket.socket()
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", rig.web_port))
            sockets[s.fileno()] = s
            poller.register(s, select.POLLOUT)
        pending, deadline = set(sockets), time.monotonic() + 10
        while pending and time.monotonic() < deadline:
            for fd, _ in poller.poll(200):
                if fd in pending:
                    pending.discard(fd)
                    poller.modify(fd, select.POLLIN)
                    if fd % 2:
                        try:
                            sockets[fd].send(b"GET /api/projectors HTTP/1.1\r\nHost: 127.0.0.1\r\n")
                        except OSError:
                            pass
        opened = time.monotonic()
        time.sleep(2)
        attack.mark()
        # Each closed by the bridge, answered or not, when it reads the end.
        left, last_closed = set(sockets), None
        while left and time.monotonic() - opened < 25:
            for fd, _ in poller.poll(200):
                try:
                    data = sockets[fd].recv(4096)
                except BlockingIOError:
                    continue
                except OSError:
                    data = b""
                if not data:
                    poller.unregister(fd)
                    left.discard(fd)
                    last_closed = time.monotonic() - opened
        for s in sockets.values():
            s.close()
    goal("costs under 8 MB", attack.cost < 8, f"{attack.cost:+.1f} MB")
    goal("all closed by the bridge within 20 s", not left and last_closed < 20,
         f"{count - len(left)} of {count} closed" + (f", the last after {last_closed:.1f} s" if last_closed else ""))
    goal("the API answers within 1 s meanwhile", attack.api_max < 1000, f"max {attack.api_max:.0f} ms")


def unread_line_client(rig, seconds):
    with Attack(rig, f"unread: a line client that never reads, {seconds} s") as attack:
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", rig.line_port))
        s.setblocking(False)
        start, dropped = time.monotonic(), None
        while time.monotonic() - start < seconds and dropped is None:
            try:
                s.send(b"CR0\r" * 64)
            except BlockingIOError:
                time.sleep(0.01)
            except OSError:
                dropped = time.monotonic() - start
            attack.mark()
        s.close()
    goal("costs under 4 MB", attack.cost < 4, f"{attack.cost:+.1f} MB, " +
         (f"let go after {dropped:.1f} s" if dropped else "still connected at the end"))


class MqttCommands:
    """Commands on the projector's topic through mosquitto_pub, replies
    through mosquitto_sub, one at a time."""

    def __init__(self, rig):
        where = ["-h", "127.0.0.1", "-p", str(rig.mqtt_port)]
        self.replies = queue.Queue()
        self.sub = subprocess.Popen(["mosquitto_sub", *where, "-t", f"velno/{ID}/reply"], stdout=subprocess.PIPE,
                                    text=True)
        threading.Thread(target=lambda: [self.replies.put(line) for line in self.sub.stdout], daemon=True).start()
        self.pub = subprocess.Popen(["mosquitto_pub", *where, "-q", "1", "-t", f"velno/{ID}/command", "-l"],
                                    stdin=subprocess.PIPE, text=True)
        time.sleep(1)  # subscribed

    def command(self, number):
        self.pub.stdin.write(json.dumps({"command": "status", "id": f"attack-{number}"}) + "\n")
        self.pub.stdin.flush()
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                reply = json.loads(self.replies.get(timeout=deadline - time.monotonic()))
            except (queue.Empty, ValueError):
                continue
            if reply.get("id") == f"attack-{number}":
                return reply
        return {"error": "no reply"}

    def stop(self):
        for process in (self.pub, self.sub):
            process.terminate()
            process.wait(10)


def flooding_line_client(rig, commands):
    mqtt = MqttCommands(rig)
    stopping = threading.Event()
    sent = [0]

    def flood():
        s = connect(rig.line_port)
        s.setblocking(False)
        while not stopping.is_set():
            try:
                sent[0] += s.send(b"CR0\r" * 16) // 4
                s.recv(65536)
            except (BlockingIOError, InterruptedError):
                time.sleep(0.001)
        s.close()

    with Attack(rig, f"flood: a line client sending back to back, {commands} MQTT commands beside it") as attack:
        flooder = threading.Thread(target=flood, daemon=True)
        flooder.start()
        time.sleep(0.5)
        refused = []
        for i in range(commands):
            reply = mqtt.command(i)
            refused.append(reply.get("error", "").startswith("busy") or reply.get("error") == "no reply")
            attack.mark()
        stopping.set()
        flooder.join()
    mqtt.stop()
    share = 100 * sum(refused) / commands
    goal("MQTT refused busy under 20 % of the time", share < 20,
         f"{sum(refused)} of {commands}, {share:.0f} %; the flooder sent {sent[0]} lines")


def login(port, password, request=b"%1POWR ?\r"):
    """One try: the reply to a request with this password's digest, or what came before the close."""
    try:
        with connect(port) as s:
            greeting = read_until_cr(s)
            if not greeting.startswith(b"PJLINK 1 "):
                return greeting
            digest = hashlib.md5(greeting[9:17] + password.encode()).hexdigest().encode()
            s.sendall(digest + request)
            return read_until_cr(s)
    except OSError:
        return b""


def pre_login_sessions(rig, squatters):
    stopping = threading.Event()

    def squat():
        while not stopping.is_set():
            try:
                with connect(rig.pjlink_port) as s:
                    s.settimeout(0.5)
                    read_until_cr(s)
                    while not stopping.is_set():
                        try:
                            if not s.recv(64):
                                break
                        except socket.timeout:
                            pass
            except OSError:
                time.sleep(0.01)

    with Attack(rig, f"prelogin: {squatters} PJLink sessions that never log in, reconnecting") as attack:
        threads = [threading.Thread(target=squat, daemon=True) for _ in range(squatters)]
        for thread in threads:
            thread.start()
        time.sleep(1)
        attack.mark()
        start, served = time.monotonic(), None
        while served is None and time.monotonic() - start < 15:
            if login(rig.pjlink_port, PASSWORD).startswith(b"%1POWR="):
                served = time.monotonic() - start
            else:
                time.sleep(0.1)
        stopping.set()
        for thread in threads:
            thread.join()
    goal("a controller with the right password is served within 6 s", served is not None and served < 6,
         f"served after {served:.2f} s" if served is not None else "not served in 15 s")


def password_guessing(rig, connections, seconds):
    stopping = threading.Event()
    refused = [0]

    def guess():
        while not stopping.is_set():
            if b"ERRA" in login(rig.pjlink_port, "wrong"):
                refused[0] += 1

    with Attack(rig, f"guessing: {connections} connections from one address, {seconds} s") as attack:
        threads = [threading.Thread(target=guess, daemon=True) for _ in range(connections)]
        for thread in threads:
            thread.start()
        time.sleep(seconds)
        attack.mark()
        stopping.set()
        for thread in threads:
            thread.join()
    rate = refused[0] / seconds
    goal("under 10 password guesses a second from one address", rate < 10,
         f"{refused[0]} answered in {seconds} s, {rate:.1f} a second")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bridge", default="build/programs/velno-bridge")
    parser.add_argument("--sim", default="build/sim/velno-projector-sim")
    parser.add_argument("--web-connections", type=int, default=3000)
    parser.add_argument("--seconds", type=int, default=20, help="of the unread line client")
    parser.add_argument("--commands", type=int, default=40, help="MQTT commands beside the flood")
    parser.add_argument("--guess-seconds", type=int, default=10)
    parser.add_argument("--answer-ms", type=int, default=30, help="the projector's time to answer")
    args = parser.parse_args()
    # Our end of 3,000 connections, and the bridge's, which it inherits.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    print(f"velno-bridge {args.bridge}, a projector answering in {args.answer_ms} ms, "
          f"nproc {os.cpu_count()}, load {os.getloadavg()[0]:.2f}")
    rig = Rig(args.bridge, args.sim, args.answer_ms)
    try:
        web_connections(rig, args.web_connections)
        unread_line_client(rig, args.seconds)
        flooding_line_client(rig, args.commands)
        pre_login_sessions(rig, 4)
        password_guessing(rig, 4, args.guess_seconds)
    finally:
        rig.stop()
    print(f"{sum(results)} of {len(results)} goals met")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
