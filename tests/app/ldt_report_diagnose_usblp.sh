#!/usr/bin/env bash
# Runs the unchanged Linux ldt-report --diagnose and --json inside
# scripts/usblp-namespace.sh, whose printer is a USB device with an identity
# in sysfs: a node that answers, one that stays silent, one the user may not
# open, a printer-class interface without a node (kept out by a modprobe.d
# file, usblp not loaded, left without a driver). Each diagnosis must name
# the device, what happened and what to do.
#   ldt_report_diagnose_usblp.sh LDT_REPORT LDT_MACHINE_SIM
# Exits 77 (skipped) where mount namespaces are not allowed.
set -euo pipefail
report="$1" sim="$2"
ns="$(cd "$(dirname "$0")/../.." && pwd)/scripts/usblp-namespace.sh"
fail() { echo "FAIL: $*"; exit 1; }
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export LDT_NO_HISTORY=1  # these runs record nothing

# Runs ldt-report with $1 (its option) in a namespace made with the rest;
# sets out, err and status.
diagnose() {
  local option="$1"
  shift
  status=0
  "$ns" "$@" -- "$report" "$option" > "$tmp/out" 2> "$tmp/err" || status=$?
  [ $status -ne 77 ] || exit 77
  out="$(cat "$tmp/out")" err="$(cat "$tmp/err")"
}
# Each argument is a line the diagnosis text must hold.
holds() {
  local line
  for line in "$@"; do
    grep -qxF -- "$line" <<<"$out" || fail "the diagnosis lacks \"$line\":"$'\n'"$out"
  done
}
# Checks the JSON report in $out with the Python expression $1 (doc is the object).
json_holds() {
  python3 -c 'import json, sys; doc = json.load(sys.stdin); assert eval(sys.argv[1]), sys.argv[1]' "$1" <<<"$out" ||
    fail "the JSON report fails $1:"$'\n'"$out"
}
identity=("  USB id: 1a2b:3c4d" "  Manufacturer: Simulated Lasers" "  Product: Laser simulator" "  Serial number: SIM0001"
          "  IEEE 1284 id: MFG:Simulated Lasers;MDL:Laser simulator;CMD:LDT;CLS:PRINTER;" "  Location: 1-1:1.0")
id_json='doc["ports"][0]["identity"]["vendorId"] == "1a2b" and doc["ports"][0]["identity"]["serial"] == "SIM0001"'

diagnose --diagnose --sim "$sim"
[ $status -eq 0 ] || fail "exit $status for an answering machine: $err"
holds "Port 1: /dev/usb/lp0" "${identity[@]}" "  Driver: usblp"
diagnose --json --sim "$sim"
json_holds "$id_json"' and doc["ports"][0]["identity"]["ieee1284Id"].startswith("MFG:Simulated Lasers;")'
echo "PASS: an answering node: the diagnosis and the JSON name its USB device and 1284 id"

diagnose --diagnose --sim "$sim" --sim-arg --mode --sim-arg silent
[ $status -eq 3 ] || fail "exit $status for a silent machine"
holds "${identity[@]}"
diagnose --json --sim "$sim" --sim-arg --mode --sim-arg silent
json_holds "$id_json"' and doc["ports"][0]["written"] == 5 and doc["ports"][0]["received"] == 0'
echo "PASS: a silent node: the same device, 5 bytes written and no reply"

if [ "$(id -u)" = 0 ] && getent group lp >/dev/null; then
  diagnose --diagnose --sim "$sim" --node 0660:lp --as-user nobody
  [ $status -eq 3 ] || fail "exit $status for a node nobody may open"
  holds "${identity[@]}"
  grep -q '^  Result: cannot open: Permission denied' <<<"$out" || fail "no permission result: $out"
  grep -q 'sudo adduser \$USER lp' <<<"$out" || fail "no remedy for the permission: $out"
  echo "PASS: a node the user may not open: the device, the system's reason and the fix"
else
  echo "SKIP: not root or no group lp; no permission case"
fi

# A printer-class interface without a node: $1 the cause's start, $2 the
# remedy's, the rest for the namespace.
portless() {
  local cause="$1" remedy="$2"
  shift 2
  diagnose --diagnose --portless "$@"
  [ $status -eq 1 ] || fail "exit $status without a node"
  holds "Printer-class devices without a port:" "- Simulated Lasers Laser simulator (USB 1a2b:3c4d)" "${identity[@]}"
  grep -qF -- "  Cause: $cause" <<<"$out" || fail "the cause is not \"$cause\": $out"
  grep -qF -- "  What to do: $remedy" <<<"$out" || fail "the remedy is not \"$remedy\": $out"
  # The no-connection message carries the device and the fix as well.
  grep -qF "USB connection is not detected." <<<"$err" || fail "no no-connection text: $err"
  grep -qF "Simulated Lasers Laser simulator (USB 1a2b:3c4d)" <<<"$err" || fail "the message names no device: $err"
  grep -qF -- "$remedy" <<<"$err" || fail "the message gives no remedy: $err"
  diagnose --json --portless "$@"
  # ldt-report prints no JSON when it found no machine at all; when it
  # does, the interface is in it.
  [ -z "$out" ] || json_holds 'doc["portless"][0]["identity"]["vendorId"] == "1a2b" and doc["portless"][0]["cause"].startswith("'"$cause"'")'
}
printf '# printers go through the print service\nblacklist usblp\n' > "$tmp/no-usblp.conf"
portless "The usblp driver, which gives the machine its /dev/usb/lp node, is kept from loading by the module configuration (blacklist usblp)." \
  "Remove that entry (a line in /etc/modprobe.d" --modprobe-conf "$tmp/no-usblp.conf"
echo "PASS: blacklisted: the diagnosis names the entry and the fix"
portless "The usblp driver, which gives the machine its /dev/usb/lp node, is not loaded." \
  "Load it with sudo modprobe usblp, then press Refresh."
echo "PASS: usblp not loaded, without a modprobe.d file: sudo modprobe usblp"
portless "The machine's printer interface is bound to no driver" \
  "Another program has taken the machine, for example a printing service; unplug it and plug it in again." --usblp loaded
echo "PASS: usblp loaded but the interface left without a driver: another program took it"
