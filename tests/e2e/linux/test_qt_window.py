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
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.dirname(HERE))

import ldt_e2e  # noqa: E402
from ldt_e2e import (BUTTONS, DRIVER_BOX, OFFSET_LABELS, SCREEN_H, SCREEN_W, VALUE_BOXES, VERSION_RECT,  # noqa: E402
                     check_click_rules, check_command_keys, check_hand_cursor, run, settle, skin)
from test_window import REPLY_A, REPLY_B, expected_report  # noqa: E402

APP = os.environ.get("LDT_APP", "")
SIM = os.environ.get("LDT_SIM", "")
NAMESPACE = os.environ.get("LDT_NAMESPACE", os.path.join(ROOT, "scripts", "usblp-namespace.sh"))
TITLE = "^Laser Diagnostic Tool$"
# Frameless: window pixel (x, y) is skin pixel (x, y); client (0, 0) is window (3, 30).
CLIENT_IN_WINDOW = (3, 30)
WINDOW_SIZE = (816, 418)
# Drawn text is centred on its box and may reach past it (the Windows build
# draws it the same way): a wide value such as "100.00" overhangs by 8 pixels.
TEXT_MARGIN_X, TEXT_MARGIN_Y = 10, 3


def text_rects_in_window():
    cx, cy = CLIENT_IN_WINDOW
    rects = list(VALUE_BOXES.values()) + list(OFFSET_LABELS.values()) + [VERSION_RECT]
    return [(l + cx - TEXT_MARGIN_X, t + cy - TEXT_MARGIN_Y, r + cx + TEXT_MARGIN_X, b + cy + TEXT_MARGIN_Y)
            for l, t, r, b in rects]


