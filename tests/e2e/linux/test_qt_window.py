"""End-to-end tests of the native Qt program in its own Xvfb.

The program runs unchanged inside scripts/usblp-namespace.sh: with
`--link` its /dev/usb/lp0 leads to a path the machine simulator's own
`--link` makes, so the test starts, stops and re-answers the simulator at
will; with `--none` there is no usblp printer at all.

Run as root: python3 test_qt_window.py. Exits 77 (skipped) when something it
needs is missing. Environment: LDT_APP (laser-diagnostic-tool), LDT_SIM
(ldt-machine-sim), LDT_SKIN (the skin bitmap), LDT_ARTIFACTS (where
screenshots go), LDT_NAMESPACE (optional, scripts/usblp-namespace.sh).
"""

import os
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.dirname(HERE))

import ldt_e2e  # noqa: E402
from ldt_e2e import (OFFSET_LABELS, REPLY_A, VALUE_BOXES, VERSION_RECT, WINDOW_SIZE, KeyboardTests,  # noqa: E402
                     MachineWindowTests, OwnSessionPerTest, WithoutDataTests, expected_report, run, settle,
                     skin)

APP = os.environ.get("LDT_APP", "")
NAMESPACE = os.environ.get("LDT_NAMESPACE", os.path.join(ROOT, "scripts", "usblp-namespace.sh"))
# Drawn text is centred on its box and may reach past it (the Windows build
# draws it the same way): a wide value such as "100.00" overhangs by 8 pixels.
TEXT_MARGIN_X, TEXT_MARGIN_Y = 10, 3


class QtSession(ldt_e2e.Session):
    """Its own Xvfb (black root), the simulator on a link of its own, the
    program in a usblp namespace."""

    # Frameless: window pixel (x, y) is skin pixel (x, y); client (0, 0) is window (3, 30).
    client_in_window = (3, 30)
    query = "X"  # the usblp node is a printer-class interface

    def __init__(self, name):
        super().__init__("qt-" + name)
        xvfb, self.display = ldt_e2e.start_xvfb("-br", size=self.screen)
        self.procs.append(xvfb)
        self.env = dict(os.environ, DISPLAY=self.display, LANG="C.UTF-8", QT_QPA_PLATFORM="xcb")
        self.env.pop("WINEPREFIX", None)
        self.env.update(XDG_STATE_HOME=os.path.join(self.tmp, "state"), LDT_NO_HISTORY="1")
        self.link = os.path.join(self.tmp, "lp0")

    def launch(self, command):
        # The namespace script execs the program: this pid and exit code are its own.
        # Its messages are kept beside the screenshots, for a start that fails.
        os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
        self.app_log = os.path.join(ldt_e2e.ARTIFACTS, self.name + ".log")
        with open(self.app_log, "ab") as log:
            self.app_log_start = log.tell()
            self.app = subprocess.Popen(command, env=self.env, stdout=subprocess.DEVNULL, stderr=log)

    def lost_display(self):
        """Whether the program's messages since its start say it could not reach, or lost, its X display."""
        with open(self.app_log, "rb") as log:
            log.seek(self.app_log_start)
            said = log.read().decode(errors="replace")
        return any(m in said for m in ("could not connect to display", "X11 connection broke"))

    def start_app(self, attached=True):
        self.launch([NAMESPACE] + (["--link", self.link] if attached else ["--none"]) + ["--", APP])

    def dismiss(self, box):
        self.xdo("windowfocus", "--sync", box)
        self.xdo("key", "Return")

    def skin_problems(self, shot, wid):
        """Every window pixel away from drawn text is the skin's; the
        outermost row and column lie outside the mask and show the black root."""
        wx, wy, _, _ = self.geometry(wid)
        pic = skin()
        cx, cy = self.client_in_window
        text = [(l + cx - TEXT_MARGIN_X, t + cy - TEXT_MARGIN_Y, r + cx + TEXT_MARGIN_X, b + cy + TEXT_MARGIN_Y)
                for l, t, r, b in list(VALUE_BOXES.values()) + list(OFFSET_LABELS.values()) + [VERSION_RECT]]
        differs, shows_through = [], []
        w, h = WINDOW_SIZE
        for y in range(h):
            for x in range(w):
                px = shot.at(wx + x, wy + y)
                if x == 0 or y == 0:
                    if px != (0, 0, 0):
                        shows_through.append((x, y))
                elif x >= 3 and y >= 3 and not any(l <= x <= r and t <= y <= b for l, t, r, b in text):
                    if px != pic.at(x, y):
                        differs.append((x, y))
        problems = []
        if differs:
            problems.append("%d window pixels differ from the skin, e.g. %s" % (len(differs), differs[:8]))
        if shows_through:
            problems.append("pixels outside the mask are painted: %s" % shows_through[:8])
        return problems


