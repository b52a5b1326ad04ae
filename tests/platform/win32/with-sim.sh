#!/usr/bin/env bash
# with-sim.sh SIMULATOR [SIMULATOR-OPTIONS...] -- COMMAND [ARGS...]
#
# Serves a simulated machine as the Windows device \\.\KORVA1 of the Wine
# prefix ($WINEPREFIX, else build/win32/wineprefix) while COMMAND runs, then
# stops the simulator and removes the device link. Exits with COMMAND's
# status; 2 when the simulator cannot be started.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
die() { echo "with-sim.sh: $*" >&2; exit 2; }

[ $# -ge 1 ] || die "usage: with-sim.sh SIMULATOR [OPTIONS...] -- COMMAND [ARGS...]"
sim="$1"; shift
opts=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do opts+=("$1"); shift; done
[ $# -ge 2 ] || die "missing -- COMMAND"
shift

[ -x "$sim" ] || die "no simulator at '$sim' (build it: cmake --preset linux && cmake --build --preset linux --target ldt-machine-sim)"
: "${WINEPREFIX:=$here/../../../build/win32/wineprefix}"
export WINEPREFIX
[ -d "$WINEPREFIX/dosdevices" ] || die "no Wine prefix at $WINEPREFIX (run scripts/wine-prefix.sh init)"
WINEPREFIX="$(cd "$WINEPREFIX" && pwd)"

link="$WINEPREFIX/dosdevices/korva1"
# A link left by an interrupted run would point at a dead pty.
if [ -L "$link" ]; then rm -f "$link"; elif [ -e "$link" ]; then die "$link exists and is not a link"; fi

out="$(mktemp)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=""
  fi
  [ -L "$link" ] && rm -f "$link"
  rm -f "$out"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The simulator's output goes to a file so that it never holds the caller's
# pipe open.
"$sim" "${opts[@]}" --link "$link" --pad </dev/null >"$out" &
pid=$!

for _ in $(seq 100); do
  [ -L "$link" ] && [ -s "$out" ] && break
  kill -0 "$pid" 2>/dev/null || { wait "$pid"; pid=""; die "the simulator exited before serving"; }
  sleep 0.05
done
[ -L "$link" ] || die "the simulator did not create $link within 5 s"
echo "with-sim.sh: simulator ${opts[*]} on $(head -n1 "$out") as $link" >&2

"$@"
rc=$?
cleanup
trap - EXIT
exit "$rc"
