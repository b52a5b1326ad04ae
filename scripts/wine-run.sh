#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix, so that
# nothing depends on the user's ~/.wine. Used by ctest as the emulator.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
: "${WINEPREFIX:=$here/../build/win32/wineprefix}"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" LANG="${LANG:-C.UTF-8}"
exec wine "$@"
