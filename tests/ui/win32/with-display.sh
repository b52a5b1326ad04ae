#!/usr/bin/env bash
# Runs a command that opens windows: on $DISPLAY when it answers, else on a
# private Xvfb server for the duration of the command.
set -eu
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
if command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
fi
echo "with-display.sh: no X display and no xvfb-run; the window tests cannot run" >&2
exit 1
