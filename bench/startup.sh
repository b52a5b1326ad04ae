#!/usr/bin/env bash
# Start-up benchmark under Wine in Xvfb: exec -> window painted with data,
# for the program (simulator answering) and for a minimal Win32 dialog
# started the same way; the WM_PAINT cost; the exe's size; resident memory.
# Prints figures only.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-7}"
w32="${LDT_WIN32_BUILD:-$root/build/win32}"
exe="$w32/src/app/LaserDiagnosticTool.exe"
mini="$w32/bench/minimal_dialog.exe"
watch="$root/build/linux/bench/paint_watch"
sim="$root/build/linux/tools/ldt-machine-sim"
for f in "$exe" "$mini" "$watch" "$sim"; do
  [ -x "$f" ] || { echo "startup benchmark: $f is missing (build both presets with libx11-dev installed)"; exit 0; }
done

prefix="$w32/bench-wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=C.UTF-8
bash "$root/scripts/wine-prefix.sh" init "$prefix"
bash "$root/scripts/wine-prefix.sh" start "$prefix"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$w32/bench-display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$w32/bench-display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$w32/bench-display")"
"$sim" --pad --link "$prefix/dosdevices/korva1" >/dev/null &
simpid=$!
trap 'kill $simpid $xvfb 2>/dev/null; bash "$root/scripts/wine-prefix.sh" stop "$prefix"' EXIT
sleep 0.3

# Client (200, 85) is window (203, 107) under Wine's 3 + 19 pixel frame and caption.
ldt_t=(); mini_t=(); ldt_rss=(); mini_rss=(); ldt_cpu=(); mini_cpu=()
for _ in $(seq "$rounds"); do
  read -r _ t _ r _ c < <("$watch" "Laser Diagnostic Tool" 203 107 80 20 -- wine "$exe")
  ldt_t+=("$t"); ldt_rss+=("$r"); ldt_cpu+=("$c")
  read -r _ t _ r _ c < <("$watch" "Minimal Dialog" 203 107 80 20 -- wine "$mini")
  mini_t+=("$t"); mini_rss+=("$r"); mini_cpu+=("$c")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
fastest() { printf '%s\n' "$@" | grep -v '^$' | sort -g | head -1; }
lt=$(median "${ldt_t[@]}"); mt=$(median "${mini_t[@]}")
lf=$(fastest "${ldt_t[@]}"); mf=$(fastest "${mini_t[@]}")
lr=$(median "${ldt_rss[@]}"); mr=$(median "${mini_rss[@]}")
lc=$(median "${ldt_cpu[@]}"); mc=$(median "${mini_cpu[@]}")
echo "start-up under Wine, median of $rounds (exec -> window painted with data):"
awk -v l="$lt" -v m="$mt" 'BEGIN {
  printf "  program %.3f s, minimal dialog %.3f s, ratio %.3f after subtracting the 50 ms pause (goal <= 1.10)\n", l, m, (l - 0.050) / m }'
awk -v l="$lf" -v m="$mf" 'BEGIN {
  printf "  fastest of each: program %.3f s, minimal dialog %.3f s, ratio %.3f after subtracting the 50 ms pause (least disturbed by other load)\n", l, m, (l - 0.050) / m }'
awk -v l="$lc" -v m="$mc" 'BEGIN { if (m > 0)
  printf "  processor time to that paint: program %.3f s, minimal dialog %.3f s, ratio %.3f (steadier on a loaded machine)\n", l, m, l / m }'
awk -v l="$lr" -v m="$mr" 'BEGIN {
  printf "  resident memory: program %d KiB, minimal dialog %d KiB, ratio %.2f (goal <= 1.2)\n", l, m, l / m }'
size=$(stat -c %s "$exe")
awk -v s="$size" 'BEGIN { printf "  exe size: %d bytes (%.2f MB; goal <= 1.5 MB)\n", s, s / 1e6 }'
[ -x "$w32/bench/paint_bench.exe" ] && wine "$w32/bench/paint_bench.exe" | sed 's/^/  /'
