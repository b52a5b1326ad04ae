"""The Windows window read by a screen reader's means: an MSAA client in
another process (tests/e2e/win32/msaa_client.cpp) under Wine, against the
machine simulator.

Environment: as test_window.py, plus LDT_MSAA_CLIENT (msaa_client.exe).
"""

import glob
import os
import subprocess
import unittest

from ldt_e2e import REPLY_A, REPLY_B, HistoryTests, OwnSessionPerTest, run, settle, wait_for
from test_window import WineSession

CLIENT = os.environ.get("LDT_MSAA_CLIENT", "")
ROLE_CLIENT, ROLE_STATICTEXT, ROLE_PUSHBUTTON = 10, 41, 43
STATE_READONLY = 0x40
EVENT_FOCUS, EVENT_VALUECHANGE = 0x8005, 0x800E
OBJID_CLIENT = -4
# The reply field each box shows, in the order the client lists the boxes.
BOX_FIELDS = [("Firmware Version", 1), ("Driver Version", None), ("FPGA. Version", 0), ("Speed", 3),
              ("Power", 4), ("DPI", 5), ("PPI", 6), ("Laser Tube Model", 2), ("Vector Mode", 16),
              ("Select Lens", 7), ("Carriage Free", 8), ("USB Mode", 9), ("Z-depth", 10),
              ("Scaling X / Scaling Y", 12), ("Scaling X / Scaling Y", 13)]


def read(session, *press):
    """The client's (role, child count) and its children as dicts."""
    out = run("wine", CLIENT, *press, env=session.env, timeout=60)
    if out.returncode != 0:
        raise AssertionError("msaa_client failed (%d): %s" % (out.returncode, out.stderr[-300:]))
    lines = [line.split("\t") for line in out.stdout.splitlines()]
    client = (int(lines[0][1]), int(lines[0][2]))
    children = [{"role": int(f[1]), "state": int(f[2]), "name": f[3], "value": f[4],
                 "location": tuple(int(n) for n in f[5].split()), "action": f[6] if len(f) > 6 else "",
                 "description": f[7] if len(f) > 7 else ""}
                for f in lines[1:]]
    return client, children


def expected_values(reply):
    """What a sighted user reads in each box for `reply`: the boxes, then the two offsets."""
    fields = reply.split(",")[:-1]
    values = [fields[pos] if pos is not None else "" for _, pos in BOX_FIELDS]
    for pos, words in ((14, ("Left", "L:", "R:")), (15, ("Down", "D:", "U:"))):
        label = words[1] if fields[pos][:4] == words[0] else words[2]
        amount = fields[pos][6:]
        values.append(label + (" " + amount if amount else ""))
    return values


class HistorySession(WineSession):
    def descriptions(self):
        return [(c["name"], c["description"]) for c in read(self)[1] if c["role"] == ROLE_STATICTEXT]

    def history_file(self):
        """Under %LOCALAPPDATA% in the prefix."""
        files = glob.glob(os.path.join(self.env["WINEPREFIX"], "drive_c", "users", "*", "AppData", "Local",
                                       "Laser Diagnostic Tool", "history.jsonl"))
        assert len(files) == 1, files
        return files[0]


class History(HistoryTests, unittest.TestCase):
    session = HistorySession


