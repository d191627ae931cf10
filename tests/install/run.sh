#!/usr/bin/env bash
# Install and package tests of the built game, never system-wide.
#   run.sh install <build dir> <source dir> <app id>
#     installs into a scratch prefix (bin/ and share/clovenfeld), checks the
#     layout, validates the desktop entry and the metainfo, checks that README's
#     "What's new" is CHANGELOG.md's newest release, and replays the recorded
#     game from an unrelated folder: every event at the tick the build
#     folder's replay has it.
#   run.sh package <build dir> <source dir> <app id>
#     builds the .deb with cpack into a scratch folder, checks its control
#     fields, runs lintian (when installed: any error or warning fails, the
#     notes are printed), packs it again into a second folder and compares the
#     two byte for byte, unpacks it with dpkg-deb -x, checks Debian's layout for
#     games (/usr/games, /usr/share/games/clovenfeld) and plays the same way
#     from there.
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

# Checks the installed tree under root (prefix P, or usr/ of the package);
# bin and data are the program's and the data's folders under it.
check_tree() {
  local root=$1 bin=$2 data=$3
  for f in "$bin/clovenfeld" "$data/gfx/block.bmp" "$data/gfx/duck-r2.bmp" "$data/levels/1.bmp" \
           "$data/levels/9.bmp" "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
           share/man/man6/clovenfeld.6.gz share/doc/clovenfeld/README.md share/doc/clovenfeld/copyright \
           share/doc/clovenfeld/changelog.gz; do
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
    # Compressed: 16 x 16 pixels repeated by whole numbers take a few kilobytes
    # at most (stored uncompressed the 256 px icon is 262 KB).
    [ "$(stat -c %s "$png")" -le 4096 ] || fail "$png is $(stat -c %s "$png") bytes: not compressed"
  done
  # gzip -n: no file name and no time in the header (flags byte 0, time 0).
  for gz in share/man/man6/clovenfeld.6.gz share/doc/clovenfeld/changelog.gz; do
    gzip -t "$root/$gz" || fail "$gz is not a gzip file"
    [ "$(od -An -tx1 -j3 -N5 "$root/$gz" | tr -d ' \n')" = 0000000000 ] || fail "$gz keeps a name or a time"
  done
  zcat "$root/share/man/man6/clovenfeld.6.gz" | cmp -s - "$src/assets/install/clovenfeld.6" ||
    fail "the manual page is not assets/install/clovenfeld.6"
  # The changelog's newest entry is this version, and it and the metainfo list
  # every release of CHANGELOG.md.
  zcat "$root/share/doc/clovenfeld/changelog.gz" | head -1 |
    grep -qx "clovenfeld ($version) unstable; urgency=medium" || fail "changelog does not start with $version"
  local releases
  releases=$(grep -c '^## [0-9]' "$src/CHANGELOG.md")
  [ "$(zcat "$root/share/doc/clovenfeld/changelog.gz" | grep -c '^clovenfeld (')" = "$releases" ] ||
    fail "the changelog does not hold the $releases releases of CHANGELOG.md"
  [ "$(grep -c '<release version=' "$root/share/metainfo/$id.metainfo.xml")" = "$releases" ] ||
    fail "the metainfo does not hold the $releases releases of CHANGELOG.md"
  for tool in mkassets solver contact_sheet; do
    [ ! -e "$root/$bin/$tool" ] || fail "tool $tool installed"
  done
  desktop-file-validate "$root/share/applications/$id.desktop" || fail "desktop entry"
  appstreamcli validate --pedantic --no-net "$root/share/metainfo/$id.metainfo.xml" >"$tmp/as.txt" 2>&1 ||
    { cat "$tmp/as.txt"; fail "metainfo"; }
  grep -q "<release version=\"$version\"" "$root/share/metainfo/$id.metainfo.xml" || fail "metainfo has no release $version"
}

# CHANGELOG.md's newest release, its heading and points, as README's "What's
# new" must copy it.
whats_new() {
  awk '/^## [0-9]/ { n++ } n == 1 && /^(## |- )/' "$1"
}

# The project's version, from the build's CPack configuration.
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || fail "no CPACK_PACKAGE_VERSION in $build/CPackConfig.cmake"

