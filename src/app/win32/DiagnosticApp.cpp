#include "app/win32/DiagnosticApp.h"

#include "app/win32/DiagnosticDialog.h"

#include <objbase.h>

namespace ldt {

namespace {
DiagnosticApp theApp;
}

BOOL DiagnosticApp::InitInstance() {
    // COM for handing screen readers the window's accessible object.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        DiagnosticDialog dialog;
        SetMainWindow(&dialog);
        dialog.DoModal();
        SetMainWindow(nullptr);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    // No message loop: the program ends with the dialog.
    return FALSE;
}

}  // namespace ldt

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return ldt::gui::WinAppMain(instance); }
