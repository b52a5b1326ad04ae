// The reference for the start-up benchmark: the smallest modal dialog with
// the same style, place and manifest, painting one black box where the
// program paints its first value. No device, no bitmap, no font.
//   minimal_dialog              a template of no controls and no font
//   minimal_dialog --template   the program's own template: its font (loaded
//                               though never drawn with) and its two
//                               invisible standard buttons, which load the
//                               common controls library under the manifest
#include <windows.h>

#include "resource.h"

#include <cstring>
#include <cwchar>

namespace {

// `px` at the window's DPI, rounded as the program rounds: at 144 and 192
// DPI the floor has the program's window size and paints its box where the
// program paints its first value.
int Scaled(HWND hwnd, int px) {
    using GetDpi = UINT(WINAPI*)(HWND);
    const auto get = reinterpret_cast<GetDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const int dpi = get && get(hwnd) ? static_cast<int>(get(hwnd)) : 96;
    return (px * dpi + 48) / 96;
}

INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: {
        const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        const int width = Scaled(hwnd, 816), height = Scaled(hwnd, 418);
        MoveWindow(hwnd, w / 2 - width / 2, (h - 20) / 2 - height / 2, width, height, TRUE);
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT box = {Scaled(hwnd, 200), Scaled(hwnd, 85), Scaled(hwnd, 280), Scaled(hwnd, 105)};
        FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EndPaint(hwnd, &ps);
        return TRUE;
    }
    case WM_LBUTTONUP:
        EndDialog(hwnd, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    if (wcscmp(commandLine, L"--template") == 0) {
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_DIAGNOSTIC), nullptr, Proc, 0);
        return 0;
    }
    static const wchar_t kTitle[] = L"Minimal Dialog";
    struct {
        DLGTEMPLATE t;  // 2-byte packed, so menu follows directly
        WORD menu, cls;
        wchar_t title[sizeof kTitle / sizeof(wchar_t)];
    } tpl = {};
    tpl.t.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME;
    tpl.t.dwExtendedStyle = WS_EX_APPWINDOW;
    tpl.t.cx = 535;
    tpl.t.cy = 367;
    memcpy(tpl.title, kTitle, sizeof kTitle);
    DialogBoxIndirectParamW(instance, &tpl.t, nullptr, Proc, 0);
    return 0;
}
