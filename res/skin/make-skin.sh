#!/usr/bin/env bash
# Regenerates the window skin and the application icon from their SVG sources:
#   res/skin/skin.svg -> res/skin/SkinBitmap.bmp  (817 x 418, uncompressed 24 bpp, bottom-up)
#                     -> res/skin/skin@2x.png     (1634 x 836, 24 bpp, for scales above 100 %)
#   res/icon/app.svg  -> res/icon/app.ico         (16, 32 and 48 px)
#                     -> res/icon/app.png         (48 px, for the Linux window)
# Both outputs are committed, so a build needs neither this script nor the fonts.
#
# Needs rsvg-convert (librsvg2-bin), ImageMagick and the Liberation Sans font
# (fonts-liberation); on Debian: apt-get install librsvg2-bin imagemagick fonts-liberation
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
res=$(dirname "$here")

# ImageMagick: version 7's "magick", else version 6's convert. Set IM to override.
if [ -z "${IM:-}" ]; then
    if command -v magick >/dev/null 2>&1; then
        IM=magick
    elif [ -x /usr/bin/convert ]; then
        IM=/usr/bin/convert
    else
        IM=convert
    fi
fi
command -v rsvg-convert >/dev/null 2>&1 || { echo "rsvg-convert not found (package librsvg2-bin)" >&2; exit 1; }
command -v "$IM" >/dev/null 2>&1 || { echo "ImageMagick not found (package imagemagick)" >&2; exit 1; }
if command -v fc-list >/dev/null 2>&1 && ! fc-list | grep -q "Liberation Sans"; then
    echo "warning: Liberation Sans is not installed (package fonts-liberation); a fallback font will be used" >&2
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- skin ---
rsvg-convert --width 817 --height 418 --background-color '#ffffff' \
    -o "$tmp/skin.png" "$here/skin.svg"
"$IM" "$tmp/skin.png" -background '#ffffff' -alpha remove -alpha off \
    -type TrueColor -compress None -define bmp:format=bmp3 \
    "BMP3:$here/SkinBitmap.bmp"
echo "wrote $here/SkinBitmap.bmp"

# The same picture at twice the size, drawn from the vectors (not enlarged),
# without text chunks or times so that the bytes depend on the source only.
rsvg-convert --width 1634 --height 836 --background-color '#ffffff' \
    -o "$tmp/skin2.png" "$here/skin.svg"
"$IM" "$tmp/skin2.png" -background '#ffffff' -alpha remove -alpha off -strip \
    -define png:color-type=2 -define png:bit-depth=8 -define png:exclude-chunks=all \
    "PNG24:$here/skin@2x.png"
echo "wrote $here/skin@2x.png"

# --- icon ---
for size in 16 32 48; do
    rsvg-convert --width "$size" --height "$size" -o "$tmp/icon$size.png" "$res/icon/app.svg"
done
"$IM" "$tmp/icon16.png" "$tmp/icon32.png" "$tmp/icon48.png" "ICO:$res/icon/app.ico"
echo "wrote $res/icon/app.ico"
cp "$tmp/icon48.png" "$res/icon/app.png"
echo "wrote $res/icon/app.png"

"$here/check-skin.sh"
