#include "platform/win32/Win32DeviceBus.h"

#include "platform/win32/Win32Handle.h"

#include <setupapi.h>

#include <cstddef>
#include <limits>
#include <vector>

namespace ldt {

namespace {

#ifndef _WIN64
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface record size on 32-bit Windows");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 6, "detail record header on 32-bit Windows");
#endif

GUID ToWinGuid(const Guid& g) {
    GUID out;
    out.Data1 = g.data1;
    out.Data2 = g.data2;
    out.Data3 = g.data3;
    for (int i = 0; i < 8; ++i) out.Data4[i] = g.data4[i];
    return out;
}

HANDLE ToWinHandle(DeviceHandle device) { return reinterpret_cast<HANDLE>(device); }

class DeviceInfoSet final : public InterfaceSet {
public:
    DeviceInfoSet(HDEVINFO set, const GUID& interfaceClass) : set_(set), class_(interfaceClass) {}
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    ~DeviceInfoSet() override { SetupDiDestroyDeviceInfoList(set_); }

    InterfaceQuery Query(unsigned index, WString& path) override {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set_, nullptr, &class_, index, &data))
            return GetLastError() == ERROR_NO_MORE_ITEMS ? InterfaceQuery::NoMoreItems
                                                         : InterfaceQuery::OtherError;

        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set_, &data, nullptr, 0, &required, nullptr);
        constexpr std::size_t header = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
        if (required <= header) return InterfaceQuery::DetailFailed;
        // DWORD elements keep the record aligned.
        std::vector<DWORD> buffer((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set_, &data, detail, required, nullptr, nullptr))
            return InterfaceQuery::DetailFailed;

        const std::size_t maxChars = (required - header) / sizeof(wchar_t);
        std::size_t n = 0;
        while (n < maxChars && detail->DevicePath[n] != 0) ++n;
        path = win32::FromWin(detail->DevicePath, n);
        return InterfaceQuery::Ok;
    }

private:
    HDEVINFO set_;
    GUID class_;
};

// Waits for an overlapped request on `device`. Returns true with the bytes
// transferred when it completed successfully in time. Otherwise the request
// is cancelled and waited for, so neither the OVERLAPPED nor the buffer is
// in use once this returns.
bool Finish(HANDLE device, OVERLAPPED& request, DWORD timeoutMs, DWORD& transferred) {
    transferred = 0;
    if (WaitForSingleObject(request.hEvent, timeoutMs) == WAIT_OBJECT_0)
        return GetOverlappedResult(device, &request, &transferred, FALSE) != 0;
    CancelIo(device);
    // A request that completed just before the cancellation keeps its result.
    return GetOverlappedResult(device, &request, &transferred, TRUE) != 0;
}

}  // namespace

Win32DeviceBus::Win32DeviceBus(DWORD timeoutMs) : timeoutMs_(timeoutMs) {}

std::unique_ptr<InterfaceSet> Win32DeviceBus::OpenInterfaceSet(const Guid& interfaceClass) {
    const GUID guid = ToWinGuid(interfaceClass);
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<DeviceInfoSet>(set, guid);
}

DeviceHandle Win32DeviceBus::Open(const WString& path, OpenMode mode) {
    DWORD access = GENERIC_READ | GENERIC_WRITE, share = 0, disposition = CREATE_ALWAYS;
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED;
    switch (mode) {
    case OpenMode::ReadWriteShared:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        disposition = OPEN_EXISTING;
        flags = FILE_FLAG_OVERLAPPED;
        break;
    case OpenMode::WriteExclusive:
        access = GENERIC_WRITE;
        break;
    case OpenMode::ReadWriteExclusive:
        break;
    }
    const std::wstring name = win32::ToWin(path);
    HANDLE h = CreateFileW(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kInvalidDevice;
    return reinterpret_cast<DeviceHandle>(h);
}

void Win32DeviceBus::Write(DeviceHandle device, const void* data, std::size_t size) {
    win32::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.Valid() || size > std::numeric_limits<DWORD>::max()) return;
    const HANDLE h = ToWinHandle(device);
    OVERLAPPED request{};
    request.hEvent = event.Get();
    if (!WriteFile(h, data, static_cast<DWORD>(size), nullptr, &request) && GetLastError() != ERROR_IO_PENDING)
        return;
    DWORD written;
    Finish(h, request, timeoutMs_, written);
}

std::size_t Win32DeviceBus::Read(DeviceHandle device, void* buffer, std::size_t capacity) {
    if (capacity == 0) return 0;
    win32::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.Valid()) return 0;
    const HANDLE h = ToWinHandle(device);
    const DWORD ask = capacity > std::numeric_limits<DWORD>::max() ? std::numeric_limits<DWORD>::max()
                                                                   : static_cast<DWORD>(capacity);
    OVERLAPPED request{};
    request.hEvent = event.Get();
    if (!ReadFile(h, buffer, ask, nullptr, &request) && GetLastError() != ERROR_IO_PENDING) return 0;
    DWORD got = 0;
    if (!Finish(h, request, timeoutMs_, got)) return 0;
    return got <= capacity ? got : 0;
}

void Win32DeviceBus::Close(DeviceHandle device) { CloseHandle(ToWinHandle(device)); }

}  // namespace ldt
