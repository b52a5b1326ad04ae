"""End-to-end: the Qt program at QT_SCALE_FACTOR 1.25, 1.5 and 2 in a large
Xvfb, against the simulator. Qt scales the painting; the mask, the title
strip and the hot rectangles are the program's own and must follow, in
device pixels by the programs' rounding. The skin is the 2x picture: exact
at 2, filtered down below, aligned at each scale.

Run as root; exits 77 (skipped) when something is missing. Environment as
for test_qt_window.py, and LDT_SKIN_2X (the 2x skin picture).
"""

import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import ldt_e2e  # noqa: E402
from ldt_e2e import (BUTTONS, DRIVER_BOX, OFFSET_LABELS, REPLY_A, TITLE, VALUE_BOXES, VERSION_RECT,  # noqa: E402
                     Image, button_centre, cursor_shape, settle)
from test_qt_window import TEXT_MARGIN_X, TEXT_MARGIN_Y, QtSession, missing  # noqa: E402

SKIN_2X = os.environ.get("LDT_SKIN_2X", "")


class ScaledSession(QtSession):
    screen = (2400, 1400)

    def __init__(self, scale):
        super().__init__("scaled-%g" % scale)
        self.scale, self.dpi = scale, round(96 * scale)
        self.env["QT_SCALE_FACTOR"] = "%g" % scale
        self.client_in_window = (self.px(3), self.px(30))

    def px(self, units):
        return ldt_e2e.scaled(units, self.dpi)


