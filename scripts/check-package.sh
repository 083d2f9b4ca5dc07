#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package with scripts/build-package.sh and checks it the
# way an operator meets it: what it holds, that lintian finds no error and no
# warning in it, that its desktop entry and metainfo validate, that it
# installs, that the programs, man pages and bash completion are found once
# installed, that installing it again (an upgrade) keeps the configuration,
# and that purging it takes the programs away. Around each dpkg run it
# watches what the maintainer scripts ask of systemd: the bridge's service
# is reloaded, neither enabled nor started on a fresh install, restarted
# after an upgrade when it runs, stopped on removal and forgotten on purge.
# Where systemd does not run (a container), a stand-in systemctl logs the
# calls and answers as the test sets the service's state.
# Runs as root (it installs the package with dpkg) and never leaves the
# package installed, whatever happens.
#
# Usage: scripts/check-package.sh [OUTDIR | PACKAGE.deb]
set -euo pipefail

readonly package=velno-control
readonly programs=(velno-control velno-cmd velno-projector-sim velno-bridge)
readonly unit=velno-bridge.service
readonly icon_sizes=(16 22 24 32 48 64 128 256)
# How long a program may take to print its version or list; generous, since
# a program that ignores the option may sit waiting on a port or a window.
readonly run_limit=20

say() { echo "check-package.sh: $*"; }
die() {
  echo "check-package.sh: FAILED: $*" >&2
  exit 1
}

failures=()
fail() {
  failures+=("$*")
  echo "check-package.sh: FAIL: $*" >&2
}

# shellcheck source=scripts/package-systemd-watch.sh
. "$(dirname "$0")/package-systemd-watch.sh"

if [ $# -gt 1 ] || [ "${1:-}" = "--help" ] || [ "${1:-}" = "-h" ]; then
  echo "Usage: scripts/check-package.sh [OUTDIR | PACKAGE.deb]" >&2
  echo "Builds the package into OUTDIR (a temporary directory when none is given) and checks it;" >&2
  echo "given a .deb, checks that one as it is." >&2
  [ $# -eq 1 ] && exit 0
  exit 2
fi
[ "$(id -u)" -eq 0 ] || die "must run as root: it installs and removes the package with dpkg"

needed=(dpkg-deb:dpkg dpkg-buildpackage:dpkg-dev dh:debhelper desktop-file-validate:desktop-file-utils
  appstreamcli:appstream man:man-db timeout:coreutils lintian:lintian deb-systemd-helper:init-system-helpers)
missing_tools=()
for pair in "${needed[@]}"; do
  command -v "${pair%%:*}" >/dev/null || missing_tools+=("${pair%%:*} (apt-get install ${pair#*:})")
done
[ ${#missing_tools[@]} -eq 0 ] || die "missing tools: ${missing_tools[*]}"

installed_status() { dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true; }
is_present() {
  local status
  status="$(installed_status)"
  [ -n "$status" ] && [ "$status" != "not-installed" ] && [ "$status" != "config-files" ]
}
# Removing a copy that someone installed on purpose is not this script's call.
if is_present; then
  die "$package is already installed ($(installed_status)); remove it first: dpkg -r $package"
fi

work="$(mktemp -d)"
we_installed=false
cleanup() {
  local status=$?
  systemd_watch_end
  if $we_installed && is_present; then
    say "removing $package after an early stop"
    dpkg -P "$package" >/dev/null 2>&1 || dpkg --purge --force-depends "$package" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# 1. Build the package, or take the one given.
case "${1:-}" in
*.deb)
  deb="$(cd "$(dirname "$1")" 2>/dev/null && pwd)/$(basename "$1")"
  [ -f "$deb" ] || die "no such package: $1"
  ;;
*)
  outdir="${1:-$work/out}"
  say "building the package into $outdir with scripts/build-package.sh"
  deb="$("$(dirname "$0")/build-package.sh" "$outdir" | tail -n 1)" || die "scripts/build-package.sh failed"
  ;;
esac
version="$(dpkg-deb -f "$deb" Version)"
depends="$(dpkg-deb -f "$deb" Depends)"
say "checking $deb (version $version)"

# 2. What the package holds.
# A link's line ends in " -> TARGET".
dpkg-deb -c "$deb" | sed 's/ -> .*//' | awk '{ print $NF }' | sed 's|^\./|/|' >"$work/contents"
expected=()
for p in "${programs[@]}"; do expected+=("/usr/bin/$p"); done
expected+=(/usr/share/applications/velno-control.desktop
  /usr/share/icons/hicolor/scalable/apps/velno-control.svg
  /usr/share/metainfo/io.github.velno.control.metainfo.xml
  "/usr/share/doc/$package/copyright" "/usr/share/doc/$package/changelog.gz")
for p in "${programs[@]}"; do expected+=("/usr/share/bash-completion/completions/$p"); done
expected+=("/lib/systemd/system/$unit" /etc/velno/bridge.conf)
for n in "${icon_sizes[@]}"; do expected+=("/usr/share/icons/hicolor/${n}x${n}/apps/velno-control.png"); done
absent=()
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/contents" || absent+=("$path")
done
for p in "${programs[@]}"; do
  grep -qxF "/usr/share/man/man1/$p.1.gz" "$work/contents" || absent+=("/usr/share/man/man1/$p.1.gz")
done
if [ ${#absent[@]} -gt 0 ]; then
  fail "the package lacks: ${absent[*]}"
fi
case "$depends" in
*fonts-ipafont-gothic*) ;;
*) fail "Depends lacks fonts-ipafont-gothic: $depends" ;;
esac
case "$depends" in
*libc6*) ;;
*) fail "Depends has no computed library dependencies (dpkg-shlibdeps did not run): $depends" ;;
esac
linked=(libqt6widgets6 libqt6serialport6 libmosquitto1)
for lib in "${linked[@]}"; do
  case "$depends" in
  *"$lib"*) ;;
  *) fail "Depends lacks $lib, which the programs link: $depends" ;;
  esac
