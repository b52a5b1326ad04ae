# Helpers for scripts run in the guest by scripts/kernel-vm.sh (source it:
# . "$LDT_VM_LIB"). Printer gadgets on dummy_hcd, plug and unplug, the
# machine simulator on the gadget's /dev/g_printerN, udevd, and checks that
# count and report their results.
#
# LDT_BUILD is the Linux build folder (default $LDT_REPO/build/linux).
LDT_BUILD="${LDT_BUILD:-$LDT_REPO/build/linux}"
LDT_SIM="$LDT_BUILD/tools/ldt-machine-sim"
LDT_REPORT="$LDT_BUILD/src/app/ldt-report"
LDT_WINDOW="$LDT_BUILD/src/app/linux/laser-diagnostic-tool"
GADGETS=/sys/kernel/config/usb_gadget
_checks_passed=0
_checks_failed=0

log() { echo "[$(cut -d' ' -f1 /proc/uptime)] $*"; }

# wait_until SECONDS COMMAND...: runs COMMAND every 20 ms until it succeeds;
# false when the time is up.
wait_until() {
  local end=$(( $(date +%s%3N) + ${1%.*} * 1000 )); shift
  until "$@" 2>/dev/null; do
    [ "$(date +%s%3N)" -lt "$end" ] || return 1
    sleep 0.02
  done
}

# gadgets_init N: N dummy USB controllers (dummy_udc.0 .. N-1) and the
# modules a printer gadget needs. usblp is left to the caller (modprobe
# usblp), or to udev.
gadgets_init() {
  modprobe dummy_hcd num="${1:-1}" && modprobe libcomposite && modprobe usb_f_printer || return 1
  mountpoint -q /sys/kernel/config || mount -t configfs none /sys/kernel/config
}

# gadget_make N [--vid 0xV] [--pid 0xP] [--maker M] [--product P]
#   [--serial S] [--id 1284ID]: printer gadget gN, unplugged; its machine
#   side is /dev/g_printerN when gadgets are made in order 0, 1, 2...
#   The kernel's gadget drops the id's last two characters: it is padded.
gadget_make() {
  local n="$1" vid=0x1a2b pid=0x3c4d maker="Simulated Lasers" product="Laser simulator"
  local serial id
  serial="$(printf 'SIM%04d' "$1")"; shift
  id="MFG:Simulated Lasers;MDL:Laser simulator;CMD:LDT;CLS:PRINTER;"
  while [ $# -gt 0 ]; do
    case "$1" in
      --vid) vid="$2" ;; --pid) pid="$2" ;; --maker) maker="$2" ;; --product) product="$2" ;;
      --serial) serial="$2" ;; --id) id="$2" ;;
      *) echo "gadget_make: unknown option $1" >&2; return 2 ;;
    esac
    shift 2
  done
  local g="$GADGETS/g$n"
  mkdir -p "$g/strings/0x409" "$g/configs/c.1/strings/0x409" "$g/functions/printer.usb$n" || return 1
  echo "$vid" > "$g/idVendor"; echo "$pid" > "$g/idProduct"
  echo 0x0200 > "$g/bcdUSB"
  printf '%s' "$maker" > "$g/strings/0x409/manufacturer"
  printf '%s' "$product" > "$g/strings/0x409/product"
  printf '%s' "$serial" > "$g/strings/0x409/serialnumber"
  echo "printer" > "$g/configs/c.1/strings/0x409/configuration"
  printf '%s  ' "$id" > "$g/functions/printer.usb$n/pnp_string"
  ln -s "$g/functions/printer.usb$n" "$g/configs/c.1/"
}

# gadget_plug N / gadget_unplug N: a real plug-in and a real unplug.
gadget_plug() { echo "dummy_udc.$1" > "$GADGETS/g$1/UDC"; }
gadget_unplug() { echo "" > "$GADGETS/g$1/UDC"; }

# lp_count: how many usblp nodes there are.
lp_count() { ls /sys/class/usbmisc 2>/dev/null | grep -c '^lp'; }
# wait_lp COUNT [SECONDS]: until COUNT usblp nodes exist.
lp_count_is() { [ "$(lp_count)" -eq "$1" ]; }
wait_lp() { wait_until "${2:-10}" lp_count_is "$1"; }

# sim_start N [SIMULATOR OPTION]...: the simulator on /dev/g_printerN, in
# the background; returns once it has opened the device. Its pid is in
# SIM_PID[N], its output in /tmp/sim.N.out.
declare -a SIM_PID
sim_start() {
  local n="$1"; shift
  : > "/tmp/sim.$n.out"
  "$LDT_SIM" --device "/dev/g_printer$n" "$@" > "/tmp/sim.$n.out" 2>&1 &
  SIM_PID[$n]=$!
  wait_until 10 test -s "/tmp/sim.$n.out" || { echo "simulator $n did not open its device" >&2; return 1; }
}
sim_stop() { kill "${SIM_PID[$1]}" 2>/dev/null; wait "${SIM_PID[$1]}" 2>/dev/null; true; }