class Scaled:
    """One run of the program at `scale`, checked in order."""

    @classmethod
    def setUpClass(cls):
        cls.s = ScaledSession(cls.scale)
        cls.s.start_sim("normal", reply=REPLY_A)
        cls.s.start_app()
        cls.wid = cls.s.find(TITLE)
        settle(1.0)

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def setUp(self):
        self.assertIsNotNone(self.wid, "no window (program status %s)" % self.s.app.poll())

    def box(self, rect, mx=0, my=0):
        """Screen rectangle (inclusive) of a client rectangle of units, widened by (mx, my) units."""
        ox, oy = self.s.client_origin(self.wid)
        l, t, r, b = ldt_e2e.scaled_box(rect, self.s.dpi)
        return ox + l - self.s.px(mx), oy + t - self.s.px(my), ox + r + self.s.px(mx), oy + b + self.s.px(my)

    def test_1_scaledSize_skinFromThe2xPictureAligned_valuesInTheirScaledBoxes(self):
        wx, wy, w, h = self.s.geometry(self.wid)
        self.assertLessEqual(abs(w - 816 * self.scale) + abs(h - 418 * self.scale), 1, (w, h))
        shot = self.s.screenshot("painted")
        text = [self.box(r, TEXT_MARGIN_X, TEXT_MARGIN_Y)
                for r in list(VALUE_BOXES.values()) + list(OFFSET_LABELS.values()) + [VERSION_RECT]]
        edge = self.s.px(3)
        samples = [(x, y, shot.at(wx + x, wy + y)) for y in range(edge, h - edge, 3) for x in range(edge, w - edge, 3)
                   if not any(l <= wx + x <= r and t <= wy + y <= b for l, t, r, b in text)]

        def differs_from(source, factor, dx=0, dy=0):
            """Mean channel difference from `source` resized by `factor`, shifted by (dx, dy)."""
            path = os.path.join(ldt_e2e.ARTIFACTS, "qt-reference-%g-%g.png" % (self.scale, factor))
            subprocess.run(["convert", source, "-filter", "Triangle", "-resize", "%g%%" % (100 * factor), path], check=True)
            pic = Image(path)
            return sum(sum(abs(a - b) for a, b in zip(px, pic.at(min(pic.w - 1, x + dx), min(pic.h - 1, y + dy))))
                       for x, y, px in samples) / len(samples)

        sharp = differs_from(SKIN_2X, self.scale / 2)
        shifted = min(differs_from(SKIN_2X, self.scale / 2, dx, dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        blown_up = differs_from(ldt_e2e.SKIN, self.scale)
        print("scale %g: %.2f from the 2x skin, %.2f shifted, %.2f from the 1x blown up" % (self.scale, sharp, shifted,
                                                                                            blown_up))
        self.assertTrue(sharp == 0 if self.scale == 2 else sharp < 6, "the 2x picture at this scale")
        self.assertLess(sharp * 1.5, shifted, "aligned")
        self.assertLess(sharp, blown_up, "not the 1x picture blown up")
        empty = [name for name, rect in VALUE_BOXES.items() if shot.dark_pixels(*self.box(rect)) == 0]
        self.assertFalse(empty, "scaled boxes without their value")
        l, t, r, b = self.box(DRIVER_BOX)  # its edge pixels blend with the filtered frame
        self.assertEqual(shot.non_white(l + 1, t + 1, r - 1, b - 1), 0, "Driver Version stays empty")

    def test_2_maskEdgesWithinAPixelOfTheScaledRegion(self):
        # The region (2, 1), (1, 417), (816, 418), (817, 2): outside it the black root shows.
        wx, wy, w, h = self.s.geometry(self.wid)
        shot, px = self.s.screenshot("mask"), self.s.px
        rows = [[x for x in range(w) if shot.at(wx + x, wy + y) != (0, 0, 0)] for y in (h // 4, h // 2)]
        cols = [[y for y in range(h) if shot.at(wx + x, wy + y) != (0, 0, 0)] for x in (w // 4, w // 2)]
        for painted in rows + cols:
            self.assertTrue(px(1) - 1 <= painted[0] <= px(2) + 1, painted[0])
        for painted in rows:
            self.assertTrue(min(w, px(816)) - 2 <= painted[-1] <= min(w, px(817)), painted[-1])
        for painted in cols:
            self.assertTrue(px(417) - 2 <= painted[-1] <= h - 1, painted[-1])

    def test_3_handOnTheScaledHotRectangles_rightEdgeOutside_clickRefreshes(self):
        def shape_at(x, y):
            self.s.move(self.wid, x - 1, y)
            self.s.move(self.wid, x, y)
            return cursor_shape(self.s.display)

        px = self.s.px
        plain = shape_at(px(20), px(200))
        for name, (l, t, r, b) in BUTTONS.items():
            shapes = [shape_at(px(l), px(t)), shape_at(px(r) - 1, px(b) - 1), shape_at(px(r), px(b) - 1)]
            self.assertEqual([s == plain for s in shapes], [False, False, True], name)
        n = len(self.s.queries())
        x, y = button_centre("Refresh")
        self.s.click_at(self.wid, px(x), px(y))
        settle(self.s.pause)
        self.assertEqual(len(self.s.queries()), n + 1, "one refresh")

    def test_4_theTitleStripsLastRowDrags_theRowBelowDoesNot(self):
        def drag(y):
            x0, y0, _, _ = self.s.geometry(self.wid)
            self.s.xdo("mousemove", str(x0 + self.s.px(400)), str(y0 + y), "mousedown", "1")
            for step in range(1, 6):
                self.s.xdo("mousemove", str(x0 + self.s.px(400) - 8 * step), str(y0 + y + 5 * step))
                settle(0.05)
            self.s.xdo("mouseup", "1")
            settle(0.5)
            x1, y1, _, _ = self.s.geometry(self.wid)
            return x1 - x0, y1 - y0

        n = len(self.s.queries())
        dx, dy = drag(self.s.px(30) - 1)
        self.assertLessEqual(abs(dx + 40) + abs(dy - 25), 2, (dx, dy))
        self.assertEqual(drag(self.s.px(30)), (0, 0))
        self.assertEqual(len(self.s.queries()), n, "dragging clicks no button")


class At125(Scaled, unittest.TestCase):
    scale = 1.25


class At150(Scaled, unittest.TestCase):
    scale = 1.5


class At200(Scaled, unittest.TestCase):
    scale = 2.0


if __name__ == "__main__":
    reason = missing() or (None if os.path.exists(SKIN_2X) else "LDT_SKIN_2X not found (%r)" % SKIN_2X)
    if reason:
        print("SKIP: " + reason)
        sys.exit(77)
    os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
    unittest.main(verbosity=2)
