"""The Windows window at 144 and 192 DPI under Wine: each in a prefix of its
own whose system DPI (LogPixels) is set before the program starts, on an
Xvfb large enough for the window. Wine has no per-monitor DPI, so the
change of DPI a move to another monitor brings is sent by
tests/e2e/win32/send_dpichanged.cpp.

Environment: as test_window.py, plus LDT_SEND_DPICHANGED and
LDT_MSAA_CLIENT. The prefixes are WINEPREFIX-144 and WINEPREFIX-192, made
on first use and kept for later runs.
"""

import math
import os
import subprocess
import unittest

import ldt_e2e
from ldt_e2e import (BUTTONS, DRIVER_BOX, REPLY_A, REPLY_B, SKIN, TITLE, VALUE_BOXES, Image, WindowChecks,
                     cursor_shape, run, scaled, scaled_box, settle)
from test_window import PREFIX, WineSession
from test_window_msaa import read

SEND_DPICHANGED = os.environ.get("LDT_SEND_DPICHANGED", "")
PREFIX_SCRIPT = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "wine-prefix.sh"))
SCREEN = (2048, 1152)
# Wine's caption grows with the system DPI: client (0, 0) in window coordinates.
CLIENT_IN_WINDOW = {96: (3, 22), 144: (3, 31), 192: (3, 40)}


def near(a, b, tolerance=1):
    return max(abs(p - q) for p, q in zip(a, b)) <= tolerance


def coverage(d, size, new_size):
    """The source pixels new pixel `d` covers along one axis, with the share of each."""
    scale = size / new_size
    a, b = d * scale, (d + 1) * scale
    return [(s, (min(b, s + 1.0) - max(a, float(s))) / (b - a)) for s in range(math.floor(a), min(size, math.ceil(b)))]


class AreaPicture:
    """`image` brought to width x height by area averaging, pixel by pixel on demand: what the
    program's filter should give (up to rounding)."""

    def __init__(self, image, width, height):
        self.image, self.w, self.h = image, width, height

    def at(self, x, y):
        c = [0.0, 0.0, 0.0]
        for sy, wy in coverage(y, self.image.h, self.h):
            for sx, wx in coverage(x, self.image.w, self.w):
                for i, v in enumerate(self.image.at(sx, sy)):
                    c[i] += wx * wy * v
        return tuple(int(v + 0.5) for v in c)


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
        self.link = os.path.join(self.prefix, "dosdevices", "korva1")
        self.pictures = {}

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

    def picture(self, source, dpi):
        """The skin picture `source` ("1x" or "2x") brought to the skin's size at `dpi`."""
        key = (source, dpi)
        if key not in self.pictures:
            if source not in self.pictures:
                self.pictures[source] = Image(SKIN if source == "1x" else
                                              os.path.join(os.path.dirname(SKIN), "skin@2x.png"))
            image = self.pictures[source]
            size = scaled(817, dpi), scaled(418, dpi)
            self.pictures[key] = image if (image.w, image.h) == size else AreaPicture(image, *size)
        return self.pictures[key]

    def reference(self):
        return self.picture("1x" if self.dpi == 96 else "2x", self.dpi)

    def skin_pixel(self, x, y):
        return self.reference().at(x + self.client_in_skin[0], y + self.client_in_skin[1])

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
        ref = self.reference()
        return [p for p, s in self.samples(wid) if not near(shot.at(*p), ref.at(*s))][:8]

    def send_dpichanged(self, dpi, rect):
        out = run("wine", SEND_DPICHANGED, str(dpi), *map(str, rect), env=self.env, timeout=60)
        if out.returncode != 0:
            raise AssertionError("send_dpichanged failed: " + out.stderr[-300:])
        self.dpi = dpi


