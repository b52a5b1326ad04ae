#!/usr/bin/env bash
# Start-up benchmark under Wine in Xvfb: exec -> window painted with data,
# for the program (simulator answering) and for two minimal Win32 dialogs
# started the same way (bench/win32/minimal_dialog.cpp); resident memory at
# that paint; the exe's size; the WM_PAINT cost.
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
# The display first: Wine's desktop process, started with the prefix,
# serves every window of the prefix and needs it.
rm -f "$w32/bench-display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$w32/bench-display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$w32/bench-display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$w32/bench-display")"
bash "$root/scripts/wine-prefix.sh" init "$prefix"
bash "$root/scripts/wine-prefix.sh" start "$prefix"
"$sim" --pad --link "$prefix/dosdevices/korva1" >/dev/null &
simpid=$!
trap 'kill $simpid $xvfb 2>/dev/null; bash "$root/scripts/wine-prefix.sh" stop "$prefix"' EXIT
sleep 0.3

# Client (200, 85) is window (203, 107) under Wine's 3 + 19 pixel frame and caption.
# Two floors: the bare dialog (no controls, no font), and the same dialog
# made from the program's own template (its font and its two invisible
# standard buttons, which the program cannot do without).
ldt_t=(); ldt_rss=(); ldt_cpu=(); bare_t=(); bare_rss=(); bare_cpu=(); tpl_t=(); tpl_rss=(); tpl_cpu=()
for _ in $(seq "$rounds"); do
  read -r _ t _ r _ c < <("$watch" "Laser Diagnostic Tool" 203 107 80 20 -- wine "$exe")
  ldt_t+=("$t"); ldt_rss+=("$r"); ldt_cpu+=("$c")
  read -r _ t _ r _ c < <("$watch" "Minimal Dialog" 203 107 80 20 -- wine "$mini")
  bare_t+=("$t"); bare_rss+=("$r"); bare_cpu+=("$c")
  read -r _ t _ r _ c < <("$watch" "Minimal Dialog" 203 107 80 20 -- wine "$mini" --template)
  tpl_t+=("$t"); tpl_rss+=("$r"); tpl_cpu+=("$c")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
fastest() { printf '%s\n' "$@" | grep -v '^$' | sort -g | head -1; }
# The median of each round's own ratio (program - pause) / floor: the runs
# of one round follow each other, so a slow spell of the machine weighs on
# both sides of it.
paired() { paste <(printf '%s\n' $1) <(printf '%s\n' $2) | awk '$1 > 0 && $2 > 0 {print ($1 - 0.050) / $2}' | median_stdin; }
median_stdin() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
lt=$(median "${ldt_t[@]}") lf=$(fastest "${ldt_t[@]}") lr=$(median "${ldt_rss[@]}") lc=$(median "${ldt_cpu[@]}")
echo "start-up under Wine, median of $rounds (exec -> window painted with data):"
echo "  program: $lt s (fastest $lf s), processor time $lc s, resident memory $lr KiB"
floor() {  # name, then the times, memories and processor times of that floor
  local name="$1" t f r c p
  t=$(median $2) f=$(fastest $2) r=$(median $3) c=$(median $4) p=$(paired "${ldt_t[*]}" "$2")
  awk -v n="$name" -v l="$lt" -v m="$t" -v lf="$lf" -v mf="$f" -v lr="$lr" -v mr="$r" -v lc="$lc" -v mc="$c" -v p="$p" 'BEGIN {
    printf "  against the %s: %.3f s (fastest %.3f s), resident memory %d KiB\n", n, m, mf, mr
    printf "    start-up ratio %.3f after subtracting the 50 ms pause (goal <= 1.10), fastest of each %.3f, median of the rounds %.3f\n", (l - 0.050) / m, (lf - 0.050) / mf, p
    if (mc > 0) printf "    processor time ratio %.3f (steadier on a loaded machine)\n", lc / mc
    printf "    resident memory ratio %.2f (goal <= 1.2)\n", lr / mr }'
}
floor "bare dialog" "${bare_t[*]}" "${bare_rss[*]}" "${bare_cpu[*]}"
floor "dialog of the same template" "${tpl_t[*]}" "${tpl_rss[*]}" "${tpl_cpu[*]}"
size=$(stat -c %s "$exe")
awk -v s="$size" 'BEGIN { printf "  exe size: %d bytes (%.2f MB; goal <= 1.5 MB)\n", s, s / 1e6 }'
[ -x "$w32/bench/paint_bench.exe" ] && wine "$w32/bench/paint_bench.exe" | sed 's/^/  /'
