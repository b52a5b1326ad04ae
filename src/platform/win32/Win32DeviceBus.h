#pragma once
// Printer-class USB interfaces through SetupAPI, devices through
// CreateFileW with overlapped I/O so that no exchange waits for ever.

#include "seams/DeviceBus.h"

#include <windows.h>

namespace ldt {

class Win32DeviceBus final : public DeviceBus {
public:
    // `timeoutMs` bounds each Write and Read.
    explicit Win32DeviceBus(DWORD timeoutMs = 1000);

    // SetupDiGetClassDevsW(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE); the set is
    // destroyed with the returned object.
    std::unique_ptr<InterfaceSet> OpenInterfaceSet(const Guid& interfaceClass) override;

    // CreateFileW with the mode's access, sharing and disposition, always
    // with FILE_FLAG_OVERLAPPED.
    DeviceHandle Open(const WString& path, OpenMode mode) override;

    // Handles must come from Open (overlapped). A request still pending at
    // the timeout is cancelled and its completion awaited before returning.
    void Write(DeviceHandle device, const void* data, std::size_t size) override;
    std::size_t Read(DeviceHandle device, void* buffer, std::size_t capacity) override;

    void Close(DeviceHandle device) override;

private:
    DWORD timeoutMs_;
};

}  // namespace ldt
