// usbprint_relay.exe INTERFACE DEVICE [--until-eof]
//
// Makes a printer-class device path that Wine's SetupAPI lists (registered
// by the test under DeviceClasses) openable, and joins it to a serial-like
// device. INTERFACE is the path's name without "\\?\", e.g.
// usb#vid_1a86&pid_7584#0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2};
// DEVICE is the simulator's pseudo-terminal as a Windows name (\\.\x with
// dosdevices/x linked to it).
//
// Under Wine, opening "\\?\INTERFACE\" looks INTERFACE up in the object
// namespace when no dosdevices entry has that name. The relay creates the
// symbolic link object \??\INTERFACE -> \Device\NamedPipe\<its pipe>, serves
// that pipe to one client after another (the program opens and closes the
// path at each refresh) and copies bytes both ways between the client and
// DEVICE. It prints "ready" once the path opens, then runs until killed or,
// with --until-eof, until its standard input ends. The link object lives
// as long as this process holds it.

#include "platform/win32/Win32Handle.h"

#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <string>

using ldt::win32::UniqueHandle;

extern "C" NTSTATUS NTAPI NtCreateSymbolicLinkObject(PHANDLE link, ACCESS_MASK access,
                                                     POBJECT_ATTRIBUTES attributes, PUNICODE_STRING target);

namespace {

constexpr DWORD kReplyBytes = 256;

// Whether a client is connected, under a lock: the device thread forwards
// replies only to a connected client and drops late ones.
CRITICAL_SECTION g_lock;
HANDLE g_pipe = nullptr;  // the pipe instance (owned by main)
bool g_connected = false;

int Fail(const char* what) {
    std::fprintf(stderr, "usbprint_relay: %s failed (%lu)\n", what, GetLastError());
    return 1;
}

UniqueHandle CreateLink(const std::wstring& name, const std::wstring& target) {
    UNICODE_STRING linkName, targetName;
    RtlInitUnicodeString(&linkName, name.c_str());
    RtlInitUnicodeString(&targetName, target.c_str());
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &linkName, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE link = nullptr;
    const NTSTATUS status = NtCreateSymbolicLinkObject(&link, STANDARD_RIGHTS_REQUIRED | 0x1, &attributes, &targetName);
    if (status != 0) {
        std::fprintf(stderr, "usbprint_relay: NtCreateSymbolicLinkObject failed (0x%08lx)\n",
                     static_cast<unsigned long>(status));
        return UniqueHandle();
    }
    return UniqueHandle(link);
}

// Waits for an overlapped request on `h`, or for `stop`. False when it failed
// or `stop` came first (the request is then cancelled and waited for).
bool Complete(HANDLE h, OVERLAPPED& request, HANDLE stop, DWORD& transferred) {
    const HANDLE waits[] = {request.hEvent, stop};
    const DWORD n = stop ? 2 : 1;
    if (WaitForMultipleObjects(n, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(h);
        GetOverlappedResult(h, &request, &transferred, TRUE);
        return false;
    }
    return GetOverlappedResult(h, &request, &transferred, FALSE) != 0;
}

// Device -> client. Reads the way Wine's serial ports read best: one
// blocking byte, then whatever is queued, gathered until the device pauses,
// so that a reply reaches the client's single read in one piece.
DWORD WINAPI DeviceToClient(void* param) {
    const HANDLE device = param;
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(device, buffer, 1, &got, nullptr)) return 1;
        if (got == 0) continue;
        for (int idle = 0; idle < 2 && got < sizeof buffer;) {
            DWORD errors = 0;
            COMSTAT stat{};
            DWORD more = 0;
            if (ClearCommError(device, &errors, &stat) && stat.cbInQue > 0) {
                const DWORD ask = stat.cbInQue < sizeof buffer - got ? stat.cbInQue : sizeof buffer - got;
                if (!ReadFile(device, buffer + got, ask, &more, nullptr)) return 1;
                got += more;
                idle = 0;
            } else {
                ++idle;
                Sleep(5);
            }
        }
        EnterCriticalSection(&g_lock);
        if (g_connected) {
            OVERLAPPED request{};
            request.hEvent = event.Get();
            DWORD written = 0;
            ResetEvent(event.Get());
            if (WriteFile(g_pipe, buffer, got, nullptr, &request) || GetLastError() == ERROR_IO_PENDING) {
                if (WaitForSingleObject(event.Get(), 1000) != WAIT_OBJECT_0) CancelIo(g_pipe);
                GetOverlappedResult(g_pipe, &request, &written, TRUE);
            }
        }
        LeaveCriticalSection(&g_lock);
    }
}

