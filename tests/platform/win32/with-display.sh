#!/usr/bin/env bash
# with-display.sh COMMAND [ARGS...]
#
# Runs COMMAND on the X display in $DISPLAY when one answers there (the test
# run's shared display, which Wine's desktop already lives on), else on a
# private Xvfb started for it.
set -u
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
command -v xvfb-run >/dev/null || { echo "with-display.sh: no X display and no xvfb-run" >&2; exit 2; }
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
