#!/usr/bin/env bash
# Runs an unchanged program so that it sees a simulated usblp printer
# /dev/usb/lp0 (or, with --none, no usblp printer at all), inside a private
# mount namespace. Must run as root; the host is left as it was.
#
#   usblp-namespace.sh --sim SIM [--sim-arg ARG]... -- COMMAND [ARG]...
#       Starts the simulator SIM (ldt-machine-sim) with the given extra
#       arguments inside the namespace, runs COMMAND in the foreground,
#       stops the simulator and exits with COMMAND's status.
#   usblp-namespace.sh --link PATH -- COMMAND [ARG]...
#       /dev/usb/lp0 is a symlink to PATH, which need not exist yet: start
#       and stop `ldt-machine-sim --link PATH` from outside whenever you like
#       (while PATH is missing, opening /dev/usb/lp0 fails). COMMAND replaces
#       this script (same pid, its own exit status).
#   usblp-namespace.sh --none -- COMMAND [ARG]...
#       No lp* entry under /sys/class/usbmisc (real ones are hidden).
#       COMMAND replaces this script.
#
# Examples:
#   usblp-namespace.sh --sim build/linux/tools/ldt-machine-sim -- build/linux/src/app/ldt-report
#   usblp-namespace.sh --sim "$sim" --sim-arg --mode --sim-arg silent -- "$app"
#
# Inside: a tmpfs on /sys/devices/platform holds the fake USB interface
# (bInterfaceClass 07) and the overlay layers; an overlay on /sys/class adds
# usbmisc/lp0 whose `device` links to it; an overlay on /dev adds usb/lp0.
# Mounts inside /dev (pts, shm, ...) do not show through an overlay, so they
# are moved aside first and moved back in afterwards. Nothing is created
# outside the namespace, and its mounts vanish with its last process.
#
# Exits 77 with a "SKIP: ..." line where the namespace cannot be set up
# (not root, namespaces or overlays not allowed); 2 on a usage error.
set -euo pipefail

usage() {
  sed -n '2,21s/^# \{0,1\}//p' "$0" >&2
  exit 2
}
skip() { echo "SKIP: $*" >&2; exit 77; }

all_args=("$@")
mode="" sim="" link="" sim_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sim) [ $# -ge 2 ] || usage; mode=sim sim="$2"; shift 2 ;;
    --sim-arg) [ $# -ge 2 ] || usage; sim_args+=("$2"); shift 2 ;;
    --link) [ $# -ge 2 ] || usage; mode=link link="$2"; shift 2 ;;
    --none) mode=none; shift ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ -n "$mode" ] && [ $# -ge 1 ] || usage
[ ${#sim_args[@]} -eq 0 ] || [ "$mode" = sim ] || usage
if [ "$mode" = sim ] && [ ! -x "$sim" ]; then
  echo "usblp-namespace.sh: simulator $sim is not executable" >&2
  exit 2
fi

# Outside: check that a namespace can be had, then start this script again
# inside one. unshare without --fork execs, so the pid stays the caller's.
if [ "${USBLP_NAMESPACE_INSIDE:-}" != "$$" ]; then
  [ "$(id -u)" = 0 ] || skip "usblp-namespace.sh needs root (mount namespaces and mounts)"
  unshare -m --propagation private true 2>/dev/null || skip "mount namespaces are not allowed here"
  exec env USBLP_NAMESPACE_INSIDE=$$ unshare -m --propagation private bash "$0" "${all_args[@]}"
fi
unset USBLP_NAMESPACE_INSIDE

if [ "$mode" = none ]; then
  # Hide any real usbmisc entries behind an empty directory.
  if [ -d /sys/class/usbmisc ]; then
    mount -t tmpfs -o mode=0755 usblp-usbmisc /sys/class/usbmisc || skip "cannot hide /sys/class/usbmisc"
  fi
  exec "$@"
fi

# Everything of ours lives on this tmpfs, which exists only in the namespace.
mount -t tmpfs -o mode=0755 usblp-platform /sys/devices/platform || skip "cannot mount a tmpfs on /sys/devices/platform"
work=/sys/devices/platform/.usblp-namespace
mkdir -p "$work/class-up" "$work/class-work" "$work/dev-up/usb" "$work/dev-work" "$work/dev-mounts"

# The fake interface, and usbmisc/lp0 as the only entry of its class: the
# overlay makes room for usbmisc where the kernel has none, the tmpfs on it
# hides real entries (mounts below a lower layer do not show through).
iface=/sys/devices/platform/usblp-sim/1-1:1.0
mkdir -p "$iface" "$work/class-up/usbmisc"
echo 07 > "$iface/bInterfaceClass"
mount -t overlay overlay -o "lowerdir=/sys/class,upperdir=$work/class-up,workdir=$work/class-work" /sys/class ||
  skip "cannot mount an overlay on /sys/class"
mount -t tmpfs -o mode=0755 usblp-usbmisc /sys/class/usbmisc || skip "cannot mount a tmpfs on /sys/class/usbmisc"
mkdir /sys/class/usbmisc/lp0
ln -s "$iface" /sys/class/usbmisc/lp0/device

# /dev/usb/lp0 leads to the simulator's pty through a link the simulator
# makes (and removes when it stops).
if [ "$mode" = sim ]; then
  link="$work/sim-link"
  "$sim" "${sim_args[@]}" --link "$link" > "$work/sim.out" &
  simpid=$!
  trap 'kill $simpid 2>/dev/null || true; wait $simpid 2>/dev/null || true' EXIT
  for _ in $(seq 250); do
    [ -L "$link" ] && break
    kill -0 $simpid 2>/dev/null || { echo "usblp-namespace.sh: the simulator did not start" >&2; exit 1; }
    sleep 0.02
  done
  [ -L "$link" ] || { echo "usblp-namespace.sh: the simulator made no link" >&2; exit 1; }
fi
ln -s "$link" "$work/dev-up/usb/lp0"

# Mounts directly under /dev (pts, shm, mqueue, ...), moved aside and back.
mapfile -t inner < <(findmnt -rn -o TARGET | grep -E '^/dev/[^/]+$' | sort -u)
i=0
for m in "${inner[@]}"; do
  mkdir "$work/dev-mounts/$i"
  mount --rbind "$m" "$work/dev-mounts/$i"
  i=$((i + 1))
done
mount -t overlay overlay -o "lowerdir=/dev,upperdir=$work/dev-up,workdir=$work/dev-work" /dev ||
  skip "cannot mount an overlay on /dev"
i=0
for m in "${inner[@]}"; do
  mount --move "$work/dev-mounts/$i" "$m"
  i=$((i + 1))
done

if [ "$mode" = link ]; then
  exec "$@"
fi

# In the foreground, so that a terminal's Ctrl-C reaches the command too.
status=0
"$@" || status=$?
exit $status
