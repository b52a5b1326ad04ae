#include "platform/win32/gui/WindowDpi.h"

#include "platform/win32/Win32Handle.h"

namespace ldt::gui {

int WindowDpi(HWND window) {
    static const auto getDpiForWindow = win32::Loaded<UINT(WINAPI*)(HWND)>(L"user32.dll", "GetDpiForWindow");
    UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
        ReleaseDC(nullptr, screen);
    }
    return dpi ? static_cast<int>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void KeepDialogFromRescaling(HWND window) {
    const auto setBehavior = win32::Loaded<BOOL(WINAPI*)(HWND, int, int)>(L"user32.dll", "SetDialogDpiChangeBehavior");
    constexpr int kDisableAll = 1;  // DDC_DISABLE_ALL
    if (setBehavior) setBehavior(window, kDisableAll, kDisableAll);
}

}  // namespace ldt::gui