done

# 3. Debian's own checks, as before an upload: any error or warning fails.
#    Any override must carry a comment saying why.
say "running lintian on $deb"
lintian_status=0
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
# It warns of running as root, which this script must.
grep -v 'running with root privileges' "$work/lintian.log" >"$work/lintian.tags" || true
if [ "$lintian_status" -ne 0 ]; then
  cat "$work/lintian.tags" >&2
  fail "lintian: $(grep -cE '^[EW]: ' "$work/lintian.tags" || true) error(s) and warning(s) (status $lintian_status)"
fi

# 4. The installed metadata validates, with the version filled in.
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
grep -qxF /etc/velno/bridge.conf "$work/control/conffiles" 2>/dev/null ||
  fail "/etc/velno/bridge.conf is not a conffile: an upgrade would overwrite a technician's settings"
desktop="$work/root/usr/share/applications/velno-control.desktop"
metainfo="$work/root/usr/share/metainfo/io.github.velno.control.metainfo.xml"
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 ||
    fail "desktop-file-validate: $(tr '\n' ' ' <"$work/desktop.log")"
fi
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" >"$work/metainfo.log" 2>&1 ||
    fail "appstreamcli validate: $(tr '\n' ' ' <"$work/metainfo.log")"
  grep -qF "<release version=\"$version\"" "$metainfo" ||
    fail "the metainfo has no release for version $version"
fi
unfilled="$(grep -rlF '@VELNO_VERSION@' "$work/root/usr/share" 2>/dev/null || true)"
[ -z "$unfilled" ] || fail "templates left unfilled: ${unfilled//$work\/root/}"
changelog="$work/root/usr/share/doc/$package/changelog.gz"
if [ -f "$changelog" ]; then
  top="$(gzip -dc "$changelog" | head -n 1)"
  [[ "$top" == "$package ($version) "* ]] || fail "the changelog's top entry is not version $version: $top"
fi

# 5. Install it. The service stays as it was: disabled and stopped.
install_deb() {
  local log=$1
  if ! systemd_watched dpkg -i "$deb" >"$log" 2>&1; then
    if grep -q "dependency problems" "$log"; then
      say "dependencies missing; trying apt-get -f install"
      DEBIAN_FRONTEND=noninteractive systemd_watched apt-get -f install -y -qq >>"$log" 2>&1 || true
    fi
    if [ "$(installed_status)" != "installed" ]; then
      cat "$log" >&2
      die "dpkg -i $deb did not leave $package installed"
    fi
  fi
}
say "installing with dpkg -i"
systemd_watch_begin
we_installed=true
install_deb "$work/dpkg.log"
systemd_expect "install" reloaded not-enabled not-started recorded

# 6. The installed programs, from the PATH. COM1 points nowhere, so neither
#    run can reach a real serial device; neither should need one.
hash -r
run_installed() {
  local name=$1
  shift
  local where
  where="$(command -v "$name" || true)"
  if [ "$where" != "/usr/bin/$name" ]; then
    fail "$name is not found on the PATH at /usr/bin/$name (found: ${where:-nothing})"
    return 1
  fi
  local status=0
  (cd / && QT_QPA_PLATFORM=offscreen VELNO_COM1="$work/no-such-port" \
    timeout --kill-after=5 "$run_limit" "$name" "$@") >"$work/$name.out" 2>&1 || status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    fail "$name $* did not finish within $run_limit s"
  elif [ "$status" -ne 0 ]; then
    fail "$name $* exited with status $status: $(head -c 400 "$work/$name.out" | tr '\n' ' ')"
  else
    return 0
  fi
  return 1
}
if run_installed velno-control --version; then
  grep -qF "$version" "$work/velno-control.out" ||
    fail "velno-control --version does not print $version: $(head -c 200 "$work/velno-control.out")"
fi
if run_installed velno-cmd --list; then
  grep -qw "power-on" "$work/velno-cmd.out" ||
    fail "velno-cmd --list does not list power-on: $(head -c 200 "$work/velno-cmd.out")"
