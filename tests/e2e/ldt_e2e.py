"""Drives the real LaserDiagnosticTool.exe under Wine inside Xvfb, with the
machine simulator answering as \\\\.\\KORVA1, and looks at what it paints and
writes. Standard library only; needs Xvfb, xdotool, xclip, ImageMagick and Wine.

Environment: LDT_EXE (the exe), LDT_SIM (ldt-machine-sim), WINEPREFIX (an
initialised prefix), LDT_SKIN (the skin bitmap), LDT_ARTIFACTS (where
screenshots go).
"""

import ctypes
import hashlib
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

EXE = os.environ.get("LDT_EXE", "")
SIM = os.environ.get("LDT_SIM", "")
PREFIX = os.environ.get("WINEPREFIX", "")
SKIN = os.environ.get("LDT_SKIN", "")
ARTIFACTS = os.environ.get("LDT_ARTIFACTS", tempfile.gettempdir())

SCREEN_W, SCREEN_H = 1024, 768
TITLE = "^Laser Diagnostic Tool$"
# Wine's frame and caption: client (0, 0) is window (3, 22).
CLIENT_IN_WINDOW = (3, 22)
# Client (x, y) shows skin pixel (x + 3, y + 30).
CLIENT_IN_SKIN = (3, 30)

VALUE_BOXES = {  # client rectangles of the white boxes, inclusive
    "Firmware Version": (189, 87, 317, 99),
    "FPGA. Version": (189, 138, 317, 150),
    "Speed": (115, 221, 198, 232),
    "Power": (286, 221, 369, 232),
    "DPI": (115, 246, 198, 257),
    "PPI": (286, 246, 369, 257),
    "Laser Tube Model": (582, 100, 743, 115),
    "Vector Mode": (582, 128, 743, 143),
    "Select Lens": (582, 156, 743, 171),
    "Carriage Free": (582, 184, 743, 199),
    "USB Mode": (582, 212, 743, 227),
    "Z-depth": (582, 240, 743, 255),
    "Scaling X": (583, 274, 640, 286),
    "Scaling Y": (685, 274, 742, 286),
    "Image Offset X": (583, 302, 640, 314),
    "Image Offset Y": (685, 302, 742, 314),
}
DRIVER_BOX = (189, 113, 317, 125)
BUTTONS = {"Close": (290, 290, 335, 340), "Save as": (195, 290, 240, 340), "Refresh": (95, 290, 140, 340)}
OFFSET_LABELS = {"X": (560, 300, 580, 325), "Y": (660, 300, 680, 325)}
VERSION_RECT = (700, 370, 810, 388)


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


class Image:
    """An RGB picture read through ImageMagick as PPM."""

    def __init__(self, path):
        data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
        parts = data.split(maxsplit=4)
        self.w, self.h = int(parts[1]), int(parts[2])
        self.px = parts[4][: self.w * self.h * 3]
        self.path = path

    def at(self, x, y):
        i = (y * self.w + x) * 3
        return tuple(self.px[i : i + 3])

    def dark_pixels(self, x0, y0, x1, y1, below=128):
        """Pixels in the inclusive rectangle whose brightest channel is below `below`."""
        n = 0
        for y in range(max(0, y0), min(self.h, y1 + 1)):
            for x in range(max(0, x0), min(self.w, x1 + 1)):
                if max(self.at(x, y)) < below:
                    n += 1
        return n

    def non_white(self, x0, y0, x1, y1):
        n = 0
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                if self.at(x, y) != (255, 255, 255):
                    n += 1
        return n


