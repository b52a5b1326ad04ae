#!/usr/bin/env bash
# Runs an unchanged program so that it sees a simulated usblp printer
# /dev/usb/lp0 (or, with --none, no usblp printer at all), inside a private
# mount namespace. The host is left as it was.
#
#   usblp-namespace.sh [OPTION]... --sim SIM [--sim-arg ARG]... -- COMMAND [ARG]...
#       Starts the simulator SIM (ldt-machine-sim) with the given extra
#       arguments inside the namespace, runs COMMAND in the foreground,
#       stops the simulator and exits with COMMAND's status.
#   usblp-namespace.sh [OPTION]... --link PATH -- COMMAND [ARG]...
#       /dev/usb/lp0 is a symlink to PATH, which need not exist yet: start
#       and stop `ldt-machine-sim --link PATH` from outside whenever you like
#       (while PATH is missing, opening /dev/usb/lp0 fails). COMMAND replaces
#       this script (same pid, its own exit status).
#   usblp-namespace.sh [OPTION]... --none -- COMMAND [ARG]...
#       No lp* entry under /sys/class/usbmisc (real ones are hidden).
#       COMMAND replaces this script.
#   usblp-namespace.sh --unplug PID
#   usblp-namespace.sh --plug PID
#       Unplugs, or plugs back in, the printer of the namespace that process
#       PID runs in (COMMAND, or this script with --sim): removes, or makes,
#       /dev/usb/lp0 and /sys/class/usbmisc/lp0. An inotify watch on /dev/usb
#       sees the node deleted or created. Plugging a plugged printer, or
#       unplugging an unplugged one, does nothing. A descriptor COMMAND holds
#       open stays connected to the simulator.
#
# Options:
#   --unplugged        start with the printer unplugged (--plug adds it)
#   --node MODE:GROUP  with --sim: /dev/usb/lp0 is the simulator's pty as a
#                      character device with that mode and group, e.g. 0660:lp,
#                      instead of a symlink, so that a user outside GROUP gets
#                      EACCES as from a real node root:lp (needs root)
#   --as-user USER     run COMMAND and the simulator as USER (needs root)
#
# Examples:
#   usblp-namespace.sh --sim build/linux/tools/ldt-machine-sim -- build/linux/src/app/ldt-report
#   usblp-namespace.sh --sim "$sim" --sim-arg --mode --sim-arg silent -- "$app"
#
# Who runs what. Started by a user other than root, the mount namespace is
# made inside a new user namespace (unshare --user --map-root-user), so no
# root is needed: COMMAND runs there as uid 0, which is the invoking user
# outside. Started by root, the namespace is made as root and COMMAND runs as
# --as-user USER, else as the user who called sudo (SUDO_UID, SUDO_GID), else
# as root; HOME, USER and LOGNAME follow that user, DISPLAY and XAUTHORITY
# are kept.
#
# Inside: a tmpfs on /sys/devices/platform holds the fake USB interface
# (bInterfaceClass 07), the overlay layers and the simulator's link; an
# overlay on /sys/class makes room for usbmisc, and a tmpfs on
# /sys/class/usbmisc holds lp0, whose `device` links to the interface.
# /dev is a tmpfs (an overlay on /dev is not allowed in a user namespace):
# the host's /dev is bound aside, its directories (pts, shm, ...) and the
# common character devices (null, zero, tty, ...) are bind-mounted back, its
# other entries (ptmx among them) are symlinks into the aside copy, and
# /dev/usb is a directory of our own (the host's printers stay out). Nothing is created
# outside the namespace, and its mounts vanish with its last process.
#
# Exits 77 with a "SKIP: ..." line where the namespace cannot be set up
# (neither root nor user namespaces, namespaces or overlays not allowed,
# an option that needs root); 2 on a usage error.
set -euo pipefail

usage() {
  sed -n '2,44s/^# \{0,1\}//p' "$0" >&2
  exit 2
}
skip() { echo "SKIP: $*" >&2; exit 77; }
die() { echo "usblp-namespace.sh: $*" >&2; exit 1; }

# Fixed places inside the namespace.
work=/sys/devices/platform/.usblp-namespace
iface=/sys/devices/platform/usblp-sim/1-1:1.0
usbmisc=/sys/class/usbmisc
node=/dev/usb/lp0

# Makes /sys/class/usbmisc/lp0, then /dev/usb/lp0, as the kernel and udev
# do, from the description in $work/plug.env.
plug_here() {
  [ -f "$work/plug.env" ] || die "no simulated printer in this namespace"
  local kind target pty major minor
  # shellcheck source=/dev/null
  . "$work/plug.env"
  if [ ! -d "$usbmisc/lp0" ]; then
    # Complete before it appears under its name.
    rm -rf "$usbmisc/.lp0"
    mkdir "$usbmisc/.lp0"
    ln -s "$iface" "$usbmisc/.lp0/device"
    mv -T "$usbmisc/.lp0" "$usbmisc/lp0"
  fi
  if [ -e "$node" ] || [ -L "$node" ]; then return 0; fi
  if [ "$kind" = link ]; then
    ln -s "$target" "$node"
  else
    # A pty opens only through its devpts entry, so the pty itself is bound
    # onto the node; until then the node is root's 0600, as a fresh
    # devtmpfs node is before udev sets its mode and group.
    mknod -m 0600 "$node" c "$major" "$minor"
    mount --bind "$pty" "$node"
  fi
}

