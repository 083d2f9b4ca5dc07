#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds everything into ./build (or $VELNO_BUILD_DIR).
# Installs nothing: scripts/install-deps.sh does (the run and test scripts
# call it). VELNO_WERROR=ON makes warnings in our code errors.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELNO_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELNO_WERROR="${VELNO_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)"
