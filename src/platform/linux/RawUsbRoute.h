#pragma once
// The second route to a printer-class interface on Linux: straight through
// usbfs with libusb, for interfaces (class 7, subclass 1, protocol 1-3)
// that no driver is bound to, so that no usblp node stands for them. It
// never takes an interface from a driver or another program: one bound to
// a driver is not listed, and one another program claims is reported as
// held. Ports are named for people by their USB place: "usb 1-1.4" (with
// ":1.N" only where one device has two such interfaces).

#include "platform/Deadline.h"
#include "platform/linux/SysfsUsb.h"
#include "seams/DeviceBus.h"

#include <memory>
#include <string>
#include <vector>

struct libusb_context;

namespace ldt {

class RawUsbDevice;

class RawUsbRoute {
public:
    explicit RawUsbRoute(UsbSystemRoots roots);
    ~RawUsbRoute();
    RawUsbRoute(const RawUsbRoute&) = delete;
    RawUsbRoute& operator=(const RawUsbRoute&) = delete;

    // False when libusb could not start: no interface is then reachable
    // this way, and the portless scan explains them as before.
    bool Available() const { return ctx_ != nullptr; }

    struct Port {
        WString path;              // "usb 1-1.4"
        std::string interfaceDir;  // the interface's sysfs directory, resolved
        DeviceIdentity identity;
    };
    // The printer interfaces bound to no driver, in the order of their
    // names, each identified from sysfs and, for its 1284 id, by the
    // class's GET_DEVICE_ID request (all of them within a short bound; an
    // interface that is held, silent or refuses keeps an empty id).
    std::vector<Port> List();

    static bool IsRawPath(const WString& path);
    // Opens and claims the interface behind a "usb …" path. On failure the
    // reason says why: the node's errno text (with the permission remedy),
    // "held by another program" (with the driver the kernel names), a
    // descriptor that cannot carry an exchange, or a device that is gone.
    OpenResult Open(const WString& path);

    // One bulk transfer on each raw device of a batch, all at once: Start
    // submits them; Finish waits for them until `deadline`, cancels those
    // still pending and returns once none is. A device whose transfer
    // stalled or that went away gives what came before; one gone from the
    // bus takes no later transfers.
    struct Job {
        Device* device;
        bool in;                     // bulk IN (a read) or bulk OUT (a write)
        const void* out = nullptr;   // the bytes of a write
        void* into = nullptr;        // where a read's bytes go
        std::size_t size = 0;        // bytes to write / most bytes to read
        std::size_t done = 0;        // set by Finish: bytes carried
    };
    void Start(std::vector<Job>& jobs);
    void Finish(std::vector<Job>& jobs, const Deadline& deadline);

    static bool IsRaw(const Device* device);

private:
    struct Pending;
    UsbSystemRoots roots_;
    libusb_context* ctx_ = nullptr;
    std::vector<std::unique_ptr<Pending>> pending_;
};

}  // namespace ldt
