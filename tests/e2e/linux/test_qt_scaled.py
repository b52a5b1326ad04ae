"""End-to-end: the Qt program at QT_SCALE_FACTOR 1.25, 1.5 and 2 in a large
Xvfb, against the simulator. Qt scales the painting; the mask, the title
strip and the hot rectangles are the program's own and must follow, in
device pixels by the programs' rounding. The skin is the 2x picture: exact
at 2, filtered down below, aligned at each scale.

Run as root; exits 77 (skipped) when something is missing. Environment as
for test_qt_window.py; the 2x skin picture lies beside LDT_SKIN.
"""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import ldt_e2e  # noqa: E402
from ldt_e2e import OFFSET_LABELS, VALUE_BOXES, VERSION_RECT, ScaledChecks, settle  # noqa: E402
from test_qt_window import TEXT_MARGIN_X, TEXT_MARGIN_Y, QtSession, missing  # noqa: E402


class ScaledSession(QtSession):
    screen = (2400, 1400)

    def __init__(self, scale):
        super().__init__("scaled-%g" % scale)
        self.scale, self.dpi = scale, round(96 * scale)
        self.env["QT_SCALE_FACTOR"] = "%g" % scale
        self.client_in_window = (ldt_e2e.scaled(3, self.dpi), ldt_e2e.scaled(30, self.dpi))


class Scaled(ScaledChecks):
    """One run of the program at `scale`, checked in order."""

    @classmethod
    def new_session(cls):
        return ScaledSession(cls.scale)

    def box(self, rect, mx=0, my=0):
        """Screen rectangle (inclusive) of a client rectangle of units, widened by (mx, my) units."""
        l, t, r, b = self.client_rect(self.wid, ldt_e2e.scaled_box(rect, self.s.dpi))
        return l - self.px(mx), t - self.px(my), r + self.px(mx), b + self.px(my)

    def test_1_scaledSize_skinFromThe2xPictureAligned_valuesInTheirScaledBoxes(self):
        self.assertScaledSize()
        wx, wy, w, h = self.s.geometry(self.wid)
        shot = self.s.screenshot("painted")
        text = [self.box(r, TEXT_MARGIN_X, TEXT_MARGIN_Y)
                for r in list(VALUE_BOXES.values()) + list(OFFSET_LABELS.values()) + [VERSION_RECT]]
        edge = self.px(3)
        pairs = [((wx + x, wy + y), (x, y)) for y in range(edge, h - edge, 3) for x in range(edge, w - edge, 3)
                 if not any(l <= wx + x <= r and t <= wy + y <= b for l, t, r, b in text)]

        def picture(source):
            factor = self.scale / 2 if source == "2x" else self.scale
            return ldt_e2e.converted(ldt_e2e.SKIN_2X if source == "2x" else ldt_e2e.SKIN, "-filter", "Triangle",
                                     "-resize", "%g%%" % (100 * factor))

        self.assertSkinFromThe2xPicture(shot, pairs, picture, 0 if self.scale == 2 else 6, 1)
        self.assertValuesInScaledBoxes(shot, inset=1)

    def test_2_maskEdgesWithinAPixelOfTheScaledRegion(self):
        # The region (2, 1), (1, 417), (816, 418), (817, 2): outside it the black root shows.
        wx, wy, w, h = self.s.geometry(self.wid)
        shot, px = self.s.screenshot("mask"), self.px
        rows = [[x for x in range(w) if shot.at(wx + x, wy + y) != (0, 0, 0)] for y in (h // 4, h // 2)]
        cols = [[y for y in range(h) if shot.at(wx + x, wy + y) != (0, 0, 0)] for x in (w // 4, w // 2)]
        for painted in rows + cols:
            self.assertTrue(px(1) - 1 <= painted[0] <= px(2) + 1, painted[0])
        for painted in rows:
            self.assertTrue(min(w, px(816)) - 2 <= painted[-1] <= min(w, px(817)), painted[-1])
        for painted in cols:
            self.assertTrue(px(417) - 2 <= painted[-1] <= h - 1, painted[-1])

    def test_3_handOnTheScaledHotRectangles_rightEdgeOutside_clickRefreshes(self):
        self.assertHandOnTheScaledButtons_refreshClickRepaints()

    def test_4_theTitleStripsLastRowDrags_theRowBelowDoesNot(self):
        def drag(y):
            x0, y0, _, _ = self.s.geometry(self.wid)
            self.s.xdo("mousemove", str(x0 + self.px(400)), str(y0 + y), "mousedown", "1")
            for step in range(1, 6):
                self.s.xdo("mousemove", str(x0 + self.px(400) - 8 * step), str(y0 + y + 5 * step))
                settle(0.05)
            self.s.xdo("mouseup", "1")
            settle(0.5)
            x1, y1, _, _ = self.s.geometry(self.wid)
            return x1 - x0, y1 - y0

        n = len(self.s.queries())
        dx, dy = drag(self.px(30) - 1)
        self.assertLessEqual(abs(dx + 40) + abs(dy - 25), 2, (dx, dy))
        self.assertEqual(drag(self.px(30)), (0, 0))
        self.assertEqual(len(self.s.queries()), n, "dragging clicks no button")


class At125(Scaled, unittest.TestCase):
    scale = 1.25


class At150(Scaled, unittest.TestCase):
    scale = 1.5


class At200(Scaled, unittest.TestCase):
    scale = 2.0


if __name__ == "__main__":
    reason = missing() or (None if os.path.exists(ldt_e2e.SKIN_2X) else "no 2x skin (%r)" % ldt_e2e.SKIN_2X)
    if reason:
        print("SKIP: " + reason)
        sys.exit(77)
    os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
    unittest.main(verbosity=2)