DWORD WINAPI WatchInput(void* stop) {
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    SetEvent(stop);
    return 0;
}

void SetConnected(bool connected) {
    EnterCriticalSection(&g_lock);
    g_connected = connected;
    LeaveCriticalSection(&g_lock);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::wstring(argv[3]) != L"--until-eof")) {
        std::fprintf(stderr, "usage: usbprint_relay INTERFACE DEVICE [--until-eof]\n");
        return 2;
    }
    InitializeCriticalSection(&g_lock);
    UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (argc == 4 && !CloseHandle(CreateThread(nullptr, 0, WatchInput, stop.Get(), 0, nullptr)))
        return Fail("CreateThread");

    // Two handles on the device: the reading thread blocks on one while
    // client bytes go out through the other.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    UniqueHandle deviceIn(CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr));
    UniqueHandle deviceOut(CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!deviceIn.Valid() || !deviceOut.Valid()) return Fail("opening the device");

    const std::wstring pipeName = L"ldt-usbprint-relay-" + std::to_wstring(GetCurrentProcessId());
    UniqueHandle pipe(CreateNamedPipeW((L"\\\\.\\pipe\\" + pipeName).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
    if (!pipe.Valid()) return Fail("CreateNamedPipeW");
    g_pipe = pipe.Get();
    const UniqueHandle link = CreateLink(L"\\??\\" + std::wstring(argv[1]), L"\\Device\\NamedPipe\\" + pipeName);
    if (!link.Valid()) return 1;
    if (!CloseHandle(CreateThread(nullptr, 0, DeviceToClient, deviceIn.Get(), 0, nullptr)))
        return Fail("CreateThread");
    std::printf("ready\n");
    std::fflush(stdout);

    // Client -> device, one client after another.
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    for (;;) {
        OVERLAPPED request{};
        request.hEvent = event.Get();
        ResetEvent(event.Get());
        DWORD n = 0;
        if (!ConnectNamedPipe(pipe.Get(), &request)) {
            const DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                if (!Complete(pipe.Get(), request, stop.Get(), n)) {
                    if (WaitForSingleObject(stop.Get(), 0) == WAIT_OBJECT_0) return 0;
                    DisconnectNamedPipe(pipe.Get());
                    continue;
                }
            } else if (error == ERROR_NO_DATA) {  // the client came and went already
                DisconnectNamedPipe(pipe.Get());
                continue;
            } else if (error != ERROR_PIPE_CONNECTED) {
                return Fail("ConnectNamedPipe");
            }
        }
        SetConnected(true);
        char buffer[kReplyBytes];
        for (;;) {
            request = OVERLAPPED{};
            request.hEvent = event.Get();
            ResetEvent(event.Get());
            if (!ReadFile(pipe.Get(), buffer, sizeof buffer, nullptr, &request) && GetLastError() != ERROR_IO_PENDING)
                break;
            if (!Complete(pipe.Get(), request, stop.Get(), n)) break;
            DWORD written = 0;
            if (n > 0 && !WriteFile(deviceOut.Get(), buffer, n, &written, nullptr)) return Fail("writing the device");
        }
        SetConnected(false);
        if (WaitForSingleObject(stop.Get(), 0) == WAIT_OBJECT_0) return 0;
        DisconnectNamedPipe(pipe.Get());
    }
}
