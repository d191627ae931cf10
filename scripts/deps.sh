#!/usr/bin/env bash
# Installs the Debian packages a command needs, only those that are missing.
# Usage: scripts/deps.sh play|test|package|web|windows
set -euo pipefail

case "${1:-test}" in
  play) want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev) ;;
  test) want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev googletest libgtest-dev libbenchmark-dev
              clang libclang-rt-14-dev xvfb xdotool x11-utils
              desktop-file-utils appstream dpkg-dev file libpng-tools lintian x11-apps openbox wmctrl
              emscripten chromium python3-websocket sox nodejs npm
              g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 zip) ;;
  # scripts/package.sh: the build, cpack's DEB generator (dpkg-shlibdeps from
  # dpkg-dev finds the dependencies, and it needs file to find the programs)
  # and lintian.
  package) want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev dpkg-dev file lintian) ;;
  web)  want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev emscripten) ;;
  windows) want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev
                 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 zip) ;;
  *) echo "usage: $0 play|test|package|web|windows" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  # A nodejs that brings its own npm (and conflicts with Debian's) will do.
  [ "$p" = npm ] && command -v npm >/dev/null && continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
