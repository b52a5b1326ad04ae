#!/bin/bash
# Boot: usblp and its node. First without udev, a printer-class interface
# without a usblp node for each real reason: the machine is read through the
# raw USB route all the same. Then with the real systemd-udevd: the
# package's rule on a real usblp node (group, mode, the uaccess tag and the
# seat user's ACL), and what a user outside lp gets without it.
. "$LDT_VM_LIB"
gadgets_init 1 && gadget_make 0 && gadget_plug 0 || exit 1
wait_until 10 test -e /sys/bus/usb/devices/1-1:1.0 && sim_start 0 || exit 1
raw() {  # raw NAME: ldt-report reads the machine through the raw route
  check "$1: read raw" contains "$("$LDT_REPORT" --json)" '"path": "usb 1-1", "opened": true, "answered": true'
}

raw "usblp not loaded"

printf '# printers go through the print service\nblacklist usblp\n' > /etc/modprobe.d/ldt-test.conf
raw "blacklisted in modprobe.d"
rm /etc/modprobe.d/ldt-test.conf

modprobe usblp && wait_lp 1 && echo 1-1:1.0 > /sys/bus/usb/drivers/usblp/unbind && wait_lp 0 || exit 1
raw "an interface left unbound"
rmmod usblp

# A kernel without the driver: its module taken out of the module tree and
# its index (depmod takes more than a minute here; the text index is enough).
kmods="/lib/modules/$(uname -r)"
mkdir -p /tmp/mods/upper /tmp/mods/work
mount -t overlay overlay -o "lowerdir=$kmods,upperdir=/tmp/mods/upper,workdir=/tmp/mods/work" "$kmods" || exit 1
grep -v '/usblp\.ko:' "$kmods/modules.dep" > /tmp/modules.dep || exit 1
cp /tmp/modules.dep "$kmods/modules.dep" && rm "$kmods/modules.dep.bin" "$kmods/kernel/drivers/usb/class/usblp.ko" || exit 1
modprobe -q usblp && { echo "usblp still loads" >&2; exit 1; }
raw "usblp missing from the kernel"
sim_stop 0
umount "$kmods" && gadget_unplug 0 || exit 1

rules=/etc/udev/rules.d/70-laser-diagnostic-tool.rules
udevd_start || exit 1
# The user at the seat is nobody, recorded as logind would; udev's uaccess
# builtin reads it and gives that user an ACL on tagged nodes.
mkdir -p /run/systemd/seats /run/systemd/system
printf 'ACTIVE=c1\nACTIVE_UID=65534\nSESSIONS=c1\nUIDS=65534\n' > /run/systemd/seats/seat0
plug() { gadget_plug 0 && wait_lp 1 && udevadm settle --timeout=30 && sim_start 0; }
unplug() { sim_stop 0; gadget_unplug 0; udevadm settle --timeout=30; wait_lp 0; }
as_nobody() { su -s /bin/sh nobody -c "$*" 2>&1; }

# Without the rule: udev loads usblp by itself; the node is root:lp 0660.
plug || exit 1
check "udev loads usblp for a plugged machine" test -d /sys/module/usblp
check "no rule: the node is root:lp 0660" contains \
  "$(stat -c '%U:%G %a' /dev/usb/lp0) $(udevadm info -q property /dev/usb/lp0 | grep '^TAGS=')" '^root:lp 660 '
check "no rule: not tagged uaccess" test -z "$(udevadm info -q property /dev/usb/lp0 | grep '^TAGS=.*:uaccess:')"
out="$(as_nobody "$LDT_REPORT --diagnose")"
check "no rule, outside lp: the permission diagnosis" contains "$out" '^  Result: cannot open: Permission denied' \
  'sudo adduser \$USER lp'
unplug

# With the rule: tagged uaccess, the seat's user has an ACL and reads.
cp "$LDT_REPO/packaging/linux/70-laser-diagnostic-tool.rules" "$rules" && udevadm control --reload || exit 1
plug || exit 1
acl="$(getfacl -p /dev/usb/lp0 2>/dev/null | grep '^user:')"
log "with the rule: $(stat -c '%U:%G %a' /dev/usb/lp0); $(tr '\n' ' ' <<<"$acl")"
check "the rule: root:lp 0660, tagged uaccess" contains \
  "$(stat -c '%U:%G %a' /dev/usb/lp0) $(udevadm info -q property /dev/usb/lp0 | grep '^TAGS=')" '^root:lp 660 TAGS=.*:uaccess:'
check "the rule: the seat's user gets rw" contains "$acl" '^user:nobody:rw-$'
out="$(as_nobody "$LDT_REPORT")"
check "the rule, outside lp at the seat: reads" contains "$out" '^Firmware_Ver: V5\.07$'
unplug
finish
