#!/usr/bin/env bash
# Start-up benchmark of the native Qt program in its own Xvfb, with the
# machine simulator behind /dev/usb/lp0 (scripts/usblp-namespace.sh):
# exec -> window painted with data for laser-diagnostic-tool, and
# exec -> first paint for a bare frameless Qt widget, in the same run;
# medians of N rounds (default 7) and resident memory. Prints figures only.
#   bench/startup-qt.sh [ROUNDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
b="${LDT_LINUX_BUILD:-$root/build/linux}"
app="$b/src/app/linux/laser-diagnostic-tool"
bare="$b/bench/bare_widget"
watch="$b/bench/paint_watch"
sim="$b/tools/ldt-machine-sim"

if [ "${1:-}" = --measure ]; then
  # Inside the namespace: alternate the two programs, one paint_watch each.
  rounds="$2"
  # Client (200, 85), in the Firmware Version box, is window (203, 115).
  for _ in $(seq "$rounds"); do
    "$watch" "Laser Diagnostic Tool" 203 115 80 20 -- "$app" | sed 's/^/ldt /' || true
    "$watch" "Bare Widget" 203 115 80 20 -- "$bare" | sed 's/^/bare /' || true
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
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
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
  echo "Qt start-up benchmark: $(grep -c timeout "$tmp/figures") of $((2 * rounds)) starts never painted within 30 s"
fi
median() { sort -g | awk '{a[NR]=$1} END {print (NR ? a[int((NR+1)/2)] : 0)}'; }
lt=$(awk '$1 == "ldt" && $2 == "painted" {print $3}' "$tmp/figures" | median)
bt=$(awk '$1 == "bare" && $2 == "painted" {print $3}' "$tmp/figures" | median)
lr=$(awk '$1 == "ldt" && $2 == "painted" {print $5}' "$tmp/figures" | median)
br=$(awk '$1 == "bare" && $2 == "painted" {print $5}' "$tmp/figures" | median)
echo "start-up of the Qt program in Xvfb, median of $rounds (exec -> window painted with data):"
awk -v l="$lt" -v m="$bt" 'BEGIN { if (m > 0)
  printf "  program %.3f s, bare widget %.3f s, ratio %.3f after subtracting the 50 ms pause (goal <= 1.10)\n", l, m, (l - 0.050) / m }'
awk -v l="$lr" -v m="$br" 'BEGIN { if (m > 0)
  printf "  resident memory: program %d KiB, bare widget %d KiB, ratio %.2f (goal <= 1.2)\n", l, m, l / m }'
