"""Which box each machine value is drawn in, for the Windows program under
Wine (LDT_EXE set) or the Qt program (LDT_APP set; run as root, exits 77
when it cannot run here).

The oracle is measured, never copied from the program's layout: the value
boxes are the white rectangles found in the skin bitmap, and each field's
box is the one beside the field's caption in the skin's drawing
(res/skin/skin.svg, next to LDT_SKIN). One program run refreshes once per
field, with a reply in which only that field has a value, and only that
field's box may darken.

Environment: as test_window.py (Wine) or linux/test_qt_window.py (Qt).
"""

import os
import sys
import unittest
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import ldt_e2e  # noqa: E402
from ldt_e2e import OneRunTests, settle  # noqa: E402

QT = bool(os.environ.get("LDT_APP"))
if QT:
    sys.path.insert(0, os.path.join(HERE, "linux"))
    import test_qt_window as platform  # noqa: E402
    Session = platform.QtSession
else:
    import test_window as platform  # noqa: E402
    Session = platform.WineSession

# Each shown field of the reply (its position) and the skin's caption for
# it; a caption with two boxes beside it names the left one first.
FIELDS = [
    (1, "Firmware Version", 0), (0, "FPGA. Version", 0),
    (3, "Speed", 0), (4, "Power", 0), (5, "DPI", 0), (6, "PPI", 0),
    (2, "Laser Tube Model", 0), (16, "Vector Mode", 0), (7, "Select Lens", 0), (8, "Carriage Free", 0),
    (9, "USB Mode", 0), (10, "Z-depth", 0),
    (12, "Scaling X / Scaling Y", 0), (13, "Scaling X / Scaling Y", 1),
    (14, "Image Offset", 0), (15, "Image Offset", 1),
]
REPLY_FIELDS = 17
WIDE = "888888"
OFFSETS = (14, 15)  # a direction word padded to six, then the amount the box shows
CLIENT_IN_SKIN = (3, 30)  # client (x, y) is skin pixel (x + 3, y + 30)


def white_boxes(pic, min_area=400, min_fill=0.9):
    """The skin's value boxes: connected areas of pure white that nearly
    fill their bounding rectangle, as inclusive skin rectangles."""
    w, h = pic.w, pic.h
    white = {i for i in range(w * h) if pic.px[3 * i:3 * i + 3] == b"\xff\xff\xff"}
    boxes = []
    while white:
        stack = [white.pop()]
        area = []
        while stack:
            i = stack.pop()
            area.append((i % w, i // w))
            for j in (i - 1 if i % w else -1, i + 1 if i % w < w - 1 else -1, i - w, i + w):
                if j in white:
                    white.remove(j)
                    stack.append(j)
        xs, ys = [x for x, _ in area], [y for _, y in area]
        box = (min(xs), min(ys), max(xs), max(ys))
        rect = (box[2] - box[0] + 1) * (box[3] - box[1] + 1)
        if rect >= min_area and len(area) >= min_fill * rect:
            boxes.append(box)
    return sorted(boxes)


def captions(svg_path):
    """Each text of the skin's drawing with the point it starts at (x, baseline)."""
    out = {}
    for el in ET.parse(svg_path).iter("{http://www.w3.org/2000/svg}text"):
        if el.text and el.get("x") and el.get("y"):
            out[el.text.strip()] = (float(el.get("x")), float(el.get("y")))
    return out


def box_beside(caption, nth, boxes, texts):
    """The nth box right of `caption` whose rows hold the middle of its
    letters (4 pixels above the baseline of the 12-pixel captions)."""
    x, baseline = texts[caption]
    row = sorted(b for b in boxes if b[0] > x and b[1] <= baseline - 4 <= b[3])
    if len(row) <= nth:
        raise AssertionError("no box %d beside the caption %r" % (nth, caption))
    return row[nth]


def reply_with(position):
    fields = [""] * REPLY_FIELDS
    fields[position] = ("Left  " if position in OFFSETS else "") + WIDE
    return ",".join(fields) + ","


class ValueBoxTests(OneRunTests):
    first_reply = "," * REPLY_FIELDS

    @classmethod
    def setUpClass(cls):
        cls.boxes = white_boxes(ldt_e2e.skin())
        texts = captions(os.path.join(os.path.dirname(ldt_e2e.SKIN), "skin.svg"))
        cls.expected = {pos: box_beside(caption, nth, cls.boxes, texts) for pos, caption, nth in FIELDS}
        super().setUpClass()

    def dark_boxes(self, label):
        shot = self.s.screenshot(label)
        ox, oy = self.s.client_origin(self.wid)
        dx, dy = ox - CLIENT_IN_SKIN[0], oy - CLIENT_IN_SKIN[1]
        return [b for b in self.boxes if shot.dark_pixels(b[0] + dx, b[1] + dy, b[2] + dx, b[3] + dy) > 0]

    def test_eachValue_darkensOnlyTheBoxBesideItsCaption(self):
        self.assertEqual(len(set(self.expected.values())), len(FIELDS), "one box per field")
        self.assertEqual(self.dark_boxes("empty"), [], "empty values darken no box")
        wrong = []
        for position, caption, nth in FIELDS:
            self.s.set_reply(reply_with(position))
            n = len(self.s.queries())
            self.s.key(self.wid, "F5")
            ldt_e2e.wait_for(lambda: len(self.s.queries()) > n, 3.0)
            settle(self.s.pause)
            dark = self.dark_boxes("field-%d" % position)
            if dark != [self.expected[position]]:
                wrong.append("field %d (%s %d): box %s expected, dark: %s"
                             % (position, caption, nth, self.expected[position], dark))
        self.assertEqual(wrong, [])


class Boxes(ValueBoxTests, unittest.TestCase):
    session = Session


if __name__ == "__main__":
    reason = platform.missing() if QT else None
    if reason:
        print("SKIP: " + reason)
        sys.exit(77)
    os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
    unittest.main(verbosity=2)
