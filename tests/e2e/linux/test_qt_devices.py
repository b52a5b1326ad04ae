"""End-to-end tests of the native Qt program when printers come and go, and
when their node is not the user's to open.

The program runs unchanged inside scripts/usblp-namespace.sh. Hot-plug: the
printer starts unplugged and is plugged in and out with the script's
--plug/--unplug while the window is open; the window's own inotify watch on
/dev/usb must bring a refresh without a click. Permission: /dev/usb/lp0 is a
node 0660 root:lp and the program runs as a user outside lp. Demo: the
window in the demo's namespace runs as the user who asked, never as root.

Run as root: python3 test_qt_devices.py. Exits 77 (skipped) when something it
needs is missing. Environment as for test_qt_window.py.
"""

import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import ldt_e2e  # noqa: E402
from ldt_e2e import REPLY_A, SIM, TITLE, VALUE_BOXES, run, settle  # noqa: E402
from test_qt_window import APP, NAMESPACE, QtWindowTest, missing  # noqa: E402

OUTSIDER = "nobody"
REPORT = os.path.join(os.path.dirname(APP), "..", "ldt-report")
PERMISSION = [NAMESPACE, "--sim", SIM, "--node", "0660:lp", "--as-user", OUTSIDER, "--"]


class Devices(QtWindowTest):
    def test_hotplug_valuesAppearWithoutAClick_thenClearWhenUnplugged_withoutAnyBox(self):
        self.s.start_sim("normal", reply=REPLY_A)
        self.s.launch([NAMESPACE, "--unplugged", "--link", self.s.link, "--", APP])
        self.dismiss_error_box()  # nothing attached at start: the one box of the first refresh
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid, "no window after the box")
        settle(0.5)
        self.assertEqual(self.filled(wid, "unplugged"), 0)
        self.assertEqual(len(self.s.queries()), 0)

        plug = run(NAMESPACE, "--plug", str(self.s.app.pid))
        self.assertEqual(plug.returncode, 0, plug.stderr)
        self.assertEqual(self.wait_filled(wid, lambda n: n == len(VALUE_BOXES), "plugged-in"), len(VALUE_BOXES),
                         "values after plugging in, without a click")
        self.assertEqual(len(self.s.queries()), 1, "one refresh for the arrival: %s" % self.s.queries())
        self.assertEqual(self.s.find_all("^Error$"), [])

        unplug = run(NAMESPACE, "--unplug", str(self.s.app.pid))
        self.assertEqual(unplug.returncode, 0, unplug.stderr)
        self.assertEqual(self.wait_filled(wid, lambda n: n == 0, "unplugged-again"), 0,
                         "values cleared after unplugging")
        settle(0.5)
        self.assertEqual(self.s.find_all("^Error$"), [], "a refresh of the window's own shows no box")
        self.assertEqual(len(self.s.queries()), 1)
        self.assertIsNone(self.s.app.poll())

    def test_permission_theBoxNamesTheNodeTheReasonAndTheFix_onceForEachRequestedRefresh(self):
        self.s.launch(PERMISSION + [APP])
        box = self.s.find("^Error$")
        self.assertIsNotNone(box, "no Error box for the node the user may not open")
        settle(0.3)
        self.s.screenshot("permission-box")
        # Taller than the one-line no-connection box: the reason and the fix.
        self.assertGreater(self.s.geometry(box)[3], 100)
        self.dismiss_error_box()
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid, "no window after the box")
        settle(0.6)
        self.assertEqual(self.s.find_all("^Error$"), [], "one box only")
        self.assertEqual(self.filled(wid, "permission-window"), 0, "no values")
        self.click(wid, "Refresh")
        self.dismiss_error_box()  # a requested refresh says it again
        settle(0.5)
        self.assertEqual(self.s.find_all("^Error$"), [])
        self.click(wid, "Close")
        self.assertEqual(self.wait_exit(), 0)

    def test_permission_ldtReportPrintsTheSameReason_andExitsThree(self):
        out = run(*PERMISSION, REPORT)
        self.assertEqual(out.returncode, 3, out.stderr)
        self.assertEqual(out.stdout, "")
        self.assertTrue(out.stderr.startswith("Cannot open /dev/usb/lp0: Permission denied.\nOnly members of the group lp"),
                        out.stderr)
        self.assertIn("udev rule", out.stderr)

    def window_owner(self, command):
        """Starts `command` (the demo's namespace around the window) and
        returns the uid that the window's process runs as."""
        self.s.launch(command)
        wid = self.s.find(TITLE)
        self.assertIsNotNone(wid, "the demo's window did not appear")
        settle(0.5)
        self.assertEqual(self.filled(wid, "demo"), len(VALUE_BOXES), "the demo shows the simulated values")
        pid = int(self.s.xdo("getwindowpid", wid).stdout.strip())
        with open("/proc/%d/status" % pid) as f:
            return next(int(line.split()[1]) for line in f if line.startswith("Uid:"))

    def test_demo_theWindowRunsAsTheUserWhoAsked_neverAsRoot(self):
        uid = int(run("id", "-u", OUTSIDER).stdout)
        demo = [NAMESPACE, "--sim", SIM, "--", APP]
        # Without root: the namespace is made inside a user namespace.
        self.assertEqual(self.window_owner(["setpriv", "--reuid", OUTSIDER, "--regid", "nogroup", "--clear-groups"]
                                           + demo), uid)
        self.s.app.terminate()
        self.s.app.wait(10)
        # Through sudo where that is not possible: root makes the namespace,
        # the window runs as the user who called sudo.
        self.s.env = dict(self.s.env, SUDO_UID=str(uid), SUDO_GID=run("id", "-g", OUTSIDER).stdout.strip())
        self.assertEqual(self.window_owner(demo), uid)


def missing_here():
    reason = missing()
    if reason:
        return reason
    if subprocess.run(["getent", "group", "lp"], capture_output=True).returncode != 0:
        return "there is no group lp"
    probe = run("setpriv", "--reuid", OUTSIDER, "--regid", "nogroup", "--clear-groups", "test", "-x", APP)
    if probe.returncode != 0:
        return "%s cannot run %s" % (OUTSIDER, APP)
    return None


if __name__ == "__main__":
    reason = missing_here()
    if reason:
        print("SKIP: " + reason)
        sys.exit(77)
    os.makedirs(ldt_e2e.ARTIFACTS, exist_ok=True)
    unittest.main(verbosity=2)
