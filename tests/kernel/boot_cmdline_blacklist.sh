#!/bin/bash
# Boot with modprobe.blacklist=usblp on the kernel command line: the
# diagnosis names that blacklist.
. "$LDT_VM_LIB"
gadgets_init 1 && gadget_make 0 && gadget_plug 0 || exit 1
wait_until 10 test -e /sys/bus/usb/devices/1-1:1.0 || exit 1
check "usblp not loadable" test ! -d /sys/module/usblp
out="$("$LDT_REPORT" --diagnose)"
check "command-line blacklist: named" contains "$out" '^  Cause: .*usblp.*kernel command line'
finish
