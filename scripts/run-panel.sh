#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything, starts the simulated projector on a pseudo-terminal and
# runs the panel with COM1 pointing at it. Closing the panel stops the
# simulator; so does interrupting this script, which also closes the panel.
# Extra arguments go to the simulator (see --help).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELNO_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
simulator="$build/sim/velno-projector-sim"

for arg in "$@"; do
  if [ "$arg" = "--help" ] || [ "$arg" = "-h" ]; then
    echo "Usage: scripts/run-panel.sh [simulator options]"
    echo
    exec "$simulator" --help
  fi
done

fifo="$(mktemp -u)"
mkfifo "$fifo"
sim=""
panel=""
# shellcheck disable=SC2317 # runs from the EXIT trap
cleanup() {
  if [ -n "$panel" ]; then kill "$panel" 2>/dev/null || true; fi
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; fi
  rm -f "$fifo"
}
trap cleanup EXIT
# A signal ends the script through the EXIT trap, which takes both along.
trap 'exit 130' INT
trap 'exit 143' TERM HUP

"$simulator" "$@" >"$fifo" &
sim=$!
exec 3<"$fifo"
if ! read -r device <&3 || [[ "$device" != /* ]]; then
  echo "run-panel.sh: the simulated projector did not start" >&2
  exit 1
fi
echo "Simulated projector on $device"
# Keep draining what the simulator prints so it never blocks on output.
cat <&3 >/dev/null &
exec 3<&-

# In the background, so that a signal to this script is handled at once
# rather than after the panel has ended.
VELNO_COM1="$device" "$build/programs/velno-control" &
panel=$!
status=0
wait "$panel" || status=$?
panel=""
exit "$status"
