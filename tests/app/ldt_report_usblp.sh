#!/usr/bin/env bash
# Runs the unchanged Linux ldt-report against a simulated machine that
# appears as the usblp node /dev/usb/lp0 (scripts/usblp-namespace.sh), and
# with no usblp printer at all; then the namespace's own promises: no root
# needed, commands never run as root for a sudo caller, hot-plug seen by
# ldt-report and by an inotify watch on /dev/usb, and a node root:lp 0660
# that a user outside lp cannot open.
#   ldt_report_usblp.sh LDT_REPORT LDT_MACHINE_SIM VERSION
#       (VERSION: the project's version, which --json reports)
# Exits 77 (skipped) where mount namespaces are not allowed; parts that need
# root or user namespaces say SKIP and are left out.
set -euo pipefail
report="$1" sim="$2" version="$3"
ns="$(cd "$(dirname "$0")/../.." && pwd)/scripts/usblp-namespace.sh"
fail() { echo "FAIL: $*"; exit 1; }
tmp="$(mktemp -d)"
chmod 0777 "$tmp"
trap '[ -n "${KEEP:-}" ] || rm -rf "$tmp"' EXIT
# The readings history goes to a folder of the test's own.
export XDG_STATE_HOME="$tmp/state"

# Checks a report of the simulated machine: $1 its text, $2 its status.
check_report() {
  [ "$2" -eq 0 ] || fail "ldt-report exited $2"
  [ "$(printf '%s\n' "$1" | wc -l)" -eq 16 ] || fail "expected 16 lines"
  printf '%s\n' "$1" | grep -qx 'Image Offset Tuning  _X: Left  12' || fail "offset line"
}
check_absent() {
  [ "$2" -ne 0 ] || fail "ldt-report reported success with nothing attached"
  printf '%s\n' "$1" | grep -q '^USB connection is not detected' || fail "no-connection text"
}

status=0
out="$("$ns" --sim "$sim" -- "$report")" || status=$?
[ $status -ne 77 ] || exit 77
echo "$out"
check_report "$out" $status
echo "PASS: ldt-report read the simulated machine through /dev/usb/lp0"

# The JSON report, field by field against the reply the simulator sends.
reply='FW-1,"q"\\x,Té,4,5,6,7,8,9,10,11,12,13,14,Left  15,Up    16,17,'
status=0
json="$("$ns" --sim "$sim" --sim-arg --reply --sim-arg "$reply" -- "$report" --json)" || status=$?
[ $status -eq 0 ] || fail "ldt-report --json exited $status"
REPLY_TEXT="$reply" VERSION="$version" python3 -c '
import json, os, sys
doc = json.loads(sys.stdin.read())
fields = os.environ["REPLY_TEXT"].split(",")[:-1]
assert doc["fields"] == fields, (doc["fields"], fields)
assert doc["version"] == os.environ["VERSION"], doc["version"]
order = [1, 0, 3, 4, 5, 6, 2, 16, 7, 8, 9, 10, 12, 13, 14, 15]
assert [e["value"] for e in doc["report"]] == [fields[i] for i in order], doc["report"]
assert doc["report"][0]["label"] == "Firmware_Ver" and doc["report"][15]["label"] == "Image Offset Tuning  _Y"
ports = doc["ports"]
assert [{k: p[k] for k in ("path", "opened", "answered")} for p in ports] == [
    {"path": "/dev/usb/lp0", "opened": True, "answered": True}], ports
assert list(ports[0])[:3] == ["path", "opened", "answered"], ports
assert ports[0]["written"] == 5 and ports[0]["received"] == len(os.environb[b"REPLY_TEXT"]), ports
assert ports[0]["error"] is None and doc["fallback"] == [], doc
' <<<"$json" || fail "the JSON report does not match the reply: $json"
echo "PASS: ldt-report --json holds the simulator's fields, the report in file order and the port"

