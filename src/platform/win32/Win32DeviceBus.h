#pragma once
// Printer-class USB interfaces through SetupAPI, devices through
// CreateFileW with overlapped I/O so that no exchange waits for ever.

#include "seams/DeviceBus.h"

#include <windows.h>

#include <algorithm>

namespace ldt {

class Win32DeviceBus final : public DeviceBus {
public:
    // `timeoutMs` bounds each WriteEach and ReadEach.
    explicit Win32DeviceBus(DWORD timeoutMs = kBusBoundMs) : timeoutMs_(timeoutMs) {}

    // SetupDiGetClassDevsW(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE); the set is
    // destroyed with the returned object.
    std::unique_ptr<InterfaceSet> OpenInterfaceSet(const Guid& interfaceClass) override;

    // CreateFileW with the mode's access, sharing and disposition, always
    // with FILE_FLAG_OVERLAPPED. A failure gives FormatMessageW's reason.
    OpenResult Open(const WString& path, OpenMode mode) override;

    // One overlapped request per device and one wait over all of their
    // events. Requests still pending at the deadline are cancelled, one by
    // one, and their completion awaited before returning.
    void WriteEach(std::vector<DeviceWrite>& writes, const void* data, std::size_t size) override;
    void ReadEach(std::vector<DeviceRead>& reads) override { ReadWithin(reads, timeoutMs_); }
    void ReadPending(std::vector<DeviceRead>& reads, int boundMs) override {
        ReadWithin(reads, std::min(static_cast<DWORD>(std::max(boundMs, 0)), timeoutMs_));
    }

    // The system handle of a device this bus opened; the device keeps
    // owning it. A cancelled request of a batch is that request only, so
    // requests of the caller's own on the handle go on.
    static HANDLE NativeHandle(Device& device);

private:
    void ReadWithin(std::vector<DeviceRead>& reads, DWORD boundMs);
    DWORD timeoutMs_;
};

// What a USB device instance id tells ("USB\VID_1A86&PID_7584\0001"): the
// vendor and product ids as four lower-case hex digits, and the serial
// number when the last part is one (the system makes up parts with '&' for
// devices without one). Fields it cannot tell stay as they are.
void ReadUsbInstanceId(const WString& instanceId, DeviceIdentity& identity);

}  // namespace ldt
