#!/usr/bin/env bash
# Checks SkinBitmap.bmp against what the program expects of it:
#  - file format: BMP, 817 x 418, bottom-up, 24 bits per pixel, uncompressed;
#  - every value box white at its centre, at its four corners and all over
#    (client (x, y) is bitmap (x + 3, y + 30)), with its outline two pixels
#    outside;
#  - the title band blue;
#  - the areas the program writes fixed text into (version label, image
#    offset direction labels) free of painted text.
# Needs ImageMagick (IM overrides the binary) and od.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bmp=${1:-$here/SkinBitmap.bmp}
if [ -z "${IM:-}" ]; then
    if command -v magick >/dev/null 2>&1; then IM=magick
    elif [ -x /usr/bin/convert ]; then IM=/usr/bin/convert
    else IM=convert; fi
fi

W=817 H=418
fail=0
bad() { echo "FAIL: $*" >&2; fail=1; }

# --- header ---
u() { od -A n -j "$1" -N "$2" -t "u$2" "$bmp" | tr -d ' '; }
s4() { od -A n -j "$1" -N 4 -t d4 "$bmp" | tr -d ' '; }
[ "$(head -c 2 "$bmp")" = BM ] || bad "not a BMP file"
[ "$(u 14 4)" = 40 ] || bad "info header size $(u 14 4), want 40 (BITMAPINFOHEADER)"
[ "$(s4 18)" = $W ] || bad "width $(s4 18), want $W"
[ "$(s4 22)" = $H ] || bad "height $(s4 22), want +$H (bottom-up)"
[ "$(u 26 2)" = 1 ] || bad "planes $(u 26 2), want 1"
[ "$(u 28 2)" = 24 ] || bad "bit count $(u 28 2), want 24"
[ "$(u 30 4)" = 0 ] || bad "compression $(u 30 4), want 0 (BI_RGB)"
stride=$(( (W * 3 + 3) / 4 * 4 ))
[ "$(u 10 4)" = 54 ] || bad "pixel data offset $(u 10 4), want 54"
[ "$(stat -c %s "$bmp")" = $(( 54 + stride * H )) ] || bad "file size $(stat -c %s "$bmp"), want $(( 54 + stride * H ))"

# --- pixels, decoded once to raw RGB, top row first ---
raw=$(mktemp)
trap 'rm -f "$raw"' EXIT
"$IM" "$bmp" -depth 8 "rgb:$raw"
px() { od -A n -j $(( ($2 * W + $1) * 3 )) -N 3 -t x1 "$raw" | tr -d ' '; }   # bitmap x y -> rrggbb

# name left top right bottom (client, inclusive)
boxes='
firmware 189 87 317 99
driver 189 113 317 125
fpga 189 138 317 150
speed 115 221 198 232
power 286 221 369 232
dpi 115 246 198 257
ppi 286 246 369 257
tube 582 100 743 115
vector 582 128 743 143
lens 582 156 743 171
carriage 582 184 743 199
usb 582 212 743 227
zdepth 582 240 743 255
scale-x 583 274 640 286
scale-y 685 274 742 286
offset-1 583 302 640 314
offset-2 685 302 742 314
'
n=0
while read -r name l t r b; do
    [ -n "$name" ] || continue
    n=$((n + 1))
    x0=$((l + 3)) y0=$((t + 30)) x1=$((r + 3)) y1=$((b + 30))
    cx=$(( (x0 + x1) / 2 )) cy=$(( (y0 + y1) / 2 ))
    for p in "$cx $cy" "$x0 $y0" "$x1 $y0" "$x0 $y1" "$x1 $y1"; do
        set -- $p
        c=$(px "$1" "$2")
        [ "$c" = ffffff ] || bad "$name: bitmap ($1,$2) is #$c, want white"
    done
    whole=$("$IM" "$bmp" -crop "$((x1 - x0 + 1))x$((y1 - y0 + 1))+$x0+$y0" +repage -format '%[fx:minima==1]' info:)
    [ "$whole" = 1 ] || bad "$name: box area bitmap ($x0,$y0)-($x1,$y1) is not all white"
    for p in "$((x0 - 2)) $cy" "$((x1 + 2)) $cy" "$cx $((y0 - 2))" "$cx $((y1 + 2))"; do
        set -- $p
        c=$(px "$1" "$2")
        [ "$c" != ffffff ] || bad "$name: outline missing at bitmap ($1,$2)"
    done
done <<< "$boxes"

# --- title band: blue where "L.D.T" is not painted ---
for p in "400 1" "400 10" "780 28" "400 34" "780 37"; do
    set -- $p
    c=$(px "$1" "$2")
    r=$((16#${c:0:2})) b=$((16#${c:4:2}))
    [ $b -gt $((r + 60)) ] || bad "title band at bitmap ($1,$2) is #$c, not blue"
done

# --- plain areas: every row a single colour (the background gradient is vertical) ---
plain() {   # name, client left top right bottom (exclusive)
    local name=$1 l=$2 t=$3 r=$4 b=$5 y x first c
    for ((y = t + 30; y < b + 30 && y < H; y++)); do
        first=$(px $((l + 3)) $y)
        for ((x = l + 3; x < r + 3 && x < W - 4; x += 1)); do
            c=$(px $x $y)
            if [ "$c" != "$first" ]; then bad "$name: painted detail at bitmap ($x,$y)"; return; fi
        done
    done
}
plain "version label" 700 370 810 386
plain "offset label L/R" 560 300 580 325
plain "offset label D/U" 660 300 680 325

if [ $fail -ne 0 ]; then
    echo "check-skin: $bmp has problems" >&2
    exit 1
fi
echo "check-skin: $bmp OK ($n boxes white and outlined, header 817x418 24 bpp BI_RGB bottom-up)"
