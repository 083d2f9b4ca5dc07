#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer, and runs every test under them, headless.
#
# Usage: scripts/sanitize.sh [CMAKE-ARGUMENTS...]
#   e.g. scripts/sanitize.sh -DVELNO_BUILD_BENCH=OFF
# Build directory: build-sanitize/ in the repository (or $VELNO_SANITIZE_BUILD_DIR).
# Any sanitizer report fails the test that triggers it. To run a program of
# that build by hand under the same rules:
#   eval "$(scripts/sanitize.sh --print-env)"; build-sanitize/programs/velno-cmd --list
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELNO_SANITIZE_BUILD_DIR:-$root/build-sanitize}"

# Leaks are looked for at exit; the suppressions cover only leaks inside Qt
# and system libraries, never our code.
sanitizer_env() {
  cat <<EOF
export ASAN_OPTIONS='detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1'
export LSAN_OPTIONS='suppressions=$root/scripts/lsan.supp:print_suppressions=0'
export UBSAN_OPTIONS='print_stacktrace=1:halt_on_error=1'
EOF
}
if [ "${1:-}" = "--print-env" ]; then
  sanitizer_env
  exit 0
fi

"$root/scripts/install-deps.sh"
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" "$@" >/dev/null
cmake --build "$build" -j2

eval "$(sanitizer_env)"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
if ! grep -q '^VELNO_BUILD_TESTS:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "sanitize.sh: built without tests (VELNO_BUILD_TESTS=OFF); nothing to run"
  exit 0
fi
cd "$build"
# Sanitized code runs a few times slower: more time per test than run-tests.sh gives.
ctest --output-on-failure --timeout 900 -j2
