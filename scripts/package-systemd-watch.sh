# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash disable=SC2154 # $work and $unit come from check-package.sh
# What the package's maintainer scripts ask of systemd, seen from
# scripts/check-package.sh, which sources this file (it needs $work, $unit,
# say, fail and die from there).
#
# Where systemd runs, the real one is asked afterwards. Where it does not (a
# container), the scripts would skip every systemd step: for each dpkg run,
# /run/systemd/system is made (the scripts' test for a running systemd)
# and a stand-in systemctl first on the PATH logs every call and answers
# is-enabled and is-active as systemd_set_state says. A container's
# /usr/sbin/policy-rc.d, which forbids every start and stop, is set aside
# for the run, so the scripts act as where services may run. None of this
# outlives the run, and none of it is done where /run/systemd/system
# already existed.
#
#   systemd_watch_begin              before the first dpkg run
#   systemd_watched CMD...           runs CMD (dpkg) watched
#   systemd_set_state ENABLED ACTIVE the service as an administrator left it
#                                    ("enabled"/"disabled", "active"/"inactive")
#   systemd_expect PHASE WHAT...     checks what the runs since the last
#                                    call did: reloaded, not-enabled,
#                                    not-started, recorded, restarted,
#                                    stopped, forgotten
#   systemd_summary                  one line of what was checked
#   systemd_watch_end                removes what was made (from the trap)

readonly systemd_run_dir=/run/systemd/system
readonly systemd_wants_link="/etc/systemd/system/multi-user.target.wants/$unit"
readonly systemd_policy=/usr/sbin/policy-rc.d
readonly systemd_policy_aside=/usr/sbin/policy-rc.d.set-aside-by-check-package
systemd_fake=false
systemd_made_run_dir=false
systemd_moved_policy=false
systemd_made_wants_link=false
systemd_checked=()

systemd_watch_begin() {
  local left
  left="$(systemd_traces)"
  # Else the checks that the package records and forgets the unit mean nothing.
  [ -z "$left" ] || die "$unit is still known from an earlier install: $(echo "$left" | tr '\n' ' ')"
  if [ -d "$systemd_run_dir" ]; then
    say "systemd runs here: checking the service with the real systemctl"
    return
  fi
  systemd_fake=true
  mkdir -p "$work/fake-bin"
  : >"$work/systemctl.log"
  systemd_set_state disabled inactive
  cat >"$work/fake-bin/systemctl" <<EOF
#!/bin/sh
# check-package.sh's stand-in: logs the call, answers from the state files.
printf '%s\n' "\$*" >>"$work/systemctl.log"
case " \$* " in
*" is-enabled "*)
  state=\$(cat "$work/unit-enabled")
  echo "\$state"
  [ "\$state" = enabled ] ;;
*" is-active "*)
  state=\$(cat "$work/unit-active")
  case " \$* " in *" --quiet "* | *" -q "*) ;; *) echo "\$state" ;; esac
  [ "\$state" = active ] ;;
esac
EOF
  chmod +x "$work/fake-bin/systemctl"
  say "no systemd here: a stand-in systemctl logs what the maintainer scripts ask"
}

systemd_watched() {
  if ! $systemd_fake; then
    "$@"
    return
  fi
  # A failure here must stop the check: set -e does not hold in a condition.
  mkdir "$systemd_run_dir" || die "cannot make $systemd_run_dir"
  systemd_made_run_dir=true
  if [ -e "$systemd_policy" ]; then
    mv "$systemd_policy" "$systemd_policy_aside" || die "cannot set $systemd_policy aside"
    systemd_moved_policy=true
  fi
  local status=0
  PATH="$work/fake-bin:$PATH" "$@" || status=$?
  systemd_unwatch
  return "$status"
}

systemd_set_state() {
  local enabled=$1 active=$2
  if ! $systemd_fake; then
    # Starting the real bridge needs a broker and projectors: only enabling
    # is done, and the restart is not checked.
    [ "$enabled" = enabled ] && systemctl enable "$unit" >/dev/null 2>&1
    return 0
  fi
  echo "$enabled" >"$work/unit-enabled"
  echo "$active" >"$work/unit-active"
  # The link `systemctl enable` makes, which purge must take away again.
  if [ "$enabled" = enabled ] && [ ! -e "$systemd_wants_link" ]; then
    mkdir -p "$(dirname "$systemd_wants_link")"
    ln -s "/lib/systemd/system/$unit" "$systemd_wants_link"
    systemd_made_wants_link=true
  fi
}

