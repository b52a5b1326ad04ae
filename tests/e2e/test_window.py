"""End-to-end tests of the Windows program under Wine in Xvfb."""

import os
import time
import unittest

from ldt_e2e import (BUTTONS, CLIENT_IN_SKIN, CLIENT_IN_WINDOW, DRIVER_BOX, OFFSET_LABELS, TITLE, VALUE_BOXES,
                     VERSION_RECT, PREFIX, Session, check_click_rules, check_command_keys, check_hand_cursor, settle,
                     skin)
from usbprint_fixture import ListedInterface

REPLY_A = ("FPGA-2.31,FW 5.07.18,RF-60W,300,80,500,1000,2.0 inch,Yes,USB 2.0,12.5mm,0,"
           "100.00,100.00,Left  12,Down  5,Raster+Vector,")
REPLY_B = ("F9,W9,T9,9,9,9,9,L9,N9,U9,Z9,0,9.9,9.9,Right 777,Up    888,V9,")

REPORT_ORDER = [
    ("Firmware_Ver: ", 1), ("FPGA_Ver: ", 0), ("File Speed: ", 3), ("File Power: ", 4), ("File Dpi: ", 5),
    ("File PPI: ", 6), ("Laser Tube Model: ", 2), ("Vector Mode: ", 16), ("Select Lens: ", 7),
    ("Carriage Free: ", 8), ("Usb Setup Wizard: ", 9), ("Focus Distance: ", 10), ("Scaling  _X: ", 12),
    ("Scaling  _Y: ", 13), ("Image Offset Tuning  _X: ", 14), ("Image Offset Tuning  _Y: ", 15),
]


def expected_report(reply):
    fields = reply.split(",")[:-1]
    return "".join(label + fields[pos] + "\r\n" for label, pos in REPORT_ORDER).encode()


def screen_rect(origin, rect):
    ox, oy = origin
    l, t, r, b = rect
    return ox + l, oy + t, ox + r, oy + b


class WindowTest(unittest.TestCase):
    def client_origin(self, wid):
        wx, wy, _, _ = self.s.geometry(wid)
        return wx + CLIENT_IN_WINDOW[0], wy + CLIENT_IN_WINDOW[1]

    def assertSkinShown(self, shot, wid, label):
        """The title strip over the caption and the skin in the client area."""
        wx, wy, _, _ = self.s.geometry(wid)
        pic = skin()
        strip_bad = [(x, y) for y in range(3, CLIENT_IN_WINDOW[1]) for x in range(5, 806, 5)
                     if shot.at(wx + x, wy + y) != pic.at(x, y)]
        self.assertFalse(strip_bad, "%s: title strip differs from the skin at %s" % (label, strip_bad[:5]))
        ox, oy = self.client_origin(wid)
        # The three buttons and the panel frames carry no drawn text.
        samples = [(x, y) for y in range(285, 345, 3) for x in range(90, 340, 3)]
        client_bad = [(x, y) for x, y in samples
                      if shot.at(ox + x, oy + y) != pic.at(x + CLIENT_IN_SKIN[0], y + CLIENT_IN_SKIN[1])]
        self.assertFalse(client_bad, "%s: client area differs from the skin at %s" % (label, client_bad[:5]))

    def boxes_with_text(self, shot, wid):
        origin = self.client_origin(wid)
        return {name: shot.dark_pixels(*screen_rect(origin, rect)) for name, rect in VALUE_BOXES.items()}


