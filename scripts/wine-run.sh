#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix, so that
# nothing depends on the user's ~/.wine. Used by ctest as the emulator.
#
# A batch of runs should share a persistent server started beforehand
# (scripts/wine-prefix.sh start). When none is running, one is started here
# with its output detached and a short linger: a server (or Wine's service
# processes) started by the program itself would inherit the caller's output
# pipe and keep ctest waiting after the test has ended.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
: "${WINEPREFIX:=$here/../build/win32/wineprefix}"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" LANG="${LANG:-C.UTF-8}"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$here/wine-prefix.sh" init "$WINEPREFIX" >&2
fi
# Exit status 0: a new server was started (2: one is already running).
if wineserver -p10 </dev/null >/dev/null 2>&1; then
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
exec wine "$@"
