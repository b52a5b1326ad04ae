#!/usr/bin/env bash
# Installs what is missing, builds, and starts Laser Diagnostic Tool under
# Wine. With --demo a simulated machine answers first (its values are made
# up), so the window shows data without a real machine.
#   scripts/run.sh [--demo]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
demo=0
case "${1:-}" in
  --demo) demo=1 ;;
  "") ;;
  *) echo "usage: $0 [--demo]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh all
cmake --preset linux >/dev/null && cmake --build --preset linux --target ldt-machine-sim ldt-report
cmake --preset win32 >/dev/null && cmake --build --preset win32

exe="$root/build/win32/src/app/LaserDiagnosticTool.exe"
prefix="$root/build/run-wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all LANG="${LANG:-C.UTF-8}"

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT

bash scripts/wine-prefix.sh init "$prefix"
if [ $demo = 1 ]; then
  mkdir -p "$prefix/dosdevices"
  "$root/build/linux/tools/ldt-machine-sim" --pad --link "$prefix/dosdevices/korva1" > "$root/build/demo-sim.out" &
  sim_pid=$!
  for _ in $(seq 50); do [ -L "$prefix/dosdevices/korva1" ] && break; sleep 0.1; done
  echo "Demo: a simulated machine answers as \\\\.\\KORVA1; the values shown are made up."
fi

if [ -z "${DISPLAY:-}" ]; then
  echo "No display: DISPLAY is not set, so the window cannot open here." >&2
  echo "Run it from a desktop session to see the window." >&2
  echo "The same machine data as a console report (ldt-report):" >&2
  wine "$root/build/win32/src/app/ldt-report.exe"
  exit $?
fi
wine "$exe"
