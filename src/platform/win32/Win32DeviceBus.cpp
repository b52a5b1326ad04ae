#include "platform/win32/Win32DeviceBus.h"

#include "platform/Deadline.h"
#include "platform/win32/Win32Handle.h"
#include "seams/Messages.h"

#include <setupapi.h>

#include <chrono>
#include <cstddef>
#include <cwchar>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace ldt {

namespace {

#ifndef _WIN64
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface record size on 32-bit Windows");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 6, "detail record header on 32-bit Windows");
#endif

class Win32Device final : public Device {
public:
    explicit Win32Device(win32::UniqueHandle handle) : handle_(std::move(handle)) {}
    HANDLE Get() const { return handle_.Get(); }

private:
    win32::UniqueHandle handle_;
};

HANDLE HandleOf(Device* device) { return static_cast<Win32Device*>(device)->Get(); }

class DeviceInfoSet final : public InterfaceSet {
public:
    DeviceInfoSet(HDEVINFO set, const GUID& interfaceClass) : set_(set), class_(interfaceClass) {}
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    ~DeviceInfoSet() override { SetupDiDestroyDeviceInfoList(set_); }

    InterfaceQuery Query(unsigned index, WString& path) override { return Detail(index, path, nullptr); }

    // The interface's device (SP_DEVINFO_DATA through the detail call), its
    // instance id and registry properties.
    DeviceIdentity Identify(unsigned index) override {
        DeviceIdentity id;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        WString path;
        if (Detail(index, path, &device) != InterfaceQuery::Ok) return id;
        wchar_t instance[512] = {};
        if (SetupDiGetDeviceInstanceIdW(set_, &device, instance, 511, nullptr)) {
            id.location = win32::FromWin(instance, wcsnlen(instance, 511));
            ReadUsbInstanceId(id.location, id);
        }
        id.description = Property(device, SPDRP_FRIENDLYNAME);
        if (id.description.empty()) id.description = Property(device, SPDRP_DEVICEDESC);
        id.manufacturer = Property(device, SPDRP_MFG);
        id.driver = Property(device, SPDRP_SERVICE);
        return id;
    }

private:
    // Interface `index`'s path, and its device into `device` when given
    // (which also asks for a detail record of at least the record's size).
    InterfaceQuery Detail(unsigned index, WString& path, SP_DEVINFO_DATA* device) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set_, nullptr, &class_, index, &data))
            return GetLastError() == ERROR_NO_MORE_ITEMS ? InterfaceQuery::NoMoreItems
                                                         : InterfaceQuery::OtherError;

        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set_, &data, nullptr, 0, &required, nullptr);
        constexpr std::size_t header = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
        if (required <= header || (device && required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)))
            return InterfaceQuery::DetailFailed;
        // DWORD elements keep the record aligned.
        std::vector<DWORD> buffer((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set_, &data, detail, required, nullptr, device))
            return InterfaceQuery::DetailFailed;

        path = win32::FromWin(detail->DevicePath, wcsnlen(detail->DevicePath, (required - header) / sizeof(wchar_t)));
        return InterfaceQuery::Ok;
    }

    // A string property of the device; empty when it has none.
    WString Property(SP_DEVINFO_DATA& device, DWORD property) {
        wchar_t text[256] = {};
        DWORD type = 0;
        if (!SetupDiGetDeviceRegistryPropertyW(set_, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                               sizeof text - sizeof(wchar_t), nullptr) ||
            type != REG_SZ)
            return {};
        return win32::FromWin(text, wcsnlen(text, 255));
    }

    HDEVINFO set_;
    GUID class_;
};

// One overlapped request of a batch. Its OVERLAPPED must not move while the
// request is pending, so a batch is a vector sized once.
struct Request {
    HANDLE device = nullptr;
    win32::UniqueHandle event;
    OVERLAPPED overlapped{};
    bool pending = false;
    DWORD transferred = 0;
    bool ok = false;
};

// One request per item's device, each started with `start` (which returns
// what ReadFile/WriteFile returned), then one wait over all their events
// until `timeoutMs` has passed since the call. A request still pending then
// is cancelled (that request only: others of this thread on the same handle
// go on), and its completion is awaited, so that neither its OVERLAPPED nor
// its buffer is in use once this returns. The requests, done, come back.
template <typename Items, typename Start>
std::vector<Request> RunBatch(const Items& items, DWORD timeoutMs, Start start) {
    const Deadline deadline{std::chrono::milliseconds(timeoutMs)};
    std::vector<Request> batch(items.size());
    for (std::size_t i = 0; i < batch.size(); ++i) {
        Request& r = batch[i];
        r.device = HandleOf(items[i].device);
        r.event = win32::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!r.event.Valid()) continue;
        r.overlapped.hEvent = r.event.Get();
        if (start(i, &r.overlapped) || GetLastError() == ERROR_IO_PENDING) r.pending = true;
    }
    // On a window's thread (a single-threaded COM apartment) the wait goes on
    // serving calls from other processes, such as a screen reader's, rather
    // than holding them until the exchange is over; input and posted
    // messages stay queued. A thread outside COM (the console report, which
    // never loads COM's library) waits plainly.
    using CoWait = HRESULT(WINAPI*)(DWORD, DWORD, ULONG, LPHANDLE, LPDWORD);
    const auto coWait = win32::Loaded<CoWait>(L"ole32.dll", "CoWaitForMultipleHandles");
    std::vector<HANDLE> events;
    for (;;) {
        events.clear();
        for (Request& r : batch) {
            if (!r.pending) continue;
            // A request that completed at once signals its event too.
            if (WaitForSingleObject(r.overlapped.hEvent, 0) == WAIT_OBJECT_0) {
                r.ok = GetOverlappedResult(r.device, &r.overlapped, &r.transferred, FALSE) != 0;
                r.pending = false;
            } else if (events.size() < MAXIMUM_WAIT_OBJECTS) {
                events.push_back(r.overlapped.hEvent);
            }
        }
        if (events.empty()) break;
        const DWORD left = deadline.RemainingMs<DWORD>(INFINITE - 1);
        if (left == 0) break;
        DWORD signalled = 0;
        const auto count = static_cast<DWORD>(events.size());
        HRESULT w = coWait ? coWait(0, left, count, events.data(), &signalled) : E_NOTIMPL;
        if (w != S_OK && w != RPC_S_CALLPENDING) {
            const DWORD plain = WaitForMultipleObjects(count, events.data(), FALSE, left);
            w = plain == WAIT_TIMEOUT || plain == WAIT_FAILED ? RPC_S_CALLPENDING : S_OK;
        }
        if (w != S_OK) break;  // the time is up
    }
    for (Request& r : batch) {
        if (!r.pending) continue;
        CancelIoEx(r.device, &r.overlapped);
        // A request that completed just before the cancellation keeps its result.
        r.ok = GetOverlappedResult(r.device, &r.overlapped, &r.transferred, TRUE) != 0;
        r.pending = false;
    }
    return batch;
}

}  // namespace

