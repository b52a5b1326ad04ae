"""End-to-end tests of the native Qt program when the printer's USB device
says more than its node: a printer-class interface without a usblp node,
and a node that a printing service takes away for a moment.

The program runs unchanged inside scripts/usblp-namespace.sh, whose printer
is a USB device in sysfs. --portless leaves it without a node (a modprobe.d
file keeps usblp out); --detach/--attach take the node away and give it back
while the device stays; --unplug removes the device.

Run as root: python3 test_qt_usb_identity.py. Exits 77 (skipped) when
something it needs is missing. Environment as for test_qt_window.py.
"""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import ldt_e2e  # noqa: E402
from ldt_e2e import TITLE, VALUE_BOXES, run, settle  # noqa: E402
from test_qt_window import APP, NAMESPACE, QtWindowTest, missing  # noqa: E402


class UsbIdentity(QtWindowTest):
    def error_box_height(self, command, label):
        """Starts `command`, returns the height of its first Error box and ends it."""
        self.s.launch(command)
        box = self.s.find("^Error$")
        self.assertIsNotNone(box, "no Error box (%s); the program's exit status: %s" % (label, self.s.app.poll()))
        settle(0.3)
        self.s.screenshot(label)
        height = self.s.geometry(box)[3]
        self.dismiss_error_box()
        self.assertIsNotNone(self.s.find(TITLE), "no window after the box")
        self.s.app.terminate()
        self.s.app.wait(10)
        return height

    def test_portless_theNoConnectionBoxGainsAParagraph(self):
        # The paragraph's words are those of ldt-report's message (the same
        # text, checked in ldt_report_diagnose_usblp.sh); a Qt message box
        # cannot be read back here, so its size shows that it is there.
        conf = os.path.join(self.s.tmp, "no-printers.conf")
        with open(conf, "w") as f:
            f.write("# printing goes through the print server\nblacklist usblp\n")
        plain = self.error_box_height([NAMESPACE, "--none", "--", APP], "no-printer-box")
        portless = self.error_box_height([NAMESPACE, "--portless", "--modprobe-conf", conf, "--", APP], "portless-box")
        # Device, cause and remedy take at least four more lines.
        self.assertGreaterEqual(portless - plain, 4 * 13, "box heights: %d without a printer, %d with" % (plain, portless))

    def window_with_values(self):
        wid = self.open_window(paint=0)
        self.assertEqual(self.wait_filled(wid, lambda n: n == len(VALUE_BOXES), "start"), len(VALUE_BOXES))
        return wid

    def frames_around(self, wid, seconds, steps):
        """The filled boxes of a frame every 100 ms for `seconds`, running
        the namespace script's --ACTION for each (seconds, ACTION) of `steps` on
        the way."""
        pending = list(steps)

        def during(elapsed):
            while pending and pending[0][0] <= elapsed:
                result = run(NAMESPACE, "--" + pending.pop(0)[1], str(self.s.app.pid))
                self.assertEqual(result.returncode, 0, result.stderr)

        frames = self.filled_frames(wid, seconds, during=during)
        self.assertEqual(pending, [])
        return frames

    def test_hotplug_nodeTakenAndGivenBackWithinASecond_noFrameShowsClearedValues(self):
        wid = self.window_with_values()
        # Gone for 0.7 s: the window's refresh 0.5 s after the removal finds
        # no port, while the USB device is still there.
        frames = self.frames_around(wid, 4.5, [(0.3, "detach"), (1.0, "attach")])
        self.assertGreaterEqual(len(frames), 30, "a frame every 100 ms or so")
        self.assertEqual(set(frames), {len(VALUE_BOXES)}, "a frame showed cleared values: %s" % frames)
        self.assertEqual(len(self.s.queries()), 2, "one look after the node came back")
        self.assertEqual(self.s.find_all("^Error$"), [])

    def test_hotplug_unplugged_valuesClearedWithoutWaitingForAReturn(self):
        wid = self.window_with_values()
        # Cleared by the refresh after the settle time, not kept for the 2 s
        # in which a port taken away may return.
        frames = self.frames_around(wid, 2.0, [(0.2, "unplug")])
        self.assertEqual(frames[-1], 0, "values after unplugging: %s" % frames)
        self.assertEqual(self.s.find_all("^Error$"), [])


if __name__ == "__main__":
    reason = missing()
    if reason:
        print("SKIP: " + reason)
        sys.exit(77)
    os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
    unittest.main(verbosity=2)
