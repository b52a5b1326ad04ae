// send_dpichanged.exe DPI LEFT TOP RIGHT BOTTOM
//
// Tells the window titled "Laser Diagnostic Tool" that its DPI changed to
// DPI, as the system does when a window moves to another monitor: a
// WM_DPICHANGED whose lParam points to the suggested window rectangle. The
// rectangle is written into the window's own process, where a pointer
// means something. Exits 0 when the message was handled, 1 when the window
// is missing or did not answer within 5 s, 2 on bad arguments.

#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: send_dpichanged DPI LEFT TOP RIGHT BOTTOM\n");
        return 2;
    }
    const UINT dpi = static_cast<UINT>(std::wcstoul(argv[1], nullptr, 10));
    const RECT suggested = {std::wcstol(argv[2], nullptr, 10), std::wcstol(argv[3], nullptr, 10),
                            std::wcstol(argv[4], nullptr, 10), std::wcstol(argv[5], nullptr, 10)};
    const HWND window = FindWindowW(nullptr, L"Laser Diagnostic Tool");
    DWORD pid = 0;
    if (!window || !GetWindowThreadProcessId(window, &pid)) {
        std::fprintf(stderr, "send_dpichanged: the window is not there\n");
        return 1;
    }
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    void* remote = process ? VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE,
                                            PAGE_READWRITE)
                           : nullptr;
    if (!remote || !WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr)) {
        std::fprintf(stderr, "send_dpichanged: cannot write into the process (%lu)\n", GetLastError());
        return 1;
    }
    DWORD_PTR answer = 0;
    const BOOL sent = SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote),
                                          SMTO_ABORTIFHUNG, 5000, &answer);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!sent) {
        std::fprintf(stderr, "send_dpichanged: not delivered (%lu)\n", GetLastError());
        return 1;
    }
    return 0;
}
