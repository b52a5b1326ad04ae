"""The Windows window's hot-plug refresh under Wine: WM_DEVICECHANGE for a
printer-class interface makes the window refresh by itself."""

import subprocess
import time
import unittest

from ldt_e2e import TITLE, Session, settle
from test_window import REPLY_A, ListedInterfaceTest
from usbprint_fixture import SEND_DEVICECHANGE, USBPRINT, send_devicechange


class DeviceChangeDelivery(unittest.TestCase):
    """What the hot-plug test relies on: Wine copies the broadcast record of
    a WM_DEVICECHANGE sent from another process."""

    def test_theReceivingWindowReadsTheClassAndTheName(self):
        s = Session("devicechange")
        listener = subprocess.Popen(["wine", SEND_DEVICECHANGE, "--listen", "DC listener"], env=s.env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(listener.stdout.readline().strip(), "listening")
            for event in ("ARRIVAL", "REMOVAL"):
                r = subprocess.run(["wine", SEND_DEVICECHANGE, event, "DC listener"], env=s.env,
                                   stdin=subprocess.DEVNULL, capture_output=True)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(listener.stdout.readline().split(),
                                 [event.lower(), USBPRINT.upper(),
                                  "\\\\?\\usb#vid_1a86&pid_7584#0001#" + USBPRINT])
        finally:
            listener.kill()
            listener.wait()
            listener.stdout.close()
            s.close()


class HotPlug(ListedInterfaceTest):
    """The window refreshes by itself on a printer-class interface's arrival
    and removal (WM_DEVICECHANGE), without a click and without the Error box."""
    session = "hotplug"

    def boxes_until(self, wid, done, timeout):
        """Polls the boxes until done(boxes) holds; a generous limit, since
        the refresh is due about half a second after the message."""
        deadline = time.monotonic() + timeout
        while True:
            boxes = self.boxes_with_text(self.s.screenshot("hotplug"), wid)
            if done(boxes) or time.monotonic() > deadline:
                return boxes
            time.sleep(0.2)

    def test_arrivalShowsTheValues_removalEmptiesTheBoxes_withoutAClickOrAnErrorBox(self):
        self.s.start_app()
        box = self.s.find("^Error$")
        self.assertIsNotNone(box, "no Error box at start with nothing attached")
        self.s.xdo("key", "--window", box, "space")
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid)
        settle(0.5)

        self.s.start_sim("normal", reply=REPLY_A)
        self.usb.register()
        self.usb.start_relay()
        self.assertEqual(send_devicechange(self.s.env, "ARRIVAL"), 0, "WM_DEVICECHANGE not delivered")
        boxes = self.boxes_until(wid, lambda b: all(b.values()), 5.0)
        self.assertFalse([n for n, dark in boxes.items() if dark == 0], "no refresh on the arrival message: boxes without a value")
        self.assertEqual(self.s.queries(), ["X"])

        self.usb.stop_relay()
        self.usb.unregister()
        self.assertEqual(send_devicechange(self.s.env, "REMOVAL"), 0, "WM_DEVICECHANGE not delivered")
        boxes = self.boxes_until(wid, lambda b: not any(b.values()), 5.0)
        self.assertIsNone(self.s.find("^Error$", timeout=0.5), "an Error box after removal")
        self.assertEqual(sum(boxes.values()), 0, "values left after removal")


if __name__ == "__main__":
    unittest.main(verbosity=2)