fi
if run_installed velno-bridge --version; then
  grep -qF "$version" "$work/velno-bridge.out" ||
    fail "velno-bridge --version does not print $version: $(head -c 200 "$work/velno-bridge.out")"
fi
# The example configuration reads, once a broker and a projector are given.
run_installed velno-bridge --config /etc/velno/bridge.conf --broker mqtt://localhost \
  --projector hall=/dev/ttyUSB0 --check-config || true
# The service unit as systemd will read it, the program it starts included.
if command -v systemd-analyze >/dev/null; then
  # It warns of a setting it ignores and still exits 0: any word from it is a failure.
  systemd-analyze verify "/lib/systemd/system/$unit" >"$work/verify.log" 2>&1 || true
  [ ! -s "$work/verify.log" ] ||
    fail "systemd-analyze verify $unit: $(tr '\n' ' ' <"$work/verify.log")"
else
  fail "systemd-analyze is missing (apt-get install systemd): the service unit cannot be checked"
fi
for p in "${programs[@]}"; do
  page="$(man -w "$p" 2>/dev/null || true)"
  case "$page" in
  /usr/share/man/man1/"$p".1*) ;;
  *) fail "man -w $p finds ${page:-no page}, not the installed one" ;;
  esac
done

# 7. The installed bash completion, found by bash-completion's loader by
#    each program's name; velno-cmd completes its command names.
readonly framework=/usr/share/bash-completion/bash_completion
if [ -r "$framework" ]; then
  for p in "${programs[@]}"; do
    # A private HOME, so no completion of the user's own is found first.
    # The loader returns 124, "load done, complete again", on purpose.
    (cd / && HOME="$work" bash -c '. "$1"; _completion_loader "$2"; complete -p "$2"' _ "$framework" "$p") \
      >/dev/null 2>&1 || fail "bash-completion does not load a completion for $p"
  done
  offered="$(cd / && HOME="$work" bash -c '. "$1"; _completion_loader velno-cmd
    COMP_WORDS=(velno-cmd po) COMP_CWORD=1 COMP_LINE="velno-cmd po" COMP_POINT=12 &&
    $(complete -p velno-cmd | sed -n "s/.* -F \([^ ]*\) .*/\1/p") velno-cmd po velno-cmd &&
    echo "${COMPREPLY[*]}"' _ "$framework" 2>&1 || true)"
  [[ " $offered " == *" power-on "* ]] || fail "velno-cmd po<TAB> does not offer power-on: $offered"
else
  fail "$framework is missing (apt-get install bash-completion): the completion cannot be checked"
fi

# 8. Install the same package again, as an upgrade, with the bridge enabled
#    and running: it is restarted, and a technician's settings stay.
say "upgrading with dpkg -i (the same version again), the service enabled and running"
readonly settings_mark="# check-package.sh: a technician's line"
echo "$settings_mark" >>/etc/velno/bridge.conf
systemd_set_state enabled active
install_deb "$work/dpkg-upgrade.log"
systemd_expect "upgrade" reloaded restarted
grep -qxF "$settings_mark" /etc/velno/bridge.conf ||
  fail "the upgrade replaced the changed /etc/velno/bridge.conf"

# 9. Remove it, configuration included; the service is stopped first and
#    every trace of it goes; the programs go with it.
say "purging with dpkg -P, the service running"
if ! systemd_watched dpkg -P "$package" >"$work/dpkg-r.log" 2>&1; then
  cat "$work/dpkg-r.log" >&2
  die "dpkg -P $package failed"
fi
we_installed=false
systemd_expect "purge" reloaded stopped forgotten
[ ! -e /etc/velno/bridge.conf ] || fail "/etc/velno/bridge.conf is still there after dpkg -P"
is_present && fail "$package is still registered after dpkg -P ($(installed_status))"
hash -r
for p in "${programs[@]}"; do
  if [ -e "/usr/bin/$p" ] || command -v "$p" >/dev/null; then
    fail "$p is still there after dpkg -P: $(command -v "$p" || echo "/usr/bin/$p")"
  fi
done

if [ ${#failures[@]} -gt 0 ]; then
  echo >&2
  echo "check-package.sh: ${#failures[@]} check(s) failed:" >&2
  printf '  - %s\n' "${failures[@]}" >&2
  exit 1
fi

echo
echo "Package:   $deb$([ -z "${1:-}" ] && echo " (removed with the scratch directory: give OUTDIR to keep it)")"
echo "Version:   $version"
echo "Size:      $(du -h "$deb" | cut -f1)"
echo "Depends:   $depends"
echo "Contents:  ${#expected[@]} checked files and ${#programs[@]} man pages present"
echo "Lintian:   no error, no warning"
echo "Checked:   desktop entry and metainfo validate; installs; velno-control --version,"
echo "           velno-cmd --list, velno-bridge --version and man -w run from the PATH;"
echo "           bash completion loads for each program; the service unit verifies;"
echo "           an upgrade keeps the changed bridge.conf; dpkg -P removes the programs"
echo "Service:   $(systemd_summary)"
echo "check-package.sh: all checks passed"
