#!/usr/bin/env bash
# The Wine prefix the Windows tests run in.
#
#   wine-prefix.sh [init] [PREFIX]   create and boot the prefix once; later
#                                    calls only re-apply the settings
#   wine-prefix.sh start [PREFIX]    start a persistent wineserver for it
#   wine-prefix.sh stop [PREFIX]     stop that wineserver
#
# PREFIX defaults to $WINEPREFIX, else build/win32/wineprefix.
#
# Start the server before a batch of Wine runs (ctest) and stop it after:
# a server that the first test starts lingers, holds ctest's output pipe
# open and makes ctest wait for it.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
cmd=init
case "${1:-}" in
  init|start|stop) cmd="$1"; shift ;;
  -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
esac
[ $# -le 1 ] || { echo "usage: $0 [init|start|stop] [PREFIX]" >&2; exit 2; }

prefix="${1:-${WINEPREFIX:-$here/../build/win32/wineprefix}}"
mkdir -p "$prefix"
WINEPREFIX="$(cd "$prefix" && pwd)"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" LANG="${LANG:-C.UTF-8}"
# Never let Wine offer to download Mono or Gecko into a test prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Wine's helpers inherit our stdout/stderr; detach them so callers reading
# our output through a pipe are not kept waiting by a lingering server.
quiet() { "$@" </dev/null >/dev/null 2>&1; }

case "$cmd" in
  init)
    fresh=0
    [ -f "$WINEPREFIX/system.reg" ] || fresh=1
    if [ $fresh = 1 ]; then quiet wineboot --init; fi
    # One import for all settings:
    # - without a window manager (Xvfb) closing a window stalls for 2 s
    #   unless Wine manages its windows itself;
    # - the Save As filter's Chinese description needs a CJK font linked
    #   behind the dialog fonts, else it shows as boxes;
    # - no printer-class interface that an interrupted end-to-end run
    #   registered (tests/e2e/usbprint_fixture.py): SetupAPI lists none
    #   unless a test adds one.
    settings="$WINEPREFIX/ldt-settings.reg"
    {
      printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n\n'
      printf '[-HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}]\n\n'
      for dev in 'VID_1A86&PID_7584&MI_00' 'VID_1A86&PID_7584'; do
        printf '[-HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\%s]\n\n' "$dev"
      done
      printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
      for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
        printf '"%s"=hex(7):%s\n' "$face" "$(printf 'wqy-microhei.ttc,WenQuanYi Micro Hei' | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//'),00,00"
      done
    } > "$settings"
    quiet wine regedit /S "Z:${settings//\//\\}"
    # Let the transient server of a first boot save the prefix and exit, so
    # that a following "start" gets a persistent one. (Never wait otherwise:
    # a persistent server does not exit.)
    if [ $fresh = 1 ]; then timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true; fi
    ;;
  start)
    [ -f "$WINEPREFIX/system.reg" ] || "$0" init "$WINEPREFIX"
    # Status 2: a server is already running for this prefix; keep it.
    quiet wineserver -p || [ $? -eq 2 ]
    # Boots Wine's service processes now, detached from our output.
    quiet wine cmd /c exit
    ;;
  stop)
    quiet wineserver -k || true
    # Wait until it is gone, so that a "start" right after gets a new one
    # rather than a server that is shutting down.
    timeout 10 wineserver -w </dev/null >/dev/null 2>&1 || true
    ;;
esac