status=0
out="$("$ns" --none -- "$report" 2>&1)" || status=$?
echo "$out"
check_absent "$out" $status
echo "PASS: ldt-report said so when no usblp printer was there"

# The diagnosis: an answering machine, then a silent one; exit codes as the report's.
status=0
out="$("$ns" --sim "$sim" -- "$report" --diagnose)" || status=$?
[ $status -eq 0 ] || fail "ldt-report --diagnose exited $status"
printf '%s\n' "$out" | grep -qx 'Port 1: /dev/usb/lp0' || fail "diagnosis names no port: $out"
printf '%s\n' "$out" | grep -q '^  Result: opened; wrote 5 bytes, read [0-9]* bytes (' || fail "no exchange: $out"
status=0
out="$("$ns" --sim "$sim" --sim-arg --mode --sim-arg silent -- "$report" --diagnose 2>/dev/null)" || status=$?
[ $status -eq 3 ] || fail "ldt-report --diagnose with a silent machine exited $status"
printf '%s\n' "$out" | grep -q '^  Result: opened; wrote 5 bytes, no reply within 1 s (' || fail "silence not said: $out"
echo "PASS: ldt-report --diagnose said what the answering and the silent machine did"

# The readings history: two machines, one with a serial number and one
# without (told apart by its USB location), read in turn into one file.
history="$XDG_STATE_HOME/laser-diagnostic-tool/history.jsonl"
rm -f "$history"
A='V1,F1,T1,300,62,500,1000,L1,Yes,U1,12.5,0,1.000,1.000,Left  12,Down  5,Raster,'
B="${A/,62,/,55,}"
C='=1+2,F"1,T1,-300,@62,500,1000,L1,Yes,U1,12.5,0,+1.0,1.000,Left  12,Down  5,Raster,'
read_machine() {  # REPLY SERIAL ("" none) ARGUMENT...: ldt-report against that machine
  local reply="$1" serial="$2"
  shift 2
  "$ns" --sim "$sim" --sim-arg --reply --sim-arg "$reply" --usb-attr "serial=$serial" -- "$report" "$@"
}
SN='sn:1a2b:3c4d:SIM0001 on /dev/usb/lp0' AT='at:1a2b:3c4d:1-1:1.0 on /dev/usb/lp0'
[ "$(read_machine "$A" SIM0001 --changes)" = "$SN"$'\n  first reading' ] || fail "first reading (serial)"
[ "$(read_machine "$A" "" --changes)" = "$AT"$'\n  first reading' ] || fail "first reading (no serial)"
out="$(read_machine "$B" SIM0001 --changes)"
[ "$(printf '%s\n' "$out" | sed 1,2d)" = '    File Power: 62 -> 55' ] && printf '%s\n' "$out" | grep -q '^  changed since 20.* UTC:$' ||
  fail "--changes did not name the power alone: $out"
read_machine "$A" "" --changes | grep -q '^  no change since 20.* UTC$' || fail "no change not said"
json="$(read_machine "$B" "" --json)"
python3 -c '
import json, sys
port = json.loads(sys.stdin.read())["ports"][0]
assert port["key"] == "at:1a2b:3c4d:1-1:1.0" and not port["firstReading"], port
assert [(c["field"], c["was"], c["now"]) for c in port["changes"]] == [("File Power", "62", "55")], port
assert port["changes"][0]["since"].endswith(" UTC"), port
' <<<"$json" || fail "--json: no key or changes: $json"
out="$(read_machine "$B" SIM0001 --history 2)"
[ "$(grep -c " UTC  $SN\$" <<<"$out")" = 2 ] && [ "$(grep -c '^  File Power: 55$' <<<"$out")" = 2 ] ||
  fail "--history 2 of the serial machine: $out"
