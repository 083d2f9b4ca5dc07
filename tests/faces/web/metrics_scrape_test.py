#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""/metrics as Prometheus takes it: promtool accepts the text, and a real
Prometheus on loopback scrapes the bridge and answers queries about it."""

import json
import os
import subprocess
import sys
import tempfile
import urllib.parse
import urllib.request

from web_rig import Rig, free_port, wait_for


def query(base, expression):
    url = f"{base}/api/v1/query?" + urllib.parse.urlencode({"query": expression})
    try:
        with urllib.request.urlopen(url, timeout=5) as response:
            return json.load(response)["data"]["result"]
    except OSError:
        return []


def main(bridge, sim):
    with Rig(bridge, sim, 2, token="scrape-token") as rig, tempfile.TemporaryDirectory() as work:
        rig.wait_online()
        check = subprocess.run(["promtool", "check", "metrics"], input=rig.get("/metrics"),
                               capture_output=True, timeout=30)
        assert check.returncode == 0, check.stdout + check.stderr

        with open(os.path.join(work, "token"), "w") as f:
            f.write("scrape-token")
        with open(os.path.join(work, "prometheus.yml"), "w") as f:
            f.write(f"""global:
  scrape_interval: 1s
scrape_configs:
  - job_name: velno
    authorization:
      credentials_file: {work}/token
    static_configs:
      - targets: ['127.0.0.1:{rig.port}']
""")
        port = free_port()
        base = f"http://127.0.0.1:{port}"
        with open(os.path.join(work, "prometheus.log"), "w") as log:
            prometheus = subprocess.Popen(
                ["prometheus", f"--config.file={work}/prometheus.yml", f"--storage.tsdb.path={work}/data",
                 f"--web.listen-address=127.0.0.1:{port}"], stdout=log, stderr=log)
            try:
                wait_for(lambda: any(r["value"][1] == "1" for r in query(base, 'up{job="velno"}')), 60,
                         "Prometheus to scrape the bridge")
                wait_for(lambda: len(query(base, "velno_projector_online == 1")) == 2, 30,
                         "both projectors online in Prometheus")
                temperatures = query(base, 'velno_projector_temperature_celsius{projector="p001"}')
                assert len(temperatures) == 3, temperatures
            finally:
                prometheus.terminate()
                prometheus.wait(15)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
