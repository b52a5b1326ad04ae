#pragma once
// Owners of device contexts and GDI objects, each released by the scope that
// acquired it.

#include "platform/win32/Win32Handle.h"

#include <windows.h>

namespace ldt::gui {

// A GDI object (bitmap, font, region, ...) deleted with DeleteObject;
// Release() gives it up (for a region handed to SetWindowRgn).
using win32::GdiObject;
using Bitmap = GdiObject<HBITMAP>;
using Font = GdiObject<HFONT>;
using Region = GdiObject<HRGN>;

// BeginPaint / EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDC() { EndPaint(window_, &paint_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// GetWindowDC / ReleaseDC: the whole window, non-client area included.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetWindowDC(window)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// CreateCompatibleDC / DeleteDC. The one object selected through Select()
// is deselected (the DC's own put back) before the DC is deleted, so the
// caller may delete it afterwards.
class MemoryDC {
public:
    explicit MemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDC() {
        if (!dc_) return;
        if (restore_) SelectObject(dc_, restore_);
        DeleteDC(dc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    HDC Get() const { return dc_; }

    // False when the DC or the object is missing, an object is already
    // selected or the selection failed.
    bool Select(HGDIOBJ object) {
        if (!dc_ || !object || restore_) return false;
        HGDIOBJ previous = SelectObject(dc_, object);
        if (!previous || previous == HGDI_ERROR) return false;
        restore_ = previous;
        return true;
    }

private:
    HDC dc_;
    HGDIOBJ restore_ = nullptr;
};

}  // namespace ldt::gui