# Removes /dev/usb/lp0 (the event a watch on /dev/usb sees), then
# /sys/class/usbmisc/lp0.
unplug_here() {
  [ -f "$work/plug.env" ] || die "no simulated printer in this namespace"
  if mountpoint -q "$node" 2>/dev/null; then umount -l "$node"; fi
  rm -f "$node"
  rm -rf "$usbmisc/lp0"
}

all_args=("$@")
mode="" sim="" link="" sim_args=() unplugged=0 node_spec="" as_user="" hotplug="" pid=""
while [ $# -gt 0 ]; do
  case "$1" in
    --sim) [ $# -ge 2 ] || usage; mode=sim sim="$2"; shift 2 ;;
    --sim-arg) [ $# -ge 2 ] || usage; sim_args+=("$2"); shift 2 ;;
    --link) [ $# -ge 2 ] || usage; mode=link link="$2"; shift 2 ;;
    --none) mode=none; shift ;;
    --unplugged) unplugged=1; shift ;;
    --node) [ $# -ge 2 ] || usage; node_spec="$2"; shift 2 ;;
    --as-user) [ $# -ge 2 ] || usage; as_user="$2"; shift 2 ;;
    --plug|--unplug) [ $# -eq 2 ] || usage; hotplug="${1#--}" pid="$2"; shift 2 ;;
    # Used by --plug and --unplug once inside the namespace.
    --plug-here) plug_here; exit 0 ;;
    --unplug-here) unplug_here; exit 0 ;;
    --help) sed -n '2,44s/^# \{0,1\}//p' "$0"; exit 0 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done

if [ -n "$hotplug" ]; then
  if ! [[ "$pid" =~ ^[0-9]+$ ]] || [ ! -d "/proc/$pid" ]; then die "no process $pid"; fi
  # Entering a mount namespace moves to its root: the script by full path.
  self="$(readlink -f "$0")"
  enter=(--target "$pid" --mount)
  user_ns="$(readlink "/proc/$pid/ns/user")" || die "cannot see the namespaces of process $pid"
  if [ "$user_ns" != "$(readlink /proc/self/ns/user)" ]; then
    # Its owner keeps its own ids, which are root in there (it may not
    # set groups there); root becomes root in there.
    enter+=(--user)
    [ "$(id -u)" = 0 ] || enter+=(--preserve-credentials)
  fi
  exec nsenter "${enter[@]}" bash "$self" "--$hotplug-here"
fi

