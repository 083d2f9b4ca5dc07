#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every C++ file in the repository is formatted as .clang-format
# says, with Debian 12's clang-format 14: another version formats some
# constructs differently, so it is refused rather than trusted.
#
# Usage: scripts/check-format.sh          list the files that need formatting (exit 1 if any)
#        scripts/check-format.sh --fix    reformat them in place
# Needs clang-format-14 (apt-get install clang-format-14); installs nothing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
readonly tool=clang-format-14
readonly wanted_major=14

fix=false
case "${1:-}" in
"") ;;
--fix) fix=true ;;
-h | --help)
  sed -n '3,9s/^# \{0,1\}//p' "$0"
  exit 0
  ;;
*)
  echo "check-format.sh: unknown argument \"$1\" (use --fix or nothing)" >&2
  exit 2
  ;;
esac
[ $# -le 1 ] || {
  echo "check-format.sh: too many arguments" >&2
  exit 2
}

if ! command -v "$tool" >/dev/null; then
  echo "check-format.sh: $tool not found; install it with: apt-get install clang-format-14" >&2
  exit 2
fi
# e.g. "Debian clang-format version 14.0.6"
version="$("$tool" --version)"
if ! [[ "$version" =~ clang-format\ version\ ${wanted_major}\.[0-9] ]]; then
  echo "check-format.sh: $tool reports \"$version\"; only clang-format ${wanted_major} is accepted" >&2
  exit 2
fi
[ -f "$root/.clang-format" ] || {
  echo "check-format.sh: $root/.clang-format is missing" >&2
  exit 2
}

cd "$root"
files=()
while IFS= read -r -d '' file; do
  files+=("$file")
done < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format.sh: git lists no C++ files in $root" >&2
  exit 2
fi

if $fix; then
  "$tool" --style=file -i -- "${files[@]}"
  echo "check-format.sh: formatted ${#files[@]} files"
  exit 0
fi

unformatted=()
for file in "${files[@]}"; do
  if ! report="$("$tool" --style=file --dry-run --Werror -- "$file" 2>&1)"; then
    # Anything but a formatting difference (a bad .clang-format, an
    # unreadable file) is an error of the check, not of the file.
    if [[ "$report" != *"-Wclang-format-violations"* ]]; then
      echo "check-format.sh: $tool failed on $file:" >&2
      echo "$report" >&2
      exit 2
    fi
    unformatted+=("$file")
  fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "check-format.sh: ${#unformatted[@]} of ${#files[@]} files need formatting (scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format.sh: all ${#files[@]} C++ files are formatted"
