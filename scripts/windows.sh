#!/usr/bin/env bash
# Builds the game for 64-bit Windows with Debian's MinGW-w64 cross compiler
# and packs build/windows/clovenfeld-<version>-windows.zip: one folder with
# clovenfeld.exe (statically linked: no DLL beyond Windows' own), gfx/,
# levels/, README.txt, LICENSE.txt and the licences of the runtime and the
# libraries linked in (minizip and zlib, for zipped packs).
# The sprites, levels and icon are made by a native mkassets (build/windows-host).
# Usage: scripts/windows.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/scripts/deps.sh" windows

host="$root/build/windows-host"
cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=Release -DCLOVENFELD_TESTS=OFF -DCLOVENFELD_BENCH=OFF >/dev/null
cmake --build "$host" -j"$jobs" --target mkassets

out="$root/build/windows"
cmake -S "$root" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DCLOVENFELD_HOST_MKASSETS="$host/tools/mkassets" >/dev/null
cmake --build "$out" -j"$jobs"

version=$(sed -n 's/^project(clovenfeld_returns VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="clovenfeld-$version"
stage="$out/zip/$name"
rm -rf "$out/zip"
mkdir -p "$stage/licenses"
cp "$out/game/clovenfeld.exe" "$stage/"
cp -r "$out/game/gfx" "$out/game/levels" "$stage/"
# Text files with Windows line ends, so Notepad shows them as meant.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }
sed "s/@VERSION@/$version/" "$root/windows/README.txt" >"$out/README.txt"
crlf "$out/README.txt" "$stage/README.txt"
crlf "$root/LICENSE" "$stage/LICENSE.txt"
crlf /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime-libraries.txt"
crlf /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.txt"
crlf /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/mingw-w64-runtime-and-winpthreads.txt"
# The zip reader: minizip built from Debian's source package, on zlib.
crlf "$out/deb-src/minizip/debian/copyright" "$stage/licenses/minizip.txt"
crlf /usr/share/doc/libz-mingw-w64-dev/copyright "$stage/licenses/zlib.txt"

# The same bytes for the same sources: file times from the last commit.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}
find "$stage" -exec touch -h -d "@$epoch" {} +
zip_file="$out/$name-windows.zip"
rm -f "$zip_file"
(cd "$out/zip" && find "$name" -print | LC_ALL=C sort | TZ=UTC zip -X -q -D "$zip_file" -@)
echo "Built $zip_file ($(stat -c %s "$zip_file") bytes; clovenfeld.exe $(stat -c %s "$stage/clovenfeld.exe") bytes)"
