#!/bin/bash
# Boot (kernel command line modprobe.blacklist=usblp): machines reached
# without a usblp node, through usbfs, and beside usblp machines; printer
# gadgets on dummy_hcd served by the simulator.
. "$LDT_VM_LIB"
gadgets_init 2 || exit 1
for i in 0 1; do gadget_make "$i" || exit 1; done
json_port() {  # json_port JSON PATH FIELD: the field of the port with that path
  python3 -c 'import json,sys; p=[p for p in json.load(sys.stdin)["ports"] if p["path"]==sys.argv[1]]; print(p[0][sys.argv[2]] if p else "none")' "$2" "$3" <<<"$1"
}

# usblp not loaded: the machine is read through the raw route, with the
# same identity (the 1284 id from GET_DEVICE_ID).
gadget_plug 0 && wait_until 10 test -e /sys/bus/usb/devices/1-1:1.0 && sim_start 0 || exit 1
out="$("$LDT_REPORT" --json)"; rc=$?
check "usblp not loaded: read through the raw route" contains "rc=$rc
$out" '^rc=0$' '"path": "usb 1-1", "opened": true, "answered": true' '"written": 5, "received": 97' \
  '"serial": "SIM0000", "ieee1284Id": "MFG:Simulated Lasers;MDL:Laser simulator;CMD:LDT;CLS:PRINTER;"' \
  '"location": "1-1:1.0"'
check "usblp not loaded: no driver bound afterwards" test ! -e /sys/bus/usb/devices/1-1:1.0/driver
out="$("$LDT_REPORT")"
check "usblp not loaded: the report lines" contains "$out" '^Firmware_Ver: V5\.07$'

# The kernel command line's blacklist is named by libkmod.
check "command-line blacklist: named" "$LDT_BUILD/tests/platform/linux/platform_linux_test" \
  --gtest_filter='SysfsUsb.kernelCommandLineBlacklist_isNamed' --gtest_brief=1

# Another program holds the interface (it claimed it through usbfs): the
# report says so and nothing takes it away.
node="$(printf '/dev/bus/usb/%03d/%03d' "$(cat /sys/bus/usb/devices/1-1/busnum)" "$(cat /sys/bus/usb/devices/1-1/devnum)")"
python3 -c 'import fcntl, os, struct, sys, time
fd = os.open(sys.argv[1], os.O_RDWR)
fcntl.ioctl(fd, 0x8004550f, struct.pack("I", 0))  # USBDEVFS_CLAIMINTERFACE 0
time.sleep(60)' "$node" & holder=$!
driver_is() { [ "$(basename "$(readlink /sys/bus/usb/devices/1-1:1.0/driver)")" = "$1" ]; }
wait_until 10 driver_is usbfs || exit 1
out="$("$LDT_REPORT" --diagnose)"
check "held by another program: reported" contains "$out" 'held by another program \(driver usbfs\)'
check "held by another program: not taken" driver_is usbfs
kill "$holder"; wait "$holder" 2>/dev/null

# Unplugged mid-exchange: ends promptly.
sim_stop 0; : > /tmp/q1; sim_start 0 --mode late --delay 5000 --log /tmp/q1 || exit 1
"$LDT_REPORT" > /tmp/unplug.out 2>&1 & report=$!
wait_until 10 test -s /tmp/q1 && gadget_unplug 0
start=$(date +%s%3N); wait "$report"; rc=$?; took=$(( $(date +%s%3N) - start ))
log "raw unplug mid-exchange: exit $rc, $took ms after the unplug"
check "raw unplug mid-exchange: ends promptly" test \( $rc -eq 1 -o $rc -eq 3 \) -a $took -lt 600
sim_stop 0

# One usblp machine and one raw machine in one refresh; usblp stays bound.
modprobe usblp || exit 1
gadget_plug 0 && gadget_plug 1 && wait_lp 2 || exit 1
echo 2-1:1.0 > /sys/bus/usb/drivers/usblp/unbind && wait_lp 1 || exit 1
sim_start 0 && sim_start 1 || exit 1
out="$("$LDT_REPORT" --json)"
check "usblp and raw at once" contains "$out" '"path": "/dev/usb/lp[0-9]", "opened": true, "answered": true' \
  '"path": "usb 2-1", "opened": true, "answered": true' '"serial": "SIM0001"'
check "usblp stays bound" test "$(basename "$(readlink /sys/bus/usb/devices/1-1:1.0/driver)")" = usblp
check "an unbound interface stays unbound" test ! -e /sys/bus/usb/devices/2-1:1.0/driver

sim_stop 1; gadget_unplug 1; sim_stop 0

# A user outside lp: the raw node without the rule is root's alone.
gadget_unplug 0; rmmod usblp; gadget_plug 0 && wait_until 10 test -e /sys/bus/usb/devices/1-1:1.0 || exit 1
sim_start 0 || exit 1
out="$(su -s /bin/sh nobody -c "$LDT_REPORT" 2>&1)"
check "user without access: the permission diagnosis" contains "$out" 'Cannot open usb 1-1: Permission denied\.' \
  'install the udev rule'
sim_stop 0

finish
