#pragma once
// A window's DPI and shape: the Win32 calls a window that scales itself
// needs, with the newer ones looked up at run time so that the program
// still starts on systems that lack them.

#include <windows.h>

#include "platform/win32/gui/Gdi.h"

#include <vector>

namespace ldt::gui {

// The window's DPI: its monitor's where the system knows per-monitor DPI
// (Windows 10 1607 on), else the system's; 96 when neither answers.
int WindowDpi(HWND window);

// A template dialog of a per-monitor aware program is resized and its font
// rescaled by the system on a DPI change; after this call it is not, for a
// window that does its own scaling. Does nothing where the system lacks it.
void KeepDialogFromRescaling(HWND window);

// Clips `window` to the polygon through `corners` (any sequence of points
// with int members x and y: window-relative, in device pixels), filled by
// the winding rule, and redraws it. On success the window owns the region;
// on failure the window keeps its old shape.
template <class Corners>
void ClipWindow(HWND window, const Corners& corners) {
    std::vector<POINT> points;
    for (const auto& c : corners) points.push_back({c.x, c.y});
    Region region(CreatePolygonRgn(points.data(), static_cast<int>(points.size()), WINDING));
    if (region && SetWindowRgn(window, region.Get(), TRUE)) (void)region.Release();
}

}  // namespace ldt::gui
