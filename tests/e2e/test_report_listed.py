"""ldt-report.exe under Wine finding the machine through a printer-class
interface that SetupAPI lists (no fallback device name exists)."""

import os
import subprocess
import unittest

from ldt_e2e import PREFIX, Session
from test_window import REPLY_A, expected_report
from usbprint_fixture import LONG_INSTANCE, SHORT_INSTANCE, ListedInterface

REPORT = os.environ.get("LDT_REPORT", "")


class ReportThroughListedInterface(unittest.TestCase):
    def test_sixteenLines_forLongAndShortPaths(self):
        for instance in (LONG_INSTANCE, SHORT_INSTANCE):
            with self.subTest(instance=instance):
                s = Session("report")
                usb = ListedInterface(s.env, instance)
                try:
                    s.link = usb.device_link
                    self.assertFalse(os.path.lexists(os.path.join(PREFIX, "dosdevices", "korva1")))
                    s.start_sim("normal", reply=REPLY_A)
                    usb.register()
                    usb.start_relay()
                    r = subprocess.run(["wine", REPORT], env=s.env, stdin=subprocess.DEVNULL, capture_output=True)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertEqual(r.stdout.replace(b"\r\n", b"\n"),
                                     expected_report(REPLY_A).replace(b"\r\n", b"\n"))
                    self.assertEqual(s.queries(), ["X"])
                finally:
                    s.close()
                    usb.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
