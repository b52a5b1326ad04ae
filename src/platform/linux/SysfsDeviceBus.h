#pragma once
// Printer-class USB interfaces on Linux by two routes: the usblp driver's
// nodes first (interface i is the i-th /sys/class/usbmisc/lpN, in numeric
// order, whose USB interface has class 07; its path is /dev/usb/lpN), then
// the printer interfaces bound to no driver, reached through usbfs
// (RawUsbRoute, paths "usb 1-1.4"). Both routes share each batch's bound.

#include "platform/linux/SysfsUsb.h"
#include "seams/DeviceBus.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>

namespace ldt {

class RawUsbRoute;

class SysfsDeviceBus final : public DeviceBus {
public:
    // Roots are parameters so tests can run on a temporary tree.
    explicit SysfsDeviceBus(std::string sysRoot = "/sys", std::string devRoot = "/dev",
                            int readTimeoutMs = kBusBoundMs);
    // Every root of the system's records replaced (modprobe.d, modules
    // too); `roots.sys` and `roots.dev` as above. Without `rawRoute` only
    // usblp nodes are ports.
    explicit SysfsDeviceBus(UsbSystemRoots roots, int readTimeoutMs = kBusBoundMs, bool rawRoute = true);
    ~SysfsDeviceBus() override;

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
    void ReadEach(std::vector<DeviceRead>& reads) override { ReadWithin(reads, timeoutMs_); }
    void ReadPending(std::vector<DeviceRead>& reads, int boundMs) override {
        ReadWithin(reads, std::min(boundMs, timeoutMs_));
    }

    // Printer-class USB interfaces in sysfs without a usblp node that the
    // raw route does not reach either, with why: bound to another driver or
    // held by a program; without the raw route also usblp not loaded, kept
    // out by the module configuration, not in the kernel, or the interface
    // bound to no driver.
    std::vector<PortlessInterface> FindPortlessInterfaces() override;
    std::size_t PortlessNotListed() const override { return portlessNotListed_; }
    // True while the USB device a listed path belonged to is still in
    // sysfs, and for paths this bus never listed (it cannot tell).
    bool PortMayReturn(const WString& path) override;
    bool HasFallbackNames() const override { return false; }  // Windows device names

private:
    bool RawRouteAvailable() const;
    void ReadWithin(std::vector<DeviceRead>& reads, int boundMs);

    UsbSystemRoots roots_;
    int timeoutMs_;
    std::map<WString, std::string> usbDeviceOf_;  // listed path -> its USB device's sysfs directory
    std::size_t portlessNotListed_ = 0;
    std::unique_ptr<RawUsbRoute> raw_;
};

}  // namespace ldt
