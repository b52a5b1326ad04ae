#!/bin/bash
# Boot with systemd-udevd: usblp blacklisted in modprobe.d, so udev does not
# load it for a plugged machine, which is then read through the raw route;
# the package's rule gives the user at the seat (uaccess) the machine's USB
# node, and a user without it gets the permission diagnosis.
. "$LDT_VM_LIB"
echo "blacklist usblp" > /etc/modprobe.d/ldt-test.conf
rules=/etc/udev/rules.d/70-laser-diagnostic-tool.rules
gadgets_init 1 && gadget_make 0 || exit 1
udevd_start || exit 1
usb_node() { printf '/dev/bus/usb/%03d/%03d' "$(cat /sys/bus/usb/devices/1-1/busnum)" "$(cat /sys/bus/usb/devices/1-1/devnum)"; }
plug() {  # plug: the machine plugged in and handled by udev, its simulator started
  gadget_plug 0 && wait_until 10 test -e /sys/bus/usb/devices/1-1:1.0 && udevadm settle --timeout=30 && sim_start 0
}
unplug() { sim_stop 0; gadget_unplug 0; udevadm settle --timeout=30; }

# The user at the seat is nobody (uid 65534), as logind would record it.
mkdir -p /run/systemd/seats /run/systemd/system
printf 'ACTIVE=c1\nACTIVE_UID=65534\nSESSIONS=c1\nUIDS=65534\n' > /run/systemd/seats/seat0

# Without the rule: udev does not load usblp; the node is root's and lp's.
plug || exit 1
check "modprobe.d blacklist: usblp not loaded by udev" test ! -e /sys/module/usblp
out="$("$LDT_REPORT" --json)"
check "modprobe.d blacklist: read through the raw route" contains "$out" '"path": "usb 1-1", "opened": true, "answered": true' \
  '"written": 5, "received": 97'
out="$(su -s /bin/sh nobody -c "$LDT_REPORT" 2>&1)"
check "at the seat, no rule: the permission diagnosis" contains "$out" 'Cannot open usb 1-1: Permission denied\.' 'install the udev rule'
unplug

# With the rule: the seat's user may claim it.
cp "$LDT_REPO/packaging/linux/70-laser-diagnostic-tool.rules" "$rules" && udevadm control --reload || exit 1
plug || exit 1
log "$(usb_node): $(stat -c '%a %U:%G' "$(usb_node)"); $(getfacl -p "$(usb_node)" 2>/dev/null | grep '^user:' | tr '\n' ' ')"
check "the rule: group lp, tagged uaccess" contains "$(stat -c '%G' "$(usb_node)") $(udevadm info -q property "$(usb_node)")" \
  '^lp ' 'TAGS=.*:uaccess:'
out="$(su -s /bin/sh nobody -c "$LDT_REPORT" 2>&1)"
check "at the seat, with the rule: read through the raw route" contains "$out" '^Firmware_Ver: V5\.07$'
unplug

finish