[ "$(read_machine "$A" SIM0002 --history --all | grep -c ' UTC  ')" = 7 ] || fail "--history --all"
csv="$(read_machine "$C" SIM0003 --csv)"
REPLY_TEXT="$C" python3 -c '
import csv, io, os, sys
rows = list(csv.reader(io.StringIO(sys.stdin.read(), newline="")))
assert len(rows) == 2 and rows[0][:3] == ["time", "key", "port"] and rows[0][11] == "FPGA_Ver", rows
assert rows[1][1:4] == ["sn:1a2b:3c4d:SIM0003", "/dev/usb/lp0", "1a2b"], rows
fields = os.environ["REPLY_TEXT"].split(",")[:-1]
shown = [v[1:] if v[:1] == "\x27" and v[1:2] in ("=", "+", "-", "@", "\t", "\r") else v for v in rows[1][11:]]
assert shown == fields, (shown, fields)
assert rows[1][11] == "\x27=1+2" and rows[1][14] == "\x27-300", rows
' <<<"$csv" || fail "the CSV does not read back as the reply: $csv"
echo "PASS: --changes, --json, --history and --csv on a machine with a serial number and one without"

# Two ldt-report processes and a third appender that takes the same lock,
# all at once: every record whole, none lost.
before="$(wc -l <"$history")"
loop='for i in 1 2 3 4 5 6 7 8; do "$0" >/dev/null || exit 1; done'
"$ns" --sim "$sim" -- bash -c "$loop" "$report" &
first=$!
"$ns" --sim "$sim" --usb-attr serial= -- bash -c "$loop" "$report" &
second=$!
python3 -c '
import fcntl, json, os, sys, time
folder = os.path.dirname(sys.argv[1])
for i in range(40):
    with open(os.path.join(folder, "history.lock"), "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        fd = os.open(sys.argv[1], os.O_WRONLY | os.O_APPEND)
        os.write(fd, (json.dumps({"time": i, "key": "third", "values": ["x" * 300]}) + "\n").encode())
        os.close(fd)
    time.sleep(0.01)
' "$history"
wait $first && wait $second || fail "a concurrent ldt-report failed"
python3 -c '
import json, sys
lines = open(sys.argv[1], "rb").read().split(b"\n")
assert lines[-1] == b"", "a torn last line"
new = [json.loads(l) for l in lines[int(sys.argv[2]):-1]]
keys = [r["key"] for r in new]
assert len(new) == 56 and [r["time"] for r in new if r["key"] == "third"] == list(range(40)), keys
assert keys.count("sn:1a2b:3c4d:SIM0001") == 8 and keys.count("at:1a2b:3c4d:1-1:1.0") == 8, keys
' "$history" "$before" || fail "records lost or torn by concurrent appends"
echo "PASS: two ldt-report processes and a third appender at once: 56 whole records, none lost"
LDT_NO_HISTORY=1 "$ns" --sim "$sim" -- "$report" >/dev/null
"$ns" --sim "$sim" -- "$report" --no-history >/dev/null
[ "$(wc -l <"$history")" = $((before + 56)) ] || fail "LDT_NO_HISTORY or --no-history recorded a reading"
echo "PASS: LDT_NO_HISTORY=1 and --no-history record nothing"

# A user other than root, to run the namespace without root when this test
# runs as root.
as_user=() nobody_reaches=0
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid nobody --regid nogroup --clear-groups)
  "${as_user[@]}" test -x "$report" -a -x "$sim" -a -x "$ns" && nobody_reaches=1
  if [ $nobody_reaches = 0 ] || ! "${as_user[@]}" "$ns" --none -- true 2>/dev/null; then
    echo "SKIP: nobody cannot reach this tree, or no user namespaces here; the rest runs as root"
    as_user=()
  fi
fi

