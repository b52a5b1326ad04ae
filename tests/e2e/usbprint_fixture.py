"""A printer-class interface that Wine's SetupAPI lists, reaching the machine
simulator, so that the Windows program's discovery runs on the real API.

The interface is registry keys under DeviceClasses; Wine makes its device
path from the instance id. usbprint_relay.exe (built next to the program)
makes that path open in Wine's object namespace and relays it to the
simulator's pseudo-terminal, reached as \\\\.\\ldtusb. Nothing of it stays
in the prefix afterwards: the other tests expect SetupAPI to list nothing.

Environment: LDT_RELAY (usbprint_relay.exe), LDT_SEND_DEVICECHANGE
(send_devicechange.exe), WINEPREFIX.
"""

import os
import subprocess
import tempfile

RELAY = os.environ.get("LDT_RELAY", "")
SEND_DEVICECHANGE = os.environ.get("LDT_SEND_DEVICECHANGE", "")
PREFIX = os.environ.get("WINEPREFIX", "")

USBPRINT = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"
# A composite device's interface with a serial number: its path is 88
# characters, past the 80 that once fitted a port slot.
LONG_INSTANCE = r"USB\VID_1A86&PID_7584&MI_00\7&1A2B3C4D&0&0000"
SHORT_INSTANCE = r"USB\VID_1A86&PID_7584\0001"
DEVICE = "ldtusb"  # dosdevices name of the simulator's pty for the relay
# What the device's registry key says about it (SetupAPI's properties).
FRIENDLY_NAME = "Test Laser Engraver"
MANUFACTURER = "Test Laser Works"

CLASS_KEY = r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\DeviceClasses" + "\\" + USBPRINT
ENUM_KEY = r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum"
USB_CLASS = "{36fc9e60-c465-11cf-8056-444553540000}"


def device_path(instance):
    """The path Wine's SetupAPI reports for `instance`'s USBPRINT interface."""
    return "\\\\?\\" + instance.replace("\\", "#").lower() + "#" + USBPRINT


def _regedit(env, text):
    """Imports a .reg text in one Wine process."""
    fd, path = tempfile.mkstemp(suffix=".reg")
    with os.fdopen(fd, "w", encoding="utf-16") as f:
        f.write("Windows Registry Editor Version 5.00\r\n\r\n" + text.replace("\n", "\r\n"))
    try:
        subprocess.run(["wine", "regedit", "/S", "Z:" + path.replace("/", "\\")], env=env, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    finally:
        os.unlink(path)


class ListedInterface:
    """Registers and unregisters the interface of `instance` and runs the
    relay to dosdevices/ldtusb (start the simulator there first:
    `device_link` is its --link path)."""

    def __init__(self, env, instance=LONG_INSTANCE):
        self.env = env
        self.instance = instance
        self.path = device_path(instance)
        self.device_link = os.path.join(PREFIX, "dosdevices", DEVICE)
        self.relay = None
        self.registered = False
        if os.path.islink(self.device_link):  # left by an interrupted run
            os.unlink(self.device_link)

    def register(self):
        # Wine lists an interface only when its device's instance key has a
        # setup class.
        key = "%s\\##?#%s#%s" % (CLASS_KEY, self.instance.replace("\\", "#"), USBPRINT)
        value = self.instance.replace("\\", "\\\\")
        link = self.path.replace("\\", "\\\\")
        _regedit(self.env, '[%s\\%s]\n"ClassGUID"="%s"\n"FriendlyName"="%s"\n"Mfg"="%s"\n\n'
                 % (ENUM_KEY, self.instance, USB_CLASS, FRIENDLY_NAME, MANUFACTURER) +
                 '[%s]\n"DeviceInstance"="%s"\n\n[%s\\#]\n"SymbolicLink"="%s"\n\n'
                 '[%s\\#\\Control]\n"Linked"=dword:00000001\n\n' % (key, value, key, link, key))
        self.registered = True

    def unregister(self):
        # The whole class key (a clean prefix has none) and the device's key.
        device = self.instance.rsplit("\\", 1)[0]
        _regedit(self.env, "[-%s]\n\n[-%s\\%s]\n\n" % (CLASS_KEY, ENUM_KEY, device))
        self.registered = False

    def start_relay(self):
        """Starts the relay and waits until the path opens."""
        name = self.path[len("\\\\?\\"):]
        self.relay = subprocess.Popen(["wine", RELAY, name, "\\\\.\\" + DEVICE, "--until-eof"], env=self.env,
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      text=True)
        line = self.relay.stdout.readline().strip()
        if line != "ready":
            self.relay.kill()
            self.relay.wait()
            error = self.relay.stderr.read()
            self.stop_relay()
            raise RuntimeError("usbprint_relay did not start: %r %s" % (line, error))

    def stop_relay(self):
        """Ends the relay (closing its input) and with it the path's link object."""
        if self.relay and self.relay.poll() is None:
            self.relay.stdin.close()
            try:
                self.relay.wait(5)
            except subprocess.TimeoutExpired:
                self.relay.kill()
                self.relay.wait()
        if self.relay:
            self.relay.stdout.close()
            self.relay.stderr.close()
        self.relay = None

    def close(self):
        self.stop_relay()
        if self.registered:
            self.unregister()
        if os.path.islink(self.device_link):
            os.unlink(self.device_link)


def send_devicechange(env, event):
    """Sends the window WM_DEVICECHANGE for a USBPRINT interface ("ARRIVAL" or "REMOVAL")."""
    return subprocess.run(["wine", SEND_DEVICECHANGE, event], env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True).returncode