class WithMachine(WindowTest):
    @classmethod
    def setUpClass(cls):
        cls.s = Session("machine")
        cls.s.start_sim("normal", reply=REPLY_A)
        cls.s.start_app()
        cls.wid = cls.s.find(TITLE)
        cls.found_after = time.monotonic() - cls.s.started_at
        settle(1.0)

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def setUp(self):
        self.assertIsNotNone(self.wid, "the window did not appear")

    def test_1_windowIs816x418_centredOnTheScreen(self):
        x, y, w, h = self.s.geometry(self.wid)
        self.assertEqual((w, h), (816, 418))
        sw, sh = self.s.screen
        self.assertEqual((x, y), (sw // 2 - 408, (sh - 20) // 2 - 209))

    def test_2_paintsSkin_titleStrip_versionLabel_andSixteenValues(self):
        shot = self.s.screenshot("data")
        self.assertSkinShown(shot, self.wid, "first paint")
        boxes = self.boxes_with_text(shot, self.wid)
        empty = [name for name, n in boxes.items() if n == 0]
        self.assertFalse(empty, "boxes without a value: %s" % empty)
        origin = self.client_origin(self.wid)
        self.assertEqual(shot.non_white(*screen_rect(origin, DRIVER_BOX)), 0, "Driver Version stays empty")
        for axis, rect in OFFSET_LABELS.items():
            self.assertGreater(shot.dark_pixels(*screen_rect(origin, rect)), 0, "direction label " + axis)
        self.assertGreater(shot.dark_pixels(*screen_rect(origin, VERSION_RECT)), 0, "version label")
        self.assertEqual(self.s.queries(), ["Y"], "the fallback device gets one QueryCommandY")

    def test_3_refreshRepaintsNewValues(self):
        before = self.boxes_with_text(self.s.screenshot("before-refresh"), self.wid)
        self.s.set_reply(REPLY_B)
        for name in ("Close", "Save as"):
            l, t, r, b = BUTTONS[name]
            self.s.move(self.wid, (l + r) // 2, (t + b) // 2)
        self.s.move(self.wid, 10, 10)
        l, t, r, b = BUTTONS["Refresh"]
        self.s.click_at(self.wid, (l + r) // 2, (t + b) // 2)
        settle(0.8)
        self.assertEqual(self.s.queries(), ["Y", "Y"])
        after = self.boxes_with_text(self.s.screenshot("after-refresh"), self.wid)
        changed = [n for n in VALUE_BOXES if before[n] != after[n]]
        self.assertGreaterEqual(len(changed), 10, "values repainted: %s" % changed)

    def test_4_pressOutside_releaseOverRefresh_runsIt_pressOnRefresh_releaseOff_doesNot(self):
        check_click_rules(self, self.s, self.wid, 0.8)

    def test_5_saveAs_writesTheSixteenCrLfLines_andTheStripSurvivesActivation(self):
        l, t, r, b = BUTTONS["Save as"]
        self.s.click_at(self.wid, (l + r) // 2, (t + b) // 2)
        dlg = self.s.find("^Save As$", timeout=10)
        self.assertIsNotNone(dlg, "the Save As dialog did not open")
        settle(0.5)
        self.s.screenshot("save-as")
        target = os.path.join(self.s.tmp, "report")
        self.s.xdo("type", "--delay", "20", "Z:" + target.replace("/", "\\"))
        self.s.xdo("key", "Return")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not os.path.exists(target + ".txt"):
            time.sleep(0.1)
        settle(0.8)
        with open(target + ".txt", "rb") as f:
            self.assertEqual(f.read(), expected_report(REPLY_B))
        self.assertFalse(os.path.exists(target), "only report.txt is written")
        shot = self.s.screenshot("after-save-as")
        self.assertSkinShown(shot, self.wid, "after the Save As dialog took and gave back activation")

    def test_6_handCursorOnlyWhileOverAButton(self):
        check_hand_cursor(self, self.s, self.wid)

    def test_7_commandKeys_F5Refreshes_ctrlSSaves_ctrlCCopiesTheSavedText(self):
        target = os.path.join(self.s.tmp, "keyed")
        check_command_keys(self, self.s, self.wid, REPLY_A, expected_report(REPLY_A), target + ".txt",
                           "Z:" + target.replace("/", "\\"), 0.8, x_line_end=b"\n")

    def test_9_closeEndsTheProcess(self):
        l, t, r, b = BUTTONS["Close"]
        self.s.click_at(self.wid, (l + r) // 2, (t + b) // 2)
        self.s.app.wait(10)
        self.assertEqual(self.s.find(TITLE, timeout=0.5), None)


class NoDevice(WindowTest):
    def setUp(self):
        self.s = Session("no-device")

    def tearDown(self):
        self.s.close()

    def test_errorBoxAppearsOnce_beforeTheWindow(self):
        self.s.start_app()
        box = self.s.find("^Error$")
        self.assertIsNotNone(box, "no Error box")
        settle(0.5)
        self.assertIsNone(self.s.find(TITLE, timeout=0.3), "the window showed before the box was dismissed")
        self.s.screenshot("error-box")
        # Space on the message box's OK button: Return would also reach the
        # dialog's invisible default OK button and end the program.
        self.s.xdo("key", "--window", box, "space")
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid)
        settle(1.0)
        self.assertIsNone(self.s.find("^Error$", timeout=0.5), "a second Error box")
        shot = self.s.screenshot("no-data")
        self.assertSkinShown(shot, wid, "no data")
        self.assertEqual(sum(self.boxes_with_text(shot, wid).values()), 0, "no values without data")
        # Ctrl+C without data: the no-data box, as Save as shows it.
        self.s.key(wid, "ctrl+c")
        box = self.s.find("^Error$", timeout=5)
        self.assertIsNotNone(box, "no box for Ctrl+C without data")
        self.s.xdo("key", "--window", box, "space")
        settle(0.5)
        self.assertIsNone(self.s.find("^Error$", timeout=0.3))
        self.assertIsNone(self.s.app.poll(), "the program still runs")


class SilentDevice(WindowTest):
    def setUp(self):
        self.s = Session("silent")

    def tearDown(self):
        self.s.close()

    def test_windowAppearsWithEmptyBoxes_withoutAMessage(self):
        self.s.start_sim("silent")
        self.s.start_app()
        wid = self.s.find(TITLE)
        took = time.monotonic() - self.s.started_at
        self.assertIsNotNone(wid)
        print("silent device: window after %.2f s" % took)
        self.assertLess(took, 8.0)
        settle(0.8)
        self.assertIsNone(self.s.find("^Error$", timeout=0.3))
        shot = self.s.screenshot("silent")
        self.assertEqual(sum(self.boxes_with_text(shot, wid).values()), 0)
        self.assertEqual(self.s.queries(), ["Y"])


def no_fallback_devices(test):
    for name in ("korva0", "korva1"):
        test.assertFalse(os.path.lexists(os.path.join(PREFIX, "dosdevices", name)), "dosdevices/" + name)


class ListedInterfaceTest(WindowTest):
    """A session whose machine SetupAPI lists as a printer-class interface
    with an 88-character path; no fallback device name exists."""
    session = "listed"

    def setUp(self):
        self.s = Session(self.session)
        self.usb = ListedInterface(self.s.env)
        self.s.link = self.usb.device_link
        no_fallback_devices(self)

    def tearDown(self):
        self.s.close()
        self.usb.close()


class ListedInterfaceMachine(ListedInterfaceTest):
    """Discovery on the real API: the program opens the listed interface and
    queries through it."""

    def test_valuesComeThroughTheListedInterface_atStartAndAtRefresh(self):
        self.s.start_sim("normal", reply=REPLY_A)
        self.usb.register()
        self.usb.start_relay()
        self.s.start_app()
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid, "the window did not appear")
        settle(1.0)
        self.assertIsNone(self.s.find("^Error$", timeout=0.3))
        before = self.boxes_with_text(self.s.screenshot("listed"), wid)
        self.assertFalse([n for n, dark in before.items() if dark == 0], "boxes without a value")
        self.assertEqual(self.s.queries(), ["X"], "one QueryCommandX through the interface")
        self.s.set_reply(REPLY_B)
        l, t, r, b = BUTTONS["Refresh"]
        self.s.click_at(wid, (l + r) // 2, (t + b) // 2)
        deadline = time.monotonic() + 5
        while len(self.s.queries()) < 2 and time.monotonic() < deadline:
            time.sleep(0.1)
        settle(0.5)
        self.assertEqual(self.s.queries(), ["X", "X"], "the interface reopens at Refresh")
        after = self.boxes_with_text(self.s.screenshot("listed-refresh"), wid)
        self.assertGreaterEqual(len([n for n in VALUE_BOXES if before[n] != after[n]]), 10)


if __name__ == "__main__":
    unittest.main(verbosity=2)
