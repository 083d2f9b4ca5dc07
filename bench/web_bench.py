#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The building's page, measured in a real headless Chromium against
velno-bridge and simulated projectors on loopback:
  load    the page with --load-count projectors (500) until every one is shown
  change  a command's line reaching a projector's wire until the page shows
          the new power state (with --count projectors, 50)
  cpu     the bridge's CPU time with 10 pages open, against the same time
          with none, as a share of one core
and with --screenshot FILE, a picture of the page with --count projectors.
Run: bench/web_bench.py build/programs/velno-bridge build/sim/velno-projector-sim"""

import argparse
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
from page_test import browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402
from web_rig import Rig, wait_for  # noqa: E402

SHOWN = "return document.querySelectorAll('[data-projector]').length"
# The mix of the venue benchmark's fleet: most answer at once, some in pieces
# or late (within the reply window, or past it), two not at all.
VENUE_FAULTS = ([("--fault", "split", "--piece-size", "2", "--piece-gap", "10")] * 4 +
                [("--fault", "late", "--late-delay", "250")] * 3 +
                [("--fault", "late", "--late-delay", "900")] * 3 +
                [("--fault", "silent")] * 2)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def bridge_cpu_share(rig, seconds):
    before = cpu_seconds(rig.bridge.pid)
    time.sleep(seconds)
    return (cpu_seconds(rig.bridge.pid) - before) / seconds


def measure_load(args, profile):
    with Rig(args.bridge, args.sim, args.load_count, poll=30) as rig:
        rig.wait_online(180)
        driver = browser(profile)
        try:
            times = []
            for _ in range(args.repeat):
                driver.get("about:blank")
                start = time.monotonic()
                driver.get(rig.base + "/")
                WebDriverWait(driver, 30, poll_frequency=0.01).until(
                    lambda d: d.execute_script(SHOWN) == args.load_count)
                times.append((time.monotonic() - start) * 1000)
        finally:
            driver.quit()
    print(f"load: {args.load_count} projectors shown in median {statistics.median(times):.0f} ms, "
          f"max {max(times):.0f} ms over {len(times)} loads (goal < 1000 ms)")


def measure_change_and_cpu(args, profile):
    with Rig(args.bridge, args.sim, args.count, poll=5, faults=[()] * max(0, args.count - len(VENUE_FAULTS)) + VENUE_FAULTS) as rig:
        rig.wait_online(120)
        driver = browser(profile, 1400, 1000)
        try:
            driver.get(rig.base + "/")
            WebDriverWait(driver, 30).until(lambda d: d.execute_script(SHOWN) == args.count)
            delays = []
            for pid, projector in list(rig.projectors.items())[:args.changes]:
                rig.post(f"/api/projectors/{pid}/command", "power-on")
                wait_for(lambda: projector.received("C00"), 10, "C00 on the wire")
                on_wire = next(t for t, line in projector.lines if line == "C00")
                selector = f'[data-projector="{pid}"] [data-field="power"]'
                WebDriverWait(driver, 10, poll_frequency=0.01).until(
                    lambda d: d.find_element(By.CSS_SELECTOR, selector).text != "off")
                delays.append((time.monotonic() - on_wire) * 1000)
            if args.screenshot:
                time.sleep(2)
                driver.set_window_size(1400, 2000)
                driver.execute_script("document.body.style.zoom = '0.7'")
                time.sleep(1.5)
                driver.save_screenshot(args.screenshot)
            print(f"change: a power-on on the wire shown on the page in median {statistics.median(delays):.0f} ms, "
                  f"max {max(delays):.0f} ms over {len(delays)} projectors (goal < 2000 ms)")
        finally:
            driver.quit()

        idle = bridge_cpu_share(rig, args.seconds)
        drivers = [browser(tempfile.mkdtemp(dir=profile)) for _ in range(args.browsers)]
        try:
            for d in drivers:
                d.get(rig.base + "/")
            time.sleep(3)
            busy = bridge_cpu_share(rig, args.seconds)
        finally:
            for d in drivers:
                d.quit()
        print(f"cpu: the bridge with {args.count} projectors used {idle * 100:.2f} % of a core with no page open, "
              f"{busy * 100:.2f} % with {args.browsers} pages refreshing every second: the web server adds "
              f"{(busy - idle) * 100:.2f} % (goal < 5 %), over {args.seconds} s each")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bridge")
    parser.add_argument("sim")
    parser.add_argument("--count", type=int, default=50)
    parser.add_argument("--load-count", type=int, default=500)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--changes", type=int, default=10)
    parser.add_argument("--browsers", type=int, default=10)
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as profile:
        measure_change_and_cpu(args, profile)
        measure_load(args, profile)


if __name__ == "__main__":
    main()
