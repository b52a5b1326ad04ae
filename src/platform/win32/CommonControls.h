#pragma once

#include <windows.h>

namespace ldt::win32 {

// Version 6 of the common controls for what the window shows from that
// library: message boxes, the save dialog, the tooltip. The process runs
// without it (its manifest does not ask for it), so that the dialog's two
// hidden standard buttons do not load the library at every start; while a
// scope lives, the exe's isolation-aware manifest resource, which asks for
// version 6, is the active context. Load the library and make its windows
// inside the scope. Without that resource (the console report) the scope
// changes nothing.
class CommonControlsScope {
public:
    CommonControlsScope();
    ~CommonControlsScope();
    CommonControlsScope(const CommonControlsScope&) = delete;
    CommonControlsScope& operator=(const CommonControlsScope&) = delete;

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

}  // namespace ldt::win32
