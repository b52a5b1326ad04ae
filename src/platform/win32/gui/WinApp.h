#pragma once
// The application object: one per program, constructed before the entry
// runs. The entry hands it the module and calls InitInstance; a false
// result ends the program without a message loop of its own.

#include <windows.h>

namespace ldt::gui {

class Dialog;

class WinApp {
public:
    WinApp();
    virtual ~WinApp();
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;

    // The single application object, or null when there is none.
    static WinApp* Current();

    // Set-up of the program. False: the program ends as soon as this
    // returns. True: the application's message loop runs until WM_QUIT.
    virtual BOOL InitInstance() = 0;

    // The module whose resources (templates, icons, bitmaps) the program uses.
    HINSTANCE ResourceHandle() const { return resources_; }

    // The window that stands for the application while it runs (the modal
    // dialog of a dialog-based program), or null.
    Dialog* MainWindow() const { return mainWindow_; }
    void SetMainWindow(Dialog* window) { mainWindow_ = window; }

private:
    friend int WinAppMain(HINSTANCE instance);

    HINSTANCE resources_ = nullptr;
    Dialog* mainWindow_ = nullptr;
};

// Resource module of the current application, else of the executable.
HINSTANCE ResourceHandle();

// The body of the program's entry point (wWinMain); returns the WM_QUIT
// exit code once the message loop ends.
int WinAppMain(HINSTANCE instance);

}  // namespace ldt::gui
