#include "platform/win32/gui/WinApp.h"

namespace ldt::gui {

namespace {
WinApp* g_app = nullptr;
}

WinApp::WinApp() {
    // A second application object would silently take over the first.
    if (!g_app) g_app = this;
}

WinApp::~WinApp() {
    if (g_app == this) g_app = nullptr;
}

WinApp* WinApp::Current() { return g_app; }

HINSTANCE ResourceHandle() {
    if (g_app && g_app->ResourceHandle()) return g_app->ResourceHandle();
    return GetModuleHandleW(nullptr);
}

int WinAppMain(HINSTANCE instance) {
    WinApp* app = g_app;
    if (!app) return 0;
    app->resources_ = instance ? instance : GetModuleHandleW(nullptr);
    if (!app->InitInstance()) return 0;
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return -1;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace ldt::gui
