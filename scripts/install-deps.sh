#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building, running, testing and packaging the panel needs on
# Debian 12. Packages already present are left alone; nothing runs when all
# are there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev libxcb1-dev
  chromium chromium-driver python3-selenium prometheus # their tests: a browser, promtool, a scraper
  libgtest-dev
  libmosquitto-dev mosquitto mosquitto-clients
  python3-serial # cmd_bench's pyserial script, and the shared line's test clients
  fonts-ipafont-gothic
  xvfb xauth xdotool x11-utils
  clang-format-14 dpkg-dev debhelper desktop-file-utils appstream man-db lintian bash-completion systemd
  python3
)
# The PJLink client and axe-core (the page's accessibility check) the tests
# install from npm need Node.js and npm: Debian's,
# unless a Node.js that brings its own npm is installed already (Debian's
# npm would not install beside it).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
