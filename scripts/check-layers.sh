#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the include lines of every C++ file in the repository:
#  - no folder includes a higher layer or a sibling: protocol <- session,
#    pjlink <- api, mqtt, window <- bridge <- faces/{mqtt,line,pjlink,web}
#    <- faces <- programs/common <- programs/{control,cmd,bridge};
#    sim includes none of them and none includes sim; testing may include
#    all of these and none of them includes testing (tests, bench and fuzz
#    may include anything);
#  - no include cycle, between files (of one folder or of several) or
#    between folders;
#  - no include by an absolute path or through "..", and files under
#    protocol/, session/, pjlink/, api/, mqtt/, window/, bridge/, faces/,
#    sim/ and testing/ name every header by its folder
#    ("session/port_address.h"), so that what a file may see is decided by
#    its target's include directories (cmake/public_headers.cmake), not by
#    the folder it lies in.
#
# Usage: scripts/check-layers.sh     exit 1 and name each fault, if any
# Reads the files git knows (tracked, or new and not ignored). Needs tsort.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

case "${1:-}" in
"") ;;
-h | --help)
  sed -n '3,19s/^# \{0,1\}//p' "$0"
  exit 0
  ;;
*)
  echo "check-layers.sh: unknown argument \"$1\"" >&2
  exit 2
  ;;
esac

# Layer of each library folder; a folder may include only lower layers.
# The bridge's faces are siblings: none may include another.
declare -A layer=(
  [protocol]=0
  [session]=1 [pjlink]=1
  [api]=2 [mqtt]=2 [window]=2
  [bridge]=3
  [faces/mqtt]=4 [faces/line]=4 [faces/pjlink]=4 [faces/web]=4
  [faces]=5
  [programs/common]=6
  [programs/control]=7 [programs/cmd]=7 [programs/bridge]=7
)
# Folders of libraries whose headers are included by folder.
readonly by_folder='^(protocol|session|pjlink|api|mqtt|window|bridge|faces|faces/[a-z]+|sim|testing)$'

files=()
while IFS= read -r -d '' file; do
  [ -f "$file" ] && files+=("$file")
done < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-layers.sh: git lists no C++ files in $root" >&2
  exit 2
fi

# Every folder holding C++ files, and the folders above them: where a name
# not found beside the including file may be (as "support/printers.h" in tests/).
declare -A folders=()
for file in "${files[@]}"; do
  dir="$(dirname "$file")"
  while [ "$dir" != . ]; do
    folders["$dir"]=1
    dir="$(dirname "$dir")"
  done
done

faults=()
file_edges=()
folder_edges=()

# The repository file a quoted include names, as the compiler would find it:
# beside the including file, from the root by folder, or by plain name in
# the one folder that has it. Empty for a generated or missing file.
resolve() {
  local from_dir="$1" name="$2" found=() dir
  if [ -f "$from_dir/$name" ]; then
    echo "$from_dir/$name"
    return
  fi
  if [[ "$name" == */* && -f "$name" ]]; then
    echo "$name"
    return
  fi
  for dir in "${!folders[@]}"; do
    [ -f "$dir/$name" ] && found+=("$dir/$name")
  done
  if [ ${#found[@]} -eq 1 ]; then
    echo "${found[0]}"
  elif [ ${#found[@]} -gt 1 ]; then
    echo "ambiguous"
  fi
}

# Whether a file in folder FROM may include one in folder TO.
may_include() {
  local from="$1" to="$2"
  [ "$from" = "$to" ] && return 0
  case "$from" in tests | tests/* | bench | bench/* | fuzz | fuzz/*) return 0 ;; esac
  # What tests and benchmarks share stands on the product, never the reverse.
  if [ "$from" = testing ]; then
    case "$to" in tests | tests/* | bench | bench/* | fuzz | fuzz/*) return 1 ;; esac
    return 0
  fi
  [[ "$from" == sim || "$to" == sim ]] && return 1
  [ -n "${layer[$from]+set}" ] && [ -n "${layer[$to]+set}" ] || return 1
  [ "${layer[$to]}" -lt "${layer[$from]}" ]
}

for file in "${files[@]}"; do
  dir="$(dirname "$file")"
  while IFS=: read -r line name; do
    where="$file:$line: #include \"$name\""
    if [[ "$name" == /* || "$name" == ../* || "$name" == */../* ]]; then
      faults+=("$where: a path past the include directories (absolute, or with \"..\")")
      continue
    fi
    target="$(resolve "$dir" "$name")"
    [ -n "$target" ] || continue
    if [ "$target" = ambiguous ]; then
      faults+=("$where names a file of several folders")
      continue
    fi
    to="$(dirname "$target")"
    if [[ "$dir" =~ $by_folder && "$name" != */* ]]; then
      faults+=("$where: name it by its folder (\"$to/$name\")")
    fi
    if ! may_include "$dir" "$to"; then
      faults+=("$where: $dir may not include $to (a higher layer, a sibling or the simulator)")
    fi
    [ "$target" != "$file" ] && file_edges+=("$file $target")
    [ "$to" != "$dir" ] && folder_edges+=("$dir $to")
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done

# tsort names the members of every cycle it meets on stderr.
cycles_in() {
  local kind="$1" report
  shift
  if ! report="$(printf '%s\n' "$@" | sort -u | tsort 2>&1 >/dev/null)"; then
    faults+=("include cycle between $kind:"$'\n'"$(grep -v 'input contains a loop' <<<"$report" | sed 's/^tsort: /    /')")
  fi
}
cycles_in files "${file_edges[@]}"
cycles_in folders "${folder_edges[@]}"

if [ ${#faults[@]} -gt 0 ]; then
  echo "check-layers.sh: ${#faults[@]} fault(s) in the include lines:" >&2
  printf '  %s\n' "${faults[@]}" >&2
  exit 1
fi
echo "check-layers.sh: ${#files[@]} C++ files, ${#file_edges[@]} includes: no upward include, no cycle"