# The stand-in's calls naming the unit with one of the given verbs.
systemd_called() {
  grep -E "(^| )($1)( |$)" "$work/systemctl.log" | grep -qF "$unit"
}

# What deb-systemd-helper holds of the unit: its state files and links.
systemd_traces() {
  {
    grep -rlF "$unit" /var/lib/systemd/deb-systemd-helper-* 2>/dev/null || true
    find /var/lib/systemd/deb-systemd-helper-* -name "$unit*" 2>/dev/null || true
    find /etc/systemd/system -name "$unit" 2>/dev/null || true
  } | sort -u
}

systemd_expect() {
  local phase=$1 what left
  shift
  for what in "$@"; do
    case "$what" in
    recorded)
      [ -n "$(systemd_traces)" ] || fail "$phase: deb-systemd-helper recorded nothing of $unit" ;;
    forgotten)
      left="$(systemd_traces)"
      [ -z "$left" ] || fail "$phase: left of $unit: $(echo "$left" | tr '\n' ' ')" ;;
    *)
      if $systemd_fake; then
        systemd_expect_logged "$phase" "$what"
      else
        systemd_expect_real "$phase" "$what"
      fi ;;
    esac
  done
  if $systemd_fake; then
    mv "$work/systemctl.log" "$work/systemctl-$phase.log"
    : >"$work/systemctl.log"
  fi
  systemd_checked+=("$phase: $*")
}

systemd_expect_logged() {
  local phase=$1 what=$2 calls
  calls="$(tr '\n' ';' <"$work/systemctl.log")"
  case "$what" in
  reloaded)
    grep -qE '(^| )daemon-reload( |$)' "$work/systemctl.log" ||
      fail "$phase: no systemctl daemon-reload (calls: $calls)" ;;
  not-enabled)
    ! systemd_called 'enable|reenable|preset' || fail "$phase: $unit was enabled (calls: $calls)"
    [ ! -e "$systemd_wants_link" ] || fail "$phase: $systemd_wants_link was made" ;;
  not-started)
    ! systemd_called 'start|restart|try-restart|reload-or-restart' ||
      fail "$phase: $unit was started (calls: $calls)" ;;
  restarted)
    systemd_called 'restart|try-restart|reload-or-restart' ||
      { systemd_called stop && systemd_called start; } ||
      fail "$phase: the running $unit was not restarted (calls: $calls)" ;;
  stopped)
    systemd_called stop || fail "$phase: $unit was not stopped (calls: $calls)" ;;
  *) fail "systemd_expect: unknown expectation $what" ;;
  esac
}

systemd_expect_real() {
  local phase=$1 what=$2
  case "$what" in
  reloaded)
    [ "$(systemctl show -p NeedDaemonReload --value "$unit")" != yes ] ||
      fail "$phase: systemd was not reloaded after $unit changed" ;;
  not-enabled)
    ! systemctl -q is-enabled "$unit" 2>/dev/null || fail "$phase: $unit was enabled" ;;
  not-started | stopped)
    ! systemctl -q is-active "$unit" 2>/dev/null || fail "$phase: $unit runs" ;;
  restarted) say "$phase: the restart of a running bridge is checked only without systemd" ;;
  *) fail "systemd_expect: unknown expectation $what" ;;
  esac
}

systemd_summary() {
  local how="systemd"
  $systemd_fake && how="a stand-in systemctl"
  local line
  line="$(printf '%s; ' "${systemd_checked[@]}")"
  echo "${line%; } (with $how)"
}

# Puts back what systemd_watched changed.
systemd_unwatch() {
  if $systemd_made_run_dir; then
    rmdir "$systemd_run_dir" 2>/dev/null || true
    systemd_made_run_dir=false
  fi
  if $systemd_moved_policy; then
    mv "$systemd_policy_aside" "$systemd_policy"
    systemd_moved_policy=false
  fi
}

systemd_watch_end() {
  systemd_unwatch
  if $systemd_made_wants_link && [ -L "$systemd_wants_link" ]; then
    rm -f "$systemd_wants_link"
  fi
}
