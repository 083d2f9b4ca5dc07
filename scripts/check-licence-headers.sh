#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every tracked source file (C++, CMake, shell, Python) says
# "SPDX-License-Identifier: GPL-3.0-or-later" on one of its first 5 lines.
#
# Usage: scripts/check-licence-headers.sh          list the files without it (exit 1 if any)
#        scripts/check-licence-headers.sh --fix    add the line to them: first, or after a
#                                                  "#!" line, as a comment in the file's syntax
# Reads the files git tracks in the repository the script belongs to.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
readonly identifier="SPDX-License-Identifier: GPL-3.0-or-later"
readonly within_lines=5

fix=false
case "${1:-}" in
"") ;;
--fix) fix=true ;;
-h | --help)
  sed -n '3,9s/^# \{0,1\}//p' "$0"
  exit 0
  ;;
*)
  echo "check-licence-headers.sh: unknown argument \"$1\" (use --fix or nothing)" >&2
  exit 2
  ;;
esac

# How FILE comments a line: "//", "#", or nothing when it is not source.
comment_of() {
  case "$1" in
  *.cpp | *.cc | *.cxx | *.h | *.hpp | *.h.in) echo "//" ;;
  CMakeLists.txt | */CMakeLists.txt | *.cmake | *.cmake.in) echo "#" ;;
  *.sh | *.bash | *.bash.in | *.py) echo "#" ;;
  *)
    # Scripts without a suffix, known by their "#!" line.
    if head -n 1 "$1" 2>/dev/null | grep -qE '^#!.*\b(sh|bash|dash|python3?)\b'; then
      echo "#"
    fi
    ;;
  esac
}

cd "$root"
lacking=()
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue
  comment="$(comment_of "$file")"
  [ -n "$comment" ] || continue
  head -n "$within_lines" "$file" | grep -qF "$identifier" || lacking+=("$file")
done < <(git ls-files -z)

if [ ${#lacking[@]} -eq 0 ]; then
  echo "check-licence-headers.sh: every source file carries $identifier"
  exit 0
fi
if ! $fix; then
  printf '%s\n' "${lacking[@]}"
  echo "check-licence-headers.sh: ${#lacking[@]} file(s) lack \"$identifier\" (--fix adds it)" >&2
  exit 1
fi
for file in "${lacking[@]}"; do
  line="$(comment_of "$file") $identifier"
  if [ ! -s "$file" ]; then
    printf '%s\n' "$line" >"$file"
  elif head -n 1 "$file" | grep -q '^#!'; then
    sed -i "1a\\$line" "$file"
  else
    sed -i "1i\\$line" "$file"
  fi
  echo "added: $file"
done
echo "check-licence-headers.sh: added \"$identifier\" to ${#lacking[@]} file(s)"
