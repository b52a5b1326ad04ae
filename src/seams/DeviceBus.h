#pragma once
// Seam: the channels to the machine. One backend per platform
// (platform/win32: SetupAPI and CreateFileW; platform/linux: usblp nodes, and
// printer interfaces without a driver through libusb).
// Every call runs on the caller's thread and returns within about the bus's
// bound, however many devices it is given and whatever they do.

#include "seams/CodePage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ldt {

// How long WriteEach and ReadEach wait at the most, unless a backend is made
// with another bound (tests make them shorter).
constexpr unsigned kBusBoundMs = 1000;

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2, data3;
    std::uint8_t data4[8];
};

// The USB printer device interface class, {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}.
constexpr Guid kUsbPrintInterfaceClass = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

enum class OpenMode {
    // Read and write, others may read and write too, the device must exist.
    ReadWriteShared,
    // Write only, exclusive, "create always" (devices ignore the creation).
    WriteExclusive,
    // Read and write, exclusive, "create always".
    ReadWriteExclusive,
};

// Outcome of asking a set for the interface at one enumeration index.
enum class InterfaceQuery {
    Ok,            // `path` holds the interface's device path
    NoMoreItems,   // there is no interface at this index or beyond
    OtherError,    // this index could not be listed; later ones may
    DetailFailed,  // the index exists but its path could not be fetched
};

// What the system says about the device behind an interface. Every field
// may be empty (not known, or not given by this system). The strings come
// from the device and its driver as they are: untrusted, of any length and
// content; whoever shows them bounds and escapes them.
struct DeviceIdentity {
    WString vendorId, productId;           // USB ids, four lower-case hex digits ("1a86")
    WString manufacturer, product, serial;  // the device's own strings
    WString ieee1284Id;                    // the IEEE 1284 device id ("MFG:…;MDL:…;")
    WString description;                   // the system's name for it (friendly name or description)
    WString driver;                        // the driver (service) bound to it
    WString location;                      // where the system keeps it: instance id, or USB interface name
    // How the port reaches the device, for people: the driver's node
    // ("usblp") or the backend's own route ("raw USB"), with what that
    // route claims and releases for an exchange. Empty where there is only
    // one route.
    WString route;
};

// The present interfaces of one class, listed index by index. Destroying
// the set releases it.
class InterfaceSet {
public:
    virtual ~InterfaceSet() = default;
    // Interface `index` (0-based). `path` is written only for Ok.
    virtual InterfaceQuery Query(unsigned index, WString& path) = 0;
    // The device behind interface `index`, as far as the system tells;
    // all fields empty when it tells nothing or the index does not exist.
    // Never fails and returns at once (no device I/O).
    virtual DeviceIdentity Identify([[maybe_unused]] unsigned index) { return {}; }
};

// A printer-class interface that is present on the bus but has no port the
// bus could open (on Linux: no usblp node), with why and what to do.
struct PortlessInterface {
    DeviceIdentity identity;
    WString cause;   // one sentence: why there is no port
    WString remedy;  // one or two sentences: what the user can do
};

// One open device, made only by its bus's Open. It is the sole owner of the
// platform's handle: destroying it closes the device. No request of the bus
// is ever pending on a device between two calls of the bus, so a device may
// be destroyed at any time.
class Device {
public:
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

protected:
    Device() = default;
};

struct OpenResult {
    std::unique_ptr<Device> device;  // null when the path did not open
    // When it did not open: the system's reason in its own words
    // ("Permission denied"), and what the user can do about it where the
    // backend knows (empty otherwise).
    WString reason;
    WString remedy;
};

// One write of a batch: the batch's bytes to `device`.
struct DeviceWrite {
    Device* device;            // from this bus's Open; not owned
    std::size_t written = 0;  // set by WriteEach: how many of the bytes the device took
};

// One read of a batch: at most `capacity` bytes of `device` into `buffer`.
struct DeviceRead {
    Device* device;  // from this bus's Open; not owned
    void* buffer;
    std::size_t capacity;
    std::size_t received = 0;  // set by ReadEach
};

// The most portless interfaces FindPortlessInterfaces returns.
constexpr std::size_t kPortlessListLimit = 32;

class DeviceBus {
public:
    virtual ~DeviceBus() = default;

    // The set of present interfaces of `interfaceClass`, or null when the
    // platform gives no set. The caller owns the result.
    virtual std::unique_ptr<InterfaceSet> OpenInterfaceSet(const Guid& interfaceClass) = 0;

    // Opens a device path. Never throws; a path that does not open gives a
    // null device and the reason.
    virtual OpenResult Open(const WString& path, OpenMode mode) = 0;

    // Writes the same `size` bytes to every device, all at once, and sets
    // each `written`: the bytes that device took (`size` when it took them
    // all; 0 when the write failed or the device went away). Returns when
    // every device has taken them all or the bus's bound (kBusBoundMs
    // unless the backend was made with another) has passed since the call,
    // whichever comes first; a write still pending then is cancelled and
    // finished before this returns.
    virtual void WriteEach(std::vector<DeviceWrite>& writes, const void* data, std::size_t size) = 0;

    // Starts one read on every device, all at once, and sets each
    // `received`: whatever the first transfer of that device brought (at
    // most `capacity`), or 0 when nothing came within the bound, the read
    // failed or the device went away. Returns when every read has finished
    // or the bound has passed since the call, so a batch of silent devices
    // costs one bound, not one each. Reads still pending then are cancelled
    // and finished before this returns: no buffer is touched afterwards.
    virtual void ReadEach(std::vector<DeviceRead>& reads) = 0;

    // As ReadEach, but waiting at most `boundMs` (less than the bus's
    // bound): for input a device already holds or is already sending, not
    // for an answer.
    virtual void ReadPending(std::vector<DeviceRead>& reads, int boundMs) = 0;

    // Printer-class interfaces that are present but have no port, each with
    // its cause and remedy. Empty where the system has no such case (every
    // present interface is listed by OpenInterfaceSet). Reads only the
    // system's own records: no device I/O, returns at once.
    virtual std::vector<PortlessInterface> FindPortlessInterfaces() { return {}; }

    // How many more portless interfaces the last FindPortlessInterfaces
    // found than it returned: it returns at most kPortlessListLimit of them
    // (the first ones in the system's order) and only counts the rest, so
    // that thousands of them cost little. 0 before the first call and
    // wherever nothing was left out.
    virtual std::size_t PortlessNotListed() const { return 0; }

    // Whether the device behind a port that was listed before and is now
    // gone may come back by itself within a couple of seconds, so that a
    // window keeps its values and looks again instead of clearing them: true
    // while the device itself is still attached (a printing service took
    // the port away for a moment), false once it is known to be unplugged.
    // Backends that cannot tell answer true.
    virtual bool PortMayReturn([[maybe_unused]] const WString& path) { return true; }

    // Whether the machine's fixed device names ("\\.\KORVA0" and
    // "\\.\KORVA1") are device paths on this system, to be tried when no
    // printer-class interface is listed. Where they are not, nothing is
    // tried in their place and no diagnosis names them.
    virtual bool HasFallbackNames() const { return true; }
};

}  // namespace ldt
