#!/usr/bin/env bash
# Runs the unchanged Linux ldt-report against a simulated machine that
# appears as the usblp node /dev/usb/lp0, inside a private mount namespace:
# a fake USB interface under /sys/devices/platform, /sys/class/usbmisc/lp0
# pointing at it, and /dev/usb/lp0 leading to the simulator's pty.
#   ldt_report_usblp.sh LDT_REPORT LDT_MACHINE_SIM
# Exits 77 (skipped) where mount namespaces are not allowed.
set -euo pipefail
report="$1" sim="$2"

if [ "${LDT_IN_NAMESPACE:-}" != 1 ]; then
  if ! unshare -m --propagation private true 2>/dev/null; then
    echo "SKIP: mount namespaces are not allowed here"
    exit 77
  fi
  exec env LDT_IN_NAMESPACE=1 unshare -m --propagation private "$0" "$@"
fi

work="$(mktemp -d)"
trap 'kill ${simpid:-} 2>/dev/null || true; wait 2>/dev/null || true' EXIT
mount -t tmpfs ldt "$work"
mkdir -p "$work/iface/lp0" "$work/class-up/usbmisc/lp0" "$work/class-work" \
         "$work/dev-up/usb" "$work/dev-work" "$work/pts"

# The fake interface and its class entry.
mount -t tmpfs ldt-platform /sys/devices/platform
mkdir -p /sys/devices/platform/ldt-usb/1-1:1.0
echo 07 > /sys/devices/platform/ldt-usb/1-1:1.0/bInterfaceClass
ln -s /sys/devices/platform/ldt-usb/1-1:1.0 "$work/class-up/usbmisc/lp0/device"
mount -t overlay overlay -o "lowerdir=/sys/class,upperdir=$work/class-up,workdir=$work/class-work" /sys/class

# The simulator's pty behind /dev/usb/lp0; /dev/pts is moved aside and back
# because mounts inside /dev do not show through the overlay.
"$sim" --link "$work/dev-up/usb/lp0" > "$work/sim.out" &
simpid=$!
for _ in $(seq 100); do [ -L "$work/dev-up/usb/lp0" ] && break; sleep 0.02; done
mount --bind /dev/pts "$work/pts"
mount -t overlay overlay -o "lowerdir=/dev,upperdir=$work/dev-up,workdir=$work/dev-work" /dev
mount --move "$work/pts" /dev/pts

out="$("$report")"
echo "$out"
lines=$(printf '%s\n' "$out" | wc -l)
[ "$lines" -eq 16 ] || { echo "FAIL: expected 16 lines, got $lines"; exit 1; }
printf '%s\n' "$out" | grep -qx 'Image Offset Tuning  _X: Left  12' || { echo "FAIL: offset line"; exit 1; }
echo "PASS: ldt-report read the simulated machine through /dev/usb/lp0"
