#!/usr/bin/env bash
# Start-up and paint benchmark of the native Qt program in its own Xvfb,
# with the machine simulator behind /dev/usb/lp0 (scripts/usblp-namespace.sh),
# at QT_SCALE_FACTOR 1, 1.5 and 2: exec -> window painted with data for
# laser-diagnostic-tool, and exec -> first paint for a bare frameless Qt
# widget, in the same run; medians of N rounds (default 7) and resident
# memory; then the time of one paint of the window (bench/qt/paint_bench.cpp).
# Prints figures only.
#   bench/startup-qt.sh [ROUNDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
b="${LDT_LINUX_BUILD:-$root/build/linux}"
app="$b/src/app/linux/laser-diagnostic-tool"
bare="$b/bench/bare_widget"
paint="$b/bench/qt_paint_bench"
watch="$b/bench/paint_watch"
sim="$b/tools/ldt-machine-sim"

scales="1 1.5 2"

if [ "${1:-}" = --measure ]; then
  # Inside the namespace: alternate the two programs, one paint_watch each,
  # at each scale; then the paint figures.
  rounds="$2"
  for scale in $scales; do
    export QT_SCALE_FACTOR="$scale"
    # Client (200, 85), in the Firmware Version box, is window (203, 115);
    # all four scaled to device pixels.
    rect=$(awk -v s="$scale" 'function px(u) { return int(u * s + 0.5) } BEGIN { print px(203), px(115), px(80), px(20) }')
    for _ in $(seq "$rounds"); do
      # shellcheck disable=SC2086
      "$watch" "Laser Diagnostic Tool" $rect -- "$app" | sed "s/^/ldt $scale /" || true
      # shellcheck disable=SC2086
      "$watch" "Bare Widget" $rect -- "$bare" | sed "s/^/bare $scale /" || true
    done
    [ -x "$paint" ] && QT_QPA_PLATFORM=offscreen "$paint" 2>/dev/null | sed "s/^/paint /" || true
  done
  exit 0
fi

rounds="${1:-7}"
for f in "$app" "$bare" "$watch" "$sim"; do
  [ -x "$f" ] || { echo "Qt start-up benchmark: $f is missing (build the linux preset with qt6-base-dev and libx11-dev)"; exit 0; }
done
command -v Xvfb >/dev/null || { echo "Qt start-up benchmark: Xvfb is missing"; exit 0; }

tmp="$(mktemp -d)"
xvfb=""
trap '[ -n "$xvfb" ] && kill $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"' EXIT
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$tmp/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$tmp/display")" QT_QPA_PLATFORM=xcb LANG=C.UTF-8 XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 0700 "$tmp/runtime"

status=0
"$root/scripts/usblp-namespace.sh" --sim "$sim" -- bash "$0" --measure "$rounds" > "$tmp/figures" 2>"$tmp/errors" || status=$?
if [ $status -ne 0 ]; then
  echo "Qt start-up benchmark: not measured (exit $status: $(grep -v '^QStandardPaths' "$tmp/errors" | tail -1))"
  exit 0
fi
if grep -q timeout "$tmp/figures"; then
  echo "Qt start-up benchmark: $(grep -c timeout "$tmp/figures") of $((6 * rounds)) starts never painted within 30 s"
fi
median() { sort -g | awk '{a[NR]=$1} END {print (NR ? a[int((NR+1)/2)] : 0)}'; }
echo "start-up of the Qt program in Xvfb, median of $rounds (exec -> window painted with data):"
for scale in $scales; do
  lt=$(awk -v s="$scale" '$1 == "ldt" && $2 == s && $3 == "painted" {print $4}' "$tmp/figures" | median)
  bt=$(awk -v s="$scale" '$1 == "bare" && $2 == s && $3 == "painted" {print $4}' "$tmp/figures" | median)
  lr=$(awk -v s="$scale" '$1 == "ldt" && $2 == s && $3 == "painted" {print $6}' "$tmp/figures" | median)
  br=$(awk -v s="$scale" '$1 == "bare" && $2 == s && $3 == "painted" {print $6}' "$tmp/figures" | median)
  awk -v s="$scale" -v l="$lt" -v m="$bt" 'BEGIN { if (m > 0)
    printf "  scale %s: program %.3f s, bare widget %.3f s, ratio %.3f after subtracting the 50 ms pause (goal <= 1.10)\n", s, l, m, (l - 0.050) / m }'
  awk -v s="$scale" -v l="$lr" -v m="$br" 'BEGIN { if (m > 0)
    printf "  scale %s: resident memory: program %d KiB, bare widget %d KiB, ratio %.2f (goal <= 1.2)\n", s, l, m, l / m }'
done
echo "one paint of the Qt window (offscreen, into its backing store):"
sed -n 's/^paint /  /p' "$tmp/figures"
p1=$(awk '$1 == "paint" && $3 == "1.00:" {print $(NF-5)}' "$tmp/figures")
p2=$(awk '$1 == "paint" && $3 == "2.00:" {print $(NF-5)}' "$tmp/figures")
awk -v a="$p1" -v b="$p2" 'BEGIN { if (a > 0) printf "  paint at 2x / paint at 1x: %.2f (goal <= 2)\n", b / a }'
