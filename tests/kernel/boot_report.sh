#!/bin/bash
# Boot: ldt-report through the real usblp driver.
. "$LDT_VM_LIB"
machines 1 || exit 1
out="$("$LDT_REPORT")"; rc=$?
check "one machine: report" contains "rc=$rc
$out" '^rc=0$' '^Firmware_Ver.*V5\.07'
finish