# machines N [SIMULATOR OPTION]...: N printer gadgets plugged in, usblp
# bound to each, a simulator on each.
machines() {
  local n="$1" i; shift
  gadgets_init "$n" || return 1
  modprobe usblp
  for ((i = 0; i < n; i++)); do gadget_make "$i" && gadget_plug "$i" || return 1; done
  wait_lp "$n" || { echo "usblp did not bind $n printers" >&2; return 1; }
  for ((i = 0; i < n; i++)); do sim_start "$i" "$@" || return 1; done
}

# udevd_start: the real systemd-udevd, with the USB devices present
# announced and handled (all devices would take long in a slow guest).
udevd_start() {
  /lib/systemd/systemd-udevd --daemon || return 1
  udevadm trigger --action=add --subsystem-match=usb --subsystem-match=usbmisc && udevadm settle --timeout=30
}

# check NAME COMMAND...: runs COMMAND, counts and prints the result;
# COMMAND's success or failure.
check() {
  local name="$1"; shift
  if "$@"; then
    _checks_passed=$((_checks_passed + 1)); log "PASS $name"
  else
    _checks_failed=$((_checks_failed + 1)); log "FAIL $name"; return 1
  fi
}
# contains TEXT PATTERN...: every extended regular expression matches TEXT;
# says which did not.
contains() {
  local text="$1" p; shift
  for p in "$@"; do
    grep -Eq -- "$p" <<<"$text" || { printf 'missing /%s/ in:\n%s\n' "$p" "$text" >&2; return 1; }
  done
}
# finish: the summary line; the status for the run script.
finish() {
  log "checks: $_checks_passed passed, $_checks_failed failed"
  [ "$_checks_failed" -eq 0 ]
}

# x_start: an Xvfb for the window; sets DISPLAY.
x_start() {
  local fd=/tmp/xvfb.display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fd" >/tmp/xvfb.log 2>&1 &
  wait_until 30 test -s "$fd" || { echo "Xvfb did not start" >&2; cat /tmp/xvfb.log >&2; return 1; }
  export DISPLAY=":$(cat "$fd")"
}
# window_start [PROGRAM]: the Qt window (default LDT_WINDOW) on the Xvfb;
# WINDOW_PID and WINDOW_ID once it is visible.
window_start() {
  QT_QPA_PLATFORM=xcb "${1:-$LDT_WINDOW}" > /tmp/window.out 2>&1 &
  WINDOW_PID=$!
  _window_found() { WINDOW_ID="$(xdotool search --onlyvisible --name '^Laser Diagnostic Tool$' | head -n1)"; [ -n "$WINDOW_ID" ]; }
  wait_until 30 _window_found || { echo "no window" >&2; cat /tmp/window.out >&2; return 1; }
}
# window_values [KEYS]: what Ctrl+C (or KEYS) in the window copies, the
# report lines. Only while values are shown: with empty boxes Ctrl+C brings
# up the no-data message box, which then holds the window (use
# window_shows_values to look without keys).
window_values() {
  printf '' | timeout 5 xclip -selection clipboard -i >/dev/null 2>&1
  timeout 5 xdotool windowfocus --sync "$WINDOW_ID" key --clearmodifiers "${1:-ctrl+c}" 2>/dev/null
  sleep 0.05
  timeout 5 xclip -o -selection clipboard 2>/dev/null | tr -d '\r'
}
# window_diagnosis: what Ctrl+Shift+C copies (the last refresh's diagnosis).
window_diagnosis() { window_values ctrl+shift+c; }
# window_shows_values: whether the window's Firmware box has text (its
# pixels are not all white); no key is pressed, so no box can pop up.
window_shows_values() {
  local mean
  mean="$(timeout 8 import -window "$WINDOW_ID" -crop 120x11+193+116 +repage -format '%[fx:mean]' info: 2>/dev/null)"
  [ -n "$mean" ] && awk -v m="$mean" 'BEGIN { exit !(m < 0.99) }'
}
# window_wait SECONDS filled|empty: until the window shows values, or none;
# prints how long it took in ms.
window_wait() {
  local end=$(( $(date +%s%3N) + $1 * 1000 )) start
  start=$(date +%s%3N)
  while :; do
    if window_shows_values; then [ "$2" = filled ] && break; else [ "$2" = empty ] && break; fi
    [ "$(date +%s%3N)" -lt "$end" ] || return 1
    sleep 0.05
  done
  echo $(( $(date +%s%3N) - start ))
}
