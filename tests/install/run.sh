#!/usr/bin/env bash
# Install and package tests of the built game, never system-wide.
#   run.sh install <build dir> <source dir> <app id>
#     installs into a scratch prefix, checks the layout, validates the desktop
#     entry and the metainfo, and replays the recorded game from an unrelated
#     folder: every event at the tick the build folder's replay has it.
#   run.sh package <build dir> <source dir> <app id>
#     builds the .deb with cpack into a scratch folder, checks its control
#     fields, unpacks it with dpkg-deb -x and plays the same way from there.
set -euo pipefail
mode=$1 build=$2 src=$3 id=$4
tmp=$(mktemp -d /tmp/clovenfeld-$mode-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Replays the whole of game.rec from an empty folder, with the XDG folders
# pointing nowhere, so only the executable's own place can serve, and
# compares every event but the frames, tick for tick, with the same replay in
# the build folder: a game that found only part of its data (the sprites but
# not the levels) ends its levels early and fails here, not just a game that
# found nothing.
play_from_elsewhere() {
  local rec="$src/assets/recordings/game.rec"
  mkdir -p "$tmp/elsewhere" "$tmp/home"
  (cd "$build/game" && ./clovenfeld --headless --fast --replay "$rec" --events) | grep -v ' frame$' \
    >"$tmp/expected.txt" || fail "the build folder's replay failed"
  (cd "$tmp/elsewhere" &&
   env HOME="$tmp/home" XDG_DATA_HOME="$tmp/none" XDG_DATA_DIRS="$tmp/none" \
     "$1" --headless --fast --replay "$rec" --events >"$tmp/events.txt") || fail "$1 ended with status $?"
  grep -q ' infobox:All levels completed!$' "$tmp/expected.txt" || fail "the recording does not finish the game"
  grep -v ' frame$' "$tmp/events.txt" | diff -u "$tmp/expected.txt" - | head -20 >"$tmp/diff.txt" || true
  [ ! -s "$tmp/diff.txt" ] || { cat "$tmp/diff.txt"; fail "$1 played the recording differently from the build folder"; }
  [ -z "$(ls -A "$tmp/elsewhere")" ] || fail "the game wrote into the working directory"
}

# Checks the installed tree under root (prefix P, or usr/ of the package).
check_tree() {
  local root=$1
  for f in bin/clovenfeld share/clovenfeld/gfx/block.bmp share/clovenfeld/gfx/duck-r2.bmp \
           share/clovenfeld/levels/1.bmp share/clovenfeld/levels/9.bmp \
           "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
           share/man/man6/clovenfeld.6 share/doc/clovenfeld/README.md share/doc/clovenfeld/LICENSE \
           share/doc/clovenfeld/copyright; do
    [ -f "$root/$f" ] || fail "missing $f"
  done
  for n in 16 32 48 64 128 256; do
    local png="$root/share/icons/hicolor/${n}x$n/apps/$id.png"
    [ -f "$png" ] || fail "missing icon $n"
    # PNG signature, then IHDR: width and height (4 bytes each, big-endian).
    [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
    [ "$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')" = \
      "0 0 $((n >> 8)) $((n & 255)) 0 0 $((n >> 8)) $((n & 255))" ] || fail "$png is not $n x $n"
    pngfix "$png" >/dev/null || fail "$png: libpng finds a bad CRC, zlib stream or check value"
  done
  for tool in mkassets solver contact_sheet; do
    [ ! -e "$root/bin/$tool" ] || fail "tool $tool installed"
  done
  desktop-file-validate "$root/share/applications/$id.desktop" || fail "desktop entry"
  appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >"$tmp/as.txt" 2>&1 ||
    { cat "$tmp/as.txt"; fail "metainfo"; }
}

case $mode in
  install)
    cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
    check_tree "$tmp/prefix"
    play_from_elsewhere "$tmp/prefix/bin/clovenfeld"
    ;;
  package)
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/pkg" >"$tmp/cpack.txt" 2>&1 ||
      { cat "$tmp/cpack.txt"; fail "cpack"; }
    deb=$(echo "$tmp"/pkg/*.deb)
    [ -f "$deb" ] || fail "no .deb made"
    info=$(dpkg-deb -f "$deb")
    echo "$info" | grep -q '^Package: clovenfeld$' || fail "package name"
    echo "$info" | grep -q '^Section: games$' || fail "section"
    echo "$info" | grep -q '^Maintainer: .' || fail "maintainer"
    echo "$info" | grep -Eq '^Depends: (.*, )?libsdl2-2\.0-0( |,|$)' || fail "no dependency on libsdl2-2.0-0"
    ! echo "$info" | grep -Eq '^Depends:.*-dev' || fail "depends on a -dev package"
    dpkg-deb -x "$deb" "$tmp/root"
    check_tree "$tmp/root/usr"
    head -1 "$tmp/root/usr/share/doc/clovenfeld/copyright" | grep -q 'copyright-format/1.0' ||
      fail "copyright is not machine-readable"
    play_from_elsewhere "$tmp/root/usr/bin/clovenfeld"
    ;;
  *) fail "usage: $0 install|package <build dir> <source dir> <app id>" ;;
esac
echo "$mode test passed"
