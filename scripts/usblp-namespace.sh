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
#       No lp* entry under /sys/class/usbmisc and no USB device (real ones
#       are hidden). COMMAND replaces this script.
#   usblp-namespace.sh [OPTION]... --portless -- COMMAND [ARG]...
#       The printer's USB device and its printer-class interface, but no
#       usblp node: usblp is not bound to it (see --driver, --usblp and
#       --modprobe-conf for why). COMMAND replaces this script.
#   usblp-namespace.sh --unplug PID
#   usblp-namespace.sh --plug PID
#       Unplugs, or plugs back in, the printer of the namespace that process
#       PID runs in (COMMAND, or this script with --sim): removes, or makes,
#       its USB device under /sys/devices and /sys/bus/usb/devices,
#       /sys/class/usbmisc/lp0 and /dev/usb/lp0. An inotify watch on /dev/usb
#       sees the node deleted or created. Plugging a plugged printer, or
#       unplugging an unplugged one, does nothing. A descriptor COMMAND holds
#       open stays connected to the simulator.
#   usblp-namespace.sh --detach PID
#   usblp-namespace.sh --attach PID
#       As a printing service that takes the interface from usblp, and gives
#       it back: removes, or makes, the node, its usbmisc entry and the
#       interface's driver link; the USB device stays.
#
# The printer's USB device is /sys/devices/platform/usblp-sim/usb1/1-1 (ids
# 1a2b:3c4d, "Simulated Lasers", "Laser simulator", serial SIM0001), its
# interface 1-1:1.0 (class 07, usblp's ieee1284_id, bound to usblp), both
# listed in /sys/bus/usb/devices as by the kernel.
#
# Options:
#   --unplugged        start with the printer unplugged (--plug adds it)
#   --usb-attr NAME=VALUE
#                      the device's attribute NAME (idVendor, idProduct,
#                      manufacturer, product, serial, or the interface's
#                      ieee1284_id) reads VALUE; repeatable
#   --driver NAME      with --portless: the interface is bound to the
#                      driver NAME (default: to none)
#   --usblp STATE      the usblp module is: loaded, builtin, module (a
#                      module file of the running kernel, not loaded) or
#                      missing; the real module records and modprobe.d
#                      folders are hidden (/sys/module, /lib/modules,
#                      /proc/modules where it exists). Default with
#                      --portless or --modprobe-conf: module
#   --modprobe-conf FILE
#                      FILE is in /etc/modprobe.d under its own name;
#                      repeatable
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
# Inside: a tmpfs on /sys/devices/platform holds the fake USB device and
# interface, the overlay layers and the simulator's link; overlays on
# /sys/class and /sys/bus make room for usbmisc and usb where the kernel has
# none, and tmpfs mounts on /sys/class/usbmisc (lp0, whose `device` links to
# the interface) and /sys/bus/usb (devices/1-1 and 1-1:1.0) hide the host's.
# With --usblp, /sys/module, /lib/modules and the modprobe.d folders are
# made the same way, and an existing /proc/modules is covered by a file.
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
  sed -n '2,93s/^# \{0,1\}//p' "$0" >&2
  exit 2
}
skip() { echo "SKIP: $*" >&2; exit 77; }
die() { echo "usblp-namespace.sh: $*" >&2; exit 1; }

# Fixed places inside the namespace.
work=/sys/devices/platform/.usblp-namespace
device=/sys/devices/platform/usblp-sim/usb1/1-1
iface=$device/1-1:1.0
usbdevices=/sys/bus/usb/devices
usbmisc=/sys/class/usbmisc
node=/dev/usb/lp0

# Makes the USB device, its interface and their /sys/bus/usb/devices
# entries, from the attributes kept in $work/attrs.
make_device_here() {
  [ ! -d "$device" ] || return 0
  local staged="$device.new" name
  rm -rf "$staged"
  mkdir -p "$staged/1-1:1.0"
  for name in idVendor idProduct manufacturer product serial; do
    cp "$work/attrs/$name" "$staged/$name"
  done
  # usblp prints the id without a line end, unlike the other attributes.
  printf '%s' "$(cat "$work/attrs/ieee1284_id")" > "$staged/1-1:1.0/ieee1284_id"
  echo 07 > "$staged/1-1:1.0/bInterfaceClass"
  mv -T "$staged" "$device"
  ln -sfn "$device" "$usbdevices/1-1"
  ln -sfn "$iface" "$usbdevices/1-1:1.0"
}

