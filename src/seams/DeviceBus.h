#pragma once
// Seam: the channels to the machine. One backend per platform
// (platform/win32: SetupAPI and CreateFileW; platform/linux: usblp nodes).
// Every call runs on the caller's thread and returns within about a second.

#include "seams/CodePage.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ldt {

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2, data3;
    std::uint8_t data4[8];
};

// The USB printer device interface class, {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}.
constexpr Guid kUsbPrintInterfaceClass = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

// Platform handle of an open device; never kNullDevice or kInvalidDevice
// when valid.
using DeviceHandle = std::intptr_t;
constexpr DeviceHandle kNullDevice = 0;
constexpr DeviceHandle kInvalidDevice = -1;

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

// The present interfaces of one class, listed index by index. Destroying
// the set releases it.
class InterfaceSet {
public:
    virtual ~InterfaceSet() = default;
    // Interface `index` (0-based). `path` is written only for Ok.
    virtual InterfaceQuery Query(unsigned index, WString& path) = 0;
};

class DeviceBus {
public:
    virtual ~DeviceBus() = default;

    // The set of present interfaces of `interfaceClass`, or null when the
    // platform gives no set. The caller owns the result.
    virtual std::unique_ptr<InterfaceSet> OpenInterfaceSet(const Guid& interfaceClass) = 0;

    // Opens a device path. Returns kInvalidDevice when it does not open.
    virtual DeviceHandle Open(const WString& path, OpenMode mode) = 0;

    // Writes `size` bytes in one request. Waits at most about a second for
    // the device to take them; the outcome is not reported.
    virtual void Write(DeviceHandle device, const void* data, std::size_t size) = 0;

    // One read of at most `capacity` bytes. Returns the number of bytes
    // read: whatever the first transfer brought, or 0 when nothing came
    // within 1 second, the read failed, or the device went away. A timed-out
    // read is cancelled and finished before this returns, so `buffer` is no
    // longer touched afterwards.
    virtual std::size_t Read(DeviceHandle device, void* buffer, std::size_t capacity) = 0;

    // Closes a handle returned by Open.
    virtual void Close(DeviceHandle device) = 0;
};

// Owns one open device handle and closes it through its bus.
class Device {
public:
    Device() = default;
    Device(DeviceBus& bus, DeviceHandle handle) : bus_(&bus), handle_(handle) {}
    Device(Device&& other) noexcept : bus_(other.bus_), handle_(other.Release()) {}
    Device& operator=(Device&& other) noexcept {
        if (this != &other) {
            Reset();
            bus_ = other.bus_;
            handle_ = other.Release();
        }
        return *this;
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() { Reset(); }

    bool Valid() const { return handle_ != kNullDevice && handle_ != kInvalidDevice; }
    DeviceHandle Handle() const { return handle_; }

    DeviceHandle Release() {
        DeviceHandle h = handle_;
        handle_ = kInvalidDevice;
        return h;
    }
    void Reset() {
        if (Valid() && bus_) bus_->Close(handle_);
        handle_ = kInvalidDevice;
    }

private:
    DeviceBus* bus_ = nullptr;
    DeviceHandle handle_ = kInvalidDevice;
};

}  // namespace ldt
