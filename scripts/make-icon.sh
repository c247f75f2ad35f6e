#!/usr/bin/env bash
# Renders ui/icon/Mopwright.svg into ui/icon/Mopwright.ico: 256, 128, 64, 48,
# 32 and 16 pixels, 32 bits per pixel. Needs ImageMagick (convert); the build
# uses the committed .ico and does not need it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
src="$here/ui/icon/Mopwright.svg"
out="$here/ui/icon/Mopwright.ico"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

pngs=()
for size in 256 128 64 48 32 16; do
    # Render large and scale down, so the small sizes stay crisp and balanced.
    convert -background none -density 384 "$src" -resize "${size}x${size}" \
            -define png:color-type=6 "PNG32:$tmp/$size.png"
    pngs+=("$tmp/$size.png")
done
# The 256 image stays PNG inside the .ico; the others become 32-bit bitmaps.
convert "${pngs[@]}" "$out"
echo "Wrote $out"