case $mode in
  install)
    cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
    check_tree "$tmp/prefix" bin share/clovenfeld
    [ -f "$tmp/prefix/share/doc/clovenfeld/LICENSE" ] || fail "missing LICENSE"
    [ ! -e "$tmp/prefix/games" ] || fail "the plain install made games/"
    [ "$(awk '/^## What.s new/ { on = 1; next } /^## / { on = 0 } on && /^(### |- )/' "$src/README.md" |
         sed 's/^### /## /')" = "$(whats_new "$src/CHANGELOG.md")" ] ||
      fail "README's \"What's new\" is not CHANGELOG.md's newest release"
    play_from_elsewhere "$tmp/prefix/bin/clovenfeld"
    ;;
  package)
    # Packed twice a second apart, as a packager would: cpack takes the times
    # from the last commit (cmake/cpack_project.cmake), never from the clock.
    unset SOURCE_DATE_EPOCH
    for pkg in pkg pkg-again; do
      [ "$pkg" = pkg ] || sleep 1 # a time taken from the clock would differ
      cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/$pkg" >"$tmp/cpack.txt" 2>&1 ||
        { cat "$tmp/cpack.txt"; fail "cpack"; }
    done
    deb=$(echo "$tmp"/pkg/*.deb)
    [ -f "$deb" ] || fail "no .deb made"
    cmp "$deb" "$tmp/pkg-again/$(basename "$deb")" || fail "two packs of the same build differ"
    if epoch=$(git -C "$src" log -1 --format=%ct 2>/dev/null); then
      when=$(TZ=UTC date -d "@$epoch" '+%F %T')
      dpkg-deb --fsys-tarfile "$deb" | TZ=UTC tar -tv --full-time | { grep -v " $when " || true; } | head -3 >"$tmp/times.txt"
      [ ! -s "$tmp/times.txt" ] || { cat "$tmp/times.txt"; fail "files not dated $when, the last commit"; }
    fi
    info=$(dpkg-deb -f "$deb")
    echo "$info" | grep -q '^Package: clovenfeld$' || fail "package name"
    echo "$info" | grep -qx "Version: $version" || fail "version"
    echo "$info" | grep -q '^Section: games$' || fail "section"
    echo "$info" | grep -q '^Maintainer: .' || fail "maintainer"
    echo "$info" | grep -Eq '^Depends: (.*, )?libsdl2-2\.0-0( |,|$)' || fail "no dependency on libsdl2-2.0-0"
    # The zip reader's library, where the program links it (CLOVENFELD_ZIP).
    if objdump -p "$build/game/clovenfeld" | grep -q 'NEEDED.*libminizip'; then
      echo "$info" | grep -Eq '^Depends: (.*, )?libminizip1( |,|$)' || fail "no dependency on libminizip1"
    fi
    ! echo "$info" | grep -Eq '^Depends:.*-dev' || fail "depends on a -dev package"
    if command -v lintian >/dev/null; then
      lintian -I -E --pedantic "$deb" >"$tmp/lintian.txt" 2>/dev/null || true
      cat "$tmp/lintian.txt"
      ! grep -Eq '^[EW]: ' "$tmp/lintian.txt" || fail "lintian reports errors or warnings"
    else
      echo "lintian is not installed: not run"
    fi
    dpkg-deb -x "$deb" "$tmp/root"
    check_tree "$tmp/root/usr" games share/games/clovenfeld
    [ ! -e "$tmp/root/usr/bin" ] && [ ! -e "$tmp/root/usr/share/clovenfeld" ] ||
      fail "the package has /usr/bin or /usr/share/clovenfeld"
    [ ! -e "$tmp/root/usr/share/doc/clovenfeld/LICENSE" ] || fail "LICENSE beside the copyright file"
    head -1 "$tmp/root/usr/share/doc/clovenfeld/copyright" | grep -q 'copyright-format/1.0' ||
      fail "copyright is not machine-readable"
    play_from_elsewhere "$tmp/root/usr/games/clovenfeld"
    ;;
  *) fail "usage: $0 install|package <build dir> <source dir> <app id>" ;;
esac
echo "$mode test passed"
