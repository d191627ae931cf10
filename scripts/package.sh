#!/usr/bin/env bash
# package.sh -- builds the Debian package: a Release build of the game in
# build/deb, packed by cpack into build/deb/pkg/clovenfeld_<version>_<arch>.deb
# and checked by lintian (an error or warning stops it; its notes are shown).
# It first installs the Debian packages it needs (scripts/deps.sh package).
#
#   scripts/package.sh [--check-reproducible]
#
# The package's times are SOURCE_DATE_EPOCH: cpack takes the last commit's
# (cmake/cpack_project.cmake); a source tree without git history gets its
# newest file's here.  --check-reproducible also
# builds the game from scratch in build/deb-again, packs it, and compares the
# two packages byte for byte: the same sources must give the same bytes.
# JOBS (default: the number of processors) sets the build's parallelism.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=0
case "${1:-}" in
  "") ;;
  --check-reproducible) check=1 ;;
  *) echo "usage: $0 [--check-reproducible]" >&2; exit 2 ;;
esac
jobs=${JOBS:-$(nproc)}
bash "$root/scripts/deps.sh" package

if [ -z "${SOURCE_DATE_EPOCH:-}" ] && ! git -C "$root" log -1 >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(find "$root" -path "$root/build" -prune -o -type f -printf '%T@\n' | sort -n | tail -1 | cut -d. -f1)
  export SOURCE_DATE_EPOCH
fi

# Builds the game in $1 and packs it into $1/pkg; prints the .deb's path.
build_and_pack() {
  local dir=$1
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCLOVENFELD_TESTS=OFF -DCLOVENFELD_BENCH=OFF >/dev/null
  cmake --build "$dir" -j"$jobs" --target clovenfeld >/dev/null
  rm -rf "$dir/pkg"
  (cd "$dir" && cpack -G DEB -B "$dir/pkg" >"$dir/cpack.log" 2>&1) || { cat "$dir/cpack.log" >&2; exit 1; }
  echo "$dir"/pkg/*.deb
}

deb=$(build_and_pack "$root/build/deb")
echo "$deb ($(stat -c %s "$deb") bytes)"
lintian -I -E --pedantic "$deb" >"$root/build/deb/lintian.txt" || true
cat "$root/build/deb/lintian.txt"
if grep -Eq '^[EW]: ' "$root/build/deb/lintian.txt"; then
  echo "lintian reports errors or warnings" >&2
  exit 1
fi
if [ "$check" = 1 ]; then
  rm -rf "$root/build/deb-again"
  again=$(build_and_pack "$root/build/deb-again")
  if cmp -s "$deb" "$again"; then
    echo "reproducible: $again is byte for byte the same"
  else
    echo "NOT reproducible: $deb and $again differ" >&2
    command -v diffoscope >/dev/null && diffoscope "$deb" "$again" >&2 || cmp "$deb" "$again" >&2 || true
    exit 1
  fi
fi
