#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets under fuzz/ with clang-14 (ASan and UBSan on
# everything of ours) and runs each one for a while, starting from a copy of
# its seed corpus in fuzz/corpus/<target>/.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
#   SECONDS  how long each target runs (default 30); a long run: scripts/fuzz.sh 3600
#   TARGET   only these targets (default: every one), e.g. cmd_options_fuzzer
# Build directory: build-fuzz/ in the repository (or $VELNO_FUZZ_BUILD_DIR).
# Inputs the fuzzers find go to a temporary copy of the corpus, never into
# the repository. A finding (crash, failed property, leak, sanitizer report,
# timeout) is saved as <build>/findings/<target>-crash-... ; the script then
# says which target failed and exits 1 once every target has run.
# Installs clang-14 and libclang-rt-14-dev when missing (as root, or through sudo).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELNO_FUZZ_BUILD_DIR:-$root/build-fuzz}"

seconds="${1:-30}"
[ $# -gt 0 ] && shift
case "$seconds" in
'' | *[!0-9]*)
  echo "fuzz.sh: SECONDS must be a whole number, not \"$seconds\"" >&2
  exit 2
  ;;
esac

"$root/scripts/install-deps.sh"
missing=()
for p in clang-14 libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELNO_BUILD_FUZZ=ON -DVELNO_BUILD_TESTS=OFF -DVELNO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target velno_fuzzers -j2

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$root"/fuzz/corpus/*/; do
    targets+=("$(basename "$dir")")
  done
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
findings="$build/findings"
mkdir -p "$findings"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=()
for target in "${targets[@]}"; do
  binary="$build/fuzz/$target"
  if [ ! -x "$binary" ] || [ ! -d "$root/fuzz/corpus/$target" ]; then
    echo "fuzz.sh: no fuzz target \"$target\"" >&2
    exit 2
  fi
  mkdir -p "$work/$target"
  cp -R "$root/fuzz/corpus/$target/." "$work/$target/"
  log="$build/$target.log"
  status=0
  "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" "$work/$target" >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  if [ "$status" -eq 0 ]; then
    echo "$target: ok, ${runs:-?} runs in ${seconds} s, corpus $(ls "$work/$target" | wc -l) inputs"
  else
    echo "$target: FAILED (exit $status); its log: $log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*property failed|.*runtime error|artifact_prefix|Test unit written)' "$log" |
      head -n 20 | sed 's/^/  /'
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: ${#targets[@]} targets, no findings"
