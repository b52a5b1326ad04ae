#!/usr/bin/env bash
# Installs what is missing, builds, and starts Laser Diagnostic Tool.
#   scripts/run.sh [--demo] [--wine]
# By default the native Linux program (Qt 6), which finds machines as
# /dev/usb/lpN. --wine runs the Windows program under Wine instead.
# --demo lets a simulated machine answer first (its values are made up), so
# the window shows data without a real machine; natively it appears as
# /dev/usb/lp0 inside a private mount namespace; the window runs as the user
# who started the demo, never as root (root, through sudo, only makes the
# namespace where the system allows no user namespaces).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
demo=0 wine=0
for arg in "$@"; do
  case "$arg" in
    --demo) demo=1 ;;
    --wine) wine=1 ;;
    *) echo "usage: $0 [--demo] [--wine]" >&2; exit 2 ;;
  esac
done

sim="$root/build/linux/tools/ldt-machine-sim"
no_display() {
  echo "No display: DISPLAY is not set, so the window cannot open here." >&2
  echo "Run it from a desktop session to see the window." >&2
  echo "The same machine data as a console report (ldt-report):" >&2
}

if [ $wine = 0 ]; then
  bash scripts/install-deps.sh native
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target laser-diagnostic-tool ldt-machine-sim ldt-report
  app="$root/build/linux/src/app/linux/laser-diagnostic-tool"
  if [ -z "${DISPLAY:-}" ]; then no_display; app="$root/build/linux/src/app/ldt-report"; fi
  if [ $demo = 1 ]; then
    echo "Demo: a simulated machine answers as /dev/usb/lp0; the values shown are made up."
    # The window runs as this user: inside a user namespace where the system
    # allows one, else sudo only makes the namespace and the script starts
    # the window as the user who called sudo.
    ns=(bash scripts/usblp-namespace.sh --sim "$sim" -- "$app")
    probe=0
    bash scripts/usblp-namespace.sh --sim "$sim" --unplugged -- true 2>/dev/null || probe=$?
    if [ "$(id -u)" -ne 0 ] && [ $probe = 77 ]; then
      echo "No user namespaces here: sudo makes the namespace; the window still runs as $(id -un)."
      ns=(sudo --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY,XDG_RUNTIME_DIR "${ns[@]}")
    fi
    status=0
    "${ns[@]}" || status=$?
    [ $status = 77 ] && echo "The demo needs a private mount namespace for /dev/usb/lp0 (user namespaces or sudo)." >&2
    exit $status
  fi
  exec "$app"
fi

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
  "$sim" --pad --link "$prefix/dosdevices/korva1" > "$root/build/demo-sim.out" &
  sim_pid=$!
  for _ in $(seq 50); do [ -L "$prefix/dosdevices/korva1" ] && break; sleep 0.1; done
  echo "Demo: a simulated machine answers as \\\\.\\KORVA1; the values shown are made up."
fi

if [ -z "${DISPLAY:-}" ]; then
  no_display
  wine "$root/build/win32/src/app/ldt-report.exe"
  exit $?
fi
wine "$exe"
