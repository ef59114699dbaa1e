#!/usr/bin/env bash
# Makes the pictures of the show from its own frames (dadadazo-capture, release build):
#   docs/strip.png      a frame of each of the five scenes and of the closing swell, side by side
#   docs/preview.webp   an animated preview: a moment of each scene and the swell, looping
#   dist/dadadazo.png   the menu entry's icon, 256x256, cut from a frame
# Installs what is missing (ffmpeg among it) first. Run it again after the pictures change.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=8 # 480x320
fps=12
# One reading for each scene and the swell (milliseconds)...
stills=(5000 10000 17000 30000 45000 60500)
# ...and a moment of each for the preview, as FROM:TO.
moments=(4500:6000 9500:11000 16000:17500 29000:30500 45000:46500 59500:61000)
icon_reading=30000

bash scripts/install-deps.sh show tools
cmake --preset release >/dev/null
cmake --build --preset release --target dadadazo-capture
capture=$PWD/build/release/tools/capture/dadadazo-capture

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "Stills: ${stills[*]} ms" >&2
"$capture" --mode "$mode" --at "${stills[@]}" -o "$work/stills"
inputs=()
for reading in "${stills[@]}"; do
  inputs+=(-i "$work/stills/$(printf '%06d' "$reading").png")
done
ffmpeg -v error -y "${inputs[@]}" -filter_complex "hstack=inputs=${#stills[@]}" \
  -frames:v 1 docs/strip.png.tmp.png
mv docs/strip.png.tmp.png docs/strip.png

# The icon: the middle square of a frame, scaled down.
ffmpeg -v error -y -i "$work/stills/$(printf '%06d' "$icon_reading").png" \
  -vf "crop=ih:ih,scale=256:256:flags=lanczos" -frames:v 1 dist/dadadazo.png.tmp.png
mv dist/dadadazo.png.tmp.png dist/dadadazo.png

mkdir -p "$work/preview"
n=0
for moment in "${moments[@]}"; do
  echo "Preview: ${moment/:/ to } ms" >&2
  "$capture" --mode "$mode" --fps "$fps" --from "${moment%:*}" --to "${moment#*:}" \
    -o "$work/part" 2>/dev/null
  for frame in "$work"/part/*.png; do
    mv "$frame" "$work/preview/$(printf '%05d' "$n").png"
    n=$((n + 1))
  done
  rm -rf "$work/part"
done
ffmpeg -v error -y -framerate "$fps" -i "$work/preview/%05d.png" -c:v libwebp_anim -loop 0 \
  -lossless 0 -quality 50 -compression_level 6 docs/preview.tmp.webp
mv docs/preview.tmp.webp docs/preview.webp

size=$(stat -c %s docs/preview.webp)
echo "docs/strip.png, docs/preview.webp ($n frames, $size bytes), dist/dadadazo.png" >&2
if [ "$size" -ge 2000000 ]; then
  echo "make-pictures.sh: the preview is 2 MB or more; lower its quality or length" >&2
  exit 1
fi