class QtSession(ldt_e2e.Session):
    """Its own Xvfb (black root), the simulator on a fixed link, the program
    in a usblp namespace. Reuses the Wine session's X helpers and clean-up."""

    def __init__(self, name):
        self.name = "qt-" + name
        self.procs = []
        self.sim = None
        self.app = None
        self.tmp = tempfile.mkdtemp(prefix="ldt-qt-e2e-")
        self.log = os.path.join(self.tmp, "queries.log")
        self.reply = os.path.join(self.tmp, "reply.txt")
        self.link = os.path.join(self.tmp, "lp0")
        r, w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % (SCREEN_W, SCREEN_H),
                                 "-nolisten", "tcp", "-br"],
                                pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            self.display = ":" + f.readline().strip()
        self.procs.append(xvfb)
        self.env = dict(os.environ, DISPLAY=self.display, LANG="C.UTF-8", QT_QPA_PLATFORM="xcb")
        self.env.pop("WINEPREFIX", None)
        self.screen = (SCREEN_W, SCREEN_H)

    def start_sim(self, mode="normal", reply=None):
        if reply is not None:
            self.set_reply(reply)
        args = [SIM, "--mode", mode, "--link", self.link, "--log", self.log]
        if reply is not None:
            args += ["--reply-file", self.reply]
        self.sim = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(250):
            if os.path.islink(self.link):
                break
            time.sleep(0.02)
        if not os.path.islink(self.link):
            raise RuntimeError("the simulator made no link at " + self.link)

    def stop_sim(self):
        self.sim.terminate()
        self.sim.wait(5)
        self.sim = None

    def start_app(self, attached=True):
        where = ["--link", self.link] if attached else ["--none"]
        self.started_at = time.monotonic()
        # The namespace script execs the program: this pid and exit code are its own.
        self.app = subprocess.Popen([NAMESPACE] + where + ["--", APP], env=self.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def find_all(self, pattern):
        return self.xdo("search", "--onlyvisible", "--name", pattern).stdout.split()

    def client_to_screen(self, wid, x, y):
        wx, wy, _, _ = self.geometry(wid)
        return wx + CLIENT_IN_WINDOW[0] + x, wy + CLIENT_IN_WINDOW[1] + y


class QtWindowTest(unittest.TestCase):
    def client_origin(self, wid):
        wx, wy, _, _ = self.s.geometry(wid)
        return wx + CLIENT_IN_WINDOW[0], wy + CLIENT_IN_WINDOW[1]

    def client_rect(self, wid, rect):
        ox, oy = self.client_origin(wid)
        l, t, r, b = rect
        return ox + l, oy + t, ox + r, oy + b

    def assertSkinShown(self, shot, wid, label):
        """Every window pixel away from drawn text is the skin's; the
        outermost row and column lie outside the mask and show the black root."""
        wx, wy, _, _ = self.s.geometry(wid)
        pic = skin()
        w, h = WINDOW_SIZE
        text = text_rects_in_window()
        differs, shows_through = [], []
        for y in range(h):
            for x in range(w):
                px = shot.at(wx + x, wy + y)
                if x == 0 or y == 0:
                    if px != (0, 0, 0):
                        shows_through.append((x, y))
                elif x >= 3 and y >= 3 and not any(l <= x <= r and t <= y <= b for l, t, r, b in text):
                    if px != pic.at(x, y):
                        differs.append((x, y))
        self.assertFalse(differs, "%s: %d window pixels differ from the skin, e.g. %s"
                         % (label, len(differs), differs[:8]))
        self.assertFalse(shows_through, "%s: pixels outside the mask are painted: %s" % (label, shows_through[:8]))

    def boxes_with_text(self, shot, wid):
        return {name: shot.dark_pixels(*self.client_rect(wid, rect)) for name, rect in VALUE_BOXES.items()}

    def click(self, wid, name):
        l, t, r, b = BUTTONS[name]
        self.s.click_at(wid, (l + r) // 2, (t + b) // 2)

    def wait_exit(self, seconds=10):
        try:
            return self.s.app.wait(seconds)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end")


class WithMachine(QtWindowTest):
    @classmethod
    def setUpClass(cls):
        cls.s = QtSession("machine")
        cls.s.start_sim("normal", reply=REPLY_A)
        cls.s.start_app()
        cls.wid = cls.s.find(TITLE)
        settle(0.8)

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def setUp(self):
        self.assertIsNotNone(self.wid, "the window did not appear")

    def test_1_windowIs816x418_centredOnTheScreen(self):
        x, y, w, h = self.s.geometry(self.wid)
        self.assertEqual((w, h), WINDOW_SIZE)
        sw, sh = self.s.screen
        self.assertEqual((x, y), (sw // 2 - 408, (sh - 20) // 2 - 209))

    def test_2_paintsSkin_versionLabel_andSixteenValues(self):
        shot = self.s.screenshot("data")
        self.assertSkinShown(shot, self.wid, "first paint")
        boxes = self.boxes_with_text(shot, self.wid)
        empty = [name for name, n in boxes.items() if n == 0]
        self.assertFalse(empty, "boxes without a value: %s" % empty)
        self.assertEqual(shot.non_white(*self.client_rect(self.wid, DRIVER_BOX)), 0, "Driver Version stays empty")
        for axis, rect in OFFSET_LABELS.items():
            self.assertGreater(shot.dark_pixels(*self.client_rect(self.wid, rect)), 0, "direction label " + axis)
        self.assertGreater(shot.dark_pixels(*self.client_rect(self.wid, VERSION_RECT)), 0, "version label")
        self.assertEqual(len(self.s.queries()), 1, "one query at start: %s" % self.s.queries())

    def test_3_refreshRepaintsNewValues(self):
        before = self.boxes_with_text(self.s.screenshot("before-refresh"), self.wid)
        self.s.set_reply(REPLY_B)
        self.click(self.wid, "Refresh")
        settle(0.5)
        self.assertEqual(len(self.s.queries()), 2, "a second query: %s" % self.s.queries())
        shot = self.s.screenshot("after-refresh")
        after = self.boxes_with_text(shot, self.wid)
        changed = [n for n in VALUE_BOXES if before[n] != after[n]]
        self.assertGreaterEqual(len(changed), 10, "values repainted: %s" % changed)
        self.assertSkinShown(shot, self.wid, "after Refresh")

    def test_4_pressOutside_releaseOverRefresh_runsIt_pressOnRefresh_releaseOff_doesNot(self):
        check_click_rules(self, self.s, self.wid, 0.5)

    def save_as(self, target):
        self.click(self.wid, "Save as")
        dlg = self.s.find("^Save As$", timeout=10)
        self.assertIsNotNone(dlg, "the Save As dialog did not open")
        settle(0.4)
        self.s.xdo("type", "--delay", "10", target)
        self.s.screenshot("save-as")
        self.s.xdo("key", "Return")

    def test_5_saveAs_writesTheSixteenCrLfLines_toNameDotTxt(self):
        target = os.path.join(self.s.tmp, "report")
        self.save_as(target)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not os.path.exists(target + ".txt"):
            time.sleep(0.1)
        settle(0.5)
        with open(target + ".txt", "rb") as f:
            self.assertEqual(f.read(), expected_report(REPLY_B))
        self.assertFalse(os.path.exists(target), "only report.txt is written")
        self.assertEqual(self.s.find_all("^Save As$"), [], "the dialog closed")
        self.assertSkinShown(self.s.screenshot("after-save-as"), self.wid, "after the Save As dialog")

    def test_6_saveAs_asksBeforeOverwriting(self):
        target = os.path.join(self.s.tmp, "kept.txt")
        with open(target, "wb") as f:
            f.write(b"keep me\r\n")
        self.save_as(target)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and len(self.s.find_all("^Save As$")) < 2:
            time.sleep(0.1)
        self.assertEqual(len(self.s.find_all("^Save As$")), 2, "no question before overwriting")
        self.s.screenshot("overwrite-question")
        # Escape answers No, then Escape leaves the file dialog.
        self.s.xdo("key", "Escape")
        settle(0.4)
        self.s.xdo("key", "Escape")
        settle(0.5)
        self.assertEqual(self.s.find_all("^Save As$"), [])
        with open(target, "rb") as f:
            self.assertEqual(f.read(), b"keep me\r\n")

    def test_7_handCursorOnlyWhileOverAButton(self):
        check_hand_cursor(self, self.s, self.wid)

    def test_8_refreshAfterTheSimulatorRestarted_readsItAgain(self):
        self.s.stop_sim()
        self.s.start_sim("normal", reply=REPLY_A)
        n = len(self.s.queries())
        before = self.boxes_with_text(self.s.screenshot("before-restart-refresh"), self.wid)
        self.click(self.wid, "Refresh")
        settle(0.5)
        self.assertEqual(len(self.s.queries()), n + 1)
        after = self.boxes_with_text(self.s.screenshot("after-restart-refresh"), self.wid)
        self.assertGreaterEqual(len([k for k in VALUE_BOXES if before[k] != after[k]]), 10)

    def test_8b_commandKeys_F5Refreshes_ctrlSSaves_ctrlCCopiesTheSavedText(self):
        target = os.path.join(self.s.tmp, "keyed")
        check_command_keys(self, self.s, self.wid, REPLY_B, expected_report(REPLY_B), target + ".txt", target, 0.5)

    def test_9_closeEndsTheProcessWithExitCode0(self):
        self.click(self.wid, "Close")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(self.s.find(TITLE, timeout=0.5), None)


class Single(QtWindowTest):
    def setUp(self):
        self.s = QtSession(self._testMethodName.split("_")[1])

    def tearDown(self):
        self.s.close()

    def test_nothingAttached_errorBoxOnce_beforeTheWindow_thenNoValues(self):
        self.s.start_app(attached=False)
        box = self.s.find("^Error$")
        self.assertIsNotNone(box, "no Error box")
        settle(0.4)
        self.assertEqual(self.s.find_all(TITLE), [], "the window showed before the box was dismissed")
        self.s.screenshot("error-box")
        self.s.xdo("windowfocus", "--sync", box)
        self.s.xdo("key", "Return")
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid, "no window after the box")
        settle(0.8)
        self.assertEqual(self.s.find_all("^Error$"), [], "a second Error box")
        shot = self.s.screenshot("no-data")
        self.assertSkinShown(shot, wid, "no data")
        self.assertEqual(sum(self.boxes_with_text(shot, wid).values()), 0, "no values without data")
        self.assertIsNone(self.s.app.poll(), "the program ended after the box")
        # Ctrl+C without data: the no-data box, as Save as shows it.
        self.s.key(wid, "ctrl+c")
        box = self.s.find("^Error$", timeout=5)
        self.assertIsNotNone(box, "no box for Ctrl+C without data")
        self.s.xdo("windowfocus", "--sync", box)
        self.s.xdo("key", "Return")
        settle(0.5)
        self.assertEqual(self.s.find_all("^Error$"), [])
        self.assertIsNone(self.s.app.poll(), "the program still runs")

    def test_silentMachine_windowWithEmptyBoxes_noMessage(self):
        self.s.start_sim("silent")
        self.s.start_app()
        wid = self.s.find(TITLE)
        # Found within find()'s limit: the silent machine did not hold the
        # start for good. How long it took is a figure, not a pass mark.
        self.assertIsNotNone(wid)
        print("silent machine: window after %.2f s" % (time.monotonic() - self.s.started_at))
        settle(0.8)
        self.assertEqual(self.s.find_all("^Error$"), [])
        shot = self.s.screenshot("silent")
        self.assertEqual(sum(self.boxes_with_text(shot, wid).values()), 0)
        self.assertEqual(len(self.s.queries()), 1)

    def test_draggingTheTitleStrip_movesTheWindow(self):
        self.s.start_sim("normal")
        self.s.start_app()
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid)
        settle(0.5)
        x, y, _, _ = self.s.geometry(wid)
        self.s.xdo("mousemove", str(x + 400), str(y + 10))
        self.s.xdo("mousedown", "1")
        for step in range(1, 6):
            self.s.xdo("mousemove", str(x + 400 - 8 * step), str(y + 10 + 5 * step))
            time.sleep(0.05)
        self.s.xdo("mouseup", "1")
        settle(0.5)
        self.assertEqual(self.s.geometry(wid)[:2], (x - 40, y + 25))
        self.assertEqual(len(self.s.queries()), 1, "dragging clicks no button")
        self.assertSkinShown(self.s.screenshot("dragged"), wid, "after the drag")

    def test_escapeCloses(self):
        self.s.start_sim("normal")
        self.s.start_app()
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid)
        settle(0.5)
        self.s.move(wid, 20, 200)
        self.s.xdo("windowfocus", "--sync", wid)
        self.s.xdo("key", "Escape")
        self.wait_exit()


def missing():
    """Why the tests cannot run here, or None."""
    if os.geteuid() != 0:
        return "needs root for the usblp mount namespace"
    for tool in ("Xvfb", "xdotool", "xclip", "convert", "import"):
        if not shutil.which(tool):
            return "%s is not installed" % tool
    for name, path in (("LDT_APP", APP), ("LDT_SIM", SIM), ("LDT_SKIN", ldt_e2e.SKIN), ("namespace script", NAMESPACE)):
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
