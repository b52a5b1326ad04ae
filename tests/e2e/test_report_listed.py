"""ldt-report.exe under Wine finding the machine through a printer-class
interface that SetupAPI lists (no fallback device name exists)."""

import json
import os
import subprocess
import unittest

from ldt_e2e import REPLY_A, expected_report
from test_window_hotplug import ListedSession
from usbprint_fixture import LONG_INSTANCE, SHORT_INSTANCE, device_path

REPORT = os.environ.get("LDT_REPORT", "")


class ReportThroughListedInterface(unittest.TestCase):
    def test_sixteenLines_andTheWholePathInTheJson_forLongAndShortPaths(self):
        for instance in (LONG_INSTANCE, SHORT_INSTANCE):
            with self.subTest(instance=instance):
                s = ListedSession("report", instance)
                try:
                    s.start_sim("normal", reply=REPLY_A)
                    s.attach()
                    r = subprocess.run(["wine", REPORT], env=s.env, stdin=subprocess.DEVNULL, capture_output=True)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertEqual(r.stdout.replace(b"\r\n", b"\n"),
                                     expected_report(REPLY_A).replace(b"\r\n", b"\n"))
                    self.assertEqual(s.queries(), ["X"])

                    # The JSON report: the reply's fields in order, and the
                    # listed port with its whole path (its layout is pinned by
                    # the report command's unit test).
                    r = subprocess.run(["wine", REPORT, "--json"], env=s.env, stdin=subprocess.DEVNULL,
                                       capture_output=True)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    doc = json.loads(r.stdout)
                    self.assertEqual(doc["fields"], REPLY_A.split(",")[:-1])
                    self.assertEqual(doc["ports"], [{"path": device_path(instance), "opened": True, "answered": True}])
                finally:
                    s.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
