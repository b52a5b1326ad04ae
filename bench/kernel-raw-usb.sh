#!/bin/bash
# Benchmark on the real kernel (a figure, never a check): ldt-report's
# refresh of the same machine through the usblp node and through the raw
# USB route, rounds alternating so that the emulator's drift hits both
# alike. Run it in the VM:
#   scripts/kernel-vm.sh --env LDT_BUILD=$PWD/build/linux bench/kernel-raw-usb.sh
. "$LDT_VM_LIB"
machines 1 || exit 1
node_ms=0 raw_ms=0
timed() { local s=$(date +%s%N); "$LDT_REPORT" >/dev/null; echo $(( ($(date +%s%N) - s) / 1000000 )); }
for ((round = 0; round < 20; round++)); do
  node_ms=$(( node_ms + $(timed) ))
  echo 1-1:1.0 > /sys/bus/usb/drivers/usblp/unbind && wait_lp 0 || exit 1
  raw_ms=$(( raw_ms + $(timed) ))
  echo 1-1:1.0 > /sys/bus/usb/drivers/usblp/bind && wait_lp 1 || exit 1
done
log "benchmark: 20 refreshes each, through usblp $node_ms ms, through raw USB $raw_ms ms, ratio $(awk "BEGIN{printf \"%.3f\", $raw_ms/$node_ms}")"
sim_stop 0

true
