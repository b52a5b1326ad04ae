// send_devicechange.exe ARRIVAL|REMOVAL
//
// Tells the window titled "Laser Diagnostic Tool" that a
// printer-class interface arrived or left, as the system would: a
// WM_DEVICECHANGE with DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE and a
// DEV_BROADCAST_DEVICEINTERFACE_W of class GUID_DEVINTERFACE_USBPRINT.
// Wine copies the broadcast record into the receiving process for these two
// codes. Exits 0 when the message was delivered, 1 when no such window
// exists or it did not answer within 5 s, 2 on bad arguments.

#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

const GUID kUsbPrint = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const wchar_t kName[] = L"\\\\?\\usb#vid_1a86&pid_7584#0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: send_devicechange ARRIVAL|REMOVAL\n");
        return 2;
    }
    WPARAM event;
    if (std::wcscmp(argv[1], L"ARRIVAL") == 0) {
        event = DBT_DEVICEARRIVAL;
    } else if (std::wcscmp(argv[1], L"REMOVAL") == 0) {
        event = DBT_DEVICEREMOVECOMPLETE;
    } else {
        std::fprintf(stderr, "send_devicechange: ARRIVAL or REMOVAL, not %ls\n", argv[1]);
        return 2;
    }
    const HWND window = FindWindowW(nullptr, L"Laser Diagnostic Tool");
    if (!window) {
        std::fprintf(stderr, "send_devicechange: the window is not there\n");
        return 1;
    }
    // The record ends with the zero-terminated name; dbcc_size covers it.
    const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + sizeof kName;
    std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_classguid = kUsbPrint;
    std::memcpy(record->dbcc_name, kName, sizeof kName);
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record), SMTO_ABORTIFHUNG, 5000,
                             &answer)) {
        std::fprintf(stderr, "send_devicechange: not delivered (%lu)\n", GetLastError());
        return 1;
    }
    return 0;
}