# Binds the interface to `driver` (none when empty).
bind_here() {
  rm -f "$iface/driver"
  [ -z "$1" ] || ln -s "/sys/bus/usb/drivers/$1" "$iface/driver"
}

# Removes /sys/class/usbmisc/lp0 and the driver link, then /dev/usb/lp0
# (the event a watch on /dev/usb sees), as when usblp lets the interface go;
# the kernel's devtmpfs then removes /dev/usb itself, which is empty.
detach_here() {
  rm -rf "$usbmisc/lp0"
  rm -f "$iface/driver"
  if mountpoint -q "$node" 2>/dev/null; then umount -l "$node"; fi
  rm -f "$node"
  rmdir "${node%/*}" 2>/dev/null || true
}

# Makes the device (when missing), binds usblp, makes
# /sys/class/usbmisc/lp0, then /dev/usb/lp0, as the kernel and udev do,
# from the description in $work/plug.env. A portless printer gets only
# its device, bound to its driver.
plug_here() {
  [ -f "$work/plug.env" ] || die "no simulated printer in this namespace"
  local kind target pty major minor driver=""
  # shellcheck source=/dev/null
  . "$work/plug.env"
  make_device_here
  if [ "$kind" = portless ]; then
    [ -e "$iface/driver" ] || [ -L "$iface/driver" ] || bind_here "$driver"
    return 0
  fi
  [ -L "$iface/driver" ] || bind_here usblp
  if [ ! -d "$usbmisc/lp0" ]; then
    # Complete before it appears under its name.
    rm -rf "$usbmisc/.lp0"
    mkdir "$usbmisc/.lp0"
    ln -s "$iface" "$usbmisc/.lp0/device"
    mv -T "$usbmisc/.lp0" "$usbmisc/lp0"
  fi
  if [ -e "$node" ] || [ -L "$node" ]; then return 0; fi
  mkdir -p -m 0755 "${node%/*}"
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

# Removes the USB device from sysfs, then /dev/usb/lp0, as an unplug does.
unplug_here() {
  [ -f "$work/plug.env" ] || die "no simulated printer in this namespace"
  rm -rf "$usbmisc/lp0"
  rm -f "$usbdevices/1-1" "$usbdevices/1-1:1.0"
  rm -rf "$device"
  detach_here
}

all_args=("$@")
mode="" sim="" link="" sim_args=() unplugged=0 node_spec="" as_user="" hotplug="" pid=""
usb_attrs=() driver="" usblp_state="" modprobe_confs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sim) [ $# -ge 2 ] || usage; mode=sim sim="$2"; shift 2 ;;
    --sim-arg) [ $# -ge 2 ] || usage; sim_args+=("$2"); shift 2 ;;
    --link) [ $# -ge 2 ] || usage; mode=link link="$2"; shift 2 ;;
    --none) mode=none; shift ;;
    --portless) mode=portless; shift ;;
    --usb-attr) [ $# -ge 2 ] && [[ "$2" =~ ^(idVendor|idProduct|manufacturer|product|serial|ieee1284_id)= ]] || usage
      usb_attrs+=("$2"); shift 2 ;;
    --driver) [ $# -ge 2 ] || usage; driver="$2"; shift 2 ;;
    --usblp) [ $# -ge 2 ] && [[ "$2" =~ ^(loaded|builtin|module|missing)$ ]] || usage; usblp_state="$2"; shift 2 ;;
    --modprobe-conf) [ $# -ge 2 ] && [ -f "$2" ] || usage; modprobe_confs+=("$(readlink -f "$2")"); shift 2 ;;
    --unplugged) unplugged=1; shift ;;
    --node) [ $# -ge 2 ] || usage; node_spec="$2"; shift 2 ;;
    --as-user) [ $# -ge 2 ] || usage; as_user="$2"; shift 2 ;;
    --plug|--unplug|--attach|--detach) [ $# -eq 2 ] || usage; hotplug="${1#--}" pid="$2"; shift 2 ;;
    # Used by --plug, --unplug, --attach and --detach once inside the namespace.
    --plug-here|--attach-here) plug_here; exit 0 ;;
    --unplug-here) unplug_here; exit 0 ;;
    --detach-here) [ -f "$work/plug.env" ] || die "no simulated printer in this namespace"; detach_here; exit 0 ;;
    --help) sed -n '2,93s/^# \{0,1\}//p' "$0"; exit 0 ;;
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
[ -z "$driver" ] || [ "$mode" = portless ] || usage
[ "$mode" != portless ] && [ ${#modprobe_confs[@]} -eq 0 ] || [ -n "$usblp_state" ] || usblp_state=module
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

# Makes `dir` an empty folder of ours: a tmpfs on it, and where it does not
# exist, first an overlay on its parent `parent` that adds it (the overlay's
# layers live in $work/overlays). Real entries are hidden, since mounts
# below a lower layer do not show through.
own_dir() {
  local dir="$1" parent="$2" layers
  if [ ! -d "$dir" ]; then
    layers="$work/overlays/${parent//\//_}"
    mkdir -p "$layers/up/${dir#"$parent"/}" "$layers/work"
    mount -t overlay overlay -o "lowerdir=$parent,upperdir=$layers/up,workdir=$layers/work" "$parent" ||
      skip "cannot mount an overlay on $parent"
  fi
  mount -t tmpfs -o mode=0755 usblp-own "$dir" || skip "cannot mount a tmpfs on $dir"
}

# The usblp module as --usblp says, and the modprobe configuration as
# --modprobe-conf gives it, with the system's own records hidden.
fake_modules() {
  local modules conf dir seen=" "
  [ -n "$usblp_state" ] || return 0
  own_dir /sys/module /sys
  [ "$usblp_state" != loaded ] && [ "$usblp_state" != builtin ] || mkdir -p /sys/module/usblp/parameters
  # The module folders are /lib/modules, wherever /lib leads.
  modules="$(readlink -f /lib)/modules"
  own_dir "$modules" "${modules%/modules}"
  modules="$modules/$(uname -r)"
  mkdir -p "$modules/kernel/drivers/usb/class"
  case "$usblp_state" in
    module) : > "$modules/kernel/drivers/usb/class/usblp.ko" ;;
    builtin) echo kernel/drivers/usb/class/usblp.ko > "$modules/modules.builtin" ;;
  esac
  # The indexes libkmod reads, made from those files (an empty .ko is listed).
  PATH="$PATH:/usr/sbin:/sbin" depmod -b / "$(uname -r)" >/dev/null 2>&1 || [ -e "$modules/modules.dep.bin" ] ||
    skip "depmod cannot index the fake modules"
  if [ -e /proc/modules ]; then
    : > "$work/proc-modules"
    [ "$usblp_state" != loaded ] || echo "usblp 32768 0 - Live 0x0000000000000000" > "$work/proc-modules"
    mount --bind "$work/proc-modules" /proc/modules || skip "cannot replace /proc/modules"
  fi
  for dir in /etc/modprobe.d /run/modprobe.d /usr/local/lib/modprobe.d /usr/lib/modprobe.d /lib/modprobe.d; do
    [ -d "$dir" ] || [ "$dir" = /etc/modprobe.d ] || continue
    [ ! -d "$dir" ] || dir="$(readlink -f "$dir")"
    [[ "$seen" != *" $dir "* ]] || continue
    seen+="$dir "
    own_dir "$dir" "${dir%/*}"
  done
  for conf in "${modprobe_confs[@]}"; do cp "$conf" /etc/modprobe.d/; done
}