void ReadUsbInstanceId(const WString& instanceId, DeviceIdentity& identity) {
    // "USB", the hardware part, the instance part.
    const std::size_t first = instanceId.find(u'\\');
    const std::size_t last = instanceId.rfind(u'\\');
    if (first != 3 || first == last || instanceId.compare(0, 3, u"USB") != 0) return;
    const WString hardware = instanceId.substr(first + 1, last - first - 1);
    // "VID_" or "PID_" then exactly four hex digits, lower-cased.
    const auto hex = [](char16_t c) { return (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'f'); };
    const auto idAfter = [&](const char16_t* tag) -> WString {
        const std::size_t at = hardware.find(tag);
        if (at == WString::npos || at + 8 > hardware.size()) return {};
        WString digits = hardware.substr(at + 4, 4);
        for (char16_t& c : digits) {
            if (!hex(c)) return {};
            if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c | 0x20);
        }
        if (at + 8 < hardware.size() && hardware[at + 8] != u'&') return {};
        return digits;
    };
    if (WString v = idAfter(u"VID_"); !v.empty()) identity.vendorId = v;
    if (WString p = idAfter(u"PID_"); !p.empty()) identity.productId = p;
    const WString tail = instanceId.substr(last + 1);
    if (!tail.empty() && tail.find(u'&') == WString::npos) identity.serial = tail;
}

HANDLE Win32DeviceBus::NativeHandle(Device& device) { return HandleOf(&device); }

std::unique_ptr<InterfaceSet> Win32DeviceBus::OpenInterfaceSet(const Guid& interfaceClass) {
    const GUID guid = win32::ToWinGuid(interfaceClass);
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<DeviceInfoSet>(set, guid);
}

OpenResult Win32DeviceBus::Open(const WString& path, OpenMode mode) {
    // Shared: the device must exist. Exclusive: "create always" (devices
    // ignore the creation), write only or read and write.
    const bool shared = mode == OpenMode::ReadWriteShared;
    const DWORD access = mode == OpenMode::WriteExclusive ? GENERIC_WRITE : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    win32::UniqueHandle h(CreateFileW(win32::ToWin(path).c_str(), access, share, nullptr,
                                      shared ? OPEN_EXISTING : CREATE_ALWAYS,
                                      (shared ? 0 : FILE_ATTRIBUTE_NORMAL) | FILE_FLAG_OVERLAPPED, nullptr));
    OpenResult result;
    if (!h.Valid()) {
        const DWORD error = GetLastError();
        result.reason = win32::SystemErrorText(error);
        if (error == ERROR_SHARING_VIOLATION) result.remedy = kBusyRemedy;
        return result;
    }
    result.device = std::make_unique<Win32Device>(std::move(h));
    return result;
}

void Win32DeviceBus::WriteEach(std::vector<DeviceWrite>& writes, const void* data, std::size_t size) {
    for (DeviceWrite& w : writes) w.written = 0;
    if (size > std::numeric_limits<DWORD>::max()) return;
    const std::vector<Request> batch = RunBatch(writes, timeoutMs_, [&](std::size_t i, OVERLAPPED* o) {
        return WriteFile(HandleOf(writes[i].device), data, static_cast<DWORD>(size), nullptr, o) != 0;
    });
    for (std::size_t i = 0; i < writes.size(); ++i)
        if (batch[i].ok && batch[i].transferred <= size) writes[i].written = batch[i].transferred;
}

void Win32DeviceBus::ReadWithin(std::vector<DeviceRead>& reads, DWORD boundMs) {
    for (DeviceRead& r : reads) r.received = 0;
    const std::vector<Request> batch = RunBatch(reads, boundMs, [&](std::size_t i, OVERLAPPED* o) {
        const auto ask =
            static_cast<DWORD>(std::min<std::size_t>(reads[i].capacity, std::numeric_limits<DWORD>::max()));
        if (ask == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        return ReadFile(HandleOf(reads[i].device), reads[i].buffer, ask, nullptr, o) != 0;
    });
    for (std::size_t i = 0; i < reads.size(); ++i)
        if (batch[i].ok && batch[i].transferred <= reads[i].capacity) reads[i].received = batch[i].transferred;
}

}  // namespace ldt
