#!/usr/bin/env bash
# Installs the Debian packages a command needs, only those that are missing.
# The Windows and browser builds compile minizip (and the browser zlib) from
# Debian's source packages (cmake/minizip.cmake), so for them apt also gets a
# deb-src line for this release's main suite, in a file of its own, when it
# has none.
# Usage: scripts/deps.sh play|test|package|web|windows
set -euo pipefail

mode=${1:-test}
case "$mode" in
  play) want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev libminizip-dev) ;;
  test) want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev libminizip-dev googletest libgtest-dev libbenchmark-dev
              clang libclang-rt-14-dev xvfb xdotool x11-utils
              desktop-file-utils appstream dpkg-dev file libpng-tools lintian x11-apps openbox wmctrl
              emscripten chromium python3-websocket sox nodejs npm
              g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 zip) ;;
  # scripts/package.sh: the build, cpack's DEB generator (dpkg-shlibdeps from
  # dpkg-dev finds the dependencies, and it needs file to find the programs)
  # and lintian.
  package) want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev libminizip-dev dpkg-dev file lintian) ;;
  web)  want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev libminizip-dev emscripten dpkg-dev) ;;
  windows) want=(g++ cmake make pkg-config libsdl2-dev zlib1g-dev libminizip-dev dpkg-dev
                 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 zip) ;;
  *) echo "usage: $0 play|test|package|web|windows" >&2; exit 2 ;;
esac

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=0
case "$mode" in
  test|web|windows)
    if ! apt-cache showsrc minizip 2>/dev/null | grep -q '^Package: minizip'; then
      codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
      # The archive apt already takes this release's binary packages from.
      uri=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' |
            awk -v s="$codename" '$2 == s && $3 == "main" { print $1; exit }')
      [ -n "$uri" ] || { echo "deps.sh: no archive for $codename main in apt's sources" >&2; exit 1; }
      echo "Adding a deb-src line for $codename main (/etc/apt/sources.list.d/clovenfeld-deb-src.sources)"
      printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$uri" "$codename" | $sudo tee /etc/apt/sources.list.d/clovenfeld-deb-src.sources >/dev/null
      $sudo apt-get update -qq
      updated=1
    fi ;;
esac

missing=()
for p in "${want[@]}"; do
  # A nodejs that brings its own npm (and conflicts with Debian's) will do.
  [ "$p" = npm ] && command -v npm >/dev/null && continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
[ "$updated" -eq 1 ] || $sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