class Accessible(OwnSessionPerTest, unittest.TestCase):
    session = WineSession

    def test_msaa_boxesButtonsAndVersion_beforeAndAfterARefresh_events_defaultActions(self):
        wid = self.open_window()
        client, children = read(self.s)
        self.assertEqual(client, (ROLE_CLIENT, 21))
        names = [c["name"] for c in children]
        self.assertEqual(names[:15], [name for name, _ in BOX_FIELDS])
        self.assertEqual(names[15:], ["Image Offset", "Image Offset", "Refresh", "Save as", "Close", "Ver_1.00-01"])
        self.assertEqual([c["value"] for c in children[:17]], expected_values(REPLY_A))
        for c in children:
            button = c["name"] in ("Refresh", "Save as", "Close")
            self.assertEqual(c["role"], ROLE_PUSHBUTTON if button else ROLE_STATICTEXT, c["name"])
            self.assertEqual(c["action"], "Press" if button else "", c["name"])
            if not button:
                self.assertTrue(c["state"] & STATE_READONLY, c["name"])
        # Places on the screen: the Firmware Version box and the Refresh button.
        ox, oy = self.s.client_origin(wid)
        self.assertEqual(children[0]["location"], (ox + 189, oy + 87, 129, 13))
        self.assertEqual(children[17]["location"], (ox + 95, oy + 290, 45, 50))

        # A listener in a third process hears which boxes changed, and where the focus went.
        listener = subprocess.Popen(["wine", CLIENT, "watch", "6"], env=self.s.env, stdout=subprocess.PIPE, text=True)
        self.assertEqual(listener.stdout.readline().strip(), "watching")
        self.s.set_reply(REPLY_B)
        read(self.s, "press", "Refresh")
        wait_for(lambda: len(self.s.queries()) > 1, 5.0)
        settle(self.s.pause)
        self.assertEqual(self.s.queries(), [self.s.query] * 2, "the default action ran one refresh")
        _, children = read(self.s)
        self.assertEqual([c["value"] for c in children[:17]], expected_values(REPLY_B))
        self.assertEqual(self.s.queries(), [self.s.query] * 2, "reading queries nothing")
        self.s.key(wid, "Tab")
        events = [tuple(int(f, 16) if i == 0 else int(f) for i, f in enumerate(line.split("\t")[1:]))
                  for line in listener.communicate(timeout=30)[0].splitlines() if line.startswith("event")]
        changed = [i + 1 for i, (a, b) in enumerate(zip(expected_values(REPLY_A), expected_values(REPLY_B))) if a != b]
        self.assertEqual([child for event, obj, child in events if event == EVENT_VALUECHANGE and obj == OBJID_CLIENT],
                         changed, "value changes for the boxes the refresh changed")
        self.assertIn((EVENT_FOCUS, OBJID_CLIENT, 18), events, "focus on Refresh after Tab")

        # Save as opens its dialog without holding the client until it closes.
        read(self.s, "press", "Save as")
        box = self.s.find("^Save As$", timeout=10)
        self.assertIsNotNone(box, "the default action on Save as opens the Save As dialog")
        settle(0.4)
        # Close pressed under it is carried out once it closes.
        read(self.s, "press", "Close")
        settle(0.5)
        self.assertTrue(self.s.find_all("^Save As$"), "the Save As dialog stays until it is closed")
        self.s.key(box, "Escape")
        self.assertEqual(self.wait_exit(), 0, "the default action on Close ends the program")

    def test_msaa_badChildIdsFailEverywhere_aBurstOfPressesFolds(self):
        self.s.start_sim("silent")
        self.s.start_app()
        self.assertIsNotNone(self.s.find("^Laser Diagnostic Tool$"), "the window did not appear")
        settle(1.5)
        out = run("wine", CLIENT, "bad", env=self.s.env, timeout=60)
        calls = [line.split("\t") for line in out.stdout.splitlines()]
        self.assertEqual(len(calls), 14 * 8, out.stderr[-300:])
        self.assertEqual([c for c in calls if c[2] != "80070057"], [], "E_INVALIDARG for every bad child")

        # Against a silent machine each refresh waits out its bound: fifteen
        # presses in a row fold into few.
        before = len(self.s.queries())
        out = run("wine", CLIENT, "burst", "15", "Refresh", env=self.s.env, timeout=60)
        burst = [line.split("\t") for line in out.stdout.splitlines() if line.startswith("burst")]
        self.assertEqual(len(burst), 1, out.stderr[-300:])
        settle(3.0)
        print("15 presses: %s ms in the client, %d queries" % (burst[0][1], len(self.s.queries()) - before))
        self.assertEqual(burst[0][2], "0", "every press accepted")
        self.assertLessEqual(len(self.s.queries()) - before, 2, "presses folded")


if __name__ == "__main__":
    unittest.main(verbosity=2)
