"""End-to-end tests of the Windows program under Wine in Xvfb, with the
machine simulator answering as \\\\.\\KORVA1 (the fallback device name).

Environment: LDT_EXE (the exe), LDT_SIM, WINEPREFIX (an initialised
prefix), LDT_SKIN, LDT_ARTIFACTS; DISPLAY, when set, is the display of the
test run's Wine desktop, otherwise each session starts its own Xvfb.
"""

import glob
import os
import shutil
import subprocess
import unittest

import ldt_e2e
from ldt_e2e import KeyboardTests, MachineWindowTests, WithoutDataTests, run, skin

EXE = os.environ.get("LDT_EXE", "")
PREFIX = os.environ.get("WINEPREFIX", "")


class WineSession(ldt_e2e.Session):
    # Wine's frame and caption: client (0, 0) is window (3, 22), and client
    # (x, y) shows skin pixel (x + 3, y + 30).
    client_in_window = (3, 22)
    client_in_skin = (3, 30)
    query = "Y"  # the fallback device gets QueryCommandY
    sim_args = ("--pad",)
    pause = 0.8
    x_line_end = b"\n"  # Wine's bridge to the X clipboard hands out Unix line ends

    def __init__(self, name):
        super().__init__(name)
        if os.environ.get("DISPLAY"):
            self.display = os.environ["DISPLAY"]
        else:
            xvfb, self.display = ldt_e2e.start_xvfb()
            self.procs.append(xvfb)
        self.env = dict(os.environ, DISPLAY=self.display, WINEDEBUG="-all", LANG="C.UTF-8", WINEPREFIX=PREFIX)
        out = run("xdotool", "getdisplaygeometry", env=self.env).stdout.split()
        if len(out) == 2:
            self.screen = (int(out[0]), int(out[1]))
        self.forget_history()
        self.link = os.path.join(PREFIX, "dosdevices", "korva1")
        if os.path.islink(self.link):  # left by an interrupted run: a dead pty
            os.unlink(self.link)

    def forget_history(self):
        """An empty history in the prefix, and nothing recorded (see keep_history)."""
        self.env["LDT_NO_HISTORY"] = "1"
        for folder in glob.glob(os.path.join(self.env["WINEPREFIX"], "drive_c", "users", "*", "AppData", "Local",
                                             "Laser Diagnostic Tool")):
            shutil.rmtree(folder)

    def start_app(self, attached=True):
        """Starts the program; with no simulator running nothing is attached."""
        self.app = subprocess.Popen(["wine", EXE], env=self.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)

    def dismiss(self, box):
        # Space on the message box's OK button: Return would also reach the
        # dialog's invisible default OK button and end the program.
        self.xdo("key", "--window", box, "space")

    def hover(self, wid, x, y):
        # The program sets the cursor for the button hot at the pointer's
        # previous event: a second move shows the cursor for (x, y).
        self.move(wid, x, y)
        self.move(wid, x + 1, y)

    def typed_path(self, path):
        return "Z:" + path.replace("/", "\\")

    def skin_problems(self, shot, wid):
        """The title strip over the caption, and the skin in the client area
        around the three buttons and the panel frames (no drawn text there)."""
        wx, wy, _, _ = self.geometry(wid)
        pic = skin()
        problems = [("title strip", x, y) for y in range(3, self.client_in_window[1]) for x in range(5, 806, 5)
                    if shot.at(wx + x, wy + y) != pic.at(x, y)]
        ox, oy = self.client_origin(wid)
        sx, sy = self.client_in_skin
        problems += [("client", x, y) for y in range(285, 345, 3) for x in range(90, 340, 3)
                     if shot.at(ox + x, oy + y) != pic.at(x + sx, y + sy)]
        return problems[:8]


class WithMachine(MachineWindowTests, unittest.TestCase):
    session = WineSession


class WithoutData(WithoutDataTests, unittest.TestCase):
    session = WineSession


class Keyboard(KeyboardTests, unittest.TestCase):
    session = WineSession


if __name__ == "__main__":
    unittest.main(verbosity=2)