[ -n "$mode" ] && [ $# -ge 1 ] || usage
[ ${#sim_args[@]} -eq 0 ] || [ "$mode" = sim ] || usage
[ -z "$node_spec" ] || [ "$mode" = sim ] || usage
[ $unplugged = 0 ] || [ "$mode" != none ] || usage
if [ "$mode" = sim ] && [ ! -x "$sim" ]; then
  echo "usblp-namespace.sh: simulator $sim is not executable" >&2
  exit 2
fi
node_mode="" node_gid=""
if [ -n "$node_spec" ]; then
  node_mode="${node_spec%%:*}"
  [[ "$node_spec" == *:* && "$node_mode" =~ ^[0-7]{3,4}$ ]] || usage
  node_gid="$(getent group "${node_spec#*:}" | cut -d: -f3)" || true
  [ -n "$node_gid" ] || { echo "usblp-namespace.sh: no group ${node_spec#*:}" >&2; exit 2; }
fi

# Whom COMMAND runs as when the namespace is made as root (empty: root).
run_uid="" run_gid=""
if [ "$(id -u)" = 0 ]; then
  if [ -n "$as_user" ]; then
    entry="$(getent passwd "$as_user")" || { echo "usblp-namespace.sh: no user $as_user" >&2; exit 2; }
    run_uid="$(cut -d: -f3 <<<"$entry")" run_gid="$(cut -d: -f4 <<<"$entry")"
  elif [ -n "${SUDO_UID:-}" ] && [ "${SUDO_UID}" != 0 ]; then
    run_uid="$SUDO_UID" run_gid="${SUDO_GID:-$SUDO_UID}"
  fi
  [ "$run_uid" != 0 ] || run_uid="" run_gid=""
fi

# Outside: check that a namespace can be had, then start this script again
# inside one. unshare without --fork execs, so the pid stays the caller's.
if [ "${USBLP_NAMESPACE_INSIDE:-}" != "$$" ]; then
  if [ "$(id -u)" = 0 ]; then
    unshare=(unshare --mount --propagation private)
  else
    [ -z "$node_spec" ] || skip "--node needs root (device nodes cannot be made in a user namespace)"
    [ -z "$as_user" ] || skip "--as-user needs root"
    unshare=(unshare --user --map-root-user --mount --propagation private)
  fi
  "${unshare[@]}" true 2>/dev/null ||
    skip "mount namespaces are not allowed here (as root, or through a user namespace)"
  exec env USBLP_NAMESPACE_INSIDE=$$ "${unshare[@]}" bash "$0" "${all_args[@]}"
fi
unset USBLP_NAMESPACE_INSIDE

# How COMMAND and the simulator are started: as they are, or as run_uid.
as_runner=()
if [ -n "$run_uid" ]; then
  groups=(--clear-groups)
  getent passwd "$run_uid" >/dev/null && groups=(--init-groups)
  as_runner=(setpriv --reuid "$run_uid" --regid "$run_gid" "${groups[@]}" --)
  if entry="$(getent passwd "$run_uid")"; then
    export HOME USER LOGNAME
    HOME="$(cut -d: -f6 <<<"$entry")" USER="$(cut -d: -f1 <<<"$entry")" LOGNAME="$USER"
  fi
  # A runtime directory of root's (sudo may keep it) is of no use to the user.
  if [ -n "${XDG_RUNTIME_DIR:-}" ] && [ "$(stat -c %u "$XDG_RUNTIME_DIR" 2>/dev/null)" != "$run_uid" ]; then
    unset XDG_RUNTIME_DIR
  fi
fi

if [ "$mode" = none ]; then
  # Hide any real usbmisc entries behind an empty directory.
  if [ -d "$usbmisc" ]; then
    mount -t tmpfs -o mode=0755 usblp-usbmisc "$usbmisc" || skip "cannot hide $usbmisc"
  fi
  exec "${as_runner[@]}" "$@"
fi

# Everything of ours lives on this tmpfs, which exists only in the namespace.
mount -t tmpfs -o mode=0755 usblp-platform /sys/devices/platform || skip "cannot mount a tmpfs on /sys/devices/platform"
mkdir -p "$work/class-up/usbmisc" "$work/class-work" "$work/dev-host" "$work/sim" "$iface"
echo 07 > "$iface/bInterfaceClass"

# usbmisc as a class of its own: the overlay makes room for it where the
# kernel has none, the tmpfs on it hides real entries (mounts below a lower
# layer do not show through).
mount -t overlay overlay -o "lowerdir=/sys/class,upperdir=$work/class-up,workdir=$work/class-work" /sys/class ||
  skip "cannot mount an overlay on /sys/class"
mount -t tmpfs -o mode=0755 usblp-usbmisc "$usbmisc" || skip "cannot mount a tmpfs on $usbmisc"

# /dev as a tmpfs over the host's, which stays reachable at $work/dev-host.
mount --rbind /dev "$work/dev-host"
mount -t tmpfs -o mode=0755 usblp-dev /dev || skip "cannot mount a tmpfs on /dev"
shopt -s nullglob
links=() others=()
for path in "$work/dev-host"/*; do
  name="${path##*/}"
  if [ -L "$path" ]; then
    links+=("$path")
  elif [ -d "$path" ]; then
    [ "$name" = usb ] && continue
    mkdir "/dev/$name"
    mount --rbind "$path" "/dev/$name"
  else
    case "$name" in
      # Not ptmx: it finds its pts through its own path, which a single
      # bound file cannot offer; a symlink into the aside copy can.
      null|zero|full|random|urandom|tty|console)
        : > "/dev/$name"
        mount --bind "$path" "/dev/$name" ;;
      *) others+=("$path") ;;
    esac
  fi
done
shopt -u nullglob
[ ${#links[@]} -eq 0 ] || cp -P -t /dev "${links[@]}"
[ ${#others[@]} -eq 0 ] || ln -s -t /dev "${others[@]}"
mkdir -m 0755 /dev/usb

# The simulator makes its link to the pty in $work/sim (and removes it when
# it stops); /dev/usb/lp0 leads there.
if [ "$mode" = sim ]; then
  [ -z "$run_uid" ] || chown "$run_uid:$run_gid" "$work/sim"
  link="$work/sim/link"
  "${as_runner[@]}" "$sim" "${sim_args[@]}" --link "$link" > "$work/sim.out" &
  simpid=$!
  trap 'kill $simpid 2>/dev/null || true; wait $simpid 2>/dev/null || true' EXIT
  for _ in $(seq 250); do
    [ -L "$link" ] && break
    kill -0 $simpid 2>/dev/null || die "the simulator did not start"
    sleep 0.02
  done
  [ -L "$link" ] || die "the simulator made no link"
fi

if [ -n "$node_spec" ]; then
  pty="$(readlink -f "$link")"
  read -r major minor < <(stat -c '%t %T' "$pty")
  # The pty is the simulator's alone; it takes the node's owner and mode.
  chown "0:$node_gid" "$pty"
  chmod "$node_mode" "$pty"
  printf 'kind=node pty=%q major=%d minor=%d\n' "$pty" "0x$major" "0x$minor" > "$work/plug.env"
else
  printf 'kind=link target=%q\n' "$link" > "$work/plug.env"
fi
[ $unplugged = 1 ] || plug_here

if [ "$mode" = link ]; then
  exec "${as_runner[@]}" "$@"
fi

# In the foreground, so that a terminal's Ctrl-C reaches the command too.
status=0
"${as_runner[@]}" "$@" || status=$?
exit $status