# Everything of ours lives on this tmpfs, which exists only in the
# namespace. The USB bus and the usbmisc class are empty and our own.
mount -t tmpfs -o mode=0755 usblp-platform /sys/devices/platform || skip "cannot mount a tmpfs on /sys/devices/platform"
own_dir "$usbmisc" /sys/class
own_dir /sys/bus/usb /sys/bus
mkdir -p "$usbdevices" /sys/bus/usb/drivers/usblp
fake_modules

if [ "$mode" = none ]; then
  exec "${as_runner[@]}" "$@"
fi

# The printer's attributes, as --plug makes its device from them.
mkdir -p "$work/dev-host" "$work/sim" "$work/attrs" "${device%/*}"
printf '%s\n' 1a2b > "$work/attrs/idVendor"
printf '%s\n' 3c4d > "$work/attrs/idProduct"
printf '%s\n' "Simulated Lasers" > "$work/attrs/manufacturer"
printf '%s\n' "Laser simulator" > "$work/attrs/product"
printf '%s\n' SIM0001 > "$work/attrs/serial"
printf '%s\n' "MFG:Simulated Lasers;MDL:Laser simulator;CMD:LDT;CLS:PRINTER;" > "$work/attrs/ieee1284_id"
for attr in "${usb_attrs[@]}"; do printf '%s\n' "${attr#*=}" > "$work/attrs/${attr%%=*}"; done

if [ "$mode" = portless ]; then
  printf 'kind=portless driver=%q\n' "$driver" > "$work/plug.env"
  [ $unplugged = 1 ] || plug_here
  exec "${as_runner[@]}" "$@"
fi

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
