#!/usr/bin/env bash
# Start-up of the Windows program at 144 and 192 DPI under Wine (a prefix
# per DPI whose LogPixels is set before the program starts, an Xvfb large
# enough for the window): exec -> window painted with data, against the
# two minimal dialogs of bench/startup.sh started the same way. Prints
# figures only.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
rounds="${1:-5}"
w32="${LDT_WIN32_BUILD:-$root/build/win32}"
exe="$w32/src/app/LaserDiagnosticTool.exe"
mini="$w32/bench/minimal_dialog.exe"
watch="$root/build/linux/bench/paint_watch"
sim="$root/build/linux/tools/ldt-machine-sim"
for f in "$exe" "$mini" "$watch" "$sim"; do
  [ -x "$f" ] || { echo "DPI start-up benchmark: $f is missing (build both presets with libx11-dev installed)"; exit 0; }
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
fastest() { printf '%s\n' "$@" | grep -v '^$' | sort -g | head -1; }
# The median of each round's own ratio (program - pause) / floor: the runs
# of one round follow each other, so a slow spell of the machine weighs on
# both sides of it.
paired() { paste <(printf '%s\n' $1) <(printf '%s\n' $2) | awk '$1 > 0 && $2 > 0 {print ($1 - 0.050) / $2}' | median_stdin; }
median_stdin() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
scaled() { echo $(( ($1 * $2 + 48) / 96 )); }

echo "start-up under Wine at other DPIs, median of $rounds (exec -> window painted with data):"
for dpi in ${LDT_BENCH_DPIS:-144 192}; do
  prefix="$w32/bench-wineprefix-$dpi"
  export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=C.UTF-8
  Xvfb -displayfd 3 -screen 0 2048x1152x24 -nolisten tcp -noreset 3>"$w32/bench-display-$dpi" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$w32/bench-display-$dpi" ] && break; sleep 0.05; done
  export DISPLAY=":$(cat "$w32/bench-display-$dpi")"
  bash "$root/scripts/wine-prefix.sh" init "$prefix"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  bash "$root/scripts/wine-prefix.sh" stop "$prefix"
  bash "$root/scripts/wine-prefix.sh" start "$prefix"
  "$sim" --pad --link "$prefix/dosdevices/korva1" >/dev/null &
  simpid=$!
  trap 'kill $simpid $xvfb 2>/dev/null; bash "$root/scripts/wine-prefix.sh" stop "$prefix"' EXIT
  sleep 0.3
  # Client (200, 85) at this DPI, under Wine's frame (3) and caption (grown with the DPI).
  caption=$(( dpi == 144 ? 31 : 40 ))
  x=$(( 3 + $(scaled 200 "$dpi") )) y=$(( caption + $(scaled 85 "$dpi") ))
  w=$(scaled 80 "$dpi") h=$(scaled 20 "$dpi")
  ldt_t=(); mini_t=(); ldt_cpu=(); mini_cpu=(); tpl_t=(); tpl_cpu=()
  for _ in $(seq "$rounds"); do
    read -r _ t _ _ _ c < <("$watch" "Laser Diagnostic Tool" "$x" "$y" "$w" "$h" -- wine "$exe")
    ldt_t+=("$t"); ldt_cpu+=("$c")
    read -r _ t _ _ _ c < <("$watch" "Minimal Dialog" "$x" "$y" "$w" "$h" -- wine "$mini")
    mini_t+=("$t"); mini_cpu+=("$c")
    read -r _ t _ _ _ c < <("$watch" "Minimal Dialog" "$x" "$y" "$w" "$h" -- wine "$mini" --template)
    tpl_t+=("$t"); tpl_cpu+=("$c")
  done
  lt=$(median "${ldt_t[@]}"); mt=$(median "${mini_t[@]}")
  lc=$(median "${ldt_cpu[@]}"); mc=$(median "${mini_cpu[@]}")
  lf=$(fastest "${ldt_t[@]}"); mf=$(fastest "${mini_t[@]}")
  tt=$(median "${tpl_t[@]}"); tc=$(median "${tpl_cpu[@]}"); tf=$(fastest "${tpl_t[@]}")
  mp=$(paired "${ldt_t[*]}" "${mini_t[*]}"); tp=$(paired "${ldt_t[*]}" "${tpl_t[*]}")
  awk -v d="$dpi" -v l="$lt" -v m="$mt" -v lc="$lc" -v mc="$mc" -v lf="$lf" -v mf="$mf" \
      -v t="$tt" -v tc="$tc" -v tf="$tf" -v mp="$mp" -v tp="$tp" 'BEGIN {
    printf "  %d DPI: program %.3f s (fastest %.3f s), processor time %.3f s\n", d, l, lf, lc
    printf "    bare dialog %.3f s (fastest %.3f s): ratio %.3f after subtracting the 50 ms pause (goal <= 1.10), fastest of each %.3f, median of the rounds %.3f", m, mf, (l - 0.050) / m, (lf - 0.050) / mf, mp
    if (mc > 0) printf ", processor time ratio %.3f", lc / mc
    printf "\n    dialog of the same template %.3f s (fastest %.3f s): ratio %.3f, fastest of each %.3f, median of the rounds %.3f", t, tf, (l - 0.050) / t, (lf - 0.050) / tf, tp
    if (tc > 0) printf ", processor time ratio %.3f", lc / tc
    printf "\n" }'
  kill $simpid $xvfb 2>/dev/null || true
  bash "$root/scripts/wine-prefix.sh" stop "$prefix"
  trap - EXIT
done
