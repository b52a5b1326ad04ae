"""End-to-end: the native Qt program as a screen reader sees it, through
AT-SPI (atspi_tree.py, a pyatspi client run by Debian's /usr/bin/python3).

Runs inside `dbus-run-session`: each session starts the accessibility bus
(at-spi-bus-launcher) on that session bus and the program with
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1, in its own Xvfb and usblp namespace as
test_qt_window.py does.

Run as root: dbus-run-session -- python3 test_qt_access.py. Exits 77
(skipped) when something it needs is missing. Environment as for
test_qt_window.py.
"""

import json
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import ldt_e2e  # noqa: E402
from ldt_e2e import REPLY_A, REPLY_B, TITLE, run, settle, wait_for  # noqa: E402
from test_qt_window import QtSession, missing  # noqa: E402

READER = os.path.join(HERE, "atspi_tree.py")
PYTHON = "/usr/bin/python3"  # Debian's, which sees python3-pyatspi
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
WINDOW_NAME = "Laser Diagnostic Tool"
BUTTONS = ["Refresh", "Save as", "Close"]

# What a reader hears for a few boxes with each reply: the caption printed
# beside the box and the text painted in it.
HEARD_A = [("Firmware Version", "FW 5.07.18"), ("Driver Version", ""), ("FPGA. Version", "FPGA-2.31"),
           ("Laser Tube Model", "RF-60W"), ("Image Offset", "L: 12"), ("Image Offset", "D: 5")]
HEARD_B = [("Firmware Version", "W9"), ("Driver Version", ""), ("FPGA. Version", "F9"),
           ("Laser Tube Model", "T9"), ("Image Offset", "R: 777"), ("Image Offset", "U: 888")]


