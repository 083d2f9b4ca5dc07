#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders velno-control.svg to the PNG sizes desktops look up in the hicolor
# theme. Rerun after changing the drawing and commit the results.
# Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source="$here/velno-control.svg"
sizes=(16 22 24 32 48 64 128 256)

if ! command -v rsvg-convert >/dev/null; then
  echo "render.sh: rsvg-convert not found (apt-get install librsvg2-bin)" >&2
  exit 1
fi

for n in "${sizes[@]}"; do
  dir="$here/hicolor/${n}x${n}/apps"
  mkdir -p "$dir"
  rsvg-convert --width "$n" --height "$n" --keep-aspect-ratio --format png \
    --output "$dir/velno-control.png" "$source"
  echo "$dir/velno-control.png"
done
