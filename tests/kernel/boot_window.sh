#!/bin/bash
# Boot: the Qt window against the real usblp driver: a real unplug and
# plug-in, and CUPS's USB backend listing printers while values are shown.
. "$LDT_VM_LIB"
machines 1 || exit 1
x_start && window_start || exit 1
log "window: visible"
window_wait 10 filled >/dev/null
check "window: values shown" contains "$(window_values)" '^Firmware_Ver: V5\.07$' '^Image Offset Tuning  _Y: Down  5$'

# The README promises a refresh about half a second after the device goes,
# and values kept two seconds more while the device may bring its port back
# (a real unplug takes the device as well).
gadget_unplug 0
took="$(window_wait 8 empty)"; rc=$?
log "window: cleared ${took:-?} ms after a real unplug"
check "window: a real unplug clears the values within 4 s" test $rc -eq 0 -a "${took:-9999}" -lt 4000 || { cat /tmp/window.probes; dmesg | tail; }
gadget_plug 0
took="$(window_wait 10 filled)"; rc=$?
log "window: filled ${took:-?} ms after the plug-in"
check "window: plugging in again fills them" test $rc -eq 0

# CUPS's USB backend detaches usblp from the printer and attaches it again.
cups="$(/usr/lib/cups/backend-available/usb 2>/tmp/cups.err)"
log "cups backend: $cups"
check "cups backend lists the machine" contains "$cups" '^direct usb://Simulated%20Lasers/Laser%20simulator\?serial=SIM0000'
# Looked at until past the window's second look, two seconds after the
# node went.
stays() { local end=$(( $(date +%s%3N) + 3000 )); while [ "$(date +%s%3N)" -lt "$end" ]; do window_shows_values || return 1; done; }
check "window: values stay while CUPS lists printers" stays
check "cups backend: usblp bound again" wait_lp 1 5
check "window: no box, still running" test -z "$(xdotool search --onlyvisible --name '^Error$')" -a -d /proc/"$WINDOW_PID"
kill "$WINDOW_PID"
finish
