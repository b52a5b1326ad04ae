#include "app/win32/DiagnosticApp.h"

#include "app/win32/DiagnosticDialog.h"

namespace ldt {

namespace {
DiagnosticApp theApp;
}

BOOL DiagnosticApp::InitInstance() {
    DiagnosticDialog dialog;
    SetMainWindow(&dialog);
    dialog.DoModal();
    SetMainWindow(nullptr);
    // No message loop: the program ends with the dialog.
    return FALSE;
}

}  // namespace ldt

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return ldt::gui::WinAppMain(instance); }
