#!/usr/bin/env bash
# Draws docs/sounds.png: a spectrogram of every sound (left channel, 0 to
# 12 kHz, each across its own length), titled with its name and figures, laid
# out by scripts/png_sheet.py; and prints the figures (tools/sound_sheet).
# Needs sox (scripts/deps.sh test) and a built sound_sheet.
# Usage: scripts/sound_sheet.sh [build dir, default build/dev] [folder to keep the WAVs in]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/dev}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wavs=${2:-}

"$build/tools/sound_sheet" "$work" | tee "$work/figures.txt"
pictures=()
while read -r name length peak rms f50 fwhole; do
  [ "$name" = sound ] && continue
  sox "$work/$name.wav" -n remix 1 rate 24k spectrogram -x 360 -y 161 -z 80 \
      -t "$name" -c "$length  peak $peak  RMS $rms  ${f50} first 50 ms" -o "$work/$name.png"
  pictures+=("$work/$name.png")
done < "$work/figures.txt"
python3 "$root/scripts/png_sheet.py" "$root/docs/sounds.png" 3 "${pictures[@]}"
if [ -n "$wavs" ]; then
  mkdir -p "$wavs"
  cp "$work"/*.wav "$wavs"/
  echo "WAVs in $wavs"
fi
echo "wrote $root/docs/sounds.png"
