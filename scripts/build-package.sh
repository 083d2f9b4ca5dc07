#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package with dpkg-buildpackage from the work tree as it
# stands (committed files and uncommitted changes; ignored files such as
# build directories left out), in a temporary copy, so the tree stays as it
# was. debian/changelog, which dpkg-buildpackage needs, is written into the
# copy from CHANGELOG.md, the one changelog. Prints the .deb's path last.
#
# Usage: scripts/build-package.sh OUTDIR
# Needs the build dependencies of debian/control (scripts/install-deps.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

say() { echo "build-package.sh: $*" >&2; }
die() {
  echo "build-package.sh: FAILED: $*" >&2
  exit 1
}

if [ $# -ne 1 ] || [ "$1" = "--help" ] || [ "$1" = "-h" ]; then
  echo "Usage: scripts/build-package.sh OUTDIR" >&2
  echo "Builds velno-control's .deb into OUTDIR (made when missing) and prints its path." >&2
  [ $# -eq 1 ] && exit 0
  exit 2
fi
mkdir -p "$1"
outdir="$(cd "$1" && pwd)"

for tool in git cmake dpkg-buildpackage dpkg-checkbuilddeps; do
  command -v "$tool" >/dev/null || die "$tool is missing: run scripts/install-deps.sh"
done

# The fields the changelog's entries carry, each read from its one place.
field() { sed -n "s/^$1: *//p" "$root/debian/control" | head -n 1; }
package="$(field Source)"
maintainer="$(field Maintainer)"
version="$(sed -n 's/^project([A-Za-z_]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$package" ] && [ -n "$maintainer" ] || die "debian/control lacks Source: or Maintainer:"
[ -n "$version" ] || die "no VERSION in CMakeLists.txt's project()"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
# dpkg-buildpackage leaves its products beside the source directory.
source_dir="$stage/$package-$version"
mkdir "$source_dir"
# Files deleted but not yet committed are listed and no longer there.
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' path; do
    if [ -e "$path" ] || [ -L "$path" ]; then printf '%s\0' "$path"; fi
  done | tar --null --no-recursion -T - -cf -) | tar -xf - -C "$source_dir"

cmake "-DCHANGELOG=$source_dir/CHANGELOG.md" "-DVERSION=$version" "-DPACKAGE=$package" \
  "-DMAINTAINER=$maintainer" "-DOUT=$source_dir/debian/changelog" \
  -P "$source_dir/packaging/cmake/debian_changelog.cmake" >&2

say "building $package $version in $source_dir"
(cd "$source_dir" && dpkg-buildpackage -b -us -uc -J"$(nproc)") >"$stage/build.log" 2>&1 || {
  tail -n 40 "$stage/build.log" >&2
  die "dpkg-buildpackage failed (the last lines of its log are above)"
}

debs=("$stage"/"${package}_${version}"_*.deb)
[ -f "${debs[0]}" ] && [ ${#debs[@]} -eq 1 ] || die "dpkg-buildpackage made no single ${package}_${version}_*.deb"
deb="$outdir/$(basename "${debs[0]}")"
mv -f "${debs[0]}" "$deb"
echo "$deb"
