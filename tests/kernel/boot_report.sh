#!/bin/bash
# Boot: ldt-report through the real usblp driver, machines being printer
# gadgets on dummy_hcd served by the simulator.
. "$LDT_VM_LIB"
gadgets_init 3 && modprobe usblp || exit 1
for i in 0 1 2; do gadget_make "$i" || exit 1; done

# One machine: the report, the JSON and the diagnosis name the real device.
gadget_plug 0 && wait_lp 1 && sim_start 0 || exit 1
out="$("$LDT_REPORT")"
check "one machine: report" contains "rc=$?
$out" '^rc=0$' '^Firmware_Ver: V5\.07$' '^Image Offset Tuning  _Y: Down  5$'
out="$("$LDT_REPORT" --json)"
check "one machine: JSON" contains "$out" '"path": "/dev/usb/lp0", "opened": true, "answered": true' \
  '"vendorId": "1a2b", "productId": "3c4d", "manufacturer": "Simulated Lasers", "product": "Laser simulator", "serial": "SIM0000", "ieee1284Id": "MFG:Simulated Lasers;MDL:Laser simulator;CMD:LDT;CLS:PRINTER;"' \
  '"driver": "usblp", "location": "1-1:1.0"' '"written": 5, "received": 97'
out="$("$LDT_REPORT" --diagnose)"
check "one machine: diagnosis" contains "$out" '^Port 1: /dev/usb/lp0$' '^  USB id: 1a2b:3c4d$' \
  '^  Serial number: SIM0000$' '^  Driver: usblp$' '^  Location: 1-1:1.0$' '^  Result: opened; wrote 5 bytes, read 97 bytes'

# Three at once, the second silent: one bound for all, each named by its serial.
sim_stop 0
gadget_plug 1 && gadget_plug 2 && wait_lp 3 || exit 1
sim_start 0 && sim_start 1 --mode silent && sim_start 2 || exit 1
start=$(date +%s%3N)
out="$("$LDT_REPORT" --json)"; rc=$?
took=$(( $(date +%s%3N) - start ))
log "three machines, one silent: exit $rc after $took ms"
three() {
  [ $rc -eq 0 ] && [ $took -lt 2500 ] && python3 -c '
import json, sys
ports = {p["identity"]["serial"]: p for p in json.load(sys.stdin)["ports"]}
assert sorted(ports) == ["SIM0000", "SIM0001", "SIM0002"], ports.keys()
assert [ports[s]["received"] for s in sorted(ports)] == [97, 0, 97], ports
assert all(p["written"] == 5 and p["opened"] for p in ports.values())
' <<<"$out"
}
check "three machines, one silent: one bound, named by serial" three

# Unplugged in the middle of an exchange: the report ends promptly, well
# before its one-second wait for the reply would.
for i in 0 1 2; do sim_stop "$i"; done
gadget_unplug 1 && gadget_unplug 2 && wait_lp 1 || exit 1
sim_start 0 --mode late --delay 5000 --log /tmp/queries || exit 1
"$LDT_REPORT" > /tmp/unplug.out 2>&1 & report=$!
wait_until 10 test -s /tmp/queries && gadget_unplug 0
start=$(date +%s%3N)
wait "$report"; rc=$?
took=$(( $(date +%s%3N) - start ))
log "unplugged mid-exchange: exit $rc, $took ms after the unplug"
check "unplugged mid-exchange: ends promptly, no crash" test \( $rc -eq 1 -o $rc -eq 3 \) -a $took -lt 600
sim_stop 0
# A reply in two pieces: the one read takes the first USB transfer only,
# even when the second has come before the read.
gadget_plug 0 && wait_lp 1 || exit 1
sim_start 0 --mode split --delay 30 || exit 1
out="$("$LDT_REPORT" --json)"
check "a reply in pieces: the first piece" contains "$out" '"written": 5, "received": 48,' \
  '"label": "Firmware_Ver", "value": "V5.07"' '"label": "Carriage Free", "value": "Yes"' '"label": "Usb Setup Wizard", "value": ""'
# A second piece that comes after the program has let go of the node waits
# in the gadget; the next refresh drops it rather than take it for its
# answer.
sim_stop 0
sim_start 0 --mode split --delay 300 || exit 1
"$LDT_REPORT" --json >/dev/null
sleep 0.5
out="$("$LDT_REPORT" --json)"
check "a late second piece is dropped, not taken for the next answer" contains "$out" \
  '"written": 5, "received": 48,' '"label": "Firmware_Ver", "value": "V5.07"'

sim_stop 0

finish