class ScaledWindowTests(WindowChecks):
    """One run of the program at the class's system DPI, checked in order."""

    dpi = 96

    @classmethod
    def setUpClass(cls):
        cls.s = DpiSession("dpi%d" % cls.dpi, cls.dpi)
        try:
            cls.s.prepare()
            cls.s.start_sim("normal", reply=REPLY_A)
            cls.s.start_app()
        except Exception:
            cls.s.close()
            raise
        cls.wid = cls.s.find(TITLE)
        settle(1.5)

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def setUp(self):
        self.assertIsNotNone(self.wid, "the window did not appear")

    def boxes_with_text(self, shot, wid):
        return {name: shot.dark_pixels(*self.client_rect(wid, scaled_box(rect, self.s.dpi)))
                for name, rect in VALUE_BOXES.items()}

    def centre(self, name):
        l, t, r, b = (scaled(v, self.s.dpi) for v in BUTTONS[name])
        return (l + r) // 2, (t + b) // 2

    def click(self, wid, name):
        self.s.click_at(wid, *self.centre(name))

    def test_1_scaledWindow_centred_skinFromTheLargePicture_everyValueInItsScaledBox(self):
        d = self.dpi
        x, y, w, h = self.s.geometry(self.wid)
        self.assertLessEqual(abs(w - 816 * d / 96), 1, "width %d at %d DPI" % (w, d))
        self.assertLessEqual(abs(h - 418 * d / 96), 1, "height %d at %d DPI" % (h, d))
        self.assertEqual((x, y), (SCREEN[0] // 2 - w // 2, (SCREEN[1] - 20) // 2 - h // 2))
        shot = self.s.screenshot("data")
        self.assertSkinShown(shot, self.wid, "at %d DPI" % d)
        # Drawn from the large picture, not the small one blown up (even
        # with the best filter): far nearer the one than the other.
        small = self.s.picture("1x", d)
        large_error = sum(sum(abs(p - q) for p, q in zip(shot.at(*p), self.s.reference().at(*s)))
                          for p, s in self.s.samples(self.wid))
        small_error = sum(sum(abs(p - q) for p, q in zip(shot.at(*p), small.at(*s)))
                          for p, s in self.s.samples(self.wid))
        print("%d DPI: skin differs from the large picture by %d, from the small one by %d"
              % (d, large_error, small_error))
        self.assertLess(large_error * 3, small_error)
        empty = [name for name, n in self.boxes_with_text(shot, self.wid).items() if n == 0]
        self.assertFalse(empty, "boxes without a value: %s" % empty)
        self.assertEqual(shot.non_white(*self.client_rect(self.wid, scaled_box(DRIVER_BOX, d))), 0)

    def test_2_screenReaderPlaces_areTheScaledBoxesOnTheScreen(self):
        _, children = read(self.s)
        ox, oy = self.s.client_origin(self.wid)
        for child, rect in ((children[0], (189, 87, 318, 100)), (children[17], BUTTONS["Refresh"])):
            l, t, r, b = (scaled(v, self.dpi) for v in rect)
            self.assertEqual(child["location"], (ox + l, oy + t, r - l, b - t), child["name"])

    def test_3_handAndClicksFollowTheScaledHotRectangles(self):
        def shape_at(x, y):
            self.s.move(self.wid, x, y)
            self.s.move(self.wid, x, y + 1)
            return cursor_shape(self.s.display)

        d = self.dpi
        plain = shape_at(20, 200)
        for name, (l, t, r, b) in BUTTONS.items():
            self.assertNotEqual(shape_at(scaled(r, d) - 1, scaled(t, d) + 5), plain, "hand inside " + name)
            self.assertEqual(shape_at(scaled(r, d), scaled(t, d) + 5), plain, "right edge of %s outside" % name)
        self.s.set_reply(REPLY_B)
        self.s.move(self.wid, 20, 200)
        self.assertRefreshes(self.wid, lambda: self.click(self.wid, "Refresh"), "refresh")

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

    def test_9_closeAtTheScaledButton_endsTheProgram(self):
        self.click(self.wid, "Close")
        self.assertEqual(self.wait_exit(), 0)


class At144(ScaledWindowTests, unittest.TestCase):
    dpi = 144


class At192(ScaledWindowTests, unittest.TestCase):
    dpi = 192


if __name__ == "__main__":
    unittest.main(verbosity=2)
