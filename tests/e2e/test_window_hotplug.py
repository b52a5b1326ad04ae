"""The Windows window with a machine that SetupAPI lists as a printer-class
interface with an 88-character path (no fallback device name exists): the
program finds it on the real API, and refreshes by itself on the
interface's removal and arrival (WM_DEVICECHANGE); an interface back within
2 s never shows cleared values."""

import os
import unittest

from ldt_e2e import VALUE_BOXES, OwnSessionPerTest, wait_for
from test_window import PREFIX, WineSession
from usbprint_fixture import LONG_INSTANCE, ListedInterface, send_devicechange


class ListedSession(WineSession):
    """The simulator behind a listed interface of `instance`; no fallback
    device name exists."""
    query = "X"  # a listed interface gets QueryCommandX

    def __init__(self, name, instance=LONG_INSTANCE):
        super().__init__(name)
        for fallback in ("korva0", "korva1"):
            if os.path.lexists(os.path.join(PREFIX, "dosdevices", fallback)):
                super().close()
                raise RuntimeError("dosdevices/%s exists: the fallback would be found" % fallback)
        self.usb = ListedInterface(self.env, instance)
        self.link = self.usb.device_link

    def start_app(self, attached=True):
        if attached:
            self.attach()
        super().start_app()

    def attach(self):
        self.usb.register()
        self.usb.start_relay()

    def detach(self):
        self.usb.stop_relay()
        self.usb.unregister()

    def close(self):
        super().close()
        self.usb.close()


class ListedInterfaceWindow(OwnSessionPerTest, unittest.TestCase):
    session = ListedSession

    def test_valuesThroughTheInterface_clearedOnRemoval_backOnArrival_withoutAClickOrABox(self):
        wid = self.open_window()
        self.assertEqual(self.filled(wid, "listed"), len(VALUE_BOXES), "values through the interface at start")
        self.assertEqual(self.s.queries(), ["X"])

        # Unplugged for good: the values stay for the second look (about
        # 2.5 s after the message), then go.
        self.s.detach()
        self.assertEqual(send_devicechange(self.s.env, "REMOVAL"), 0, "WM_DEVICECHANGE not delivered")
        frames = self.filled_frames(wid, 4.0)
        print("unplugged: %d frames in 4 s, boxes with text: %s" % (len(frames), frames))
        self.assertEqual(frames[0], len(VALUE_BOXES), "values kept at first")
        self.assertEqual(frames[-1], 0, "values left after removal")

        # The interface reopens for the refresh the arrival brings.
        self.s.attach()
        self.assertEqual(send_devicechange(self.s.env, "ARRIVAL"), 0, "WM_DEVICECHANGE not delivered")
        self.assertEqual(self.wait_filled(wid, lambda n: n == len(VALUE_BOXES), "arrived"), len(VALUE_BOXES),
                         "no refresh on the arrival message")
        self.assertEqual(self.s.queries(), ["X", "X"])
        self.assertEqual(self.s.find_all("^Error$"), [], "a refresh of the window's own shows no box")


    def test_removalAndArrivalWithin2s_keepTheValuesInEveryFrame(self):
        # A printing service that takes the interface away for a moment.
        wid = self.open_window()
        self.assertEqual(self.filled(wid, "before"), len(VALUE_BOXES))

        self.s.detach()
        self.assertEqual(send_devicechange(self.s.env, "REMOVAL"), 0, "WM_DEVICECHANGE not delivered")
        back = []

        def reattach(elapsed):
            if not back and elapsed > 1.2:
                self.s.attach()
                back.append(send_devicechange(self.s.env, "ARRIVAL"))

        frames = self.filled_frames(wid, 4.5, during=reattach)
        print("%d frames in 4.5 s, boxes with text: %s" % (len(frames), frames))
        self.assertEqual(back, [0], "WM_DEVICECHANGE not delivered")
        self.assertEqual(set(frames), {len(VALUE_BOXES)}, "a frame showed cleared values")
        wait_for(lambda: len(self.s.queries()) == 2, 3.0)
        self.assertEqual(self.s.queries(), ["X", "X"], "one refresh after the arrival")
        self.assertEqual(self.s.find_all("^Error$"), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
