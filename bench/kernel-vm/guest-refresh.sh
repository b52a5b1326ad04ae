#!/bin/bash
# Guest side of bench/kernel-vm.sh: prints "bench: ..." lines.
. "$LDT_VM_LIB"
echo "bench: guest script started $(cut -d' ' -f1 /proc/uptime) s after the kernel"
# The kernel's printer function has four instances at most (mkdir of a
# fifth fails ENODEV): four machines is as many as one guest can have.
gadgets_init 4 && modprobe usblp || exit 1
for i in 0 1 2 3; do gadget_make "$i" || exit 1; done
t0=$(date +%s%3N); gadget_plug 0 && wait_lp 1 || exit 1
echo "bench: plug-in to usblp node $(( $(date +%s%3N) - t0 )) ms"
sim_start 0 || exit 1
# One round trip through usblp without the pause: the query written, the
# reply's first bytes read.
rt="$(python3 -c '
import os, select, time
fd = os.open("/dev/usb/lp0", os.O_RDWR)
best = None
for _ in range(10):
    t = time.monotonic(); os.write(fd, b"\x1a\x24\x69\x34\x58")
    p = select.poll(); p.register(fd, select.POLLIN); p.poll(2000); os.read(fd, 256)
    d = (time.monotonic() - t) * 1000; best = d if best is None else min(best, d)
print("%.1f" % best)')"
echo "bench: round trip through usblp (best of 10) $rt ms; floor $(awk -v r="$rt" 'BEGIN { printf "%.1f", 50 + r }') ms"
refresh() {  # refresh N: ROUNDS runs of ldt-report --json, wall time and the ports' elapsedMs
  local n="$1" r walls="" elapsed=""
  for ((r = 0; r < ROUNDS; r++)); do
    local t=$(date +%s%3N) out
    out="$("$LDT_REPORT" --json)" || { echo "bench: ldt-report failed with $n machines"; return; }
    walls="$walls $(( $(date +%s%3N) - t ))"
    elapsed="$elapsed $(grep -o '"elapsedMs": [0-9]*' <<<"$out" | awk '{print $2}' | sort -n | tail -n1)"
  done
  echo "bench: $n machine(s): exchange (write to last read) ms:$elapsed; whole ldt-report ms:$walls"
}
refresh 1
for i in 1 2 3; do gadget_plug "$i" || exit 1; done
wait_lp 4 || exit 1
for i in 1 2 3; do sim_start "$i" || exit 1; done
refresh 4
