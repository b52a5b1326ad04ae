"""The Windows window at 144 and 192 DPI under Wine: each in a prefix of its
own whose system DPI (LogPixels) is set before the program starts, on an
Xvfb large enough for the window. Wine has no per-monitor DPI, so the
change of DPI a move to another monitor brings is sent by
tests/e2e/win32/send_dpichanged.cpp.

Environment: as test_window.py, plus LDT_SEND_DPICHANGED and
LDT_MSAA_CLIENT. The prefixes are WINEPREFIX-144 and WINEPREFIX-192, made
on first use and kept for later runs.
"""

import os
import subprocess
import unittest

import ldt_e2e
from ldt_e2e import BUTTONS, REPLY_A, SKIN, ScaledChecks, run, scaled, settle
from test_window import PREFIX, WineSession
from test_window_msaa import read

SEND_DPICHANGED = os.environ.get("LDT_SEND_DPICHANGED", "")
PREFIX_SCRIPT = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "wine-prefix.sh"))
SCREEN = (2048, 1152)
# Wine's caption grows with the system DPI: client (0, 0) in window coordinates.
CLIENT_IN_WINDOW = {96: (3, 22), 144: (3, 31), 192: (3, 40)}


class DpiSession(WineSession):
    """A Wine session at a system DPI of `dpi`, with its own prefix, Xvfb and wineserver."""

    def __init__(self, name, dpi):
        ldt_e2e.Session.__init__(self, name)
        self.system_dpi = self.dpi = dpi
        xvfb, self.display = ldt_e2e.start_xvfb(size=SCREEN)
        self.procs.append(xvfb)
        self.screen = SCREEN
        self.prefix = "%s-%d" % (PREFIX, dpi)
        self.env = dict(os.environ, DISPLAY=self.display, WINEDEBUG="-all", LANG="C.UTF-8", WINEPREFIX=self.prefix)
        self.forget_history()
        self.link = os.path.join(self.prefix, "dosdevices", "korva1")

    def prepare(self):
        """Makes the prefix if it is new, sets its DPI and starts its server on this display."""
        subprocess.run(["bash", PREFIX_SCRIPT, "init", self.prefix], env=self.env, check=True, timeout=120)
        run("wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
            "/d", str(self.dpi), "/f", env=self.env, timeout=60)
        subprocess.run(["bash", PREFIX_SCRIPT, "stop", self.prefix], env=self.env, timeout=60)
        subprocess.run(["bash", PREFIX_SCRIPT, "start", self.prefix], env=self.env, check=True, timeout=60)
        if os.path.islink(self.link):
            os.unlink(self.link)

    def close(self):
        super().close()
        subprocess.run(["bash", PREFIX_SCRIPT, "stop", self.prefix], env=self.env, timeout=60)

    @property
    def client_in_window(self):
        return CLIENT_IN_WINDOW[self.system_dpi]

    @property
    def client_in_skin(self):
        return scaled(3, self.dpi), scaled(30, self.dpi)

    def picture(self, source):
        """The skin picture `source` ("1x" or "2x") brought to the skin's size at this DPI by area
        averaging: what the program's filter gives (within 1 in each channel)."""
        size = "%dx%d!" % (scaled(817, self.dpi), scaled(418, self.dpi))
        return ldt_e2e.converted(SKIN if source == "1x" else ldt_e2e.SKIN_2X, "-scale", size)

    def samples(self, wid):
        """(screen point, skin point) pairs of the title strip below Wine's caption line and of the
        client area around the buttons, where no text is drawn."""
        d = self.dpi
        wx, wy, _, _ = self.geometry(wid)
        strip_rows = range(scaled(3, d), min(self.client_in_window[1], scaled(29, d)))
        pairs = [((wx + x, wy + y), (x, y)) for y in strip_rows for x in range(scaled(5, d), scaled(806, d), 5)]
        ox, oy = self.client_origin(wid)
        sx, sy = self.client_in_skin
        pairs += [((ox + x, oy + y), (x + sx, y + sy)) for y in range(scaled(285, d), scaled(345, d), 3)
                  for x in range(scaled(90, d), scaled(340, d), 3)]
        return pairs

    def skin_problems(self, shot, wid):
        ref = self.picture("1x" if self.dpi == 96 else "2x")
        return [p for p, s in self.samples(wid) if max(abs(a - b) for a, b in zip(shot.at(*p), ref.at(*s))) > 1][:8]

    def send_dpichanged(self, dpi, rect):
        out = run("wine", SEND_DPICHANGED, str(dpi), *map(str, rect), env=self.env, timeout=60)
        if out.returncode != 0:
            raise AssertionError("send_dpichanged failed: " + out.stderr[-300:])
        self.dpi = dpi


class ScaledWindowTests(ScaledChecks):
    """One run of the program at the class's system DPI, checked in order."""

    first_paint = 1.5

    @classmethod
    def new_session(cls):
        session = DpiSession("dpi%d" % cls.dpi, cls.dpi)
        try:
            session.prepare()
        except Exception:
            session.close()
            raise
        return session

    def test_1_scaledWindow_centred_skinFromTheLargePicture_everyValueInItsScaledBox(self):
        self.assertScaledSize()
        x, y, w, h = self.s.geometry(self.wid)
        self.assertEqual((x, y), (SCREEN[0] // 2 - w // 2, (SCREEN[1] - 20) // 2 - h // 2))
        shot = self.s.screenshot("data")
        self.assertSkinShown(shot, self.wid, "at %d DPI" % self.dpi)
        self.assertSkinFromThe2xPicture(shot, self.s.samples(self.wid), self.s.picture, 3, 3)
        self.assertValuesInScaledBoxes(shot)

    def test_2_screenReaderPlaces_areTheScaledBoxesOnTheScreen(self):
        _, children = read(self.s)
        ox, oy = self.s.client_origin(self.wid)
        for child, rect in ((children[0], (189, 87, 318, 100)), (children[17], BUTTONS["Refresh"])):
            l, t, r, b = (scaled(v, self.dpi) for v in rect)
            self.assertEqual(child["location"], (ox + l, oy + t, r - l, b - t), child["name"])

    def test_3_handAndClicksFollowTheScaledHotRectangles(self):
        self.assertHandOnTheScaledButtons_refreshClickRepaints()

    def test_4_dpiChange_takesTheSuggestedRectangle_rescalesAndRepaints(self):
        self.s.set_reply(REPLY_A)
        self.s.send_dpichanged(96, (40, 50, 856, 468))
        settle(1.0)
        self.assertEqual(self.s.geometry(self.wid), (40, 50, 816, 418))
        self.assertSkinShown(self.s.screenshot("at-96"), self.wid, "after the change to 96 DPI")
        self.assertRefreshes(self.wid, lambda: self.click(self.wid, "Refresh"), "refresh at 96")
        self.s.send_dpichanged(self.dpi, (0, 0, scaled(816, self.dpi), scaled(418, self.dpi)))
        settle(1.0)
        self.assertEqual(self.s.geometry(self.wid)[2:], (scaled(816, self.dpi), scaled(418, self.dpi)))
        self.assertSkinShown(self.s.screenshot("back"), self.wid, "back at %d DPI" % self.dpi)


class At144(ScaledWindowTests, unittest.TestCase):
    dpi = 144


class At192(ScaledWindowTests, unittest.TestCase):
    dpi = 192


if __name__ == "__main__":
    unittest.main(verbosity=2)