class AccessSession(QtSession):
    """A Qt session whose program talks to an accessibility bus."""

    def __init__(self, name):
        super().__init__(name)
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.procs.append(subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"], env=self.env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

    def read(self):
        """(the window, its children) as the client reads them."""
        r = run(PYTHON, READER, WINDOW_NAME, env=self.env, timeout=60)
        if r.returncode != 0:
            raise AssertionError("the AT-SPI client failed: " + r.stderr.strip()[-400:])
        lines = [json.loads(line) for line in r.stdout.splitlines()]
        return lines[0], lines[1:]

    def press(self, name):
        return run(PYTHON, READER, WINDOW_NAME, "press", name, env=self.env, timeout=60).returncode

    def events_during(self, action, seconds=3.0):
        """The text and focus events a client hears while `action` runs."""
        listener = subprocess.Popen([PYTHON, READER, "listen", str(seconds)], env=self.env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True)
        try:
            if listener.stdout.readline().strip() != "ready":
                raise AssertionError("the AT-SPI listener did not start")
            settle(0.5)  # the program learns of the new listener
            action()
            out, _ = listener.communicate(timeout=seconds + 30)
        finally:
            if listener.poll() is None:
                listener.kill()
                listener.wait()
        return [json.loads(line) for line in out.splitlines() if line.startswith("{")]


class AccessChecks:
    session = AccessSession

    def heard(self, children):
        """(name, text) of the static texts, in reading order."""
        return [(c["name"], c["text"]) for c in children if c["role"] != "push button"]

    def assertReads(self, children, expected):
        heard = self.heard(children)
        rest = iter(heard)  # in reading order, each after the one before
        for row in expected:
            self.assertIn(row, rest, "%s is not read (in this order) from %s" % (row, heard))

    def assertButtons(self, children):
        buttons = [c for c in children if c["role"] == "push button"]
        self.assertEqual([b["name"] for b in buttons], BUTTONS)
        for b in buttons:
            self.assertIn("Press", b["actions"], b["name"])
            self.assertIn("focusable", b["states"], b["name"])


class WithMachine(AccessChecks, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = cls.session("access")
        cls.s.start_sim("normal", reply=REPLY_A)
        cls.s.start_app()
        cls.wid = cls.s.find(TITLE)
        settle(1.0)

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def setUp(self):
        self.assertIsNotNone(self.wid, "the window did not appear")

    def test_1_boxesButtonsAndVersion_areReadWhereTheyArePainted(self):
        window, children = self.s.read()
        self.assertEqual((window["role"], window["name"], window["children"]), ("dialog", WINDOW_NAME, len(children)))
        self.assertReads(children, HEARD_A)
        self.assertButtons(children)
        statics = [c for c in children if c["role"] != "push button"]
        for c in statics:
            self.assertEqual(c["role"], "label", c)
        self.assertEqual(sum(1 for c in statics if c["text"]), 17, "sixteen values and the version text")
        self.assertTrue(any("Ver_" in c["name"] + (c["text"] or "") for c in statics), "the version text")
        # Each text is painted inside the box a client is told about.
        shot = self.s.screenshot("access")
        wx, wy, ww, wh = self.s.geometry(self.wid)
        for c in children:
            x, y, w, h = c["extents"]
            self.assertTrue(wx <= x and wy <= y and x + w <= wx + ww and y + h <= wy + wh, c)
            if c["text"]:
                self.assertGreater(shot.dark_pixels(x, y, x + w - 1, y + h - 1), 0, "no text inside %s" % c)

    def test_2_pressActionOnRefresh_sendsOneQuery_theChangedBoxesAreAnnounced_andTheNewValuesRead(self):
        self.s.set_reply(REPLY_B)
        n = len(self.s.queries())
        events = self.s.events_during(lambda: self.assertEqual(self.s.press("Refresh"), 0))
        self.assertEqual(len(self.s.queries()), n + 1, "one query")
        self.assertReads(self.s.read()[1], HEARD_B)
        inserted = [(e["name"], e["data"]) for e in events if e["type"] == "object:text-changed:insert"]
        for row in HEARD_B:
            if row[1]:
                self.assertIn(row, inserted, "the new text is announced")
        self.assertNotIn("Driver Version", [e["name"] for e in events], "an unchanged box is not announced")

    def test_3_tabFocusesRefresh_shiftTabTwiceClose_asTheClientSees(self):
        def focused():
            return [c["name"] for c in self.s.read()[1] if "focused" in c["states"]]

        self.assertEqual(focused(), [], "no focus before a key")
        events = self.s.events_during(lambda: self.s.key(self.wid, "Tab"), 2.0)
        self.assertIn(("focus:", "Refresh"), [(e["type"], e["name"]) for e in events])
        self.assertEqual(focused(), ["Refresh"])
        self.s.key(self.wid, "shift+Tab")
        settle(0.3)
        self.assertEqual(focused(), ["Close"])


class WithoutData(AccessChecks, ldt_e2e.OwnSessionPerTest, unittest.TestCase):
    def test_noMachine_everyValueEmpty_theButtonsStillThere(self):
        self.s.start_app(attached=False)
        self.dismiss_error_box()
        self.assertIsNotNone(self.s.find(TITLE), "no window after the box")
        settle(1.0)
        _, children = self.s.read()
        self.assertButtons(children)
        values = [t for n, t in self.heard(children) if not n.startswith("Ver_") and "Ver_" not in (t or "")]
        self.assertTrue(values and not any(values), "values without data: %s" % values)


def unavailable():
    reason = missing()
    if reason:
        return reason
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        return "no session bus (run inside dbus-run-session)"
    if not os.path.exists(BUS_LAUNCHER):
        return "at-spi-bus-launcher is not installed (at-spi2-core)"
    if run(PYTHON, "-c", "import pyatspi").returncode != 0:
        return "python3-pyatspi is not installed"
    return None


if __name__ == "__main__":
    reason = unavailable()
    if reason:
        print("SKIP: " + reason)
        sys.exit(77)
    os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
    unittest.main(verbosity=2)
