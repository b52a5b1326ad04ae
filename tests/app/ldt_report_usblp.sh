#!/usr/bin/env bash
# Runs the unchanged Linux ldt-report against a simulated machine that
# appears as the usblp node /dev/usb/lp0 (scripts/usblp-namespace.sh), and
# with no usblp printer at all.
#   ldt_report_usblp.sh LDT_REPORT LDT_MACHINE_SIM
# Exits 77 (skipped) where mount namespaces are not allowed.
set -euo pipefail
report="$1" sim="$2"
ns="$(cd "$(dirname "$0")/../.." && pwd)/scripts/usblp-namespace.sh"

status=0
out="$("$ns" --sim "$sim" -- "$report")" || status=$?
[ $status -ne 77 ] || exit 77
echo "$out"
[ $status -eq 0 ] || { echo "FAIL: ldt-report exited $status"; exit 1; }
lines=$(printf '%s\n' "$out" | wc -l)
[ "$lines" -eq 16 ] || { echo "FAIL: expected 16 lines, got $lines"; exit 1; }
printf '%s\n' "$out" | grep -qx 'Image Offset Tuning  _X: Left  12' || { echo "FAIL: offset line"; exit 1; }
echo "PASS: ldt-report read the simulated machine through /dev/usb/lp0"

status=0
out="$("$ns" --none -- "$report" 2>&1)" || status=$?
echo "$out"
[ $status -ne 0 ] || { echo "FAIL: ldt-report reported success with nothing attached"; exit 1; }
printf '%s\n' "$out" | grep -q '^USB connection is not detected' || { echo "FAIL: no-connection text"; exit 1; }
echo "PASS: ldt-report said so when no usblp printer was there"
