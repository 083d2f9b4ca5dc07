#!/usr/bin/env bash
# Builds everything, starts the simulated projector on a pseudo-terminal and
# runs the panel with COM1 pointing at it. Closing the panel stops the
# simulator. Extra arguments go to the simulator (see its --help).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELNO_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"

fifo="$(mktemp -u)"
mkfifo "$fifo"
"$build/sim/velno-projector-sim" "$@" >"$fifo" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; rm -f "$fifo"' EXIT
exec 3<"$fifo"
read -r device <&3
echo "Simulated projector on $device"
# Keep draining what the simulator prints so it never blocks on output.
cat <&3 >/dev/null &

VELNO_COM1="$device" "$build/velno-control"
