#!/bin/bash
# Boot: a printer-class interface without a usblp node, for each real
# reason; the diagnosis names the cause.
. "$LDT_VM_LIB"
gadgets_init 1 && gadget_make 0 && gadget_plug 0 || exit 1
wait_until 10 test -e /sys/bus/usb/devices/1-1:1.0 || exit 1
cause() {  # cause NAME PATTERN: ldt-report --diagnose names the cause
  local out; out="$("$LDT_REPORT" --diagnose)"
  check "$1" contains "$out" '^- Simulated Lasers Laser simulator \(USB 1a2b:3c4d\)$' "^  Cause: $2"
}

cause "usblp not loaded" 'The usblp driver, .* is not loaded\.$'

printf '# printers go through the print service\nblacklist usblp\n' > /etc/modprobe.d/ldt-test.conf
cause "blacklisted in modprobe.d" 'The usblp driver, .* is kept from loading by line 2 of /etc/modprobe.d/ldt-test.conf \(blacklist usblp\)\.$'
rm /etc/modprobe.d/ldt-test.conf

modprobe usblp && wait_lp 1 && echo 1-1:1.0 > /sys/bus/usb/drivers/usblp/unbind && wait_lp 0 || exit 1
cause "an interface left unbound" 'The machine.s printer interface is bound to no driver'
rmmod usblp

# A kernel without the driver: its module taken out of the module tree and
# its index (depmod takes more than a minute here; the text index is enough).
kmods="/lib/modules/$(uname -r)"
mkdir -p /tmp/mods/upper /tmp/mods/work
mount -t overlay overlay -o "lowerdir=$kmods,upperdir=/tmp/mods/upper,workdir=/tmp/mods/work" "$kmods" || exit 1
grep -v '/usblp\.ko:' "$kmods/modules.dep" > /tmp/modules.dep || exit 1
cp /tmp/modules.dep "$kmods/modules.dep" && rm "$kmods/modules.dep.bin" "$kmods/kernel/drivers/usb/class/usblp.ko" || exit 1
modprobe -q usblp && { echo "usblp still loads" >&2; exit 1; }
cause "usblp missing from the kernel" 'This system.s kernel has no usblp driver'
finish
