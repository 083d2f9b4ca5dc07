#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The building's page, measured in a real headless Chromium against
velno-bridge and simulated projectors on loopback, for this build and, with
--base-bridge, for another (the previous commit's) side by side in one run:
  wire    bytes a page left open sends and gets with --wire-count projectors
          (100, one silent) polled every 30 s, through a counting proxy
          (goal < 2 KB/s)
  cpu     the page's renderer processes' CPU with --load-count projectors
          (500) polled every 30 s, open and idle, as a share of one core
          (goal < 3 %)
  change  a command's line reaching a projector's wire until the page shows
          the new power state (goal < 1 s)
  load    the page with --load-count projectors until every one is shown
          (goal < 1 s)
and with --screenshots DIR, the page with --wire-count projectors at desktop
and phone width, light and dark, from this build.
Run: bench/web_bench.py build/programs/velno-bridge build/sim/velno-projector-sim \\
       --base-bridge ../main/build/programs/velno-bridge"""

import argparse
import os
import socket
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "faces", "web"))
from page_test import browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402
from web_rig import Rig, wait_for  # noqa: E402

SHOWN = "return document.querySelectorAll('[data-projector]').length"
TOKEN = "bench-token"


class CountingProxy:
    """Loopback TCP in front of the bridge, counting every byte both ways."""

    def __init__(self, port):
        self.target = port
        self.bytes = 0
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self.server.accept()
            except OSError:
                return
            upstream = socket.create_connection(("127.0.0.1", self.target))
            for a, b in ((client, upstream), (upstream, client)):
                threading.Thread(target=self._pump, args=(a, b), daemon=True).start()

    def _pump(self, source, sink):
        try:
            while data := source.recv(65536):
                self.bytes += len(data)
                sink.sendall(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def close(self):
        self.server.close()


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def renderers(driver):
    """The page's renderer processes: descendants of this driver's browser."""
    parents = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                parents[int(pid)] = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            pass
    found, todo = [], [driver.service.process.pid]
    while todo:
        parent = todo.pop()
        for pid, ppid in parents.items():
            if ppid == parent:
                todo.append(pid)
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if b"--type=renderer" in f.read():
                        found.append(pid)
    return found


def open_page(driver, base, count):
    driver.get(f"{base}/?token={TOKEN}")
    WebDriverWait(driver, 60, poll_frequency=0.01).until(lambda d: d.execute_script(SHOWN) == count)


def measure_wire_and_change(bridge, args, profile, screenshots=None):
    # One never answers: offline, as a site usually has one.
    faults = [()] * (args.wire_count - 1) + [("--fault", "silent")]
    with Rig(bridge, args.sim, args.wire_count, token=TOKEN, poll=30, faults=faults) as rig:
        rig.wait_online(180)
        proxy = CountingProxy(rig.port)
        driver = browser(profile, 1400, 1000)
        try:
            open_page(driver, f"http://127.0.0.1:{proxy.port}", args.wire_count)
            time.sleep(3)
            before, start = proxy.bytes, time.monotonic()
            time.sleep(args.seconds)
            wire = (proxy.bytes - before) / (time.monotonic() - start)
            delays = []
            for pid, projector in list(rig.projectors.items())[:args.changes]:
                rig.post(f"/api/projectors/{pid}/command", "power-on")
                wait_for(lambda: projector.received("C00"), 10, "C00 on the wire")
                on_wire = next(t for t, line in projector.lines if line == "C00")
                selector = f'[data-projector="{pid}"] [data-field="power"]'
                WebDriverWait(driver, 10, poll_frequency=0.01).until(
                    lambda d: d.find_element(By.CSS_SELECTOR, selector).text != "off")
                delays.append((time.monotonic() - on_wire) * 1000)
            if screenshots:
                take_screenshots(driver, screenshots)
        finally:
            driver.quit()
            proxy.close()
    return wire, delays


def take_screenshots(driver, folder):
    for scheme in ("light", "dark"):
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                               {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
        for name, width, height in (("desktop", 1400, 1000), ("phone", 390, 844)):
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                   {"width": width, "height": height, "deviceScaleFactor": 1,
                                    "mobile": name == "phone"})
            time.sleep(0.5)
            driver.save_screenshot(os.path.join(folder, f"web-page-{name}-{scheme}.png"))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def measure_cpu_and_load(bridge, args, profile):
    with Rig(bridge, args.sim, args.load_count, token=TOKEN, poll=30) as rig:
        rig.wait_online(240)
        driver = browser(profile)
        try:
            times = []
            for _ in range(args.repeat):
                driver.get("about:blank")
                start = time.monotonic()
                open_page(driver, rig.base, args.load_count)
                times.append((time.monotonic() - start) * 1000)
            time.sleep(3)
            pids = renderers(driver)
            before, start = sum(map(cpu_seconds, pids)), time.monotonic()
            time.sleep(args.seconds)
            cpu = (sum(map(cpu_seconds, pids)) - before) / (time.monotonic() - start)
        finally:
            driver.quit()
    return cpu, times


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bridge")
    parser.add_argument("sim")
    parser.add_argument("--base-bridge", help="the previous commit's velno-bridge, measured beside this one")
    parser.add_argument("--wire-count", type=int, default=100)
    parser.add_argument("--load-count", type=int, default=500)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--changes", type=int, default=10)
    # Two poll rounds, each a report of every projector.
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--screenshots", help="a folder for the four pictures")
    args = parser.parse_args()
    rounds = ", two poll rounds" if args.seconds >= 60 else ""
    bridges = [("this", args.bridge)] + ([("base", args.base_bridge)] if args.base_bridge else [])
    with tempfile.TemporaryDirectory() as profile:
        for label, bridge in bridges:
            wire, delays = measure_wire_and_change(bridge, args, tempfile.mkdtemp(dir=profile),
                                                   args.screenshots if label == "this" else None)
            cpu, times = measure_cpu_and_load(bridge, args, tempfile.mkdtemp(dir=profile))
            print(f"{label}: wire {wire / 1024:.2f} KB/s idle with {args.wire_count} projectors "
                  f"over {args.seconds} s{rounds} (goal < 2 KB/s)")
            print(f"{label}: cpu {cpu * 100:.2f} % of a core for the renderer idle with {args.load_count} "
                  f"projectors over {args.seconds} s{rounds} (goal < 3 %)")
            print(f"{label}: change shown in median {statistics.median(delays):.0f} ms, max {max(delays):.0f} ms "
                  f"over {len(delays)} projectors (goal < 1000 ms)")
            print(f"{label}: load of {args.load_count} projectors in median {statistics.median(times):.0f} ms, "
                  f"max {max(times):.0f} ms over {len(times)} loads (goal < 1000 ms)", flush=True)


if __name__ == "__main__":
    main()