# Hot-plug: the namespace starts unplugged (and without root where that is
# possible); ldt-report runs three times inside it while the test plugs the
# printer in and out from outside.
cat > "$tmp/inside.sh" <<'EOF'
set -u
t="$1"
step() { touch "$t/step$1"; while [ ! -e "$t/go$1" ] && [ -d "$t" ]; do sleep 0.02; done; }
inotifywait -m -e create -e delete --format '%e %f' /dev/usb > "$t/events" 2> "$t/watch" &
while ! grep -q 'Watches established' "$t/watch"; do sleep 0.02; done
for i in 1 2 3; do
  "$2" > "$t/report$i" 2>&1; echo $? > "$t/status$i"
  [ $i = 3 ] || step $i
done
sleep 0.2; kill $!
EOF
wait_for() { for _ in $(seq 500); do [ -e "$tmp/$1" ] && return 0; sleep 0.02; done; fail "timed out waiting for $1"; }
if ! command -v inotifywait >/dev/null; then
  echo "SKIP: inotifywait (inotify-tools) is not installed; no hot-plug test"
else
  "${as_user[@]}" "$ns" --sim "$sim" --unplugged -- bash "$tmp/inside.sh" "$tmp" "$report" &
  nspid=$!
  wait_for step1; "$ns" --plug $nspid; touch "$tmp/go1"
  wait_for step2; "$ns" --unplug $nspid; touch "$tmp/go2"
  wait $nspid || fail "the hot-plug namespace exited $?"
  check_absent "$(cat "$tmp/report1")" "$(cat "$tmp/status1")"
  check_report "$(cat "$tmp/report2")" "$(cat "$tmp/status2")"
  check_absent "$(cat "$tmp/report3")" "$(cat "$tmp/status3")"
  [ "$(cat "$tmp/events")" = $'CREATE lp0\nDELETE lp0' ] || fail "inotify on /dev/usb saw: $(cat "$tmp/events")"
  echo "PASS: --plug and --unplug changed what ldt-report${as_user:+ (without root)} saw, and a watch on /dev/usb saw them"
fi

[ "$(id -u)" = 0 ] && [ $nobody_reaches = 1 ] ||
  { echo "SKIP: not root, or nobody cannot reach this tree; no --node, --as-user or sudo-caller tests"; exit 0; }

# The command's owner as seen from outside: $@ is the namespace call.
owner() {
  rm -f "$tmp/pid" "$tmp/go"
  "$@" -- sh -c 'echo $$ > "$0/pid"; while [ ! -e "$0/go" ] && [ -d "$0" ]; do sleep 0.02; done' "$tmp" &
  local nspid=$!
  wait_for pid
  stat -c %U "/proc/$(cat "$tmp/pid")"
  touch "$tmp/go"
  wait $nspid
}
[ "$(owner env SUDO_UID=65534 SUDO_GID=65534 "$ns" --sim "$sim")" = nobody ] ||
  fail "a sudo caller's command did not run as that caller"
[ "$(owner "$ns" --as-user nobody --link "$tmp/none")" = nobody ] || fail "--as-user was not followed"
if [ ${#as_user[@]} -gt 0 ]; then
  [ "$(owner "${as_user[@]}" "$ns" --sim "$sim")" = nobody ] || fail "without root the command's owner changed"
fi
echo "PASS: commands ran as the invoking user (sudo caller, --as-user, user namespace), not as root"

out="$("$ns" --sim "$sim" --node 0660:lp --as-user nobody -- \
  sh -c 'stat -c "%F %a %U:%G" /dev/usb/lp0; : <> /dev/usb/lp0' 2>&1)" && fail "nobody opened a node root:lp 0660"
echo "$out"
[ "$(printf '%s\n' "$out" | head -1)" = "character special file 660 root:lp" ] || fail "not a 0660 root:lp device node"
printf '%s\n' "$out" | grep -q 'Permission denied' || fail "opening it did not fail with EACCES"
status=0
out="$("$ns" --sim "$sim" --node 0660:nogroup --as-user nobody -- "$report")" || status=$?
check_report "$out" $status
echo "PASS: --node: a user outside the group gets EACCES, one in it reads the machine"
