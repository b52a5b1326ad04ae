#pragma once
// Printer-class USB interfaces on Linux: the usblp driver's nodes.
// Interface i is the i-th /sys/class/usbmisc/lpN (numeric order) whose USB
// interface has class 07; its path is /dev/usb/lpN.

#include "platform/linux/SysfsUsb.h"
#include "seams/DeviceBus.h"

#include <map>
#include <string>

namespace ldt {

class SysfsDeviceBus final : public DeviceBus {
public:
    // Roots are parameters so tests can run on a temporary tree.
    explicit SysfsDeviceBus(std::string sysRoot = "/sys", std::string devRoot = "/dev",
                            int readTimeoutMs = kBusBoundMs);
    // Every root of the system's records replaced (proc, modprobe.d,
    // modules too); `roots.sys` and `roots.dev` as above.
    explicit SysfsDeviceBus(UsbSystemRoots roots, int readTimeoutMs = kBusBoundMs);

    // Any interface class is answered with the printer interfaces: usblp
    // binds nothing else. The set identifies each node's USB interface and
    // device from sysfs; the bus remembers which USB device each listed
    // path belongs to, for PortMayReturn.
    std::unique_ptr<InterfaceSet> OpenInterfaceSet(const Guid& interfaceClass) override;

    // Absolute paths only; one trailing backslash (the Windows form of an
    // interface path) is ignored. Windows device names such as "\\.\KORVA1"
    // do not exist here and never open. Opened non-blocking, without
    // becoming the controlling terminal. A node that does not open gives
    // strerror's reason and, for permission and busy nodes, what to do.
    OpenResult Open(const WString& path, OpenMode mode) override;
    // Both wait with one poll() over all the devices until the shared
    // deadline; POLLERR/POLLHUP without data mean the device is gone. A
    // device that takes only part of a write is written the rest as it
    // makes room, until the deadline.
    void WriteEach(std::vector<DeviceWrite>& writes, const void* data, std::size_t size) override;
    void ReadEach(std::vector<DeviceRead>& reads) override;

    // Printer-class USB interfaces in sysfs without a usblp node, with why
    // (usblp not loaded, kept out by modprobe configuration, not in the
    // kernel, or the interface bound to no driver or another one).
    std::vector<PortlessInterface> FindPortlessInterfaces() override;
    // True while the USB device a listed path belonged to is still in
    // sysfs, and for paths this bus never listed (it cannot tell).
    bool PortMayReturn(const WString& path) override;
    bool HasFallbackNames() const override { return false; }  // Windows device names


private:
    UsbSystemRoots roots_;
    int timeoutMs_;
    std::map<WString, std::string> usbDeviceOf_;  // listed path -> its USB device's sysfs directory
};

}  // namespace ldt