class Session:
    """One Xvfb display, optionally a simulator, and the program."""

    def __init__(self, name):
        self.name = name
        self.procs = []
        self.sim = None
        self.app = None
        self.tmp = tempfile.mkdtemp(prefix="ldt-e2e-")
        self.log = os.path.join(self.tmp, "queries.log")
        self.reply = os.path.join(self.tmp, "reply.txt")
        if os.environ.get("DISPLAY"):
            # The display the test run's Wine desktop lives on.
            self.display = os.environ["DISPLAY"]
        else:
            # Xvfb picks a free display number and writes it to the pipe.
            r, w = os.pipe()
            xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0",
                                     "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten", "tcp"],
                                    pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(w)
            with os.fdopen(r) as f:
                self.display = ":" + f.readline().strip()
            self.procs.append(xvfb)
        self.env = dict(os.environ, DISPLAY=self.display, WINEDEBUG="-all", LANG="C.UTF-8", WINEPREFIX=PREFIX)
        out = run("xdotool", "getdisplaygeometry", env=self.env).stdout.split()
        self.screen = (int(out[0]), int(out[1])) if len(out) == 2 else (SCREEN_W, SCREEN_H)
        self.link = os.path.join(PREFIX, "dosdevices", "korva1")
        if os.path.islink(self.link):  # left by an interrupted run: a dead pty
            os.unlink(self.link)

    def start_sim(self, mode="normal", reply=None):
        if reply is not None:
            self.set_reply(reply)
        args = [SIM, "--mode", mode, "--pad", "--link", self.link, "--log", self.log]
        if reply is not None:
            args += ["--reply-file", self.reply]
        self.sim = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.sim.stdout.readline()
        for _ in range(100):
            if os.path.islink(self.link):
                break
            time.sleep(0.02)

    def set_reply(self, text):
        tmp = self.reply + ".new"
        with open(tmp, "w") as f:
            f.write(text)
        os.replace(tmp, self.reply)

    def queries(self):
        try:
            with open(self.log) as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    def start_app(self):
        self.started_at = time.monotonic()
        self.app = subprocess.Popen(["wine", EXE], env=self.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)

    def xdo(self, *args):
        return run("xdotool", *args, env=self.env)

    def find(self, pattern, timeout=15.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            r = self.xdo("search", "--onlyvisible", "--name", pattern)
            ids = r.stdout.split()
            if ids:
                return ids[-1]
            if self.app and self.app.poll() is not None:
                return None
            time.sleep(0.05)
        return None

    def geometry(self, wid):
        out = self.xdo("getwindowgeometry", "--shell", wid).stdout
        g = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def screenshot(self, label):
        path = os.path.join(ARTIFACTS, "%s-%s.png" % (self.name, label))
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True,
                       capture_output=True)
        return Image(path)

    def client_to_screen(self, wid, x, y):
        wx, wy, _, _ = self.geometry(wid)
        return wx + CLIENT_IN_WINDOW[0] + x, wy + CLIENT_IN_WINDOW[1] + y

    def move(self, wid, x, y):
        sx, sy = self.client_to_screen(wid, x, y)
        self.xdo("mousemove", str(sx), str(sy))
        time.sleep(0.15)

    def click_at(self, wid, x, y):
        # Two moves: a hot button is left only through "none", so the first
        # move over a new button may only clear the old one.
        self.move(wid, x, y)
        self.move(wid, x + 1, y)
        self.xdo("click", "1")
        time.sleep(0.3)

    def key(self, wid, keys):
        """Presses `keys` (xdotool's names, e.g. "ctrl+s") with `wid` focused."""
        self.xdo("windowfocus", "--sync", wid)
        self.xdo("key", "--clearmodifiers", keys)

    def clipboard(self):
        """The CLIPBOARD selection as UTF-8 bytes, line breaks untouched; None when nobody holds it."""
        r = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env, capture_output=True, timeout=10)
        return r.stdout if r.returncode == 0 else None

    def close(self):
        for p in [self.app, self.sim] + self.procs[::-1]:
            if p and p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        if os.path.islink(self.link):
            os.unlink(self.link)
        shutil.rmtree(self.tmp, ignore_errors=True)


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def cursor_shape(display):
    """The pointer's current image on `display` (size, hot spot, pixel digest), read through XFixes."""
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        raise RuntimeError("cannot open display " + display)
    try:
        image = xfixes.XFixesGetCursorImage(dpy)
        c = image.contents
        pixels = [c.pixels[i] & 0xFFFFFFFF for i in range(c.width * c.height)]
        shape = (c.width, c.height, c.xhot, c.yhot, hashlib.sha1(repr(pixels).encode()).hexdigest())
        x11.XFree(image)
        return shape
    finally:
        x11.XCloseDisplay(dpy)


def skin():
    return Image(SKIN)


def check_click_rules(test, session, wid, pause):
    """Press outside and release over Refresh runs it; press on Refresh and
    release off it does not. Counts the simulator's queries."""
    n = len(session.queries())
    session.move(wid, 20, 200)
    session.xdo("mousedown", "1")
    session.move(wid, 118, 315)
    session.move(wid, 117, 314)
    session.xdo("mouseup", "1")
    settle(pause)
    test.assertEqual(len(session.queries()), n + 1, "release over Refresh")
    session.move(wid, 117, 314)
    session.xdo("mousedown", "1")
    session.move(wid, 20, 200)
    session.move(wid, 21, 200)
    session.xdo("mouseup", "1")
    settle(pause)
    test.assertEqual(len(session.queries()), n + 1, "press on Refresh, release off it")


def check_hand_cursor(test, session, wid):
    """The hand shows over each button only; a button's right edge is outside."""
    def shape_at(x, y):
        session.move(wid, x, y)
        session.move(wid, x + 1, y)
        return cursor_shape(session.display)

    plain = shape_at(20, 200)
    for name, (l, t, r, b) in BUTTONS.items():
        test.assertNotEqual(shape_at((l + r) // 2, (t + b) // 2), plain, "no hand over " + name)
        test.assertEqual(shape_at(20, 200), plain, "hand stays after leaving " + name)
        test.assertEqual(shape_at(r, t + 5), plain, "the right edge of %s is outside" % name)


def check_command_keys(test, session, wid, reply, expected, target, typed, pause, x_line_end=b"\r\n"):
    """F5 refreshes and repaints, Ctrl+S runs Save as, Ctrl+C puts on the
    clipboard exactly the text the saved file holds (sixteen CR LF lines).
    `target` is the file Save as writes when `typed` is typed into it.
    `x_line_end`: what X programs see of each CR LF (Wine's bridge from the
    Windows clipboard to X hands them Unix line ends)."""
    n = len(session.queries())
    before = test.boxes_with_text(session.screenshot("before-F5"), wid)
    session.set_reply(reply)
    session.key(wid, "F5")
    settle(pause)
    test.assertEqual(len(session.queries()), n + 1, "F5 ran one refresh")
    after = test.boxes_with_text(session.screenshot("after-F5"), wid)
    test.assertGreaterEqual(len([k for k in VALUE_BOXES if before[k] != after[k]]), 10, "F5 repainted the values")

    session.key(wid, "ctrl+s")
    test.assertIsNotNone(session.find("^Save As$", timeout=10), "Ctrl+S did not open Save As")
    settle(0.4)
    session.xdo("type", "--delay", "10", typed)
    session.xdo("key", "Return")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and not os.path.exists(target):
        time.sleep(0.1)
    settle(pause)
    with open(target, "rb") as f:
        saved = f.read()
    test.assertEqual(saved, expected)

    session.key(wid, "ctrl+c")
    settle(pause)
    test.assertEqual(saved.count(b"\r\n"), 16)
    test.assertEqual(session.clipboard(), saved.replace(b"\r\n", x_line_end),
                     "the clipboard holds the saved file's text")
    test.assertIsNone(session.find("^Error$", timeout=0.3), "no box")


def settle(seconds=0.6):
    time.sleep(seconds)
