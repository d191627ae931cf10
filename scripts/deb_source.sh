#!/usr/bin/env bash
# Unpacks Debian's source package NAME, from this release's main suite, into
# DEST (replaced whole), for the builds that compile a library from Debian's
# own sources (cmake/minizip.cmake: minizip for Windows and the browser, zlib
# for the browser).  apt needs a deb-src line for it: scripts/deps.sh adds one.
# Usage: scripts/deb_source.sh NAME DEST
set -euo pipefail
name=${1:?usage: deb_source.sh NAME DEST}
dest=${2:?usage: deb_source.sh NAME DEST}
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?no release codename in /etc/os-release}")

work=$(mktemp -d "${TMPDIR:-/tmp}/deb-source.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The main suite's version: the security archive's sources may not be served.
# Their output only when they fail (apt warns that root downloads unsandboxed,
# dpkg-source that it has no key for the maintainer's signature: the files'
# hashes are checked against apt's signed index all the same).
(cd "$work" && apt-get source --download-only -qq "$name/$codename" >"$work/log" 2>&1) || {
  cat "$work/log" >&2
  echo "deb_source.sh: apt-get source $name/$codename failed (is there a deb-src line? bash scripts/deps.sh test adds one)" >&2
  exit 1
}
dpkg-source -x "$work"/"$name"_*.dsc "$work/src" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
rm -rf "$dest"
mkdir -p "$(dirname "$dest")"
mv "$work/src" "$dest"
