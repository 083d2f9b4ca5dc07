#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The generated bash completion, found by bash-completion's own loader as an
# installed one would be, completing the built programs.
#
# Usage: bash_completion_test.sh COMPLETIONS_DIR PROGRAM_DIR...
#   COMPLETIONS_DIR: the build's completions/ folder, laid out as installed
#   PROGRAM_DIR: folders holding the built programs (put first on the PATH)
set -uo pipefail
readonly framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "bash_completion_test: $framework missing: apt-get install bash-completion (scripts/install-deps.sh)" >&2
  exit 1
fi
completions="$1"
shift
program_dirs=("$@")
PATH="$(
  IFS=:
  echo "${program_dirs[*]}"
):$PATH"
export PATH
# The loader looks in $BASH_COMPLETION_USER_DIR/completions first.
BASH_COMPLETION_USER_DIR="$(dirname "$completions")"
[ "$(basename "$completions")" = completions ] || {
  echo "bash_completion_test: $completions is not a completions/ folder" >&2
  exit 1
}
export BASH_COMPLETION_USER_DIR
# shellcheck source=/dev/null
source "$framework"

failures=0

# What bash offers for LINE, the cursor at its end, one word a line.
offered() {
  local line=$1
  local -a words
  read -ra words <<<"$line"
  [[ $line == *" " ]] && words+=("")
  local program=${words[0]}
  complete -p "$program" >/dev/null 2>&1 || _completion_loader "$program"
  local registration function
  registration=$(complete -p "$program" 2>/dev/null) || return 1
  function=$(sed -n 's/.* -F \([^ ]*\) .*/\1/p' <<<"$registration")
  COMP_LINE=$line COMP_POINT=${#line} COMP_WORDS=("${words[@]}") COMP_CWORD=$((${#words[@]} - 1))
  COMPREPLY=()
  "$function" "$program" "${words[COMP_CWORD]}" "${words[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}"
}

# LINE, then the words it must offer ("" for none), then "only" when it
# must offer nothing else.
check() {
  local line=$1 wanted=$2 only=${3:-}
  local got
  got=$(offered "$line" | sort)
  local word
  for word in $wanted; do
    grep -qxF -- "$word" <<<"$got" || {
      echo "FAIL: '$line<TAB>' does not offer $word; offered: $(tr '\n' ' ' <<<"$got")"
      failures=$((failures + 1))
    }
  done
  if [ "$only" = only ] && [ "$got" != "$(tr ' ' '\n' <<<"$wanted" | sed '/^$/d' | sort)" ]; then
    echo "FAIL: '$line<TAB>' offers $(tr '\n' ' ' <<<"$got")but only '$wanted' was wanted"
    failures=$((failures + 1))
  fi
}

check "velno-cmd po" "power-on power-off" only
check "velno-cmd " "status lamp-time pc2 display-clear"
check "velno-cmd --" "--port --speed --json --timeout --list --watch"
check "velno-cmd --port COM2 --json st" "status" only
check "velno-cmd --watch 5 lamp-" "lamp-time lamp-mode" only
check "velno-cmd --speed " "" only
check "velno-cmd --port /dev/nul" "/dev/null" only
check "velno-cmd status " "" only
check "velno-control --" "--com1 --com2 --list-ports"
check "velno-projector-sim --fa" "--fault" only
for dir in "${program_dirs[@]}"; do
  [ -x "$dir/velno-bridge" ] && check "velno-bridge --" "--broker --projector --poll --cafile --password-file"
done

[ "$failures" -eq 0 ] || exit 1
echo "bash completion: all cases passed"
