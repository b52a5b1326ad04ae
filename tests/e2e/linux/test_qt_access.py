"""End-to-end: the native Qt program as a screen reader sees it through
AT-SPI (atspi_tree.py, a pyatspi client). Runs inside `dbus-run-session`:
each session starts the accessibility bus and the program with
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1, in its own Xvfb and usblp namespace.

Run as root: dbus-run-session -- python3 test_qt_access.py. Exits 77
(skipped) when something is missing. Environment as for test_qt_window.py.
"""

import json
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import ldt_e2e  # noqa: E402
from ldt_e2e import REPLY_B, TITLE, run, settle  # noqa: E402
from test_qt_window import QtSession, missing  # noqa: E402

READER = [os.path.join(HERE, "atspi_tree.py")]
PYTHON = "/usr/bin/python3"  # Debian's, which sees python3-pyatspi
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
NAME = "Laser Diagnostic Tool"

# (caption, painted text) of some boxes as a reader hears them with each reply.
HEARD_A = [("Firmware Version", "FW 5.07.18"), ("Driver Version", ""), ("FPGA. Version", "FPGA-2.31"),
           ("Laser Tube Model", "RF-60W"), ("Image Offset", "L: 12"), ("Image Offset", "D: 5")]
HEARD_B = [("Firmware Version", "W9"), ("Driver Version", ""), ("FPGA. Version", "F9"), ("Laser Tube Model", "T9"),
           ("Image Offset", "R: 777"), ("Image Offset", "U: 888")]


class AccessSession(QtSession):
    def __init__(self, name):
        super().__init__(name)
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.procs.append(subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"], env=self.env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

    def read(self):
        """The window's children as the client reads them."""
        r = run(PYTHON, *READER, NAME, env=self.env, timeout=60)
        assert r.returncode == 0, "the AT-SPI client failed: " + r.stderr[-400:]
        window, *children = [json.loads(line) for line in r.stdout.splitlines()]
        assert (window["role"], window["name"], window["children"]) == ("dialog", NAME, len(children)), window
        return children

    def descriptions(self):
        return [(c["name"], c["description"]) for c in self.read() if c["role"] == "label"]

    def history_file(self):
        return os.path.join(self.env["XDG_STATE_HOME"], "laser-diagnostic-tool", "history.jsonl")

    def heard_during(self, action, seconds=3.0):
        """(event type, source name, data) of the text and focus events while `action` runs."""
        listener = subprocess.Popen([PYTHON, *READER, "listen", str(seconds)], env=self.env, text=True,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        assert listener.stdout.readline().strip() == "ready", "the AT-SPI listener did not start"
        settle(0.5)  # the program learns of the new listener
        action()
        out = listener.communicate(timeout=seconds + 30)[0]
        return [tuple(json.loads(line).values()) for line in out.splitlines()]


def heard(children):
    return [(c["name"], c["text"]) for c in children if c["role"] == "label"]


class History(ldt_e2e.HistoryTests, unittest.TestCase):
    session = AccessSession


class Access(ldt_e2e.OwnSessionPerTest, unittest.TestCase):
    session = AccessSession

    def assertButtons(self, children):
        buttons = [(c["name"], c["actions"]) for c in children if c["role"] == "push button"]
        self.assertEqual(buttons, [(name, ["Press"]) for name in ("Refresh", "Save as", "Close")])

    def test_machine_boxesButtonsVersionRead_whereTheyArePainted_pressRefreshQueriesOnce_changesHeard(self):
        wid = self.open_window()
        children = self.s.read()
        self.assertButtons(children)
        self.assertEqual([r for r in heard(children) if r in HEARD_A], HEARD_A)
        self.assertEqual(len(heard(children)), 18, "seventeen boxes and the version text")
        # A reader at the end of each text is answered at once, and the window answers on.
        r = run(PYTHON, *READER, NAME, "ends", env=self.s.env, timeout=60)
        self.assertEqual(r.returncode, 0, "the end-offset requests failed: " + r.stderr[-400:])
        ends = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertEqual(len(ends), 2 * 18)
        self.assertEqual([e for e in ends if e[1:4] != ["", e[4], e[4]]], [], "empty at the end")
        self.assertIn(("Ver_1.00-01", "Ver_1.00-01"), heard(children))
        shot = self.s.screenshot("access")
        wx, wy, ww, wh = self.s.geometry(wid)
        for c in children:
            x, y, w, h = c["extents"]
            self.assertTrue(wx <= x and wy <= y and x + w <= wx + ww and y + h <= wy + wh, c)
            if c["role"] == "label":
                self.assertEqual(shot.dark_pixels(x, y, x + w - 1, y + h - 1) > 0, bool(c["text"]), c)

        self.s.set_reply(REPLY_B)
        events = self.s.heard_during(lambda: self.assertEqual(run(PYTHON, *READER, NAME, "press", "Refresh",
                                                                  env=self.s.env).returncode, 0))
        self.assertEqual(self.s.queries(), [self.s.query] * 2, "the press action ran one refresh")
        self.assertEqual([r for r in heard(self.s.read()) if r in HEARD_B], HEARD_B)
        inserted = [(name, data) for kind, name, data in events if kind == "object:text-changed:insert"]
        self.assertEqual([r for r in HEARD_B if r in inserted], [r for r in HEARD_B if r[1]], "the new texts heard")
        self.assertNotIn("Driver Version", [name for _, name, _ in events], "an unchanged box is quiet")

        events = self.s.heard_during(lambda: self.s.key(wid, "Tab"), 2.0)
        self.assertIn(("focus:", "Refresh"), [e[:2] for e in events])
        self.assertEqual([c["name"] for c in self.s.read() if "focused" in c["states"]], ["Refresh"])

    def test_noMachine_everyValueEmpty_theButtonsStillThere(self):
        self.s.start_window(attached=False, first="^Error$")
        self.dismiss_error_box()
        self.assertIsNotNone(self.s.find(TITLE), "no window after the box")
        settle(1.0)
        children = self.s.read()
        self.assertButtons(children)
        self.assertEqual([t for n, t in heard(children) if t], ["Ver_1.00-01"])
        self.assertEqual(run(PYTHON, *READER, NAME, "press", "Close", env=self.s.env).returncode, 0)
        self.assertEqual(self.wait_exit(), 0, "Close pressed by the client ends the program")


def unavailable():
    if missing():
        return missing()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        return "no session bus (run inside dbus-run-session)"
    if not os.path.exists(BUS_LAUNCHER) or run(PYTHON, "-c", "import pyatspi").returncode != 0:
        return "at-spi2-core or python3-pyatspi is not installed"
    return None


if __name__ == "__main__":
    reason = unavailable()
    if reason:
        print("SKIP: " + reason)
        sys.exit(77)
    os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
    unittest.main(verbosity=2)
