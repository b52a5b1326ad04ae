#!/bin/bash
# Boot (kernel command line modprobe.blacklist=usblp): the window, opened
# with nothing plugged in, fills its values when a machine that usblp does
# not take is plugged in.
. "$LDT_VM_LIB"
gadgets_init 1 && gadget_make 0 || exit 1

# The window: open with nothing plugged in (its one no-connection box
# dismissed), then a raw machine plugged in fills the values without a
# click (read back through Ctrl+C, the sixteen report lines).
if [ -x "$LDT_WINDOW" ] && command -v Xvfb xdotool xclip >/dev/null; then
  Xvfb :7 -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 & xvfb=$!
  export DISPLAY=:7
  "$LDT_SIM" --device /dev/g_printer0 > /tmp/sim.window.out 2>&1 & simw=$!
  wait_until 10 xdpyinfo >/dev/null || wait_until 10 xdotool getmouselocation
  "$LDT_WINDOW" > "$LDT_VM_RESULTS/window.out" 2>&1 & window=$!
  box() { xdotool search --name '^Error$' | head -n1; }
  box_shown() { test -n "$(box)"; }
  wait_until 120 box_shown && xdotool windowfocus --sync "$(box)" key --clearmodifiers Return
  log "window: the first refresh's box dismissed ($?)"
  wid() { xdotool search --name '^Laser Diagnostic Tool$' | head -n1; }
  window_shown() { test -n "$(wid)"; }
  wait_until 30 window_shown
  main="$(wid)"
  gadget_plug 0
  log "window: plugged in"
  # Ctrl+C before the values have come opens a box that says there is
  # nothing to copy: it is dismissed, and the next round tries again.
  other() { xdotool search --name '^(Error|Laser Diagnostic Tool)$' | grep -vx "$main" | head -n1; }
  copied() {
    xdotool windowfocus --sync "$main" key --clearmodifiers ctrl+c || return 1
    sleep 0.5
    local box; box="$(other)"
    if [ -n "$box" ]; then xdotool windowfocus --sync "$box" key --clearmodifiers Return; return 1; fi
    xclip -o -selection clipboard | grep -q '^Firmware_Ver: V5\.07'
  }
  wait_until 40 copied; filled=$?
  [ $filled -eq 0 ] || import -window root "$LDT_VM_RESULTS/screen.png"
  check "window: a raw plug-in fills the values" test $filled -eq 0
  kill "$window" "$simw" "$xvfb" 2>/dev/null; wait 2>/dev/null
else
  log "SKIP window: no window program or X tools"
fi

finish