class WithMachine(MachineWindowTests, unittest.TestCase):
    session = QtSession

    def test_7_draggingTheTitleStrip_movesTheWindow_andClicksNoButton(self):
        n = len(self.s.queries())
        x, y, _, _ = self.s.geometry(self.wid)
        self.s.xdo("mousemove", str(x + 400), str(y + 10))
        self.s.xdo("mousedown", "1")
        for step in range(1, 6):
            self.s.xdo("mousemove", str(x + 400 - 8 * step), str(y + 10 + 5 * step))
            time.sleep(0.05)
        self.s.xdo("mouseup", "1")
        settle(0.5)
        self.assertEqual(self.s.geometry(self.wid)[:2], (x - 40, y + 25))
        self.assertEqual(len(self.s.queries()), n, "dragging clicks no button")
        self.assertSkinShown(self.s.screenshot("dragged"), self.wid, "after the drag")

    def test_8_saveAsOverAFileWithAnAccessListAndAnAttribute_keepsBoth(self):
        target = os.path.join(self.s.tmp, "kept.txt")
        with open(target, "wb") as f:
            f.write(b"old")
        if run("setfacl", "-m", "u:nobody:rw", target).returncode != 0:
            self.skipTest("no access lists here (setfacl comes with the package acl)")
        os.setxattr(target, "user.origin", b"bench 7")
        acl = run("getfacl", "--omit-header", "--numeric", target).stdout
        self.assertEqual(self.saved_through_save_as(lambda: self.click(self.wid, "Save as"), "kept"),
                         expected_report(REPLY_A))
        self.assertIn("user:65534:rw-", acl)
        self.assertEqual(run("getfacl", "--omit-header", "--numeric", target).stdout, acl)
        self.assertEqual(os.getxattr(target, "user.origin"), b"bench 7")


class WithoutData(WithoutDataTests, unittest.TestCase):
    session = QtSession


class Keyboard(KeyboardTests, unittest.TestCase):
    session = QtSession


class QtWindowTest(OwnSessionPerTest, unittest.TestCase):
    """Base of the device tests (test_qt_devices.py)."""
    session = QtSession


def missing():
    """Why the tests cannot run here, or None."""
    if os.geteuid() != 0:
        return "needs root for the usblp mount namespace"
    for tool in ("Xvfb", "xdotool", "xclip", "convert", "import"):
        if not shutil.which(tool):
            return "%s is not installed" % tool
    for name, path in (("LDT_APP", APP), ("LDT_SIM", ldt_e2e.SIM), ("LDT_SKIN", ldt_e2e.SKIN),
                       ("namespace script", NAMESPACE)):
        if not path or not os.path.exists(path):
            return "%s not found (%r)" % (name, path)
    probe = run(NAMESPACE, "--none", "--", "true")
    if probe.returncode == 77:
        return probe.stderr.strip().replace("SKIP: ", "") or "mount namespaces are not allowed"
    if probe.returncode != 0:
        return "the namespace script failed: " + probe.stderr.strip()
    return None


if __name__ == "__main__":
    reason = missing()
    if reason:
        print("SKIP: " + reason)
        sys.exit(77)
    os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
    unittest.main(verbosity=2)
