"""ldt-report.exe under Wine finding the machine through a printer-class
interface that SetupAPI lists (no fallback device name exists)."""

import json
import os
import subprocess
import unittest

from ldt_e2e import REPLY_A, expected_report
from test_window_hotplug import ListedSession
from usbprint_fixture import FRIENDLY_NAME, LONG_INSTANCE, MANUFACTURER, SHORT_INSTANCE, device_path

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
                    port = doc["ports"][0]
                    self.assertEqual(len(doc["ports"]), 1)
                    self.assertEqual(list(port)[:3], ["path", "opened", "answered"])
                    self.assertEqual((port["path"], port["opened"], port["answered"]),
                                     (device_path(instance), True, True))
                    self.assertEqual((port["identity"]["vendorId"], port["identity"]["productId"]), ("1a86", "7584"))
                    self.assertEqual((port["written"], port["received"]), (5, 256))  # the simulator pads to 256
                finally:
                    s.close()

    def test_diagnose_namesTheDevice_theSystemsMessage_andTheSilence(self):
        s = ListedSession("diagnose", SHORT_INSTANCE)
        try:
            # Listed, but its path opens nothing (no relay behind it).
            s.usb.register()
            r = subprocess.run(["wine", REPORT, "--diagnose"], env=s.env, stdin=subprocess.DEVNULL,
                               capture_output=True)
            self.assertEqual(r.returncode, 3, r.stderr)
            text = r.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
            print(text)
            self.assertIn("Port 1: %s\n  USB id: 1a86:7584\n" % device_path(SHORT_INSTANCE), text)
            for line in ("  Manufacturer: " + MANUFACTURER, "  Serial number: 0001",
                         "  System name: " + FRIENDLY_NAME, "  Location: " + SHORT_INSTANCE):
                self.assertIn(line + "\n", text)
            self.assertRegex(text, r"  Result: cannot open: \S.*\n")  # the system's own words
            doc = json.loads(subprocess.run(["wine", REPORT, "--json"], env=s.env, stdin=subprocess.DEVNULL,
                                            capture_output=True).stdout)
            self.assertTrue(doc["ports"][0]["error"])
            self.assertEqual(doc["ports"][0]["identity"]["manufacturer"], MANUFACTURER)

            # It opens, takes the query and never answers.
            s.start_sim("silent")
            s.usb.start_relay()
            r = subprocess.run(["wine", REPORT, "--diagnose"], env=s.env, stdin=subprocess.DEVNULL,
                               capture_output=True)
            self.assertEqual(r.returncode, 3, r.stderr)
            text = r.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
            print(text)
            self.assertIn("  USB id: 1a86:7584\n", text)
            self.assertIn("  Result: opened; wrote 5 bytes, no reply within 1 s (", text)
            self.assertEqual(s.queries(), ["X"])
        finally:
            s.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
